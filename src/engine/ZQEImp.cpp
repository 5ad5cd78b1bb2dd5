#include "engine/ZQEImp.h"

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "engine/ZQGlobal.h"
#include "log/zqTrace.h"
#include "platform/Text.h"
#include "search/SEManager.h"

namespace zqe {

std::atomic<bool> SEInstInited{false};

namespace {

constexpr uint32_t kErrorInvalidParameter = ZQE_ERROR_INVALID_PARAMETER;
constexpr uint32_t kErrorNotReady = ZQE_ERROR_NOT_READY;
constexpr uint32_t kErrorBadLength = ZQE_ERROR_BAD_LENGTH;

using Clock = std::chrono::steady_clock;

int64_t MillisSince(Clock::time_point t, TCheckClock now) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(now() - t).count();
}

using TSEInstDict = std::map<std::u16string, TSEInstSlotPtr>;

// The one owner of what the engine runs: the registry's engines, the check
// dictionary, the engines of running one-engine requests and the cancel
// generation. The threads it starts are counted by the platform, and
// UnInit and the library's unload wait for them. Made at library load,
// freed at unload.
struct TEngineState {
  // Guards registry, SEInstDict, active and retired. Held only to look up
  // and collect engines, never while an engine checks or is waited for.
  std::mutex lock;
  TSEInstArr registry;  // SEInstArr: one engine per definition
  // Engine objects per engine name and host thread; absent before the
  // first InitZQE and after UnInit.
  std::unique_ptr<TSEInstDict> SEInstDict;
  // Engines of one-engine requests while they run, so that a cancel
  // reaches them too.
  std::vector<TSEInstSlotPtr> active;
  // Registry engines that a repeated InitZQE replaced; destroyed at UnInit.
  std::vector<TSEInstancePtr> retired;

  // Moved on by every CancelAll and UnInit; a request keeps the value it
  // saw when it began, and its checks compare it once they hold their
  // engine, so that nothing queued before a cancel starts after it.
  std::atomic<uint64_t> cancelGeneration{0};

  TSEInstFactory factory;  // set before any check

  // The several-engines budget; tests shorten it to keep from waiting.
  std::atomic<uint32_t> checkBudgetMs{kCheckTimeoutMs};
  // The clock of the checks; a request reads it once, so that all its
  // times come from one clock even if a test swaps it meanwhile.
  std::atomic<TCheckClock> checkClock{&SteadyClockNow};
};

constinit TEngineState* gState = nullptr;

TEngineState& State() {
  if (!gState) gState = new TEngineState;
  return *gState;
}

TCancelToken CurrentToken() {
  return TCancelToken{&State().cancelGeneration, State().cancelGeneration.load()};
}

// How long UnInit and the unload wait for the library's threads. Aborted
// fetches end at once, so this is only reached by a thread stuck in code
// that no abort reaches; the wait then gives up with an error line rather
// than hang the host for ever.
constexpr uint32_t kThreadsEndMs = 20000;

std::u16string Text(const ZQEChar* s) { return s ? std::u16string(s) : std::u16string(); }

// The log line for an exception that reached the top of a host callback
// (e null for one that is not a std::exception). Writing it allocates and
// may throw in turn; nothing may cross into the host, so that is dropped.
void LogCallbackException(std::u16string_view where, const std::exception* e, bool fatal) noexcept {
  try {
    std::u16string line = std::u16string(where) + u" exception:";
    if (e) line += ExceptionMessage(*e);
    if (fatal)
      TZQTrace::Fatal(line, true);
    else
      TZQTrace::E(line, true);
  } catch (...) {
  }
}

// Registers an engine of a one-engine request for the time it runs.
class ActiveSlot {
 public:
  explicit ActiveSlot(TSEInstSlotPtr slot) : slot_(std::move(slot)) {
    std::lock_guard<std::mutex> lock(State().lock);
    State().active.push_back(slot_);
  }
  ~ActiveSlot() {
    std::lock_guard<std::mutex> lock(State().lock);
    auto& a = State().active;
    for (auto it = a.begin(); it != a.end(); ++it) {
      if (*it == slot_) {
        a.erase(it);
        break;
      }
    }
  }

