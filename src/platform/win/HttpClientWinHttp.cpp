// The HTTP client on Windows: one WinHTTP session per request.
//
// The session is opened without an agent and "User-Agent" is added as the
// first request header: Wine's WinHTTP sends a session agent after the
// request's own headers, which would break the order on the wire. Bodies
// are inflated by HttpBodySink because Wine refuses
// WINHTTP_OPTION_DECOMPRESSION (older Windows lacks it too).
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/HttpClient.h"
#include "platform/Text.h"

namespace zqe::platform {

namespace {

std::wstring Wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
std::u16string FromWide(const wchar_t* s, size_t n) { return std::u16string(s, s + n); }

std::string ErrorText(DWORD code) {
  std::string msg = "WinHTTP error " + std::to_string(code);
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                     FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<LPWSTR>(&text),
                                 0, nullptr);
  if (n > 0 && text) {
    std::u16string t = FromWide(text, n);
    while (!t.empty() && (t.back() == u'\r' || t.back() == u'\n' || t.back() == u' ')) t.pop_back();
    if (!t.empty()) msg += ": " + U16ToUtf8(t);
  }
  if (text) LocalFree(text);
  return msg;
}

[[noreturn]] void Fail(int status = 0) { throw HttpError(ErrorText(GetLastError()), status); }

struct Handle {
  HINTERNET h = nullptr;
  // Set by an abort that closed the handle from another thread; read only
  // after HttpAbort::Detach, which orders the two.
  bool closedByAbort = false;
  Handle() = default;
  explicit Handle(HINTERNET v) : h(v) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h && !closedByAbort) WinHttpCloseHandle(h);
  }
};

// Closing the request handle from another thread is how WinHTTP ends a
// pending synchronous call: it returns with an error at once.
class AbortGuard {
 public:
  AbortGuard(HttpAbort* abort, Handle& req) : abort_(abort) {
    if (!abort_) return;
    attached_ = abort_->Attach([&req] {
      if (req.closedByAbort) return;
      req.closedByAbort = true;
      WinHttpCloseHandle(req.h);
    });
    if (!attached_) throw HttpError(HttpError::kAborted);
  }
  ~AbortGuard() {
    if (attached_) abort_->Detach();
  }
  AbortGuard(const AbortGuard&) = delete;
  AbortGuard& operator=(const AbortGuard&) = delete;
  // Turns the failure of a call on a handle that the abort closed into the abort.
  void ThrowIfAborted() const {
    if (abort_ && abort_->Requested()) throw HttpError(HttpError::kAborted);
  }

 private:
  HttpAbort* abort_;
  bool attached_ = false;
};

// Reads a header of the response; false when the response has none.
bool QueryHeader(HINTERNET req, DWORD level, DWORD* index, std::u16string& out) {
  DWORD bytes = 0;
  WinHttpQueryHeaders(req, level, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes, index);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 1);
  if (!WinHttpQueryHeaders(req, level, WINHTTP_HEADER_NAME_BY_INDEX, buf.data(), &bytes, index)) return false;
  out = FromWide(buf.data(), bytes / sizeof(wchar_t));
  return true;
}

HttpCookie ParseSetCookie(std::u16string_view v) {
  HttpCookie c;
  bool first = true;
  while (!v.empty()) {
    const size_t semi = v.find(u';');
    const std::u16string_view part = Trim(v.substr(0, semi));
    v = semi == std::u16string_view::npos ? std::u16string_view{} : v.substr(semi + 1);
    const size_t eq = part.find(u'=');
    const std::u16string_view name = Trim(part.substr(0, eq));
    const std::u16string_view value =
        eq == std::u16string_view::npos ? std::u16string_view{} : Trim(part.substr(eq + 1));
    if (first) {
      c.name = name;
      c.value = value;
      first = false;
    } else if (SameTextAscii(name, u"domain")) {
      c.domain = value;
    } else if (SameTextAscii(name, u"path")) {
      c.path = value;
    }
  }
  return c;
}

