// Checks the sentences of a set of documents through an EngineHost: host
// threads in parallel, progress on standard error, Ctrl-C honoured.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "host/EngineHost.h"
#include "host/Report.h"

namespace zqe::cli {

struct RunSettings {
  std::vector<size_t> engines;  // indexes into EngineHost::Definitions()
  bool strict = false;
  std::u16string filter;
  int threads = 1;
  bool progress = true;  // on standard error
};

// The sentences to check in `report.documents` are in place with verdict
// kUnchecked; Run fills in what the engine says.
class CheckRun {
 public:
  CheckRun(const EngineHost& host, RunSettings settings);

  // Blocks until every sentence is checked or Cancel was called and the
  // running checks have returned. Sets report.interrupted, elapsedMs and
  // libraryMs.
  void Run(Report& report);

  // From any thread (the Ctrl-C handler): no new sentence starts, and the
  // engines are told to abort.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }

 private:
  const EngineHost& host_;
  RunSettings settings_;
  std::vector<TZQSEDef> selected_;
  std::atomic<bool> cancelled_{false};
};

// Fills one sentence's result from a finished Check call.
void ApplyCheckResult(bool found, const TZQECheckResult& result, uint32_t lastError, bool cancelled,
                      SentenceResult& out);

}  // namespace zqe::cli