 private:
  TSEInstSlotPtr slot_;
};

using TFindings = TSEFindings;

TFindings TakeFindings(const TSEInstanceBase& e) {
  return TFindings{e.Name(), e.ErrorCode(), e.CheckUrl(), e.CheckShortURL(), e.CheckRemark()};
}

void CopyNameAndCode(TZQECheckResult* r, const TFindings& f) {
  SetFieldText(r->SEName, f.Name);
  r->ErrorCode = static_cast<uint8_t>(f.ErrorCode & 0xFF);
}

void CopyFindings(TZQECheckResult* r, const TFindings& f, Clock::time_point since, TCheckClock clock) {
  r->CheckUrlLen = SetFieldText(r->CheckUrl, f.CheckUrl);
  r->CheckShortURLLen = SetFieldText(r->CheckShortURL, f.CheckShortURL);
  r->CheckRemarkLen = SetFieldText(r->CheckRemark, f.CheckRemark);
  r->MatchMSecs = MillisSince(since, clock);
}

std::u16string DictKey(const TZQSEDef& def) { return FieldText(def.Name) + UIntToU16(platform::CurrentThreadId()); }

// A selected record whose engine cannot be made is skipped with this line.
void LogNoEngine(const TZQSEDef& def) {
  TZQTrace::E(u"[ZQECheck] No SE instance for ID:%d, Name:%s, Skip!", {def.ID, FieldText(def.Name)}, true);
}

TSEInstancePtr MakeEngine(const TZQSEDef& def) {
  auto& s = State();
  return s.factory ? s.factory(def.ID, SEDefArr) : CreateSEInstance(def.ID, SEDefArr);
}

// The winner's delivery: copies the findings its Work took under the
// engine's lock, so a later check on the same engine cannot change them.
void SECheckOnCompete(TCompeteThread* Sender, void* lpContext);

bool OneEnginePath(const std::u16string& text, const std::u16string& filter, const TZQECheckParams* params,
                   TZQECheckResult* result, TCheckClock clock, Clock::time_point start,
                   const TCancelToken& token, uint32_t& refusal) {
  const TZQSEDef& def = params->SEDefs[0];
  TSEInstSlotPtr slot;
  {
    std::lock_guard<std::mutex> lock(State().lock);
    if (State().SEInstDict) {
      auto it = State().SEInstDict->find(DictKey(def));
      if (it != State().SEInstDict->end()) slot = it->second;
    }
  }
  if (!slot) {
    TSEInstancePtr inst = MakeEngine(def);
    if (!inst) {
      LogNoEngine(def);
      refusal = kErrorInvalidParameter;
      return false;
    }
    slot = std::make_shared<TSEInstSlot>(std::move(inst));
  }
  TFindings f;
  {
    ActiveSlot active(slot);
    std::lock_guard<platform::Mutex> lock(slot->Lock);
    slot->SEInst->Check(text, filter, params->StrictMatch != 0, token);
    f = TakeFindings(*slot->SEInst);
  }
  CopyNameAndCode(result, f);
  if (result->ErrorCode != 0) return false;
  CopyFindings(result, f, start, clock);
  return true;
}

// True when every handle is signalled within the time left of `budgetMs`,
// on real time: it bounds a real wait, whatever clock the checks follow;
// false at once when `requestDone` is signalled first: the request no
// longer waits, so the monitor has nobody to tell and need not keep a
// thread of the library alive to the end of the budget.
bool WaitAllWithin(const std::vector<std::shared_ptr<platform::Event>>& handles, platform::Event& requestDone,
                   uint32_t budgetMs) {
  const auto start = SteadyClockNow();
  for (const auto& h : handles) {
    const int64_t left = static_cast<int64_t>(budgetMs) - MillisSince(start, &SteadyClockNow);
    if (left < 0) return false;
    platform::Event* events[] = {h.get(), &requestDone};
    if (platform::WaitForAny(events, static_cast<uint32_t>(left)) != 0) return false;
  }
  return true;
}

bool SeveralEnginesPath(const std::u16string& text, const std::u16string& filter, const TZQECheckParams* params,
                        TZQECheckResult* result, TCheckClock clock, const TCancelToken& token,
                        uint32_t& refusal) {
  const int32_t n = params->SECount;
  const uint32_t budgetMs = State().checkBudgetMs.load();
  // Everything the threads touch after the request has returned is shared.
  auto group = std::make_shared<TCompeteGroup>();
  auto allOver = std::make_shared<platform::Event>(true, false);
  auto requestDone = std::make_shared<platform::Event>(true, false);
  struct DoneOnExit {
    platform::Event& e;
    ~DoneOnExit() { e.Set(); }
  } done{*requestDone};
  std::vector<std::unique_ptr<TSECheckThread>> threads;
  std::vector<std::shared_ptr<platform::Event>> handles;
  {
    std::lock_guard<std::mutex> lock(State().lock);
    // Looked at again under this hold: an UnInit may have come since the
    // request's first look.
    if (!State().SEInstDict) {
      TZQTrace::E(u"[ZQECheck] Engine not initialized, call InitZQE first!", true);
      refusal = kErrorNotReady;
      return false;
    }
    auto& dict = *State().SEInstDict;
    for (int32_t i = 0; i < n; ++i) {
      const TZQSEDef& def = params->SEDefs[i];
      const std::u16string key = DictKey(def);
      TSEInstSlotPtr slot;
      auto it = dict.find(key);
      if (it != dict.end()) {
        slot = it->second;
      } else {
        TSEInstancePtr inst = MakeEngine(def);
        if (!inst) {
          LogNoEngine(def);
          continue;
        }
        slot = std::make_shared<TSEInstSlot>(std::move(inst));
        dict.emplace(key, slot);
      }
      auto t = std::make_unique<TSECheckThread>(group, static_cast<int32_t>(budgetMs), text, filter,
                                                params->StrictMatch != 0, slot, token, clock);
      t->OnCompete = &SECheckOnCompete;
      t->PCompeteContext = result;
      handles.push_back(t->Handle());
      threads.push_back(std::move(t));
    }
  }
  if (threads.empty()) {
    refusal = kErrorInvalidParameter;
    return false;
  }

  TZQTrace::I(u"[ZQE.Check] start MonThread", false);
  platform::Thread monitor([handles, allOver, requestDone, budgetMs] {
    try {
      if (WaitAllWithin(handles, *requestDone, budgetMs)) allOver->Set();
    } catch (...) {
    }
  });
  monitor.Resume();

  TZQTrace::I(u"[ZQE.Check] start check threadarr >", false);
  for (auto& t : threads) TCompeteThread::Start(std::move(t));
  TZQTrace::I(u"[ZQE.Check] start check threadarr .", false);

  TZQTrace::I(u"[ZQE.Check] wait >", false);
  platform::Event* events[] = {&group->WinEvent(), allOver.get()};
  platform::WaitForAny(events, budgetMs);
  TZQTrace::I(u"[ZQE.Check] wait .", false);

  // From here on no thread may write the record. A thread that won between
  // the end of the wait and this point has completed its copy: the answer
  // follows the record, so the host never sees findings reported as a miss.
  group->Close();
  const bool won = platform::WaitForOne(group->WinEvent(), 0) == 0;
  if (!won) TZQTrace::I(text + u" Not copy", false);
  return won;
}

}  // namespace

