// Synthetic result pages for the benchmark: deterministic, so that runs
// compare.
#pragma once

#include <string>

namespace zqe::html::bench {

// A result page of about targetBytes of UTF-8: nested layout, ten result
// entries, inline scripts and styles, character references, Chinese text,
// unclosed <p> and <li>.
std::string MakeResultPage(size_t targetBytes);

}  // namespace zqe::html::bench