// Location (absolute, scheme-relative, host-relative or path-relative)
// resolved against Base, an absolute URL. Dot segments are left as they
// are: the result only tells where a redirect led.
std::u16string ResolveLocation(std::u16string_view Base, std::u16string_view Location) {
  constexpr size_t npos = std::u16string_view::npos;
  const size_t locScheme = Location.find(u"://");
  if (locScheme != npos && Location.substr(0, locScheme).find_first_of(u"/?#") == npos)
    return std::u16string(Location);
  const size_t schemeEnd = Base.find(u"://");
  if (schemeEnd == npos) return std::u16string(Location);
  if (Location.starts_with(u"//")) return std::u16string(Base.substr(0, schemeEnd + 1)) + std::u16string(Location);
  const size_t authorityEnd = std::min(Base.find_first_of(u"/?#", schemeEnd + 3), Base.size());
  const std::u16string origin(Base.substr(0, authorityEnd));
  if (Location.starts_with(u"/")) return origin + std::u16string(Location);
  const std::u16string_view path =
      Base.substr(authorityEnd, std::min(Base.find_first_of(u"?#", authorityEnd), Base.size()) - authorityEnd);
  if (Location.starts_with(u"?")) return origin + std::u16string(path) + std::u16string(Location);
  const size_t slash = path.rfind(u'/');
  const std::u16string dir = slash == npos ? u"/" : std::u16string(path.substr(0, slash + 1));
  return origin + dir + std::u16string(Location);
}

// Follows the redirects WinHTTP takes, for runtimes whose WinHTTP does not
// answer WINHTTP_OPTION_URL (Wine's); some hand over the Location header
// as sent, which may be relative.
struct RedirectTrail {
  std::u16string url;
};

void CALLBACK OnRedirect(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  if (status != WINHTTP_CALLBACK_STATUS_REDIRECT || context == 0 || info == nullptr) return;
  try {
    auto* trail = reinterpret_cast<RedirectTrail*>(context);
    const auto* text = static_cast<const wchar_t*>(info);
    size_t n = 0;
    while ((length == 0 || n < length) && text[n] != 0) ++n;
    trail->url = ResolveLocation(trail->url, FromWide(text, n));
  } catch (...) {
    // No exception may cross into WinHTTP; the trail keeps its last URL.
  }
}

void SetDword(HINTERNET h, DWORD option, DWORD value) {
  // Options that this WinHTTP does not know leave its defaults; the request
  // still works, so a refusal is not a failure.
  WinHttpSetOption(h, option, &value, sizeof value);
}

void SetTimeouts(HINTERNET h, const HttpRequest& request) {
  if (!WinHttpSetTimeouts(h, 0, static_cast<int>(request.connectTimeoutMs), static_cast<int>(request.sendTimeoutMs),
                          static_cast<int>(request.receiveTimeoutMs))) {
    Fail();
  }
}

// The parts of the request URL that WinHTTP takes separately.
struct Target {
  std::wstring host;
  std::wstring object;  // path and query, starting with "/"
  INTERNET_PORT port = 0;
  bool secure = false;
};

Target CrackUrl(std::u16string_view requestUrl) {
  const std::wstring url = Wide(requestUrl);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  if (url.empty() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) Fail();
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    throw HttpError("unsupported URL scheme");
  }
  Target t;
  t.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  if (parts.lpszUrlPath) t.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) t.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (t.object.empty() || t.object[0] != L'/') t.object.insert(0, L"/");
  t.port = parts.nPort;
  t.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return t;
}

// One request's handles, closed in reverse order of opening.
struct Handles {
  Handle session;
  Handle connection;
  Handle req;
};

void Open(Handles& w, const Target& target, const HttpRequest& request) {
  w.session.h = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
  if (!w.session.h) Fail();
  SetTimeouts(w.session.h, request);
  w.connection.h = WinHttpConnect(w.session.h, target.host.c_str(), target.port, 0);
  if (!w.connection.h) Fail();
  w.req.h = WinHttpOpenRequest(w.connection.h, L"GET", target.object.c_str(), nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, target.secure ? WINHTTP_FLAG_SECURE : 0);
  if (!w.req.h) Fail();
  SetTimeouts(w.req.h, request);
}

// Time-outs, cookies and redirects; trail follows the redirects taken.
void Configure(HINTERNET req, const HttpRequest& request, RedirectTrail& trail) {
  // Waiting for the response's headers has a time-out of its own (90 s by
  // default, and the only one Wine applies to that wait).
  SetDword(req, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, request.receiveTimeoutMs);
  DWORD disabled = 0;
  if (!request.cookies) disabled |= WINHTTP_DISABLE_COOKIES;
  if (!request.followRedirects) disabled |= WINHTTP_DISABLE_REDIRECTS;
  if (disabled) SetDword(req, WINHTTP_OPTION_DISABLE_FEATURE, disabled);
  if (!request.followRedirects) return;
  SetDword(req, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, static_cast<DWORD>(request.maxRedirects));
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&trail);
  if (WinHttpSetOption(req, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
    WinHttpSetStatusCallback(req, OnRedirect, WINHTTP_CALLBACK_FLAG_REDIRECT, 0);
  }
}

