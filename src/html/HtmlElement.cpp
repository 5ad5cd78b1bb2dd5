#include "html/HtmlElement.h"
#include "html/HtmlScan.h"
#include "html/HtmlTokenizer.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <numeric>
#include <utility>

namespace zqe::html {
namespace {

std::atomic<int64_t> gLiveElements{0};

uint32_t AttributeBucket(std::u16string_view key) {
  uint32_t h = 0;
  for (char16_t c : key) h = ((h << 2) | (h >> 30)) ^ c;
  return h % 32;  // every element's attribute table has 32 buckets
}

// Frees e and every element that only it kept alive. Deep trees are the
// norm on hostile pages, so this walks a work list instead of letting
// destructors release children recursively. The elements' references to
// their source and the live count are given back once, at the end.
void DestroyElements(THtmlElement* root) {
  TSourceText* const source = root->FSource;
  int32_t freed = 0;
  auto destroy = [&](THtmlElement* e) {
    e->~THtmlElement();
    ++freed;
  };
  // Whether the reference held here was the last. Seen as the only one, it
  // is: any other holder would have had to take its reference through this
  // tree, which no one else holds any more.
  auto lastReference = [](const THtmlElement* e) {
    return e->FRefCount.load(std::memory_order_acquire) == 1 ||
           e->FRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1;
  };
  std::vector<THtmlElement*> work{root};
  while (!work.empty()) {
    THtmlElement* e = work.back();
    work.pop_back();
    for (size_t i = e->FChildren.size(); i-- > 0;) {
      THtmlElement* c = e->FChildren[i];
      c->FOwner = nullptr;
      c->FIndexInOwner = -1;
      if (lastReference(c)) {
        if (c->FChildren.empty() && !c->FCloseTag.load(std::memory_order_acquire))
          destroy(c);
        else
          work.push_back(c);
      }
    }
    e->FChildren.clear();
    if (THtmlElement* close = e->FCloseTag.exchange(nullptr, std::memory_order_acq_rel)) {
      if (lastReference(close)) destroy(close);
    }
    destroy(e);
  }
  gLiveElements.fetch_sub(freed, std::memory_order_relaxed);
  source->Release(freed);
}

}  // namespace

EHtmlParserError::EHtmlParserError(const std::u16string& message)
    : std::runtime_error(U16ToUtf8(message)), message_(message) {}

int64_t LiveHtmlElementCount() noexcept { return gLiveElements.load(std::memory_order_relaxed); }

std::u16string Utf16Format(const char* fmt, int a, int b) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return Utf8ToU16(buf);
}

// ---------------------------------------------------------------------------
// TSourceText

// Result pages take about three and a half bytes of arena (elements,
// children arrays, decoded text, the attributes asked for) per unit of
// page, so one block serves most pages whole. It is six rather than four:
// with glibc, a first block of four or five units made the whole page step
// 2.3 times slower (search_bench BM_PageStep, 0.9 -> 2.1 ms), since the
// step's memory then crossed glibc's trim threshold and went back to the
// system after every page, to be faulted in again by the next one. The
// block's untouched end costs no resident memory.
size_t TSourceText::FirstBlockSize(size_t units) { return std::max<size_t>(1024, units * 6); }

TSourceText::TSourceText(std::u16string_view text)
    : Text(CopyOf(text), text.size()), FCopied(true), FNextBlockSize(FirstBlockSize(text.size())) {}

TSourceText::TSourceText(std::u16string&& text, size_t length)
    : FOwned(std::move(text)),
      Text(FOwned.data(), std::min(length, FOwned.size())),
      FCopied(false),
      FNextBlockSize(FirstBlockSize(Text.size())) {}

const char16_t* TSourceText::CopyOf(std::u16string_view text) {
  // operator new rather than malloc, so that memory accounting that hooks
  // it (the benchmark's peak) sees the page and the arena.
  auto* copy = static_cast<char16_t*>(::operator new(std::max<size_t>(1, text.size()) * sizeof(char16_t)));
  CopyUnits(copy, text.data(), text.size());
  return copy;
}

TSourceText::~TSourceText() {
  if (FCopied) ::operator delete(const_cast<char16_t*>(Text.data()));
  while (FBlocks) {
    void* next = *static_cast<void**>(FBlocks);
    ::operator delete(FBlocks);
    FBlocks = next;
  }
}

