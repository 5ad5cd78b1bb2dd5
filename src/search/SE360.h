// Unit SE360: 360 Search's result pages (ul#m-result li.res-list).
#pragma once

#include "search/ZQSEInst.h"

namespace zqe {

class TSEInstance360 : public TSEInstanceBase {
 public:
  TSEInstance360(std::u16string_view Name, int32_t ID) : TSEInstanceBase(Name, ID) {}
  ~TSEInstance360() override = default;

 protected:
  bool IsVerifyPage(std::u16string_view Html) override;
  bool IsVerifyUrl(std::u16string_view FinalUrl) override;
  bool IsNoResultsPage(std::u16string_view Text) override;
  bool MatchSearchReuslt(TSEInstanceBase* Sender, std::u16string_view AStr,
                         std::u16string_view urlfillter, bool StrictMatch,
                         const html::IHtmlElement& DOM, std::u16string& Url, std::u16string& ShortUrl,
                         std::u16string& Remark, std::u16string& LinkDate) override;
};

}  // namespace zqe
