// Selector parsing and matching. The search visits each (element, chain
// position, top-level flag) state at most once: a state always yields the
// same matches, and a repeated match would be dropped as a duplicate, so
// skipping a revisit changes neither the result nor its order. Together with
// explicit stacks this keeps a query linear in the page and free of
// recursion.
#include "html/HtmlSelector.h"

#include "html/HtmlScan.h"

#include "platform/Text.h"

#include <unordered_map>

namespace zqe::html {
namespace {

using TRelation = TSelectorItemRelation;
using TOp = TAttrOperator;

bool IsSelectorSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

bool IsIdClassStop(char16_t c) {
  if (IsSelectorSpace(c)) return true;
  switch (c) {
    case u'"': case u'\'': case u'!': case u'#': case u'$': case u'*': case u',': case u'.':
    case u'=': case u'[': case u']': case u'^': case u'|': case u'~':
      return true;
    default:
      return false;
  }
}

bool IsTagStop(char16_t c) {
  return IsSelectorSpace(c) || c == u'"' || c == u'\'' || c == u'#' || c == u',' || c == u'.' || c == u'[' ||
         c == u']';
}

bool IsOperatorChar(char16_t c) {
  return c == u'!' || c == u'$' || c == u'*' || c == u'=' || c == u'^' || c == u'|' || c == u'~';
}

// Attribute names in a condition: letters, digits, "-", "_", ":", "." and
// anything outside ASCII. A stray character such as "?" after a name is
// then reported as a bad operator rather than silently joining the name.
bool IsAttrNameChar(char16_t c) {
  if (c >= 128) return true;
  if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) return true;
  return c == u'-' || c == u'_' || c == u':' || c == u'.';
}

class TSelectorParser {
 public:
  explicit TSelectorParser(std::u16string_view text) : s(text) {}

  TCSSSelectorItemGroup Parse() {
    TCSSSelectorItemGroup group(1);
    group.back().emplace_back();
    for (;;) {
      SkipSpaces();
      ReadCompound(group.back().back());
      SkipSpaces();
      if (p >= s.size()) break;
      const char16_t c = s[p];
      TRelation rel = TRelation::sirDescendant;
      if (c == u',') {
        Consume();
        group.emplace_back();
        group.back().emplace_back();
        continue;
      }
      if (c == u'+') rel = TRelation::sirYoungerBrother;
      if (c == u'>') rel = TRelation::sirChildren;
      if (c == u'~') rel = TRelation::sirAllYoungerBrother;
      if (rel != TRelation::sirDescendant) Consume();
      group.back().emplace_back();
      group.back().back().Relation = rel;
    }
    return group;
  }

 private:
  void Consume() {
    if (s[p] == u'\n') {
      ++line;
      col = 1;
    } else {
      ++col;
    }
    ++p;
  }
  void SkipSpaces() {
    while (p < s.size() && IsSelectorSpace(s[p])) Consume();
  }
  template <class Stop>
  std::u16string_view ReadWhile(Stop stop) {
    const size_t start = p;
    while (p < s.size() && !stop(s[p])) Consume();
    return s.substr(start, p - start);
  }
  [[noreturn]] void Fail(const char* fmt) { throw EHtmlParserError(Utf16Format(fmt, line, col)); }

  void ReadCompound(TCSSSelectorItem& item) {
    SkipSpaces();
    while (p < s.size() && !IsSelectorSpace(s[p]) && s[p] != u',') {
      const char16_t c = s[p];
      if (c == u'#' || c == u'.') {
        Consume();
        std::u16string_view name = ReadWhile(IsIdClassStop);
        item.Attributes.push_back({c == u'#' ? u"id" : u"class",
                                   c == u'#' ? TOp::aoEqual : TOp::aoIncludeWord, std::u16string(name)});
      } else if (c == u'[') {
        ReadAttributeCondition(item);
      } else if (c == u'/') {
        Consume();
        if (p < s.size() && s[p] == u'*') {
          for (int k = 0; k < 2 && p < s.size(); ++k) Consume();
          while (p < s.size() && !(s[p] == u'/' && s[p - 1] == u'*')) Consume();
          if (p < s.size()) Consume();
        }
      } else if (c == u'"' || c == u'\'' || c == u']') {
        // Nothing can start here; stopping is the only alternative to
        // looping on this character forever.
        Fail("无法解析CSS选择器[%d,%d]");
      } else {
        std::u16string_view name = ReadWhile(IsTagStop);
        item.szTag.resize(name.size());
        for (size_t k = 0; k < name.size(); ++k) item.szTag[k] = AsciiUpper(name[k]);
      }
    }
  }

