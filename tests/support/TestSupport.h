// Helpers shared by the test programs: temporary directories, capture of
// the debug-output channel, whole-file reads.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Text.h"

namespace zqe::test {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("zqe-test-" + std::to_string(platform::CurrentProcessId()) + "-" + std::to_string(stamp) + "-" +
             std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // With a trailing delimiter, as the engine names directories.
  std::u16string dir() const { return platform::IncludeTrailingDelim(u16(path_)); }
  static std::u16string u16(const std::filesystem::path& p) { return p.u16string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f << bytes;
}

inline std::string Utf16LeWithBom(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// Splits on CR LF (the log files' line end).
inline std::vector<std::string> SplitCrLf(const std::string& s) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < s.size()) {
    size_t e = s.find("\r\n", pos);
    if (e == std::string::npos) {
      lines.push_back(s.substr(pos));
      break;
    }
    lines.push_back(s.substr(pos, e - pos));
    pos = e + 2;
  }
  return lines;
}

// Collects everything sent to the debug-output channel while alive.
class DebugCapture {
 public:
  DebugCapture() {
    platform::SetDebugOutputHook([this](std::u16string_view s) {
      std::lock_guard<std::mutex> lock(m_);
      lines_.push_back(U16ToUtf8(s));
    });
  }
  ~DebugCapture() { platform::SetDebugOutputHook(nullptr); }
  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(m_);
    return lines_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(m_);
    lines_.clear();
  }

 private:
  mutable std::mutex m_;
  std::vector<std::string> lines_;
};

}  // namespace zqe::test
