#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ReferenceApproximateSearch.h"
#include "match/ApproximateSubstringSearch.h"
#include "platform/Text.h"

namespace zqe {
namespace {

std::string Dump(const TMatchResult& r) {
  if (!r.Found) return "not found";
  return "pos " + std::to_string(r.Position) + " len " + std::to_string(r.Length) + " dist " +
         std::to_string(r.Distance) + " '" + U16ToUtf8(r.MatchedString) + "'";
}

struct TCase {
  const char16_t* Text;
  const char16_t* Pattern;
  int32_t MaxDistance;
  const char* Expected;
};

TEST(ApproximateSearch, TableOfCases) {
  const TCase cases[] = {
      {u"abcdef", u"bxd", 8, "pos 2 len 3 dist 1 'bcd'"},
      {u"abab", u"ab", 8, "pos 3 len 2 dist 0 'ab'"},
      {u"abab", u"ab", 0, "pos 3 len 2 dist 0 'ab'"},
      {u"abab", u"ab", -1, "not found"},
      {u"abc", u"ABC", 8, "pos 1 len 3 dist 3 'abc'"},
      {u"abc", u"ABC", 2, "not found"},
      {u"", u"a", 8, "not found"},
      {u"abc", u"", 8, "not found"},
      // Deleting the whole pattern costs its length, so a short pattern is
      // always found; the walk back prefers substitutions to deletions.
      {u"zzz", u"ab", 2, "pos 2 len 2 dist 2 'zz'"},
      {u"zzz", u"ab", 1, "not found"},
      // Nine substitutions against eight allowed, then eight.
      {u"xxABCDEFGHIxx", u"abcdefghi", 8, "not found"},
      {u"xxABCDEFGHixx", u"abcdefghi", 8, "pos 3 len 9 dist 8 'ABCDEFGHi'"},
      // A character outside the BMP is two units, and the best substring
      // may start on its second half.
      {u"a\U0001F600b", u"ab", 8, "pos 3 len 2 dist 1 '\xEF\xBF\xBD" "b'"},
      {u"x\U0001F600y", u"\U0001F600", 0, "pos 2 len 2 dist 0 '\xF0\x9F\x98\x80'"},
      {u"今天天气很好适合出门散步", u"今天天气很好，适合出门", 8,
       "pos 1 len 10 dist 1 '今天天气很好适合出门'"},
  };
  for (const TCase& c : cases) {
    TApproximateSearch search(c.Text);
    const TMatchResult r = search.FindBestMatch(c.Pattern, c.MaxDistance);
    EXPECT_EQ(Dump(r), c.Expected) << U16ToUtf8(c.Pattern) << " in " << U16ToUtf8(c.Text);
    EXPECT_EQ(search.HasMatch(c.Pattern, c.MaxDistance), r.Found) << U16ToUtf8(c.Pattern);
    reference::TApproximateSearch slow(c.Text);
    EXPECT_EQ(Dump(slow.FindBestMatch(c.Pattern, c.MaxDistance)), c.Expected)
        << "reference: " << U16ToUtf8(c.Pattern) << " in " << U16ToUtf8(c.Text);
  }
}

TEST(ApproximateSearch, NotFoundLeavesEveryFieldEmpty) {
  TApproximateSearch search(u"hello world");
  EXPECT_EQ(search.FindBestMatch(u"completely different text here", 8), TMatchResult{});
  EXPECT_EQ(search.FindBestMatch(u"hello", -1), TMatchResult{});
}

TEST(ApproximateSearch, OneObjectServesPatternsOfGrowingAndShrinkingLength) {
  const std::u16string text = u"the quick brown fox jumps over the lazy dog, again and again";
  TApproximateSearch search(text);
  reference::TApproximateSearch slow(text);
  const std::u16string patterns[] = {u"lazy", u"the quick brown fox jumped over a lazy dog", u"fox",
                                     std::u16string(130, u'a') + u"gain", u"dog"};
  for (const auto& p : patterns)
    for (int k : {0, 3, 8, 200})
      EXPECT_EQ(Dump(search.FindBestMatch(p, k)), Dump(slow.FindBestMatch(p, k))) << U16ToUtf8(p) << " k=" << k;
}

// Every pattern of up to 4 units and text of up to 6 units over {a, b, c}.
TEST(ApproximateSearch, AgreesWithReferenceOnAllSmallInputs) {
  std::vector<std::u16string> words{u""};
  for (size_t begin = 0, len = 0; len < 6; ++len) {
    const size_t end = words.size();
    for (size_t w = begin; w < end; ++w)
      for (char16_t c : {u'a', u'b', u'c'}) words.push_back(words[w] + c);
    begin = end;
  }
  int checked = 0;
  for (const auto& text : words) {
    TApproximateSearch search(text);
    reference::TApproximateSearch slow(text);
    for (const auto& pattern : words) {
      if (pattern.size() > 4) break;
      for (int k : {-1, 0, 1, 2, 3}) {
        const TMatchResult expected = slow.FindBestMatch(pattern, k);
        ASSERT_EQ(Dump(search.FindBestMatch(pattern, k)), Dump(expected))
            << "pattern '" << U16ToUtf8(pattern) << "' text '" << U16ToUtf8(text) << "' k=" << k;
        ASSERT_EQ(search.HasMatch(pattern, k), expected.Found)
            << "pattern '" << U16ToUtf8(pattern) << "' text '" << U16ToUtf8(text) << "' k=" << k;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 0);
}

class TRandomText {
 public:
  explicit TRandomText(uint32_t seed) : FGen(seed) {}

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(FGen); }

  // Units from a small alphabet: ASCII letters, CJK ideographs and the two
  // halves of a surrogate pair, so that pairs also appear split.
  std::u16string Word(int length, int alphabet) {
    static const char16_t kUnits[] = {u'a', u'b', 0x4E00, 0x9FA5, 0xD83D, 0xDE00, u'c', u'd',
                                      u'e', 0x6587, u'f', u'g', u'h', u'i', u'j', u'k'};
    std::u16string s;
    for (int i = 0; i < length; ++i) s.push_back(kUnits[Int(0, alphabet - 1)]);
    return s;
  }

  // The word with `edits` random substitutions, insertions and deletions.
  std::u16string Edit(std::u16string s, int edits, int alphabet) {
    for (int e = 0; e < edits; ++e) {
      const int op = Int(0, 2);
      if (op == 0 && !s.empty()) {
        s[Int(0, static_cast<int>(s.size()) - 1)] = Word(1, alphabet)[0];
      } else if (op == 1) {
        s.insert(s.begin() + Int(0, static_cast<int>(s.size())), Word(1, alphabet)[0]);
      } else if (!s.empty()) {
        s.erase(s.begin() + Int(0, static_cast<int>(s.size()) - 1));
      }
    }
    return s;
  }

 private:
  std::mt19937 FGen;
};

// Random pairs, lengths 0 to 300, distances around the limit 8, and a
// pattern that is usually planted in the text with a few edits so that
// matches near the limit are common; long patterns run on several words.
TEST(ApproximateSearch, AgreesWithReferenceOnRandomPairs) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::printf("AgreesWithReferenceOnRandomPairs seed %u\n", seed);
  TRandomText rnd(seed);
  int found = 0;
  const int kPairs = 1500;
  for (int round = 0; round < kPairs; ++round) {
    const int alphabet = rnd.Int(2, 16);
    const int m = rnd.Int(0, round % 3 == 0 ? 300 : 70);
    const std::u16string pattern = rnd.Word(m, alphabet);
    std::u16string text = rnd.Word(rnd.Int(0, 300), alphabet);
    if (rnd.Int(0, 3) != 0) {
      const std::u16string planted = rnd.Edit(pattern, rnd.Int(0, 12), alphabet);
      text.insert(static_cast<size_t>(rnd.Int(0, static_cast<int>(text.size()))), planted);
    }
    const int k = rnd.Int(-1, 12);
    TApproximateSearch search(text);
    reference::TApproximateSearch slow(text);
    const TMatchResult expected = slow.FindBestMatch(pattern, k);
    ASSERT_EQ(Dump(search.FindBestMatch(pattern, k)), Dump(expected))
        << "round " << round << " m=" << m << " n=" << text.size() << " k=" << k;
    ASSERT_EQ(search.HasMatch(pattern, k), expected.Found) << "round " << round;
    found += expected.Found;
  }
  // The cases must exercise both outcomes, or the comparison says little.
  EXPECT_GT(found, kPairs / 5);
  EXPECT_LT(found, kPairs * 4 / 5);
}

// Large alphabet, long mismatching stretches: the banded scan drops its
// lower blocks there and must bring them back, exactly, before a planted
// copy of a long pattern.
TEST(ApproximateSearch, BandedScanRecoversBlocksBeforeALatePlantedMatch) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::printf("BandedScanRecoversBlocksBeforeALatePlantedMatch seed %u\n", seed);
  std::mt19937 gen(seed);
  auto cjk = [&](int n) {
    std::u16string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(0x4E00 + gen() % 3000));
    return s;
  };
  TRandomText rnd(seed);
  for (int round = 0; round < 60; ++round) {
    const int m = 65 + static_cast<int>(gen() % 236);
    const std::u16string pattern = cjk(m);
    const int edits = 6 + round % 5;
    std::u16string planted = pattern;
    for (int e = 0; e < edits; ++e) {
      const size_t at = gen() % planted.size();
      if (e % 2) planted.erase(at, 1); else planted[at] = 0x3000;
    }
    const std::u16string text = cjk(400) + planted + cjk(static_cast<int>(gen() % 50));
    TApproximateSearch search(text);
    reference::TApproximateSearch slow(text);
    const TMatchResult expected = slow.FindBestMatch(pattern, 8);
    ASSERT_EQ(Dump(search.FindBestMatch(pattern, 8)), Dump(expected)) << "round " << round << " m=" << m;
    ASSERT_EQ(search.HasMatch(pattern, 8), expected.Found) << "round " << round;
  }
}