// ---- compete thread of one engine ---------------------------------------

TSECheckThread::TSECheckThread(std::shared_ptr<TCompeteGroup> group, int32_t TimeOut, std::u16string Text,
                               std::u16string Fillter, bool StrictMatch, TSEInstSlotPtr SEInst,
                               TCancelToken Token, TCheckClock Now)
    : TCompeteThread(std::move(group), TimeOut, Now),
      FText(std::move(Text)),
      FFillter(std::move(Fillter)),
      FStrictMatch(StrictMatch),
      FSEInst(std::move(SEInst)),
      FToken(Token),
      FStartTimeStamp(CheckClock()()) {}

bool TSECheckThread::Work() {
  try {
    std::lock_guard<platform::Mutex> lock(FSEInst->Lock);
    TSEInstanceBase& e = *FSEInst->SEInst;
    TZQTrace::I(u"TSECheckThread.Work [%s] s:%s", {e.Name(), FText}, false);
    e.Check(FText, FFillter, FStrictMatch, FToken);
    const bool ok = e.ErrorCode() == 0;
    TZQTrace::I(u"TSECheckThread.Work [%s] s:%s errcode:%d", {e.Name(), FText, e.ErrorCode()}, false);
    if (ok) FFindings = TakeFindings(e);
    return ok;
  } catch (const std::exception& ex) {
    TZQTrace::E(u"TSECheckThread.Work", ex, true);
    return false;
  }
}

