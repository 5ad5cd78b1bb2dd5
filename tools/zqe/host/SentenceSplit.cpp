#include "host/SentenceSplit.h"

#include <algorithm>
#include <array>

namespace zqe::cli {

namespace {

bool IsLineBreak(char16_t c) { return c == u'\n' || c == u'\r' || c == u'\x2028' || c == u'\x2029'; }

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\f' || c == u'\v' || c == u'\xA0' || c == u'\x3000' || IsLineBreak(c) ||
         (c >= u'\x2000' && c <= u'\x200B') || c == u'\xFEFF';
}

// Ends a sentence wherever it stands.
bool IsWideEnd(char16_t c) {
  return c == u'。' || c == u'！' || c == u'？' || c == u'；' || c == u'．' || c == u'｡';
}

bool IsNarrowEnd(char16_t c) { return c == u'.' || c == u'!' || c == u'?' || c == u';'; }

bool IsCloser(char16_t c) {
  switch (c) {
    case u'"': case u'\'': case u')': case u']': case u'}':
    case u'”': case u'’': case u'」': case u'』': case u'）': case u'】': case u'》':
    case u'〉': case u'〕': case u'］': case u'｝': case u'»': case u'›': case u'＂': case u'＇':
      return true;
    default:
      return false;
  }
}

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsLower(char16_t c) { return c >= u'a' && c <= u'z'; }

// Letters of the CJK scripts and their punctuation: after a half-width
// full stop they mean the writer simply used the narrow form.
bool IsCjk(char16_t c) {
  return (c >= u'\x2E80' && c <= u'\x9FFF') || (c >= u'\xF900' && c <= u'\xFAFF') ||
         (c >= u'\xFF00' && c <= u'\xFFEF') || (c >= u'\xAC00' && c <= u'\xD7AF');
}

// Words that end in a full stop without ending the sentence, compared
// without the stop and in lower case; words with inner stops ("e.g",
// "u.s.a") are caught before these lists are read.
constexpr std::array<std::u16string_view, 20> kAbbreviations = {
    u"mr", u"mrs", u"ms", u"dr",   u"prof", u"sr",  u"jr",    u"st",   u"vs", u"cf",
    u"al", u"inc", u"ltd", u"corp", u"dept", u"approx", u"ca", u"resp", u"ibid", u"viz"};
// These end the sentence unless a number follows: "No. 5", "Jan. 3".
constexpr std::array<std::u16string_view, 14> kNumberAbbreviations = {
    u"no", u"vol", u"pp", u"fig", u"jan", u"feb", u"mar", u"apr", u"jun", u"jul", u"aug", u"sep", u"oct", u"nov"};

std::u16string LowerAscii(std::u16string_view s) {
  std::u16string r(s);
  for (auto& c : r)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return r;
}

bool StartsWithAt(std::u16string_view text, size_t i, std::u16string_view p) {
  if (i + p.size() > text.size()) return false;
  for (size_t k = 0; k < p.size(); ++k) {
    char16_t c = text[i + k];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != p[k]) return false;
  }
  return true;
}

// The end (exclusive) of a URL starting at i, or i when none starts there.
// A URL runs to the next blank or wide character, less trailing
// punctuation that more likely belongs to the sentence.
size_t UrlEnd(std::u16string_view text, size_t i) {
  if (i > 0 && (IsAsciiLetter(text[i - 1]) || IsDigit(text[i - 1]))) return i;
  if (!StartsWithAt(text, i, u"http://") && !StartsWithAt(text, i, u"https://") && !StartsWithAt(text, i, u"www.") &&
      !StartsWithAt(text, i, u"ftp://"))
    return i;
  size_t e = i;
  while (e < text.size() && !IsSpace(text[e]) && text[e] < 0x2E80 && text[e] != u'"' && text[e] != u'<' &&
         text[e] != u'>')
    ++e;
  while (e > i && (IsNarrowEnd(text[e - 1]) || text[e - 1] == u',' || text[e - 1] == u':' || IsCloser(text[e - 1])))
    --e;
  return e;
}

