// The report's figures, its JSON schema, the HTML highlights, and how a
// result record becomes a sentence's verdict.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "host/CheckRun.h"
#include "host/Report.h"
#include "platform/Text.h"

namespace zqe::cli {
namespace {

SentenceResult Make(const std::u16string& doc, const std::u16string& text, Verdict v, const char* url = "") {
  SentenceResult r;
  r.sentence.offset = doc.find(text);
  r.sentence.length = text.size();
  r.sentence.text = text;
  r.verdict = v;
  if (v == Verdict::kCopied) {
    r.engine = "bing";
    r.url = Utf8ToU16(url);
    r.displayUrl = r.url.substr(r.url.find(u"//") + 2);
    r.errorCode = 0;
  }
  if (v == Verdict::kError) r.errorCode = 253;
  return r;
}

// Two documents: 10 + 6 copied characters and 8 original ones in the
// first, one copied sentence of 4 in the second; one error, not counted.
Report Sample() {
  Report r;
  r.engines = {"bing", "baidu"};
  DocumentReport a;
  a.path = "a.txt";
  a.encoding = "utf-8";
  a.text = u"一二三四五六七八九十。甲乙丙丁戊。original <b>. broken one.";
  a.sentences.push_back(Make(a.text, u"一二三四五六七八九十。", Verdict::kCopied, "http://x.example/1"));
  a.sentences.push_back(Make(a.text, u"甲乙丙丁戊。", Verdict::kCopied, "http://x.example/1"));
  a.sentences.push_back(Make(a.text, u"original", Verdict::kOriginal));
  a.sentences.push_back(Make(a.text, u"<b>. broken one.", Verdict::kError));
  a.sentences[2].sentence.length = 8;
  a.skipped = 1;
  DocumentReport b;
  b.path = "b.txt";
  b.encoding = "gb18030";
  b.text = u"子丑寅卯";
  b.sentences.push_back(Make(b.text, u"子丑寅卯", Verdict::kCopied, "javascript:alert(1)"));
  r.documents = {a, b};
  return r;
}

TEST(ReportTest, OriginalityCountsCheckedCharactersOnly) {
  const Totals t = Summarise(Sample());
  EXPECT_EQ(t.copiedChars, 11u + 6u + 4u);
  EXPECT_EQ(t.originalChars, 8u);
  EXPECT_NEAR(t.Originality(), 100.0 * 8 / 29, 1e-9);
  EXPECT_EQ(t.errors, 1u);
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
  for (const char* key : {"strict", "filter", "min_length", "threads", "interrupted", "elapsed_ms", "library_ms"})
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
  EXPECT_EQ(doc["sentences"][3]["verdict"], "error");
  EXPECT_EQ(doc["sentences"][3]["error_code"], 253);
  EXPECT_TRUE(doc["sentences"][3]["error"].is_string());

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
  EXPECT_NE(html.find("</mark>original <mark class=\"error\""), std::string::npos);
}

TEST(ReportTest, TextNamesVerdictsAndSources) {
  const std::string text = RenderText(Sample());
  EXPECT_NE(text.find("Originality: 27.6%"), std::string::npos) << text;
  EXPECT_NE(text.find("copied    一二三四五六七八九十。"), std::string::npos) << text;
  EXPECT_NE(text.find("2 sentences, 17 characters, via bing"), std::string::npos) << text;
  EXPECT_NE(text.find("the result page could not be fetched"), std::string::npos) << text;
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
  record->TotalMSecs = 12;
  ApplyCheckResult(true, *record, 0, false, s);
  EXPECT_EQ(s.verdict, Verdict::kCopied);
  EXPECT_EQ(s.engine, "bing");
  EXPECT_EQ(s.url, u"http://a/");
  EXPECT_EQ(s.displayUrl, u"a/");
  EXPECT_EQ(s.snippet, u"前后句子都在");
  EXPECT_EQ(s.exact, true);
  EXPECT_EQ(s.totalMs, 12);
}

TEST_F(ApplyResultTest, LengthsBeyondTheFieldAreCut) {
  std::fill(std::begin(record->CheckUrl), std::end(record->CheckUrl), u'x');
  record->CheckUrlLen = 100000;
  record->CheckShortURLLen = -5;
  ApplyCheckResult(true, *record, 0, false, s);
  EXPECT_EQ(s.url.size(), 4097u);
  EXPECT_TRUE(s.displayUrl.empty());
  EXPECT_FALSE(s.exact.has_value());
}

TEST_F(ApplyResultTest, NotFoundIsOriginalAndFailuresAreErrors) {
  record->TotalMSecs = 3;
  record->ErrorCode = 255;
  ApplyCheckResult(false, *record, 0, false, s);
  EXPECT_EQ(s.verdict, Verdict::kOriginal);
  record->ErrorCode = 1;
  ApplyCheckResult(false, *record, 0, false, s);
  EXPECT_EQ(s.verdict, Verdict::kOriginal);
  record->ErrorCode = 251;  // verification page
  ApplyCheckResult(false, *record, 0, false, s);
  EXPECT_EQ(s.verdict, Verdict::kError);
  EXPECT_EQ(s.errorCode, 251);
  record->ErrorCode = 255;
  ApplyCheckResult(false, *record, 0, true, s);  // after Ctrl-C
  EXPECT_EQ(s.verdict, Verdict::kUnchecked);
}

TEST_F(ApplyResultTest, ARefusedCallIsAnErrorWithItsLastErrorValue) {
  record->TotalMSecs = -1;  // the host's mark: the engine never took the call
  ApplyCheckResult(false, *record, 87, false, s);
  EXPECT_EQ(s.verdict, Verdict::kError);
  EXPECT_EQ(s.lastError, 87u);
}

}  // namespace
}  // namespace zqe::cli
