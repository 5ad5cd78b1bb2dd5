// Reads the pages in tests/data/search written for the extractor tests.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include "platform/Text.h"

namespace zqe::test {

inline std::u16string ReadSearchPage(const std::string& name) {
  // Under Wine a Unix path may need the drive that maps the Unix root.
  for (const std::string& dir : {std::string(ZQE_SEARCH_TEST_DATA), std::string("Z:" ZQE_SEARCH_TEST_DATA)}) {
    std::ifstream f(dir + "/" + name, std::ios::binary);
    if (f) return Utf8ToU16(std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()));
  }
  return {};
}

}  // namespace zqe::test
