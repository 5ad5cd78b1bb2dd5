#include "search/SEBing.h"

#include "search/SEExtract.h"
#include "search/SEPageMarkers.h"

namespace zqe {

bool TSEInstanceBing::IsVerifyPage(std::u16string_view Html) { return se::IsBlockPage(Markers(se::kBingPageMarkers), Html); }

bool TSEInstanceBing::IsVerifyUrl(std::u16string_view FinalUrl) { return se::IsBlockUrl(Markers(se::kBingPageMarkers), FinalUrl); }

bool TSEInstanceBing::IsNoResultsPage(std::u16string_view Text) { return se::IsNoResultsPage(Markers(se::kBingPageMarkers), Text); }

bool TSEInstanceBing::MatchSearchReuslt(TSEInstanceBase*, std::u16string_view AStr,
                                     std::u16string_view urlfillter, bool StrictMatch,
                                     const html::IHtmlElement& DOM, std::u16string& Url,
                                     std::u16string& ShortUrl, std::u16string& Remark,
                                     std::u16string& LinkDate) {
  static constexpr se::TCitationLayout kLayout{u"li.b_algo", u"li.b_algo h2 a", u"div.b_attribution cite", u"*[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]?", false};
  return se::MatchCitationLayout(*this, kLayout, AStr, urlfillter, StrictMatch, DOM, Url, ShortUrl,
                                 Remark, LinkDate);
}

}  // namespace zqe
