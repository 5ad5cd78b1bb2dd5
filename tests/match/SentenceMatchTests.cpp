#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <random>
#include <string>

#include "ReferenceApproximateSearch.h"
#include "match/EditScan.h"
#include "match/SentenceMatch.h"
#include "platform/Text.h"

namespace zqe {
namespace {

TEST(NormalizeForMatch, KeepsAsciiAlphanumericsAndBasicIdeographsOnly) {
  const struct {
    const char16_t* In;
    const char16_t* Out;
  } cases[] = {
      {u"", u""},
      {u" \t\r\n\u3000 ", u""},
      {u"Hello, World! 42", u"HelloWorld42"},
      {u"今天天气很好，适合出门。", u"今天天气很好适合出门"},
      // Full-width letters and digits, accented letters, kana, the
      // ideographs just outside U+4E00..U+9FA5, a surrogate pair.
      {u"\uFF21\uFF11é\u3042\u4DFF\u9FA6\U00020000x", u"x"},
      {u"\u4E00\u9FA5/09azAZ@[`{", u"\u4E00\u9FA509azAZ"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeForMatch(c.In), c.Out) << U16ToUtf8(c.In);
}

// The vector paths (eight units a step, and sixteen where the processor
// has AVX2) against the rule unit by unit, on units at and next to the
// edges of every kept range, in runs that are all kept, all dropped or
// mixed, at every length around the steps.
TEST(NormalizeForMatch, AgreesWithTheRuleUnitByUnit) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 gen(seed);
  static const char16_t kEdges[] = {0x2F, 0x30, 0x39, 0x3A, 0x40, 0x41, 0x5A, 0x5B, 0x60, 0x61, 0x7A,
                                    0x7B, 0x4DFF, 0x4E00, 0x9FA5, 0x9FA6, 0x7FFF, 0x8000, 0xFFFF, 0x0,
                                    0x10, 0x50, 0x70, 0xD83D, 0xFF21, 0x3000, 0x6E00, 0x6E1A};
  for (int round = 0; round < 4000; ++round) {
    const size_t n = gen() % 41;
    const int kind = static_cast<int>(gen() % 4);
    std::u16string in;
    for (size_t i = 0; i < n; ++i) {
      char16_t c = kEdges[gen() % std::size(kEdges)];
      if (kind == 1) c = static_cast<char16_t>(0x4E00 + gen() % 0x51A6);
      if (kind == 2 && gen() % 4 == 0) c = static_cast<char16_t>(gen());
      if (kind == 3) c = static_cast<char16_t>(0x3000 + gen() % 0x100);
      in.push_back(c);
    }
    std::u16string expected;
    for (const char16_t c : in)
      if (IsKeptForMatch(c)) expected.push_back(c);
    for (const bool wide : {false, true})
      ASSERT_EQ(match_detail::NormalizeForMatch(in, wide), expected) << "round " << round << " wide " << wide;
  }
}

struct TSentenceCase {
  const char16_t* Sentence;
  const char16_t* Text;
  bool Strict;
  bool Expected;
};

TEST(MatchSentence, TableOfCases) {
  const std::u16string far9 = u"ABCDEFGHIjklmnopqrst";  // 9 edits from the sentence below
  const std::u16string far8 = u"ABCDEFGHijklmnopqrst";
  const TSentenceCase cases[] = {
      // An exact occurrence is a hit whatever the flag says, even when
      // normalisation would leave nothing to compare.
      {u"quick brown", u"the quick brown fox", false, true},
      {u"quick brown", u"the quick brown fox", true, true},
      {u"，。！", u"前文，。！后文", false, true},
      {u"，。！", u"前文，。后文", false, false},
      {u"，。！", u"前文，。后文", true, true},  // one edit, strict keeps the units
      {u"今天天气很好，适合出门", u"今天天气很好适合出门散步", false, true},
      {u"今天天气很好，适合出门", u"今天天气很好适合出门散步", true, true},
      {u"ABC", u"abc", false, true},
      {u"ABC", u"abc", true, true},
      // Up to 8 units (after normalisation) match any non-empty text.
      {u"12345678", u"x", false, true},
      {u"12345678", u"，", false, false},  // the text normalises to nothing
      {u"123456789", u"x", false, false},
      {u"", u"anything", false, false},
      {u"", u"anything", true, false},
      {u"abc", u"", false, false},
      {u"abc", u"", true, false},
      {u"abcdefghijklmnopqrst", far9.c_str(), true, false},
      {u"abcdefghijklmnopqrst", far8.c_str(), true, true},
      // Spaces and punctuation are free unless strict.
      {u"a b c d e f g h i j k l", u"abcdefghijkl", false, true},
      {u"a b c d e f g h i j k l", u"abcdefghijkl", true, false},
  };
  for (const TSentenceCase& c : cases) {
    EXPECT_EQ(MatchSentence(c.Sentence, c.Text, c.Strict), c.Expected)
        << "'" << U16ToUtf8(c.Sentence) << "' in '" << U16ToUtf8(c.Text) << "' strict=" << c.Strict;
    EXPECT_EQ(reference::MatchSentence(c.Sentence, c.Text, c.Strict), c.Expected)
        << "reference: '" << U16ToUtf8(c.Sentence) << "' in '" << U16ToUtf8(c.Text) << "'";
  }
}

// Texts built so that a plain search would compare about n * m units: past
// its budget the exact test is answered by the bit-parallel scan, and its
// answer still decides sentences that normalise to nothing.
TEST(MatchSentence, ExactTestStaysRightOnQuadraticInputs) {
  const std::u16string run(5000, u'，');
  const std::u16string sentence = std::u16string(99, u'，') + u'。';
  EXPECT_TRUE(MatchSentence(sentence, run + u'。', false));
  EXPECT_FALSE(MatchSentence(sentence, run + u'！', false));
  EXPECT_TRUE(MatchSentence(sentence, u'。' + run, true));  // one edit away
  const std::u16string as(5000, u'a');
  const std::u16string hay = as + u"b" + as;
  EXPECT_TRUE(MatchSentence(std::u16string(150, u'a') + u"b" + std::u16string(150, u'a'), hay, true));
  EXPECT_FALSE(MatchSentence(std::u16string(150, u'a') + std::u16string(20, u'b'), as, true));
}

// Random sentences and entries over the first `alphabet` units of a set
// that mixes units the normalisation keeps, drops, and a surrogate pair's
// halves; half the entries hold the sentence with up to maxEdits units
// replaced.
struct TRandomMatchTexts {
  std::mt19937& gen;
  size_t alphabet;
  static constexpr char16_t kUnits[] = {u'a', u'B', u'1', 0x4E00, 0x6587, u' ', u'，', u'.', 0xFF21, 0xD83D, 0xDE00};

