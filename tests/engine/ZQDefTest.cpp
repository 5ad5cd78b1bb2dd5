#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "TestSupport.h"
#include "engine/ZQDef.h"
#include "platform/Text.h"
#include "search/SEManager.h"
#include "search/SERules.h"

namespace zqe {
namespace {

using test::DebugCapture;
using test::TempDir;
using ::testing::Contains;
using ::testing::HasSubstr;

std::u16string Cut(std::u16string s, size_t n) { return s.substr(0, n); }

TEST(HashSENameTest, KnownValuesAndLowByteOnly) {
  EXPECT_EQ(HashSEName(u"abc"), -1598676869);
  EXPECT_EQ(HashSEName(u""), 0);
  EXPECT_EQ(HashSEName(u"a"), 97);
  // Only the low byte of each unit counts.
  EXPECT_EQ(HashSEName(u"\u0161b"), HashSEName(u"ab"));  // U+0161 has low byte 0x61 = 'a'
}

TEST(ParseDecimalInt32Test, TakesOnlyDecimalIntegers) {
  struct Case {
    std::u16string_view text;
    bool ok;
    int32_t value;
  };
  const Case cases[] = {
      {u"5000", true, 5000},        {u"-1", true, -1},     {u"007", true, 7},
      {u"2147483647", true, INT32_MAX}, {u"-2147483648", true, INT32_MIN},
      {u"2147483648", false, 0},    {u"0x10", false, 0},   {u"+5", false, 0},
      {u"$10", false, 0},           {u"", false, 0},       {u"-", false, 0},
      {u" 5", false, 0},            {u"5 ", false, 0},     {u"99999999999999999999", false, 0},
  };
  for (const Case& c : cases) {
    int32_t v = 0;
    EXPECT_EQ(ParseDecimalInt32(c.text, v), c.ok) << U16ToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << U16ToUtf8(c.text);
    }
  }
}

TEST(IsEmptySEDefTest, NeedsLengthVersionAndFourTexts) {
  TZQSEDef d{};
  EXPECT_TRUE(IsEmptySEDef(d));
  d.len = sizeof d;
  d.ver = 1;
  SetFieldText(d.Name, u"n");
  SetFieldText(d.Title, u"t");
  SetFieldText(d.url, u"u");
  EXPECT_TRUE(IsEmptySEDef(d));
  SetFieldText(d.surl, u"s");
  EXPECT_FALSE(IsEmptySEDef(d));
  d.ver = 0;
  EXPECT_TRUE(IsEmptySEDef(d));
}

TEST(SetFieldTextTest, CutsOnAWholeUnitWithoutSplittingSurrogatePairs) {
  ZQEChar field[4];
  std::memset(field, 0x7F, sizeof field);
  SetFieldText(field, u"abcdef");
  EXPECT_EQ(FieldText(field), u"abc");
  SetFieldText(field, u"ab\U0001F600");  // the pair would need units 2 and 3
  EXPECT_EQ(FieldText(field), u"ab");
  SetFieldText(field, u"a\U0001F600");
  EXPECT_EQ(FieldText(field), u"a\U0001F600");
}

class LoadTest : public ::testing::Test {
 protected:
  std::u16string Write(const std::u16string& text) {
    const auto p = tmp_.path() / "engines.ini";
    test::WriteBytes(p, test::Utf16LeWithBom(text));
    return TempDir::u16(p);
  }
  TempDir tmp_;
  TZQSEDefArr arr_;
};

TEST_F(LoadTest, SectionsLoadAsRecordsInFileOrder) {
  const std::u16string longUa(600, u'u');
  const auto file = Write(
      u"[baidu]\r\nTitle=\u767E\u5EA6\r\nurl=https://www.baidu.com/\r\n"
      u"surl=https://www.baidu.com/s?wd=%s\r\nhttp-timeout=5000\r\nhttp-accept-language=zh-CN\r\n"
      u"tag=b\r\nremark=r\r\nicon=i.ico\r\nhttp-useragent=" + longUa + u"\r\n"
      u"[nosurl]\r\nTitle=x\r\nurl=y\r\n"
      u"[Unknown]\r\nTitle=T\r\nurl=U\r\nsurl=S%s\r\nhttp-timeout=0x10\r\n"
      u"[]\r\nTitle=T\r\nurl=U\r\nsurl=S\r\n");
  DebugCapture cap;
  platform::SetLastError(0);
  ASSERT_TRUE(LoadSEDefArr(arr_, file));
  EXPECT_EQ(platform::GetLastError(), 0u);
  ASSERT_EQ(arr_.size(), 2u);

  const TZQSEDef& b = arr_[0];
  EXPECT_EQ(b.len, 5976u);
  EXPECT_EQ(b.ver, 1u);
  EXPECT_EQ(FieldText(b.Name), u"baidu");
  EXPECT_EQ(b.ID, HashSEName(u"baidu"));
  EXPECT_EQ(FieldText(b.Title), u"\u767E\u5EA6");
  EXPECT_EQ(FieldText(b.surl), u"https://www.baidu.com/s?wd=%s");
  EXPECT_EQ(b.HttpTimeOut, 5000);
  EXPECT_EQ(FieldText(b.HttpAcceptLanguage), u"zh-CN");
  EXPECT_EQ(FieldText(b.HttpAcceptCharSet), u"");
  EXPECT_EQ(FieldText(b.Tag), u"b");
  EXPECT_EQ(FieldText(b.Remark), u"r");
  EXPECT_EQ(FieldText(b.Icon), u"i.ico");
  EXPECT_EQ(FieldText(b.HttpUserAgent), Cut(longUa, 511));
  EXPECT_EQ(b.HttpUserAgent[511], 0);
  // Every byte after a terminator is zero.
  const auto* bytes = reinterpret_cast<const unsigned char*>(&b);
  for (size_t i = offsetof(TZQSEDef, Title) + 4; i < offsetof(TZQSEDef, url); ++i) EXPECT_EQ(bytes[i], 0) << i;

  EXPECT_EQ(FieldText(arr_[1].Name), u"Unknown");  // the loader accepts any name
  EXPECT_EQ(arr_[1].HttpTimeOut, 0);

  EXPECT_THAT(cap.lines(), Contains(HasSubstr("[LoadSEDefArr] from ")));
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("[LoadSEDefArr] SE define count: 2")));
}

