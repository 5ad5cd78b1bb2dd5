// The report's figures, its JSON schema, the coverage every rendering
// shows, the HTML highlights, and how a result record becomes an engine's
// answer.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "host/CheckRun.h"
#include "host/Report.h"
#include "platform/Text.h"

namespace zqe::cli {
namespace {

constexpr EngineAnswer kHit{Outcome::kHit, 0}, kNoHit{Outcome::kNoHit, 1}, kBlocked{Outcome::kBlocked, 251},
    kFetch{Outcome::kFetchError, 253}, kTimedOut{Outcome::kTimedOut};

// Answers of bing and baidu, in that order.
SentenceResult Make(const std::u16string& doc, const std::u16string& text, std::vector<EngineAnswer> answers,
                    const char* url = "") {
  SentenceResult r;
  r.sentence.offset = doc.find(text);
  r.sentence.length = text.size();
  r.sentence.text = text;
  r.answers = std::move(answers);
  r.verdict = VerdictOf(r.answers);
  if (r.verdict == Verdict::kCopied) {
    r.engine = "bing";
    r.url = Utf8ToU16(url);
    r.displayUrl = r.url.substr(r.url.find(u"//") + 2);
  }
  return r;
}

// Two documents: 10 + 6 copied characters and 8 original ones in the
// first, one copied sentence of 4 in the second; one sentence that no
// engine could answer, not counted.
Report Sample() {
  Report r;
  r.engines = {"bing", "baidu"};
  DocumentReport a;
  a.path = "a.txt";
  a.encoding = "utf-8";
  a.text = u"一二三四五六七八九十。甲乙丙丁戊。original <b>. broken one.";
  a.sentences.push_back(Make(a.text, u"一二三四五六七八九十。", {kHit, kNoHit}, "http://x.example/1"));
  a.sentences.push_back(Make(a.text, u"甲乙丙丁戊。", {kHit, kBlocked}, "http://x.example/1"));
  a.sentences.push_back(Make(a.text, u"original", {kNoHit, kTimedOut}));
  a.sentences.push_back(Make(a.text, u"<b>. broken one.", {kFetch, kBlocked}));
  a.sentences[2].sentence.length = 8;
  a.skipped = 1;
  DocumentReport b;
  b.path = "b.txt";
  b.encoding = "gb18030";
  b.text = u"子丑寅卯";
  b.sentences.push_back(Make(b.text, u"子丑寅卯", {kTimedOut, kHit}, "javascript:alert(1)"));
  r.documents = {a, b};
  return r;
}

TEST(ReportTest, OriginalityCountsCheckedCharactersOnly) {
  const Totals t = Summarise(Sample());
  EXPECT_EQ(t.copiedChars, 11u + 6u + 4u);
  EXPECT_EQ(t.originalChars, 8u);
  EXPECT_NEAR(t.Originality(), 100.0 * 8 / 29, 1e-9);
  EXPECT_EQ(t.notChecked, 1u);
  EXPECT_FALSE(t.MostlyUnchecked());
  EXPECT_EQ(t.skipped, 1u);
  EXPECT_LT(Totals{}.Originality(), 0.0);
}

TEST(ReportTest, SourcesGroupedByLinkMostSentencesFirst) {
  const auto sources = GroupSources(Sample());
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0].url, u"http://x.example/1");
  EXPECT_EQ(sources[0].refs.size(), 2u);
  EXPECT_EQ(sources[0].characters, 17u);
  EXPECT_EQ(sources[1].refs[0].document, 1u);
}

