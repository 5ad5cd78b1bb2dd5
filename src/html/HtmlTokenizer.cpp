// The tokenizer: cuts the page into tags, text, comments and raw script and
// style content, and hands each token to the tree builder as soon as it is
// made, so no flat token list is kept.
#include "html/HtmlTokenizer.h"

#include "html/HtmlScan.h"
#include "html/HtmlTagNames.h"
#include "html/HtmlTreeBuilder.h"
#include "platform/Text.h"

#include <algorithm>
#include <new>
#include <optional>
#include <unordered_map>

namespace zqe::html {
namespace {

// Whether c ends a tag name: white space, "/" or ">", all below 64, so one
// test of a 64-bit set answers.
bool EndsTagName(char16_t c) {
  constexpr uint64_t kStops = uint64_t{1} << u' ' | uint64_t{1} << u'\t' | uint64_t{1} << u'\n' |
                              uint64_t{1} << u'\r' | uint64_t{1} << u'/' | uint64_t{1} << u'>';
  return c < 64 && ((kStops >> c) & 1);
}

struct TStopTagName {
  bool operator()(char16_t c) const { return EndsTagName(c); }
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

bool IsAsciiLetter(char16_t c) { return static_cast<char16_t>((c | 0x20) - u'a') < 26; }

bool HasUpper(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= u'A' && c <= u'Z') return true;
  return false;
}

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

}  // namespace

THtmlTokenizer::THtmlTokenizer(TSourceText* source, THtmlTreeBuilder& builder, TTagNames& names)
    : FSource(source),
      FText(source->Text),
      FChars(source->Text.data()),
      FLength(source->Text.size()),
      FBuilder(builder),
      FNames(names) {}

void THtmlTokenizer::Run() {
  while (FPos < FLength) {
    const size_t start = FPos;
    if (FChars[FPos] == u'<') {
      ReadMarkup(start);
    } else {
      FPos = FindAny<u'<', u'&'>(FChars, FPos, FLength);
      const bool hasReference = FPos < FLength && FChars[FPos] == u'&';
      const size_t firstAmp = FPos - start;
      if (hasReference) FPos = FindAny<u'<'>(FChars, FPos, FLength);
      THtmlElement* e = Make(TElementKind::Text, start);
      e->FTagName = kTextName;
      if (hasReference)
        SetDecodedContent(*e, e->FOrignal, firstAmp);
      else
        e->FContent = e->FOrignal;
      e->FClosed = true;
      FBuilder.Add(e, -1);
    }
  }
}

THtmlTokenizer::~THtmlTokenizer() { NoteElementsMade(FMade); }

THtmlElement* THtmlTokenizer::Make(TElementKind kind, size_t start) {
  void* mem = FSource->Allocate(sizeof(THtmlElement));
  ++FMade;
  // start <= FPos <= FLength: a view made directly, without substr's test.
  return new (mem) THtmlElement(FSource, kind, std::u16string_view(FChars + start, FPos - start),
                                THtmlElement::TDuringParse{});
}

void THtmlTokenizer::SetDecodedContent(THtmlElement& e, std::u16string_view raw) {
  SetDecodedContent(e, raw, FindAny<u'&'>(raw.data(), 0, raw.size()));
}

void THtmlTokenizer::SetDecodedContent(THtmlElement& e, std::u16string_view raw, size_t firstAmp) {
  if (firstAmp >= raw.size()) {
    e.FContent = raw;
    return;
  }
  char16_t* out = FSource->AllocateArray<char16_t>(raw.size());
  e.FContent = std::u16string_view(out, DecodeCharReferencesTo(raw, out, firstAmp));
}

void THtmlTokenizer::TagEndError(size_t start) {
  std::u16string msg = u"LineNum:" + IntToU16(FSource->LineAndColumn(start).first) + u"无法找到Tag结束点:";
  msg.append(FText.substr(start, 100));
  throw EHtmlParserError(msg);
}

void THtmlTokenizer::UnterminatedError(const char* fmt) {
  const auto [line, col] = FSource->LineAndColumn(FPos);
  throw EHtmlParserError(Utf16Format(fmt, line, col));
}

// The next ">" from `from`, outside double quotes when quoteAware; npos
// when there is none.
size_t THtmlTokenizer::FindTagEnd(size_t from, bool quoteAware) const {
  if (!quoteAware) {
    const size_t gt = FindAny<u'>'>(FChars, from, FLength);
    return gt == FLength ? std::u16string_view::npos : gt;
  }
  const size_t gt = FindUnquotedTagEnd(FChars, from, FLength);
  return gt == FLength ? std::u16string_view::npos : gt;
}

// Consumes through the first ">" whose preceding characters are `before`
// (one or two of them, possibly overlapping the opener).
void THtmlTokenizer::ConsumeUntilClosedBy(size_t start, std::u16string_view before, bool quoteAware) {
  for (;;) {
    const size_t gt = FindTagEnd(FPos, quoteAware);
    if (gt == std::u16string_view::npos) TagEndError(start);
    FPos = gt + 1;
    if (gt >= before.size() && FText.substr(gt - before.size(), before.size()) == before) return;
  }
}

void THtmlTokenizer::ConsumeThroughTagEnd(size_t start) {
  const size_t gt = FindTagEnd(FPos);
  if (gt == std::u16string_view::npos) TagEndError(start);
  FPos = gt + 1;
}

// Nearly every token of a page is an opening or closing tag whose name
// starts with a letter right after its "<" or "</". Read here in one pass
// (name, end, self-closing mark, attribute text), it is what SplitTag makes
// of its text; a quote in the name, which the tag-end search counts from
// the second unit after "<" on, leaves the token to ReadMarkup's general
// path. False, with nothing consumed, for any other token.
bool THtmlTokenizer::ReadPlainTag(size_t start) {
  size_t b = start + 1;
  const bool closing = b < FLength && FChars[b] == u'/';
  if (closing) ++b;
  if (b >= FLength || !IsAsciiLetter(FChars[b])) return false;
  size_t n = b + 1;
  for (; n < FLength && !EndsTagName(FChars[n]); ++n)
    if (FChars[n] == u'"') return false;
  // From n on the search finds what it would from start + 2 (<= n): no
  // quote and no ">" lies between. Closing tags and tags without
  // attributes end right after their name.
  const size_t gt = n < FLength && FChars[n] == u'>' ? n : FindTagEnd(n);
  if (gt == std::u16string_view::npos) TagEndError(start);
  FPos = gt + 1;
  // Views made directly: every bound is known to lie in the text.
  const std::u16string_view name(FChars + b, n - b);
  if (closing) {
    FBuilder.AddCloseTag(std::u16string_view(FChars + start, FPos - start), FNames.Intern(name));
    return true;
  }
  TTagParts parts;
  parts.Name = name;
  // A "/" ends the name, so the mark is never part of it.
  parts.SelfClosing = FChars[gt - 1] == u'/';
  parts.Rest = std::u16string_view(FChars + n, (parts.SelfClosing ? gt - 1 : gt) - n);
  AddTag(start, parts);
  return true;
}

// Makes the element of an opening tag that ends at FPos (self-closing
// mark and upper-case name; the attributes wait until they are asked for),
// and reads the raw content of a script or style.
void THtmlTokenizer::AddTag(size_t start, const TTagParts& parts) {
  const int32_t id = FNames.Intern(parts.Name);
  const TTagNames::TEntry& entry = FNames[id];
  THtmlElement* e = Make(TElementKind::Tag, start);
  e->FClosed = parts.SelfClosing;
  e->FTagName = entry.Name;
  e->FIsVoid = entry.Void;
  if (HasAttributeText(parts.Rest)) e->FAttrsPending.store(true, std::memory_order_relaxed);
  const bool rawContent = !parts.SelfClosing && (entry.Script || entry.Style);
  const bool isScript = entry.Script;
  FBuilder.Add(e, id);
  if (rawContent) ReadRawContent(isScript);
}

void THtmlTokenizer::ReadRawContent(bool isScript) {
  const size_t contentStart = FPos;
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

void THtmlTokenizer::ReadMarkup(size_t start) {
  if (ReadPlainTag(start)) return;
  ++FPos;  // "<"
  const char16_t next = FPos < FLength ? FText[FPos] : 0;
  const char16_t after = FPos + 1 < FLength ? FText[FPos + 1] : 0;
  TElementKind kind = TElementKind::Comment;
  if (next == u'!' && after == u'-') {
    // Comments and CDATA sections end at their "-->" or "]>" whatever
    // quotes they hold: real pages comment out scripts with an odd number
    // of double quotes, which would otherwise swallow the rest of the page.
    FPos += 2;
    ConsumeUntilClosedBy(start, u"--", false);
  } else if (next == u'!' && after == u'[') {
    FPos += 2;
    ConsumeUntilClosedBy(start, u"]", false);
  } else if (next == u'!') {
    ++FPos;
    size_t w = FPos;
    while (w < FLength && !IsHtmlSpace(FText[w]) && FText[w] != u'/' && FText[w] != u'>') ++w;
    if (SameTextAscii(FText.substr(FPos, w - FPos), u"DOCTYPE")) kind = TElementKind::DocType;
    if (FPos < FLength) ++FPos;
    ConsumeThroughTagEnd(start);
  } else if (next == u'?') {
    ++FPos;
    ConsumeUntilClosedBy(start, u"?", true);
  } else {
    if (FPos < FLength) ++FPos;
    ConsumeThroughTagEnd(start);
    kind = TElementKind::Tag;
  }

  if (kind == TElementKind::Tag) {
    const std::u16string_view token = FText.substr(start, FPos - start);
    const TTagParts parts = SplitTag(token);
    // A closing tag is no element of its own: the element it closes keeps
    // its text.
    if (parts.Closing)
      FBuilder.AddCloseTag(token, FNames.Intern(parts.Name));
    else
      AddTag(start, parts);
    return;
  }
  THtmlElement* e = Make(kind, start);
  e->FClosed = true;
  if (kind == TElementKind::Comment) {
    e->FTagName = kCommentName;
    SetDecodedContent(*e, e->FOrignal);
  } else {
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
  }
  FBuilder.Add(e, -1);
}

TTagParts SplitTag(std::u16string_view token) {
  // Pointers rather than views: this runs for every tag of every page.
  const char16_t* b = token.data();
  const char16_t* e = b + token.size();
  if (b != e && *b == u'<') ++b;
  if (b != e && e[-1] == u'>') --e;
  TTagParts parts;
  if (b == e) return parts;
  parts.SelfClosing = e[-1] == u'/';
  parts.Closing = *b == u'/';
  if (parts.Closing) ++b;
  if (parts.SelfClosing && b != e) --e;
  const char16_t* n = b;
  if (n != e && IsAsciiLetter(*n)) {
    // Nearly every tag: a name right after the bracket, no spaces or quotes
    // for ReadToken to handle.
    ++n;
    while (n != e && !EndsTagName(*n)) ++n;
    parts.Name = std::u16string_view(b, static_cast<size_t>(n - b));
  } else {
    const std::u16string_view t(b, static_cast<size_t>(e - b));
    size_t i = 0;
    parts.Name = ReadToken(t, i, TStopTagName{});
    n = b + i;
  }
  parts.Rest = std::u16string_view(n, static_cast<size_t>(e - n));
  return parts;
}

namespace {

// An attribute name's end: white space or "=".
bool EndsAttrName(char16_t c) { return c <= u'=' && (c == u'=' || IsHtmlSpace(c)); }

// One pair of a tag's attribute text, with what the table needs to know on
// the way: whether the name has upper-case letters and whether the value
// may hold a character reference.
struct TRawAttr {
  std::u16string_view Name, Value;
  bool Upper = false, Reference = false;
};

// Reads the pair starting at t[i] (not white space), in one pass over its
// units. The name and the value are tokens as ReadToken reads them (names
// end at white space or "=", values at white space); "=" may stand
// between white space; a name without "=" has an empty value.
TRawAttr ReadRawAttr(std::u16string_view t, size_t& i) {
  const char16_t* p = t.data();
  const size_t n = t.size();
  TRawAttr a;
  if (p[i] == u'"' || p[i] == u'\'') {
    a.Name = ReadToken(t, i, TStopAttrName{});
    a.Upper = HasUpper(a.Name);
  } else {
    // As in ReadToken, the first unit belongs to the name whatever it is.
    const size_t start = i;
    bool upper = static_cast<char16_t>(p[i] - u'A') < 26;
    for (++i; i < n && !EndsAttrName(p[i]); ++i) upper |= static_cast<char16_t>(p[i] - u'A') < 26;
    a.Name = std::u16string_view(p + start, i - start);
    a.Upper = upper;
  }
  size_t j = i;
  while (j < n && IsHtmlSpace(p[j])) ++j;
  if (j >= n || p[j] != u'=') return a;
  i = j + 1;
  while (i < n && IsHtmlSpace(p[i])) ++i;
  if (i >= n) return a;
  const size_t start = i;
  const char16_t q = p[i];
  if (q == u'"' || q == u'\'') {
    ++i;
    size_t close = q == u'"' ? FindAny<u'"', u'&'>(p, i, n) : FindAny<u'\'', u'&'>(p, i, n);
    if (close < n && p[close] == u'&') {
      a.Reference = true;
      close = q == u'"' ? FindAny<u'"'>(p, close, n) : FindAny<u'\''>(p, close, n);
    }
    if (close == n) {
      i = n;
      a.Value = std::u16string_view(p + start + 1, n - start - 1);
    } else {
      i = close + 1;
      a.Value = std::u16string_view(p + start + 1, close - start - 1);
    }
    return a;
  }
  bool reference = false;
  for (++i; i < n && !IsHtmlSpace(p[i]); ++i) reference |= p[i] == u'&';
  a.Reference = reference || q == u'&';
  a.Value = std::u16string_view(p + start, i - start);
  return a;
}

// Calls f with each pair of an attribute text in order.
template <class F>
void ForEachRawAttribute(std::u16string_view t, F&& f) {
  for (size_t i = 0;;) {
    while (i < t.size() && IsHtmlSpace(t[i])) ++i;
    if (i >= t.size()) return;
    f(ReadRawAttr(t, i));
  }
}

}  // namespace

TArenaArray<TAttr> ReadAttributeTable(TSourceText& arena, std::u16string_view rest) {
  // The pairs wait in a small buffer (or, past it, a vector) so that the
  // table is one exact-size arena array made in one pass.
  constexpr size_t kSmall = 16;
  union TSmall {
    TSmall() {}  // left unset: only the slots below count are ever read
    TAttr Items[kSmall];
  } buffer;
  TAttr* const small = buffer.Items;
  std::vector<TAttr> many;
  size_t count = 0;
  // Tags with many attributes find repeated names through a map, so that a
  // hostile tag cannot make this quadratic. Made only then: most tags
  // have a few attributes, and the empty map cost more than their reading.
  std::optional<std::unordered_map<std::u16string_view, size_t>> index;
  auto add = [&](const TRawAttr& raw) {
    std::u16string_view key = raw.Name;
    if (raw.Upper) {
      char16_t* lower = arena.AllocateArray<char16_t>(key.size());
      for (size_t c = 0; c < key.size(); ++c) lower[c] = AsciiLowerChar(key[c]);
      key = std::u16string_view(lower, key.size());
    }
    std::u16string_view value = raw.Value;
    if (raw.Reference) {
      char16_t* out = arena.AllocateArray<char16_t>(value.size());
      value = std::u16string_view(out, DecodeCharReferencesTo(raw.Value, out));
    }
    if (count < kSmall) {
      for (size_t a = 0; a < count; ++a)
        if (small[a].Key.size() == key.size() && small[a].Key == key) {
          small[a].Value = value;
          return;
        }
      new (&small[count++]) TAttr{key, value};
      if (count == kSmall) {
        index.emplace();
        for (size_t a = 0; a < kSmall; ++a) index->emplace(small[a].Key, a);
      }
      return;
    }
    if (many.empty()) many.assign(small, small + kSmall);
    auto [it, fresh] = index->try_emplace(key, count);
    if (!fresh) {
      many[it->second].Value = value;
      return;
    }
    many.push_back(TAttr{key, value});
    ++count;
  };
  ForEachRawAttribute(rest, add);
  TArenaArray<TAttr> table;
  if (count == 0) return table;
  table.Data = arena.AllocateArray<TAttr>(count);
  std::copy_n(many.empty() ? small : many.data(), count, table.Data);
  table.Count = static_cast<uint32_t>(count);
  return table;
}

bool HasAttributeText(std::u16string_view rest) {
  size_t i = 0;
  while (i < rest.size() && IsHtmlSpace(rest[i])) ++i;
  return i < rest.size();
}

// Whether a closing tag for `name` (upper case) starts at q.
bool THtmlTokenizer::IsClosingTagFor(size_t q, std::u16string_view name) const {
  if (q + 1 >= FLength || FText[q] != u'<' || FText[q + 1] != u'/') return false;
  const size_t w = q + 2;
  if (FLength - w < name.size()) return false;
  for (size_t k = 0; k < name.size(); ++k)
    if (AsciiUpper(FText[w + k]) != name[k]) return false;
  const size_t end = w + name.size();
  return end == FLength || IsHtmlSpace(FText[end]) || FText[end] == u'/' || FText[end] == u'>';
}

bool THtmlTokenizer::StartsWithCommentOpen() const { return FLength - FPos >= 4 && FText.substr(FPos, 4) == u"<!--"; }

// Content wrapped in "<!--": runs through "-->" and the whitespace after.
void THtmlTokenizer::ReadWrappedContent(const char* error) {
  FPos += std::min<size_t>(5, FLength - FPos);
  for (;;) {
    FPos = FindAny<u'>'>(FChars, FPos, FLength);
    if (FPos >= FLength) UnterminatedError(error);
    if (FText[FPos - 1] == u'-' && FText[FPos - 2] == u'-') {
      ++FPos;
      while (FPos < FLength && IsHtmlSpace(FText[FPos])) ++FPos;
      return;
    }
    ++FPos;
  }
}

void THtmlTokenizer::ReadScriptContent() {
  while (FPos < FLength && IsHtmlSpace(FText[FPos])) ++FPos;
  if (StartsWithCommentOpen()) {
    ReadWrappedContent("未完结的Script行:%d;列:%d;");
    return;
  }
  for (;;) {
    FPos = FindAny<u'"', u'\'', u'/', u'<'>(FChars, FPos, FLength);
    if (FPos >= FLength) return;
    const char16_t c = FChars[FPos];
    if (c == u'"' || c == u'\'') {
      // A backslash takes the unit after it, whatever it is.
      ++FPos;
      for (;;) {
        FPos = c == u'"' ? FindAny<u'"', u'\\'>(FChars, FPos, FLength) : FindAny<u'\'', u'\\'>(FChars, FPos, FLength);
        if (FPos >= FLength) return;
        if (FChars[FPos] == c) {
          ++FPos;
          break;
        }
        FPos += 2;
        if (FPos >= FLength) {
          FPos = FLength;
          return;
        }
      }
    } else if (c == u'/') {
      ++FPos;
      if (FPos < FLength && FText[FPos] == u'*') {
        FPos += std::min<size_t>(2, FLength - FPos);
        for (;;) {
          FPos = FindAny<u'/'>(FChars, FPos, FLength);
          if (FPos >= FLength) return;
          if (FChars[FPos - 1] == u'*') break;
          ++FPos;
        }
        ++FPos;
      } else if (FPos < FLength && FText[FPos] == u'/') {
        // A line comment ends at its line break, or where the script's
        // closing tag stands ("//]]></script>" closes many real scripts).
        for (;;) {
          FPos = FindAny<u'\n', u'<'>(FChars, FPos, FLength);
          if (FPos >= FLength || FChars[FPos] == u'\n' || IsClosingTagFor(FPos, u"SCRIPT")) break;
          ++FPos;
        }
        if (FPos < FLength && FText[FPos] == u'\n') ++FPos;
      } else if (FPos < FLength) {
        ++FPos;
      }
    } else {
      if (IsClosingTagFor(FPos, u"SCRIPT")) return;
      ++FPos;
    }
  }
}

void THtmlTokenizer::ReadStyleContent() {
  if (StartsWithCommentOpen()) {
    ReadWrappedContent("未完结的Style行:%d;列:%d;");
    return;
  }
  while (FPos < FLength) {
    FPos = FindAny<u'<'>(FChars, FPos, FLength);
    if (FPos >= FLength) return;
    if (IsClosingTagFor(FPos, u"STYLE")) return;
    ++FPos;
  }
}

TAttributeDynArray ParseAttributeList(std::u16string_view text) {
  TAttributeDynArray out;
  ForEachRawAttribute(text, [&](const TRawAttr& a) {
    out.push_back({std::u16string(a.Name), std::u16string(a.Value)});
  });
  return out;
}

namespace {

TRef<IHtmlElement> ParseSource(TSourceText* source) {
  auto* doc = new (source->Allocate(sizeof(THtmlElement))) THtmlElement(source, TElementKind::Document, {});
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

}  // namespace

TRef<IHtmlElement> ParseHtmlDocument(std::u16string_view AHtml) {
  AHtml = AHtml.substr(0, FindAny<u'\0'>(AHtml.data(), 0, AHtml.size()));
  return ParseSource(new TSourceText(AHtml));
}

TRef<IHtmlElement> ParseHtmlText(std::u16string& Html) {
  return ParseHtmlText(Html, FindAny<u'\0'>(Html.data(), 0, Html.size()));
}

TRef<IHtmlElement> ParseHtmlText(std::u16string& Html, size_t Length) {
  auto* source = new TSourceText(std::move(Html), Length);
  Html.clear();
  // Held across the parse, so that an error can still give the text back
  // after the partial tree has gone.
  source->AddRef();
  try {
    TRef<IHtmlElement> doc = ParseSource(source);
    source->Release();
    return doc;
  } catch (...) {
    Html = source->TakeBack();
    source->Release();
    throw;
  }
}

std::u16string_view DocumentText(const IHtmlElement& Doc) {
  return static_cast<const THtmlElement&>(Doc).FSource->Text;
}

}  // namespace zqe::html
