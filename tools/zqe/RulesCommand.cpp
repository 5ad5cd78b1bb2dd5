// zqe rules --check FILE [--engine NAME] [--json] PAGE...
// Runs the page step of every engine of a definition file over saved
// result pages and counts what its rules find on each: entries, links,
// texts to test, citations and dates. An operator whose engine changed
// its layout edits the rules and runs this until the counts come back.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "EngineRules.h"
#include "platform/Text.h"

namespace {

struct TRulesOptions {
  std::string Config;
  std::string Engine;  // empty: every engine of the file
  bool Json = false;
  std::vector<std::string> Pages;
};

// Long enough that no entry's text comes within the allowed edits of it,
// so that every entry is examined and none ends the page as a hit.
constexpr std::u16string_view kProbeSentence = u"zqe rules check probe sentence that no result page holds 7291835046";

struct TCounts {
  int entries = 0, links = 0, texts = 0, citations = 0, dates = 0;
  int errorCode = 0;
};

const char* PageKind(int errorCode, int entries) {
  if (errorCode == -5) return "block page";
  if (errorCode == -6) return "not recognised";
  if (errorCode == -3) return "failed";
  return entries > 0 ? "result page" : "no results page";
}

TCounts Count(const zqe::cli::EngineRules& engine, const std::string& path, const std::u16string& page) {
  const zqe::TSEInstancePtr se = zqe::cli::NewEngine(engine);
  se->SetReportRules(true);
  std::vector<zqe::TSEEntryReport> entries;
  se->CheckPage(zqe::Utf8ToU16(path), page, kProbeSentence, u"", false, &entries);
  TCounts c;
  c.errorCode = se->ErrorCode();
  c.entries = static_cast<int>(entries.size());
  for (const zqe::TSEEntryReport& e : entries) {
    if (!e.Link.empty()) ++c.links;
    if (e.HasSnippet) ++c.texts;
    if (!e.ShortUrl.empty()) ++c.citations;
    if (!e.Date.empty()) ++c.dates;
  }
  return c;
}

int RunRules(const TRulesOptions& o) {
  using zqe::U16ToUtf8;
  std::vector<zqe::cli::EngineRules> engines;
  try {
    engines = zqe::cli::LoadEngineRules(o.Config);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zqe rules: %s\n", e.what());
    return 2;
  }
  bool badRule = false;
  std::vector<zqe::cli::EngineRules> chosen;
  for (zqe::cli::EngineRules& e : engines) {
    if (!o.Engine.empty() && !zqe::SameTextAscii(zqe::Utf8ToU16(e.section), zqe::Utf8ToU16(o.Engine))) continue;
    if (!e.error.empty()) {
      std::fprintf(stderr, "zqe rules: %s\n", e.error.c_str());
      badRule = true;
    }
    chosen.push_back(std::move(e));
  }
  if (chosen.empty()) {
    std::fprintf(stderr, "zqe rules: no engine %s in %s\n", o.Engine.empty() ? "section" : o.Engine.c_str(),
                 o.Config.c_str());
    return 2;
  }
  nlohmann::json pages = nlohmann::json::array();
  bool readError = false;
  for (const std::string& path : o.Pages) {
    std::u16string page;
    try {
      page = zqe::Utf8ToU16(zqe::cli::ReadInput(path));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "zqe rules: %s\n", e.what());
      readError = true;
      continue;
    }
    if (!o.Json) std::printf("%s\n  %-10s %7s %6s %6s %9s %6s  %s\n", path.c_str(), "engine", "entries", "links",
                             "texts", "citations", "dates", "page");
    nlohmann::json perEngine = nlohmann::json::object();
    for (const zqe::cli::EngineRules& e : chosen) {
      const TCounts c = Count(e, path, page);
      const char* kind = PageKind(c.errorCode, c.entries);
      if (o.Json) {
        perEngine[e.section] = {{"entries", c.entries}, {"links", c.links},       {"texts", c.texts},
                                {"citations", c.citations}, {"dates", c.dates}, {"page", kind},
                                {"error_code", c.errorCode}};
      } else {
        std::printf("  %-10s %7d %6d %6d %9d %6d  %s\n", e.section.c_str(), c.entries, c.links, c.texts,
                    c.citations, c.dates, kind);
      }
    }
    if (o.Json) pages.push_back({{"page", path}, {"engines", perEngine}});
  }
  if (o.Json) std::printf("%s\n", nlohmann::json{{"config", o.Config}, {"pages", pages}}.dump(2).c_str());
  return badRule || readError ? 2 : 0;
}

const zqe::cli::RegisterCommand registerRules(zqe::cli::CommandInfo{[](CLI::App& app) -> std::function<int()> {
  auto o = std::make_shared<TRulesOptions>();
  CLI::App* cmd = app.add_subcommand("rules", "Count what a definition file's result rules find on saved pages");
  cmd->add_option("--check", o->Config, "The definition file whose rules are checked")
      ->required()
      ->check(CLI::ExistingFile);
  cmd->add_option("--engine", o->Engine, "Only this engine's section");
  cmd->add_flag("--json", o->Json, "Print one JSON object");
  cmd->add_option("PAGE", o->Pages, "Saved result pages (UTF-8)")->required();
  return [o] { return RunRules(*o); };
}});

}  // namespace
