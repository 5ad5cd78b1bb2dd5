// zqe url [--json] [--sentence TEXT] URL
// The query URL as an engine would send it: with --sentence, URL is the
// engine's search URL format and TEXT goes where its "%s" stands.
#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "platform/Text.h"
#include "search/URLEncode.h"
#include "search/ZQSEInst.h"

namespace {

struct TUrlOptions {
  bool Json = false;
  std::string Url;
  std::string Sentence;
  bool HasSentence = false;
};

int RunUrl(const TUrlOptions& o) {
  try {
    const std::string encoded =
        o.HasSentence ? zqe::U16ToUtf8(zqe::FormatQueryUrl(zqe::Utf8ToU16(o.Url), zqe::Utf8ToU16(o.Sentence)))
                      : zqe::U16ToUtf8(zqe::URLEncode(zqe::Utf8ToU16(o.Url)));
    if (o.Json) std::printf("%s\n", nlohmann::json{{"url", encoded}}.dump().c_str());
    else std::printf("%s\n", encoded.c_str());
    return 0;
  } catch (const std::exception& e) {
    if (o.Json) std::printf("%s\n", nlohmann::json{{"error", e.what()}}.dump().c_str());
    else std::fprintf(stderr, "zqe url: %s\n", e.what());
    return 1;
  }
}

const zqe::cli::RegisterCommand registerUrl(zqe::cli::CommandInfo{[](CLI::App& app) -> std::function<int()> {
  auto o = std::make_shared<TUrlOptions>();
  CLI::App* cmd = app.add_subcommand("url", "Percent-encode a query URL");
  cmd->add_flag("--json", o->Json, "Print one JSON object");
  cmd->add_option("--sentence", o->Sentence, "Put TEXT into URL's %s as an engine puts its sentence")
      ->each([o](const std::string&) { o->HasSentence = true; });
  cmd->add_option("URL", o->Url, "The URL to encode, or with --sentence the search URL format")->required();
  return [o] { return RunUrl(*o); };
}});

}  // namespace