TEST(ReportTest, JsonSchema) {
  const auto j = nlohmann::json::parse(RenderJson(Sample()));
  ASSERT_TRUE(j["originality"].is_number());
  EXPECT_NEAR(j["originality"].get<double>(), 100.0 * 8 / 29, 1e-9);
  EXPECT_EQ(j["summary"]["sentences"]["copied"], 3);
  EXPECT_EQ(j["summary"]["sentences"]["skipped"], 1);
  EXPECT_EQ(j["summary"]["characters"]["checked"], 29);
  EXPECT_EQ(j["engines"], nlohmann::json({"bing", "baidu"}));
  for (const char* key :
       {"budget_ms", "strict", "filter", "min_length", "threads", "interrupted", "elapsed_ms", "library_ms"})
    EXPECT_TRUE(j.contains(key)) << key;

  ASSERT_EQ(j["documents"].size(), 2u);
  const auto& doc = j["documents"][0];
  EXPECT_EQ(doc["path"], "a.txt");
  EXPECT_EQ(doc["encoding"], "utf-8");
  EXPECT_TRUE(doc["originality"].is_number());
  ASSERT_EQ(doc["sentences"].size(), 4u);
  const auto& copied = doc["sentences"][0];
  EXPECT_EQ(copied["verdict"], "copied");
  EXPECT_EQ(copied["text"], "一二三四五六七八九十。");
  EXPECT_EQ(copied["offset"], 0);
  EXPECT_EQ(copied["length"], 11);
  EXPECT_EQ(copied["engine"], "bing");
  EXPECT_EQ(copied["url"], "http://x.example/1");
  EXPECT_EQ(copied["display_url"], "x.example/1");
  EXPECT_TRUE(copied["snippet"].is_string());
  EXPECT_EQ(doc["sentences"][2]["verdict"], "original");
  EXPECT_FALSE(doc["sentences"][2].contains("url"));
  EXPECT_EQ(doc["sentences"][3]["verdict"], "not checked");
  EXPECT_EQ(doc["sentences"][3]["engine_errors"]["bing"]["error_code"], 253);
  EXPECT_TRUE(doc["sentences"][3]["engine_errors"]["bing"]["error"].is_string());
  EXPECT_FALSE(doc["sentences"][3]["engine_errors"].contains("baidu"));  // blocked says it all

  ASSERT_EQ(j["sources"].size(), 2u);
  EXPECT_EQ(j["sources"][0]["url"], "http://x.example/1");
  EXPECT_EQ(j["sources"][0]["sentences"], 2);
  EXPECT_EQ(j["sources"][0]["refs"][1], nlohmann::json({{"document", 0}, {"sentence", 1}}));
}

TEST(ReportTest, JsonOriginalityIsNullWhenNothingWasChecked) {
  Report r;
  r.documents.push_back(DocumentReport{});
  EXPECT_TRUE(nlohmann::json::parse(RenderJson(r))["originality"].is_null());
  EXPECT_NE(RenderText(r).find("Originality: n/a"), std::string::npos);
}

TEST(ReportTest, HtmlHighlightsCopiedSentencesAndLinksThemToSources) {
  const std::string html = RenderHtml(Sample());
  EXPECT_NE(html.find("<mark class=\"copied\" id=\"d0s0\""), std::string::npos);
  EXPECT_NE(html.find("一二三四五六七八九十。<a class=\"ref\" href=\"#src1\">[1]</a></mark>"), std::string::npos);
  EXPECT_NE(html.find("<li id=\"src1\">"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"http://x.example/1\""), std::string::npos);
  EXPECT_NE(html.find("<a href=\"#d0s1\">"), std::string::npos);
  // Document text is escaped, and only web links become links.
  EXPECT_EQ(html.find("<b>. broken"), std::string::npos);
  EXPECT_NE(html.find("&lt;b&gt;. broken one."), std::string::npos);
  EXPECT_EQ(html.find("href=\"javascript:"), std::string::npos);
  // Original text stays unmarked, in place.
  EXPECT_NE(html.find("</mark>original <mark class=\"not-checked\""), std::string::npos);
}

TEST(ReportTest, TextNamesVerdictsAndSources) {
  const std::string text = RenderText(Sample());
  EXPECT_NE(text.find("Originality: 27.6%"), std::string::npos) << text;
  EXPECT_NE(text.find("copied      一二三四五六七八九十。"), std::string::npos) << text;
  EXPECT_NE(text.find("2 sentences, 17 characters, via bing"), std::string::npos) << text;
  EXPECT_NE(text.find("the result page could not be fetched"), std::string::npos) << text;
}

// ---- coverage in the renderings ----------------------------------------------