  void ReadAttributeCondition(TCSSSelectorItem& item) {
    Consume();  // "["
    TAttrSelectorItem cond;
    SkipSpaces();
    cond.Key = AsciiLowerCase(ReadWhile([](char16_t c) { return !IsAttrNameChar(c); }));
    SkipSpaces();
    if (p < s.size() && s[p] == u']') {
      Consume();
      cond.AttrOperator = TOp::aoExist;
      item.Attributes.push_back(std::move(cond));
      return;
    }
    if (p >= s.size() || !IsOperatorChar(s[p])) Fail("无法解析CSS Attribute操作符[%d,%d]");
    switch (s[p]) {
      case u'=': cond.AttrOperator = TOp::aoEqual; break;
      case u'!': cond.AttrOperator = TOp::aoNotEqual; break;
      case u'~': cond.AttrOperator = TOp::aoIncludeWord; break;
      case u'|': cond.AttrOperator = TOp::aoBeginWord; break;
      case u'^': cond.AttrOperator = TOp::aoBegin; break;
      case u'$': cond.AttrOperator = TOp::aoEnd; break;
      default: cond.AttrOperator = TOp::aoContain; break;
    }
    Consume();
    if (p < s.size() && s[p] == u'=') Consume();
    SkipSpaces();
    std::u16string_view value;
    if (p < s.size() && (s[p] == u'"' || s[p] == u'\'')) {
      const char16_t q = s[p];
      const size_t start = p;
      Consume();
      while (p < s.size() && s[p] != q) Consume();
      if (p < s.size()) Consume();
      value = s.substr(start, p - start);
      if (value.size() >= 2) value = value.substr(1, value.size() - 2);
    } else if (p < s.size()) {
      const size_t start = p;
      Consume();
      while (p < s.size() && !IsSelectorSpace(s[p]) && s[p] != u']') Consume();
      value = s.substr(start, p - start);
    }
    cond.Value = DecodeCharReferences(value);
    SkipSpaces();
    if (p >= s.size() || s[p] != u']') Fail("无法解析Attribute值[%d,%d]");
    Consume();
    item.Attributes.push_back(std::move(cond));
  }

  std::u16string_view s;
  size_t p = 0;
  int line = 1;
  int col = 1;
};

// Calls f for each word of value; a separator inside a quoted run does not
// split, and the quotes stay part of the word. Stops when f returns true.
template <class Sep, class F>
bool AnyWord(std::u16string_view value, Sep isSep, F f) {
  size_t start = 0;
  char16_t quote = 0;
  for (size_t i = 0; i <= value.size(); ++i) {
    if (i < value.size()) {
      const char16_t c = value[i];
      if (quote) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == u'"' || c == u'\'') {
        quote = c;
        continue;
      }
      if (!isSep(c)) continue;
    }
    if (i > start && f(value.substr(start, i - start))) return true;
    start = i + 1;
  }
  return false;
}

// AnyWord(v, IsSelectorSpace, w == want), found with a substring search:
// a word equal to want is an occurrence of it, so none rules every word
// out; quotes, which can join words, are left to the word-by-word walk.
bool IncludesWord(std::u16string_view v, std::u16string_view want) {
  if (want.empty()) return false;
  size_t at = v.find(want);
  if (at == std::u16string_view::npos) return false;
  // Not find_first_of, which tries each quote at each unit.
  if (FindAny<u'"', u'\''>(v.data(), 0, v.size()) != v.size())
    return AnyWord(v, IsSelectorSpace, [&](std::u16string_view w) { return w == want; });
  for (; at != std::u16string_view::npos; at = v.find(want, at + 1)) {
    const size_t end = at + want.size();
    if ((at == 0 || IsSelectorSpace(v[at - 1])) && (end == v.size() || IsSelectorSpace(v[end]))) return true;
  }
  return false;
}

// Conditions that only hold on a value containing the wanted text.
bool NeedsWantedText(TOp op) { return op != TOp::aoExist && op != TOp::aoNotEqual; }

