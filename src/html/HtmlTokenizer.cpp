// Tokenizer and tree builder. The two passes run interleaved: each token is
// attached to the tree as soon as it is made, so no flat token list is kept.
#include "platform/LazyGlobal.h"
#include "html/HtmlElement.h"
#include "html/HtmlScan.h"

#include "platform/Text.h"

#include <algorithm>
#include <new>
#include <unordered_map>

namespace zqe::html {
namespace {


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
    const size_t close = q == u'"' ? FindAny<u'"'>(t.data(), i, t.size()) : FindAny<u'\''>(t.data(), i, t.size());
    if (close == t.size()) {
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

constinit LazyGlobal<TStringDictionary> gTagClasses;

const TStringDictionary& TagClassTable() {
  return gTagClasses.Get([] {
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
  });
}

// Built when the library loads, so that parsing threads only ever read it.
[[maybe_unused]] const TStringDictionary& kTagClassTableAtLoad = TagClassTable();

std::u16string_view TrimControls(std::u16string_view s) {
  while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
  return s;
}

constexpr std::u16string_view kTextName = u"#TEXT";
constexpr std::u16string_view kCommentName = u"#COMMENT";
constexpr std::u16string_view kDocTypeName = u"#DOCTYPE";
constexpr std::u16string_view kScriptName = u"#SCRIPT";
constexpr std::u16string_view kStyleName = u"#STYLE";

// The tag names met in one parse, each upper-cased once into the arena and
// shared by all its elements, with what the builder needs to know per name.
class TTagNames {
 public:
  struct TEntry {
    std::u16string_view Name;
    uint32_t Hash = 0;
    bool Void = false;
    bool Script = false;
    bool Style = false;
    int32_t LastOpen = -1;  // top open element of this name, -1 for none
  };

  explicit TTagNames(TSourceText* arena) : FArena(arena) {
    FSlots.assign(256, -1);
    FEntries.reserve(128);
  }

  // The entry for raw (any case).
  int32_t Intern(std::u16string_view raw) {
    char16_t small[32];
    char16_t* upper = raw.size() <= 32 ? small : FArena->AllocateArray<char16_t>(raw.size());
    uint32_t h = 0;
    for (size_t k = 0; k < raw.size(); ++k) {
      const char16_t c = AsciiUpper(raw[k]);
      upper[k] = c;
      h = h * 31 + c;
    }
    const std::u16string_view name(upper, raw.size());
    size_t mask = FSlots.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      const int32_t id = FSlots[i];
      if (id < 0) break;
      const TEntry& e = FEntries[static_cast<size_t>(id)];
      if (e.Hash == h && e.Name == name) return id;
    }
    TEntry e;
    if (upper == small) {
      char16_t* kept = FArena->AllocateArray<char16_t>(raw.size());
      std::copy(small, small + raw.size(), kept);
      e.Name = std::u16string_view(kept, raw.size());
    } else {
      e.Name = name;
    }
    e.Hash = h;
    e.Void = IsVoidTag(e.Name);
    e.Script = e.Name == u"SCRIPT";
    e.Style = e.Name == u"STYLE";
    const auto id = static_cast<int32_t>(FEntries.size());
    FEntries.push_back(e);
    if (FEntries.size() * 2 > FSlots.size()) Rehash();
    mask = FSlots.size() - 1;
    size_t i = h & mask;
    while (FSlots[i] >= 0) i = (i + 1) & mask;
    FSlots[i] = id;
    return id;
  }

  TEntry& operator[](int32_t id) { return FEntries[static_cast<size_t>(id)]; }

 private:
  void Rehash() {
    FSlots.assign(FSlots.size() * 2, -1);
    const size_t mask = FSlots.size() - 1;
    for (size_t id = 0; id < FEntries.size(); ++id) {
      size_t i = FEntries[id].Hash & mask;
      while (FSlots[i] >= 0) i = (i + 1) & mask;
      FSlots[i] = static_cast<int32_t>(id);
    }
  }

  TSourceText* FArena;
  std::vector<int32_t> FSlots;
  std::vector<TEntry> FEntries;
};

// Builds the tree as tokens arrive. Open elements sit on a stack, and each
// open element links to the next open element of its name below it, so
// that both finding a parent and matching a closing tag cost O(1) however
// deep or wide the page is. The children of the open elements wait on one
// shared stack (an element's children are always its top) and move into an
// exact-size arena array when the element closes.
class THtmlTreeBuilder {
 public:
  THtmlTreeBuilder(THtmlElement* doc, TTagNames& names) : FDocument(doc), FNames(names) {
    FPending.reserve(256);
    FOpen.reserve(64);
  }