TEST(ReportTest, TextShowsEachSentencesCoverageAndEachEnginesAnswers) {
  const std::string text = RenderText(Sample());
  for (const char* expected : {
           "        hit on bing; no hit on 1 of 2 engines\n",
           "        hit on bing; baidu blocked\n",
           "        no hit on 1 of 2 engines; baidu timed out\n",
           "        no engine answered; bing fetch error (the result page could not be fetched or had no body); "
           "baidu blocked\n",
           "  Answers per engine  hit  no hit  blocked  not recognised  fetch error  timed out  cancelled\n",
           // Document 1: bing 2 hits, 1 no hit, 1 error; baidu 1 no hit, 2 blocked, 1 timed out.
           "  bing                  2       1        0               0            1          0          0\n",
           "  baidu                 0       1        2               0            0          1          0\n",
           "  bing                  0       0        0               0            0          1          0\n",
           "Sentences:   5: 3 copied, 1 original, 1 not checked; 1 too short",
       })
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n----\n" << text;
  EXPECT_EQ(text.find("Warning:"), std::string::npos) << text;
}

TEST(ReportTest, JsonCarriesEveryEnginesAnswerAndTheCoverage) {
  const auto j = nlohmann::json::parse(RenderJson(Sample()));
  const auto& doc = j["documents"][0];
  const auto& blocked = doc["sentences"][1];
  EXPECT_EQ(blocked["engines"], nlohmann::json({{"bing", "hit"}, {"baidu", "blocked"}}));
  EXPECT_EQ(blocked["coverage"]["answered"], 1);
  EXPECT_EQ(blocked["coverage"]["selected"], 2);
  EXPECT_EQ(blocked["coverage"]["text"], "hit on bing; baidu blocked");
  const auto& none = doc["sentences"][3];
  EXPECT_EQ(none["engines"], nlohmann::json({{"bing", "fetch error"}, {"baidu", "blocked"}}));
  EXPECT_EQ(none["coverage"]["answered"], 0);
  EXPECT_FALSE(none.contains("url"));
  EXPECT_EQ(j["summary"]["sentences"]["not_checked"], 1);
  EXPECT_EQ(j["too_little_checked"], false);

  const nlohmann::json bing = {{"hit", 2},         {"no_hit", 1},      {"blocked", 0},   {"not_recognised", 0},
                               {"fetch_error", 1}, {"timed_out", 0},   {"cancelled", 0}};
  EXPECT_EQ(doc["engine_answers"]["bing"], bing);
  EXPECT_EQ(doc["engine_answers"]["baidu"]["blocked"], 2);
  EXPECT_EQ(j["documents"][1]["engine_answers"]["bing"]["timed_out"], 1);
  // The whole report's table adds up the documents'.
  EXPECT_EQ(j["engine_answers"]["bing"]["timed_out"], 1);
  EXPECT_EQ(j["engine_answers"]["baidu"]["hit"], 1);
  EXPECT_EQ(j["engine_answers"]["baidu"]["blocked"], 2);
}

TEST(ReportTest, HtmlShowsCoveragePerSentenceAndAnswersPerEngine) {
  const std::string html = RenderHtml(Sample());
  EXPECT_NE(html.find("<th>Coverage</th>"), std::string::npos);
  EXPECT_NE(html.find("<td>no hit on 1 of 2 engines; baidu timed out</td>"), std::string::npos);
  EXPECT_NE(html.find("<tr><td>bing</td><td class=\"n\">2</td><td class=\"n\">1</td><td class=\"n\">0</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<th>not recognised</th>"), std::string::npos);
  EXPECT_NE(html.find("title=\"not checked: no engine answered; bing fetch error"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"v not-checked\">not checked</td>"), std::string::npos);
}

TEST(ReportTest, TooLittleCheckedMeansMoreThanHalfNotChecked) {
  struct Case {
    size_t sentences, notChecked;
    bool expected;
  };
  for (const Case& c : {Case{0, 0, false}, Case{1, 0, false}, Case{1, 1, true}, Case{2, 1, false}, Case{3, 2, true},
                        Case{4, 2, false}, Case{5, 3, true}}) {
    Totals t;
    t.sentences = c.sentences;
    t.notChecked = c.notChecked;
    EXPECT_EQ(t.MostlyUnchecked(), c.expected) << c.notChecked << " of " << c.sentences;
  }
}

