// Loading the real library the way a host does, and reading what a freshly
// loaded library leaves in the host's log directory. Each test program
// loads the library once: an unload does not always unmap it (sanitizers
// keep libraries mapped), so a second load would not run its start code.
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "zqe/zqe.h"

namespace zqe::hosttest {

using ::testing::ElementsAre;

inline std::filesystem::path HostDir() { return std::filesystem::path(platform::HostProgramPath()).parent_path(); }

inline std::filesystem::path LibraryPath() { return HostDir() / ZQE_LIBRARY_FILE_NAME; }

inline std::filesystem::path TodaysLogFile() {
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
inline std::string Tail(const std::string& prefix, const std::string& marker, const std::string& msg) {
  char buf[128];
  std::snprintf(buf, sizeof buf, " %28s %-6u %3s ", prefix.c_str(), platform::CurrentThreadId(), marker.c_str());
  return buf + msg;
}

inline void ExpectLine(const std::string& line, const std::string& prefix, const std::string& msg) {
  static const std::regex time(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})");
  ASSERT_GE(line.size(), 23u) << line;
  EXPECT_TRUE(std::regex_search(line.substr(0, 23), time)) << line;
  EXPECT_EQ(line.substr(23), Tail(prefix, "-", msg));
}

// The library stays loaded for the life of the test program: a C++ library
// is often not unloadable anyway (unique symbols), and leak checkers only
// look into libraries that are still loaded.
inline platform::DynamicLibrary* LoadEngine() {
  static platform::DynamicLibrary* lib = [] {
    std::string error;
    auto l = platform::DynamicLibrary::Load(LibraryPath().u16string(), error);
    EXPECT_TRUE(l) << error;
    return l.release();
  }();
  return lib;
}

inline const char kBanner[] = "=============================== Debug params ===============================";
inline const char kSeparator[] = "-------- -------- -------- -------- -------- -------- -------- -------- -------- ";

}  // namespace zqe::hosttest
