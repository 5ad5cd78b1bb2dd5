// zqe check: the reference host. Loads the engine library as any host
// would, checks every sentence of the given documents and reports.
#include "Command.h"
#include "host/CheckCommon.h"

#include <cstdio>

namespace zqe::cli {
namespace {

RegisterCommand registerCheck{{[](CLI::App& app) -> std::function<int()> {
  auto* cmd = app.add_subcommand("check", "Check documents for sentences found on the web");
  auto o = std::make_shared<CheckOptions>();
  auto files = std::make_shared<std::vector<std::string>>();
  cmd->add_option("files", *files, "Text files to check (none or \"-\": standard input)");
  AddCheckOptions(*cmd, *o, true);
  return [o, files] {
    std::vector<DocumentReport> docs;
    std::vector<std::string> inputs = *files;
    if (inputs.empty()) inputs.push_back("-");
    const Encoding enc = *ParseEncodingName(o->encoding);
    for (const auto& f : inputs) {
      try {
        docs.push_back(LoadDocument(f, enc, o->minLength));
      } catch (const std::exception& e) {
        std::fprintf(stderr, "zqe check: %s\n", e.what());
        return kExitUsage;
      }
    }
    return RunCheckCommand("check", *o, std::move(docs), "ZQE originality report");
  };
}}};

}  // namespace
}  // namespace zqe::cli
