// Internal to the parser: the element class behind IHtmlElement and the
// list class behind IHtmlElementList. Code outside src/html uses the
// interfaces only.
#pragma once

#include "html/HtmlParser.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace zqe::html {

// Guards the arena once a parse is over. Taken a few thousand times a page
// and almost never contended (a tree is nearly always read by one thread),
// so a spin that yields costs a few instructions where a mutex costs tens.
class TSpinLock {
  std::atomic<bool> FHeld{false};

 public:
  void lock() noexcept {
    while (FHeld.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
  }
  void unlock() noexcept { FHeld.store(false, std::memory_order_release); }
};

// The page text, shared by every element made from it: tokens keep their
// raw text as views into it instead of copies. It also owns the arena that
// the elements, their children arrays, attributes, tag names and decoded
// text live in, so that a parse makes a handful of heap allocations instead
// of several per element. Freed with the last element.
class TSourceText {
  // The text itself when the caller handed it over; empty when Text is a
  // copy this object made.
  std::u16string FOwned;

 public:
  explicit TSourceText(std::u16string_view text);
  // Keeps text itself instead of a copy; Text is its first length units.
  TSourceText(std::u16string&& text, size_t length);
  ~TSourceText();
  TSourceText(const TSourceText&) = delete;
  TSourceText& operator=(const TSourceText&) = delete;
  void AddRef() noexcept { FRefCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept { Release(1); }
  // Lets go of n references at once (a freed tree's elements).
  void Release(int32_t n) noexcept {
    if (FRefCount.fetch_sub(n, std::memory_order_acq_rel) == n) delete this;
  }
  // AddRef for the parse, when no other thread can reach this text yet: a
  // plain increment (the locked steps for each element were a seventh of
  // parse and free).
  void AddRefUnshared() noexcept {
    FRefCount.store(FRefCount.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }
  // Storage that lives as long as the text; 8-byte aligned.
  void* Allocate(size_t bytes) {
    bytes = (bytes + 7) & ~size_t{7};
    if (bytes > FLeft) Grow(bytes);
    void* p = FNext;
    FNext += bytes;
    FLeft -= bytes;
    return p;
  }
  template <class T>
  T* AllocateArray(size_t count) {
    return static_cast<T*>(Allocate(sizeof(T) * count));
  }
  // Line and column (from 1, in UTF-16 units) of the unit at pos. The
  // line feeds are found on the first call, not at every parse: only
  // tools and error messages ask.
  std::pair<int32_t, int32_t> LineAndColumn(size_t pos);
  // Held by whoever writes to the arena or the line-feed list once the
  // parse is over (an element reading its attributes or making its closing
  // tag on first use), since the finished tree may be read from several
  // threads.
  TSpinLock& LateAllocation() { return FLateAllocation; }
  // Gives a handed-over text back to a caller whose parse failed; Text is
  // of no use afterwards.
  std::u16string TakeBack() { return std::move(FOwned); }
  // Owned by this object.
  const std::u16string_view Text;

 private:
  static const char16_t* CopyOf(std::u16string_view text);
  static size_t FirstBlockSize(size_t units);
  const bool FCopied;
  void Grow(size_t bytes);
  TSpinLock FLateAllocation;
  std::atomic<bool> FFeedsFound{false};
  std::vector<size_t> FFeeds;  // positions of the line feeds, once found
  std::atomic<int32_t> FRefCount{0};
  void* FBlocks = nullptr;  // newest first, each starting with the link
  char* FNext = nullptr;
  size_t FLeft = 0;
  size_t FNextBlockSize;
};

// A stack for the walks over a tree that keeps its first N entries inside
// itself: walks are usually shallow, and a query that allocated its stack
// paid more for the allocation than for the walk. Deep pages spill over
// into the heap. T must be trivially copyable; back() is invalidated by a
// push like a vector's.
template <class T, size_t N>
class TWalkStack {
  static_assert(std::is_trivially_copyable_v<T>);
  union TLocal {
    TLocal() {}  // left unset: only entries below the size are read
    T Items[N];
  } FLocal;
  std::vector<T> FHeap;
  // The entries, in FLocal until they outgrow it: one place to look, so
  // that reading the top costs no test of where it is.
  T* FData = FLocal.Items;
  size_t FSize = 0;
  size_t FCapacity = N;

  void Grow() {
    std::vector<T> bigger(FCapacity * 2);
    std::copy_n(FData, FSize, bigger.data());
    FHeap.swap(bigger);
    FData = FHeap.data();
    FCapacity = FHeap.size();
  }

 public:
  TWalkStack() = default;
  TWalkStack(const TWalkStack&) = delete;
  TWalkStack& operator=(const TWalkStack&) = delete;
  bool empty() const { return FSize == 0; }
  size_t size() const { return FSize; }
  T& operator[](size_t i) { return FData[i]; }
  T& back() { return FData[FSize - 1]; }
  void push_back(const T& v) {
    if (FSize == FCapacity) Grow();
    FData[FSize++] = v;
  }
  void pop_back() { --FSize; }
  T* data() { return FData; }
  // Drops the entries from n on; n is at most size().
  void truncate(size_t n) { FSize = n; }
};

// Fixed array in the document arena; the arena frees it.
template <class T>
struct TArenaArray {
  T* Data = nullptr;
  uint32_t Count = 0;
  size_t size() const { return Count; }
  bool empty() const { return Count == 0; }
  T& operator[](size_t i) const { return Data[i]; }
  T* begin() const { return Data; }
  T* end() const { return Data + Count; }
  void clear() { Count = 0; }
};

enum class TElementKind : uint8_t { Document, Tag, CloseTag, Text, Comment, DocType, Script, Style };

// Key and value views point into the page text or into the document arena
// (lower-cased names, decoded values), never into anything else.
struct TAttr {
  std::u16string_view Key;
  std::u16string_view Value;
};

class THtmlElement final : public IHtmlElement {
 public:
  THtmlElement(TSourceText* source, TElementKind kind, std::u16string_view text);
  // For the tokenizer: the element starts with one reference, the one its
  // parent will hold, and takes its reference to the source unshared (see
  // TSourceText::AddRefUnshared); the parse counts it as live at its end
  // (NoteElementsMade).
  struct TDuringParse {};
  THtmlElement(TSourceText* source, TElementKind kind, std::u16string_view text, TDuringParse);
  ~THtmlElement();
  THtmlElement(const THtmlElement&) = delete;
  THtmlElement& operator=(const THtmlElement&) = delete;

  void AddRef() const noexcept override { FRefCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept override;

  TRef<IHtmlElement> GetOwner() const override { return TRef<IHtmlElement>(FOwner); }
  std::u16string GetTagName() const override { return std::u16string(FTagName); }
  std::u16string GetContent() const override { return std::u16string(FContent); }
  std::u16string GetOrignal() const override { return std::u16string(FOrignal); }
  int32_t GetChildrenCount() const override { return static_cast<int32_t>(FChildren.size()); }
  TRef<IHtmlElement> GetChildren(int32_t Index) const override;
  TRef<IHtmlElement> GetCloseTag() const override;
  std::u16string GetInnerHtml() const override;
  std::u16string GetOuterHtml() const override;
  std::u16string GetInnerText() const override;
  std::u16string GetAttributes(std::u16string_view Name) const override;
  int32_t GetSourceLineNum() const override;
  int32_t GetSourceColNum() const override;
  bool HasAttribute(std::u16string_view AttributeName) const override;
  TRef<IHtmlElementList> FindElements(std::u16string_view ATagName, std::u16string_view AAttributes,
                                      bool AOnlyInTopElement) const override;
  TRef<IHtmlElementList> SimpleCSSSelector(std::u16string_view selector) const override;
  void EnumAttributeNames(void* AParam, TEnumAttributeNameCallBack ACallBack) const override;

  // Attribute value under an already lower-cased name, or null.
  const std::u16string_view* FindAttr(std::u16string_view lowerName) const;
  // The attributes, read from the tag's text the first time they are asked
  // for: most tags of a result page are never asked, and reading every
  // tag's attributes up front was a third of the parse.
  const TArenaArray<TAttr>& Attrs() const {
    if (FAttrsPending.load(std::memory_order_acquire)) ReadAttrs();
    return FAttrs;
  }
  // True when no attribute value can contain text (not empty): the table is
  // unread, and the tag's text has no character reference and no copy of
  // text, while every value is a piece of that text. A selector condition
  // then fails without the table being made; on a result page most
  // elements a condition is tried on fail it.
  bool NoValueCanHold(std::u16string_view text) const;
  bool IsTagElement() const { return !FTagName.empty() && FTagName[0] != u'#'; }
  // Appends to the inner text / HTML builders without recursion.
  void AppendText(bool IncludeSelf, std::u16string& out) const;
  void AppendHtml(bool IncludeSelf, std::u16string& out) const;
  // Runs the destructor and lets go of the arena the element lives in.
  static void Destroy(THtmlElement* e) noexcept;

  mutable std::atomic<int32_t> FRefCount{0};
  TElementKind FKind;
  bool FClosed = false;
  bool FIsCloseTag = false;
  bool FIsVoid = false;
  // Set by the tokenizer when the tag's text holds attributes not yet read
  // into FAttrs.
  mutable std::atomic<bool> FAttrsPending{false};
  // Position among the owner's children, so that sibling combinators need
  // no search; -1 without owner.
  int32_t FIndexInOwner = -1;
  THtmlElement* FOwner = nullptr;      // no reference held
  // The closing tag is kept as its text: few callers ever ask for it as an
  // element, which is then made once (FCloseTag, one reference held).
  std::u16string_view FCloseText;      // into FSource; empty for none
  mutable std::atomic<THtmlElement*> FCloseTag{nullptr};
  TSourceText* FSource;                // one reference held
  std::u16string_view FTagName;        // static text or the arena
  std::u16string_view FOrignal;        // into FSource
  std::u16string_view FContent;        // into FSource or the arena

 private:
  void ReadAttrs() const;
  THtmlElement* MakeCloseTag() const;
  // Line and column; 0, 0 for the document.
  std::pair<int32_t, int32_t> Place() const;

 public:
  mutable TArenaArray<TAttr> FAttrs;   // through Attrs(); table order is computed on demand
  TArenaArray<THtmlElement*> FChildren;  // one reference each
};

// Adds n elements made by a parse to the live count at once.
void NoteElementsMade(int64_t n) noexcept;

// Result lists hold one reference per entry. Unlike a children list they do
// not clear the parent links of the elements they let go: those elements
// usually still sit in a live tree.
class TIHtmlElementList final : public IHtmlElementList {
 public:
  TIHtmlElementList() = default;
  ~TIHtmlElementList();
  void AddRef() const noexcept override { FRefCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept override {
    if (FRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int32_t GetCount() const override { return static_cast<int32_t>(FList.size()); }
  TRef<IHtmlElement> GetItems(int32_t Index) const override;
  int32_t IndexOf(const IHtmlElement* Item) const;
  // Takes a new reference to Item; returns its index.
  int32_t Add(const THtmlElement* Item);
  void Delete(int32_t Index);
  void Clear();

 private:
  mutable std::atomic<int32_t> FRefCount{0};
  std::vector<const THtmlElement*> FList;
};

// Writes the decoded form of s to out (room for s.size() units, which is
// always enough: a reference is never shorter than its replacement) and
// returns its length.
size_t DecodeCharReferencesTo(std::u16string_view s, char16_t* out);
// The same for a caller that knows where s's first "&" is (s.size() for
// none), so that the units before it are not searched again.
size_t DecodeCharReferencesTo(std::u16string_view s, char16_t* out, size_t firstAmp);

// Upper case for ASCII letters only.
inline char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
inline char16_t AsciiLowerChar(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
inline bool IsHtmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

std::u16string Utf16Format(const char* fmt, int a, int b);

}  // namespace zqe::html