  ~THtmlTreeBuilder() {
    if (FFinished) return;
    // A parse error: nothing waiting here is in a children array yet, and
    // each holds the one reference its parent would have held.
    for (THtmlElement* e : FPending) {
      e->FOwner = nullptr;
      e->FIndexInOwner = -1;
      e->Release();
    }
  }

  // Takes the caller's reference to e; name is its tag name entry (-1 for
  // nodes that are not tags).
  void Add(THtmlElement* e, int32_t name) {
    if (e->FIsCloseTag) {
      AddCloseTag(e, name);
      return;
    }
    // Void elements take no children: the next element closes them.
    while (!FOpen.empty() && FOpen.back().Element->FIsVoid) PopOpen();
    const size_t first = FOpen.empty() ? 0 : FOpen.back().FirstChild;
    e->FOwner = FOpen.empty() ? FDocument : FOpen.back().Element;
    e->FIndexInOwner = static_cast<int32_t>(FPending.size() - first);
    FPending.push_back(e);
    if (!e->FClosed) {
      TTagNames::TEntry& entry = FNames[name];
      FOpen.push_back({e, name, entry.LastOpen, FPending.size()});
      entry.LastOpen = static_cast<int32_t>(FOpen.size() - 1);
    }
  }

  // Moves every waiting child into its parent's array.
  void Finish() {
    while (!FOpen.empty()) {
      TakeChildren(FOpen.back().Element, FOpen.back().FirstChild);
      FOpen.pop_back();
    }
    TakeChildren(FDocument, 0);
    FFinished = true;
  }

 private:
  struct TOpenElement {
    THtmlElement* Element;
    int32_t Name;
    int32_t BelowSameName;
    size_t FirstChild;  // in FPending
  };

  void TakeChildren(THtmlElement* e, size_t first) {
    const size_t count = FPending.size() - first;
    if (count == 0) return;
    auto* kids = FDocument->FSource->AllocateArray<THtmlElement*>(count);
    std::copy(FPending.begin() + static_cast<std::ptrdiff_t>(first), FPending.end(), kids);
    e->FChildren.Data = kids;
    e->FChildren.Count = static_cast<uint32_t>(count);
    FPending.resize(first);
  }

  void PopOpen() {
    TOpenElement& top = FOpen.back();
    top.Element->FClosed = true;
    TakeChildren(top.Element, top.FirstChild);
    FNames[top.Name].LastOpen = top.BelowSameName;
    FOpen.pop_back();
  }

  void AddCloseTag(THtmlElement* e, int32_t name) {
    const int32_t j = FNames[name].LastOpen;
    if (j < 0) {
      e->Release();  // matches nothing: dropped
      return;
    }
    THtmlElement* opener = FOpen[static_cast<size_t>(j)].Element;
    // Whatever is still open inside the matched element closes with it.
    while (FOpen.size() > static_cast<size_t>(j)) PopOpen();
    opener->FCloseTag = e;
  }

  THtmlElement* FDocument;
  TTagNames& FNames;
  std::vector<TOpenElement> FOpen;
  std::vector<THtmlElement*> FPending;
  bool FFinished = false;
};

class THtmlTokenizer {
 public:
  THtmlTokenizer(TSourceText* source, THtmlTreeBuilder& builder, TTagNames& names)
      : FSource(source), s(source->Text), d(source->Text.data()), n(source->Text.size()), FBuilder(builder),
        FNames(names) {}

  void Run() {
    while (p < n) {
      const size_t start = p;
      if (d[p] == u'<') {
        ReadMarkup(start);
      } else {
        p = FindAny<u'<', u'&'>(d, p, n);
        const bool hasReference = p < n && d[p] == u'&';
        if (hasReference) p = FindAny<u'<'>(d, p, n);
        THtmlElement* e = Make(TElementKind::Text, start);
        e->FTagName = kTextName;
        if (hasReference)
          SetDecodedContent(*e, e->FOrignal);
        else
          e->FContent = e->FOrignal;
        e->FClosed = true;
        FBuilder.Add(e, -1);
      }
    }
  }

