// Tokenizer and tree builder. The two passes run interleaved: each token is
// attached to the tree as soon as it is made, so no flat token list is kept.
// The builder keeps the open elements on a stack, and for each tag name the
// stack positions of its open elements, so that both finding a parent and
// matching a closing tag cost O(1) however deep or wide the page is.
#include "html/HtmlElement.h"

#include "platform/Text.h"

#include <unordered_map>

namespace zqe::html {
namespace {

constexpr std::u16string_view kSpaces = u" \t\n\r";

struct TStopSpace {
  bool operator()(char16_t c) const { return IsHtmlSpace(c); }
};
struct TStopTagName {
  bool operator()(char16_t c) const { return IsHtmlSpace(c) || c == u'/' || c == u'>'; }
};
struct TStopAttrName {
  bool operator()(char16_t c) const { return IsHtmlSpace(c) || c == u'='; }
};

// One token of a tag: skips whitespace; a token opened by a quote runs to
// the same quote and loses both, any other runs to a stop character. A
// quote that never closes (single quotes do not protect ">" in the tag-end
// search, so this happens) keeps the rest of the text minus that quote.
template <class Stop>
std::u16string_view ReadToken(std::u16string_view t, size_t& i, Stop isStop) {
  while (i < t.size() && IsHtmlSpace(t[i])) ++i;
  const size_t start = i;
  if (i >= t.size()) return {};
  const char16_t q = t[i++];
  if (q == u'"' || q == u'\'') {
    const size_t close = t.find(q, i);
    if (close == std::u16string_view::npos) {
      i = t.size();
      return t.substr(start + 1);
    }
    i = close + 1;
    return t.substr(start + 1, close - start - 1);
  }
  while (i < t.size() && !isStop(t[i])) ++i;
  return t.substr(start, i - start);
}

template <class F>
void ForEachRawAttribute(std::u16string_view t, F&& f) {
  size_t i = 0;
  for (;;) {
    while (i < t.size() && IsHtmlSpace(t[i])) ++i;
    if (i >= t.size()) return;
    std::u16string_view name = ReadToken(t, i, TStopAttrName{});
    std::u16string_view value;
    size_t j = i;
    while (j < t.size() && IsHtmlSpace(t[j])) ++j;
    if (j < t.size() && t[j] == u'=') {
      i = j + 1;
      value = ReadToken(t, i, TStopSpace{});
    }
    f(name, value);
  }
}

bool HasUpper(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= u'A' && c <= u'Z') return true;
  return false;
}

bool IsVoidTag(std::u16string_view n) {
  switch (n.size()) {
    case 2: return n == u"BR" || n == u"HR";
    case 3: return n == u"IMG" || n == u"COL" || n == u"WBR";
    case 4: return n == u"META" || n == u"LINK" || n == u"BASE";
    case 5: return n == u"FRAME" || n == u"EMBED" || n == u"INPUT";
    case 6: return n == u"KEYGEN" || n == u"DEVICE";
    case 7: return n == u"COMMAND";
    default: return false;
  }
}

const TStringDictionary& TagClassTable() {
  static const TStringDictionary* table = [] {
    auto* t = new TStringDictionary(512);
    auto fill = [t](std::initializer_list<const char16_t*> names, uint32_t flag, bool add) {
      for (const char16_t* n : names) {
        uint32_t flags = add && t->Find(n) ? (*t->Find(n))[0] : 0;
        t->AddOrSetValue(n, std::u16string(1, static_cast<char16_t>(flags | flag)));
      }
    };
    fill({u"HTML", u"HEAD", u"BODY", u"FRAMESET", u"SCRIPT", u"NOSCRIPT", u"STYLE", u"META", u"LINK",
          u"TITLE", u"FRAME", u"NOFRAMES", u"SECTION", u"NAV", u"ASIDE", u"HGROUP", u"HEADER", u"FOOTER",
          u"P", u"H1", u"H2", u"H3", u"H4", u"H5", u"H6", u"UL", u"OL", u"PRE", u"DIV", u"BLOCKQUOTE",
          u"HR", u"ADDRESS", u"FIGURE", u"FIGCAPTION", u"FORM", u"FIELDSET", u"INS", u"DEL", u"S", u"DL",
          u"DT", u"DD", u"LI", u"TABLE", u"CAPTION", u"THEAD", u"TFOOT", u"TBODY", u"COLGROUP", u"COL",
          u"TR", u"TH", u"TD", u"VIDEO", u"AUDIO", u"CANVAS", u"DETAILS", u"MENU", u"PLAINTEXT"},
         tcBlock, false);
    fill({u"OBJECT", u"BASE", u"FONT", u"TT", u"I", u"B", u"U", u"BIG", u"SMALL", u"EM", u"STRONG",
          u"DFN", u"CODE", u"SAMP", u"KBD", u"VAR", u"CITE", u"ABBR", u"TIME", u"ACRONYM", u"MARK",
          u"RUBY", u"RT", u"RP", u"A", u"IMG", u"BR", u"WBR", u"MAP", u"Q", u"SUB", u"SUP", u"BDO",
          u"IFRAME", u"EMBED", u"SPAN", u"INPUT", u"SELECT", u"TEXTAREA", u"LABEL", u"BUTTON",
          u"OPTGROUP", u"OPTION", u"LEGEND", u"DATALIST", u"KEYGEN", u"OUTPUT", u"PROGRESS", u"METER",
          u"AREA", u"PARAM", u"SOURCE", u"TRACK", u"SUMMARY", u"COMMAND", u"DEVICE"},
         tcInline, false);
    fill({u"META", u"LINK", u"BASE", u"FRAME", u"IMG", u"BR", u"WBR", u"EMBED", u"HR", u"INPUT",
          u"KEYGEN", u"COL", u"COMMAND", u"DEVICE"},
         tcVoid, true);
    fill({u"TITLE", u"A", u"P", u"H1", u"H2", u"H3", u"H4", u"H5", u"H6", u"PRE", u"ADDRESS", u"LI",
          u"TH", u"TD", u"SCRIPT", u"STYLE", u"INS", u"DEL", u"S"},
         tcClass8, true);
    fill({u"PRE", u"PLAINTEXT", u"TITLE", u"TEXTAREA"}, tcClass16, true);
    return t;
  }();
  return *table;
}

// Built when the library loads, so that parsing threads only ever read it.
[[maybe_unused]] const TStringDictionary& kTagClassTableAtLoad = TagClassTable();

void SetDecodedContent(THtmlElement& e, std::u16string_view raw) {
  if (raw.find(u'&') == std::u16string_view::npos) {
    e.FContent = raw;
  } else {
    e.FContentBuf = DecodeCharReferences(raw);
    e.FContent = e.FContentBuf;
  }
}

std::u16string_view TrimControls(std::u16string_view s) {
  while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
  return s;
}

class THtmlTreeBuilder {
 public:
  explicit THtmlTreeBuilder(THtmlElement* doc) : FDocument(doc) {}

