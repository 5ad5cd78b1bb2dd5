#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "ReferenceApproximateSearch.h"
#include "match/SentenceAlign.h"
#include "match/SentenceMatch.h"
#include "platform/Text.h"

namespace zqe {
namespace {

// The text with the span in [[ ]], a substituted unit as (text>sentence),
// a deleted one as {-x-} and an inserted one as {+x+}, after "=" for a
// verbatim occurrence or the edit count and ":"; "none" when not found.
std::u16string Dump(const TSentenceAlignment& a, std::u16string_view sentence, std::u16string_view text) {
  if (!a.Found) return u"none";
  std::u16string o = a.Verbatim ? u"=" : IntToU16(a.Edits) + u":";
  for (int32_t p = 0; p <= static_cast<int32_t>(text.size()); ++p) {
    if (p == a.Start) o += u"[[";
    const TAlignEdit* at = nullptr;
    for (const TAlignEdit& e : a.EditList) {
      if (e.TextPos != p) continue;
      if (e.Kind == TAlignEditKind::Insert)
        o += u"{+" + std::u16string(1, sentence[e.SentencePos]) + u"+}";
      else
        at = &e;
    }
    if (p == a.End) o += u"]]";
    if (p == static_cast<int32_t>(text.size())) break;
    if (at == nullptr)
      o += text[p];
    else if (at->Kind == TAlignEditKind::Delete)
      o.append(u"{-").append(1, text[p]).append(u"-}");
    else
      o.append(u"(").append(1, text[p]).append(u">").append(1, sentence[at->SentencePos]).append(u")");
  }
  return o;
}

// Replays the edits over the span's compared units: the result must be the
// sentence's compared units, and every edit must count.
void ExpectEditsRebuildTheSentence(const TSentenceAlignment& a, std::u16string_view sentence,
                                   std::u16string_view text, bool strict, const std::string& what) {
  if (!a.Found) return;
  ASSERT_EQ(a.Edits, static_cast<int32_t>(a.EditList.size())) << what;
  ASSERT_LE(a.Edits, kSentenceMaxDistance) << what;
  ASSERT_TRUE(0 <= a.Start && a.Start <= a.End && a.End <= static_cast<int32_t>(text.size())) << what;
  if (a.Verbatim) {
    EXPECT_EQ(text.substr(a.Start, a.End - a.Start), sentence) << what;
    return;
  }
  auto compared = [&](char16_t c) { return strict || IsKeptForMatch(c); };
  std::u16string rebuilt;
  size_t next = 0;
  for (int32_t p = a.Start; p <= a.End; ++p) {
    const TAlignEdit* at = nullptr;
    for (; next < a.EditList.size() && a.EditList[next].TextPos == p; ++next) {
      const TAlignEdit& e = a.EditList[next];
      if (e.Kind == TAlignEditKind::Insert) {
        ASSERT_TRUE(compared(sentence[e.SentencePos])) << what;
        rebuilt += sentence[e.SentencePos];
      } else {
        at = &e;
      }
    }
    if (p == a.End) break;
    if (!compared(text[p])) {
      ASSERT_EQ(at, nullptr) << what << ": an edit on a unit that was not compared";
    } else if (at == nullptr) {
      rebuilt += text[p];
    } else if (at->Kind == TAlignEditKind::Substitute) {
      EXPECT_NE(text[p], sentence[at->SentencePos]) << what;
      rebuilt += sentence[at->SentencePos];
    }
  }
  EXPECT_EQ(next, a.EditList.size()) << what << ": edits out of text order or outside the span";
  const std::u16string want = strict ? std::u16string(sentence) : NormalizeForMatch(sentence);
  EXPECT_EQ(rebuilt, want) << what;
}

std::string Describe(std::u16string_view sentence, std::u16string_view text, bool strict) {
  std::string d = "'";
  d.append(U16ToUtf8(sentence)).append("' in '").append(U16ToUtf8(text)).append("' strict=").append(strict ? "1" : "0");
  return d;
}

TEST(AlignSentence, TableOfCases) {
  const struct {
    const char16_t* Sentence;
    const char16_t* Text;
    bool Strict;
    const char16_t* Expected;
  } cases[] = {
      // A verbatim occurrence wins, the first one.
      {u"quick brown", u"the quick brown fox", false, u"=the [[quick brown]] fox"},
      {u"quick brown", u"the quick brown fox", true, u"=the [[quick brown]] fox"},
      {u"ab cd", u"x ab cd ab cd", false, u"=x [[ab cd]] ab cd"},
      // Substitution, deletion (the text has a unit more), insertion (the
      // sentence has one more); punctuation and spaces are not compared.
      {u"the quick brown fox", u"see the quack brown fox jump", false, u"1:see [[the qu(a>i)ck brown fox]] jump"},
      {u"hello wonderful world", u"say hello, wonderfull world!", false, u"1:say [[hello, wonderfu{-l-}l world]]!"},
      {u"the colour of the sky", u"see the colour of th sky.", false, u"1:see [[the colour of th{+e+} sky]]."},
      {u"Hello world again", u"He said: Hello, world again!", false, u"0:He said: [[Hello, world again]]!"},
      // Chinese: the punctuation that normalisation drops is neither an
      // edit nor part of the span's ends.
      {u"今天天气很好，适合出门。", u"他说：今天天气很好适合出门散步。", false, u"0:他说：[[今天天气很好适合出门]]散步。"},
      {u"今天天气很好，适合出门", u"据说，今天天气不好，适合出门。", false, u"1:据说，[[今天天气(不>很)好，适合出门]]。"},
      {u"今天天气很好适合出门", u"据说，今天天，气很好适合出门。", false, u"0:据说，[[今天天，气很好适合出门]]。"},
      // Strict: every unit counts, punctuation and spaces too.
      {u"Hello, world again", u"He said Hello world again!", true, u"1:He said [[Hello{+,+} world again]]!"},
      {u"Hello, world again", u"He said Hello world again!", false, u"0:He said [[Hello world again]]!"},
      {u"a b c d e f g h i j k l", u"abcdefghijkl", true, u"none"},
      {u"a b c d e f g h i j k l", u"abcdefghijkl", false, u"0:[[abcdefghijkl]]"},
      // What precedes the text's start is inserted at the span's start.
      {u"xyzabcdefghij", u"abcdefghij rest", true, u"3:[[{+x+}{+y+}{+z+}abcdefghij]] rest"},
      // Nine edits is one too many; nothing to compare is no match.
      {u"abcdefghijklmnopqrst", u"ABCDEFGHIjklmnopqrst", true, u"none"},
      {u"abcdefghijklmnopqrst", u"ABCDEFGHijklmnopqrst", true,
       u"8:[[(A>a)(B>b)(C>c)(D>d)(E>e)(F>f)(G>g)(H>h)ijklmnopqrst]]"},
      {u"，。！", u"前文，。后文", false, u"none"},
      {u"", u"anything", false, u"none"},
      {u"abc", u"", true, u"none"},
      {u"abcdefghijklmnopqrstuvwxyz", u"abcdefghijklmnop", true, u"none"},
  };
  for (const auto& c : cases) {
    const std::string what = Describe(c.Sentence, c.Text, c.Strict);
    const TSentenceAlignment a = AlignSentence(c.Sentence, c.Text, c.Strict);
    EXPECT_EQ(U16ToUtf8(Dump(a, c.Sentence, c.Text)), U16ToUtf8(c.Expected)) << what;
    EXPECT_EQ(a.Found, MatchSentence(c.Sentence, c.Text, c.Strict)) << what;
    EXPECT_EQ(a, reference::AlignSentence(c.Sentence, c.Text, c.Strict)) << what;
    ExpectEditsRebuildTheSentence(a, c.Sentence, c.Text, c.Strict, what);
  }
}

// Every sentence of up to 4 units and every text of up to 5 over a tiny
// alphabet (a unit that normalisation drops among them), in both modes.
TEST(AlignSentence, AgreesWithReferenceOnEverySmallInput) {
  const char16_t alphabet[] = {u'a', u'b', u','};
  auto all = [&](size_t maxLen) {
    std::vector<std::u16string> out{u""};
    for (size_t from = 0; out.back().size() < maxLen;) {
      const size_t to = out.size();
      for (size_t i = from; i < to; ++i)
        for (char16_t c : alphabet) out.push_back(out[i] + c);
      from = to;
    }
    return out;
  };
  const auto sentences = all(4), texts = all(5);
  for (const auto& s : sentences)
    for (const auto& t : texts)
      for (const bool strict : {false, true}) {
        const TSentenceAlignment a = AlignSentence(s, t, strict);
        ASSERT_EQ(a, reference::AlignSentence(s, t, strict)) << Describe(s, t, strict);
        ASSERT_EQ(a.Found, MatchSentence(s, t, strict)) << Describe(s, t, strict);
      }
}

// Longer sentences (several machine words of pattern) planted with edits
// in longer texts, so the band and the ends are exercised away from the
// text's start.
TEST(AlignSentence, AgreesWithReferenceOnRandomPairs) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::printf("AlignSentence AgreesWithReferenceOnRandomPairs seed %u\n", seed);
  std::mt19937 gen(seed);
  static const char16_t kUnits[] = {u'a', u'B', u'1', 0x4E00, 0x6587, u' ', u'，', u'.', 0xFF21, u'z'};
  auto word = [&](size_t n, size_t alphabet) {
    std::u16string s;
    for (size_t i = 0; i < n; ++i) s.push_back(kUnits[gen() % alphabet]);
    return s;
  };
  int found = 0, edited = 0;
  const int kPairs = 2000;
  for (int round = 0; round < kPairs; ++round) {
    const size_t alphabet = 2 + gen() % 9;
    const std::u16string sentence = word(1 + gen() % 160, alphabet);
    std::u16string text = word(gen() % 400, alphabet);
    if (gen() % 4) {
      std::u16string planted = sentence;
      for (int e = static_cast<int>(gen() % 12); e > 0 && !planted.empty(); --e) {
        const size_t at = gen() % planted.size();
        switch (gen() % 3) {
          case 0: planted[at] = kUnits[gen() % alphabet]; break;
          case 1: planted.erase(at, 1); break;
          default: planted.insert(at, 1, kUnits[gen() % alphabet]);
        }
      }
      text.insert(gen() % (text.size() + 1), planted);
    }
    const bool strict = gen() % 2;
    const std::string what = "round " + std::to_string(round) + " " + Describe(sentence, text, strict);
    const TSentenceAlignment a = AlignSentence(sentence, text, strict);
    ASSERT_EQ(a, reference::AlignSentence(sentence, text, strict)) << what;
    ASSERT_EQ(a.Found, MatchSentence(sentence, text, strict)) << what;
    ExpectEditsRebuildTheSentence(a, sentence, text, strict, what);
    found += a.Found;
    edited += a.Found && a.Edits > 0;
  }
  // The plants must yield both kinds of answer, and real edits.
  EXPECT_GT(found, kPairs / 4);
  EXPECT_LT(found, kPairs * 9 / 10);
  EXPECT_GT(edited, kPairs / 10);
}

// A sentence of a few hundred units deep inside a long text: the span and
// the edits sit where the sentence was planted, not at the text's start.
TEST(AlignSentence, FindsAPlantedSentenceFarIntoALongText) {
  std::mt19937 gen(7);
  std::u16string text;
  for (int i = 0; i < 100000; ++i) text.push_back(static_cast<char16_t>(u'a' + gen() % 26));
  const std::u16string sentence = text.substr(61234, 300);
  // '#' occurs nowhere else, so each costs exactly one substitution.
  for (const size_t at : {size_t(61234 + 5), size_t(61234 + 150), size_t(61234 + 298)}) text[at] = u'#';
  for (const bool strict : {false, true}) {
    const TSentenceAlignment a = AlignSentence(sentence, text, strict);
    ASSERT_TRUE(a.Found) << strict;
    EXPECT_FALSE(a.Verbatim);
    EXPECT_EQ(a.Start, 61234);
    EXPECT_EQ(a.End, 61234 + 300);
    ASSERT_EQ(a.Edits, 3);
    if (strict) {
      const std::vector<TAlignEdit> expected = {{TAlignEditKind::Substitute, 61234 + 5, 5},
                                                {TAlignEditKind::Substitute, 61234 + 150, 150},
                                                {TAlignEditKind::Substitute, 61234 + 298, 298}};
      EXPECT_EQ(a.EditList, expected);
    } else {
      // '#' is not compared: each replaced letter is missing from the text.
      for (const TAlignEdit& e : a.EditList) EXPECT_EQ(e.Kind, TAlignEditKind::Insert);
    }
    ExpectEditsRebuildTheSentence(a, sentence, text, strict, strict ? "strict" : "normalised");
  }
}

}  // namespace
}  // namespace zqe
