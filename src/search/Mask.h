// Wildcard masks: the URL filter of a check and the date test at the end
// of a citation.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zqe {

// Raised by the TMask constructor. what() is the message in UTF-8;
// Message() in UTF-16.
class EMaskError : public std::runtime_error {
 public:
  explicit EMaskError(const std::u16string& message);
  const std::u16string& Message() const noexcept { return FMessage; }

 private:
  std::u16string FMessage;
};

// A mask describes a whole string:
//   *          any run of units, also an empty one
//   ?          exactly one unit
//   [set]      one unit of the set: single units and ranges such as 0-9
//   [!set]     one unit outside the set
//   other      itself
// ASCII letters compare without regard to case (in sets too); every other
// unit compares exactly. Units are UTF-16 code units.
//
// Compiled once; Matches() costs at most (text length) x (mask elements)
// steps, never exponential, and uses no recursion. Immutable after
// construction, so one mask may be shared by threads.
class TMask {
 public:
  static constexpr int kMaxAsterisks = 30;

  // Throws EMaskError "'<mask>' is an invalid mask at (<position>)" for a
  // set that is not closed (position: one past the end), empty (position
  // of its "]"), or a range without a first unit (position of the "-"),
  // and for a mask with more than kMaxAsterisks asterisks (position of the
  // first one too many). A "-" just before "]" is an ordinary member.
  explicit TMask(std::u16string_view Mask);

  bool Matches(std::u16string_view S) const;

 private:
  enum class TKind : uint8_t { Literal, AnyUnit, Set, Star };
  struct TElement {
    TKind Kind;
    bool Negated;
    char16_t Unit;        // Literal, ASCII letters lower-cased
    uint32_t RangeBegin;  // Set: FRanges[RangeBegin, RangeEnd)
    uint32_t RangeEnd;
  };
  struct TRange {
    char16_t Low;
    char16_t High;
  };

  bool MatchesOne(const TElement& e, char16_t c) const;
  bool InSet(const TElement& e, char16_t c) const;

  std::vector<TElement> FElements;
  std::vector<TRange> FRanges;
};

// The masks of a URL filter: a "|"-delimited list with strict delimiters,
// blanks kept, an empty piece kept, a piece that opens with a double quote
// read to its closing quote ("" inside standing for one quote).
std::vector<std::u16string> SplitFilterList(std::u16string_view Filter);

}  // namespace zqe
