// Unit SEGoolge: Google's result pages: each div.srg group is one entry,
// matched as a whole, with the first link of the group.
#pragma once

#include "search/ZQSEInst.h"

namespace zqe {

class TSEInstanceGoogle : public TSEInstanceBase {
 public:
  TSEInstanceGoogle(std::u16string_view Name, int32_t ID) : TSEInstanceBase(Name, ID) {}
  ~TSEInstanceGoogle() override = default;

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
