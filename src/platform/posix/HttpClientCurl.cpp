// The HTTP client on POSIX: one libcurl easy handle per request, set up to
// behave on the wire as WinHTTP does for the Windows build (our headers in
// our order, no Accept or Accept-Encoding of curl's own, bodies inflated by
// HttpBodySink).
#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/HttpClient.h"
#include "platform/Text.h"

namespace zqe::platform {

namespace {

void GlobalInitOnce() {
  // curl_global_init is not thread-safe in every libcurl this may meet.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k) {
    char a = s[k], b = prefix[k];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

HttpCookie ParseSetCookie(std::string_view v) {
  HttpCookie c;
  bool first = true;
  while (!v.empty()) {
    const size_t semi = v.find(';');
    std::string_view part = TrimBlanks(v.substr(0, semi));
    v = semi == std::string_view::npos ? std::string_view{} : v.substr(semi + 1);
    const size_t eq = part.find('=');
    std::string_view name = TrimBlanks(part.substr(0, eq));
    std::string_view value = eq == std::string_view::npos ? std::string_view{} : TrimBlanks(part.substr(eq + 1));
    if (first) {
      c.name = Utf8ToU16(name);
      c.value = Utf8ToU16(value);
      first = false;
    } else if (StartsWithNoCase(name, "domain") && name.size() == 6) {
      c.domain = Utf8ToU16(value);
    } else if (StartsWithNoCase(name, "path") && name.size() == 4) {
      c.path = Utf8ToU16(value);
    }
  }
  return c;
}

struct Transfer {
  explicit Transfer(const HttpRequest& r) : request(r), sink(r.maxBodyBytes) {}

  const HttpRequest& request;
  HttpBodySink sink;
  std::string sinkError;  // set when the sink refused the body
  std::vector<HttpCookie> cookies;
  int status = 0;
  bool headersDone = false;
  bool hasLocation = false;
  int64_t lastActivityMs = 0;
  curl_off_t lastDown = -1;
  bool receiveTimedOut = false;

  // True when the response now being read will be replaced by a redirect.
  bool WillRedirect() const {
    return request.followRedirects && hasLocation && status >= 300 && status < 400;
  }
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::string_view line(data, size * count);
  t->lastActivityMs = NowMs();
  try {
    if (StartsWithNoCase(line, "HTTP/")) {
      // A new response in the chain (after a redirect or an interim one).
      t->sink.Reset();
      t->cookies.clear();
      t->headersDone = false;
      t->hasLocation = false;
      const size_t sp = line.find(' ');
      t->status = sp == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(sp + 1, 3)).c_str());
    } else if (TrimBlanks(line).empty()) {
      t->headersDone = true;
    } else if (StartsWithNoCase(line, "content-encoding:")) {
      t->sink.SetContentEncoding(TrimBlanks(line.substr(17)));
    } else if (StartsWithNoCase(line, "location:")) {
      t->hasLocation = true;
    } else if (StartsWithNoCase(line, "set-cookie:")) {
      t->cookies.push_back(ParseSetCookie(TrimBlanks(line.substr(11))));
    }
  } catch (const std::exception& e) {
    t->sinkError = e.what();
    return 0;
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  t->lastActivityMs = NowMs();
  try {
    t->sink.Append(data, size * count);
  } catch (const std::exception& e) {
    t->sinkError = e.what();
    return 0;  // curl then ends the transfer with CURLE_WRITE_ERROR
  }
  return size * count;
}

// curl has no receive time-out of its own; WinHTTP's is the longest wait
// for the next piece of the response, so measure silence here. curl calls
// this at least once a second.
int OnProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  const int64_t now = NowMs();
  if (dlnow != t->lastDown) {
    t->lastDown = dlnow;
    t->lastActivityMs = now;
  }
  if (now - t->lastActivityMs > static_cast<int64_t>(t->request.receiveTimeoutMs)) {
    t->receiveTimedOut = true;
    return 1;
  }
  return 0;
}

// One multi handle per request, so that an abort from another thread can
// wake the wait for the network at once (the progress callback alone runs
// only about once a second on a silent connection).
struct MultiHandle {
  CURLM* m = curl_multi_init();
  CURL* added = nullptr;
  ~MultiHandle() {
    if (added) curl_multi_remove_handle(m, added);
    if (m) curl_multi_cleanup(m);
  }
};

// Runs the transfer; the easy handle's result, or CURLE_ABORTED_BY_CALLBACK
// when `abort` ended it.
CURLcode Perform(CURL* h, HttpAbort* abort, bool& aborted) {
  aborted = false;
  if (!abort) return curl_easy_perform(h);
  MultiHandle multi;
  if (!multi.m) throw HttpError("cannot create an HTTP client");
  if (curl_multi_add_handle(multi.m, h) != CURLM_OK) throw HttpError("cannot create an HTTP client");
  multi.added = h;
  CURLM* m = multi.m;
  if (!abort->Attach([m] { curl_multi_wakeup(m); })) {
    aborted = true;
    return CURLE_ABORTED_BY_CALLBACK;
  }
  struct DetachOnExit {
    HttpAbort* a;
    ~DetachOnExit() { a->Detach(); }
  } detach{abort};
  for (;;) {
    int running = 0;
    const CURLMcode mc = curl_multi_perform(m, &running);
    if (mc != CURLM_OK) throw HttpError(curl_multi_strerror(mc));
    if (running == 0) break;
    if (abort->Requested()) {
      aborted = true;
      return CURLE_ABORTED_BY_CALLBACK;
    }
    if (curl_multi_poll(m, nullptr, 0, 1000, nullptr) != CURLM_OK) throw HttpError("waiting for the network failed");
  }
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(m, &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) return msg->data.result;
  }
  return CURLE_RECV_ERROR;
}