TEST_F(LoadTest, AFileWithoutUsableSectionsLoadsZeroDefinitions) {
  const auto file = Write(u"[a]\r\nTitle=t\r\nurl=u\r\n[b]\r\nurl=u\r\nsurl=s\r\n");
  DebugCapture cap;
  EXPECT_TRUE(LoadSEDefArr(arr_, file));
  EXPECT_TRUE(arr_.empty());
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("[LoadSEDefArr] SE define count: 0")));
}

TEST_F(LoadTest, ASecondLoadKeepsWhatIsLoadedWithoutReadingTheFile) {
  const auto file = Write(u"[a]\r\nTitle=t\r\nurl=u\r\nsurl=s\r\n");
  ASSERT_TRUE(LoadSEDefArr(arr_, file));
  std::filesystem::remove(tmp_.path() / "engines.ini");
  EXPECT_TRUE(LoadSEDefArr(arr_, file));
  EXPECT_EQ(arr_.size(), 1u);
}

TEST_F(LoadTest, AMissingFileFailsWithLastError2) {
  DebugCapture cap;
  platform::SetLastError(0);
  EXPECT_FALSE(LoadSEDefArr(arr_, tmp_.dir() + u"missing.ini"));
  EXPECT_EQ(platform::GetLastError(), 2u);
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("[LoadSEDefArr] SE define count: 0")));
}

// A reader that fails on its second section, as a file going away or a
// disk error in the middle of reading would.
class FailingIni : public platform::IniReader {
 public:
  std::vector<std::u16string> ReadSections() override { return {u"one", u"two"}; }
  std::u16string ReadString(std::u16string_view section, std::u16string_view key, std::u16string_view) override {
    if (section == u"two") throw std::runtime_error("read fault");
    return key == u"Title" ? u"T" : key == u"url" ? u"U" : key == u"surl" ? u"S" : u"";
  }
};

