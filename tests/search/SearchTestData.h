// Reads the pages in tests/data/search written for the extractor tests.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include "platform/Text.h"

namespace zqe::test {

// Sentences the extractor and rules tests look for on their pages.
inline constexpr char16_t kFox[] = u"The quick brown fox jumps over the lazy dog near the river bank";
inline constexpr char16_t kJugs[] = u"pack my box with five dozen liquor jugs, sphinx of black quartz judge my vow";

inline std::u16string ReadSearchPage(const std::string& name) {
  // Under Wine a Unix path may need the drive that maps the Unix root.
  for (const std::string& dir : {std::string(ZQE_SEARCH_TEST_DATA), std::string("Z:" ZQE_SEARCH_TEST_DATA)}) {
    std::ifstream f(dir + "/" + name, std::ios::binary);
    if (f) return Utf8ToU16(std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()));
  }
  return {};
}

}  // namespace zqe::test