TEST(ReportTest, EveryRenderingWarnsWhenMostSentencesAreNotChecked) {
  Report r = Sample();
  r.documents[0].sentences[0] = Make(r.documents[0].text, u"一二三四五六七八九十。", {kTimedOut, kBlocked});
  r.documents[0].sentences[1] = Make(r.documents[0].text, u"甲乙丙丁戊。", {kFetch, kTimedOut});
  r.documents[1].sentences[0] = Make(r.documents[1].text, u"子丑寅卯", {kTimedOut, kTimedOut});
  const Totals t = Summarise(r);
  EXPECT_TRUE(t.MostlyUnchecked());
  const std::string warning = "4 of 5 sentences not checked";
  EXPECT_NE(RenderText(r).find("Warning:     " + warning), std::string::npos);
  EXPECT_NE(RenderHtml(r).find("<b>Warning:</b> " + warning), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(RenderJson(r))["too_little_checked"], true);
  // Only checked characters count: the one original sentence left.
  EXPECT_NEAR(t.Originality(), 100.0, 1e-9);
}

// ---- the snippet beside the sentence -----------------------------------------

TEST(ReportTest, DisplayUrlsLoseTheEnginesTrailingSeparators) {
  const struct {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"example.com/a -", u"example.com/a"},
      {u"example.com › a ›", u"example.com › a"},
      {u"x.example/1 ·", u"x.example/1"},
      {u"x.example/1 \u00B7\u00A0", u"x.example/1"},
      {u"x.example ›  -  \t", u"x.example"},  // one after another
      {u"x.example/1\u3000", u"x.example/1"},
      {u"x.example/a-b-", u"x.example/a-b-"},  // part of the address
      {u"x.example/a›", u"x.example/a›"},
      {u"www.a.com/b·c", u"www.a.com/b·c"},
      {u" - ", u""},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(U16ToUtf8(TidyDisplayUrl(c.in)), U16ToUtf8(c.out)) << U16ToUtf8(c.in);

  Report r;
  r.engines = {"bing"};
  DocumentReport d;
  d.text = u"子丑寅卯辰巳午未申酉";
  d.sentences.push_back(Make(d.text, d.text, {kHit}, "http://x.example/1"));
  d.sentences[0].displayUrl = u"x.example/1 ›";
  r.documents = {d};
  EXPECT_NE(RenderText(r).find("        shown as x.example/1\n"), std::string::npos) << RenderText(r);
  const auto j = nlohmann::json::parse(RenderJson(r));
  EXPECT_EQ(j["documents"][0]["sentences"][0]["display_url"], "x.example/1");
  EXPECT_EQ(j["sources"][0]["display_url"], "x.example/1");
  EXPECT_NE(RenderHtml(r).find("rel=\"noreferrer\">x.example/1</a>"), std::string::npos);
}

struct SnippetCase {
  const char* name;
  std::u16string sentence, snippet;
  bool strict;
  const char* phrase;
  // The text report's source line after "source: "; nullptr: no such line.
  const char* source;
  const char* html;  // a fragment of the HTML report
  bool found, verbatim;
  int edits;
  int start, end;  // the span, UTF-16 units
  size_t ops;
};

// One document holding the one sentence, copied per bing.
Report OneCopied(const SnippetCase& c) {
  Report r;
  r.engines = {"bing"};
  r.strict = c.strict;
  DocumentReport d;
  d.path = "a.txt";
  d.text = c.sentence;
  d.sentences.push_back(Make(d.text, c.sentence, {kHit}, "http://x.example/1"));
  d.sentences[0].snippet = c.snippet;
  if (!c.snippet.empty()) d.sentences[0].exact = c.snippet.find(c.sentence) != std::u16string::npos;
  r.documents = {d};
  return r;
}