  // Takes the caller's reference to e.
  void Add(THtmlElement* e) {
    if (e->FIsCloseTag) {
      AddCloseTag(e);
      return;
    }
    // Void elements take no children: the next element closes them.
    while (!FOpen.empty() && FOpen.back().Element->FIsVoid) PopOpen();
    THtmlElement* parent = FOpen.empty() ? FDocument : FOpen.back().Element;
    parent->AppendChild(e);
    if (!e->FClosed) {
      auto& positions = FOpenByName[e->FTagName];
      positions.push_back(FOpen.size());
      FOpen.push_back({e, &positions});
    }
  }

 private:
  struct TOpenElement {
    THtmlElement* Element;
    std::vector<size_t>* SameName;
  };

  void PopOpen() {
    FOpen.back().Element->FClosed = true;
    FOpen.back().SameName->pop_back();
    FOpen.pop_back();
  }

  void AddCloseTag(THtmlElement* e) {
    auto it = FOpenByName.find(e->FTagName);
    if (it == FOpenByName.end() || it->second.empty()) {
      e->Release();  // matches nothing: dropped
      return;
    }
    const size_t j = it->second.back();
    THtmlElement* opener = FOpen[j].Element;
    // Whatever is still open inside the matched element closes with it.
    while (FOpen.size() > j) PopOpen();
    opener->FCloseTag = e;
  }

  THtmlElement* FDocument;
  std::vector<TOpenElement> FOpen;
  // Keys view the tag name of an element in the tree, alive for the parse.
  std::unordered_map<std::u16string_view, std::vector<size_t>> FOpenByName;
};

class THtmlTokenizer {
 public:
  THtmlTokenizer(TSourceText* source, THtmlTreeBuilder& builder)
      : FSource(source), s(source->Text), n(source->Text.size()), FBuilder(builder) {}

