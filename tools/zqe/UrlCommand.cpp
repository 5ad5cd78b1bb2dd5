// zqe url [--json] URL
// The query URL as an engine would send it.
#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "platform/Text.h"
#include "search/URLEncode.h"

namespace {

struct TUrlOptions {
  bool Json = false;
  std::string Url;
};

int RunUrl(const TUrlOptions& o) {
  try {
    const std::string encoded = zqe::U16ToUtf8(zqe::URLEncode(zqe::Utf8ToU16(o.Url)));
    if (o.Json) std::printf("%s\n", nlohmann::json{{"url", encoded}}.dump().c_str());
    else std::printf("%s\n", encoded.c_str());
    return 0;
  } catch (const zqe::EURLEncodeError& e) {
    if (o.Json) std::printf("%s\n", nlohmann::json{{"error", e.what()}}.dump().c_str());
    else std::fprintf(stderr, "zqe url: %s\n", e.what());
    return 1;
  }
}

const zqe::cli::RegisterCommand kRegister(zqe::cli::CommandInfo{[](CLI::App& app) -> std::function<int()> {
  auto o = std::make_shared<TUrlOptions>();
  CLI::App* cmd = app.add_subcommand("url", "Percent-encode a query URL");
  cmd->add_flag("--json", o->Json, "Print one JSON object");
  cmd->add_option("URL", o->Url, "The URL to encode")->required();
  return [o] { return RunUrl(*o); };
}});

}  // namespace
