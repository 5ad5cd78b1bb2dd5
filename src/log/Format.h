// Delphi-style formatting of log messages ("%s", "%d", "%u", "%x" with an
// optional "-" flag and width). Arguments are typed, so a directive that
// does not match its argument is reported as an error instead of reading
// the wrong thing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zqe {

class FmtArg {
 public:
  enum class Kind { String, Signed, Unsigned };

  FmtArg(std::u16string_view s) : kind_(Kind::String), str_(s) {}
  FmtArg(const std::u16string& s) : kind_(Kind::String), str_(s) {}
  FmtArg(const char16_t* s) : kind_(Kind::String), str_(s ? std::u16string_view(s) : std::u16string_view()) {}
  FmtArg(int v) : kind_(Kind::Signed), i_(v) {}
  FmtArg(long v) : kind_(Kind::Signed), i_(v) {}
  FmtArg(long long v) : kind_(Kind::Signed), i_(v) {}
  FmtArg(unsigned v) : kind_(Kind::Unsigned), u_(v) {}
  FmtArg(unsigned long v) : kind_(Kind::Unsigned), u_(v) {}
  FmtArg(unsigned long long v) : kind_(Kind::Unsigned), u_(v) {}
  // Not formattable: keep them from converting silently.
  FmtArg(bool) = delete;
  FmtArg(const char*) = delete;
  FmtArg(const void*) = delete;

  Kind kind() const { return kind_; }
  std::u16string_view str() const { return str_; }
  int64_t i() const { return i_; }
  uint64_t u() const { return u_; }

 private:
  Kind kind_;
  std::u16string_view str_;
  int64_t i_ = 0;
  uint64_t u_ = 0;
};

using FmtArgs = std::initializer_list<FmtArg>;

class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws FormatError for an unknown directive, a directive whose argument
// has the wrong type, or too few arguments. Extra arguments are ignored.
std::u16string Format(std::u16string_view fmt, FmtArgs args);

}  // namespace zqe
