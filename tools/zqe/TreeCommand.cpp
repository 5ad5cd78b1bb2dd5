// zqe tree [--json] PAGE: what a page parses into.
#include "HtmlCommandUtil.h"

#include <cstdio>
#include <string>

namespace zqe::cli {
namespace {

struct TreeOptions {
  bool json = false;
  std::string page;
};

bool IsLeafKind(const std::u16string& tag) { return !tag.empty() && tag[0] == u'#' && tag != u"#DOCUMENT"; }

void PrintNodeLine(const html::IHtmlElement& e, size_t depth) {
  const std::u16string tag = e.GetTagName();
  std::string line(depth * 2, ' ');
  line += U16ToUtf8(tag) + " " + std::to_string(e.GetSourceLineNum()) + ":" + std::to_string(e.GetSourceColNum());
  if (IsLeafKind(tag)) {
    line += " \"" + OneLine(e.GetContent()) + "\"";
  } else {
    for (auto& [k, v] : AttributesOf(e)) line += " " + k + "=\"" + OneLine(Utf8ToU16(v)) + "\"";
    if (auto close = e.GetCloseTag()) line += "  " + U16ToUtf8(close->GetOrignal());
  }
  std::printf("%s\n", line.c_str());
}

// Streams the JSON by hand: trees can be a million levels deep, deeper than
// any recursive serializer can go.
void PrintJsonNode(const html::IHtmlElement& e) {
  std::string out = "{\"tag\":" + JsonString(e.GetTagName());
  out += ",\"line\":" + std::to_string(e.GetSourceLineNum());
  out += ",\"col\":" + std::to_string(e.GetSourceColNum());
  out += ",\"attributes\":" + AttributesJson(e).dump();
  out += ",\"content\":" + JsonString(e.GetContent());
  auto close = e.GetCloseTag();
  out += ",\"close\":" + (close ? JsonString(close->GetOrignal()) : std::string("null"));
  out += ",\"children\":[";
  std::fputs(out.c_str(), stdout);
}

void Walk(const html::TRef<html::IHtmlElement>& root, bool json) {
  std::vector<std::pair<html::TRef<html::IHtmlElement>, int32_t>> stack;
  if (json)
    PrintJsonNode(*root);
  else
    PrintNodeLine(*root, 0);
  stack.emplace_back(root, 0);
  while (!stack.empty()) {
    auto& [e, next] = stack.back();
    if (next == e->GetChildrenCount()) {
      if (json) std::fputs("]}", stdout);
      stack.pop_back();
      continue;
    }
    if (json && next > 0) std::fputs(",", stdout);
    auto child = e->GetChildren(next++);
    if (json)
      PrintJsonNode(*child);
    else
      PrintNodeLine(*child, stack.size());
    stack.emplace_back(std::move(child), 0);
  }
  if (json) std::fputs("\n", stdout);
}

int RunTree(const TreeOptions& o) {
  html::TRef<html::IHtmlElement> doc;
  try {
    doc = html::ParseHtmlDocument(ReadPageText(o.page));
  } catch (const html::EHtmlParserError& e) {
    return PrintError(o.json, "tree", e.what());
  }
  Walk(doc, o.json);
  return 0;
}

RegisterCommand registerTree{{[](CLI::App& app) -> std::function<int()> {
  auto opts = std::make_shared<TreeOptions>();
  auto* cmd = app.add_subcommand("tree", "Show the element tree a page parses into");
  cmd->add_flag("--json", opts->json, "One JSON object per node: tag, line, col, attributes, content, close, children");
  cmd->add_option("PAGE", opts->page, "HTML file (UTF-8, BOM allowed) or - for standard input")->required();
  return [opts] { return RunTree(*opts); };
}}};

}  // namespace
}  // namespace zqe::cli
