#include "search/SE360.h"

#include "search/SEExtract.h"
#include "search/SEPageMarkers.h"

namespace zqe {

bool TSEInstance360::IsVerifyPage(std::u16string_view Html) { return se::IsBlockPage(Markers(se::k360PageMarkers), Html); }

bool TSEInstance360::IsVerifyUrl(std::u16string_view FinalUrl) { return se::IsBlockUrl(Markers(se::k360PageMarkers), FinalUrl); }

bool TSEInstance360::IsNoResultsPage(std::u16string_view Text) { return se::IsNoResultsPage(Markers(se::k360PageMarkers), Text); }

bool TSEInstance360::MatchSearchReuslt(TSEInstanceBase*, std::u16string_view AStr,
                                    std::u16string_view urlfillter, bool StrictMatch,
                                    const html::IHtmlElement& DOM, std::u16string& Url,
                                    std::u16string& ShortUrl, std::u16string& Remark,
                                    std::u16string& LinkDate) {
  static constexpr se::TCitationLayout kLayout{u"ul#m-result li.res-list", u"h3.res-title a", u"p.res-linkinfo cite", u"*[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]?", false};
  return se::MatchCitationLayout(*this, kLayout, AStr, urlfillter, StrictMatch, DOM, Url, ShortUrl,
                                 Remark, LinkDate);
}

}  // namespace zqe