namespace {
void SECheckOnCompete(TCompeteThread* Sender, void* lpContext) {
  auto* thread = static_cast<TSECheckThread*>(Sender);
  auto* result = static_cast<TZQECheckResult*>(lpContext);
  CopyNameAndCode(result, thread->Findings());
  CopyFindings(result, thread->Findings(), thread->StartTimeStamp(), thread->CheckClock());
}
}  // namespace

// ---- helpers -------------------------------------------------------------


void ZQEImpInitialize() { State(); }

namespace {
// Collects every engine the state holds, under its lock, for a cancel to
// reach outside it (an abort waits for a running check).
std::vector<TSEInstancePtr> AllEngines(TEngineState& s) {
  std::lock_guard<std::mutex> lock(s.lock);
  std::vector<TSEInstancePtr> engines(s.registry.begin(), s.registry.end());
  engines.insert(engines.end(), s.retired.begin(), s.retired.end());
  if (s.SEInstDict)
    for (auto& [key, slot] : *s.SEInstDict) engines.push_back(slot->SEInst);
  for (auto& slot : s.active) engines.push_back(slot->SEInst);
  return engines;
}

void CancelEverything(TEngineState& s) {
  // First the generation, so that every check still queued behind an
  // engine's lock sees the cancel when it gets there.
  ++s.cancelGeneration;
  const std::vector<TSEInstancePtr> engines = AllEngines(s);
  for (auto& e : engines)
    if (e) e->RequestAbort();
  for (auto& e : engines)
    if (e) e->Abort();
}

// Drops the registry, the replaced engines and the dictionary; their
// engines are aborted first and destroyed once no thread holds them.
void ReleaseEngines(TEngineState& s) {
  TSEInstArr registry;
  std::vector<TSEInstancePtr> retired;
  std::unique_ptr<TSEInstDict> dict;
  {
    std::lock_guard<std::mutex> lock(s.lock);
    registry.swap(s.registry);
    retired.swap(s.retired);
    dict = std::move(s.SEInstDict);
  }
  FreeSEInstances(registry);
  for (auto& e : retired)
    if (e) e->Abort();
  if (dict)
    for (auto& [key, slot] : *dict) slot->SEInst->Abort();
}

bool WaitForLibraryThreads() {
  if (platform::WaitForThreads(kThreadsEndMs)) return true;
  TZQTrace::E(u"[ZQEUnInit] threads still running after " + UIntToU16(kThreadsEndMs) + u" ms: " +
                  UIntToU16(platform::RunningThreads()),
              true);
  return false;
}
}  // namespace

void ZQEImpFinalize(bool processExit) {
  if (!gState) return;
  // At process exit the system has already ended the other threads, some
  // maybe inside a lock: touch nothing.
  if (processExit) return;
  // A host that unloads without UnInit: end what runs, as UnInit would,
  // and wait until no thread of ours runs our code before it is unmapped.
  try {
    CancelEverything(*gState);
    ReleaseEngines(*gState);
  } catch (...) {
  }
  if (!WaitForLibraryThreads()) return;  // leave the state to the threads still in it
  delete gState;
  gState = nullptr;
}

void SetSEInstFactory(TSEInstFactory factory) { State().factory = std::move(factory); }

void SetCheckBudget(uint32_t Ms) { State().checkBudgetMs = Ms; }

void SetCheckClock(TCheckClock Now) { State().checkClock = Now ? Now : &SteadyClockNow; }

size_t SEInstDictCount() {
  std::lock_guard<std::mutex> lock(State().lock);
  return State().SEInstDict ? State().SEInstDict->size() : 0;
}

