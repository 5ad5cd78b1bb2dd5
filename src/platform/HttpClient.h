// The system HTTP client behind one small interface, as curl keeps its TLS
// backends: WinHTTP on Windows (win/HttpClientWinHttp.cpp), libcurl on
// POSIX (posix/HttpClientCurl.cpp). Portable: no OS or library types here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zqe::platform {

struct HttpHeader {
  std::u16string name;
  std::u16string value;
};

struct HttpCookie {
  std::u16string name;
  std::u16string value;
  std::u16string domain;  // empty when the server named none
  std::u16string path;    // empty when the server named none
};

// Lets another thread end a request in flight at once. The owner sets
// its abort flag, then calls Wake; while a request runs, its backend keeps
// a waker here that makes the blocking call return (curl's multi wake-up,
// closing the WinHTTP request handle).
class HttpAbort {
 public:
  explicit HttpAbort(const std::atomic<bool>& flag) : flag_(flag) {}
  HttpAbort(const HttpAbort&) = delete;
  HttpAbort& operator=(const HttpAbort&) = delete;

  bool Requested() const { return flag_.load(); }
  void Wake() {
    std::lock_guard<std::mutex> lock(m_);
    if (wake_) wake_();
  }

  // For the backends. False (and nothing kept) when the abort was already
  // asked for: the flag is read under the lock that Wake takes, so an
  // abort is never missed between the two.
  bool Attach(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(m_);
    if (Requested()) return false;
    wake_ = std::move(wake);
    return true;
  }
  // After Detach returns, the waker is neither running nor called again.
  void Detach() {
    std::lock_guard<std::mutex> lock(m_);
    wake_ = nullptr;
  }

 private:
  const std::atomic<bool>& flag_;
  std::mutex m_;
  std::function<void()> wake_;  // guarded by m_
};

// One GET. Every request starts from a fresh client: nothing (cookies,
// connections, settings) carries over from an earlier request.
struct HttpRequest {
  std::u16string url;
  // Sent first, then `headers` in their order. The client adds only what
  // the protocol needs (Host, Connection, Cookie); empty values are not
  // sent.
  std::u16string userAgent;
  std::vector<HttpHeader> headers;
  bool followRedirects = true;
  // Keep cookies received during the request and send them on redirects.
  bool cookies = false;
  uint32_t connectTimeoutMs = 60000;
  uint32_t sendTimeoutMs = 60000;
  // The longest wait for the next piece of the response.
  uint32_t receiveTimeoutMs = 60000;
  // Bounds what a hostile or broken server can cost: more hops, or a body
  // larger than this after undoing its content encoding, is a failure.
  int maxRedirects = 10;
  size_t maxBodyBytes = size_t{32} * 1024 * 1024;
  // When set, a request already asked to abort is not sent, and one in
  // flight ends with an HttpError as soon as Wake is called.
  HttpAbort* abort = nullptr;
};

struct HttpResponse {
  int status = 0;  // of the last response in the redirect chain
  // The body's bytes after undoing a "gzip" or "deflate" content
  // encoding; no charset conversion.
  std::string body;
  // From the "Set-Cookie" headers of the last response.
  std::vector<HttpCookie> cookies;
  // The URL of the last response in the redirect chain, as the client
  // reports it; the request's URL when nothing redirected.
  std::u16string finalUrl;
};

// Every failure of a request: name resolution, connection, time-out, TLS,
// malformed URL, too many redirects, a body over the cap or one that cannot
// be inflated. A completed exchange with any status is not a failure.
class HttpError : public std::runtime_error {
 public:
  static constexpr const char* kAborted = "request aborted";

  // status: the final response's status when it had been received, else 0.
  HttpError(const std::string& message, int status = 0)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// Blocks until the exchange is over; throws HttpError. Thread-safe: each
// call uses its own client.
HttpResponse HttpGet(const HttpRequest& request);

// Undoes a content encoding while it arrives and enforces the body cap;
// shared by both backends so that they inflate and fail alike.
class HttpBodySink {
 public:
  explicit HttpBodySink(size_t maxBytes);
  ~HttpBodySink();
  HttpBodySink(const HttpBodySink&) = delete;
  HttpBodySink& operator=(const HttpBodySink&) = delete;

  // The response's "Content-Encoding" value; call before the first Append.
  // Unknown encodings are passed through as they are.
  void SetContentEncoding(std::string_view encoding);
  // Throws HttpError (without status) when the data cannot be inflated or
  // the body grows past the cap.
  void Append(const char* data, size_t size);
  // The body so far. A compressed body cut short before its end marker
  // keeps what could be inflated, as browsers do.
  std::string Finish();
  // Starts over for a new response: drops the body so far (of a redirect
  // or an interim response) and its content encoding.
  void Reset();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zqe::platform