bool ConditionHolds(const THtmlElement& e, const TAttrSelectorItem& cond) {
  if (NeedsWantedText(cond.AttrOperator) && e.NoValueCanHold(cond.Value)) return false;
  const std::u16string_view* found = e.FindAttr(cond.Key);
  if (!found) return false;
  const std::u16string_view v = *found;
  const std::u16string_view want = cond.Value;
  switch (cond.AttrOperator) {
    case TOp::aoExist: return true;
    case TOp::aoEqual: return v == want;
    case TOp::aoNotEqual: return v != want;
    case TOp::aoIncludeWord: return IncludesWord(v, want);
    case TOp::aoBeginWord: {
      bool first = false;
      AnyWord(v, [](char16_t c) { return IsSelectorSpace(c) || c == u'-' || c == u'_'; },
              [&](std::u16string_view w) {
                first = w == want;
                return true;
              });
      return first;
    }
    case TOp::aoBegin: return v.size() > want.size() && v.substr(0, want.size()) == want;
    case TOp::aoEnd: return v.size() > want.size() && v.substr(v.size() - want.size()) == want;
    case TOp::aoContain: return !want.empty() && v.find(want) != std::u16string_view::npos;
  }
  return false;
}

bool ItemMatches(const THtmlElement& e, const TCSSSelectorItem& item) {
  if (!item.szTag.empty() && item.szTag != u"*" && item.szTag != e.FTagName) return false;
  for (const TAttrSelectorItem& cond : item.Attributes)
    if (!ConditionHolds(e, cond)) return false;
  return true;
}

struct TPtrPairHash {
  size_t operator()(const std::pair<const void*, size_t>& k) const noexcept {
    return std::hash<const void*>()(k.first) * 31 + k.second;
  }
};

// Open-addressing set of (pointer, small number) pairs: the search inserts
// one per visited state, too many for a node per entry.
class TStateSet {
 public:
  bool Insert(const void* p, uint32_t tag) {
    if ((FCount + 1) * 2 > FSlots.size()) Grow();
    const size_t mask = FSlots.size() - 1;
    for (size_t i = Hash(p, tag) & mask;; i = (i + 1) & mask) {
      TSlot& s = FSlots[i];
      if (!s.P) {
        s = {p, tag};
        ++FCount;
        return true;
      }
      if (s.P == p && s.Tag == tag) return false;
    }
  }

 private:
  struct TSlot {
    const void* P;
    uint32_t Tag;
  };
  static size_t Hash(const void* p, uint32_t tag) {
    uint64_t h = (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)) ^ (uint64_t{tag} << 48)) *
                 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h >> 20);
  }
  void Grow() {
    std::vector<TSlot> old(FSlots.empty() ? 64 : FSlots.size() * 2, TSlot{nullptr, 0});
    old.swap(FSlots);
    FCount = 0;
    for (const TSlot& s : old)
      if (s.P) Insert(s.P, s.Tag);
  }
  std::vector<TSlot> FSlots;
  size_t FCount = 0;
};

class TSelectorSearch {
 public:
  TSelectorSearch(const TCSSSelectorItemGroup& group, TIHtmlElementList& result) : FResult(result) {
    for (const TCSSSelectorItems& chain : group) {
      const size_t first = FItems.size();
      for (const TCSSSelectorItem& item : chain) FItems.push_back({&item, first + chain.size() - 1});
    }
    FNeedDedupe = FItems.size() > 1;
  }

  void Run(const THtmlElement& root, size_t chainStart) { Visit(root, chainStart, false); }

 private:
  struct TFlatItem {
    const TCSSSelectorItem* Item;
    size_t Last;  // flat index of the chain's last item
  };
  enum class TPhase : uint8_t { Start, Related, Descend };
  struct TFrame {
    const THtmlElement* E;
    size_t K;
    bool Top;
    TPhase Phase;
    size_t Next;  // child or sibling index
    size_t End;   // for sibling sweeps
  };

  // Whether (e, k, top) is new; marks it visited. A chain's first item is
  // only ever sought by the plain descent from the starting element, which
  // reaches each element once, so those states need no record.
  bool FirstVisit(const THtmlElement* e, size_t k, bool top) {
    if (FItems[k].Item->Relation == TRelation::sirNONE) return true;
    return FVisited.Insert(e, static_cast<uint32_t>(k * 2 + (top ? 1 : 0)));
  }

