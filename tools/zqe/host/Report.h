// What a check found, and its three renderings: plain text, JSON and a
// self-contained HTML page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Coverage.h"
#include "host/SentenceSplit.h"
#include "match/SentenceAlign.h"

namespace zqe::cli {

struct SentenceResult {
  Sentence sentence;
  // One answer per selected engine, in Report::engines order; VerdictOf
  // them.
  std::vector<EngineAnswer> answers;
  Verdict verdict = Verdict::kNotChecked;
  // The findings of the first engine (in Report::engines order) that hit.
  std::string engine;
  std::u16string url, displayUrl, snippet;
  int64_t matchMs = 0;
  int64_t totalMs = 0;  // from the first engine asked to the last answer
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
  int64_t budgetMs = 0;  // per sentence, for all its engines together
  bool interrupted = false;
  int64_t elapsedMs = 0;
  int64_t libraryMs = 0;  // summed over host threads: time inside Check
  std::vector<DocumentReport> documents;
};

// The figures every rendering shows; characters count UTF-16 units.
struct Totals {
  size_t sentences = 0, copied = 0, original = 0, notChecked = 0, skipped = 0;
  size_t copiedChars = 0, originalChars = 0;
  // Share of checked characters not found, in percent; negative when
  // nothing was checked.
  double Originality() const;
  // More than half of the sentences are not checked: the figure rests on
  // too little to go by.
  bool MostlyUnchecked() const { return notChecked * 2 > sentences; }
};
Totals Summarise(const DocumentReport& doc);
Totals Summarise(const Report& report);

// "3 of 5 sentences not checked: ...", for reports and standard error.
std::string UncheckedWarning(const Totals& t);

// Answers per engine, one tally per name in Report::engines.
std::vector<EngineTally> TallyEngines(const DocumentReport& doc, size_t engineCount);
std::vector<EngineTally> TallyEngines(const Report& report);

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

// The display URL as a reader wants it: result pages follow it with a
// separator (" -", " ›", " ·") and blanks, which are not part of it.
std::u16string TidyDisplayUrl(std::u16string_view shown);

// A copied sentence beside its source's snippet: where the sentence stands
// in it and how it differs, compared the way the library decided the hit
// (on normalised forms unless strict).
struct SnippetMatch {
  enum class Kind { kNoSnippet, kNotAligned, kAligned };
  Kind kind = Kind::kNoSnippet;
  bool verbatim = false;
  int edits = 0;
  // Into the snippet, UTF-16 units: the best-matching span, and each edit
  // (TAlignEdit positions).
  int32_t start = 0, end = 0;
  std::vector<TAlignEdit> editList;
};
SnippetMatch MatchSnippet(const SentenceResult& s, bool strict);

// "copied verbatim", "copied, 1 edit", "copied, 3 edits", or why the
// snippet cannot show the match.
std::string MatchPhrase(const SnippetMatch& m);

// The span and its edits as pieces to render: text the two share, text
// only the snippet has, text only the sentence has. Adjacent edits form
// one deletion followed by one insertion; the halves of a surrogate pair
// are never split across pieces.
struct SnippetPiece {
  enum class Kind { kSame, kDeleted, kInserted };
  Kind kind;
  std::u16string text;
};
struct SnippetWindow {
  std::u16string before, after;  // context around the span, cut to the window
  bool cutBefore = false, cutAfter = false;
  std::vector<SnippetPiece> span;
};
// `context`: at most this many units of the snippet on each side.
SnippetWindow WindowOf(const SentenceResult& s, const SnippetMatch& m, size_t context);

std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);
std::string RenderHtml(const Report& report);

}  // namespace zqe::cli
