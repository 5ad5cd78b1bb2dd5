#include "search/SERules.h"

#include "html/HtmlParser.h"
#include "log/zqTrace.h"
#include "platform/FieldText.h"
#include "platform/LazyGlobal.h"
#include "platform/Text.h"
#include "search/Mask.h"
#include "search/ZQSEInst.h"

namespace zqe {

TSERules ReadSERules(platform::IniReader& Ini, std::u16string_view Section) {
  auto read = [&](std::u16string_view key) { return Ini.ReadString(Section, key, u""); };
  TSERules rules;
  rules.EntrySelector = std::u16string(Trim(read(u"entry-selector")));
  rules.LinkSelector = std::u16string(Trim(read(u"link-selector")));
  rules.CiteSelector = std::u16string(Trim(read(u"cite-selector")));
  rules.SnippetSelector = std::u16string(Trim(read(u"snippet-selector")));
  rules.DateMask = std::u16string(Trim(read(u"date-mask")));
  rules.BlockTitles = SplitRuleList(read(u"block-title"));
  rules.BlockUrlParts = SplitRuleList(read(u"block-url"));
  rules.BlockTextParts = SplitRuleList(read(u"block-text"));
  rules.ResultTextParts = SplitRuleList(read(u"result-text"));
  rules.NoResultsTextParts = SplitRuleList(read(u"no-results-text"));
  rules.RemarkSnippet = SameTextAscii(Trim(read(u"result-remark")), u"snippet");
  return rules;
}

std::vector<std::u16string> SplitRuleList(std::u16string_view Value) {
  std::vector<std::u16string> items;
  while (true) {
    const size_t bar = Value.find(u'|');
    const std::u16string_view item = Trim(Value.substr(0, bar));
    if (!item.empty()) items.emplace_back(item);
    if (bar == std::u16string_view::npos) break;
    Value.remove_prefix(bar + 1);
  }
  return items;
}

bool CheckSERules(TSERules& Rules, std::u16string_view Engine, std::u16string* Error) {
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
  std::u16string value;
  std::u16string error;
  for (const auto& s : selectors) {
    if (s.Value->empty()) continue;
    try {
      html::ParseSelector(*s.Value);
    } catch (const html::EHtmlParserError& e) {
      key = std::u16string(s.Key);
      value = *s.Value;
      error = e.Message();
      break;
    }
  }
  if (key.empty() && !Rules.DateMask.empty()) {
    try {
      TMask mask(Rules.DateMask);
    } catch (const EMaskError& e) {
      key = u"date-mask";
      value = Rules.DateMask;
      error = e.Message();
    }
  }
  if (key.empty()) return true;
  const std::u16string line = u"SE define " + std::u16string(Engine) + u": bad " + key + u" \"" + value + u"\" (" +
                              error + u"), the engine keeps its built-in rules";
  TZQTrace::E(u"[LoadSEDefArr] " + line, true);
  if (Error) *Error = line;
  Rules.EntrySelector.clear();
  Rules.LinkSelector.clear();
  Rules.CiteSelector.clear();
  Rules.SnippetSelector.clear();
  Rules.DateMask.clear();
  return false;
}

std::u16string SnippetRemark(std::u16string_view Text) {
  std::u16string s = CollapseWhiteSpace(Text);
  if (!s.empty() && s.back() == u' ') s.pop_back();
  s.erase(SurrogateSafeCut(s, kRemarkUnits));
  return s;
}

namespace {
// Freed only by the library's unload, like the rest table: late threads
// may still make engines.
constinit LazyGlobal<TSEDefRulesTable> gDefRulesTable;
}  // namespace

TSEDefRulesTable& TSEDefRulesTable::Process() { return gDefRulesTable.Get(); }

void TSEDefRulesTable::ReleaseProcess() { gDefRulesTable.Release(); }

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