  void Run() {
    while (p < n) {
      const size_t start = p;
      if (s[p] == u'<') {
        ReadMarkup(start);
      } else {
        size_t lt = s.find(u'<', p);
        p = lt == std::u16string_view::npos ? n : lt;
        THtmlElement* e = Make(TElementKind::Text, start);
        e->FTagName = u"#TEXT";
        SetDecodedContent(*e, e->FOrignal);
        e->FClosed = true;
        FBuilder.Add(e);
      }
    }
  }

 private:
  // Line and column of position q; positions are asked for in increasing
  // order, so the counting never goes back.
  void AdvanceTo(size_t q) {
    for (; FLinePos < q; ++FLinePos) {
      if (s[FLinePos] == u'\n') {
        ++FLine;
        FCol = 1;
      } else {
        ++FCol;
      }
    }
  }

  THtmlElement* Make(TElementKind kind, size_t start) {
    AdvanceTo(start);
    auto* e = new THtmlElement(FSource, kind, s.substr(start, p - start), FLine, FCol);
    e->AddRef();
    return e;
  }

  [[noreturn]] void TagEndError(size_t start) {
    AdvanceTo(start);
    std::u16string msg = u"LineNum:" + IntToU16(FLine) + u"无法找到Tag结束点:";
    msg.append(s.substr(start, 100));
    throw EHtmlParserError(msg);
  }

  [[noreturn]] void UnterminatedError(const char* fmt) {
    AdvanceTo(p);
    throw EHtmlParserError(Utf16Format(fmt, FLine, FCol));
  }

  // The next ">" from `from`, outside double quotes when quoteAware; npos
  // when there is none.
  size_t FindTagEnd(size_t from, bool quoteAware = true) const {
    if (!quoteAware) {
      const size_t gt = s.find(u'>', from);
      return gt;
    }
    bool quoted = false;
    for (size_t i = from; i < n; ++i) {
      const char16_t c = s[i];
      if (c == u'"')
        quoted = !quoted;
      else if (c == u'>' && !quoted)
        return i;
    }
    return std::u16string_view::npos;
  }

  // Consumes through the first ">" whose preceding characters are `before`
  // (one or two of them, possibly overlapping the opener).
  void ConsumeUntilClosedBy(size_t start, std::u16string_view before, bool quoteAware) {
    for (;;) {
      const size_t gt = FindTagEnd(p, quoteAware);
      if (gt == std::u16string_view::npos) TagEndError(start);
      p = gt + 1;
      if (gt >= before.size() && s.substr(gt - before.size(), before.size()) == before) return;
    }
  }

  void ConsumeThroughTagEnd(size_t start) {
    const size_t gt = FindTagEnd(p);
    if (gt == std::u16string_view::npos) TagEndError(start);
    p = gt + 1;
  }

  void ReadMarkup(size_t start) {
    ++p;  // "<"
    const char16_t next = p < n ? s[p] : 0;
    const char16_t after = p + 1 < n ? s[p + 1] : 0;
    TElementKind kind = TElementKind::Comment;
    if (next == u'!' && after == u'-') {
      // Comments and CDATA sections end at their "-->" or "]>" whatever
      // quotes they hold: real pages comment out scripts with an odd number
      // of double quotes, which would otherwise swallow the rest of the page.
      p += 2;
      ConsumeUntilClosedBy(start, u"--", false);
    } else if (next == u'!' && after == u'[') {
      p += 2;
      ConsumeUntilClosedBy(start, u"]", false);
    } else if (next == u'!') {
      ++p;
      size_t w = p;
      while (w < n && !IsHtmlSpace(s[w]) && s[w] != u'/' && s[w] != u'>') ++w;
      if (SameTextAscii(s.substr(p, w - p), u"DOCTYPE")) kind = TElementKind::DocType;
      if (p < n) ++p;
      ConsumeThroughTagEnd(start);
    } else if (next == u'?') {
      ++p;
      ConsumeUntilClosedBy(start, u"?", true);
    } else {
      if (p < n) ++p;
      ConsumeThroughTagEnd(start);
      kind = TElementKind::Tag;
    }

    THtmlElement* e = Make(kind, start);
    e->FClosed = true;
    switch (kind) {
      case TElementKind::Comment:
        e->FTagName = u"#COMMENT";
        SetDecodedContent(*e, e->FOrignal);
        break;
      case TElementKind::DocType: {
        e->FTagName = u"#DOCTYPE";
        SetDecodedContent(*e, e->FOrignal);
        std::u16string_view body = e->FContent;
        if (!body.empty()) {
          if (body.front() == u'<') body.remove_prefix(1);
          if (!body.empty() && body.back() == u'>') body.remove_suffix(1);
          body = TrimControls(body);
          body.remove_prefix(std::min<size_t>(8, body.size()));
          e->FContent = TrimControls(body);
        }
        break;
      }
      default:
        e->FClosed = false;
        ReadTag(*e, e->FOrignal);
        break;
    }
    const bool rawContent = kind == TElementKind::Tag && !e->FIsCloseTag && !e->FClosed &&
                            (e->FTagName == u"SCRIPT" || e->FTagName == u"STYLE");
    const bool isScript = rawContent && e->FTagName == u"SCRIPT";
    FBuilder.Add(e);
    if (!rawContent) return;

    const size_t contentStart = p;
    if (isScript)
      ReadScriptContent();
    else
      ReadStyleContent();
    THtmlElement* c = Make(isScript ? TElementKind::Script : TElementKind::Style, contentStart);
    c->FTagName = isScript ? u"#SCRIPT" : u"#STYLE";
    c->FClosed = true;
    SetDecodedContent(*c, c->FOrignal);
    FBuilder.Add(c);
  }

