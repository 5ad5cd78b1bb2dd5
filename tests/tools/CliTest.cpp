// zqe check and zqe demo as a user runs them: the real executable, the real
// library beside it, and serp-sim serving the demo corpus on loopback.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ServerState.h"
#include "platform/HostSupport.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace zqe::cli {
namespace {

namespace fs = std::filesystem;

// Paths baked in at build time are POSIX paths; under Wine they live on Z:.
std::string HostPath(const std::string& p) {
  if (fs::exists(p)) return p;
  if (fs::exists("Z:" + p)) return "Z:" + p;
  return p;
}

std::string TmpFile(const std::string& name) { return HostPath(ZQE_TEST_TMP_DIR) + "/" + name; }
std::string DemoFile(const std::string& name) { return HostPath(ZQE_DEMO_DATA_DIR) + "/" + name; }

struct Outcome {
  int code = -1;
  std::string output;  // standard output and standard error
};

Outcome Zqe(std::vector<std::string> args) {
  args.insert(args.begin(), HostPath(ZQE_CLI));
  std::string error;
  auto child = platform::ChildProcess::Start(args, error, true);
  Outcome o;
  if (!child) {
    o.output = error;
    return o;
  }
  std::string line;
  while (child->ReadLine(line, 120000)) o.output += line + "\n";
  o.code = child->Wait();
  return o;
}

int SimPort() {
  const char* state = std::getenv("ZQE_SERP_SIM_STATE");
  if (!state) return 0;
  return test::ServerState::Read(state).Int("port");
}

std::string WriteIni(const std::string& name, const std::string& body) {
  const std::string path = TmpFile(name);
  std::ofstream(path, std::ios::binary) << body;
  return path;
}

std::string SimIni(int port) {
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
  return WriteIni("sim.ini", "[bing]\nTitle=Bing\nurl=" + base + "bing/\nsurl=" + base + "bing/s?q=%s\n" +
                                 "[baidu]\nTitle=Baidu\nurl=" + base + "baidu/\nsurl=" + base + "baidu/s?wd=%s\n");
}

nlohmann::json ReadJson(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return nlohmann::json::parse(ss.str());
}

// What the sample borrows from which corpus line (see data/demo/README.md),
// and what it does not borrow at all.
const std::pair<const char*, int> kBorrowed[] = {
    {"活字印刷并不是一夜之间改变世界的发明。", 1}, {"早期的工匠需要反复试验陶土", 1},
    {"城市里骑自行车通勤的人越来越多。", 3},     {"专用车道让骑车变得更安全", 3},
    {"机器翻译的质量在过去十年里有了明显提高。", 4}, {"但遇到成语、双关语", 4},
    {"Sourdough bread depends", 6},              {"A healthy starter doubles", 6},
    {"Coral reefs cover less than 1 percent", 7}, {"The lighthouse keeper climbed", 5},
};
const char* const kOriginal[] = {
    "关于技术与日常生活的几点笔记", "我认为，真正的变化", "在我们学校附近", "我自己每天骑车上班", "比如“画蛇添足”",
    "Some notes in English, e.g. on bread", "My own starter", "Last summer I visited", "Nobody in my family",
};

// Every sentence of the sample has the verdict and source it should.
void ExpectSampleVerdicts(const nlohmann::json& report) {
  ASSERT_EQ(report["documents"].size(), 1u);
  const auto& sentences = report["documents"][0]["sentences"];
  EXPECT_EQ(sentences.size(), std::size(kBorrowed) + std::size(kOriginal));
  for (const auto& s : sentences) {
    const std::string text = s["text"];
    bool known = false;
    for (const auto& [prefix, line] : kBorrowed) {
      if (text.rfind(prefix, 0) != 0) continue;
      known = true;
      EXPECT_EQ(s["verdict"], "copied") << text;
      const std::string n = std::to_string(line);
      EXPECT_EQ(s.value("url", ""), "http://site" + n + ".example.com/doc/" + n + ".html") << text;
      EXPECT_FALSE(s.value("engine", "").empty()) << text;
    }
    for (const char* prefix : kOriginal) {
      if (text.rfind(prefix, 0) != 0) continue;
      known = true;
      EXPECT_EQ(s["verdict"], "original") << text;
    }
    EXPECT_TRUE(known) << "unexpected sentence: " << text;
  }
  // Lines 1, 3, 4, 6 lend two sentences each, 5 and 7 one.
  ASSERT_EQ(report["sources"].size(), 6u);
  EXPECT_EQ(report["sources"][0]["sentences"], 2);
  EXPECT_EQ(report["sources"][5]["sentences"], 1);
  const double originality = report["originality"];
  EXPECT_GT(originality, 30.0);
  EXPECT_LT(originality, 60.0);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = SimPort();
    if (port_ == 0) GTEST_SKIP() << "serp-sim is not running: run these tests through ctest";
  }
  int port_ = 0;
};

