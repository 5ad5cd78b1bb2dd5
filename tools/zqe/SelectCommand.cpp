// zqe select [--json] PAGE SELECTOR: what a selector finds on a page.
#include "HtmlCommandUtil.h"

#include <cstdio>
#include <string>

namespace zqe::cli {
namespace {

struct SelectOptions {
  bool json = false;
  std::string page;
  std::string selector;
};

int RunSelect(const SelectOptions& o) {
  html::TRef<html::IHtmlElementList> found;
  try {
    auto doc = html::ParseHtmlDocument(ReadPageText(o.page));
    found = doc->SimpleCSSSelector(Utf8ToU16(o.selector));
  } catch (const html::EHtmlParserError& e) {
    return PrintError(o.json, "select", e.what());
  }
  if (o.json) {
    nlohmann::ordered_json matches = nlohmann::ordered_json::array();
    for (int32_t i = 0; i < found->GetCount(); ++i) {
      auto e = found->GetItems(i);
      matches.push_back({{"tag", U16ToUtf8(e->GetTagName())},
                         {"line", e->GetSourceLineNum()},
                         {"col", e->GetSourceColNum()},
                         {"attributes", AttributesJson(*e)},
                         {"text", U16ToUtf8(e->GetInnerText())},
                         {"outer", U16ToUtf8(e->GetOuterHtml())}});
    }
    std::printf("%s\n", nlohmann::ordered_json{{"matches", std::move(matches)}}.dump().c_str());
    return 0;
  }
  for (int32_t i = 0; i < found->GetCount(); ++i) {
    auto e = found->GetItems(i);
    std::printf("%d:%d %s \"%s\"\n", e->GetSourceLineNum(), e->GetSourceColNum(),
                U16ToUtf8(e->GetTagName()).c_str(), OneLine(e->GetInnerText()).c_str());
  }
  std::printf("%d match%s\n", found->GetCount(), found->GetCount() == 1 ? "" : "es");
  return 0;
}

RegisterCommand registerSelect{{[](CLI::App& app) -> std::function<int()> {
  auto opts = std::make_shared<SelectOptions>();
  auto* cmd = app.add_subcommand("select", "List what a CSS selector finds on a page, in result order");
  cmd->add_flag("--json", opts->json, "{\"matches\": [{tag, line, col, attributes, text, outer}]}");
  cmd->add_option("PAGE", opts->page, "HTML file (UTF-8, BOM allowed) or - for standard input")->required();
  cmd->add_option("SELECTOR", opts->selector, "CSS selector, e.g. \"li.b_algo h2 a\"")->required();
  return [opts] { return RunSelect(*opts); };
}}};

}  // namespace
}  // namespace zqe::cli