// ---- the host interface --------------------------------------------------

bool InitSEInstances() {
  {
    // Also after an UnInit, so that InitZQE works again.
    std::lock_guard<std::mutex> lock(State().lock);
    if (!State().SEInstDict) State().SEInstDict = std::make_unique<TSEInstDict>();
  }
  try {
    // Built aside and put in place under the lock, so that a concurrent
    // cancel sees either the old registry or the new one, never half of one.
    TSEInstArr built;
    LoadSEInstance(SEDefArr, built);
    {
      std::lock_guard<std::mutex> lock(State().lock);
      for (auto& e : State().registry)
        if (e) State().retired.push_back(std::move(e));
      State().registry = std::move(built);
    }
    const TSEInstArr& SEInstArr = State().registry;  // InitZQE and UnInit never overlap
    TZQTrace::I(u"[InitSEInstances] ok!", false);
    TZQTrace::I(u"SE def count:" + UIntToU16(SEDefArr.size()) + u",SE Instance count:" + UIntToU16(SEInstArr.size()),
                true);
    for (size_t i = 0; i < SEInstArr.size(); ++i)
      TZQTrace::I(u"SE.Inst[" + UIntToU16(i) + u"],Name:" + (SEInstArr[i] ? SEInstArr[i]->Name() : u""), false);
    if (SEDefArr.size() != SEInstArr.size()) return SEInstInited;
    for (size_t i = 0; i < SEInstArr.size(); ++i) {
      const std::u16string defName = FieldText(SEDefArr[i].Name);
      const std::u16string instName = SEInstArr[i] ? SEInstArr[i]->Name() : u"";
      if (!SameTextAscii(defName, instName)) {
        TZQTrace::E(u"Error!SE define[" + UIntToU16(i) + u"] name:" + defName + u" not match SE instance [" +
                        UIntToU16(i) + u"] name:" + instName,
                    true);
        return SEInstInited;
      }
    }
    SEInstInited = true;
  } catch (const std::exception& e) {
    TZQTrace::E(u"LoadSEInstance exception:" + ExceptionMessage(e), true);
  }
  return SEInstInited;
}

void ZQE_STDCALL ZQEGetSEDefArr(TZQSEDef** ppDefs, int32_t* pCount) {
  try {
    const auto count = static_cast<int32_t>(SEDefArr.size());
    if (!pCount) {
      platform::SetLastError(kErrorInvalidParameter);
      return;
    }
    if (!ppDefs) {
      *pCount = count;
      platform::SetLastError(0);
      return;
    }
    if (*pCount != count) {
      platform::SetLastError(kErrorBadLength);
      return;
    }
    if (count > 0) {
      if (!*ppDefs) {
        platform::SetLastError(kErrorInvalidParameter);
        return;
      }
      std::memcpy(*ppDefs, SEDefArr.data(), sizeof(TZQSEDef) * SEDefArr.size());
    }
    platform::SetLastError(0);
  } catch (...) {
    platform::SetLastError(kErrorInvalidParameter);
  }
}

void ZQE_STDCALL ZQECancelAll() {
  try {
    CancelEverything(State());
  } catch (const std::exception& e) {
    LogCallbackException(u"[ZQECancelAll]", &e, false);
  } catch (...) {
  }
  platform::SetLastError(0);
}

void ZQE_STDCALL ZQEUnInit() {
  try {
    CancelEverything(State());
    ReleaseEngines(State());
    // Returns once every thread the library started has left its code, so
    // that the host may unload it right away.
    WaitForLibraryThreads();
  } catch (const std::exception& e) {
    LogCallbackException(u"[ZQEUnInit]", &e, false);
  } catch (...) {
  }
  platform::SetLastError(0);
}

