// Tag names: the per-parse interner, and the fixed table of what each known
// tag is (block, inline, void, ...).
#include "html/HtmlTagNames.h"

#include "platform/LazyGlobal.h"

#include <algorithm>

namespace zqe::html {
namespace {

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

}  // namespace

int32_t TTagNames::InternName(std::u16string_view raw) {
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

void TTagNames::Rehash() {
  FSlots.assign(FSlots.size() * 2, -1);
  const size_t mask = FSlots.size() - 1;
  for (size_t id = 0; id < FEntries.size(); ++id) {
    size_t i = FEntries[id].Hash & mask;
    while (FSlots[i] >= 0) i = (i + 1) & mask;
    FSlots[i] = static_cast<int32_t>(id);
  }
}

uint32_t GetTagClass(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& c : upper) c = AsciiUpper(c);
  const std::u16string* flags = TagClassTable().Find(upper);
  return flags ? (*flags)[0] : 0;
}

void ReleaseTagClassTable() { gTagClasses.Release(); }

}  // namespace zqe::html
