// Shared steps of the result extractors; internal to src/search.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "html/HtmlParser.h"
#include "html/HtmlParserDef.h"
#include "search/ZQSEInst.h"

namespace zqe::se {

// A selector asked of every entry of a page, read once: parsed at its
// first use (a page without entries never parses it) and kept. The text
// must outlive it.
class TSelector {
 public:
  explicit TSelector(std::u16string_view Text) : FText(Text) {}
  std::u16string_view Text() const { return FText; }
  const html::TCSSSelectorItemGroup& Parsed() {
    if (!FParsed) FParsed = html::ParseSelector(FText);
    return *FParsed;
  }

 private:
  std::u16string_view FText;
  std::optional<html::TCSSSelectorItemGroup> FParsed;
};

// The first element the selector yields on El (El itself included), or none.
html::TRef<html::IHtmlElement> FirstMatch(const html::IHtmlElement& El, std::u16string_view Selector);
html::TRef<html::IHtmlElement> FirstMatch(const html::IHtmlElement& El, TSelector& Selector);

// The first element of Selector when it is an "a" element carrying href;
// none otherwise.
html::TRef<html::IHtmlElement> LinkElement(const html::IHtmlElement& Entry, std::u16string_view Selector);
html::TRef<html::IHtmlElement> LinkElement(const html::IHtmlElement& Entry, TSelector& Selector);
// The trimmed href of LinkElement; empty without one.
std::u16string EntryLink(const html::IHtmlElement& Entry, std::u16string_view Selector);

// The text an entry is tested on, written over Out (one buffer serves a
// whole page): that of the first element of Selector, empty when there is
// none, or the whole entry's when Selector is empty.
void EntrySnippet(const html::IHtmlElement& Entry, TSelector& Selector, std::u16string& Out);

// Override when set, Compiled otherwise.
inline std::u16string_view RuleOr(const std::u16string& Override, std::u16string_view Compiled) {
  return Override.empty() ? Compiled : std::u16string_view(Override);
}

// The members of a selector group, split at the commas outside quotes,
// brackets and parentheses, each trimmed.
std::vector<std::u16string_view> SplitSelectorGroup(std::u16string_view Group);

// A rule as the diagnostics name it: "li.b_algo (built-in)".
std::u16string RuleLabel(std::u16string_view Rule, bool Configured);

// The label of the first member of Group whose first match on Scope is
// Found; the whole group's when none is (a match reached only through a
// later member's earlier element). For the diagnostics only.
std::u16string FoundBy(const html::IHtmlElement& Scope, const html::IHtmlElement& Found,
                       std::u16string_view Group, bool Configured);

// Which member of the entry selector group found each entry of a page;
// built only while an engine reports entries: one query per member.
class TEntryRules {
 public:
  TEntryRules(const html::IHtmlElement& DOM, std::u16string_view Group, bool Configured);
  std::u16string Of(const html::IHtmlElement& Entry) const;

 private:
  std::vector<std::u16string> FLabels;
  std::unordered_map<const html::IHtmlElement*, size_t> FMember;
};

// Skip reason reported for an entry inside one examined before.
inline constexpr std::u16string_view kNestedEntry = u"inside an examined entry";

// Decides which result entries an extractor examines. An entry nested
// inside one examined before is left out: its text is part of the outer
// entry's text, so it cannot match where the outer one did not, and
// examining every level of a deeply nested page would cost the page's size
// once per level. With that rule the examined entries are disjoint
// subtrees, so their selector queries and inner texts add up to one pass
// over the page. The price: an inner entry is also left out when the outer
// one matched but was filtered, or was skipped by Baidu's related-searches
// or knowledge-answer rule; engines do not nest their result entries, so
// only broken or hostile pages pay it.
class TExaminedEntries {
 public:
  // True when Entry is to be examined (and is then counted as examined);
  // false when it lies inside an entry examined earlier. Entries must come
  // in document order, as selector results do.
  bool Take(const html::IHtmlElement& Entry);

 private:
  // For every element seen on a walk up from an entry: whether it is, or
  // lies inside, an examined entry. A "no" stays right for the rest of the
  // extraction: an element recorded as "no" precedes the entry it was
  // reached from in document order, so no later entry is its ancestor.
  // Each element is recorded once and a walk stops at the first recorded
  // one, so all walks together stay linear however deep the page nests.
  std::unordered_map<const html::IHtmlElement*, bool> FInside;
};

// The last step for an entry with a link: reports it as "no match",
// "filtered" or the hit, and on a hit fills the results. True on a hit.
bool FinishEntry(TSEInstanceBase& Self, TSEEntryReport& Report, bool Matched, std::u16string_view Link,
                 std::u16string_view ShortUrlFound, std::u16string_view Snippet, std::u16string_view urlfillter,
                 std::u16string& Url, std::u16string& ShortUrl, std::u16string& Remark, std::u16string& LinkDate);

// Layout of the engines that share one extractor form (all but Baidu).
struct TCitationLayout {
  std::u16string_view EntrySelector;
  std::u16string_view LinkSelector;
  std::u16string_view CitationSelector;  // empty: no citation step
  std::u16string_view DateMask;
  bool SogouDateSplit;  // false: 360 Search / Bing split
};

bool MatchCitationLayout(TSEInstanceBase& Self, const TCitationLayout& Layout,
                         std::u16string_view AStr, std::u16string_view urlfillter,
                         bool StrictMatch, const html::IHtmlElement& DOM, std::u16string& Url,
                         std::u16string& ShortUrl, std::u16string& Remark,
                         std::u16string& LinkDate);

// Splits a date off the end of a trimmed citation that matched its mask.
void SplitCitationDate(std::u16string& ShortUrl, std::u16string& LinkDate, bool Sogou);

// Rewrites a Baidu abstract date such as 2019年5月13日 to 2019-5-13;
// anything without all of 年, 月 and 日 stays as written.
std::u16string BaiduDate(std::u16string_view Text);

}  // namespace zqe::se
