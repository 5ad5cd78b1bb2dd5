#include "search/SERules.h"

#include "html/HtmlParser.h"
#include "log/zqTrace.h"
#include "platform/FieldText.h"
#include "platform/Text.h"
#include "search/Mask.h"
#include "search/ZQSEInst.h"

namespace zqe {

bool CheckSERules(TSERules& Rules, std::u16string_view Engine) {
  const struct {
    std::u16string_view Key;
    const std::u16string* Value;
  } selectors[] = {
      {u"entry-selector", &Rules.EntrySelector},
      {u"link-selector", &Rules.LinkSelector},
      {u"cite-selector", &Rules.CiteSelector},
      {u"snippet-selector", &Rules.SnippetSelector},
  };
  std::u16string key;
  std::u16string error;
  for (const auto& s : selectors) {
    if (s.Value->empty()) continue;
    try {
      html::ParseSelector(*s.Value);
    } catch (const html::EHtmlParserError& e) {
      key = std::u16string(s.Key);
      error = e.Message();
      break;
    }
  }
  if (key.empty() && !Rules.DateMask.empty()) {
    try {
      TMask mask(Rules.DateMask);
    } catch (const EMaskError& e) {
      key = u"date-mask";
      error = e.Message();
    }
  }
  if (key.empty()) return true;
  TZQTrace::E(u"[LoadSEDefArr] SE define " + std::u16string(Engine) + u": bad " + key + u" (" + error +
                  u"), the engine keeps its built-in rules",
              true);
  const bool remark = Rules.RemarkSnippet;
  Rules = TSERules{};
  Rules.RemarkSnippet = remark;
  return false;
}

std::u16string SnippetRemark(std::u16string_view Text) {
  std::u16string s = CollapseWhiteSpace(Text);
  if (!s.empty() && s.back() == u' ') s.pop_back();
  s.erase(SurrogateSafeCut(s, kRemarkUnits));
  return s;
}

TSEDefRulesTable& TSEDefRulesTable::Process() {
  // Never destroyed, like the rest table: late threads may still make engines.
  static TSEDefRulesTable* const table = new TSEDefRulesTable;
  return *table;
}

void TSEDefRulesTable::Set(std::u16string_view Definition, const TSERules& Rules) {
  std::lock_guard<std::mutex> lock(FLock);
  for (TEntry& e : FEntries) {
    if (e.Definition == Definition) {
      e.Rules = Rules;
      return;
    }
  }
  FEntries.push_back(TEntry{std::u16string(Definition), Rules});
}

TSERules TSEDefRulesTable::Get(std::u16string_view Definition) {
  std::lock_guard<std::mutex> lock(FLock);
  for (const TEntry& e : FEntries)
    if (e.Definition == Definition) return e.Rules;
  return {};
}

void TSEDefRulesTable::Reset() {
  std::lock_guard<std::mutex> lock(FLock);
  FEntries.clear();
}

}  // namespace zqe
