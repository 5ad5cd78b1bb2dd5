// Cuts a document into the sentences that the engine checks one by one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zqe::cli {

struct Sentence {
  size_t offset = 0;  // into the document, in UTF-16 units
  size_t length = 0;  // of `text`, in UTF-16 units
  std::u16string text;  // trimmed; a slice of the document
};

// Sentences end at 。！？； and .!?; (and the full-width forms), and at line
// breaks. Closing quotes and brackets that follow an end stay with the
// sentence. A full stop inside a number, a URL or an abbreviation such as
// "e.g." or "Mr." ends nothing. Every sentence is returned, short or not;
// the caller decides what to check.
std::vector<Sentence> SplitSentences(std::u16string_view text);

}  // namespace zqe::cli