// HasMatch scans only around exact pieces of the pattern (k + 1 of them
// for k edits). Cases at the edges of that filter: alignments cut by the
// text's ends, edits spread over every piece, pieces too short to filter,
// k at or above the pattern's length, surrogates and repeated units.
TEST(ApproximateSearch, HasMatchPieceFilterEdges) {
  const std::u16string alpha = u"abcdefghijklmnopqrstuvwxyz0";  // 27 units: nine pieces of 3 at k = 8
  auto spoilPieces = [&](int count) {  // one substitution in the middle of `count` pieces
    std::u16string s = alpha;
    for (int i = 0; i < count; ++i) s[3 * i + 1] = u'#';
    return s;
  };
  const std::u16string emoji = u"😀😁😂😃😄😅😆"
                               u"😇😈😉";  // 20 units
  const std::u16string as(300, u'a');
  std::u16string aaaab;
  for (int i = 0; i < 8; ++i) aaaab += u"aaaab";
  const struct {
    std::u16string Text;
    std::u16string Pattern;
    int32_t K;
    bool Expected;
  } cases[] = {
      // The alignment starts before the text or ends after it.
      {alpha.substr(8), alpha, 8, true},
      {alpha.substr(9), alpha, 8, false},
      {alpha.substr(0, 19), alpha, 8, true},
      {alpha.substr(0, 18), alpha, 8, false},
      {alpha.substr(4, 19), alpha, 8, true},
      {alpha.substr(4, 18), alpha, 8, false},
      {u"zz" + alpha.substr(8) + u"zz", alpha, 8, true},
      // One edit in each of eight pieces leaves one piece intact; in all
      // nine, none: the filter sees nothing and the answer must be no.
      {u"xx" + spoilPieces(8) + u"yy", alpha, 8, true},
      {u"xx" + spoilPieces(9) + u"yy", alpha, 8, false},
      {spoilPieces(9), alpha, 9, true},
      // Pieces of one unit (17 < 2 * 9): the plain scan.
      {u"xx" + spoilPieces(5).substr(0, 17), alpha.substr(0, 17), 5, true},
      {u"xx" + spoilPieces(5).substr(0, 17), alpha.substr(0, 17), 4, false},
      // Deleting the whole pattern costs its length.
      {u"x", u"abc", 3, true},
      {u"x", u"abc", 2, false},
      {u"x", u"abc", 100, true},
      {u"", u"abc", 100, false},
      // Whole surrogate pairs as pieces, and a pair split by the text's start.
      {u"--" + emoji.substr(1) + u"--", emoji, 1, true},
      {emoji.substr(3), emoji, 2, false},
      {emoji.substr(3), emoji, 3, true},
      // One repeated unit: every gram is a candidate everywhere.
      {as, std::u16string(40, u'a'), 8, true},
      {as, aaaab, 8, true},
      {as, aaaab, 7, false},
      {as + u"b" + as, u"b" + std::u16string(39, u'a') + u"b", 1, true},
      {as + u"b" + as, u"b" + std::u16string(39, u'a') + u"b", 0, false},
  };
  for (const auto& c : cases) {
    TApproximateSearch search(c.Text);
    reference::TApproximateSearch slow(c.Text);
    EXPECT_EQ(search.HasMatch(c.Pattern, c.K), c.Expected)
        << "'" << U16ToUtf8(c.Pattern) << "' in '" << U16ToUtf8(c.Text) << "' k=" << c.K;
    EXPECT_EQ(slow.FindBestMatch(c.Pattern, c.K).Found, c.Expected)
        << "reference: '" << U16ToUtf8(c.Pattern) << "' in '" << U16ToUtf8(c.Text) << "' k=" << c.K;
  }
}

