// Turns a query URL, built from an engine's search URL format and the
// sentence, into one that can be sent: the path and the query are
// percent-encoded while the URL's structure is kept.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zqe {

// Raised by URLEncode. what() is the message in UTF-8; Message() in UTF-16.
class EURLEncodeError : public std::runtime_error {
 public:
  explicit EURLEncodeError(const std::u16string& message);
  const std::u16string& Message() const noexcept { return FMessage; }

 private:
  std::u16string FMessage;
};

// Splits AURI into scheme "://" [user information "@"] host [":" port]
// path [ "?" query ] [ "#" fragment ], turns backslashes before the query
// into slashes, encodes the path with PathEncode and the query with
// ParamsEncode, and joins the parts again without the user information,
// the fragment and a port that is the scheme's default (80 for http, 443
// for https, 21 for ftp, scheme compared case-insensitively). The host, an
// IPv6 address in square brackets included, is copied as written.
//
// Since "&", "=", "+", "/" and "?" stay as they are in the query, a
// sentence holding them changes the query's structure; a "#" in it starts
// the fragment, which is dropped.
//
// Throws EURLEncodeError "Protocol field is empty" when there is no scheme
// before "://", and "Host field is empty" when there is no host after it.
std::u16string URLEncode(std::u16string_view AURI);

// Percent-encodes S for a URL path: "%" followed by two hexadecimal digits
// is kept as written; printable ASCII outside the 15 unsafe characters
// * < > # % " { } | \ ^ [ ] ` + is copied; every other unit (space,
// control characters, DEL, non-ASCII) becomes the "%XX" groups of its UTF-8
// bytes, upper-case hexadecimal. An unpaired surrogate is encoded as
// U+FFFD.
std::u16string PathEncode(std::u16string_view S);

// As PathEncode, for a query: "+" is not unsafe here (14 characters).
std::u16string ParamsEncode(std::u16string_view S);

// Percent-encodes S as one query value: every unit but the ASCII letters,
// digits and "-._~" becomes the "%XX" groups of its UTF-8 bytes (an
// unpaired surrogate as U+FFFD), "%" included, so that a server decodes
// exactly S and nothing in S can end the value, start a fragment or be
// read as an escape. URLEncode copies the result unchanged.
std::u16string QueryValueEncode(std::u16string_view S);

}  // namespace zqe