  void Visit(const THtmlElement& root, size_t k0, bool top0) {
    std::vector<TFrame> stack;
    auto push = [&](const THtmlElement* e, size_t k, bool top) {
      if (FirstVisit(e, k, top)) stack.push_back({e, k, top, TPhase::Start, 0, 0});
    };
    push(&root, k0, top0);
    while (!stack.empty()) {
      TFrame& f = stack.back();
      const THtmlElement* e = f.E;
      if (f.Phase == TPhase::Start) {
        f.Phase = TPhase::Descend;
        if (ItemMatches(*e, *FItems[f.K].Item)) {
          if (f.K == FItems[f.K].Last) {
            if (!FNeedDedupe || FAdded.Insert(e, 0)) FResult.Add(e);
          } else {
            StartRelated(f);
          }
        }
        continue;
      }
      if (f.Phase == TPhase::Related) {
        if (!StepRelated(f, push)) f.Phase = TPhase::Descend;
        continue;
      }
      // Descend: the same item is sought further down.
      if (f.Top || f.Next >= e->FChildren.size()) {
        stack.pop_back();
        continue;
      }
      const THtmlElement* c = e->FChildren[f.Next++];
      const size_t k = f.K;
      push(c, k, false);  // may invalidate f
    }
  }

  void StartRelated(TFrame& f) {
    const TRelation rel = FItems[f.K + 1].Item->Relation;
    f.Phase = TPhase::Related;
    f.Next = 0;
    f.End = f.E->FChildren.size();
    if (rel == TRelation::sirYoungerBrother || rel == TRelation::sirAllYoungerBrother) {
      const THtmlElement* owner = f.E->FOwner;
      if (!owner) {
        f.Phase = TPhase::Descend;
        f.Next = 0;
        return;
      }
      f.Next = static_cast<size_t>(f.E->FIndexInOwner) + 1;
      f.End = owner->FChildren.size();
      if (rel == TRelation::sirAllYoungerBrother) {
        // Sweeps run to the last sibling, so a sweep that starts later than
        // one already made for the same parent and item finds only visited
        // states: stop where the earlier sweep began.
        auto [it, fresh] = FSwept.try_emplace({owner, f.K + 1}, f.Next);
        if (!fresh) {
          f.End = std::min(f.End, it->second);
          it->second = std::min(it->second, f.Next);
        }
      }
    }
  }

  // Visits the next related element; false when there is none left.
  template <class Push>
  bool StepRelated(TFrame& f, Push& push) {
    const size_t k = f.K + 1;
    const TRelation rel = FItems[k].Item->Relation;
    if (rel == TRelation::sirDescendant || rel == TRelation::sirChildren) {
      if (f.Next >= f.End) {
        f.Next = 0;
        return false;
      }
      const THtmlElement* c = f.E->FChildren[f.Next++];
      push(c, k, rel == TRelation::sirChildren);
      return true;
    }
    const THtmlElement* owner = f.E->FOwner;
    size_t i = f.Next;
    if (rel == TRelation::sirYoungerBrother) i = NextNonHashSibling(owner, i);
    while (i < f.End && owner->FChildren[i]->FTagName.starts_with(u'#')) ++i;
    if (i >= f.End) {
      f.Next = 0;
      return false;
    }
    f.Next = rel == TRelation::sirYoungerBrother ? f.End : i + 1;
    push(owner->FChildren[i], k, true);
    return true;
  }

  // First sibling at or after i whose tag name does not begin with "#".
  // Runs of text and comment siblings are skipped through a per-parent
  // table, so that many such siblings in a row stay linear.
  size_t NextNonHashSibling(const THtmlElement* owner, size_t i) {
    const auto& kids = owner->FChildren;
    constexpr size_t kDirectScan = 16;
    for (size_t k = 0; k < kDirectScan; ++k, ++i)
      if (i >= kids.size() || !kids[i]->FTagName.starts_with(u'#')) return i;
    auto [it, fresh] = FNextTag.try_emplace(owner);
    std::vector<uint32_t>& next = it->second;
    if (fresh) {
      next.resize(kids.size() + 1);
      next[kids.size()] = static_cast<uint32_t>(kids.size());
      for (size_t j = kids.size(); j-- > 0;)
        next[j] = kids[j]->FTagName.starts_with(u'#') ? next[j + 1] : static_cast<uint32_t>(j);
    }
    return next[i];
  }