TEST(CliExitTest, UsageErrorsExitWithOne) {
  const std::string sample = DemoFile("sample.txt");
  EXPECT_EQ(Zqe({"check", "--threads", "0", sample}).code, 1);
  EXPECT_EQ(Zqe({"check", "--format", "pdf", sample}).code, 1);
  EXPECT_EQ(Zqe({"check", "--encoding", "latin1", sample}).code, 1);
  const Outcome missing = Zqe({"check", TmpFile("no-such-document.txt")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.output.find("cannot open"), std::string::npos) << missing.output;
}

TEST(CliExitTest, MissingLibraryExitsWithTwo) {
  const Outcome o = Zqe({"check", "--library", TmpFile("no-such-library"), DemoFile("sample.txt")});
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.output.find("cannot load the engine library"), std::string::npos) << o.output;
}

TEST(CliExitTest, MissingDefinitionFileIsExplained) {
  const Outcome o = Zqe({"check", "--config", TmpFile("no-such.ini"), DemoFile("sample.txt")});
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.output.find("status 1206 (the definition file could not be loaded)"), std::string::npos) << o.output;
  EXPECT_NE(o.output.find("last-error value 2 (the definition file does not exist)"), std::string::npos) << o.output;
}

TEST(CliExitTest, DefinitionFileWithoutUsableEnginesExitsWithTwo) {
  const std::string ini = WriteIni("empty.ini", "[bing]\nTitle=Bing\nurl=http://127.0.0.1:9/\n");
  const Outcome o = Zqe({"check", "--config", ini, DemoFile("sample.txt")});
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.output.find("defines no usable engine"), std::string::npos) << o.output;
}

// A saved 360 Search page in the layout that dropped id="m-result": the
// built-in rules find no entry on it.
constexpr char kNewer360Page[] =
    "<html><head><title>q - 360</title></head><body><ul class=\"result\">"
    "<li class=\"res-list\"><h3 class=\"res-title\"><a href=\"http://a.example.com/1\">One</a></h3>"
    "<p class=\"res-desc\">Nothing to see in this entry at all</p>"
    "<p class=\"res-linkinfo\"><cite>a.example.com/1 2020-01-05&rsaquo;</cite></p></li>"
    "<li class=\"res-list\"><h3 class=\"res-title\"><a href=\"http://b.example.com/2\">Two</a></h3>"
    "<p class=\"res-desc\">The quick brown fox jumps over the lazy dog near the river bank</p></li>"
    "</ul></body></html>";

std::string RulesIni(const std::string& name, const std::string& rules360) {
  return WriteIni(name, "[360so]\nTitle=360\nurl=http://127.0.0.1:9/\nsurl=http://127.0.0.1:9/s?q=%s\n" + rules360 +
                            "\n[bing]\nTitle=Bing\nurl=http://127.0.0.1:9/\nsurl=http://127.0.0.1:9/s?q=%s\n");
}