std::pair<int32_t, int32_t> TSourceText::LineAndColumn(size_t pos) {
  if (!FFeedsFound.load(std::memory_order_acquire)) {
    std::lock_guard<TSpinLock> lock(FLateAllocation);
    if (!FFeedsFound.load(std::memory_order_relaxed)) {
      FindLineFeeds(Text.data(), Text.size(), FFeeds);
      FFeedsFound.store(true, std::memory_order_release);
    }
  }
  // Feeds before pos.
  const auto before = static_cast<size_t>(std::lower_bound(FFeeds.begin(), FFeeds.end(), pos) - FFeeds.begin());
  const size_t lineStart = before == 0 ? 0 : FFeeds[before - 1] + 1;
  return {static_cast<int32_t>(before + 1), static_cast<int32_t>(pos - lineStart + 1)};
}

void TSourceText::Grow(size_t bytes) {
  constexpr size_t kHeader = 16;  // keeps the blocks' contents 8-byte aligned
  const size_t size = std::max(FNextBlockSize, bytes + kHeader);
  void* block = ::operator new(size);
  *static_cast<void**>(block) = FBlocks;
  FBlocks = block;
  FNext = static_cast<char*>(block) + kHeader;
  FLeft = size - kHeader;
  FNextBlockSize = std::min<size_t>(FNextBlockSize * 2, size_t{1} << 24);
}

// ---------------------------------------------------------------------------
// THtmlElement

THtmlElement::THtmlElement(TSourceText* source, TElementKind kind, std::u16string_view text)
    : FKind(kind), FSource(source), FOrignal(text) {
  FSource->AddRef();
  gLiveElements.fetch_add(1, std::memory_order_relaxed);
}

THtmlElement::THtmlElement(TSourceText* source, TElementKind kind, std::u16string_view text, TDuringParse)
    : FRefCount(1), FKind(kind), FSource(source), FOrignal(text) {
  FSource->AddRefUnshared();
}

// Children and the closing tag were let go by DestroyElements; the arena,
// the source's reference and the live count by Destroy or DestroyElements
// once the element is gone from the arena.
THtmlElement::~THtmlElement() = default;

void THtmlElement::Destroy(THtmlElement* e) noexcept {
  TSourceText* source = e->FSource;
  e->~THtmlElement();
  gLiveElements.fetch_sub(1, std::memory_order_relaxed);
  source->Release();
}

void NoteElementsMade(int64_t n) noexcept { gLiveElements.fetch_add(n, std::memory_order_relaxed); }

void THtmlElement::Release() const noexcept {
  if (FRefCount.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  auto* self = const_cast<THtmlElement*>(this);
  if (FChildren.empty() && !FCloseTag.load(std::memory_order_acquire))
    Destroy(self);
  else
    DestroyElements(self);
}

TRef<IHtmlElement> THtmlElement::GetChildren(int32_t Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FChildren.size()) return nullptr;
  return TRef<IHtmlElement>(FChildren[static_cast<size_t>(Index)]);
}

void THtmlElement::ReadAttrs() const {
  std::lock_guard<TSpinLock> lock(FSource->LateAllocation());
  if (!FAttrsPending.load(std::memory_order_relaxed)) return;  // read by another thread meanwhile
  FAttrs = ReadAttributeTable(*FSource, SplitTag(FOrignal).Rest);
  FAttrsPending.store(false, std::memory_order_release);
}

std::pair<int32_t, int32_t> THtmlElement::Place() const {
  if (FKind == TElementKind::Document) return {0, 0};
  return FSource->LineAndColumn(static_cast<size_t>(FOrignal.data() - FSource->Text.data()));
}

int32_t THtmlElement::GetSourceLineNum() const { return Place().first; }

int32_t THtmlElement::GetSourceColNum() const { return Place().second; }

TRef<IHtmlElement> THtmlElement::GetCloseTag() const {
  if (FCloseText.empty()) return nullptr;
  THtmlElement* close = FCloseTag.load(std::memory_order_acquire);
  return TRef<IHtmlElement>(close ? close : MakeCloseTag());
}

