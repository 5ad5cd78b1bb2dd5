#include "search/SEExtract.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "match/SentenceMatch.h"
#include "platform/Text.h"
#include "search/Mask.h"

namespace zqe::se {

html::TRef<html::IHtmlElement> FirstMatch(const html::IHtmlElement& El, TSelector& Selector) {
  return html::FirstCSSMatch(El, Selector.Parsed());
}

html::TRef<html::IHtmlElement> FirstMatch(const html::IHtmlElement& El, std::u16string_view Selector) {
  TSelector selector(Selector);
  return FirstMatch(El, selector);
}

html::TRef<html::IHtmlElement> LinkElement(const html::IHtmlElement& Entry, TSelector& Selector) {
  html::TRef<html::IHtmlElement> a = FirstMatch(Entry, Selector);
  if (!a || !SameTextAscii(a->GetTagName(), u"a") || !a->HasAttribute(u"href")) return nullptr;
  return a;
}

html::TRef<html::IHtmlElement> LinkElement(const html::IHtmlElement& Entry, std::u16string_view Selector) {
  TSelector selector(Selector);
  return LinkElement(Entry, selector);
}

std::u16string EntryLink(const html::IHtmlElement& Entry, std::u16string_view Selector) {
  const html::TRef<html::IHtmlElement> a = LinkElement(Entry, Selector);
  return a ? std::u16string(Trim(a->GetAttributes(u"href"))) : std::u16string();
}

std::vector<std::u16string_view> SplitSelectorGroup(std::u16string_view Group) {
  std::vector<std::u16string_view> members;
  char16_t quote = 0;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i <= Group.size(); ++i) {
    const char16_t c = i < Group.size() ? Group[i] : u',';
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'[' || c == u'(') {
      ++depth;
    } else if ((c == u']' || c == u')') && depth > 0) {
      --depth;
    } else if (c == u',' && (depth == 0 || i == Group.size())) {
      const std::u16string_view m = Trim(Group.substr(start, i - start));
      if (!m.empty()) members.push_back(m);
      start = i + 1;
    }
  }
  return members;
}

std::u16string RuleLabel(std::u16string_view Rule, bool Configured) {
  return std::u16string(Rule) + (Configured ? u" (definition)" : u" (built-in)");
}

std::u16string FoundBy(const html::IHtmlElement& Scope, const html::IHtmlElement& Found,
                       std::u16string_view Group, bool Configured) {
  for (const std::u16string_view member : SplitSelectorGroup(Group)) {
    const html::TRef<html::IHtmlElement> e = FirstMatch(Scope, member);
    if (e.get() == &Found) return RuleLabel(member, Configured);
  }
  return RuleLabel(Group, Configured);
}

TEntryRules::TEntryRules(const html::IHtmlElement& DOM, std::u16string_view Group, bool Configured) {
  for (const std::u16string_view member : SplitSelectorGroup(Group)) {
    FLabels.push_back(RuleLabel(member, Configured));
    const html::TRef<html::IHtmlElementList> list = DOM.SimpleCSSSelector(member);
    if (!list) continue;
    for (int32_t i = 0; i < list->GetCount(); ++i) {
      if (const html::TRef<html::IHtmlElement> e = list->GetItems(i)) FMember.emplace(e.get(), FLabels.size() - 1);
    }
  }
}

std::u16string TEntryRules::Of(const html::IHtmlElement& Entry) const {
  const auto it = FMember.find(&Entry);
  return it == FMember.end() ? std::u16string() : FLabels[it->second];
}

void EntrySnippet(const html::IHtmlElement& Entry, TSelector& Selector, std::u16string& Out) {
  if (Selector.Text().empty()) {
    html::InnerTextInto(Entry, Out);
    return;
  }
  if (const html::TRef<html::IHtmlElement> e = FirstMatch(Entry, Selector)) html::InnerTextInto(*e, Out);
  else Out.clear();
}

