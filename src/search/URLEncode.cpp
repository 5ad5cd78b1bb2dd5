#include "search/URLEncode.h"

#include <algorithm>
#include <cstdint>

#include "platform/Text.h"

namespace zqe {

EURLEncodeError::EURLEncodeError(const std::u16string& message)
    : std::runtime_error(U16ToUtf8(message)), FMessage(message) {}

namespace {

constexpr std::u16string_view kQueryUnsafe = u"*<>#%\"{}|\\^[]`";
constexpr std::u16string_view kPathUnsafe = u"*<>#%\"{}|\\^[]`+";

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

void AppendPercentByte(std::u16string& out, uint32_t byte) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out.push_back(u'%');
  out.push_back(kHex[(byte >> 4) & 0xF]);
  out.push_back(kHex[byte & 0xF]);
}

void AppendUtf8Percent(std::u16string& out, uint32_t cp) {
  if (cp < 0x80) {
    AppendPercentByte(out, cp);
  } else if (cp < 0x800) {
    AppendPercentByte(out, 0xC0 | (cp >> 6));
    AppendPercentByte(out, 0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    AppendPercentByte(out, 0xE0 | (cp >> 12));
    AppendPercentByte(out, 0x80 | ((cp >> 6) & 0x3F));
    AppendPercentByte(out, 0x80 | (cp & 0x3F));
  } else {
    AppendPercentByte(out, 0xF0 | (cp >> 18));
    AppendPercentByte(out, 0x80 | ((cp >> 12) & 0x3F));
    AppendPercentByte(out, 0x80 | ((cp >> 6) & 0x3F));
    AppendPercentByte(out, 0x80 | (cp & 0x3F));
  }
}

// The code point at s[i], advancing i past a surrogate pair; an unpaired
// surrogate reads as U+FFFD.
uint32_t CodePointAt(std::u16string_view s, size_t& i) {
  const char16_t c = s[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
    ++i;
    return 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(s[i]) - 0xDC00);
  }
  if (c >= 0xD800 && c <= 0xDFFF) return 0xFFFD;
  return c;
}

std::u16string Encode(std::u16string_view s, std::u16string_view unsafe) {
  std::u16string out;
  out.reserve(s.size() * 3);
  const size_t n = s.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = s[i];
    if (c == u'%' && i + 2 < n && IsHexDigit(s[i + 1]) && IsHexDigit(s[i + 2])) {
      out.append(s.substr(i, 3));
      i += 2;
      continue;
    }
    // DEL is a control character: copying it raw would put it on the wire.
    if (c >= 0x21 && c < 0x7F && unsafe.find(c) == std::u16string_view::npos) {
      out.push_back(c);
      continue;
    }
    AppendUtf8Percent(out, CodePointAt(s, i));
  }
  return out;
}

bool IsUnreserved(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
         c == u'.' || c == u'_' || c == u'~';
}

// The scheme's default port, or -1 for a scheme without one.
int DefaultPort(std::u16string_view scheme) {
  if (SameTextAscii(scheme, u"http")) return 80;
  if (SameTextAscii(scheme, u"https")) return 443;
  if (SameTextAscii(scheme, u"ftp")) return 21;
  return -1;
}

bool IsDefaultPort(std::u16string_view scheme, std::u16string_view port) {
  const int def = DefaultPort(scheme);
  if (def < 0 || port.empty()) return false;
  int value = 0;
  for (const char16_t c : port) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
    if (value > 65535) return false;
  }
  return value == def;
}

}  // namespace

std::u16string PathEncode(std::u16string_view S) { return Encode(S, kPathUnsafe); }

std::u16string ParamsEncode(std::u16string_view S) { return Encode(S, kQueryUnsafe); }

std::u16string QueryValueEncode(std::u16string_view S) {
  std::u16string out;
  out.reserve(S.size() * 3);
  for (size_t i = 0; i < S.size(); ++i) {
    if (IsUnreserved(S[i])) {
      out.push_back(S[i]);
    } else {
      AppendUtf8Percent(out, CodePointAt(S, i));
    }
  }
  return out;
}

std::u16string URLEncode(std::u16string_view AURI) {
  const size_t schemeEnd = AURI.find(u"://");
  // A "://" after the first "/", "?" or "#" belongs to the path or the
  // query (a redirect target, say), not to a scheme.
  if (schemeEnd == std::u16string_view::npos || schemeEnd == 0 ||
      AURI.substr(0, schemeEnd).find_first_of(u"/?#") != std::u16string_view::npos)
    throw EURLEncodeError(u"Protocol field is empty");
  const std::u16string_view scheme = AURI.substr(0, schemeEnd);
  const size_t rest = schemeEnd + 3;

  // The first "#" ends the URL wherever it stands, and the query is the
  // text after the first "?" before it: a "#" in the path must not turn
  // into "%23" and move the fragment's "?" into a query.
  const size_t fragment = AURI.find(u'#', rest);
  const std::u16string_view beforeFragment =
      AURI.substr(0, fragment == std::u16string_view::npos ? AURI.size() : fragment);
  const size_t query = beforeFragment.find(u'?', rest);
  std::u16string location(
      beforeFragment.substr(rest, (query == std::u16string_view::npos ? beforeFragment.size() : query) - rest));
  for (char16_t& c : location)
    if (c == u'\\') c = u'/';

  const size_t hostEnd = std::min(location.find(u'/'), location.size());
  std::u16string_view hostPart = std::u16string_view(location).substr(0, hostEnd);
  const std::u16string_view pathAndDocument = std::u16string_view(location).substr(hostEnd);
  // A password may hold a raw "@"; the host follows the last one.
  const size_t at = hostPart.rfind(u'@');
  if (at != std::u16string_view::npos) hostPart.remove_prefix(at + 1);

  std::u16string_view host = hostPart;
  std::u16string_view port;
  if (!hostPart.empty() && hostPart.front() == u'[') {
    const size_t close = hostPart.find(u']');
    if (close != std::u16string_view::npos && close + 1 < hostPart.size() && hostPart[close + 1] == u':') {
      host = hostPart.substr(0, close + 1);
      port = hostPart.substr(close + 2);
    }
  } else {
    // Only a bracketed IPv6 address may hold a ":"; the first one starts
    // the port, so that the host written out never holds one.
    const size_t colon = hostPart.find(u':');
    if (colon != std::u16string_view::npos) {
      host = hostPart.substr(0, colon);
      port = hostPart.substr(colon + 1);
    }
  }
  if (host.empty() || host == u"[]") throw EURLEncodeError(u"Host field is empty");

  std::u16string out;
  out.reserve(AURI.size() * 2);
  out.append(scheme).append(u"://").append(host);
  if (!port.empty() && !IsDefaultPort(scheme, port)) out.append(u":").append(port);
  out.append(PathEncode(pathAndDocument));
  if (query != std::u16string_view::npos) {
    out.push_back(u'?');
    out.append(ParamsEncode(beforeFragment.substr(query + 1)));
  }
  return out;
}

}  // namespace zqe