// The user agent first, then the request's headers in their order.
void AddHeaders(HINTERNET req, const HttpRequest& request) {
  std::wstring headers;
  if (!request.userAgent.empty()) headers += L"User-Agent: " + Wide(request.userAgent) + L"\r\n";
  for (const HttpHeader& h : request.headers) {
    if (!h.value.empty()) headers += Wide(h.name) + L": " + Wide(h.value) + L"\r\n";
  }
  if (!headers.empty() &&
      !WinHttpAddRequestHeaders(req, headers.c_str(), static_cast<DWORD>(headers.size()), WINHTTP_ADDREQ_FLAG_ADD)) {
    Fail();
  }
}

// A failed call on the request: the abort when one closed the handle,
// otherwise WinHTTP's error.
[[noreturn]] void Failed(const AbortGuard& abortGuard, int status = 0) {
  abortGuard.ThrowIfAborted();
  Fail(status);
}

int ReadStatus(HINTERNET req, const HttpRequest& request, const AbortGuard& abortGuard) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(req, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                           &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    Failed(abortGuard);
  }
  if (request.followRedirects && status >= 300 && status < 400) {
    std::u16string location;
    if (QueryHeader(req, WINHTTP_QUERY_LOCATION, WINHTTP_NO_HEADER_INDEX, location)) {
      // WinHTTP hands back a redirect it would not follow (over the hop
      // limit, or to a scheme it refuses); that is no completed exchange.
      throw HttpError("redirect not followed");
    }
  }
  return static_cast<int>(status);
}

// The body, inflated; errors carry the status already received.
std::string ReadBody(HINTERNET req, const HttpRequest& request, int status, const AbortGuard& abortGuard) {
  HttpBodySink sink(request.maxBodyBytes);
  std::u16string encoding;
  if (QueryHeader(req, WINHTTP_QUERY_CONTENT_ENCODING, WINHTTP_NO_HEADER_INDEX, encoding)) {
    sink.SetContentEncoding(U16ToUtf8(encoding));
  }
  std::vector<char> buf(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!WinHttpReadData(req, buf.data(), static_cast<DWORD>(buf.size()), &read)) Failed(abortGuard, status);
    if (read == 0) break;
    try {
      sink.Append(buf.data(), read);
    } catch (const HttpError& e) {
      throw HttpError(e.what(), status);
    }
  }
  abortGuard.ThrowIfAborted();
  try {
    return sink.Finish();
  } catch (const HttpError& e) {
    throw HttpError(e.what(), status);
  }
}

std::vector<HttpCookie> ReadCookies(HINTERNET req) {
  std::vector<HttpCookie> cookies;
  for (DWORD index = 0;;) {
    std::u16string cookie;
    if (!QueryHeader(req, WINHTTP_QUERY_SET_COOKIE, &index, cookie)) break;
    cookies.push_back(ParseSetCookie(cookie));
  }
  return cookies;
}

// WinHTTP's own answer where it gives one, otherwise the redirect trail.
std::u16string FinalUrl(HINTERNET req, const RedirectTrail& trail) {
  std::u16string finalUrl = trail.url;
  DWORD urlBytes = 0;
  WinHttpQueryOption(req, WINHTTP_OPTION_URL, nullptr, &urlBytes);
  if (urlBytes >= sizeof(wchar_t)) {
    std::wstring url(urlBytes / sizeof(wchar_t), L'\0');
    if (WinHttpQueryOption(req, WINHTTP_OPTION_URL, url.data(), &urlBytes)) {
      url.resize(urlBytes / sizeof(wchar_t));
      while (!url.empty() && url.back() == L'\0') url.pop_back();
      finalUrl.assign(url.begin(), url.end());
    }
  }
  return finalUrl;
}

}  // namespace

HttpResponse HttpGet(const HttpRequest& request) {
  if (request.abort && request.abort->Requested()) throw HttpError(HttpError::kAborted);
  const Target target = CrackUrl(request.url);
  Handles w;
  Open(w, target, request);
  RedirectTrail trail{request.url};
  Configure(w.req.h, request, trail);
  AddHeaders(w.req.h, request);

  // Declared after the handles, so the waker is gone before they close.
  AbortGuard abortGuard(request.abort, w.req);
  if (!WinHttpSendRequest(w.req.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    Failed(abortGuard);
  }
  if (!WinHttpReceiveResponse(w.req.h, nullptr)) Failed(abortGuard);

  HttpResponse r;
  r.status = ReadStatus(w.req.h, request, abortGuard);
  r.body = ReadBody(w.req.h, request, r.status, abortGuard);
  r.cookies = ReadCookies(w.req.h);
  r.finalUrl = FinalUrl(w.req.h, trail);
  return r;
}

}  // namespace zqe::platform