TEST(CliRulesTest, RulesCheckCountsWhatEachEnginesRulesFind) {
  const std::string page = WriteIni("newer-360.html", kNewer360Page);
  const std::string rules = RulesIni("rules-newer.ini",
                                     "entry-selector=ul#m-result li.res-list, ul.result li.res-list\n"
                                     "cite-selector=p.res-linkinfo cite\n");
  const Outcome o = Zqe({"rules", "--check", rules, "--json", page});
  ASSERT_EQ(o.code, 0) << o.output;
  const auto out = nlohmann::json::parse(o.output);
  const auto& engines = out["pages"][0]["engines"];
  EXPECT_EQ(engines["360so"]["entries"], 2) << o.output;
  EXPECT_EQ(engines["360so"]["links"], 2);
  EXPECT_EQ(engines["360so"]["texts"], 2);
  EXPECT_EQ(engines["360so"]["citations"], 1);
  EXPECT_EQ(engines["360so"]["dates"], 1);
  EXPECT_EQ(engines["360so"]["page"], "result page");
  EXPECT_EQ(engines["bing"]["entries"], 0);
  EXPECT_EQ(engines["bing"]["page"], "not recognised");

  const Outcome builtin = Zqe({"rules", "--check", RulesIni("rules-none.ini", ""), "--engine", "360so", page});
  ASSERT_EQ(builtin.code, 0) << builtin.output;
  EXPECT_NE(builtin.output.find("not recognised"), std::string::npos) << builtin.output;
  EXPECT_EQ(builtin.output.find("bing"), std::string::npos) << builtin.output;

  const Outcome bad = Zqe({"rules", "--check", RulesIni("rules-bad.ini", "entry-selector=li.res-list[class\n"), page});
  EXPECT_EQ(bad.code, 2) << bad.output;
  EXPECT_NE(bad.output.find("bad entry-selector \"li.res-list[class\""), std::string::npos) << bad.output;
  EXPECT_NE(bad.output.find("not recognised"), std::string::npos) << "the engine falls back: " << bad.output;
}

TEST(CliRulesTest, ExtractUsesTheDefinitionFilesRulesAndNamesThem) {
  const std::string page = WriteIni("newer-360.html", kNewer360Page);
  const std::string rules = RulesIni("rules-extract.ini", "entry-selector=ul#m-result li.res-list, ul.result li.res-list\n");
  const std::string fox = "The quick brown fox jumps over the lazy dog near the river bank";
  const Outcome o =
      Zqe({"extract", "--config", rules, "--rules", "--json", "--engine", "360so", "--sentence", fox, page});
  ASSERT_EQ(o.code, 0) << o.output;
  const auto out = nlohmann::json::parse(o.output);
  EXPECT_EQ(out["url"], "http://b.example.com/2");
  ASSERT_EQ(out["entries"].size(), 2u) << o.output;
  const auto& first = out["entries"][0];
  EXPECT_EQ(first["skipped"], "no match");
  EXPECT_EQ(first["short_url"], "a.example.com/1 \u203A");  // every entry's citation while rules are shown
  EXPECT_EQ(first["rules"]["entry"], "ul.result li.res-list (definition)");
  EXPECT_EQ(first["rules"]["link"], "h3.res-title a (built-in)");
  EXPECT_EQ(first["rules"]["citation"], "p.res-linkinfo cite (built-in)");
  EXPECT_EQ(first["rules"]["date"],
            "date-mask *[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]? (built-in)");
  EXPECT_EQ(out["entries"][1]["rules"]["citation"], "");

  const Outcome builtin = Zqe({"extract", "--builtin", "--json", "--engine", "360so", "--sentence", fox, page});
  EXPECT_EQ(builtin.code, 1) << builtin.output;
  EXPECT_EQ(nlohmann::json::parse(builtin.output)["error_code"], -6);
}

TEST_F(CliTest, UnknownEngineNameIsAUsageError) {
  const Outcome o = Zqe({"check", "--config", SimIni(port_), "--engines", "bing,altavista", DemoFile("sample.txt")});
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.output.find("no engine named altavista is loaded (loaded: bing, baidu)"), std::string::npos)
      << o.output;
}

TEST_F(CliTest, CheckNamesTheBorrowedSentencesAndTheirSources) {
  const std::string out = TmpFile("check.json");
  const Outcome o = Zqe({"check", "--config", SimIni(port_), "--engines", "bing", "--format", "json", "--quiet",
                         "--out", out, DemoFile("sample.txt")});
  ASSERT_EQ(o.code, 0) << o.output;
  const auto report = ReadJson(out);
  EXPECT_EQ(report["engines"], nlohmann::json({"bing"}));
  ExpectSampleVerdicts(report);
  for (const auto& s : report["documents"][0]["sentences"]) {
    if (s["verdict"] == "copied") {
      EXPECT_EQ(s["engine"], "bing");
    }
  }
}