bool TExaminedEntries::Take(const html::IHtmlElement& Entry) {
  if (const auto it = FInside.find(&Entry); it != FInside.end() && it->second) return false;
  std::vector<const html::IHtmlElement*> path;
  bool inside = false;
  for (html::TRef<html::IHtmlElement> e = Entry.GetOwner(); e; e = e->GetOwner()) {
    if (const auto it = FInside.find(e.get()); it != FInside.end()) {
      inside = it->second;
      break;
    }
    path.push_back(e.get());
  }
  for (const html::IHtmlElement* e : path) FInside.emplace(e, inside);
  FInside[&Entry] = true;
  return !inside;
}

void SplitCitationDate(std::u16string& ShortUrl, std::u16string& LinkDate, bool Sogou) {
  const size_t L = ShortUrl.size();
  if (L <= 10) return;
  if (!Sogou) {
    // The ten units in front of the last one.
    LinkDate = ShortUrl.substr(L - 11, 10);
    ShortUrl.erase(L - 11, 10);
  } else {
    const std::u16string_view piece = std::u16string_view(ShortUrl).substr(L - 11);
    size_t d = 0;
    while (d < piece.size() && !(piece[d] >= u'0' && piece[d] <= u'9')) ++d;
    LinkDate = std::u16string(piece.substr(d));
    // The cut also takes the unit in front of the date; a date that starts
    // the citation has none, and the cut stops at the citation's start.
    ShortUrl.erase(L - std::min(L, LinkDate.size() + 1));
  }
  ShortUrl = std::u16string(Trim(ShortUrl));
}

std::u16string BaiduDate(std::u16string_view Text) {
  std::u16string s(Text);
  const size_t day = s.find(u'日');
  if (s.find(u'年') == std::u16string::npos || s.find(u'月') == std::u16string::npos ||
      day == std::u16string::npos) {
    return s;
  }
  s.erase(day + 1);
  if (const size_t y = s.find(u'年'); y != std::u16string::npos) s[y] = u'-';
  if (const size_t m = s.find(u'月'); m != std::u16string::npos) s[m] = u'-';
  if (const size_t d = s.find(u'日'); d != std::u16string::npos) s.erase(d, 1);
  return s;
}

bool FinishEntry(TSEInstanceBase& Self, TSEEntryReport& Report, bool Matched, std::u16string_view Link,
                 std::u16string_view ShortUrlFound, std::u16string_view Snippet, std::u16string_view urlfillter,
                 std::u16string& Url, std::u16string& ShortUrl, std::u16string& Remark, std::u16string& LinkDate) {
  // Most entries do not match, and a host's check keeps no reports: their
  // copies would be made only to be thrown away.
  const bool keep = Self.KeepsEntryReports();
  if (keep) {
    Report.Link = Link;
    Report.ShortUrl = ShortUrlFound;
    Report.Date = LinkDate;
  }
  if (!Matched) {
    LinkDate.clear();
    if (keep) Report.SkipReason = u"no match";
    Self.ReportEntry(std::move(Report));
    return false;
  }
  if (TSEInstanceBase::IsUrlFiltered(Link, ShortUrlFound, urlfillter)) {
    if (keep) Report.SkipReason = u"filtered";
    Self.ReportEntry(std::move(Report));
    return false;
  }
  Url = std::u16string(Trim(Link));
  ShortUrl = std::u16string(Trim(ShortUrlFound));
  Remark = Self.Rules().RemarkSnippet ? SnippetRemark(Snippet) : std::u16string();
  if (keep) {
    Report.Link = Url;
    Report.ShortUrl = ShortUrl;
  }
  Report.Matched = true;
  Self.ReportEntry(std::move(Report));
  return true;
}

