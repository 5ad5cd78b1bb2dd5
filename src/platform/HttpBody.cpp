// Content decoding shared by the HTTP backends. WinHTTP under Wine refuses
// to decompress by itself, and curl's decoder would put the body cap after
// our control, so both backends inflate here with zlib.
#include <zlib.h>

#include <cstring>
#include <string>

#include "platform/HttpClient.h"

namespace zqe::platform {

namespace {

enum class Coding { Identity, Gzip, Deflate };

std::string LowerTrimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  std::string out(s.substr(b, e - b));
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

struct HttpBodySink::Impl {
  size_t maxBytes;
  Coding coding = Coding::Identity;
  std::string out;
  z_stream zs{};
  bool zsOpen = false;
  bool ended = false;      // the compressed stream reached its end marker
  std::string pending;     // "deflate" bytes held until the wrapper is known

  explicit Impl(size_t cap) : maxBytes(cap) {}
  ~Impl() { Close(); }

  void Close() {
    if (zsOpen) inflateEnd(&zs);
    zsOpen = false;
  }

  void Open(int windowBits) {
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, windowBits) != Z_OK) throw HttpError("cannot start inflating the body");
    zsOpen = true;
  }

  void Grow(const char* data, size_t size) {
    if (size > maxBytes - out.size()) {
      throw HttpError("response body larger than " + std::to_string(maxBytes) + " bytes");
    }
    out.append(data, size);
  }

  void Inflate(const char* data, size_t size) {
    char buf[16384];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    zs.avail_in = static_cast<uInt>(size);
    do {
      zs.next_out = reinterpret_cast<Bytef*>(buf);
      zs.avail_out = sizeof buf;
      const int rc = inflate(&zs, Z_NO_FLUSH);
      Grow(buf, sizeof buf - zs.avail_out);
      if (rc == Z_STREAM_END) {
        // Concatenated gzip members form one body; anything after a
        // deflate stream is trailing garbage and ignored.
        if (coding == Coding::Gzip && zs.avail_in > 0) {
          if (inflateReset(&zs) != Z_OK) throw HttpError("cannot inflate the body");
          continue;
        }
        ended = true;
      } else if (rc == Z_BUF_ERROR) {
        break;  // no progress possible until more input arrives
      } else if (rc != Z_OK) {
        throw HttpError(std::string("cannot inflate the body: ") + (zs.msg ? zs.msg : "invalid data"));
      }
    } while (!ended && (zs.avail_in > 0 || zs.avail_out == 0));
  }

  void Append(const char* data, size_t size) {
    switch (coding) {
      case Coding::Identity:
        Grow(data, size);
        return;
      case Coding::Gzip:
        if (!zsOpen) Open(16 + MAX_WBITS);
        Inflate(data, size);
        return;
      case Coding::Deflate:
        if (zsOpen) {
          Inflate(data, size);
          return;
        }
        // Servers send "deflate" both zlib-wrapped, as the protocol says,
        // and raw; the two-byte zlib header tells them apart.
        pending.append(data, size);
        if (pending.size() < 2) return;
        {
          const auto b0 = static_cast<unsigned char>(pending[0]);
          const auto b1 = static_cast<unsigned char>(pending[1]);
          const bool wrapped = (b0 & 0x0F) == 8 && ((b0 << 8) | b1) % 31 == 0;
          Open(wrapped ? MAX_WBITS : -MAX_WBITS);
        }
        {
          std::string held;
          held.swap(pending);
          Inflate(held.data(), held.size());
        }
        return;
    }
  }
};

HttpBodySink::HttpBodySink(size_t maxBytes) : impl_(std::make_unique<Impl>(maxBytes)) {}
HttpBodySink::~HttpBodySink() = default;

void HttpBodySink::SetContentEncoding(std::string_view encoding) {
  const std::string e = LowerTrimmed(encoding);
  if (e == "gzip" || e == "x-gzip") {
    impl_->coding = Coding::Gzip;
  } else if (e == "deflate") {
    impl_->coding = Coding::Deflate;
  } else {
    impl_->coding = Coding::Identity;
  }
}

void HttpBodySink::Append(const char* data, size_t size) {
  if (size > 0) impl_->Append(data, size);
}

std::string HttpBodySink::Finish() {
  if (impl_->coding == Coding::Deflate && !impl_->zsOpen && !impl_->pending.empty()) {
    // A single byte cannot be a deflate stream of any content.
    throw HttpError("cannot inflate the body: truncated data");
  }
  impl_->Close();
  return std::move(impl_->out);
}

void HttpBodySink::Reset() {
  impl_ = std::make_unique<Impl>(impl_->maxBytes);
}

}  // namespace zqe::platform
