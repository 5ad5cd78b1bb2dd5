// The parts of the seam that are the same on every platform.
#include <memory>
#include <mutex>
#include <random>

#include "platform/LazyGlobal.h"
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

// Made on first use and freed by ReleaseProcessState when the library
// unloads (never by static destruction: a thread may use them while the
// process exits).
namespace {
struct RandomState {
  std::mutex m;
  std::mt19937 gen;  // guarded by m
};
constinit LazyGlobal<RandomState> gRandom;

RandomState& Randomness() {
  return gRandom.Get([] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), TickCount(), CurrentProcessId()};
    auto* r = new RandomState;
    r->gen.seed(seq);
    return r;
  });
}

struct HookState {
  std::mutex m;
  std::shared_ptr<DebugHook> hook;  // guarded by m
};
constinit LazyGlobal<HookState> gHook;
}  // namespace

uint32_t Random(uint32_t range) {
  if (range == 0) return 0;
  RandomState& r = Randomness();
  std::lock_guard<std::mutex> lock(r.m);
  return std::uniform_int_distribution<uint32_t>(0, range - 1)(r.gen);
}

void SetDebugOutputHook(DebugHook hook) {
  HookState& h = gHook.Get();
  std::lock_guard<std::mutex> lock(h.m);
  h.hook = hook ? std::make_shared<DebugHook>(std::move(hook)) : nullptr;
}

// Defined by each platform: the system channel itself.
void SystemDebugOutput(std::u16string_view text);
void ReleaseSystemState();

void OutputDebug(std::u16string_view text) {
  SystemDebugOutput(text);
  std::shared_ptr<DebugHook> hook;
  {
    HookState& h = gHook.Get();
    std::lock_guard<std::mutex> lock(h.m);
    hook = h.hook;
  }
  if (hook) (*hook)(text);
}

}  // namespace zqe::platform

namespace zqe::platform {
void ReleaseProcessState() {
  gRandom.Release();
  gHook.Release();
  ReleaseSystemState();
}
}  // namespace zqe::platform
