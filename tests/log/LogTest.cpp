#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "TestSupport.h"
#include "log/Format.h"
#include "log/Log4D.h"
#include "log/zqTrace.h"

namespace zqe {
namespace {

using test::DebugCapture;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A path ending in "dump_<digits>.txt", the name a dump without one gets.
bool IsNumberedDumpName(const std::string& path) {
  const size_t at = path.rfind("dump_");
  if (at == std::string::npos || !path.ends_with(".txt")) return false;
  const size_t first = at + 5, end = path.size() - 4;
  return first < end && std::all_of(path.begin() + static_cast<std::ptrdiff_t>(first),
                                    path.begin() + static_cast<std::ptrdiff_t>(end),
                                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// A writer for a host program "host.exe" in a temporary directory, with
// the library "engine.dll", process 77, thread 4512 and a settable clock.
struct WriterFixture {
  TempDir tmp;
  platform::LocalTime clock{2024, 3, 5, 9, 41, 7, 250};
  std::unique_ptr<LogWriter> writer;

  explicit WriterFixture(bool withDebugFile = false) {
    if (withDebugFile) test::WriteBytes(tmp.path() / ".dbg", "");
    LogEnvironment env;
    env.hostDir = tmp.dir();
    env.hostFileName = u"host.exe";
    env.modulePath = tmp.dir() + u"engine.dll";
    env.processId = 77;
    env.now = [this] { return clock; };
    env.threadId = [] { return 4512u; };
    writer = std::make_unique<LogWriter>(env);
    writer->SetLogPath(tmp.dir() + u"log");
    writer->SetLogFileName(u"zq");
  }
  std::filesystem::path LogFile(const char* day = "20240305") const {
    return tmp.path() / "log" / day / "zq#77.log";
  }
  std::vector<std::string> FileLines(const char* day = "20240305") const {
    return test::SplitCrLf(test::ReadBytes(LogFile(day)));
  }
};

TEST(FormatTest, DirectivesWidthsAndFlags) {
  struct Case {
    std::u16string_view fmt;
    std::u16string expected;
  };
  const std::u16string s = u"ab";
  EXPECT_EQ(Format(u"[%s] >", {s}), u"[ab] >");
  EXPECT_EQ(Format(u"%5s|%-5s|", {s, s}), u"   ab|ab   |");
  EXPECT_EQ(Format(u"%d %d %u", {-12, 7, 42u}), u"-12 7 42");
  EXPECT_EQ(Format(u"%-6u|%3s", {4512u, u"-"}), u"4512  |  -");
  EXPECT_EQ(Format(u"%x 100%%", {255}), u"FF 100%");
  EXPECT_EQ(Format(u"%2s", {u"longer"}), u"longer");  // widths never cut
  EXPECT_EQ(Format(u"%d", {1, 2}), u"1");              // extra arguments ignored
}

TEST(FormatTest, MismatchesAreErrorsNotGuesses) {
  const std::u16string_view bad[] = {u"%d", u"%s", u"%q", u"%"};
  EXPECT_THROW(Format(bad[0], {u"text"}), FormatError);
  EXPECT_THROW(Format(bad[1], {5}), FormatError);
  EXPECT_THROW(Format(bad[2], {5}), FormatError);
  EXPECT_THROW(Format(bad[3], {5}), FormatError);
  try {
    Format(u"%s and %s", {u"one"});
    FAIL() << "too few arguments accepted";
  } catch (const FormatError& e) {
    EXPECT_STREQ(e.what(), "No argument for format '%s and %s'");
  }
}

TEST(LogWriterTest, LineLayoutMatchesTheDocumentedExamples) {
  WriterFixture f;
  EXPECT_EQ(f.writer->BuildLine(llImpt, u"[InitSEInstances] ok!"),
            u"2024-03-05 09:41:07.250                [engine.dll]  4512   *** [InitSEInstances] ok!");
  f.writer->SetTraceAliasName(u"ZQE");
  EXPECT_EQ(f.writer->BuildLine(llInfo, u"[InitSEInstances] ok!"),
            u"2024-03-05 09:41:07.250             [ZQE@engine.dll] 4512     - [InitSEInstances] ok!");
  const char16_t* markers[] = {u"  -", u"  !", u"***", u"  ^", u">>>"};
  for (int level = 0; level < 5; ++level)
    EXPECT_EQ(f.writer->BuildLine(level, u"m").substr(60), std::u16string(markers[level]) + u" m") << level;
  f.writer->SetTraceAliasName(u"");
  EXPECT_EQ(f.writer->TracePrefix(), u"[engine.dll]");
}

TEST(LogWriterTest, LongPrefixesAndThreadIdsWidenTheLine) {
  TempDir tmp;
  LogEnvironment env;
  env.hostDir = tmp.dir();
  env.hostFileName = u"h.exe";
  env.modulePath = tmp.dir() + u"a-library-with-a-rather-long-name.dll";
  env.now = [] { return platform::LocalTime{2024, 1, 2, 3, 4, 5, 6}; };
  env.threadId = [] { return 12345678u; };
  LogWriter w(env);
  EXPECT_EQ(w.BuildLine(llInfo, u"x"),
            u"2024-01-02 03:04:05.006 [a-library-with-a-rather-long-name.dll]  12345678   - x");
}

TEST(LogWriterTest, WithoutDebugFileOnlyForcedLinesReachTheFile) {
  DebugCapture cap;
  WriterFixture f;
  EXPECT_FALSE(f.writer->GetTrace2FileFlag());
  f.writer->OutputLog(llInfo, u"not forced", false);
  f.writer->OutputLog(llError, u"forced", true);
  EXPECT_THAT(f.FileLines(), ElementsAre(HasSubstr("^ forced")));
  EXPECT_THAT(cap.lines(), ::testing::Contains(HasSubstr("- not forced")));
  EXPECT_EQ(f.writer->LogFullName(), TempDir::u16(f.LogFile()));
}

TEST(LogWriterTest, WithDebugFileEveryLineReachesTheFile) {
  WriterFixture f(/*withDebugFile=*/true);
  EXPECT_TRUE(f.writer->GetTrace2FileFlag());
  f.writer->OutputLog(llInfo, u"one", false);
  f.writer->OutputLog(llWarn, u"two", false);
  EXPECT_THAT(f.FileLines(), ElementsAre(HasSubstr("- one"), HasSubstr("! two")));
}

TEST(LogWriterTest, DisableToDiskKeepsEveryLineOffTheDisk) {
  DebugCapture cap;
  WriterFixture f(true);
  f.writer->SetDisableToDisk(true);
  f.writer->OutputLog(llFatal, u"x", true);
  EXPECT_FALSE(std::filesystem::exists(f.LogFile()));
  EXPECT_THAT(cap.lines(), ::testing::Contains(HasSubstr(">>> x")));
  EXPECT_THAT(cap.lines(), ::testing::Contains(HasSubstr("__DisableToDisk:True")));
}

TEST(LogWriterTest, AFormatMismatchGoesOnlyToTheDebugChannel) {
  DebugCapture cap;
  WriterFixture f(true);
  cap.clear();
  f.writer->OutputLogFmt(llInfo, u"count %d", {u"not a number"}, true);
  EXPECT_FALSE(std::filesystem::exists(f.LogFile()));
  ASSERT_EQ(cap.lines().size(), 1u);
  EXPECT_EQ(cap.lines()[0], "[__OutFmt] Fmt:count %d Error : Format 'count %d' invalid or incompatible with argument");
}

TEST(LogWriterTest, ADayDirectoryThatCannotBeMadeDropsTheLineAndIsTriedAgain) {
  DebugCapture cap;
  WriterFixture f;
  std::filesystem::create_directories(f.tmp.path() / "log");
  test::WriteBytes(f.tmp.path() / "log" / "20240305", "a file where the directory belongs");
  cap.clear();
  f.writer->OutputLog(llError, u"lost", true);
  const auto lines = cap.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "!!! Error!Can not create log dir:" + (f.tmp.path() / "log" / "20240305").string());
  EXPECT_THAT(lines[2], HasSubstr(">>> log msg:"));
  EXPECT_THAT(lines[2], HasSubstr("^ lost"));
  std::filesystem::remove(f.tmp.path() / "log" / "20240305");
  f.writer->OutputLog(llError, u"kept", true);
  EXPECT_THAT(f.FileLines(), ElementsAre(HasSubstr("^ kept")));
}

TEST(LogWriterTest, TheFirstDaysFileStaysInUseAfterMidnight) {
  WriterFixture f;
  f.clock = {2024, 3, 5, 23, 59, 59, 999};
  f.writer->OutputLog(llInfo, u"before", true);
  f.clock = {2024, 3, 6, 0, 0, 1, 0};
  f.writer->OutputLog(llInfo, u"after", true);
  EXPECT_THAT(f.FileLines(), ElementsAre(HasSubstr("before"), HasSubstr("2024-03-06 00:00:01.000")));
  EXPECT_FALSE(std::filesystem::exists(f.tmp.path() / "log" / "20240306"));
}

TEST(LogWriterTest, LoggingKeepsTheCallersLastError) {
  WriterFixture f;
  platform::SetLastError(1206);
  f.writer->OutputLog(llError, u"x", true);
  f.writer->OutputLog(llError, u"y", true);
  EXPECT_EQ(platform::GetLastError(), 1206u);
}

TEST(LogWriterTest, SetLogPathCreatesTheDirectoryOrKeepsTheOldPath) {
  WriterFixture f;
  EXPECT_TRUE(f.writer->SetLogPath(f.tmp.dir() + u"x" + platform::kPathDelim + u"y"));
  EXPECT_EQ(f.writer->LogPath(), f.tmp.dir() + u"x" + platform::kPathDelim + u"y" + platform::kPathDelim);
  test::WriteBytes(f.tmp.path() / "file", "");
  EXPECT_FALSE(f.writer->SetLogPath(f.tmp.dir() + u"file" + platform::kPathDelim + u"sub"));
  EXPECT_EQ(f.writer->LogPath(), f.tmp.dir() + u"x" + platform::kPathDelim + u"y" + platform::kPathDelim);
  EXPECT_FALSE(f.writer->SetLogPath(u""));
  EXPECT_EQ(f.writer->LogPath(), f.tmp.dir());
  f.writer->SetLogFileName(u"");
  EXPECT_EQ(f.writer->LogFileName(), u"host.exe");
}

// The class-level operations over an installed writer.
class ClassLevelTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = TLog4D::Install(f_.writer.get()); }
  void TearDown() override { TLog4D::Install(previous_); }
  WriterFixture f_{true};
  LogWriter* previous_ = nullptr;
};

TEST_F(ClassLevelTest, ExceptionFormsAndBlocks) {
  TLog4D::E(u"failed", std::runtime_error(""), true);
  TLog4D::Fatal(u"died", std::runtime_error("boom"), true);
  { auto block = TZQTrace::Enter(u"Work"); }
  EXPECT_THROW(TLog4D::B([] { throw std::runtime_error("x"); }, u"Step"), std::runtime_error);
  EXPECT_THAT(f_.FileLines(), ElementsAre(HasSubstr("  ^ failed Exception:"), HasSubstr(">>> died Exception:boom"),
                                          HasSubstr("- [Work] >"), HasSubstr("- [Work] ."),
                                          HasSubstr("- Step >"), HasSubstr("- Step .")));
  EXPECT_TRUE(f_.FileLines()[0].ends_with("failed Exception:"));
}

TEST_F(ClassLevelTest, DebugOnlyLinesNeedTheirCategory) {
  DebugCapture cap;
  DbgParams.Debug[dbgCommon] = true;
  DbgParams.Debug[dbgHttp] = false;
  TZQTrace::InfoEx(dbgHttp, u"[THTTP.Get] url:%s", {u"x"}, false);
  EXPECT_TRUE(cap.lines().empty());
  TZQTrace::ErrEx(dbgCommon, u"shown", false);
  EXPECT_THAT(cap.lines(), ElementsAre(HasSubstr("^ shown")));
  DbgParams = TDbgParams{};
}

TEST_F(ClassLevelTest, DumpsNeedDebugModeAndAWritableDirectory) {
  DbgParams = TDbgParams{};
  DbgParams.DumpPath = f_.tmp.dir() + u"dumps" + platform::kPathDelim;
  DbgParams.DumpHtml = true;
  EXPECT_EQ(TZQTrace::Dump(u"data", u"a.txt"), u"");  // debug mode off
  EXPECT_FALSE(std::filesystem::exists(f_.tmp.path() / "dumps"));

  DbgParams.Debug[dbgCommon] = true;
  const std::u16string full = TZQTrace::DumpHTML(u"<p>\u4E2D</p>", u"page.html");
  EXPECT_EQ(full, DbgParams.DumpPath + u"page.html");
  EXPECT_EQ(test::ReadBytes(f_.tmp.path() / "dumps" / "page.html"), "\xEF\xBB\xBF<p>\xE4\xB8\xAD</p>");
  EXPECT_EQ(TZQTrace::DumpHTTP(u"x", u"b.txt"), u"");  // DumpHttp off
  const std::u16string unnamed = TZQTrace::Dump(u"x", u"");
  EXPECT_TRUE(IsNumberedDumpName(U16ToUtf8(unnamed))) << U16ToUtf8(unnamed);
  EXPECT_EQ(TZQTrace::Dump(u"x", std::u16string(u"no") + platform::kPathDelim + u"such.txt"), u"");
  EXPECT_THAT(f_.FileLines().back(), HasSubstr("*** [*DUMP*]Data Dump To:"));

  test::WriteBytes(f_.tmp.path() / "blocked", "");
  DbgParams.DumpPath = f_.tmp.dir() + u"blocked" + platform::kPathDelim;
  EXPECT_EQ(TZQTrace::Dump(u"payload", u"c.txt"), u"");
  const auto lines = f_.FileLines();
  EXPECT_THAT(lines[lines.size() - 2], HasSubstr("^ Error!Can not write dump data to dir "));
  EXPECT_THAT(lines.back(), HasSubstr("^ Dump data : payload"));
  DbgParams = TDbgParams{};
}

// The unit's load steps on a host directory with or without a marker file.
struct TraceLoad {
  std::vector<std::string> Run(const std::string* marker) {
    WriterFixture f;
    if (marker) {
      test::WriteBytes(f.tmp.path() / ".dbg", *marker);
      f.writer = std::make_unique<LogWriter>(LogEnvironment{f.tmp.dir(), u"host.exe", f.tmp.dir() + u"engine.dll", 77,
                                                            [] { return platform::LocalTime{2024, 3, 5, 1, 2, 3, 4}; },
                                                            [] { return 9u; }});
    }
    LogWriter* prev = TLog4D::Install(f.writer.get());
    TZQTrace::Initialize();
    TLog4D::Install(prev);
    params = DbgParams;
    dumpDefault = f.tmp.dir() + u"log" + platform::kPathDelim + u"dump" + platform::kPathDelim;
    DbgParams = TDbgParams{};
    std::vector<std::string> messages;
    for (const auto& l : f.FileLines()) messages.push_back(l.substr(64));  // the message after the fixed fields
    return messages;
  }
  TDbgParams params;
  std::u16string dumpDefault;
};

TEST(TraceLoadTest, WithoutMarkerFileTheLogStartsWithBannerDebugFalseAndSeparator) {
  TraceLoad load;
  EXPECT_THAT(load.Run(nullptr),
              ElementsAre("=============================== Debug params ===============================",
                          "Debug : False",
                          "-------- -------- -------- -------- -------- -------- -------- -------- -------- "));
  EXPECT_FALSE(load.params.Debug[dbgCommon]);
  EXPECT_EQ(load.params.DumpPath, load.dumpDefault);
}

TEST(TraceLoadTest, AnEmptyMarkerFileGivesFiveParameterLinesWithDefaults) {
  TraceLoad load;
  const std::string marker;
  const auto lines = load.Run(&marker);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[1], "Debug -      HTTP : False");
  EXPECT_EQ(lines[2], "Dump  -      Path : " + U16ToUtf8(load.dumpDefault));
  EXPECT_EQ(lines[3], "Dump  -      HTTP : False");
  EXPECT_EQ(lines[4], "Dump  -      HTML : False");
  EXPECT_EQ(lines[5], "Dump  - TextSlice : False");
  EXPECT_EQ(lines[7], "engine.dll load.");
  EXPECT_TRUE(load.params.Debug[dbgCommon]);
}