TEST_F(LoadTest, AReadFailureFailsWithLastError30AndKeepsEarlierRecords) {
  const auto file = Write(u"[x]\r\n");
  DebugCapture cap;
  platform::SetLastError(0);
  EXPECT_FALSE(LoadSEDefArr(arr_, file, [](std::u16string_view) { return std::make_unique<FailingIni>(); }));
  EXPECT_EQ(platform::GetLastError(), 30u);
  ASSERT_EQ(arr_.size(), 1u);
  EXPECT_EQ(FieldText(arr_[0].Name), u"one");
  EXPECT_THAT(cap.lines(), Contains(HasSubstr("[LoadSEDefArr] SE define count: 1")));
}

TEST_F(LoadTest, AFileThatCannotBeOpenedFailsWithLastError30) {
  const auto file = Write(u"[x]\r\n");
  EXPECT_FALSE(LoadSEDefArr(arr_, file, [](std::u16string_view) -> std::unique_ptr<platform::IniReader> {
    throw std::runtime_error("access denied");
  }));
  EXPECT_EQ(platform::GetLastError(), 30u);
}

TEST_F(LoadTest, ResultRulesAreCarriedBesideTheRecordAndABadOneFallsBackToTheBuiltInRules) {
  const auto file = Write(
      u"[bing]\r\nTitle=B\r\nurl=u\r\nsurl=s%s\r\nentry-selector=li.b_algo, div[class~=\r\n"
      u"link-selector=a.t\r\nresult-remark=Snippet\r\n"
      u"[360so]\r\nTitle=S\r\nurl=u\r\nsurl=s%s\r\nentry-selector=article.hit\r\nlink-selector=a.t\r\n"
      u"cite-selector=span.u\r\ndate-mask=*[0-9]?\r\nsnippet-selector=p.s\r\n"
      u"[google]\r\nTitle=G\r\nurl=u\r\nsurl=s%s\r\n");
  TSEDefRulesTable::Process().Reset();
  DebugCapture cap;
  ASSERT_TRUE(LoadSEDefArr(arr_, file));
  ASSERT_EQ(arr_.size(), 3u);
  // The record keeps its size: the rules are not in it.
  static_assert(sizeof(TZQSEDef) == 5976);
  int errors = 0;
  for (const std::string& line : cap.lines()) {
    if (line.find("bad ") == std::string::npos) continue;
    ++errors;
    EXPECT_THAT(line, HasSubstr("bing"));
    EXPECT_THAT(line, HasSubstr("entry-selector"));
    EXPECT_THAT(line, HasSubstr("[1,"));  // the parser's line and column
  }
  EXPECT_EQ(errors, 1);

  TSEInstArr insts;
  LoadSEInstance(arr_, insts);
  ASSERT_EQ(insts.size(), 3u);
  TSERules bingRules;
  bingRules.RemarkSnippet = true;
  EXPECT_EQ(insts[0]->Rules(), bingRules);
  EXPECT_EQ(insts[1]->Rules().EntrySelector, u"article.hit");
  EXPECT_EQ(insts[1]->Rules().CiteSelector, u"span.u");
  EXPECT_EQ(insts[1]->Rules().DateMask, u"*[0-9]?");
  EXPECT_EQ(insts[1]->Rules().SnippetSelector, u"p.s");
  EXPECT_FALSE(insts[1]->Rules().RemarkSnippet);
  EXPECT_EQ(insts[2]->Rules(), TSERules{});

  // Bing fell back to its compiled-in rules, which still find hits on its own layout.
  const std::u16string sentence = u"How vexingly quick daft zebras jump over the tall wooden fence";
  const std::u16string page = u"<html><body><ol><li class=\"b_algo\"><h2><a href=\"http://z.example/\">Z</a></h2>"
                              u"<p>" + sentence + u"</p></li></ol></body></html>";
  insts[0]->CheckPage(u"http://q/", page, sentence, u"", false);
  EXPECT_EQ(insts[0]->ErrorCode(), 0);
  EXPECT_EQ(insts[0]->CheckUrl(), u"http://z.example/");
  // Inner text joins the elements as written, with no space between them.
  EXPECT_EQ(insts[0]->CheckRemark(), u"Z" + sentence);
  FreeSEInstances(insts);
  TSEDefRulesTable::Process().Reset();
}

}  // namespace
}  // namespace zqe