 private:
  // Line and column of position q; positions are asked for in increasing
  // order, so the counting never goes back.
  void AdvanceTo(size_t q) {
    if (q > FLinePos) {
      size_t lastFeed = 0;
      const int32_t feeds = CountLineFeeds(d, FLinePos, q, lastFeed);
      if (feeds) {
        FLine += feeds;
        FLineStart = lastFeed + 1;
      }
      FLinePos = q;
    }
    FCol = static_cast<int32_t>(q - FLineStart) + 1;
  }

  THtmlElement* Make(TElementKind kind, size_t start) {
    AdvanceTo(start);
    void* mem = FSource->Allocate(sizeof(THtmlElement));
    auto* e = new (mem) THtmlElement(FSource, kind, s.substr(start, p - start), FLine, FCol);
    e->AddRef();
    return e;
  }

  void SetDecodedContent(THtmlElement& e, std::u16string_view raw) {
    if (FindAny<u'&'>(raw.data(), 0, raw.size()) == raw.size()) {
      e.FContent = raw;
      return;
    }
    char16_t* out = FSource->AllocateArray<char16_t>(raw.size());
    e.FContent = std::u16string_view(out, DecodeCharReferencesTo(raw, out));
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
      const size_t gt = FindAny<u'>'>(d, from, n);
      return gt == n ? std::u16string_view::npos : gt;
    }
    bool quoted = false;
    for (size_t i = from;; ++i) {
      i = quoted ? FindAny<u'"'>(d, i, n) : FindAny<u'"', u'>'>(d, i, n);
      if (i == n) return std::u16string_view::npos;
      if (d[i] == u'"')
        quoted = !quoted;
      else
        return i;
    }
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
    int32_t name = -1;
    switch (kind) {
      case TElementKind::Comment:
        e->FTagName = kCommentName;
        SetDecodedContent(*e, e->FOrignal);
        break;
      case TElementKind::DocType: {
        e->FTagName = kDocTypeName;
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
        name = ReadTag(*e, e->FOrignal);
        break;
    }
    const bool rawContent = kind == TElementKind::Tag && !e->FIsCloseTag && !e->FClosed &&
                            (FNames[name].Script || FNames[name].Style);
    const bool isScript = rawContent && FNames[name].Script;
    FBuilder.Add(e, name);
    if (!rawContent) return;

    const size_t contentStart = p;
    if (isScript)
      ReadScriptContent();
    else
      ReadStyleContent();
    THtmlElement* c = Make(isScript ? TElementKind::Script : TElementKind::Style, contentStart);
    c->FTagName = isScript ? kScriptName : kStyleName;
    c->FClosed = true;
    SetDecodedContent(*c, c->FOrignal);
    FBuilder.Add(c, -1);
  }

