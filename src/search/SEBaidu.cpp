#include "search/SEBaidu.h"

#include "match/SentenceMatch.h"
#include "platform/Text.h"
#include "search/SEExtract.h"
#include "search/SEPageMarkers.h"

namespace zqe {

bool TSEInstanceBaidu::IsVerifyPage(std::u16string_view Html) {
  return Html.substr(0, 120).find(u"<title>百度安全验证</title>") != std::u16string_view::npos ||
         se::IsBlockPage(se::kBaiduPageMarkers, Html);
}

bool TSEInstanceBaidu::IsVerifyUrl(std::u16string_view FinalUrl) { return se::IsBlockUrl(se::kBaiduPageMarkers, FinalUrl); }

bool TSEInstanceBaidu::IsNoResultsPage(std::u16string_view Text) { return se::IsNoResultsPage(se::kBaiduPageMarkers, Text); }

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
  const html::TRef<html::IHtmlElementList> entries =
      DOM.SimpleCSSSelector(se::RuleOr(rules.EntrySelector, u"div#content_left div[class~=c-container]"));
  if (!entries) return false;
  const int32_t count = entries->GetCount();
  se::TExaminedEntries examined;
  for (int32_t i = 0; i < count; ++i) {
    // A cancel ends a long page here; the caller reports the abort.
    if (Aborted()) return false;
    const html::TRef<html::IHtmlElement> entry = entries->GetItems(i);
    if (!entry) continue;
    std::u16string link;
    std::u16string shortUrl;
    Remark.clear();
    LinkDate.clear();
    if (!examined.Take(*entry)) {
      ReportEntry(link, shortUrl, LinkDate, false, se::kNestedEntry);
      continue;
    }

    if (const auto related = se::FirstMatch(*entry, u"div.c-abstract a.c");
        related && related->GetInnerText().starts_with(u"更多关于")) {
      ReportEntry(link, shortUrl, LinkDate, false, u"related searches");
      continue;
    }
    if (entry->HasAttribute(u"tpl") && SameTextAscii(entry->GetAttributes(u"tpl"), u"to_zhidao")) {
      ReportEntry(link, shortUrl, LinkDate, false, u"knowledge answer");
      continue;
    }
    link = se::EntryLink(*entry, linkSelector);
    if (link.empty()) {
      ReportEntry(link, shortUrl, LinkDate, false, u"no link");
      continue;
    }
    const std::u16string snippet = se::EntrySnippet(*entry, rules.SnippetSelector);
    if (!MatchSentence(sentence, snippet, StrictMatch)) {
      ReportEntry(link, shortUrl, LinkDate, false, u"no match");
      continue;
    }
    if (const auto show = se::FirstMatch(*entry, showSelector)) {
      shortUrl = show->GetInnerText();
    }
    if (const auto date = se::FirstMatch(*entry, u"div.c-abstract span.newTimeFactor_before_abs")) {
      LinkDate = se::BaiduDate(date->GetInnerText());
    }
    if (IsUrlFiltered(link, shortUrl, urlfillter)) {
      ReportEntry(link, shortUrl, LinkDate, false, u"filtered");
      continue;
    }
    Url = std::u16string(Trim(link));
    ShortUrl = std::u16string(Trim(shortUrl));
    Remark = rules.RemarkSnippet ? SnippetRemark(snippet) : std::u16string();
    ReportEntry(Url, ShortUrl, LinkDate, true, u"");
    return true;
  }
  return false;
}

}  // namespace zqe
