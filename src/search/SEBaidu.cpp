#include "search/SEBaidu.h"

#include <memory>

#include "match/SentenceMatch.h"
#include "platform/Text.h"
#include "search/SEExtract.h"
#include "search/SEPageMarkers.h"

namespace zqe {

bool TSEInstanceBaidu::IsVerifyPage(std::u16string_view Html) {
  return Html.substr(0, 120).find(u"<title>百度安全验证</title>") != std::u16string_view::npos ||
         se::IsBlockPage(Markers(se::kBaiduPageMarkers), Html);
}

bool TSEInstanceBaidu::IsVerifyUrl(std::u16string_view FinalUrl) { return se::IsBlockUrl(Markers(se::kBaiduPageMarkers), FinalUrl); }

bool TSEInstanceBaidu::IsNoResultsPage(std::u16string_view Text) { return se::IsNoResultsPage(Markers(se::kBaiduPageMarkers), Text); }

bool TSEInstanceBaidu::MatchSearchReuslt(TSEInstanceBase*, std::u16string_view AStr,
                                         std::u16string_view urlfillter, bool StrictMatch,
                                         const html::IHtmlElement& DOM, std::u16string& Url,
                                         std::u16string& ShortUrl, std::u16string& Remark,
                                         std::u16string& LinkDate) {
  const std::u16string_view sentence = Trim(AStr);
  const TSERules& rules = Rules();
  const std::u16string_view linkSelector = se::RuleOr(rules.LinkSelector, u"h3.t a");
  // Baidu's display URL plays the citation's part; its date comes from the
  // abstract, so a date mask has nothing to test here.
  const std::u16string_view showSelector = se::RuleOr(rules.CiteSelector, u"div.f13 a.c-showurl");
  const std::u16string_view entrySelector =
      se::RuleOr(rules.EntrySelector, u"div#content_left div[class~=c-container]");
  const html::TRef<html::IHtmlElementList> entries = DOM.SimpleCSSSelector(entrySelector);
  if (!entries) return false;
  const bool reporting = Reporting();
  std::unique_ptr<se::TEntryRules> entryRules;
  if (reporting) entryRules = std::make_unique<se::TEntryRules>(DOM, entrySelector, !rules.EntrySelector.empty());
  static constexpr std::u16string_view kDateSelector = u"div.c-abstract span.newTimeFactor_before_abs";
  const int32_t count = entries->GetCount();
  se::TExaminedEntries examined;
  std::u16string snippet;
  TSentenceMatcher matcher(sentence, StrictMatch);
  se::TSelector relatedRule(u"div.c-abstract a.c"), linkRule(linkSelector), snippetRule(rules.SnippetSelector);
  se::TSelector showRule(showSelector), dateRule(kDateSelector);
  for (int32_t i = 0; i < count; ++i) {
    // A cancel ends a long page here; the caller reports the abort.
    if (Aborted()) return false;
    const html::TRef<html::IHtmlElement> entry = entries->GetItems(i);
    if (!entry) continue;
    Remark.clear();
    LinkDate.clear();
    TSEEntryReport report;
    if (reporting) report.EntryRule = entryRules->Of(*entry);
    if (!examined.Take(*entry)) {
      report.SkipReason = se::kNestedEntry;
      ReportEntry(std::move(report));
      continue;
    }

    if (const auto related = se::FirstMatch(*entry, relatedRule);
        related && related->GetInnerText().starts_with(u"更多关于")) {
      report.SkipReason = u"related searches";
      ReportEntry(std::move(report));
      continue;
    }
    if (entry->HasAttribute(u"tpl") && SameTextAscii(entry->GetAttributes(u"tpl"), u"to_zhidao")) {
      report.SkipReason = u"knowledge answer";
      ReportEntry(std::move(report));
      continue;
    }
    const html::TRef<html::IHtmlElement> a = se::LinkElement(*entry, linkRule);
    const std::u16string link = a ? std::u16string(Trim(a->GetAttributes(u"href"))) : std::u16string();
    if (link.empty()) {
      report.SkipReason = u"no link";
      ReportEntry(std::move(report));
      continue;
    }
    if (reporting) report.LinkRule = se::FoundBy(*entry, *a, linkSelector, !rules.LinkSelector.empty());
    se::EntrySnippet(*entry, snippetRule, snippet);
    report.HasSnippet = !Trim(snippet).empty();
    const bool matched = matcher.Matches(snippet);
    // Display URL and date are read for a match only; a report shows every
    // entry's.
    std::u16string shortUrl;
    if (matched || reporting) {
      if (const auto show = se::FirstMatch(*entry, showRule)) {
        shortUrl = show->GetInnerText();
        if (reporting) report.CiteRule = se::FoundBy(*entry, *show, showSelector, !rules.CiteSelector.empty());
      }
      if (const auto date = se::FirstMatch(*entry, dateRule)) {
        LinkDate = se::BaiduDate(date->GetInnerText());
        if (reporting) report.DateRule = se::RuleLabel(kDateSelector, false);
      }
    }
    if (se::FinishEntry(*this, report, matched, link, shortUrl, snippet, urlfillter, Url, ShortUrl, Remark,
                        LinkDate))
      return true;
  }
  return false;
}

}  // namespace zqe
