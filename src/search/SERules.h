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

  bool operator==(const TSERules&) const = default;
};

// Checks every override of Rules: selector syntax and date mask. On the
// first bad one, writes an error line naming the key, the engine and the
// parser's position, and drops every override, so that the engine works
// with its compiled-in rules as a whole rather than with a mix nobody
// wrote. RemarkSnippet is kept. Returns false when it dropped them.
bool CheckSERules(TSERules& Rules, std::u16string_view Engine);

// The snippet as a remark: white space collapsed and trimmed, cut at
// kRemarkUnits without splitting a surrogate pair.
std::u16string SnippetRemark(std::u16string_view Text);

class TSEDefRulesTable {
 public:
  TSEDefRulesTable() = default;
  TSEDefRulesTable(const TSEDefRulesTable&) = delete;
  TSEDefRulesTable& operator=(const TSEDefRulesTable&) = delete;

  static TSEDefRulesTable& Process();

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
