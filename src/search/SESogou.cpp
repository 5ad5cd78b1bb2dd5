#include "search/SESogou.h"

#include "search/SEExtract.h"
#include "search/SEPageMarkers.h"

namespace zqe {

bool TSEInstanceSougou::IsVerifyPage(std::u16string_view Html) { return se::IsBlockPage(Markers(se::kSogouPageMarkers), Html); }

bool TSEInstanceSougou::IsVerifyUrl(std::u16string_view FinalUrl) { return se::IsBlockUrl(Markers(se::kSogouPageMarkers), FinalUrl); }

bool TSEInstanceSougou::IsNoResultsPage(std::u16string_view Text) { return se::IsNoResultsPage(Markers(se::kSogouPageMarkers), Text); }

bool TSEInstanceSougou::MatchSearchReuslt(TSEInstanceBase*, std::u16string_view AStr,
                                       std::u16string_view urlfillter, bool StrictMatch,
                                       const html::IHtmlElement& DOM, std::u16string& Url,
                                       std::u16string& ShortUrl, std::u16string& Remark,
                                       std::u16string& LinkDate) {
  static constexpr se::TCitationLayout kLayout{u"div.results div.rb", u"h3.pt a[name=\"dttl\"]", u"div.fb cite", u"*[0-9][0-9][0-9][0-9]-*[0-9]-*[0-9]?", true};
  return se::MatchCitationLayout(*this, kLayout, AStr, urlfillter, StrictMatch, DOM, Url, ShortUrl,
                                 Remark, LinkDate);
}

}  // namespace zqe
