#include "host/Coverage.h"

namespace zqe::cli {

const char* OutcomeName(Outcome o) {
  switch (o) {
    case Outcome::kHit: return "hit";
    case Outcome::kNoHit: return "no hit";
    case Outcome::kBlocked: return "blocked";
    case Outcome::kNotRecognised: return "not recognised";
    case Outcome::kFetchError: return "fetch error";
    case Outcome::kTimedOut: return "timed out";
    case Outcome::kCancelled: return "cancelled";
  }
  return "?";
}

const char* OutcomeJsonKey(Outcome o) {
  switch (o) {
    case Outcome::kHit: return "hit";
    case Outcome::kNoHit: return "no_hit";
    case Outcome::kBlocked: return "blocked";
    case Outcome::kNotRecognised: return "not_recognised";
    case Outcome::kFetchError: return "fetch_error";
    case Outcome::kTimedOut: return "timed_out";
    case Outcome::kCancelled: return "cancelled";
  }
  return "?";
}

const char* VerdictName(Verdict v) {
  switch (v) {
    case Verdict::kCopied: return "copied";
    case Verdict::kOriginal: return "original";
    case Verdict::kNotChecked: return "not checked";
  }
  return "?";
}

Verdict VerdictOf(const std::vector<EngineAnswer>& answers) {
  bool looked = false;
  for (const auto& a : answers) {
    if (a.outcome == Outcome::kHit) return Verdict::kCopied;
    if (a.outcome == Outcome::kNoHit) looked = true;
  }
  return looked ? Verdict::kOriginal : Verdict::kNotChecked;
}

size_t AnsweredCount(const std::vector<EngineAnswer>& answers) {
  size_t n = 0;
  for (const auto& a : answers) n += a.outcome == Outcome::kHit || a.outcome == Outcome::kNoHit;
  return n;
}

std::string DescribeErrorCode(int code) {
  switch (code) {
    case 0: return "found";
    case 1: return "not found";
    case 255: return "no engine answered";
    case 254: return "aborted";
    case 253: return "the result page could not be fetched or had no body";
    case 252: return "the result page could not be parsed";
    case 251: return "the engine answered with a verification or block page";
    case 250: return "the result page was not recognised";
    case -1: return "not checked";
    default: return "engine code " + std::to_string(code);
  }
}

std::string CoverageLine(const std::vector<EngineAnswer>& answers, const std::vector<std::string>& engines) {
  if (answers.empty()) return "no engine asked";
  auto name = [&](size_t i) { return i < engines.size() ? engines[i] : "engine " + std::to_string(i + 1); };
  std::string hits, line;
  size_t noHits = 0;
  for (size_t i = 0; i < answers.size(); ++i) {
    if (answers[i].outcome == Outcome::kHit) hits += (hits.empty() ? "" : ", ") + name(i);
    if (answers[i].outcome == Outcome::kNoHit) ++noHits;
  }
  auto add = [&line](const std::string& part) { line += (line.empty() ? "" : "; ") + part; };
  if (!hits.empty()) add("hit on " + hits);
  if (noHits > 0 || hits.empty()) {
    if (noHits == 0) add("no engine answered");
    else add("no hit on " + std::to_string(noHits) + " of " + std::to_string(answers.size()) + " engine" +
             (answers.size() == 1 ? "" : "s"));
  }
  for (size_t i = 0; i < answers.size(); ++i) {
    const EngineAnswer& a = answers[i];
    if (a.outcome == Outcome::kHit || a.outcome == Outcome::kNoHit) continue;
    std::string part = name(i) + " " + OutcomeName(a.outcome);
    // A fetch error has several causes; the others say all in their name.
    if (a.outcome == Outcome::kFetchError) {
      if (a.errorCode >= 0) part += " (" + DescribeErrorCode(a.errorCode) + ")";
      else part += " (refused by the engine" +
                   (a.lastError ? ", last-error value " + std::to_string(a.lastError) : std::string()) + ")";
    }
    add(part);
  }
  return line;
}

}  // namespace zqe::cli
