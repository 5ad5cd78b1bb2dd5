// Per-engine result rules that the definition file may set beside the
// fixed records: selectors and a date mask that replace an extractor's
// compiled-in ones when an engine changes its result layout, and whether a
// hit returns the entry's snippet as its remark.
//
// Threads: the table is filled while the definition file is read and read
// when engine objects are made; its lock is held only for a lookup or an
// update. A TSERules value is immutable once an engine holds it.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace zqe {

// The host record's remark holds 4098 units with its terminator.
inline constexpr size_t kRemarkUnits = 4097;

struct TSERules {
  // Empty: the extractor's compiled-in rule.
  std::u16string EntrySelector;
  std::u16string LinkSelector;
  std::u16string CiteSelector;
  std::u16string DateMask;
  // The element whose text is tested and, with RemarkSnippet, returned;
  // empty: the whole entry's text.
  std::u16string SnippetSelector;
  bool RemarkSnippet = false;
  // Lists that replace the compiled-in markers of the block-page and
  // "no results" tests, each as a whole; empty: the compiled-in list.
  std::vector<std::u16string> BlockTitles;
  std::vector<std::u16string> BlockUrlParts;
  std::vector<std::u16string> BlockTextParts;
  std::vector<std::u16string> ResultTextParts;
  std::vector<std::u16string> NoResultsTextParts;

  bool HasMarkers() const {
    return !BlockTitles.empty() || !BlockUrlParts.empty() || !BlockTextParts.empty() ||
           !ResultTextParts.empty() || !NoResultsTextParts.empty();
  }

  bool operator==(const TSERules&) const = default;
};

// The definition-file keys of TSERules, in the order they are checked.
inline constexpr std::u16string_view kRuleKeys[] = {
    u"entry-selector", u"link-selector", u"cite-selector", u"snippet-selector", u"date-mask",
    u"block-title", u"block-url", u"block-text", u"result-text", u"no-results-text", u"result-remark"};

// Reads the rule keys of one section; nothing is checked yet. Marker lists
// are "|"-separated, each item trimmed, empty items dropped.
TSERules ReadSERules(platform::IniReader& Ini, std::u16string_view Section);

// Checks every override of Rules: selector syntax and date mask. On the
// first bad one, writes an error line naming the key, the engine and the
// parser's position (also into *Error when given), and drops every
// selector and mask override, so that the engine works with its
// compiled-in extraction rules as a whole rather than with a mix nobody
// wrote. Markers and RemarkSnippet are kept: they cannot be malformed.
// Returns false when it dropped them.
bool CheckSERules(TSERules& Rules, std::u16string_view Engine, std::u16string* Error = nullptr);

// "|"-separated items, trimmed, empty ones dropped.
std::vector<std::u16string> SplitRuleList(std::u16string_view Value);

// The snippet as a remark: white space collapsed and trimmed, cut at
// kRemarkUnits without splitting a surrogate pair.
std::u16string SnippetRemark(std::u16string_view Text);

class TSEDefRulesTable {
 public:
  TSEDefRulesTable() = default;
  TSEDefRulesTable(const TSEDefRulesTable&) = delete;
  TSEDefRulesTable& operator=(const TSEDefRulesTable&) = delete;

  static TSEDefRulesTable& Process();
  static void ReleaseProcess();  // as TSERestState::ReleaseProcess

  void Set(std::u16string_view Definition, const TSERules& Rules);
  // No overrides for a name never set.
  TSERules Get(std::u16string_view Definition);
  void Reset();

 private:
  struct TEntry {
    std::u16string Definition;
    TSERules Rules;
  };
  std::mutex FLock;
  std::vector<TEntry> FEntries;  // guarded by FLock; one per definition, a handful
};

}  // namespace zqe