// "e.g", "U.S.A", "Ph.D": short letter groups joined by stops. A host
// name ("www.example.org") has longer groups and is no abbreviation.
bool IsDottedAbbreviation(std::u16string_view word) {
  if (word.find(u'.') == std::u16string_view::npos || word.back() == u'.' || word.front() == u'.') return false;
  size_t run = 0;
  for (char16_t c : word) {
    if (c == u'.') {
      if (run == 0) return false;
      run = 0;
    } else if (++run > 2) {
      return false;
    }
  }
  return true;
}

// Whether the half-width full stop at i ends the sentence.
bool FullStopEnds(std::u16string_view text, size_t i) {
  const char16_t next = i + 1 < text.size() ? text[i + 1] : u' ';
  // "3.14", "example.com", "e.g" inside: the stop sits between two
  // characters of one word. A wide character after it is the exception:
  // Chinese text typed with a narrow stop.
  const char16_t prev = i > 0 ? text[i - 1] : u' ';
  if (!IsSpace(next) && !IsCloser(next) && !IsNarrowEnd(next)) return IsCjk(next) && !IsDigit(prev);
  // "..." ends where the last stop does.
  if (next == u'.') return false;

  // The word before the stop.
  size_t b = i;
  while (b > 0 && (IsAsciiLetter(text[b - 1]) || text[b - 1] == u'.')) --b;
  const std::u16string_view word = text.substr(b, i - b);
  if (!word.empty()) {
    if (IsDottedAbbreviation(word)) return false;  // e.g, i.e, U.S, Ph.D
    if (word.size() == 1 && word[0] >= u'A' && word[0] <= u'Z') return false;             // initials: "J. Smith"
    const std::u16string w = LowerAscii(word);
    if (std::find(kAbbreviations.begin(), kAbbreviations.end(), w) != kAbbreviations.end()) return false;
  }
  size_t k = i + 1;
  while (k < text.size() && (text[k] == u' ' || text[k] == u'\t')) ++k;
  if (k == i + 1 || k >= text.size()) return true;
  if (IsDigit(text[k]) && !word.empty()) {
    const std::u16string w = LowerAscii(word);
    if (std::find(kNumberAbbreviations.begin(), kNumberAbbreviations.end(), w) != kNumberAbbreviations.end())
      return false;
  }
  // A lower-case word after the blank continues the sentence ("approx. two").
  return !IsLower(text[k]);
}

}  // namespace

std::vector<Sentence> SplitSentences(std::u16string_view text) {
  std::vector<Sentence> out;
  auto emit = [&](size_t begin, size_t end) {
    while (begin < end && IsSpace(text[begin])) ++begin;
    while (end > begin && IsSpace(text[end - 1])) --end;
    if (end > begin) out.push_back(Sentence{begin, end - begin, std::u16string(text.substr(begin, end - begin))});
  };

  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    const size_t url = UrlEnd(text, i);
    if (url > i) {
      i = url;
      continue;
    }
    if (IsLineBreak(c)) {
      emit(start, i);
      ++i;
      start = i;
      continue;
    }
    bool ends = false;
    if (IsWideEnd(c)) ends = true;
    else if (c == u'.') ends = FullStopEnds(text, i);
    else if (IsNarrowEnd(c)) {
      const char16_t next = i + 1 < text.size() ? text[i + 1] : u' ';
      // "a;b" in code or "Yahoo!Japan" stays whole; a blank, a closer, a
      // further end or a wide character after it ends the sentence.
      ends = IsSpace(next) || IsCloser(next) || IsNarrowEnd(next) || IsWideEnd(next) || IsCjk(next);
    }
    if (!ends) {
      ++i;
      continue;
    }
    // Take along further ends and closing quotes and brackets: "?!", "。」".
    size_t e = i + 1;
    while (e < text.size() && (IsWideEnd(text[e]) || IsNarrowEnd(text[e]) || IsCloser(text[e]))) ++e;
    emit(start, e);
    i = e;
    start = e;
  }
  emit(start, text.size());
  return out;
}

}  // namespace zqe::cli
