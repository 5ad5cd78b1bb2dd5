// Turns the bytes of a document into UTF-16 text: byte-order marks first,
// then the encoding the user named, then a guess between UTF-8 and GB18030.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zqe::cli {

enum class Encoding { kAuto, kUtf8, kUtf16Le, kUtf16Be, kGb18030 };

// "auto", "utf-8"/"utf8", "utf-16le", "utf-16be", "gbk", "gb2312", "gb18030",
// "cp936" (any letter case); nullopt for anything else.
std::optional<Encoding> ParseEncodingName(std::string_view name);
const char* EncodingName(Encoding e);

struct DecodedText {
  std::u16string text;
  Encoding encoding = Encoding::kUtf8;
  bool hadBom = false;
  // Bytes that were invalid in the chosen encoding became U+FFFD.
  bool replaced = false;
};

// A byte-order mark wins over `wanted` only when they agree or `wanted` is
// kAuto; a UTF-16 mark on a file declared UTF-8 is a contradiction the
// caller should hear about, so that case throws std::runtime_error.
DecodedText DecodeDocument(std::string_view bytes, Encoding wanted);

}  // namespace zqe::cli