TEST(ReportTest, EachCopiedSentenceShowsItsSnippetWithTheSpanAndEditsMarked) {
  const std::u16string far(60, u'x');
  const SnippetCase cases[] = {
      {"verbatim", u"quick brown fox jumps", u"see the quick brown fox jumps over", false, "copied verbatim",
       "\"see the [[quick brown fox jumps]] over\"", "see the <mark class=\"span\">quick brown fox jumps</mark> over",
       true, true, 0, 8, 29, 0},
      {"near match", u"the quick brown fox jumps", u"see the quack brown fx jumps over", false, "copied, 2 edits",
       "\"see [[the qu{-a-}{+i+}ck brown f{+o+}x jumps]] over\"",
       "<mark class=\"span\">the qu<del title=\"only in the source\">a</del><ins title=\"only in the sentence\">i</ins>"
       "ck brown f<ins title=\"only in the sentence\">o</ins>x jumps</mark> over",
       true, false, 2, 4, 28, 2},
      {"one edit is singular", u"活字印刷并不是一夜之间改变世界的发明", u"据说活字印刷并不是一夜之间改变了世界的发明。", false,
       "copied, 1 edit", "\"据说[[活字印刷并不是一夜之间改变{-了-}世界的发明]]。\"",
       "<mark class=\"span\">活字印刷并不是一夜之间改变<del title=\"only in the source\">了</del>世界的发明</mark>", true,
       false, 1, 2, 21, 1},
      // Punctuation is not compared and stays out of the span's ends.
      {"CJK without punctuation", u"今天天气很好，适合出门。", u"据说：今天天气很好适合出门散步。", false,
       "copied, 0 edits (only spaces or punctuation differ)", "\"据说：[[今天天气很好适合出门]]散步。\"",
       "据说：<mark class=\"span\">今天天气很好适合出门</mark>散步。", true, false, 0, 3, 13, 0},
      {"strict counts punctuation", u"Hello, world again and again", u"He said Hello world again and again!", true,
       "copied, 1 edit", "\"He said [[Hello{+,+} world again and again]]!\"",
       "<mark class=\"span\">Hello<ins title=\"only in the sentence\">,</ins> world again and again</mark>!", true,
       false, 1, 8, 35, 1},
      {"not strict ignores it", u"Hello, world again and again", u"He said Hello world again and again!", false,
       "copied, 0 edits (only spaces or punctuation differ)", "\"He said [[Hello world again and again]]!\"",
       "<mark class=\"span\">Hello world again and again</mark>!", true, false, 0, 8, 35, 0},
      // Changing one half of a pair shows whole characters on both sides.
      {"surrogate pair", u"smile \U0001F600 at everyone here", u"we smile \U0001F601 at everyone here", true,
       "copied, 1 edit", "\"we [[smile {-\U0001F601-}{+\U0001F600+} at everyone here]]\"",
       "<del title=\"only in the source\">\U0001F601</del><ins title=\"only in the sentence\">\U0001F600</ins>", true,
       false, 1, 3, 28, 1},
      {"long snippet cut around the span", u"quick brown fox jumps", far + u" quick brown fox jumps " + far, false,
       "copied verbatim", "\"…xxxxxxxxxxxxxxxxxxxxxxxxxxxxx [[quick brown fox jumps]] xxxxxxxxxxxxxxxxxxxxxxxxxxxxx…\"",
       "<mark class=\"span\">quick brown fox jumps</mark>", true, true, 0, 61, 82, 0},
      {"missing snippet", u"quick brown fox jumps", u"", false, "copied (the engine gave no snippet to compare)",
       nullptr, "<div class=\"snippet none\">no snippet</div>", false, false, 0, 0, 0, 0},
      {"snippet without the sentence", u"quick brown fox jumps", u"an unrelated passage about something else", false,
       "copied (the snippet does not hold the sentence within 8 edits)",
       "\"an unrelated passage about something else\"",
       "<div class=\"snippet\">an unrelated passage about something else</div>", false, false, 0, 0, 0, 0},
      {"snippet holding markup", u"quick brown fox jumps", u"<script>alert(1)</script> quick brown fox jumps & more",
       false, "copied verbatim", "\"<script>alert(1)</script> [[quick brown fox jumps]] & more\"",
       "&lt;script&gt;alert(1)&lt;/script&gt; <mark class=\"span\">quick brown fox jumps</mark> &amp; more", true,
       true, 0, 26, 47, 0},
  };
  for (const SnippetCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Report r = OneCopied(c);
    const std::string text = RenderText(r);
    EXPECT_NE(text.find("        " + std::string(c.phrase) + ", via bing: http://x.example/1\n"), std::string::npos)
        << text;
    if (c.source) {
      EXPECT_NE(text.find("        source: " + std::string(c.source) + "\n"), std::string::npos) << text;
    } else {
      EXPECT_EQ(text.find("source:"), std::string::npos) << text;
    }

    const std::string html = RenderHtml(r);
    EXPECT_NE(html.find(c.html), std::string::npos) << html;
    EXPECT_NE(html.find(std::string(">").append(c.phrase).append("</div>")), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);

    const auto j = nlohmann::json::parse(RenderJson(r));
    const auto& sentence = j["documents"][0]["sentences"][0];
    // The keys hosts already read stay as they were.
    EXPECT_EQ(sentence["snippet"], U16ToUtf8(c.snippet));
    EXPECT_EQ(sentence.contains("exact"), !c.snippet.empty());
    if (!c.snippet.empty()) {
      EXPECT_EQ(sentence["exact"], c.verbatim);
    }
    const auto& m = sentence["match"];
    EXPECT_EQ(m["found"], c.found);
    EXPECT_EQ(m["verbatim"], c.verbatim);
    EXPECT_EQ(m["text"], c.phrase);
    EXPECT_EQ(m["snippet"], U16ToUtf8(c.snippet));
    EXPECT_EQ(m["ops"].size(), c.ops);
    if (c.found) {
      EXPECT_EQ(m["edits"], c.edits);
      EXPECT_EQ(m["span"], nlohmann::json({c.start, c.end}));
    } else {
      EXPECT_TRUE(m["edits"].is_null());
      EXPECT_TRUE(m["span"].is_null());
    }
  }
}

