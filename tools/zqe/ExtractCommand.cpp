// zqe extract [--json] [--rules] [--config FILE | --builtin] --engine NAME --sentence TEXT
//             [--filter MASKS] [--strict] [--final-url URL] PAGE
// Runs one engine's whole page step on a saved result page, as a check
// does after its fetch, with the result rules of a definition file, and
// shows every entry the extractor examined: what to look at when a search
// engine changes its layout.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "EngineRules.h"
#include "host/CheckCommon.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "search/SEManager.h"

namespace {

struct TExtractOptions {
  bool Json = false;
  std::string Engine;
  std::string Sentence;
  std::string Filter;
  bool Strict = false;
  std::string Page;
  std::string FinalUrl;
  std::string Config;  // empty: engines.ini beside zqe when there is one
  bool Builtin = false;
  bool Rules = false;
};

// The engine of the definition file's section named like o.Engine, or the
// compiled-in one; null with a message when there is none.
zqe::TSEInstancePtr MakeEngine(const TExtractOptions& o) {
  std::string path = o.Config;
  if (path.empty() && !o.Builtin && zqe::platform::FileExists(zqe::Utf8ToU16(zqe::cli::DefaultConfigPath())))
    path = zqe::cli::DefaultConfigPath();
  if (!path.empty()) {
    for (const zqe::cli::EngineRules& e : zqe::cli::LoadEngineRules(path)) {
      if (!zqe::SameTextAscii(zqe::Utf8ToU16(e.section), zqe::Utf8ToU16(o.Engine))) continue;
      if (!e.error.empty()) std::fprintf(stderr, "zqe extract: %s\n", e.error.c_str());
      return zqe::cli::NewEngine(e);
    }
    if (!o.Config.empty()) {
      std::fprintf(stderr, "zqe extract: no [%s] section in %s\n", o.Engine.c_str(), path.c_str());
      return nullptr;
    }
  }
  zqe::TSEInstancePtr se = zqe::NewSEInstance(zqe::Utf8ToU16(o.Engine), 0);
  if (!se) {
    std::fprintf(stderr, "zqe extract: unknown engine '%s' (baidu, sougou, bing, 360so, google)\n",
                 o.Engine.c_str());
  }
  return se;
}

int RunExtract(const TExtractOptions& o) {
  using zqe::U16ToUtf8;
  try {
    const zqe::TSEInstancePtr se = MakeEngine(o);
    if (!se) return 2;
    se->SetReportRules(o.Rules);
    const std::u16string page = zqe::Utf8ToU16(zqe::cli::ReadInput(o.Page));
    std::vector<zqe::TSEEntryReport> entries;
    se->CheckPage(zqe::Utf8ToU16(o.Page), page, zqe::Utf8ToU16(o.Sentence), zqe::Utf8ToU16(o.Filter),
                  o.Strict, &entries, zqe::Utf8ToU16(o.FinalUrl));
    const bool hit = se->ErrorCode() == 0;
    if (o.Json) {
      nlohmann::json list = nlohmann::json::array();
      for (const auto& e : entries) {
        nlohmann::json item = {{"link", U16ToUtf8(e.Link)},
                               {"short_url", U16ToUtf8(e.ShortUrl)},
                               {"date", U16ToUtf8(e.Date)},
                               {"matched", e.Matched},
                               {"skipped", U16ToUtf8(e.SkipReason)}};
        if (o.Rules) {
          item["rules"] = {{"entry", U16ToUtf8(e.EntryRule)},
                           {"link", U16ToUtf8(e.LinkRule)},
                           {"citation", U16ToUtf8(e.CiteRule)},
                           {"date", U16ToUtf8(e.DateRule)}};
        }
        list.push_back(std::move(item));
      }
      const nlohmann::json out = {{"error_code", se->ErrorCode()},
                                  {"url", hit ? U16ToUtf8(se->CheckUrl()) : ""},
                                  {"short_url", hit ? U16ToUtf8(se->CheckShortURL()) : ""},
                                  {"date", hit ? U16ToUtf8(se->CheckUrlDate()) : ""},
                                  {"remark", hit ? U16ToUtf8(se->CheckRemark()) : ""},
                                  {"entries", list}};
      std::printf("%s\n", out.dump(2).c_str());
    } else {
      for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        std::printf("#%zu %-16s link=%s short_url=%s date=%s\n", i + 1,
                    e.Matched ? "matched" : U16ToUtf8(e.SkipReason).c_str(), U16ToUtf8(e.Link).c_str(),
                    U16ToUtf8(e.ShortUrl).c_str(), U16ToUtf8(e.Date).c_str());
        if (o.Rules) {
          auto rule = [](const std::u16string& r) { return r.empty() ? std::string("-") : U16ToUtf8(r); };
          std::printf("    entry: %s\n    link: %s\n    citation: %s\n    date: %s\n", rule(e.EntryRule).c_str(),
                      rule(e.LinkRule).c_str(), rule(e.CiteRule).c_str(), rule(e.DateRule).c_str());
        }
      }
      std::printf("error_code=%d\n", se->ErrorCode());
      if (hit) {
        std::printf("url=%s\nshort_url=%s\ndate=%s\nremark=%s\n", U16ToUtf8(se->CheckUrl()).c_str(),
                    U16ToUtf8(se->CheckShortURL()).c_str(), U16ToUtf8(se->CheckUrlDate()).c_str(),
                    U16ToUtf8(se->CheckRemark()).c_str());
      }
    }
    return hit ? 0 : 1;
  } catch (const std::exception& e) {
    if (o.Json) std::printf("%s\n", nlohmann::json{{"error", e.what()}}.dump().c_str());
    else std::fprintf(stderr, "zqe extract: %s\n", e.what());
    return 2;
  }
}

const zqe::cli::RegisterCommand registerExtract(zqe::cli::CommandInfo{[](CLI::App& app) -> std::function<int()> {
  auto o = std::make_shared<TExtractOptions>();
  CLI::App* cmd = app.add_subcommand("extract", "Run an engine's result extraction on a saved page");
  cmd->add_flag("--json", o->Json, "Print one JSON object");
  cmd->add_option("--engine", o->Engine, "baidu, sougou, bing, 360so or google")->required();
  cmd->add_option("--sentence", o->Sentence, "The sentence to look for")->required();
  cmd->add_option("--filter", o->Filter, "URL filter: masks separated by |");
  cmd->add_flag("--strict", o->Strict, "Strict match");
  cmd->add_option("--final-url", o->FinalUrl, "The URL the page came from after redirects (block URLs give -5)");
  cmd->add_option("--config", o->Config, "Definition file whose result rules apply (default: engines.ini beside zqe)")
      ->check(CLI::ExistingFile);
  cmd->add_flag("--builtin", o->Builtin, "Use only the compiled-in result rules")->excludes("--config");
  cmd->add_flag("--rules", o->Rules, "Show which rule found each entry, link, citation and date");
  cmd->add_option("PAGE", o->Page, "The saved result page (UTF-8), or - for standard input")->required();
  return [o] { return RunExtract(*o); };
}});

}  // namespace
