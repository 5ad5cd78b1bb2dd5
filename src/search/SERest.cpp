#include "search/SERest.h"

#include <algorithm>

#include "platform/LazyGlobal.h"
#include "platform/Text.h"

namespace zqe {
namespace {


std::u16string LowerAscii(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return out;
}

}  // namespace

namespace {
// Made on first use and freed only by the library's unload once none of
// its threads runs: compete threads that nobody joins may still ask while
// the process ends, after static destructors ran.
constinit LazyGlobal<TSERestState> gRestState;
constinit LazyGlobal<TSEDefRestTable> gDefRestTable;
}  // namespace

TSERestState& TSERestState::Process() { return gRestState.Get(); }

void TSERestState::ReleaseProcess() { gRestState.Release(); }

void TSERestState::Start(std::u16string_view Engine, int32_t Seconds, Clock::time_point Now) {
  if (Seconds <= 0) return;
  const Clock::time_point until = Now + std::chrono::seconds(Seconds);
  const std::u16string key = LowerAscii(Engine);
  std::lock_guard<std::mutex> lock(FLock);
  for (TRest& r : FRests) {
    if (r.Engine == key) {
      r.Until = std::max(r.Until, until);
      return;
    }
  }
  FRests.push_back(TRest{key, until});
}

int64_t TSERestState::RemainingMs(std::u16string_view Engine, Clock::time_point Now) {
  const std::u16string key = LowerAscii(Engine);
  std::lock_guard<std::mutex> lock(FLock);
  for (const TRest& r : FRests) {
    if (r.Engine != key) continue;
    if (r.Until <= Now) return 0;
    // Rounded up, so that a rest never reads as over while it runs.
    return std::chrono::ceil<std::chrono::milliseconds>(r.Until - Now).count();
  }
  return 0;
}

void TSERestState::Reset() {
  std::lock_guard<std::mutex> lock(FLock);
  FRests.clear();
}

TSEDefRestTable& TSEDefRestTable::Process() { return gDefRestTable.Get(); }

void TSEDefRestTable::ReleaseProcess() { gDefRestTable.Release(); }

void TSEDefRestTable::Set(std::u16string_view Definition, int32_t Seconds) {
  std::lock_guard<std::mutex> lock(FLock);
  for (TEntry& e : FEntries) {
    if (e.Definition == Definition) {
      e.Seconds = Seconds;
      return;
    }
  }
  FEntries.push_back(TEntry{std::u16string(Definition), Seconds});
}

int32_t TSEDefRestTable::Get(std::u16string_view Definition) {
  std::lock_guard<std::mutex> lock(FLock);
  for (const TEntry& e : FEntries)
    if (e.Definition == Definition) return e.Seconds;
  return kDefaultSuspendAfterVerify;
}

void TSEDefRestTable::Reset() {
  std::lock_guard<std::mutex> lock(FLock);
  FEntries.clear();
}

int32_t ParseSuspendAfterVerify(std::u16string_view Value) {
  int32_t seconds = 0;
  if (!TryParseInt32(Value, seconds)) return kDefaultSuspendAfterVerify;
  return std::max(seconds, 0);
}

}  // namespace zqe