TEST(ReportTest, JsonNamesEachEditWithItsPlaceInSnippetAndSentence) {
  const SnippetCase c{"", u"the quick brown fox jumps", u"see the quack brown fx jumps over", false, "", nullptr, "",
                      true, false, 2, 4, 28, 2};
  const auto j = nlohmann::json::parse(RenderJson(OneCopied(c)));
  const nlohmann::json ops = {
      {{"op", "replace"}, {"at", 10}, {"sentence_at", 6}, {"source", "a"}, {"sentence", "i"}},
      {{"op", "insert"}, {"at", 21}, {"sentence_at", 17}, {"sentence", "o"}},
  };
  EXPECT_EQ(j["documents"][0]["sentences"][0]["match"]["ops"], ops);
  // Original and not-checked sentences carry no match.
  const auto sample = nlohmann::json::parse(RenderJson(Sample()));
  EXPECT_TRUE(sample["documents"][0]["sentences"][0].contains("match"));
  EXPECT_FALSE(sample["documents"][0]["sentences"][2].contains("match"));
  EXPECT_FALSE(sample["documents"][0]["sentences"][3].contains("match"));
}

TEST(ReportTest, HtmlMarksWhatOnlyTheSentenceHasOnItsSide) {
  const struct {
    SnippetCase c;
    const char* sentenceSide;
  } cases[] = {
      {{"", u"the quick brown fox jumps", u"see the quack brown fx jumps over", false, "", nullptr, "", true, false, 2,
        4, 28, 2},
       ">the qu<ins title=\"not in the source\">i</ins>ck brown f<ins title=\"not in the source\">o</ins>x jumps</a>"},
      // A deletion leaves the sentence unmarked.
      {{"", u"活字印刷并不是一夜之间改变世界的发明", u"据说活字印刷并不是一夜之间改变了世界的发明。", false, "", nullptr, "",
        true, false, 1, 2, 21, 1},
       ">活字印刷并不是一夜之间改变世界的发明</a>"},
      {{"", u"smile \U0001F600 at everyone here", u"we smile \U0001F601 at everyone here", true, "", nullptr, "",
        true, false, 1, 3, 28, 1},
       ">smile <ins title=\"not in the source\">\U0001F600</ins> at everyone here</a>"},
  };
  for (const auto& k : cases) {
    const std::string html = RenderHtml(OneCopied(k.c));
    EXPECT_NE(html.find(k.sentenceSide), std::string::npos) << k.sentenceSide << "\n" << html;
  }
}

TEST(ReportTest, TextReportKeepsASnippetsControlCharactersOffTheTerminal) {
  const SnippetCase c{"", u"quick brown fox jumps", u"\x1b[2Jquick brown fox jumps\r\n", false, "", nullptr, "",
                      true, true, 0, 4, 25, 0};
  const std::string text = RenderText(OneCopied(c));
  EXPECT_EQ(text.find('\x1b'), std::string::npos);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_NE(text.find("source: \" [2J[[quick brown fox jumps]]  \""), std::string::npos) << text;
}