// Random pairs aimed at the piece filter: patterns from just below to a
// few times the length where pieces get two units, texts made of bits of
// the pattern (whole pieces, an edited copy cut off at either end of the
// text) and of noise, over alphabets from two units up.
TEST(ApproximateSearch, HasMatchAgreesWithReferenceAroundPieces) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::printf("HasMatchAgreesWithReferenceAroundPieces seed %u\n", seed);
  TRandomText rnd(seed);
  int found = 0;
  const int kPairs = 3000;
  for (int round = 0; round < kPairs; ++round) {
    const int k = rnd.Int(0, 10);
    const int alphabet = rnd.Int(2, 16);
    const int m = rnd.Int(std::max(1, 2 * (k + 1) - 3), 5 * (k + 1) + 3);
    const std::u16string pattern = rnd.Word(m, alphabet);
    std::u16string text;
    for (int part = rnd.Int(1, 5); part > 0; --part) {
      switch (rnd.Int(0, 3)) {
        case 0:
          text += rnd.Word(rnd.Int(0, 40), alphabet);
          break;
        case 1: {  // a piece-sized bit of the pattern, as is
          const int len = rnd.Int(1, std::max(1, m / (k + 1) + 1));
          text += pattern.substr(static_cast<size_t>(rnd.Int(0, m - 1)), static_cast<size_t>(len));
          break;
        }
        default: {  // an edited copy, maybe with its start or end cut off
          std::u16string copy = rnd.Edit(pattern, rnd.Int(0, k + 3), alphabet);
          const int cut = rnd.Int(0, k + 2);
          if (rnd.Int(0, 1)) copy.erase(0, std::min(copy.size(), static_cast<size_t>(cut)));
          else copy.resize(copy.size() - std::min(copy.size(), static_cast<size_t>(cut)));
          text += copy;
        }
      }
    }
    TApproximateSearch search(text);
    reference::TApproximateSearch slow(text);
    const bool expected = slow.FindBestMatch(pattern, k).Found;
    ASSERT_EQ(search.HasMatch(pattern, k), expected)
        << "round " << round << " '" << U16ToUtf8(pattern) << "' in '" << U16ToUtf8(text) << "' k=" << k;
    found += expected;
  }
  EXPECT_GT(found, kPairs / 5);
  EXPECT_LT(found, kPairs * 4 / 5);
}

TEST(ApproximateSearch, HugeMaxDistanceDoesNotOverflow) {
  const std::u16string text(200, u'x');
  const std::u16string pattern(150, u'y');
  TApproximateSearch search(text);
  reference::TApproximateSearch slow(text);
  EXPECT_EQ(Dump(search.FindBestMatch(pattern, INT32_MAX)), Dump(slow.FindBestMatch(pattern, INT32_MAX)));
  EXPECT_TRUE(search.HasMatch(pattern, INT32_MAX));
}

}  // namespace
}  // namespace zqe