  std::u16string Word(size_t n) {
    std::u16string s;
    for (size_t i = 0; i < n; ++i) s.push_back(kUnits[gen() % alphabet]);
    return s;
  }
  std::u16string Entry(const std::u16string& sentence, size_t maxLen, int maxEdits) {
    std::u16string text = Word(gen() % maxLen);
    if (gen() % 2) {
      std::u16string planted = sentence;
      for (int e = static_cast<int>(gen() % static_cast<unsigned>(maxEdits)); e > 0 && !planted.empty(); --e)
        planted[gen() % planted.size()] = kUnits[gen() % alphabet];
      text.insert(gen() % (text.size() + 1), planted);
    }
    return text;
  }
};

// Sentences and entries mixing kept units with spaces and punctuation,
// compared with the full-matrix reference in both modes.
TEST(MatchSentence, AgreesWithReferenceOnRandomPairs) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::printf("MatchSentence AgreesWithReferenceOnRandomPairs seed %u\n", seed);
  std::mt19937 gen(seed);
  int hits = 0;
  const int kPairs = 3000;
  for (int round = 0; round < kPairs; ++round) {
    TRandomMatchTexts texts{gen, 2 + gen() % 10};
    const std::u16string sentence = texts.Word(gen() % 90);
    const std::u16string text = texts.Entry(sentence, 300, 14);
    const bool strict = gen() % 2;
    const bool expected = reference::MatchSentence(sentence, text, strict);
    ASSERT_EQ(MatchSentence(sentence, text, strict), expected)
        << "round " << round << " '" << U16ToUtf8(sentence) << "' in '" << U16ToUtf8(text)
        << "' strict=" << strict;
    hits += expected;
  }
  EXPECT_GT(hits, kPairs / 5);
  EXPECT_LT(hits, kPairs * 4 / 5);
}

// A page's entries through one matcher, as the extractors ask: every
// answer as the reference gives it for that text alone.
TEST(SentenceMatcher, OneMatcherAgreesWithReferenceOnEveryEntryOfAPage) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 gen(seed);
  for (int page = 0; page < 200; ++page) {
    TRandomMatchTexts texts{gen, 2 + gen() % 9};
    const std::u16string sentence = texts.Word(gen() % 60);
    const bool strict = gen() % 2;
    TSentenceMatcher matcher(sentence, strict);
    for (int entry = 0; entry < 12; ++entry) {
      const std::u16string text = texts.Entry(sentence, 200, 12);
      ASSERT_EQ(matcher.Matches(text), reference::MatchSentence(sentence, text, strict))
          << "page " << page << " entry " << entry << " '" << U16ToUtf8(sentence) << "' in '"
          << U16ToUtf8(text) << "' strict=" << strict;
    }
  }
}

// The piece and mask tables a scratch keeps from one call to the next
// must follow the pattern and edit count asked for: patterns of one
// length that differ in a unit, and the same pattern with another k.
TEST(SentenceMatcher, KeptTablesFollowThePatternAndTheEditCount) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 gen(seed);
  auto word = [&](size_t n) {
    std::u16string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(u'a' + gen() % 4));
    return s;
  };
  match_detail::TPieceScratch kept;
  std::u16string pattern;
  for (int round = 0; round < 3000; ++round) {
    if (round % 4 == 0) pattern = word(20 + gen() % 4);  // then asked with other k
    std::u16string text = word(gen() % 120);
    if (gen() % 2) text.insert(gen() % (text.size() + 1), pattern.substr(0, pattern.size() - gen() % 3));
    const int k = 1 + static_cast<int>(gen() % 8);
    match_detail::TPieceScratch fresh;
    ASSERT_EQ(match_detail::AnyWithinByPieces(pattern, text, k, kept),
              match_detail::AnyWithinByPieces(pattern, text, k, fresh))
        << "round " << round << " '" << U16ToUtf8(pattern) << "' in '" << U16ToUtf8(text) << "' k=" << k;
  }
}

}  // namespace
}  // namespace zqe