// ---- result records ----------------------------------------------------------

class ApplyResultTest : public ::testing::Test {
 protected:
  ApplyResultTest() : record(new TZQECheckResult) {
    std::memset(record.get(), 0, sizeof *record);
    s.sentence.text = u"句子";
  }
  void SetText(ZQEChar* field, int32_t& len, std::u16string_view text) {
    std::copy(text.begin(), text.end(), field);
    len = static_cast<int32_t>(text.size());
  }
  std::unique_ptr<TZQECheckResult> record;
  SentenceResult s;
};

TEST_F(ApplyResultTest, FoundCopiesTheFindings) {
  const std::u16string_view name = u"bing";
  std::copy(name.begin(), name.end(), record->SEName);
  SetText(record->CheckUrl, record->CheckUrlLen, u"http://a/");
  SetText(record->CheckShortURL, record->CheckShortURLLen, u"a/");
  SetText(record->CheckRemark, record->CheckRemarkLen, u"前后句子都在");
  record->MatchMSecs = 7;
  record->TotalMSecs = 12;
  EXPECT_EQ(ReadAnswer(true, *record, 0, false).outcome, Outcome::kHit);
  TakeFindings(*record, s);
  EXPECT_EQ(s.engine, "bing");
  EXPECT_EQ(s.url, u"http://a/");
  EXPECT_EQ(s.displayUrl, u"a/");
  EXPECT_EQ(s.snippet, u"前后句子都在");
  EXPECT_EQ(s.exact, true);
  EXPECT_EQ(s.matchMs, 7);
}

TEST_F(ApplyResultTest, LengthsBeyondTheFieldAreCut) {
  std::fill(std::begin(record->CheckUrl), std::end(record->CheckUrl), u'x');
  record->CheckUrlLen = 100000;
  record->CheckShortURLLen = -5;
  TakeFindings(*record, s);
  EXPECT_EQ(s.url.size(), 4097u);
  EXPECT_TRUE(s.displayUrl.empty());
  EXPECT_FALSE(s.exact.has_value());
}

TEST_F(ApplyResultTest, EachErrorCodeByteIsOneEnginesAnswer) {
  struct Case {
    uint8_t byte;
    bool cancelled;
    Outcome expected;
  };
  const Case cases[] = {
      {1, false, Outcome::kNoHit},
      {251, false, Outcome::kBlocked},
      {250, false, Outcome::kNotRecognised},
      {253, false, Outcome::kFetchError},
      {252, false, Outcome::kFetchError},
      {254, false, Outcome::kCancelled},
      {255, false, Outcome::kFetchError},  // a one-engine call always has an answer; this one is broken
      {7, false, Outcome::kFetchError},
      // After Ctrl-C, "not found" may only mean "stopped looking".
      {1, true, Outcome::kCancelled},
      {251, true, Outcome::kCancelled},
  };
  for (const auto& c : cases) {
    record->TotalMSecs = 3;
    record->ErrorCode = c.byte;
    const EngineAnswer a = ReadAnswer(false, *record, 0, c.cancelled);
    EXPECT_EQ(a.outcome, c.expected) << int(c.byte) << (c.cancelled ? " cancelled" : "");
    EXPECT_EQ(a.errorCode, c.byte) << int(c.byte);
  }
  // A hit is a hit even when Ctrl-C came meanwhile.
  record->ErrorCode = 0;
  EXPECT_EQ(ReadAnswer(true, *record, 0, true).outcome, Outcome::kHit);
}

TEST_F(ApplyResultTest, ARefusedCallIsAFetchErrorWithItsLastErrorValue) {
  record->TotalMSecs = -1;  // the host's mark: the engine never took the call
  const EngineAnswer a = ReadAnswer(false, *record, 87, false);
  EXPECT_EQ(a.outcome, Outcome::kFetchError);
  EXPECT_EQ(a.errorCode, -1);
  EXPECT_EQ(a.lastError, 87u);
  EXPECT_EQ(CoverageLine({a}, {"bing"}), "no engine answered; bing fetch error (refused by the engine, last-error "
                                          "value 87)");
}

}  // namespace
}  // namespace zqe::cli
