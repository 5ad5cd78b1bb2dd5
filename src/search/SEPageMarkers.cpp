#include "search/SEPageMarkers.h"

#include <algorithm>
#include <iterator>

#include "platform/Text.h"

namespace zqe::se {
namespace {

using M = std::u16string_view;

// Challenge pages of the content networks in front of the engines.
constexpr M kCommonTitles[] = {u"Just a moment...", u"Attention Required! | Cloudflare"};
constexpr M kCommonUrlParts[] = {u"/cdn-cgi/challenge-platform/"};
constexpr M kCommonPageParts[] = {u"/cdn-cgi/challenge-platform/"};

constexpr M kBaiduTitles[] = {u"百度安全验证"};
constexpr M kBaiduUrlParts[] = {u"wappass.baidu.com", u"verify.baidu.com", u"seccaptcha", u"/static/captcha/"};
constexpr M kBaiduPageParts[] = {u"wappass.baidu.com/static/captcha", u"seccaptcha.baidu.com",
                                 u"<title>百度安全验证</title>"};
constexpr M kBaiduResultParts[] = {u"id=\"content_left\""};
constexpr M kBaiduNoResults[] = {u"抱歉没有找到", u"很抱歉，没有找到"};

constexpr M kSogouUrlParts[] = {u"/antispider"};
constexpr M kSogouPageParts[] = {u"antispider", u"seccodeForm", u"您的访问过于频繁", u"您的访问出错了"};
constexpr M kSogouResultParts[] = {u"class=\"results\"", u"class=\"vrwrap", u"class=\"rb"};
constexpr M kSogouNoResults[] = {u"抱歉，没有找到", u"抱歉没有找到"};

constexpr M kBingUrlParts[] = {u"/turing/captcha", u"/challenge"};
constexpr M kBingPageParts[] = {u"/turing/captcha/", u"Please solve the challenge below to continue"};
constexpr M kBingResultParts[] = {u"class=\"b_algo"};
constexpr M kBingNoResults[] = {u"There are no results for"};

constexpr M k360UrlParts[] = {u"wappass.so.com", u"passport.360.cn", u"/captcha", u"/forbidden"};
constexpr M k360PageParts[] = {u"wappass.so.com/captcha", u"/captcha.js"};
constexpr M k360ResultParts[] = {u"res-list"};
constexpr M k360NoResults[] = {u"没有找到"};

constexpr M kGoogleUrlParts[] = {u"/sorry/", u"/httpservice/retry/enablejs"};
constexpr M kGooglePageParts[] = {u"id=\"captcha-form\"", u"detected unusual traffic", u"/sorry/index",
                                  u"/httpservice/retry/enablejs"};
constexpr M kGoogleResultParts[] = {u"id=\"rso\"", u"class=\"g\"", u"class=\"g ", u"class=\"srg\""};
constexpr M kGoogleNoResults[] = {u"did not match any documents"};

// Each part is searched through the whole page, often in vain (a result
// page holds no block marker): the vector search, not the unit-by-unit one.
bool ContainsAny(std::u16string_view Text, std::span<const M> Parts) {
  return std::any_of(Parts.begin(), Parts.end(),
                     [&](M p) { return FindText(Text, p) != std::u16string_view::npos; });
}

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// First position of Needle (lower-case ASCII) in Text, Latin letters of
// Text compared without case; linear for the short needles used here.
size_t FindNoCase(std::u16string_view Text, std::u16string_view Needle, size_t From = 0) {
  if (Needle.empty() || Text.size() < Needle.size()) return std::u16string_view::npos;
  // A needle that starts with no letter ("<title") has that unit as
  // written: the vector search goes from one to the next, so that a page
  // without the needle is not read unit by unit.
  const bool jump = !(Needle[0] >= u'a' && Needle[0] <= u'z');
  for (size_t i = From; i + Needle.size() <= Text.size(); ++i) {
    if (jump) {
      i = FindText(Text, Needle.substr(0, 1), i);
      if (i == std::u16string_view::npos || i + Needle.size() > Text.size()) break;
    }
    size_t k = 0;
    while (k < Needle.size() && LowerAscii(Text[i + k]) == Needle[k]) ++k;
    if (k == Needle.size()) return i;
  }
  return std::u16string_view::npos;
}

}  // namespace

const TPageMarkers kBaiduPageMarkers{kBaiduTitles, kBaiduUrlParts, kBaiduPageParts, kBaiduResultParts,
                                     kBaiduNoResults};
const TPageMarkers kSogouPageMarkers{{}, kSogouUrlParts, kSogouPageParts, kSogouResultParts, kSogouNoResults};
const TPageMarkers kBingPageMarkers{{}, kBingUrlParts, kBingPageParts, kBingResultParts, kBingNoResults};
const TPageMarkers k360PageMarkers{{}, k360UrlParts, k360PageParts, k360ResultParts, k360NoResults};
const TPageMarkers kGooglePageMarkers{{}, kGoogleUrlParts, kGooglePageParts, kGoogleResultParts,
                                      kGoogleNoResults};

TConfiguredMarkers::TConfiguredMarkers(const TPageMarkers& Compiled, const TSERules& Rules) : FMarkers(Compiled) {
  auto take = [](const std::vector<std::u16string>& configured, std::vector<M>& views,
                 std::span<const M>& field) {
    if (configured.empty()) return;
    views.assign(configured.begin(), configured.end());
    field = views;
  };
  take(Rules.BlockTitles, FTitles, FMarkers.BlockTitles);
  take(Rules.BlockUrlParts, FUrlParts, FMarkers.BlockUrlParts);
  take(Rules.BlockTextParts, FBlockParts, FMarkers.BlockPageParts);
  take(Rules.ResultTextParts, FResultParts, FMarkers.ResultParts);
  take(Rules.NoResultsTextParts, FNoResults, FMarkers.NoResultsParts);
}

std::u16string_view PageTitle(std::u16string_view Html) {
  const size_t open = FindNoCase(Html, u"<title");
  if (open == std::u16string_view::npos) return {};
  const size_t gt = Html.find(u'>', open);
  if (gt == std::u16string_view::npos) return {};
  const size_t close = FindNoCase(Html, u"</title", gt + 1);
  if (close == std::u16string_view::npos) return {};
  return Trim(Html.substr(gt + 1, close - gt - 1));
}

bool IsBlockPage(const TPageMarkers& Markers, std::u16string_view Html) {
  const std::u16string_view title = PageTitle(Html);
  if (!title.empty()) {
    auto isTitle = [&](M t) { return title == t; };
    if (std::any_of(Markers.BlockTitles.begin(), Markers.BlockTitles.end(), isTitle) ||
        std::any_of(std::begin(kCommonTitles), std::end(kCommonTitles), isTitle))
      return true;
  }
  if (ContainsAny(Html, Markers.ResultParts)) return false;
  return ContainsAny(Html, Markers.BlockPageParts) || ContainsAny(Html, kCommonPageParts);
}

bool IsBlockUrl(const TPageMarkers& Markers, std::u16string_view Url) {
  // Host and path only: the query holds the sentence, which may name
  // anything.
  const size_t scheme = Url.find(u"://");
  std::u16string_view rest = scheme == std::u16string_view::npos ? Url : Url.substr(scheme + 3);
  rest = rest.substr(0, std::min(rest.find_first_of(u"?#"), rest.size()));
  auto inUrl = [&](M part) { return FindNoCase(rest, part) != std::u16string_view::npos; };
  return std::any_of(Markers.BlockUrlParts.begin(), Markers.BlockUrlParts.end(), [&](M p) {
           std::u16string lower(p);
           for (char16_t& c : lower) c = LowerAscii(c);
           return inUrl(lower);
         }) ||
         std::any_of(std::begin(kCommonUrlParts), std::end(kCommonUrlParts), inUrl);
}

bool IsNoResultsPage(const TPageMarkers& Markers, std::u16string_view Text) {
  return ContainsAny(Text, Markers.NoResultsParts);
}

}  // namespace zqe::se