  // Reads a tag token (brackets included) into e: closing and self-closing
  // marks, upper-case name, attributes. Returns the name's entry.
  int32_t ReadTag(THtmlElement& e, std::u16string_view token) {
    std::u16string_view t = token;
    if (!t.empty() && t.front() == u'<') t.remove_prefix(1);
    if (!t.empty() && t.back() == u'>') t.remove_suffix(1);
    if (t.empty()) {
      const int32_t id = FNames.Intern({});
      e.FTagName = FNames[id].Name;
      return id;
    }
    e.FClosed = t.back() == u'/';
    e.FIsCloseTag = t.front() == u'/';
    if (e.FIsCloseTag) {
      e.FKind = TElementKind::CloseTag;
      t.remove_prefix(1);
    }
    if (e.FClosed && !t.empty()) t.remove_suffix(1);
    size_t i = 0;
    const std::u16string_view rawName = ReadToken(t, i, TStopTagName{});
    const int32_t id = FNames.Intern(rawName);
    e.FTagName = FNames[id].Name;
    e.FIsVoid = FNames[id].Void;

    std::u16string_view rest = t.substr(i);
    FRaw.clear();
    ForEachRawAttribute(rest, [&](std::u16string_view k, std::u16string_view v) { FRaw.emplace_back(k, v); });
    if (FRaw.empty()) return id;

    // Lower-cased names and decoded values go to the arena.
    TAttr* attrs = FSource->AllocateArray<TAttr>(FRaw.size());
    uint32_t count = 0;
    // Tags with many attributes find duplicates through a map, so that a
    // hostile tag cannot make this quadratic.
    constexpr size_t kLinearLimit = 16;
    std::unordered_map<std::u16string_view, size_t> index;
    for (auto [k, v] : FRaw) {
      std::u16string_view key = k;
      if (HasUpper(k)) {
        char16_t* lower = FSource->AllocateArray<char16_t>(k.size());
        for (size_t c = 0; c < k.size(); ++c) lower[c] = AsciiLowerChar(k[c]);
        key = std::u16string_view(lower, k.size());
      }
      std::u16string_view value = v;
      if (FindAny<u'&'>(v.data(), 0, v.size()) != v.size()) {
        char16_t* out = FSource->AllocateArray<char16_t>(v.size());
        value = std::u16string_view(out, DecodeCharReferencesTo(v, out));
      }
      TAttr* existing = nullptr;
      if (FRaw.size() <= kLinearLimit) {
        for (uint32_t a = 0; a < count; ++a)
          if (attrs[a].Key == key) existing = &attrs[a];
      } else {
        auto [it, fresh] = index.try_emplace(key, count);
        if (!fresh) existing = &attrs[it->second];
      }
      if (existing)
        existing->Value = value;
      else
        new (&attrs[count++]) TAttr{key, value};
    }
    e.FAttrs.Data = attrs;
    e.FAttrs.Count = count;
    return id;
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
      p = FindAny<u'>'>(d, p, n);
      if (p >= n) UnterminatedError(error);
      if (s[p - 1] == u'-' && s[p - 2] == u'-') {
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
    for (;;) {
      p = FindAny<u'"', u'\'', u'/', u'<'>(d, p, n);
      if (p >= n) return;
      const char16_t c = d[p];
      if (c == u'"' || c == u'\'') {
        // A backslash takes the unit after it, whatever it is.
        ++p;
        for (;;) {
          p = c == u'"' ? FindAny<u'"', u'\\'>(d, p, n) : FindAny<u'\'', u'\\'>(d, p, n);
          if (p >= n) return;
          if (d[p] == c) {
            ++p;
            break;
          }
          p += 2;
          if (p >= n) {
            p = n;
            return;
          }
        }
      } else if (c == u'/') {
        ++p;
        if (p < n && s[p] == u'*') {
          p += std::min<size_t>(2, n - p);
          for (;;) {
            p = FindAny<u'/'>(d, p, n);
            if (p >= n) return;
            if (d[p - 1] == u'*') break;
            ++p;
          }
          ++p;
        } else if (p < n && s[p] == u'/') {
          // A line comment ends at its line break, or where the script's
          // closing tag stands ("//]]></script>" closes many real scripts).
          for (;;) {
            p = FindAny<u'\n', u'<'>(d, p, n);
            if (p >= n || d[p] == u'\n' || IsClosingTagFor(p, u"SCRIPT")) break;
            ++p;
          }
          if (p < n && s[p] == u'\n') ++p;
        } else if (p < n) {
          ++p;
        }
      } else {
        if (IsClosingTagFor(p, u"SCRIPT")) return;
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
      p = FindAny<u'<'>(d, p, n);
      if (p >= n) return;
      if (IsClosingTagFor(p, u"STYLE")) return;
      ++p;
    }
  }

  TSourceText* FSource;
  const std::u16string_view s;
  const char16_t* const d;
  const size_t n;
  THtmlTreeBuilder& FBuilder;
  TTagNames& FNames;
  std::vector<std::pair<std::u16string_view, std::u16string_view>> FRaw;
  size_t p = 0;
  size_t FLinePos = 0;
  size_t FLineStart = 0;
  int32_t FLine = 1;
  int32_t FCol = 1;
};

}  // namespace

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
  AHtml = AHtml.substr(0, FindAny<u'\0'>(AHtml.data(), 0, AHtml.size()));
  auto* source = new TSourceText(AHtml);
  auto* doc = new (source->Allocate(sizeof(THtmlElement))) THtmlElement(source, TElementKind::Document, {}, 0, 0);
  doc->FTagName = u"#DOCUMENT";
  // From here the document owns the source; an error releases the partial
  // tree with it.
  TRef<IHtmlElement> result(doc);
  TTagNames names(source);
  THtmlTreeBuilder builder(doc, names);
  THtmlTokenizer(source, builder, names).Run();
  builder.Finish();
  doc->FClosed = true;
  return result;
}

void ReleaseTagClassTable() { gTagClasses.Release(); }

}  // namespace zqe::html
