// Checks the sentences of a set of documents through an EngineHost: host
// threads in parallel, every selected engine asked on its own within one
// budget per sentence, progress on standard error, Ctrl-C honoured.
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
  // Per sentence, for all its engines together; the library's own budget
  // when it asks several engines at once.
  int budgetMs = 3000;
};

// The sentences to check are in place in `report.documents`; Run fills in
// every engine's answer, the verdict and the first hit's findings.
//
// Each host thread asks the selected engines one after another, in the
// selected order, through one calling thread of its own: the library
// serialises its fetches process-wide, so engines asked at once would only
// queue for the network, and which one gets through within the budget
// would be a race. An engine still running when the budget runs out has
// timed out, and so have those not asked yet; the host thread waits for
// the late call to return before it goes on, so no more than one call per
// host thread is ever in flight and the next sentence's budget is not
// spent waiting for the last one's fetch.
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

// One engine's answer, from a finished one-engine Check call. `cancelled`:
// the host cancelled meanwhile, so "no hit" may only mean "stopped
// looking".
EngineAnswer ReadAnswer(bool found, const TZQECheckResult& result, uint32_t lastError, bool cancelled);

// Copies a hit's findings into the sentence.
void TakeFindings(const TZQECheckResult& result, SentenceResult& out);

}  // namespace zqe::cli
