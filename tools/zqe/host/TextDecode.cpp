#include "host/TextDecode.h"

#include <stdexcept>

#include "platform/HostSupport.h"
#include "platform/Text.h"

namespace zqe::cli {

namespace {

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// Strict UTF-8 validity: shortest forms, no surrogates, at most U+10FFFF.
bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) n = 1;
    else if (c == 0xE0) n = 2, lo = 0xA0;
    else if (c == 0xED) n = 2, hi = 0x9F;
    else if (c >= 0xE1 && c <= 0xEF) n = 2;
    else if (c == 0xF0) n = 3, lo = 0x90;
    else if (c >= 0xF1 && c <= 0xF3) n = 3;
    else if (c == 0xF4) n = 3, hi = 0x8F;
    else return false;
    if (i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return false;
    }
    i += n + 1;
  }
  return true;
}

std::u16string DecodeUtf16(std::string_view s, bool bigEndian, bool& replaced) {
  std::u16string out;
  out.reserve(s.size() / 2);
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    const auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
  }
  if (s.size() % 2 != 0) {
    out.push_back(u'\xFFFD');
    replaced = true;
  }
  return out;
}

}  // namespace

std::optional<Encoding> ParseEncodingName(std::string_view name) {
  const std::string n = Lower(name);
  if (n == "auto") return Encoding::kAuto;
  if (n == "utf-8" || n == "utf8") return Encoding::kUtf8;
  if (n == "utf-16le" || n == "utf16le") return Encoding::kUtf16Le;
  if (n == "utf-16be" || n == "utf16be") return Encoding::kUtf16Be;
  if (n == "gbk" || n == "gb2312" || n == "gb18030" || n == "cp936") return Encoding::kGb18030;
  return std::nullopt;
}

const char* EncodingName(Encoding e) {
  switch (e) {
    case Encoding::kAuto: return "auto";
    case Encoding::kUtf8: return "utf-8";
    case Encoding::kUtf16Le: return "utf-16le";
    case Encoding::kUtf16Be: return "utf-16be";
    case Encoding::kGb18030: return "gb18030";
  }
  return "?";
}

DecodedText DecodeDocument(std::string_view bytes, Encoding wanted) {
  DecodedText r;
  Encoding bom = Encoding::kAuto;
  size_t bomLen = 0;
  if (StartsWith(bytes, "\xEF\xBB\xBF")) bom = Encoding::kUtf8, bomLen = 3;
  else if (StartsWith(bytes, "\xFF\xFE")) bom = Encoding::kUtf16Le, bomLen = 2;
  else if (StartsWith(bytes, "\xFE\xFF")) bom = Encoding::kUtf16Be, bomLen = 2;

  if (bom != Encoding::kAuto && (wanted == Encoding::kAuto || wanted == bom)) {
    r.hadBom = true;
    bytes.remove_prefix(bomLen);
    wanted = bom;
  } else if (bom != Encoding::kAuto && bom != Encoding::kUtf8) {
    // FF FE or FE FF are not valid lead bytes in UTF-8 nor a likely GBK
    // start; the declared encoding is almost certainly wrong.
    throw std::runtime_error(std::string("the file starts with a ") + EncodingName(bom) +
                             " byte-order mark but --encoding says " + EncodingName(wanted));
  }

  if (wanted == Encoding::kAuto) {
    if (IsValidUtf8(bytes)) {
      wanted = Encoding::kUtf8;
    } else if (platform::DecodeGb18030(bytes, r.text)) {
      r.encoding = Encoding::kGb18030;
      return r;
    } else {
      wanted = Encoding::kUtf8;  // neither fits: show what we can
    }
  }

  r.encoding = wanted;
  switch (wanted) {
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be: r.text = DecodeUtf16(bytes, wanted == Encoding::kUtf16Be, r.replaced); break;
    case Encoding::kGb18030:
      if (!platform::DecodeGb18030(bytes, r.text))
        throw std::runtime_error("the text is not valid GBK/GB18030");
      break;
    default:
      r.replaced = !IsValidUtf8(bytes);
      r.text = Utf8ToU16(bytes);
      break;
  }
  return r;
}

}  // namespace zqe::cli