  // Whether a closing tag for `name` (upper case) starts at q.
  bool IsClosingTagFor(size_t q, std::u16string_view name) const {
    if (q + 1 >= n || s[q] != u'<' || s[q + 1] != u'/') return false;
    const size_t w = q + 2;
    if (n - w < name.size()) return false;
    for (size_t k = 0; k < name.size(); ++k)
      if (AsciiUpper(s[w + k]) != name[k]) return false;
    const size_t end = w + name.size();
    return end == n || IsHtmlSpace(s[end]) || s[end] == u'/' || s[end] == u'>';
  }

  bool StartsWithCommentOpen() const { return n - p >= 4 && s.substr(p, 4) == u"<!--"; }

  // Content wrapped in "<!--": runs through "-->" and the whitespace after.
  void ReadWrappedContent(const char* error) {
    p += std::min<size_t>(5, n - p);
    for (;;) {
      if (p >= n) UnterminatedError(error);
      if (s[p] == u'>' && s[p - 1] == u'-' && s[p - 2] == u'-') {
        ++p;
        while (p < n && IsHtmlSpace(s[p])) ++p;
        return;
      }
      ++p;
    }
  }

  void ReadScriptContent() {
    while (p < n && IsHtmlSpace(s[p])) ++p;
    if (StartsWithCommentOpen()) {
      ReadWrappedContent("未完结的Script行:%d;列:%d;");
      return;
    }
    while (p < n) {
      const char16_t c = s[p];
      if (c == u'"' || c == u'\'') {
        ++p;
        bool escaped = false;
        for (;;) {
          if (p >= n) return;
          const char16_t d = s[p++];
          if (d == c && !escaped) break;
          escaped = d == u'\\' ? !escaped : false;
        }
      } else if (c == u'/') {
        ++p;
        if (p < n && s[p] == u'*') {
          p += std::min<size_t>(2, n - p);
          while (p < n && !(s[p] == u'/' && s[p - 1] == u'*')) ++p;
          if (p >= n) return;
          ++p;
        } else if (p < n && s[p] == u'/') {
          // A line comment ends at its line break, or where the script's
          // closing tag stands ("//]]></script>" closes many real scripts).
          while (p < n && s[p] != u'\n' && !(s[p] == u'<' && IsClosingTagFor(p, u"SCRIPT"))) ++p;
          if (p < n && s[p] == u'\n') ++p;
        } else if (p < n) {
          ++p;
        }
      } else if (c == u'<') {
        if (IsClosingTagFor(p, u"SCRIPT")) return;
        ++p;
      } else {
        ++p;
      }
    }
  }

  void ReadStyleContent() {
    if (StartsWithCommentOpen()) {
      ReadWrappedContent("未完结的Style行:%d;列:%d;");
      return;
    }
    while (p < n) {
      const size_t lt = s.find(u'<', p);
      if (lt == std::u16string_view::npos) {
        p = n;
        return;
      }
      p = lt;
      if (IsClosingTagFor(p, u"STYLE")) return;
      ++p;
    }
  }

