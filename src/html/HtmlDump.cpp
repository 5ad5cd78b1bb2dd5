#include "html/HtmlElement.h"

namespace zqe::html {
namespace {

void AppendEscaped(std::u16string& out, std::u16string_view text) {
  for (char16_t c : text) {
    switch (c) {
      case u'\n': out += u"\\n"; break;
      case u'\r': out += u"\\r"; break;
      case u'\t': out += u"\\t"; break;
      case u'\\': out += u"\\\\"; break;
      case u'"': out += u"\\\""; break;
      default: out.push_back(c);
    }
  }
}

bool CollectAttribute(void* param, const std::u16string& name, const std::u16string& value) {
  auto& out = *static_cast<std::u16string*>(param);
  out += out.back() == u'[' ? u"" : u" ";
  out += name;
  out += u"=\"";
  AppendEscaped(out, value);
  out += u"\"";
  return true;
}

void AppendNode(std::u16string& out, const THtmlElement& e) {
  if (!e.IsTagElement() && e.FKind != TElementKind::Tag) {
    out += e.FTagName;
    out += u"\"";
    AppendEscaped(out, e.FContent);
    out += u"\"";
    return;
  }
  out += e.FTagName.empty() ? u"?" : e.FTagName;
  if (!e.Attrs().empty()) {
    out += u"[";
    e.EnumAttributeNames(&out, CollectAttribute);
    out += u"]";
  }
  if (!e.FCloseText.empty()) out += u"/";
}

}  // namespace

std::u16string DumpElementTree(const IHtmlElement& root) {
  const auto& top = static_cast<const THtmlElement&>(root);
  std::u16string out;
  std::vector<std::pair<const THtmlElement*, size_t>> stack;
  if (top.FKind != TElementKind::Document) {
    AppendNode(out, top);
    if (top.FChildren.empty()) return out;
    out += u"(";
  }
  stack.emplace_back(&top, 0);
  while (!stack.empty()) {
    auto& [e, next] = stack.back();
    if (next == e->FChildren.size()) {
      if (e != &top || top.FKind != TElementKind::Document) {
        if (!e->FChildren.empty()) out += u")";
      }
      stack.pop_back();
      continue;
    }
    if (next > 0) out += u" ";
    const THtmlElement* c = e->FChildren[next++];
    AppendNode(out, *c);
    if (!c->FChildren.empty()) {
      out += u"(";
      stack.emplace_back(c, 0);
    }
  }
  return out;
}

}  // namespace zqe::html
