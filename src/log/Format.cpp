#include "log/Format.h"

#include <vector>

#include "platform/Text.h"

namespace zqe {
namespace {

[[noreturn]] void Invalid(std::u16string_view fmt) {
  throw FormatError("Format '" + U16ToUtf8(fmt) + "' invalid or incompatible with argument");
}

void Pad(std::u16string& out, std::u16string_view text, size_t width, bool left) {
  if (!left && text.size() < width) out.append(width - text.size(), u' ');
  out.append(text);
  if (left && text.size() < width) out.append(width - text.size(), u' ');
}

std::u16string Hex(uint64_t v) {
  static constexpr char16_t digits[] = u"0123456789ABCDEF";
  std::u16string r;
  do {
    r.insert(r.begin(), digits[v & 15]);
    v >>= 4;
  } while (v);
  return r;
}

}  // namespace

std::u16string Format(std::u16string_view fmt, FmtArgs args) {
  std::u16string out;
  out.reserve(fmt.size() + 16 * args.size());
  const FmtArg* next = args.begin();
  size_t i = 0;
  while (i < fmt.size()) {
    const char16_t c = fmt[i];
    if (c != u'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    ++i;
    if (i < fmt.size() && fmt[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    bool left = false;
    if (i < fmt.size() && fmt[i] == u'-') {
      left = true;
      ++i;
    }
    size_t width = 0;
    while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9') {
      width = width * 10 + (fmt[i] - u'0');
      if (width > 100000) Invalid(fmt);
      ++i;
    }
    if (i >= fmt.size()) Invalid(fmt);
    const char16_t type = AsciiLower(fmt[i]);
    ++i;
    if (type != u's' && type != u'd' && type != u'u' && type != u'x') Invalid(fmt);
    if (next == args.end()) throw FormatError("No argument for format '" + U16ToUtf8(fmt) + "'");
    const FmtArg& a = *next++;
    switch (type) {
      case u's':
        if (a.kind() != FmtArg::Kind::String) Invalid(fmt);
        Pad(out, a.str(), width, left);
        break;
      case u'd':
        if (a.kind() == FmtArg::Kind::String) Invalid(fmt);
        Pad(out, a.kind() == FmtArg::Kind::Signed ? IntToU16(a.i()) : UIntToU16(a.u()), width, left);
        break;
      case u'u':
        if (a.kind() == FmtArg::Kind::String) Invalid(fmt);
        // A negative value is shown as its 32-bit pattern, as the
        // runtime's %u does.
        Pad(out,
            a.kind() == FmtArg::Kind::Signed ? UIntToU16(a.i() < 0 ? static_cast<uint32_t>(a.i()) : a.i())
                                             : UIntToU16(a.u()),
            width, left);
        break;
      case u'x':
        if (a.kind() == FmtArg::Kind::String) Invalid(fmt);
        Pad(out, Hex(a.kind() == FmtArg::Kind::Signed ? static_cast<uint32_t>(a.i()) : a.u()), width, left);
        break;
    }
  }
  return out;
}

}  // namespace zqe