TEST(TraceLoadTest, MarkerFileSettingsAreReadAsIntegers) {
  struct Case {
    std::string marker;
    bool http, dumpHttp, dumpHtml, textSlice;
    std::string pathSuffix;  // expected DumpPath without the host part, or "" for default
  } cases[] = {
      {"[DBG]\nHTTP=1\n", true, false, false, false, ""},
      {"[dbg]\nhttp=true\n", false, false, false, false, ""},
      {"[DUMP]\nHTTP=$10\nHTML=0x1\nTEXTSLICE=0\n", false, true, true, false, ""},
      {"[DUMP]\nPATH=/custom/dir\n", false, false, false, false, "/custom/dir"},
      {"[DUMP]\nPATH=\n", false, false, false, false, ""},
  };
  for (const auto& c : cases) {
    TraceLoad load;
    load.Run(&c.marker);
    EXPECT_EQ(load.params.Debug[dbgHttp], c.http) << c.marker;
    EXPECT_EQ(load.params.DumpHttp, c.dumpHttp) << c.marker;
    EXPECT_EQ(load.params.DumpHtml, c.dumpHtml) << c.marker;
    EXPECT_EQ(load.params.DumpTextSlice, c.textSlice) << c.marker;
    if (c.pathSuffix.empty())
      EXPECT_EQ(load.params.DumpPath, load.dumpDefault) << c.marker;
    else
      EXPECT_EQ(load.params.DumpPath, Utf8ToU16(c.pathSuffix) + platform::kPathDelim) << c.marker;
  }
}

}  // namespace
}  // namespace zqe