TEST_F(CliTest, Utf16InputAndHostThreadsGiveTheSameVerdicts) {
  // The sample re-encoded as UTF-16BE with a byte-order mark.
  std::ifstream in(DemoFile("sample.txt"), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string be = "\xFE\xFF";
  for (char16_t c : Utf8ToU16(ss.str())) be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
  const std::string doc = TmpFile("sample-utf16be.txt");
  std::ofstream(doc, std::ios::binary) << be;

  const std::string out = TmpFile("check16.json");
  const Outcome o = Zqe({"check", "--config", SimIni(port_), "--threads", "3", "--format", "json", "--quiet", "--out",
                         out, doc});
  ASSERT_EQ(o.code, 0) << o.output;
  const auto report = ReadJson(out);
  EXPECT_EQ(report["documents"][0]["encoding"], "utf-16be with BOM");
  EXPECT_EQ(report["threads"], 3);
  ExpectSampleVerdicts(report);
}

TEST_F(CliTest, DemoReportsOriginalityAndSources) {
  const std::string out = TmpFile("demo.json");
  const Outcome o = Zqe({"demo", "--port", std::to_string(port_), "--format", "json", "--quiet", "--out", out});
  ASSERT_EQ(o.code, 0) << o.output;
  const auto report = ReadJson(out);
  EXPECT_EQ(report["engines"], nlohmann::json({"baidu", "sougou", "bing", "360so", "google"}));
  ExpectSampleVerdicts(report);
}

TEST_F(CliTest, DemoHtmlHighlightsTheBorrowedSentences) {
  const std::string out = TmpFile("demo.html");
  const Outcome o = Zqe({"demo", "--port", std::to_string(port_), "--format", "html", "--quiet", "--out", out});
  ASSERT_EQ(o.code, 0) << o.output;
  std::ifstream f(out, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  const std::string html = ss.str();
  EXPECT_NE(html.find(">活字印刷并不是一夜之间改变世界的发明。<a class=\"ref\" href=\"#src"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"http://site7.example.com/doc/7.html\""), std::string::npos);
}

// Three engines on serp-sim: baidu gets its verification page, bing
// answers, google answers only after the budget has run out.
std::string MixedIni(int port) {
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
  return WriteIni("mixed.ini", "[baidu]\nTitle=Baidu\nurl=" + base + "baidu/\nsurl=" + base +
                                   "baidu/s?mode=verify&wd=%s\n" + "[bing]\nTitle=Bing\nurl=" + base +
                                   "bing/\nsurl=" + base + "bing/s?q=%s\n" + "[google]\nTitle=Google\nurl=" + base +
                                   "google/\nsurl=" + base + "google/s?delay=5000&q=%s\nhttp-timeout=20000\n");
}

// The first sentence is in the corpus, the second is not.
constexpr const char kMixedDoc[] = "活字印刷并不是一夜之间改变世界的发明。我自己每天骑车上班，单程大约二十分钟，比坐公交还快一些。";
constexpr const char kMixedBudget[] = "2500";

TEST_F(CliTest, CoverageNamesTheBlockedAndTimedOutEnginesInJson) {
  const std::string doc = TmpFile("mixed.txt");
  std::ofstream(doc, std::ios::binary) << kMixedDoc;
  const std::string out = TmpFile("mixed.json");
  const Outcome o = Zqe({"check", "--config", MixedIni(port_), "--budget", kMixedBudget, "--format", "json",
                         "--quiet", "--out", out, doc});
  ASSERT_EQ(o.code, 0) << o.output;
  const auto report = ReadJson(out);
  EXPECT_EQ(report["engines"], nlohmann::json({"baidu", "bing", "google"}));
  EXPECT_EQ(report["budget_ms"], 2500);
  EXPECT_EQ(report["too_little_checked"], false);
  const auto& doc0 = report["documents"][0];
  ASSERT_EQ(doc0["sentences"].size(), 2u);
  const auto& copied = doc0["sentences"][0];
  EXPECT_EQ(copied["verdict"], "copied");
  EXPECT_EQ(copied["engine"], "bing");
  EXPECT_EQ(copied["engines"], nlohmann::json({{"baidu", "blocked"}, {"bing", "hit"}, {"google", "timed out"}}));
  EXPECT_EQ(copied["coverage"], nlohmann::json({{"answered", 1}, {"selected", 3},
                                                {"text", "hit on bing; baidu blocked; google timed out"}}));
  const auto& original = doc0["sentences"][1];
  EXPECT_EQ(original["verdict"], "original");
  EXPECT_EQ(original["engines"], nlohmann::json({{"baidu", "blocked"}, {"bing", "no hit"}, {"google", "timed out"}}));
  EXPECT_EQ(original["coverage"]["text"], "no hit on 1 of 3 engines; baidu blocked; google timed out");
  EXPECT_EQ(doc0["summary"]["sentences"]["not_checked"], 0);
  EXPECT_EQ(doc0["engine_answers"]["baidu"]["blocked"], 2);
  EXPECT_EQ(doc0["engine_answers"]["bing"]["hit"], 1);
  EXPECT_EQ(doc0["engine_answers"]["bing"]["no_hit"], 1);
  EXPECT_EQ(doc0["engine_answers"]["google"]["timed_out"], 2);
  EXPECT_EQ(report["engine_answers"], doc0["engine_answers"]);
  // Only bing looked: the one original sentence against the copied one.
  const double originality = report["originality"];
  EXPECT_GT(originality, 50.0);
  EXPECT_LT(originality, 100.0);
}

TEST_F(CliTest, CoverageLinesInTheTextReport) {
  const std::string doc = TmpFile("mixed-one.txt");
  std::ofstream(doc, std::ios::binary) << "我自己每天骑车上班，单程大约二十分钟，比坐公交还快一些。";
  const Outcome o =
      Zqe({"check", "--config", MixedIni(port_), "--budget", kMixedBudget, "--quiet", doc});
  ASSERT_EQ(o.code, 0) << o.output;
  for (const char* expected : {
           "Engines:     baidu, bing, google  (budget 2500 ms per sentence)\n",
           "Sentences:   1: 0 copied, 1 original, 0 not checked; 0 too short\n",
           "  baidu                 0       0        1               0            0          0          0\n",
           "  bing                  0       1        0               0            0          0          0\n",
           "  google                0       0        0               0            0          1          0\n",
           "        no hit on 1 of 3 engines; baidu blocked; google timed out\n",
       })
    EXPECT_NE(o.output.find(expected), std::string::npos) << expected << "\n----\n" << o.output;
}

TEST_F(CliTest, EnginesAfterALateOneTimeOutUnaskedAndItsLateAnswerDoesNotCount) {
  const std::string doc = TmpFile("late-first.txt");
  std::ofstream(doc, std::ios::binary) << "活字印刷并不是一夜之间改变世界的发明。";
  const std::string out = TmpFile("late-first.json");
  const Outcome o = Zqe({"check", "--config", MixedIni(port_), "--engines", "google,bing", "--budget", kMixedBudget,
                         "--format", "json", "--quiet", "--out", out, doc});
  EXPECT_EQ(o.code, 3) << o.output;
  const auto s = ReadJson(out)["documents"][0]["sentences"][0];
  EXPECT_EQ(s["verdict"], "not checked");
  EXPECT_EQ(s["engines"], nlohmann::json({{"google", "timed out"}, {"bing", "timed out"}}));
  EXPECT_EQ(s["coverage"]["text"], "no engine answered; google timed out; bing timed out");
}

TEST_F(CliTest, TooLittleCheckedExitsWithThreeAndWarns) {
  const std::string out = TmpFile("blocked.json");
  const Outcome o = Zqe({"check", "--config", MixedIni(port_), "--engines", "baidu", "--format", "json", "--quiet",
                         "--out", out, DemoFile("sample.txt")});
  EXPECT_EQ(o.code, 3) << o.output;
  EXPECT_NE(o.output.find("zqe check: warning: 19 of 19 sentences not checked"), std::string::npos) << o.output;
  const auto report = ReadJson(out);  // the report is written all the same
  EXPECT_EQ(report["too_little_checked"], true);
  EXPECT_TRUE(report["originality"].is_null());
  EXPECT_EQ(report["engine_answers"]["baidu"]["blocked"], 19);
}

TEST(CliDemoTest, DemoStartsItsOwnSimulator) {
#if defined(ZQE_PLATFORM_WINDOWS)
  GTEST_SKIP() << "serp-sim runs natively; the Windows build reaches it through --port";
#else
  const std::string out = TmpFile("demo-own.json");
  const Outcome o = Zqe({"demo", "--format", "json", "--quiet", "--out", out});
  ASSERT_EQ(o.code, 0) << o.output;
  ExpectSampleVerdicts(ReadJson(out));
#endif
}

}  // namespace
}  // namespace zqe::cli