uint8_t ZQE_STDCALL ZQECheck(const ZQEChar* szText, const ZQEChar* szFillter, const TZQECheckParams* lpParams,
                             int32_t nUserData, TZQECheckResult* lpResult) {
  bool result = false;
  try {
    // Taken before anything else: a cancel that returns after this point
    // reaches this request, even while it is still queued.
    const TCancelToken token = CurrentToken();
    // Only invalid arguments set the last-error value; the system calls on
    // the way of a valid check must not leave theirs behind.
    const uint32_t callersLastError = platform::GetLastError();
    const std::u16string text = Text(szText);
    if (DbgParams.Debug[dbgCommon]) TZQTrace::I(u"[ZQECheck] > s:%s", {text}, false);
    const char16_t* invalid = nullptr;
    if (!szText)
      invalid = u"[ZQECheck] Invalid szText!";
    else if (text.empty())
      invalid = u"[ZQECheck] Empty szText!";
    else if (!lpParams)
      invalid = u"[ZQECheck] Invalid lpParams!";
    else if (lpParams->SECount == 0)
      invalid = u"[ZQECheck] Empty lpParams!";
    else if (!lpResult)
      invalid = u"[ZQECheck] Invalid lpResult!";
    else if (!lpParams->SEDefs)
      invalid = u"[ZQECheck] Invalid lpParams!";
    if (invalid) {
      TZQTrace::E(invalid, true);
      platform::SetLastError(kErrorInvalidParameter);
      return 0;
    }
    {
      std::lock_guard<std::mutex> lock(State().lock);
      if (!SEInstInited || !State().SEInstDict) invalid = u"[ZQECheck] Engine not initialized, call InitZQE first!";
    }
    if (invalid) {
      TZQTrace::E(invalid, true);
      platform::SetLastError(kErrorNotReady);
      return 0;
    }
    if (DbgParams.Debug[dbgCommon])
      TZQTrace::I(u"[ZQE.Check] > SE.count:" + IntToU16(lpParams->SECount) + u" str:" + text, false);

    const TCheckClock clock = State().checkClock.load();
    const auto start = clock();
    lpResult->UserData = nUserData;
    lpResult->ErrorCode = 255;
    lpResult->TotalMSecs = 0;
    const std::u16string filter = Text(szFillter);
    uint32_t refusal = 0;  // set when no selected engine could run
    if (lpParams->SECount <= 1)
      result = OneEnginePath(text, filter, lpParams, lpResult, clock, start, token, refusal);
    else
      result = SeveralEnginesPath(text, filter, lpParams, lpResult, clock, token, refusal);
    lpResult->TotalMSecs = MillisSince(start, clock);
    platform::SetLastError(refusal != 0 ? refusal : callersLastError);
  } catch (const std::exception& e) {
    LogCallbackException(u"[ZQECheck]", &e, true);
  } catch (...) {
    LogCallbackException(u"[ZQECheck]", nullptr, true);
  }
  return result ? 1 : 0;
}

int32_t InitZQEImpl(const ZQEChar* ConfigFile, TZQEInterface* Intf) {
  int32_t status = 0;
  try {
    TZQTrace::I(u"InitZQE", false);
    if (!Intf) {
      status = ZQE_ERROR_INVALID_PARAMETER;
    } else if (Intf->Magic != ZQE_INTERFACE_MAGIC) {
      status = ZQE_ERROR_INVALID_FUNCTION;
    } else if (Intf->Size != sizeof(TZQEInterface)) {
      status = ZQE_ERROR_BAD_LENGTH;
    } else {
      Intf->GetSEDefArr = &ZQEGetSEDefArr;
      Intf->UnInit = &ZQEUnInit;
      Intf->Check = &ZQECheck;
      Intf->CancelAll = &ZQECancelAll;
      if (!LoadSEDefArr(Text(ConfigFile))) return ZQE_ERROR_BAD_CONFIGURATION;  // the loader's last error stands
      if (!InitSEInstances()) {
        TZQTrace::E(u"InitSEInstances Failed!", true);
        status = ZQE_ERROR_INIT_INSTANCES;
      }
    }
  } catch (const std::exception& e) {
    LogCallbackException(u"[InitZQE]", &e, true);
    status = ZQE_ERROR_INIT_INSTANCES;
  } catch (...) {
    LogCallbackException(u"[InitZQE]", nullptr, true);
    status = ZQE_ERROR_INIT_INSTANCES;
  }
  platform::SetLastError(static_cast<uint32_t>(status));
  return status;
}

}  // namespace zqe
