// How each selected engine answered for a sentence, what the answers add
// up to, and how the report words them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zqe::cli {

// One engine's answer to one sentence. The names are part of the JSON
// report; keep them stable.
enum class Outcome {
  kHit,            // found on a result page
  kNoHit,          // looked, not found
  kBlocked,        // verification or block page instead of results
  kNotRecognised,  // a result page the engine's extractor does not know
  kFetchError,     // fetch failed, page unparseable, or the call refused
  kTimedOut,       // no answer within the sentence's budget
  kCancelled,      // Ctrl-C, or the engine reported the check aborted
};
inline constexpr size_t kOutcomeCount = 7;
const char* OutcomeName(Outcome o);     // "no hit", "not recognised", ...
const char* OutcomeJsonKey(Outcome o);  // "no_hit", "not_recognised", ...

struct EngineAnswer {
  Outcome outcome = Outcome::kCancelled;
  int errorCode = -1;      // the result record's ErrorCode byte, -1 when none
  uint32_t lastError = 0;  // for calls the engine refused
};

enum class Verdict {
  kCopied,      // an engine found the sentence
  kOriginal,    // at least one engine looked and none found it
  kNotChecked,  // no engine could say either way
};
const char* VerdictName(Verdict v);

// A hit from any engine makes the sentence copied; otherwise a single
// "no hit" makes it original. Blocked, unrecognised, failed, timed-out and
// cancelled answers say nothing about the web, so a sentence with only
// those is not checked and stays out of the originality figure.
Verdict VerdictOf(const std::vector<EngineAnswer>& answers);

// Engines that said "hit" or "no hit".
size_t AnsweredCount(const std::vector<EngineAnswer>& answers);

// One line per sentence, e.g. "no hit on 3 of 5 engines; bing blocked;
// google timed out". `engines` names the answers in the same order.
std::string CoverageLine(const std::vector<EngineAnswer>& answers, const std::vector<std::string>& engines);

// How often each outcome came from one engine over a set of sentences.
struct EngineTally {
  std::array<size_t, kOutcomeCount> counts{};
  size_t& operator[](Outcome o) { return counts[static_cast<size_t>(o)]; }
  size_t operator[](Outcome o) const { return counts[static_cast<size_t>(o)]; }
};

// Every outcome in the order the reports list them.
inline constexpr std::array<Outcome, kOutcomeCount> kAllOutcomes = {
    Outcome::kHit,        Outcome::kNoHit,    Outcome::kBlocked,   Outcome::kNotRecognised,
    Outcome::kFetchError, Outcome::kTimedOut, Outcome::kCancelled,
};

// The meaning of a result record's ErrorCode byte.
std::string DescribeErrorCode(int code);

}  // namespace zqe::cli
