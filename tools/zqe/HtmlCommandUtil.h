// Shared by the tree and select subcommands: reading a page and writing
// element data.
#pragma once

#include "Command.h"
#include "html/HtmlParser.h"
#include "platform/Text.h"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

namespace zqe::cli {

inline std::u16string ReadPageText(const std::string& path) { return Utf8ToU16(ReadInput(path)); }

// Attributes in the element's own table order.
inline std::vector<std::pair<std::string, std::string>> AttributesOf(const html::IHtmlElement& e) {
  std::vector<std::pair<std::string, std::string>> out;
  e.EnumAttributeNames(&out, [](void* p, const std::u16string& k, const std::u16string& v) {
    static_cast<std::vector<std::pair<std::string, std::string>>*>(p)->emplace_back(U16ToUtf8(k), U16ToUtf8(v));
    return true;
  });
  return out;
}

inline nlohmann::ordered_json AttributesJson(const html::IHtmlElement& e) {
  nlohmann::ordered_json obj = nlohmann::ordered_json::object();
  for (auto& [k, v] : AttributesOf(e)) obj[k] = v;
  return obj;
}

inline std::string JsonString(std::u16string_view s) { return nlohmann::json(U16ToUtf8(s)).dump(); }

// One-line rendering of a text for the plain output: control characters
// escaped, cut after `limit` characters.
inline std::string OneLine(std::u16string_view s, size_t limit = 80) {
  std::u16string out;
  for (char16_t c : s) {
    if (out.size() >= limit) {
      out += u"...";
      break;
    }
    if (c == u'\n') out += u"\\n";
    else if (c == u'\r') out += u"\\r";
    else if (c == u'\t') out += u"\\t";
    else out.push_back(c);
  }
  return U16ToUtf8(out);
}

inline int PrintError(bool json, const char* command, const std::string& message) {
  if (json)
    std::printf("%s\n", nlohmann::json{{"error", message}}.dump().c_str());
  else
    std::fprintf(stderr, "zqe %s: %s\n", command, message.c_str());
  return 1;
}

}  // namespace zqe::cli
