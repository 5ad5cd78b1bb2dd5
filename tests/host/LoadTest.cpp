// Loads the real library the way a host does and checks what a freshly
// loaded library leaves in the host's log directory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "zqe/zqe.h"

namespace zqe {
namespace {

using ::testing::ElementsAre;

std::filesystem::path HostDir() { return std::filesystem::path(platform::HostProgramPath()).parent_path(); }

std::filesystem::path LibraryPath() { return HostDir() / ZQE_LIBRARY_FILE_NAME; }

std::filesystem::path TodaysLogFile() {
  const auto t = platform::Now();
  char day[16];
  std::snprintf(day, sizeof day, "%04d%02d%02d", t.year, t.month, t.day);
  return HostDir() / "log" / day / ("zq#" + std::to_string(platform::CurrentProcessId()) + ".log");
}

// What a load adds to this process's log file.
class LogTail {
 public:
  LogTail() : start_(std::filesystem::exists(TodaysLogFile()) ? std::filesystem::file_size(TodaysLogFile()) : 0) {}
  std::vector<std::string> Lines() const {
    const std::string all = test::ReadBytes(TodaysLogFile());
    return test::SplitCrLf(all.substr(std::min<size_t>(start_, all.size())));
  }

 private:
  uintmax_t start_;
};

// The fixed part of a line after the timestamp: prefix right-aligned in
// 28, the thread id left-aligned in 6, the marker right-aligned in 3.
std::string Tail(const std::string& prefix, const std::string& marker, const std::string& msg) {
  char buf[128];
  std::snprintf(buf, sizeof buf, " %28s %-6u %3s ", prefix.c_str(), platform::CurrentThreadId(), marker.c_str());
  return buf + msg;
}

void ExpectLine(const std::string& line, const std::string& prefix, const std::string& msg) {
  static const std::regex time(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})");
  ASSERT_GE(line.size(), 23u) << line;
  EXPECT_TRUE(std::regex_search(line.substr(0, 23), time)) << line;
  EXPECT_EQ(line.substr(23), Tail(prefix, "-", msg));
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::remove(HostDir() / ".dbg"); }
  void TearDown() override { std::filesystem::remove(HostDir() / ".dbg"); }

  std::unique_ptr<platform::DynamicLibrary> Load() {
    std::string error;
    auto lib = platform::DynamicLibrary::Load(LibraryPath().u16string(), error);
    EXPECT_TRUE(lib) << error;
    return lib;
  }
};

const char kBanner[] = "=============================== Debug params ===============================";
const char kSeparator[] = "-------- -------- -------- -------- -------- -------- -------- -------- -------- ";

TEST_F(HostTest, LoadingWritesTheBannerAndExportsInitZQE) {
  LogTail tail;
  auto lib = Load();
  ASSERT_TRUE(lib);
  auto init = reinterpret_cast<TInitZQE>(lib->Symbol("InitZQE"));
  ASSERT_NE(init, nullptr);

  // The record is checked before anything else: a null record, then the
  // magic before the size.
  EXPECT_EQ(init(u"x.ini", nullptr), 87);
  TZQEInterface intf{};
  intf.Size = 99;
  intf.Magic = 1;
  EXPECT_EQ(init(u"x.ini", &intf), 1);

  const std::string module = LibraryPath().filename().string();
  const auto lines = tail.Lines();
  ASSERT_EQ(lines.size(), 4u);
  ExpectLine(lines[0], "[" + module + "] ", kBanner);
  ExpectLine(lines[1], "[" + module + "] ", "Debug : False");
  ExpectLine(lines[2], "[" + module + "] ", kSeparator);
  ExpectLine(lines[3], "[ZQE@" + module + "]", "__TRACE_ALIASNAME:ZQE");
}

TEST_F(HostTest, WithAMarkerFileEveryLineGoesToTheFile) {
  test::WriteBytes(HostDir() / ".dbg", "[DBG]\r\nHTTP=1\r\n[DUMP]\r\nHTML=1\r\nPATH=dumps\r\n");
  LogTail tail;
  auto lib = Load();
  ASSERT_TRUE(lib);
  auto init = reinterpret_cast<TInitZQE>(lib->Symbol("InitZQE"));
  ASSERT_NE(init, nullptr);
  init(u"x.ini", nullptr);

  const std::string module = LibraryPath().filename().string();
  const std::string before = "[" + module + "] ", after = "[ZQE@" + module + "]";
  const auto lines = tail.Lines();
  ASSERT_EQ(lines.size(), 10u);
  ExpectLine(lines[0], before, kBanner);
  ExpectLine(lines[1], before, "Debug -      HTTP : True");
  ExpectLine(lines[2], before, std::string("Dump  -      Path : dumps") + static_cast<char>(platform::kPathDelim));
  ExpectLine(lines[3], before, "Dump  -      HTTP : False");
  ExpectLine(lines[4], before, "Dump  -      HTML : True");
  ExpectLine(lines[5], before, "Dump  - TextSlice : False");
  ExpectLine(lines[6], before, kSeparator);
  ExpectLine(lines[7], before, module + " load.");
  ExpectLine(lines[8], after, "__TRACE_ALIASNAME:ZQE");
  ExpectLine(lines[9], after, "InitZQE");
}

}  // namespace
}  // namespace zqe