struct EasyHandle {
  CURL* h = curl_easy_init();
  curl_slist* headers = nullptr;
  ~EasyHandle() {
    if (h) curl_easy_cleanup(h);
    curl_slist_free_all(headers);
  }
};

void AddHeader(EasyHandle& e, const std::string& line) {
  curl_slist* next = curl_slist_append(e.headers, line.c_str());
  if (!next) throw HttpError("out of memory");
  e.headers = next;
}

}  // namespace

HttpResponse HttpGet(const HttpRequest& request) {
  if (request.abort && request.abort->Requested()) throw HttpError(HttpError::kAborted);
  GlobalInitOnce();
  EasyHandle e;
  if (!e.h) throw HttpError("cannot create an HTTP client");
  Transfer t(request);
  char errbuf[CURL_ERROR_SIZE] = {};

  // Our own list, in our order; curl puts only Host before it.
  bool hasAccept = false;
  if (!request.userAgent.empty()) AddHeader(e, "User-Agent: " + U16ToUtf8(request.userAgent));
  for (const HttpHeader& h : request.headers) {
    if (h.value.empty()) continue;
    if (SameTextAscii(h.name, u"Accept")) hasAccept = true;
    AddHeader(e, U16ToUtf8(h.name) + ": " + U16ToUtf8(h.value));
  }
  if (!hasAccept) AddHeader(e, "Accept:");  // suppresses curl's "Accept: */*"

  const std::string url = U16ToUtf8(request.url);
  CURL* h = e.h;
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  // libcurl would offer and take HTTP/2 on https; WinHTTP speaks HTTP/1.1,
  // and both builds are to put the same request on the wire.
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, e.headers);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errbuf);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(request.maxRedirects));
  curl_easy_setopt(h, CURLOPT_AUTOREFERER, 0L);
  if (request.cookies) curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");  // in-memory cookie engine
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
  curl_easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);

  t.lastActivityMs = NowMs();
  bool aborted = false;
  const CURLcode rc = Perform(h, request.abort, aborted);
  if (aborted) throw HttpError(HttpError::kAborted);
  if (rc != CURLE_OK) {
    // The status counts as received only when it is the chain's last one.
    const int status = (t.status != 0 && !t.WillRedirect() && rc != CURLE_TOO_MANY_REDIRECTS) ? t.status : 0;
    std::string msg;
    if (!t.sinkError.empty()) {
      msg = t.sinkError;
    } else if (t.receiveTimedOut) {
      msg = "no data received for " + std::to_string(request.receiveTimeoutMs) + " ms";
    } else {
      msg = curl_easy_strerror(rc);
      if (errbuf[0]) msg += std::string(": ") + errbuf;
    }
    throw HttpError(msg, t.headersDone ? status : 0);
  }

  HttpResponse r;
  long code = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
  r.status = static_cast<int>(code);
  if (request.followRedirects && r.status >= 300 && r.status < 400 && t.hasLocation) {
    // curl stops silently on a redirect it will not follow (to a scheme
    // outside the allowed ones); that is no completed exchange.
    throw HttpError("redirect not followed");
  }
  try {
    r.body = t.sink.Finish();
  } catch (const HttpError& err) {
    throw HttpError(err.what(), r.status);
  }
  r.cookies = std::move(t.cookies);
  const char* effective = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) {
    r.finalUrl = Utf8ToU16(effective);
  } else {
    r.finalUrl = request.url;
  }
  return r;
}

}  // namespace zqe::platform