  std::vector<TFlatItem> FItems;
  TIHtmlElementList& FResult;
  // A single one-item chain reaches every element once: no duplicates.
  bool FNeedDedupe = true;
  TStateSet FVisited;
  TStateSet FAdded;
  std::unordered_map<std::pair<const void*, size_t>, size_t, TPtrPairHash> FSwept;
  std::unordered_map<const THtmlElement*, std::vector<uint32_t>> FNextTag;
};

// One item of a chain, with its tag as a view and "*" folded into "any".
struct TFastItem {
  std::u16string_view Tag;  // empty for any
  const TCSSSelectorItem* Item;
};

inline bool FastItemMatches(const THtmlElement& e, const TFastItem& f) {
  if (!f.Tag.empty()) {
    const std::u16string_view tag = e.FTagName;
    if (tag.size() != f.Tag.size() || tag[0] != f.Tag[0] || tag != f.Tag) return false;
  }
  for (const TAttrSelectorItem& cond : f.Item->Attributes)
    if (!ConditionHolds(e, cond)) return false;
  return true;
}

std::u16string_view OperatorText(TOp op) {
  switch (op) {
    case TOp::aoExist: return u"";
    case TOp::aoEqual: return u"=";
    case TOp::aoNotEqual: return u"!=";
    case TOp::aoIncludeWord: return u"~=";
    case TOp::aoBeginWord: return u"|=";
    case TOp::aoBegin: return u"^=";
    case TOp::aoEnd: return u"$=";
    case TOp::aoContain: return u"*=";
  }
  return u"?";
}

}  // namespace

namespace selector_detail {

void SearchStates(const THtmlElement& root, const TCSSSelectorItemGroup& group, TIHtmlElementList& result) {
  TSelectorSearch search(group, result);
  size_t chainStart = 0;
  for (const TCSSSelectorItems& chain : group) {
    search.Run(root, chainStart);
    chainStart += chain.size();
  }
}

bool IsDescendantChain(const TCSSSelectorItemGroup& group) {
  if (group.size() != 1 || group[0].empty() || group[0][0].Relation != TRelation::sirNONE) return false;
  for (size_t k = 1; k < group[0].size(); ++k)
    if (group[0][k].Relation != TRelation::sirDescendant) return false;
  return true;
}

namespace {

// The walk behind SearchChainInOrder; take(e) is given each match in
// document order and returns true when it wants no more.
template <class Take>
void WalkChainInOrder(const THtmlElement& root, const TCSSSelectorItems& chain, Take&& take) {
  TWalkStack<TFastItem, 8> items;
  for (const TCSSSelectorItem& item : chain)
    items.push_back({item.szTag == u"*" ? std::u16string_view() : std::u16string_view(item.szTag), &item});
  const uint32_t last = static_cast<uint32_t>(items.size() - 1);
  bool full = false;
  // The number of leading items that an element's ancestors match, given
  // that of its own ancestors: one more when the element takes the next.
  auto visit = [&](const THtmlElement& e, uint32_t matched) -> uint32_t {
    if (!FastItemMatches(e, items[matched])) return matched;
    if (matched == last) {
      full = take(e);
      return matched;
    }
    return matched + 1;
  };
  struct TFrame {
    const THtmlElement* E;
    uint32_t Next;     // next child to visit
    uint32_t Matched;  // leading items matched by E and its ancestors
  };
  TWalkStack<TFrame, 32> stack;
  const uint32_t rootMatched = visit(root, 0);
  if (!root.FChildren.empty()) stack.push_back({&root, 0, rootMatched});
  // Matches come in document order, so the walk may end once it has enough.
  if (full) return;
  while (!stack.empty()) {
    TFrame& f = stack.back();
    const THtmlElement* const* kids = f.E->FChildren.Data;
    const uint32_t count = f.E->FChildren.Count;
    const uint32_t matched = f.Matched;
    uint32_t i = f.Next;
    // Childless children (text, most inline tags) are done here without
    // a frame of their own.
    while (i < count && kids[i]->FChildren.empty()) {
      visit(*kids[i++], matched);
      if (full) return;
    }
    if (i == count) {
      stack.pop_back();
      continue;
    }
    const THtmlElement* c = kids[i];
    f.Next = i + 1;
    stack.push_back({c, 0, visit(*c, matched)});  // may invalidate f
    if (full) return;
  }
}

}  // namespace

void SearchChainInOrder(const THtmlElement& root, const TCSSSelectorItems& chain, TIHtmlElementList& result,
                        size_t limit) {
  if (limit == 0) return;
  WalkChainInOrder(root, chain, [&](const THtmlElement& e) {
    result.Add(&e);
    return static_cast<size_t>(result.GetCount()) >= limit;
  });
}

}  // namespace selector_detail