bool MatchCitationLayout(TSEInstanceBase& Self, const TCitationLayout& Layout,
                         std::u16string_view AStr, std::u16string_view urlfillter,
                         bool StrictMatch, const html::IHtmlElement& DOM, std::u16string& Url,
                         std::u16string& ShortUrl, std::u16string& Remark,
                         std::u16string& LinkDate) {
  if (Trim(AStr).empty()) return false;
  const TSERules& rules = Self.Rules();
  const std::u16string_view entrySelector = RuleOr(rules.EntrySelector, Layout.EntrySelector);
  const std::u16string_view linkSelector = RuleOr(rules.LinkSelector, Layout.LinkSelector);
  const std::u16string_view citeSelector = RuleOr(rules.CiteSelector, Layout.CitationSelector);
  const std::u16string_view dateMask = RuleOr(rules.DateMask, Layout.DateMask);
  // A configured selector names the citation element itself, whatever its
  // tag; the compiled-in ones guard against look-alikes with the tag.
  const bool anyCiteTag = !rules.CiteSelector.empty();
  const html::TRef<html::IHtmlElementList> entries = DOM.SimpleCSSSelector(entrySelector);
  if (!entries) return false;
  const bool reporting = Self.Reporting();
  std::unique_ptr<TEntryRules> entryRules;
  if (reporting) entryRules = std::make_unique<TEntryRules>(DOM, entrySelector, !rules.EntrySelector.empty());
  const int32_t count = entries->GetCount();
  TExaminedEntries examined;
  std::u16string snippet;
  TSentenceMatcher matcher(AStr, StrictMatch);
  TSelector linkRule(linkSelector), citeRule(citeSelector), snippetRule(rules.SnippetSelector);
  for (int32_t i = 0; i < count; ++i) {
    // A cancel ends a long page here; the caller reports the abort.
    if (Self.Aborted()) return false;
    const html::TRef<html::IHtmlElement> entry = entries->GetItems(i);
    if (!entry) continue;
    LinkDate.clear();
    Remark.clear();
    TSEEntryReport report;
    if (reporting) report.EntryRule = entryRules->Of(*entry);
    if (!examined.Take(*entry)) {
      report.SkipReason = kNestedEntry;
      Self.ReportEntry(std::move(report));
      continue;
    }
    const html::TRef<html::IHtmlElement> a = LinkElement(*entry, linkRule);
    const std::u16string link = a ? std::u16string(Trim(a->GetAttributes(u"href"))) : std::u16string();
    if (link.empty()) {
      report.SkipReason = u"no link";
      Self.ReportEntry(std::move(report));
      continue;
    }
    if (reporting) report.LinkRule = FoundBy(*entry, *a, linkSelector, !rules.LinkSelector.empty());
    EntrySnippet(*entry, snippetRule, snippet);
    report.HasSnippet = !Trim(snippet).empty();
    const bool matched = matcher.Matches(snippet);
    // The citation is read for a match only; a report shows every entry's.
    std::u16string shortUrl;
    if ((matched || reporting) && !citeSelector.empty()) {
      const html::TRef<html::IHtmlElement> citation = FirstMatch(*entry, citeRule);
      if (citation && (anyCiteTag || SameTextAscii(citation->GetTagName(), u"cite"))) {
        shortUrl = std::u16string(Trim(citation->GetInnerText()));
        if (reporting) report.CiteRule = FoundBy(*entry, *citation, citeSelector, anyCiteTag);
        if (shortUrl.size() > 10 && !dateMask.empty() && TMask(dateMask).Matches(shortUrl)) {
          SplitCitationDate(shortUrl, LinkDate, Layout.SogouDateSplit);
          if (reporting && !LinkDate.empty()) {
            report.DateRule = RuleLabel(u"date-mask " + std::u16string(dateMask), !rules.DateMask.empty());
          }
        }
      }
    }
    if (FinishEntry(Self, report, matched, link, shortUrl, snippet, urlfillter, Url, ShortUrl, Remark, LinkDate))
      return true;
  }
  return false;
}

}  // namespace zqe::se
