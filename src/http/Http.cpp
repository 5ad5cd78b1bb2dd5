#include "http/Http.h"

#include <exception>
#include <mutex>

#include "log/zqTrace.h"
#include "platform/Text.h"

namespace zqe {

namespace {

constexpr std::u16string_view kAccept =
    u"text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8,"
    u"application/signed-exchange;v=b3;q=0.9";

// Creation is guarded so that callers outside the library, which never ran
// HttpUnitInitialize, race safely for the first use. The lock is created
// once and freed only at unit finalisation, never by static destruction:
// threads that nobody joins may still hold it while the process exits.
std::mutex gHttpLockCreation;
platform::Mutex* gHttpLock = nullptr;  // guarded by gHttpLockCreation

std::u16string HeaderValue(const platform::HttpRequest& r, std::u16string_view name) {
  if (SameTextAscii(name, u"User-Agent")) return r.userAgent;
  for (const auto& h : r.headers) {
    if (SameTextAscii(h.name, name)) return h.value;
  }
  return {};
}

bool HttpDebug() { return DbgParams.Debug[dbgHttp]; }

void LogConfigLine(std::u16string_view label, std::u16string_view value) {
  TZQTrace::InfoEx(dbgHttp, std::u16string(u"  >> ") + std::u16string(label) + u": " + std::u16string(value));
}

void LogUrlLine(std::u16string_view url) {
  TZQTrace::InfoEx(dbgHttp, u"[THTTP.Get] url:" + std::u16string(url) + u", config:");
}

void LogResultLine(std::u16string_view url, int32_t code, const std::u16string& response) {
  TZQTrace::InfoEx(dbgHttp, u"[THTTP.Get] >" + std::u16string(url) + u",HttpCode:" + IntToU16(code) +
                                u",Response.Len:" + UIntToU16(response.size()));
}

void LogFailure(std::u16string_view url, const std::exception& e) {
  if (!HttpDebug()) return;
  TZQTrace::ErrEx(dbgHttp, u"[THTTP.Get]Get (" + std::u16string(url) + u") Exception:" + ExceptionMessage(e));
}

// Runs one request under HttpLock and fills HttpCode and Response as the
// unit promises; `logConfig` writes the overload's configuration lines and
// `after` runs, still under the lock, once the result line is written.
bool Perform(const platform::HttpRequest& request, int32_t& HttpCode, std::u16string& Response,
             const std::function<void()>& logConfig,
             const std::function<void(const platform::HttpResponse&)>& after) {
  std::lock_guard<platform::Mutex> lock(HttpLock());
  // Asked to stop while queued: the request never reaches the wire.
  if (request.abort && request.abort->Requested()) return false;
  try {
    if (HttpDebug()) logConfig();
    const platform::HttpResponse response = platform::HttpGet(request);
    HttpCode = response.status;
    Response = Utf8ToU16(response.body);
    if (HttpDebug()) LogResultLine(request.url, HttpCode, Response);
    if (after) after(response);
    return HttpCode == 200;
  } catch (const platform::HttpError& e) {
    if (e.status() != 0) HttpCode = e.status();
    LogFailure(request.url, e);
  } catch (const std::exception& e) {
    LogFailure(request.url, e);
  }
  return false;
}

}  // namespace

platform::Mutex& HttpLock() {
  std::lock_guard<std::mutex> guard(gHttpLockCreation);
  if (!gHttpLock) gHttpLock = new platform::Mutex;
  return *gHttpLock;
}

void HttpUnitInitialize() { HttpLock(); }

void HttpUnitFinalize() {
  std::lock_guard<std::mutex> guard(gHttpLockCreation);
  delete gHttpLock;
  gHttpLock = nullptr;
}

bool THTTP::Get(std::u16string_view Url, int32_t& HttpCode, std::u16string& Response) {
  return Get(kHttpDefaultUserAgent, kHttpDefaultAcceptCharSet, kHttpDefaultAcceptLanguage, Url, kHttpDefaultTimeOut,
             HttpCode, Response);
}

bool THTTP::Get(std::u16string_view UserAgent, std::u16string_view /*AcceptCharSet*/,
                std::u16string_view AcceptLanguage, std::u16string_view Url, int32_t TimeOut, int32_t& HttpCode,
                std::u16string& Response, std::u16string* FinalUrl, platform::HttpAbort* Abort) {
  platform::HttpRequest r;
  r.abort = Abort;
  r.url = Url;
  r.userAgent = UserAgent;
  r.headers = {
      {u"Accept-Language", std::u16string(AcceptLanguage)},
      {u"Sec-Fetch-Mode", u"navigate"},
      {u"Cache-Control", u"no-cache"},
      {u"Upgrade-Insecure-Requests", u"1"},
      {u"Accept", std::u16string(kAccept)},
      {u"Accept-Encoding", u"gzip, deflate"},
      {u"Sec-Fetch-Site", u"none"},
      {u"Sec-Fetch-Dest", u"document"},
  };
  r.followRedirects = true;
  r.cookies = false;
  r.connectTimeoutMs = TimeOut > 0 ? static_cast<uint32_t>(TimeOut) : kHttpClientDefaultTimeOut;
  r.sendTimeoutMs = kHttpClientDefaultTimeOut;
  r.receiveTimeoutMs = kHttpClientDefaultTimeOut;

  auto logConfig = [&] {
    LogUrlLine(r.url);
    LogConfigLine(u"UserAgent      ", r.userAgent);
    LogConfigLine(u"AllowCookies   ", BoolToU16(r.cookies));
    LogConfigLine(u"Accept         ", HeaderValue(r, u"Accept"));
    LogConfigLine(u"AcceptCharSet  ", HeaderValue(r, u"Accept-Charset"));
    LogConfigLine(u"AcceptLanguage ", HeaderValue(r, u"Accept-Language"));
    TZQTrace::InfoEx(dbgHttp, u"  >> [%s] : %s", {u"User-Agent", r.userAgent});
    for (const auto& h : r.headers) TZQTrace::InfoEx(dbgHttp, u"  >> [%s] : %s", {h.name, h.value});
    LogConfigLine(u"TimeOut        ", IntToU16(TimeOut));
  };
  auto after = [FinalUrl](const platform::HttpResponse& response) {
    if (FinalUrl) *FinalUrl = response.finalUrl;
  };
  return Perform(r, HttpCode, Response, logConfig, after);
}

bool THTTP::Get(std::u16string_view Url, int32_t& HttpCode, std::u16string& Response, bool EnableCookie,
                const THTTPCookieWalkProc& WalkCookieProc) {
  platform::HttpRequest r;
  r.url = Url;
  r.userAgent = kHttpDefaultUserAgent;
  r.headers = {
      {u"Accept-Charset", std::u16string(kHttpDefaultAcceptCharSet)},
      {u"Accept-Language", std::u16string(kHttpDefaultAcceptLanguage)},
  };
  r.followRedirects = true;
  r.cookies = EnableCookie;
  r.connectTimeoutMs = kHttpDefaultTimeOut;
  r.sendTimeoutMs = kHttpClientDefaultTimeOut;
  r.receiveTimeoutMs = kHttpClientDefaultTimeOut;

  auto logConfig = [&] {
    LogUrlLine(r.url);
    LogConfigLine(u"UserAgent      ", r.userAgent);
    LogConfigLine(u"AcceptCharSet  ", HeaderValue(r, u"Accept-Charset"));
    LogConfigLine(u"AcceptLanguage ", HeaderValue(r, u"Accept-Language"));
    LogConfigLine(u"TimeOut        ", IntToU16(kHttpDefaultTimeOut));
  };
  auto after = [&](const platform::HttpResponse& response) {
    if (response.status == 200 && EnableCookie && WalkCookieProc) WalkCookieProc(response, response.cookies);
  };
  return Perform(r, HttpCode, Response, logConfig, after);
}

}  // namespace zqe
