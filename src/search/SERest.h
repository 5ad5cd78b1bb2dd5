// Rest after a verification page: an engine that served one is not asked
// again, process-wide, until its rest ends, since every further request
// only deepens the block and answers nothing. Also the per-definition
// rest lengths that the definition file sets beside the fixed records.
//
// Threads: any host or compete thread may ask and start rests; each
// object below is guarded by its own lock, held only for a lookup or an
// update, never while a fetch or a log line runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zqe {

// The rest length when the definition names none: ten minutes.
inline constexpr int32_t kDefaultSuspendAfterVerify = 600;

class TSERestState {
 public:
  using Clock = std::chrono::steady_clock;

  TSERestState() = default;
  TSERestState(const TSERestState&) = delete;
  TSERestState& operator=(const TSERestState&) = delete;

  // The one that every engine object of the process consults.
  static TSERestState& Process();
  // Frees it (the library's unload, when none of its threads runs); the
  // next Process() makes a fresh one.
  static void ReleaseProcess();

  // Engine (its definition name, ASCII case ignored) rests Seconds from
  // Now; a rest already running longer is kept. Seconds <= 0: nothing.
  void Start(std::u16string_view Engine, int32_t Seconds, Clock::time_point Now = Clock::now());
  // Milliseconds of rest left for Engine at Now; 0 when it may be asked.
  int64_t RemainingMs(std::u16string_view Engine, Clock::time_point Now = Clock::now());
  // Ends every rest (tests; a fresh definition set).
  void Reset();

 private:
  struct TRest {
    std::u16string Engine;  // lower-cased ASCII
    Clock::time_point Until;
  };
  std::mutex FLock;
  std::vector<TRest> FRests;  // guarded by FLock; one entry per engine name, a handful
};

// Rest lengths (seconds) by definition name, filled while the definition
// file is read and read when engine objects are made.
class TSEDefRestTable {
 public:
  TSEDefRestTable() = default;
  TSEDefRestTable(const TSEDefRestTable&) = delete;
  TSEDefRestTable& operator=(const TSEDefRestTable&) = delete;

  static TSEDefRestTable& Process();
  static void ReleaseProcess();  // as TSERestState::ReleaseProcess

  void Set(std::u16string_view Definition, int32_t Seconds);
  // kDefaultSuspendAfterVerify for a name never set.
  int32_t Get(std::u16string_view Definition);
  void Reset();

 private:
  struct TEntry {
    std::u16string Definition;
    int32_t Seconds;
  };
  std::mutex FLock;
  std::vector<TEntry> FEntries;  // guarded by FLock
};

// The value of the "suspend-after-verify" key: a decimal number of seconds;
// 0 or a negative number turns the rest off; an empty or unreadable value
// gives the default.
int32_t ParseSuspendAfterVerify(std::u16string_view Value);

}  // namespace zqe