THtmlElement* THtmlElement::MakeCloseTag() const {
  std::lock_guard<TSpinLock> lock(FSource->LateAllocation());
  if (THtmlElement* made = FCloseTag.load(std::memory_order_relaxed)) return made;  // made meanwhile
  auto* close = new (FSource->Allocate(sizeof(THtmlElement))) THtmlElement(FSource, TElementKind::CloseTag, FCloseText);
  const TTagParts parts = SplitTag(FCloseText);
  // It closed this element, so its name is this element's.
  close->FTagName = FTagName;
  close->FIsVoid = FIsVoid;
  close->FIsCloseTag = true;
  close->FClosed = parts.SelfClosing;
  close->FAttrsPending.store(HasAttributeText(parts.Rest), std::memory_order_relaxed);
  close->AddRef();
  FCloseTag.store(close, std::memory_order_release);
  return close;
}

const std::u16string_view* THtmlElement::FindAttr(std::u16string_view lowerName) const {
  for (const TAttr& a : Attrs())
    if (a.Key == lowerName) return &a.Value;
  return nullptr;
}

namespace {

// Whether s holds a "&" or a copy of text (not empty), in one pass: tags
// are short, and two library searches cost more to start than to run.
bool HasReferenceOrText(std::u16string_view s, std::u16string_view text) {
  const char16_t* p = s.data();
  const size_t n = s.size(), k = text.size();
  auto holdsTextAt = [&](size_t i) { return n - i >= k && std::u16string_view(p + i, k) == text; };
  size_t i = 0;
#if defined(__SSE2__)
  // Eight places a step from at, those of keep's bits; a place is compared
  // only when its first and the last unit of text's length both fit.
  const __m128i amp = _mm_set1_epi16(static_cast<short>(u'&'));
  const __m128i first = _mm_set1_epi16(static_cast<short>(text[0]));
  const __m128i last = _mm_set1_epi16(static_cast<short>(text[k - 1]));
  auto step = [&](size_t at, unsigned keep) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + k - 1));
    const __m128i ends = _mm_and_si128(_mm_cmpeq_epi16(v, first), _mm_cmpeq_epi16(w, last));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, amp), ends);
    for (unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(hit)) & keep; hits != 0; hits &= hits - 1) {
      const size_t q = at + static_cast<size_t>(__builtin_ctz(hits)) / 2;
      hits &= hits - 1;  // the unit's second byte
      if (p[q] == u'&' || holdsTextAt(q)) return true;
    }
    return false;
  };
  for (; i + 8 + k - 1 <= n; i += 8)
    if (step(i, 0xFFFFu)) return true;
  // The last places in one step that overlaps the loop's (most tags would
  // otherwise end unit by unit): the places up to n - k not yet looked at,
  // then an '&' among the k - 1 units after them.
  if (n >= k + 7) {
    const size_t at = n - k - 7;
    if (step(at, 0xFFFFu << (2 * (i - at)))) return true;
    for (size_t j = n - k + 1; j < n; j += 8) {
      const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + std::min(j, n - 8)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(u, amp)) != 0) return true;
    }
    return false;
  }
#endif
  for (; i < n; ++i)
    if (p[i] == u'&' || (p[i] == text[0] && holdsTextAt(i))) return true;
  return false;
}

}  // namespace

bool THtmlElement::NoValueCanHold(std::u16string_view text) const {
  if (text.empty() || !FAttrsPending.load(std::memory_order_acquire)) return false;
  return !HasReferenceOrText(FOrignal, text);
}

namespace {

// FindAttr under any spelling of the name: callers nearly always spell it
// in lower case already, and then it is looked up without a lower-cased
// copy.
const std::u16string_view* FindAttrAnyCase(const THtmlElement& e, std::u16string_view name) {
  const bool lower = std::none_of(name.begin(), name.end(), [](char16_t c) { return c >= u'A' && c <= u'Z'; });
  return lower ? e.FindAttr(name) : e.FindAttr(AsciiLowerCase(name));
}

}  // namespace

std::u16string THtmlElement::GetAttributes(std::u16string_view Name) const {
  const std::u16string_view* v = FindAttrAnyCase(*this, Name);
  return v ? std::u16string(*v) : std::u16string();
}

