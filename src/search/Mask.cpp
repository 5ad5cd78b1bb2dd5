#include "search/Mask.h"

#include <algorithm>

#include "platform/Text.h"

namespace zqe {

EMaskError::EMaskError(const std::u16string& message)
    : std::runtime_error(U16ToUtf8(message)), FMessage(message) {}

namespace {

[[noreturn]] void Invalid(std::u16string_view mask, size_t position) {
  std::u16string message = u"'";
  message.append(mask).append(u"' is an invalid mask at (").append(UIntToU16(position)).append(u")");
  throw EMaskError(message);
}

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

char16_t OtherCase(char16_t c) { return c >= u'a' ? char16_t(c - 32) : char16_t(c + 32); }

}  // namespace

TMask::TMask(std::u16string_view Mask) {
  const size_t n = Mask.size();
  int asterisks = 0;
  size_t i = 0;
  while (i < n) {
    const char16_t c = Mask[i];
    if (c == u'*') {
      if (++asterisks > kMaxAsterisks) Invalid(Mask, i + 1);
      // A run of asterisks is one element: it changes nothing and would
      // only multiply the work of Matches().
      if (FElements.empty() || FElements.back().Kind != TKind::Star)
        FElements.push_back({TKind::Star, false, 0, 0, 0});
      ++i;
    } else if (c == u'?') {
      FElements.push_back({TKind::AnyUnit, false, 0, 0, 0});
      ++i;
    } else if (c == u'[') {
      TElement set{TKind::Set, false, 0, static_cast<uint32_t>(FRanges.size()), 0};
      size_t j = i + 1;
      if (j < n && Mask[j] == u'!') {
        set.Negated = true;
        ++j;
      }
      // "]" is never a member or a range's end, so the first one closes.
      const size_t close = Mask.find(u']', j);
      if (close == std::u16string_view::npos) Invalid(Mask, n + 1);
      if (close == j) Invalid(Mask, j + 1);
      while (j < close) {
        const char16_t low = Mask[j];
        if (low == u'-') Invalid(Mask, j + 1);
        if (j + 2 < close && Mask[j + 1] == u'-') {
          FRanges.push_back({low, Mask[j + 2]});
          j += 3;
        } else {
          FRanges.push_back({low, low});
          ++j;
          // "[a-]": a "-" just before "]" has no range to make.
          if (j + 1 == close && Mask[j] == u'-') {
            FRanges.push_back({u'-', u'-'});
            ++j;
          }
        }
      }
      set.RangeEnd = static_cast<uint32_t>(FRanges.size());
      FElements.push_back(set);
      i = j + 1;
    } else {
      FElements.push_back({TKind::Literal, false, AsciiLower(c), 0, 0});
      ++i;
    }
  }
}

bool TMask::InSet(const TElement& e, char16_t c) const {
  for (uint32_t r = e.RangeBegin; r < e.RangeEnd; ++r)
    if (c >= FRanges[r].Low && c <= FRanges[r].High) return true;
  return false;
}

bool TMask::MatchesOne(const TElement& e, char16_t c) const {
  switch (e.Kind) {
    case TKind::Literal:
      return AsciiLower(c) == e.Unit;
    case TKind::AnyUnit:
      return true;
    case TKind::Set: {
      const bool in = InSet(e, c) || (IsAsciiLetter(c) && InSet(e, OtherCase(c)));
      return in != e.Negated;
    }
    case TKind::Star:
      break;
  }
  return false;
}

// Every element but an asterisk takes exactly one unit, so when a later
// asterisk is reached, any earlier one may keep the run it took: only the
// most recent asterisk is ever widened. That bounds the work by
// |S| x |elements| instead of the exponential cost of trying every split.
bool TMask::Matches(std::u16string_view S) const {
  const size_t count = FElements.size();
  const size_t n = S.size();
  size_t e = 0;
  size_t s = 0;
  size_t starElement = SIZE_MAX;  // element after the most recent asterisk
  size_t starText = 0;            // where that asterisk's run ends now
  while (s < n) {
    if (e < count && FElements[e].Kind == TKind::Star) {
      starElement = ++e;
      starText = s;
    } else if (e < count && MatchesOne(FElements[e], S[s])) {
      ++e;
      ++s;
    } else if (starElement != SIZE_MAX) {
      e = starElement;
      s = ++starText;
    } else {
      return false;
    }
  }
  while (e < count && FElements[e].Kind == TKind::Star) ++e;
  return e == count;
}

std::vector<std::u16string> SplitFilterList(std::u16string_view Filter) {
  std::vector<std::u16string> entries;
  size_t p = 0;
  const size_t n = Filter.size();
  while (p < n) {
    std::u16string entry;
    if (Filter[p] == u'"') {
      ++p;
      while (p < n) {
        if (Filter[p] == u'"') {
          if (p + 1 < n && Filter[p + 1] == u'"') {
            entry.push_back(u'"');
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        entry.push_back(Filter[p++]);
      }
    } else {
      const size_t e = std::min(Filter.find(u'|', p), n);
      entry.assign(Filter.substr(p, e - p));
      p = e;
    }
    entries.push_back(std::move(entry));
    if (p < n && Filter[p] == u'|') {
      ++p;
      if (p == n) entries.emplace_back();
    }
  }
  return entries;
}

}  // namespace zqe
