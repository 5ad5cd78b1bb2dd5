#include "search/SEGoolge.h"

#include "search/SEExtract.h"
#include "search/SEPageMarkers.h"

namespace zqe {

bool TSEInstanceGoogle::IsVerifyPage(std::u16string_view Html) { return se::IsBlockPage(Markers(se::kGooglePageMarkers), Html); }

bool TSEInstanceGoogle::IsVerifyUrl(std::u16string_view FinalUrl) { return se::IsBlockUrl(Markers(se::kGooglePageMarkers), FinalUrl); }

bool TSEInstanceGoogle::IsNoResultsPage(std::u16string_view Text) { return se::IsNoResultsPage(Markers(se::kGooglePageMarkers), Text); }

bool TSEInstanceGoogle::MatchSearchReuslt(TSEInstanceBase*, std::u16string_view AStr,
                                       std::u16string_view urlfillter, bool StrictMatch,
                                       const html::IHtmlElement& DOM, std::u16string& Url,
                                       std::u16string& ShortUrl, std::u16string& Remark,
                                       std::u16string& LinkDate) {
  static constexpr se::TCitationLayout kLayout{u"div.srg", u"div.g div.rc h3.r a", u"", u"", false};
  return se::MatchCitationLayout(*this, kLayout, AStr, urlfillter, StrictMatch, DOM, Url, ShortUrl,
                                 Remark, LinkDate);
}

}  // namespace zqe
