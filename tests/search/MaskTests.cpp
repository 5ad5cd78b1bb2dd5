#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Text.h"
#include "search/Mask.h"

namespace zqe {
namespace {

TEST(Mask, TableOfCases) {
  const struct {
    const char16_t* Mask;
    const char16_t* Text;
    bool Expected;
  } cases[] = {
      {u"*[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]?", u"site/page 2020-01-05›", true},
      {u"*[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]?", u"site/page 2020-01-05", false},
      {u"*sample*", u"docs/SAMPLE/page", true},
      {u"*sample*", u"docs/sampl/page", false},
      {u"", u"", true},
      {u"", u"a", false},
      {u"*", u"", true},
      {u"*", u"anything at all", true},
      {u"?", u"", false},
      {u"?", u"\u4E2D", true},
      {u"??", u"\U0001F600", true},  // two units
      {u"a*b*c", u"aXXbYYc", true},
      {u"a*b*c", u"aXXbYYcZ", false},
      {u"a*b*c", u"abcbc", true},
      {u"*.baidu.com/*", u"www.BAIDU.com/link", true},
      {u"[a-c]x", u"Bx", true},
      {u"[A-C]x", u"bx", true},
      {u"[!a-c]x", u"Bx", false},
      {u"[!a-c]x", u"dx", true},
      {u"[a-]", u"-", true},
      {u"[a-]", u"b", false},
      {u"[9-0]", u"5", false},
      {u"中文*", u"中文网页", true},
      {u"中文*", u"中", false},
      // Case is folded for ASCII letters only.
      {u"é", u"É", false},
      {u"\uFF41", u"\uFF21", false},
      {u"]", u"]", true},
      {u"a]b", u"A]B", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TMask(c.Mask).Matches(c.Text), c.Expected)
        << "mask '" << U16ToUtf8(c.Mask) << "' text '" << U16ToUtf8(c.Text) << "'";
  }
}

TEST(Mask, MalformedMasksAreRejectedWhereCompilingStopped) {
  const std::u16string stars30(30, u'*');
  // Built by appending: GCC 12 warns falsely (-Wrestrict) on literal + temporary.
  const std::u16string stars31 = std::u16string(u"a").append(31, u'*');
  const std::u16string spread31 = std::u16string(u"*[*]").append(29, u'*').append(u"x*");
  const struct {
    std::u16string Mask;
    std::string Message;
  } errors[] = {
      {u"[abc", "'[abc' is an invalid mask at (5)"},
      {u"ab[", "'ab[' is an invalid mask at (4)"},
      {u"[!", "'[!' is an invalid mask at (3)"},
      {u"[a-", "'[a-' is an invalid mask at (4)"},
      {u"x[]", "'x[]' is an invalid mask at (3)"},
      {u"[!]", "'[!]' is an invalid mask at (3)"},
      {u"[]-]", "'[]-]' is an invalid mask at (2)"},
      {u"[-9]", "'[-9]' is an invalid mask at (2)"},
      {u"[!-9]", "'[!-9]' is an invalid mask at (3)"},
      {u"[a-c-e]", "'[a-c-e]' is an invalid mask at (5)"},
      {stars31, "'a" + std::string(31, '*') + "' is an invalid mask at (32)"},
      {spread31, U16ToUtf8(spread31) + "' is an invalid mask at (35)"},
  };
  for (const auto& e : errors) {
    try {
      TMask mask(e.Mask);
      ADD_FAILURE() << "no error for '" << U16ToUtf8(e.Mask) << "'";
    } catch (const EMaskError& error) {
      const std::string expected = e.Message.front() == '\'' ? e.Message : "'" + e.Message;
      EXPECT_EQ(error.what(), expected);
      EXPECT_EQ(U16ToUtf8(error.Message()), expected);
    }
  }
  EXPECT_NO_THROW(TMask{stars30});
  EXPECT_NO_THROW(TMask{u"[*]" + stars30});  // an asterisk in a set is a member
}

// A naive matcher that reads the mask text directly and tries every split;
// exponential, so it only sees tiny inputs.
bool NaiveMatch(std::u16string_view mask, std::u16string_view text) {
  if (mask.empty()) return text.empty();
  const char16_t m = mask.front();
  if (m == u'*') {
    for (size_t k = 0; k <= text.size(); ++k)
      if (NaiveMatch(mask.substr(1), text.substr(k))) return true;
    return false;
  }
  if (text.empty()) return false;
  const char16_t t = text.front();
  auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
  if (m == u'?') return NaiveMatch(mask.substr(1), text.substr(1));
  if (m == u'[') {
    size_t j = 1;
    const bool negated = mask[j] == u'!';
    if (negated) ++j;
    const size_t close = mask.find(u']', j);
    bool in = false;
    for (; j < close; ++j) {
      char16_t lo = mask[j], hi = mask[j];
      if (j + 2 < close && mask[j + 1] == u'-') {
        hi = mask[j + 2];
        j += 2;
      }
      for (char16_t c : {t, fold(t), char16_t(fold(t) - 32)}) {
        const bool letter = fold(t) >= u'a' && fold(t) <= u'z';
        if ((c == t || letter) && c >= lo && c <= hi) in = true;
      }
    }
    return in != negated && NaiveMatch(mask.substr(close + 1), text.substr(1));
  }
  return fold(m) == fold(t) && NaiveMatch(mask.substr(1), text.substr(1));
}

std::vector<std::u16string> Sequences(const std::vector<std::u16string>& pieces, size_t maxPieces) {
  std::vector<std::u16string> out{u""};
  for (size_t begin = 0, len = 0; len < maxPieces; ++len) {
    const size_t end = out.size();
    for (size_t w = begin; w < end; ++w)
      for (const auto& p : pieces) out.push_back(out[w] + p);
    begin = end;
  }
  return out;
}

// Every mask of up to 4 elements over a small set of elements, against
// every text of up to 5 units over {a, A, b, c}.
TEST(Mask, AgreesWithNaiveMatcherOnAllSmallInputs) {
  const auto masks = Sequences({u"a", u"B", u"*", u"?", u"[ab]", u"[!a]", u"[b-c]"}, 4);
  const auto texts = Sequences({u"a", u"A", u"b", u"c"}, 5);
  int matched = 0;
  for (const auto& m : masks) {
    const TMask mask(m);
    for (const auto& t : texts) {
      const bool expected = NaiveMatch(m, t);
      ASSERT_EQ(mask.Matches(t), expected) << "mask '" << U16ToUtf8(m) << "' text '" << U16ToUtf8(t) << "'";
      matched += expected;
    }
  }
  EXPECT_GT(matched, 0);
}

// With every split tried, 30 asterisks against a long text that fails at
// its very end would take astronomically long; the answer must still come.
TEST(Mask, ThirtyAsterisksAgainstALongNonMatchingTextAnswers) {
  std::u16string mask;
  for (int i = 0; i < 30; ++i) mask += u"*a";
  mask += u"b";
  const std::u16string text(10000, u'a');
  EXPECT_FALSE(TMask(mask).Matches(text));
  EXPECT_TRUE(TMask(mask).Matches(text + u"b"));
  EXPECT_FALSE(TMask(std::u16string(30, u'*') + u"b").Matches(text));
}

}  // namespace
}  // namespace zqe
