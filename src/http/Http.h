// Unit Http: single GET requests with browser-like headers, serialised
// process-wide by HttpLock so that no two requests of the process overlap.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HttpClient.h"
#include "platform/Platform.h"

namespace zqe {

// The request defaults, for THTTP's fixed overloads and for every caller
// that fills in a value its configuration left empty.
inline constexpr std::u16string_view kHttpDefaultUserAgent =
    u"Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    u"Chrome/83.0.4103.116 Safari/537.36 OPR/69.0.3686.57";
inline constexpr std::u16string_view kHttpDefaultAcceptCharSet = u"GB2312,utf-8;q=0.7,*;q=0.7";
inline constexpr std::u16string_view kHttpDefaultAcceptLanguage = u"zh-CN,zh;q=0.9,en-US;q=0.8,en;q=0.7";
// Connect time-out, milliseconds.
inline constexpr int32_t kHttpDefaultTimeOut = 10000;
// The client's own send and receive time-outs, and its connect time-out
// when a caller passes one that is not positive; milliseconds.
inline constexpr uint32_t kHttpClientDefaultTimeOut = 60000;
// What an engine stores when its definition names no user agent. It never
// reaches the wire (engine requests draw from the engines' user-agent
// table), and it differs from kHttpDefaultUserAgent on purpose: it is kept
// as engines have always stored it, misspelt product name included.
inline constexpr std::u16string_view kEngineStoredDefaultUserAgent =
    u"Mozila/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    u"Chrome/52.0.2743.48 Safari/537.36 Vivaldi/1.3.534.3";

using THTTPResponse = platform::HttpResponse;
using THTTPCookies = std::vector<platform::HttpCookie>;
// Called by the cookie overload, still under HttpLock, with the response
// and the cookies its last response set.
using THTTPCookieWalkProc = std::function<void(const THTTPResponse& response, const THTTPCookies& cookies)>;

// Thread-safe. Each operation returns true exactly when the final status
// is 200. HttpCode and Response are written only once known: after a
// failure they keep the caller's values unless the status (or the body)
// had already been received.
class THTTP {
 public:
  THTTP() = delete;

  // The full overload with the defaults above (user agent, charset,
  // language, connect time-out).
  static bool Get(std::u16string_view Url, int32_t& HttpCode, std::u16string& Response);

  // AcceptCharSet does not reach the request: the body is decoded as UTF-8
  // whatever its declared charset. TimeOut is the connect time-out in
  // milliseconds (not positive: the client's default of 60000). FinalUrl,
  // when given, receives the URL the last response came from (after
  // redirects) once the exchange completed, whatever its status: engines
  // tell a redirect to their verification page by it. With Abort, a
  // request queued behind HttpLock is dropped once an abort is asked for,
  // and one in flight ends at once (false, codes unchanged).
  static bool Get(std::u16string_view UserAgent, std::u16string_view AcceptCharSet,
                  std::u16string_view AcceptLanguage, std::u16string_view Url, int32_t TimeOut,
                  int32_t& HttpCode, std::u16string& Response, std::u16string* FinalUrl = nullptr,
                  platform::HttpAbort* Abort = nullptr);

  // Only user agent, Accept-Charset and Accept-Language headers; cookies
  // kept across the request's redirects when EnableCookie is true.
  static bool Get(std::u16string_view Url, int32_t& HttpCode, std::u16string& Response,
                  bool EnableCookie, const THTTPCookieWalkProc& WalkCookieProc);
};

// The process-wide lock held for the whole of every request. The library's
// load code calls HttpUnitInitialize and its unload code HttpUnitFinalize;
// code that runs outside the library (tests, the zqe tool) gets the lock
// created on first use. No Get may run during or after HttpUnitFinalize.
platform::Mutex& HttpLock();
void HttpUnitInitialize();
void HttpUnitFinalize();

}  // namespace zqe