bool THtmlElement::HasAttribute(std::u16string_view AttributeName) const {
  return FindAttrAnyCase(*this, AttributeName) != nullptr;
}

void THtmlElement::EnumAttributeNames(void* AParam, TEnumAttributeNameCallBack ACallBack) const {
  if (!ACallBack) return;
  // The order of a 32-bucket chained table: bucket by bucket, and within a
  // bucket the newest key first (a replaced value keeps its key's place).
  const TArenaArray<TAttr>& attrs = Attrs();
  std::vector<size_t> order(attrs.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::vector<uint32_t> bucket(attrs.size());
  for (size_t i = 0; i < attrs.size(); ++i) bucket[i] = AttributeBucket(attrs[i].Key);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return bucket[a] != bucket[b] ? bucket[a] < bucket[b] : a > b;
  });
  for (size_t i : order) {
    if (!ACallBack(AParam, std::u16string(attrs[i].Key), std::u16string(attrs[i].Value))) return;
  }
}

namespace {
struct TWalkFrame {
  const THtmlElement* Element;
  size_t Next;  // next child to visit
};
}  // namespace

void THtmlElement::AppendText(bool IncludeSelf, std::u16string& out) const {
  if (IncludeSelf && FKind == TElementKind::Text) out.append(FContent);
  // Pre-order walk with an explicit stack of (element, next child).
  TWalkStack<TWalkFrame, 32> stack;
  if (!FChildren.empty()) stack.push_back({this, 0});
  while (!stack.empty()) {
    auto& [e, next] = stack.back();
    if (next == e->FChildren.size()) {
      stack.pop_back();
      continue;
    }
    const THtmlElement* c = e->FChildren[next++];
    if (c->FKind == TElementKind::Text) out.append(c->FContent);
    if (!c->FChildren.empty()) stack.push_back({c, 0});
  }
}

void THtmlElement::AppendHtml(bool IncludeSelf, std::u16string& out) const {
  if (IncludeSelf) out.append(FOrignal);
  TWalkStack<TWalkFrame, 32> stack;
  stack.push_back({this, 0});
  while (!stack.empty()) {
    auto& [e, next] = stack.back();
    if (next == e->FChildren.size()) {
      if (e != this || IncludeSelf) out.append(e->FCloseText);
      stack.pop_back();
      continue;
    }
    const THtmlElement* c = e->FChildren[next++];
    out.append(c->FOrignal);
    stack.push_back({c, 0});
  }
}

std::u16string THtmlElement::GetInnerText() const {
  std::u16string out;
  AppendText(true, out);
  return out;
}

void InnerTextInto(const IHtmlElement& El, std::u16string& Out) {
  Out.clear();
  // THtmlElement is the one implementation of the interface.
  static_cast<const THtmlElement&>(El).AppendText(true, Out);
}

std::u16string THtmlElement::GetInnerHtml() const {
  std::u16string out;
  AppendHtml(false, out);
  return out;
}

std::u16string THtmlElement::GetOuterHtml() const {
  std::u16string out;
  AppendHtml(true, out);
  return out;
}

// ---------------------------------------------------------------------------
// TIHtmlElementList

TIHtmlElementList::~TIHtmlElementList() { Clear(); }

TRef<IHtmlElement> TIHtmlElementList::GetItems(int32_t Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FList.size()) return nullptr;
  return TRef<IHtmlElement>(const_cast<THtmlElement*>(FList[static_cast<size_t>(Index)]));
}

int32_t TIHtmlElementList::IndexOf(const IHtmlElement* Item) const {
  for (size_t i = 0; i < FList.size(); ++i)
    if (FList[i] == Item) return static_cast<int32_t>(i);
  return -1;
}

int32_t TIHtmlElementList::Add(const THtmlElement* Item) {
  Item->AddRef();
  FList.push_back(Item);
  return static_cast<int32_t>(FList.size() - 1);
}

void TIHtmlElementList::Delete(int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= FList.size()) return;
  const THtmlElement* e = FList[static_cast<size_t>(Index)];
  FList.erase(FList.begin() + Index);
  e->Release();
}

void TIHtmlElementList::Clear() {
  while (!FList.empty()) {
    const THtmlElement* e = FList.back();
    FList.pop_back();
    e->Release();
  }
}

}  // namespace zqe::html
