// What a check found, and its three renderings: plain text, JSON and a
// self-contained HTML page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/SentenceSplit.h"

namespace zqe::cli {

enum class Verdict {
  kCopied,     // an engine found the sentence on a page
  kOriginal,   // checked, not found
  kError,      // the engine could not answer (fetch failure, refused call)
  kUnchecked,  // cancelled before or while it ran
};
const char* VerdictName(Verdict v);

struct SentenceResult {
  Sentence sentence;
  Verdict verdict = Verdict::kUnchecked;
  std::string engine;
  std::u16string url, displayUrl, snippet;
  int errorCode = -1;      // the result record's ErrorCode byte, -1 when none
  uint32_t lastError = 0;  // for calls the engine refused
  int64_t matchMs = 0, totalMs = 0;
  // Whether the snippet holds the sentence as it is, or only within a few
  // edits; unknown when the engine gave no snippet (the built-in
  // extractors never do).
  std::optional<bool> exact;
};

struct DocumentReport {
  std::string path;  // "-" for standard input
  std::string encoding;
  std::u16string text;
  size_t skipped = 0;  // sentences under the minimum length
  std::vector<SentenceResult> sentences;
};

struct Report {
  std::string title = "ZQE originality report";
  std::vector<std::string> engines;
  bool strict = false;
  std::string filter;
  size_t minLength = 10;
  int threads = 1;
  bool interrupted = false;
  int64_t elapsedMs = 0;
  int64_t libraryMs = 0;  // summed over host threads: time inside Check
  std::vector<DocumentReport> documents;
};

// The figures every rendering shows; characters count UTF-16 units.
struct Totals {
  size_t sentences = 0, copied = 0, original = 0, errors = 0, unchecked = 0, skipped = 0;
  size_t copiedChars = 0, originalChars = 0;
  // Share of checked characters not found, in percent; negative when
  // nothing was checked.
  double Originality() const;
};
Totals Summarise(const DocumentReport& doc);
Totals Summarise(const Report& report);

struct SourceRef {
  size_t document = 0, sentence = 0;
};
struct Source {
  std::u16string url, displayUrl;
  std::vector<std::string> engines;
  std::vector<SourceRef> refs;
  size_t characters = 0;
};
// Copied sentences grouped by link, most sentences first (ties: first seen).
std::vector<Source> GroupSources(const Report& report);

// The meaning of a result record's ErrorCode byte.
std::string DescribeErrorCode(int code);

std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);
std::string RenderHtml(const Report& report);

}  // namespace zqe::cli