TCSSSelectorItemGroup ParseSelector(std::u16string_view text) { return TSelectorParser(text).Parse(); }

TRef<IHtmlElement> FirstCSSMatch(const IHtmlElement& From, const TCSSSelectorItemGroup& Selector) {
  // THtmlElement is the one implementation of the interface.
  const auto& from = static_cast<const THtmlElement&>(From);
  if (selector_detail::IsDescendantChain(Selector)) {
    // The first match alone, without a list to hold it.
    const THtmlElement* first = nullptr;
    selector_detail::WalkChainInOrder(from, Selector[0], [&](const THtmlElement& e) {
      first = &e;
      return true;
    });
    return TRef<IHtmlElement>(const_cast<THtmlElement*>(first));
  }
  TIHtmlElementList list;
  selector_detail::SearchStates(from, Selector, list);
  return list.GetItems(0);
}

std::u16string DumpSelector(const TCSSSelectorItemGroup& group) {
  std::u16string out;
  for (size_t g = 0; g < group.size(); ++g) {
    if (g) out += u" , ";
    for (const TCSSSelectorItem& item : group[g]) {
      switch (item.Relation) {
        case TRelation::sirNONE: break;
        case TRelation::sirDescendant: out += u" "; break;
        case TRelation::sirChildren: out += u" > "; break;
        case TRelation::sirYoungerBrother: out += u" + "; break;
        case TRelation::sirAllYoungerBrother: out += u" ~ "; break;
      }
      out += item.szTag.empty() ? u"*" : item.szTag;
      for (const TAttrSelectorItem& a : item.Attributes) {
        out += u"[" + a.Key;
        out += OperatorText(a.AttrOperator);
        if (a.AttrOperator != TOp::aoExist) out += u"\"" + a.Value + u"\"";
        out += u"]";
      }
    }
  }
  return out;
}

TRef<IHtmlElementList> THtmlElement::SimpleCSSSelector(std::u16string_view selector) const {
  const TCSSSelectorItemGroup group = ParseSelector(selector);
  TRef<IHtmlElementList> result(new TIHtmlElementList);
  auto& list = static_cast<TIHtmlElementList&>(*result);
  if (selector_detail::IsDescendantChain(group)) selector_detail::SearchChainInOrder(*this, group[0], list);
  else selector_detail::SearchStates(*this, group, list);
  return result;
}

TRef<IHtmlElementList> THtmlElement::FindElements(std::u16string_view ATagName, std::u16string_view AAttributes,
                                                  bool AOnlyInTopElement) const {
  const TAttributeDynArray pairs = ParseAttributeList(AAttributes);
  std::vector<std::u16string> keys;
  for (const TAttributeItem& a : pairs) keys.push_back(AsciiLowerCase(a.Key));
  auto accepts = [&](const THtmlElement& c) {
    if (!ATagName.empty() && !SameTextAscii(ATagName, c.FTagName)) return false;
    for (size_t i = 0; i < pairs.size(); ++i) {
      const std::u16string_view* v = c.FindAttr(keys[i]);
      if (!v || *v != pairs[i].Value) return false;
    }
    return true;
  };
  TRef<IHtmlElementList> result(new TIHtmlElementList);
  auto& list = static_cast<TIHtmlElementList&>(*result);
  // Each element first contributes its matching children, then the search
  // goes into each child in turn.
  std::vector<std::pair<const THtmlElement*, size_t>> stack;
  auto enter = [&](const THtmlElement* e) {
    for (const THtmlElement* c : e->FChildren)
      if (accepts(*c)) list.Add(c);
    if (!AOnlyInTopElement && !e->FChildren.empty()) stack.emplace_back(e, 0);
  };
  enter(this);
  while (!stack.empty()) {
    auto& [e, next] = stack.back();
    if (next == e->FChildren.size()) {
      stack.pop_back();
      continue;
    }
    enter(e->FChildren[next++]);  // may invalidate e and next
  }
  return result;
}

}  // namespace zqe::html
