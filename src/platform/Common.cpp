// The parts of the seam that are the same on every platform.
#include <memory>
#include <mutex>
#include <random>

#include "platform/Platform.h"

namespace zqe::platform {

std::u16string ExtractFileDir(std::u16string_view path) {
  const auto p = path.find_last_of(u"\\/");
  if (p == std::u16string_view::npos) return {};
  return std::u16string(path.substr(0, p));
}

std::u16string ExtractFilePath(std::u16string_view path) {
  const auto p = path.find_last_of(u"\\/");
  if (p == std::u16string_view::npos) return {};
  return std::u16string(path.substr(0, p + 1));
}

std::u16string ExtractFileName(std::u16string_view path) {
  const auto p = path.find_last_of(u"\\/");
  if (p == std::u16string_view::npos) return std::u16string(path);
  return std::u16string(path.substr(p + 1));
}

std::u16string IncludeTrailingDelim(std::u16string_view path) {
  std::u16string r(path);
  if (r.empty() || (r.back() != u'\\' && r.back() != u'/')) r.push_back(kPathDelim);
  return r;
}

// These live for the whole process (never destroyed): threads that nobody
// joins may still log or draw a user agent while the process exits.
namespace {
std::mutex& RandomMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::mt19937& Generator() {
  static auto* gen = [] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), TickCount(), CurrentProcessId()};
    return new std::mt19937(seq);
  }();
  return *gen;
}

std::mutex& HookMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::shared_ptr<DebugHook>& HookSlot() {
  static auto* hook = new std::shared_ptr<DebugHook>;
  return *hook;
}
}  // namespace

uint32_t Random(uint32_t range) {
  if (range == 0) return 0;
  std::lock_guard<std::mutex> lock(RandomMutex());
  return std::uniform_int_distribution<uint32_t>(0, range - 1)(Generator());
}

void SetDebugOutputHook(DebugHook hook) {
  std::lock_guard<std::mutex> lock(HookMutex());
  HookSlot() = hook ? std::make_shared<DebugHook>(std::move(hook)) : nullptr;
}

// Defined by each platform: the system channel itself.
void SystemDebugOutput(std::u16string_view text);

void OutputDebug(std::u16string_view text) {
  SystemDebugOutput(text);
  std::shared_ptr<DebugHook> hook;
  {
    std::lock_guard<std::mutex> lock(HookMutex());
    hook = HookSlot();
  }
  if (hook) (*hook)(text);
}

}  // namespace zqe::platform
