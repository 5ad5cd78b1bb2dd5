// zqe fetch [--json] [--timeout MS] [--debug-http] URL
// One GET through THTTP's full overload, as an engine would send it.
#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "http/Http.h"
#include "log/zqTrace.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "search/ZQSEInst.h"

namespace {

struct TFetchOptions {
  bool Json = false;
  bool DebugHttp = false;
  int TimeOut = zqe::kHttpDefaultTimeOut;
  std::string Url;
};

int RunFetch(const TFetchOptions& o) {
  if (o.DebugHttp) {
    // The lines go to standard error only: a diagnostic leaves no log file.
    zqe::TLog4D::SetDisableToDisk(true);
    zqe::platform::SetDebugOutputHook([](std::u16string_view line) {
      std::fprintf(stderr, "%s\n", zqe::U16ToUtf8(line).c_str());
    });
    zqe::DbgParams.Debug[zqe::dbgHttp] = true;
  }
  int32_t code = 0;
  std::u16string response;
  // A user agent from the engines' table, as their requests send.
  const auto agents = zqe::TSEInstanceBase::UserAgents();
  const std::u16string agent(agents[zqe::platform::Random(static_cast<uint32_t>(agents.size()))]);
  const bool ok = zqe::THTTP::Get(agent, zqe::kHttpDefaultAcceptCharSet, zqe::kHttpDefaultAcceptLanguage,
                                  zqe::Utf8ToU16(o.Url), o.TimeOut, code, response);
  zqe::platform::SetDebugOutputHook(nullptr);
  const std::string body = zqe::U16ToUtf8(response);
  if (o.Json) {
    const nlohmann::json j{{"ok", ok}, {"code", code}, {"length", response.size()}, {"body", body}};
    std::printf("%s\n", j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  } else {
    std::printf("ok=%s code=%d length=%zu\n%s\n", ok ? "true" : "false", static_cast<int>(code), response.size(),
                body.c_str());
  }
  return ok ? 0 : 1;
}

const zqe::cli::RegisterCommand registerFetch(zqe::cli::CommandInfo{[](CLI::App& app) -> std::function<int()> {
  auto o = std::make_shared<TFetchOptions>();
  CLI::App* cmd = app.add_subcommand("fetch", "GET one URL as the engines do");
  cmd->add_flag("--json", o->Json, "Print one JSON object: ok, code, length, body");
  cmd->add_option("--timeout", o->TimeOut, "Connect time-out in milliseconds")->capture_default_str();
  cmd->add_flag("--debug-http", o->DebugHttp, "Print the HTTP debug lines to standard error");
  cmd->add_option("URL", o->Url, "The URL to fetch")->required();
  return [o] { return RunFetch(*o); };
}});

}  // namespace
