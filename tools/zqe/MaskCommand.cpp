// zqe mask [--json] MASK TEXT...
// Whether each text is described by the wildcard mask.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "platform/Text.h"
#include "search/Mask.h"

namespace {

struct TMaskOptions {
  bool Json = false;
  std::string Mask;
  std::vector<std::string> Texts;
};

int RunMask(const TMaskOptions& o) {
  try {
    const zqe::TMask mask(zqe::Utf8ToU16(o.Mask));
    nlohmann::json results = nlohmann::json::array();
    for (const std::string& t : o.Texts) {
      const bool matches = mask.Matches(zqe::Utf8ToU16(t));
      results.push_back(matches);
      if (!o.Json) std::printf("%s\t%s\n", matches ? "true" : "false", t.c_str());
    }
    if (o.Json) std::printf("%s\n", nlohmann::json{{"results", results}}.dump().c_str());
    return 0;
  } catch (const zqe::EMaskError& e) {
    if (o.Json) std::printf("%s\n", nlohmann::json{{"error", e.what()}}.dump().c_str());
    else std::fprintf(stderr, "zqe mask: %s\n", e.what());
    return 1;
  }
}

const zqe::cli::RegisterCommand registerMask(zqe::cli::CommandInfo{[](CLI::App& app) -> std::function<int()> {
  auto o = std::make_shared<TMaskOptions>();
  CLI::App* cmd = app.add_subcommand("mask", "Match texts against a wildcard mask");
  cmd->add_flag("--json", o->Json, "Print one JSON object");
  cmd->add_option("MASK", o->Mask, "The mask: * ? [set] [!set]")->required();
  cmd->add_option("TEXT", o->Texts, "Texts to test")->required();
  return [o] { return RunMask(*o); };
}});

}  // namespace