  TSourceText* FSource;
  const std::u16string_view s;
  const size_t n;
  THtmlTreeBuilder& FBuilder;
  size_t p = 0;
  size_t FLinePos = 0;
  int32_t FLine = 1;
  int32_t FCol = 1;
};

}  // namespace

void ReadTag(THtmlElement& e, std::u16string_view token) {
  std::u16string_view t = token;
  if (!t.empty() && t.front() == u'<') t.remove_prefix(1);
  if (!t.empty() && t.back() == u'>') t.remove_suffix(1);
  if (t.empty()) return;
  e.FClosed = t.back() == u'/';
  e.FIsCloseTag = t.front() == u'/';
  if (e.FIsCloseTag) {
    e.FKind = TElementKind::CloseTag;
    t.remove_prefix(1);
  }
  if (e.FClosed && !t.empty()) t.remove_suffix(1);
  size_t i = 0;
  std::u16string_view name = ReadToken(t, i, TStopTagName{});
  e.FTagName.resize(name.size());
  for (size_t k = 0; k < name.size(); ++k) e.FTagName[k] = AsciiUpper(name[k]);
  e.FIsVoid = IsVoidTag(e.FTagName);

  std::u16string_view rest = t.substr(i);
  if (rest.find_first_not_of(kSpaces) == std::u16string_view::npos) return;

  // Lower-cased names and decoded values go to FAttrBuf. Neither is longer
  // than its source, so reserving the raw lengths keeps the views stable.
  thread_local std::vector<std::pair<std::u16string_view, std::u16string_view>> raw;
  raw.clear();
  size_t reserve = 0;
  ForEachRawAttribute(rest, [&](std::u16string_view k, std::u16string_view v) {
    raw.emplace_back(k, v);
    if (HasUpper(k)) reserve += k.size();
    if (v.find(u'&') != std::u16string_view::npos) reserve += v.size();
  });
  e.FAttrBuf.reserve(reserve);
  e.FAttrs.reserve(raw.size());
  // Tags with many attributes find duplicates through a map, so that a
  // hostile tag cannot make this quadratic.
  constexpr size_t kLinearLimit = 16;
  std::unordered_map<std::u16string_view, size_t> index;
  for (auto [k, v] : raw) {
    std::u16string_view key = k;
    if (HasUpper(k)) {
      const size_t off = e.FAttrBuf.size();
      for (char16_t c : k) e.FAttrBuf.push_back(AsciiLowerChar(c));
      key = std::u16string_view(e.FAttrBuf).substr(off, k.size());
    }
    std::u16string_view value = v;
    if (v.find(u'&') != std::u16string_view::npos) {
      const size_t off = e.FAttrBuf.size();
      e.FAttrBuf.append(DecodeCharReferences(v));
      value = std::u16string_view(e.FAttrBuf).substr(off);
    }
    TAttr* existing = nullptr;
    if (raw.size() <= kLinearLimit) {
      for (TAttr& a : e.FAttrs)
        if (a.Key == key) existing = &a;
    } else {
      auto [it, fresh] = index.try_emplace(key, e.FAttrs.size());
      if (!fresh) existing = &e.FAttrs[it->second];
    }
    if (existing)
      existing->Value = value;
    else
      e.FAttrs.push_back({key, value});
  }
}

TAttributeDynArray ParseAttributeList(std::u16string_view text) {
  TAttributeDynArray out;
  ForEachRawAttribute(text, [&](std::u16string_view k, std::u16string_view v) {
    out.push_back({std::u16string(k), std::u16string(v)});
  });
  return out;
}

uint32_t GetTagClass(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& c : upper) c = AsciiUpper(c);
  const std::u16string* flags = TagClassTable().Find(upper);
  return flags ? (*flags)[0] : 0;
}

TRef<IHtmlElement> ParseHtmlDocument(std::u16string_view AHtml) {
  const size_t nul = AHtml.find(u'\0');
  if (nul != std::u16string_view::npos) AHtml = AHtml.substr(0, nul);
  auto* source = new TSourceText(AHtml);
  auto* doc = new THtmlElement(source, TElementKind::Document, {}, 0, 0);
  doc->FTagName = u"#DOCUMENT";
  // From here the document owns the source; an error releases the partial
  // tree with it.
  TRef<IHtmlElement> result(doc);
  THtmlTreeBuilder builder(doc);
  THtmlTokenizer(source, builder).Run();
  doc->FClosed = true;
  return result;
}

}  // namespace zqe::html
