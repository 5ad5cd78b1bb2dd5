// The host interface: InitZQE and its four callbacks, the check request
// with its compete threads and monitor, and the engine-wide state that
// ties definitions, registry and per-thread engines together.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/CompeteThread.h"
#include "engine/ZQDef.h"
#include "search/ZQSEInst.h"
#include "zqe/zqe.h"

namespace zqe {

// An engine object with the lock that lets it run one check at a time.
struct TSEInstSlot {
  explicit TSEInstSlot(TSEInstancePtr inst) : SEInst(std::move(inst)) {}
  TSEInstancePtr SEInst;
  platform::Mutex Lock;  // held for the whole of one Check
};
using TSEInstSlotPtr = std::shared_ptr<TSEInstSlot>;

// What a winner copies into the host's record, taken from its engine while
// the engine's lock is held.
struct TSEFindings {
  std::u16string Name;
  int32_t ErrorCode = 1;
  std::u16string CheckUrl, CheckShortURL, CheckRemark;
};

// Runs one engine's check in a compete thread.
class TSECheckThread final : public TCompeteThread {
 public:
  TSECheckThread(std::shared_ptr<TCompeteGroup> group, int32_t TimeOut, std::u16string Text, std::u16string Fillter,
                 bool StrictMatch, TSEInstSlotPtr SEInst, TCancelToken Token = {},
                 TCheckClock Now = &SteadyClockNow);
  const TSEInstancePtr& SEInst() const { return FSEInst->SEInst; }
  // The moment, by CheckClock(), the thread object was made: MatchMSecs counts
  // from it.
  std::chrono::steady_clock::time_point StartTimeStamp() const { return FStartTimeStamp; }
  // Set by a successful Work: the delivery runs after the engine's lock is
  // released, when another check may already be using the engine.
  const TSEFindings& Findings() const { return FFindings; }

 protected:
  bool Work() override;

 private:
  std::u16string FText;
  std::u16string FFillter;
  bool FStrictMatch;
  TSEInstSlotPtr FSEInst;
  TCancelToken FToken;
  std::chrono::steady_clock::time_point FStartTimeStamp;
  TSEFindings FFindings;
};

// The budget of a several-engines request and of each of its threads.
inline constexpr uint32_t kCheckTimeoutMs = 3000;

// Set up and torn down by the library's load and unload code; tests of the
// orchestration call them around their cases.
// At a plain unload ZQEImpFinalize cancels what runs and waits for the
// library's threads; at process exit it touches nothing.
void ZQEImpInitialize();
void ZQEImpFinalize(bool processExit = false);

// Makes the engine object for a selected record; the registry's
// CreateSEInstance unless a test puts its own factory in.
using TSEInstFactory = std::function<TSEInstancePtr(int32_t ID, const TZQSEDefArr& Defs)>;
void SetSEInstFactory(TSEInstFactory factory);

// The budget of the several-engines requests that begin from now on;
// kCheckTimeoutMs unless a test shortens it.
void SetCheckBudget(uint32_t Ms);

// The clock of the requests that begin from now on: what decides whether
// a hit came within the budget and what MatchMSecs and TotalMSecs count.
// The steady clock unless a test puts its own in; null puts it back.
void SetCheckClock(TCheckClock Now);

bool InitSEInstances();
// Number of engine objects in the check dictionary (for tests).
size_t SEInstDictCount();

// The callbacks, with the Windows API calling convention.
void ZQE_STDCALL ZQEGetSEDefArr(TZQSEDef** ppDefs, int32_t* pCount);
void ZQE_STDCALL ZQEUnInit();
uint8_t ZQE_STDCALL ZQECheck(const ZQEChar* szText, const ZQEChar* szFillter, const TZQECheckParams* lpParams,
                             int32_t nUserData, TZQECheckResult* lpResult);
void ZQE_STDCALL ZQECancelAll();
int32_t InitZQEImpl(const ZQEChar* ConfigFile, TZQEInterface* Intf);

}  // namespace zqe
