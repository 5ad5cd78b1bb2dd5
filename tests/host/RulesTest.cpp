// Result rules from the definition file, through the real library against
// serp-sim's changed layout (mode "unknown" and its block and "no
// results" pages): an engine whose section sets every rule key reads the
// new layout and still the old one its selector groups keep; an engine
// without the keys behaves as before; a bad selector is reported once at
// InitZQE and its engine keeps its built-in rules.
#include "HostCheckSupport.h"

namespace zqe::hosttest {
namespace {

constexpr uint8_t kByteVerify = 251;   // -5
constexpr uint8_t kByteUnknown = 250;  // -6

// The changed layout's hit, as serp-sim writes it.
constexpr char16_t kNextLink[] = u"http://site.example.com/next";

TZQEInterface gIntf{};
std::vector<std::string> gInitLog;

std::string Section(const std::string& name, const std::string& rules) {
  const EngineSetup e{name, ""};
  return "[" + name + "]\r\nTitle=" + name + "\r\nurl=" + HomeUrl(name) + "\r\nsurl=" + SearchUrl(e) +
         "\r\nhttp-timeout=15000\r\nsuspend-after-verify=0\r\n" + rules + "\r\n";
}

class HostRules : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::SerpSim::Get().port() == 0) GTEST_SKIP() << test::SerpSim::Get().problem();
    ASSERT_NE(InitEntry(), nullptr);
    if (gIntf.Size != 0) return;
    const std::string text =
        Section("bing",
                "entry-selector=main.serp-next article.hit, li.b_algo\r\n"
                "link-selector=h2 a.go, h2 a\r\n"
                "cite-selector=span.where, div.b_attribution cite\r\n"
                "date-mask=*[0-9][0-9][0-9][0-9][!0-9][0-9][0-9][!0-9][0-9][0-9]?\r\n"
                "snippet-selector=div.body, div.b_caption p\r\n"
                "block-title=Access check\r\n"
                "block-url=/access-check | /turing/captcha\r\n"
                "block-text=confirm you are a person | Please solve the challenge below to continue\r\n"
                "result-text=serp-next | b_algo\r\n"
                "no-results-text=Nothing on the web matches | There are no results for\r\n"
                "result-remark=snippet\r\n") +
        Section("sougou", "") +
        Section("360so", "entry-selector=ul#m-result li.res-list[class\r\ncite-selector=span.where\r\n");
    const auto path = TempDir() / "rules-engines.ini";
    WriteUtf16File(path, text);
    const LogTail log;
    gIntf.Size = sizeof gIntf;
    gIntf.Magic = ZQE_INTERFACE_MAGIC;
    ASSERT_EQ(InitEntry()(path.u16string().c_str(), &gIntf), 0);
    gInitLog = log.Lines();
  }

  static Record CheckOn(const std::string& engine, const std::u16string& text) {
    return CheckWithOne(gIntf, engine, text);
  }
};

TEST_F(HostRules, RulesFromTheDefinitionFileReadAChangedLayout) {
  const std::u16string fox = kFox;
  const Record hit = CheckOn("bing", u"~unknown~ " + fox);
  ASSERT_EQ(hit.r.ErrorCode, 0);
  EXPECT_EQ(FieldText(hit.r.CheckUrl), kNextLink);  // the link rule skipped the advertisement's
  // The configured mask took the slashed date off the citation.
  EXPECT_EQ(FieldText(hit.r.CheckShortURL), u"site.example.com/next \u00B7");
  EXPECT_EQ(FieldText(hit.r.CheckRemark), fox);
  EXPECT_EQ(hit.r.CheckRemarkLen, static_cast<int32_t>(fox.size()));

  EXPECT_EQ(CheckOn("bing", u"~block-next~ " + fox).r.ErrorCode, kByteVerify);
  EXPECT_EQ(CheckOn("bing", u"~block-next-redirect~ " + fox).r.ErrorCode, kByteVerify);
  EXPECT_EQ(CheckOn("bing", u"~noresults-next~ " + fox).r.ErrorCode, 1);
  EXPECT_EQ(CheckOn("bing", kMiss).r.ErrorCode, 1);
}

TEST_F(HostRules, SelectorGroupsKeepTheOldLayout) {
  const Record hit = CheckOn("bing", kFox);
  ASSERT_EQ(hit.r.ErrorCode, 0);
  EXPECT_EQ(FieldText(hit.r.CheckUrl), HitOn("bing", 2).url);
  EXPECT_EQ(FieldText(hit.r.CheckShortURL), HitOn("bing", 2).shortUrl);
  EXPECT_EQ(FieldText(hit.r.CheckRemark), kFox);
  EXPECT_EQ(CheckOn("bing", u"~block~ " + std::u16string(kFox)).r.ErrorCode, kByteVerify);
  EXPECT_EQ(CheckOn("bing", u"~block-redirect~ " + std::u16string(kFox)).r.ErrorCode, kByteVerify);
}

TEST_F(HostRules, WithoutTheKeysAnEngineKeepsItsBuiltInRules) {
  const Record hit = CheckOn("sougou", kFox);
  ASSERT_EQ(hit.r.ErrorCode, 0);
  EXPECT_EQ(FieldText(hit.r.CheckUrl), HitOn("sougou", 2).url);
  EXPECT_EQ(FieldText(hit.r.CheckShortURL), HitOn("sougou", 2).shortUrl);
  EXPECT_EQ(hit.r.CheckRemarkLen, 0);  // no result-remark key: no remark
  for (const char16_t* scenario : {u"~unknown~ ", u"~block-next~ ", u"~noresults-next~ "})
    EXPECT_EQ(CheckOn("sougou", scenario + std::u16string(kFox)).r.ErrorCode, kByteUnknown) << U16ToUtf8(scenario);
}

TEST_F(HostRules, ABadSelectorIsReportedAtInitAndItsEngineKeepsItsBuiltInRules) {
  size_t reported = 0;
  for (const std::string& line : gInitLog) {
    if (line.find("bad entry-selector") == std::string::npos) continue;
    ++reported;
    EXPECT_NE(line.find("360so"), std::string::npos) << line;
    EXPECT_NE(line.find("keeps its built-in rules"), std::string::npos) << line;
    EXPECT_NE(line.find("ul#m-result li.res-list[class"), std::string::npos) << "names the bad value: " << line;
  }
  EXPECT_EQ(reported, 1u);
  // Every selector of the section fell back, the good cite-selector too.
  const Record hit = CheckOn("360so", kFox);
  ASSERT_EQ(hit.r.ErrorCode, 0);
  EXPECT_EQ(FieldText(hit.r.CheckUrl), HitOn("360so", 2).url);
  EXPECT_EQ(FieldText(hit.r.CheckShortURL), HitOn("360so", 2).shortUrl);
  EXPECT_EQ(CheckOn("360so", u"~unknown~ " + std::u16string(kFox)).r.ErrorCode, kByteUnknown);
}

}  // namespace
}  // namespace zqe::hosttest
