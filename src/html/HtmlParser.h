// The engine's own HTML parser: a tolerant tokenizer and tree builder, a
// small CSS selector engine, character-reference decoding, and the two
// plain containers the unit is built on.
//
// Everything here is iterative: pages may nest a million levels deep, so no
// operation (parsing, freeing, text output, queries) recurses over a tree,
// and no page can make one of them quadratic.
#pragma once

#include "html/HtmlParserDef.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zqe::html {

// ---------------------------------------------------------------------------
// Parsing

// Parses AHtml (UTF-16; a U+0000 ends it) into a tree whose root is a
// "#DOCUMENT" element; the caller holds one reference. Throws
// EHtmlParserError for a tag, comment or declaration without its ">", and
// for a script or style opened with "<!--" that never closes.
TRef<IHtmlElement> ParseHtmlDocument(std::u16string_view AHtml);
// The same, keeping Html itself in the tree instead of a copy of it: Html
// is left empty, or as it was when the parse throws.
TRef<IHtmlElement> ParseHtmlText(std::u16string& Html);
// The same for Html's first Length units, which the caller knows to hold no
// U+0000: a page's cleaning tells that on its way, sparing a search.
TRef<IHtmlElement> ParseHtmlText(std::u16string& Html, size_t Length);
// The text a tree was parsed from (up to a U+0000); valid while the tree
// lives. Doc is any element of a tree from the parse functions above.
std::u16string_view DocumentText(const IHtmlElement& Doc);
// El's GetInnerText written over Out, whose storage is reused: a caller
// that reads many elements' text keeps one buffer instead of growing a new
// string for each.
void InnerTextInto(const IHtmlElement& El, std::u16string& Out);

struct TAttributeItem {
  std::u16string Key;
  std::u16string Value;
  friend bool operator==(const TAttributeItem&, const TAttributeItem&) = default;
};
using TAttributeDynArray = std::vector<TAttributeItem>;

// Reads name[=value] pairs separated by whitespace, values optionally
// quoted; names as written, values not decoded, in source order.
TAttributeDynArray ParseAttributeList(std::u16string_view text);

enum TTagClass : uint32_t {
  tcBlock = 1,
  tcInline = 2,
  tcVoid = 4,
  tcClass8 = 8,
  tcClass16 = 16,
};
// Class flags of a tag name (any ASCII case), 0 for unknown names.
uint32_t GetTagClass(std::u16string_view name);

// Replaces named (HTML 4.01; looked up as written, then lower-cased) and
// numeric references (above U+FFFF as a surrogate pair; U+FFFD for what
// names no character) in one pass; decoded text is never decoded again.
// Never fails.
std::u16string DecodeCharReferences(std::u16string_view s);

// ---------------------------------------------------------------------------
// Selectors

enum class TAttrOperator : uint8_t {
  aoExist, aoEqual, aoNotEqual, aoIncludeWord, aoBeginWord, aoBegin, aoEnd, aoContain,
};

struct TAttrSelectorItem {
  std::u16string Key;  // lower case
  TAttrOperator AttrOperator = TAttrOperator::aoEqual;
  std::u16string Value;  // references decoded
};

enum class TSelectorItemRelation : uint8_t {
  sirNONE, sirDescendant, sirChildren, sirYoungerBrother, sirAllYoungerBrother,
};

// One compound selector and how it relates to the one before it.
struct TCSSSelectorItem {
  TSelectorItemRelation Relation = TSelectorItemRelation::sirNONE;
  std::u16string szTag;  // upper case; empty or "*" for any
  std::vector<TAttrSelectorItem> Attributes;
};
using TCSSSelectorItems = std::vector<TCSSSelectorItem>;
using TCSSSelectorItemGroup = std::vector<TCSSSelectorItems>;

// Throws EHtmlParserError with the line and column of a bad attribute
// condition, or of a character that can start no part of a selector.
TCSSSelectorItemGroup ParseSelector(std::u16string_view text);

// The element that From.SimpleCSSSelector would list first, for a selector
// parsed once by ParseSelector and asked of many elements; none when
// nothing matches. A chain of descendant steps stops at its first match.
TRef<IHtmlElement> FirstCSSMatch(const IHtmlElement& From, const TCSSSelectorItemGroup& Selector);

// Stable one-line text of a parsed selector, for tests and diagnostics:
// chains separated by " , ", combinators written out, e.g.
// DIV[id=content_left] > *[class~=c-container].
std::u16string DumpSelector(const TCSSSelectorItemGroup& group);

// ---------------------------------------------------------------------------
// Diagnostics

// Stable one-line text of a tree: tags with their attributes in table order
// and "/" when a closing tag was matched, children in parentheses, other
// nodes as #KIND"content" with \n, \r, \t, \\ and \" escaped. The document
// itself is not written, only its children.
std::u16string DumpElementTree(const IHtmlElement& root);

// Elements currently alive in the process (all trees), so that tests can
// show that trees are freed.
int64_t LiveHtmlElementCount() noexcept;

// The tag-class and character-reference tables are built when the library
// loads; its unload frees them (the next use builds them again).
void ReleaseTagClassTable();
void ReleaseCharRefTable();

// ---------------------------------------------------------------------------
// Containers

// String-to-string hash table with a fixed number of buckets and no
// rehashing. Keys compare exactly; case folding is the caller's business.
class TStringDictionary {
 public:
  explicit TStringDictionary(uint32_t Size);
  virtual ~TStringDictionary();
  TStringDictionary(const TStringDictionary&) = delete;
  TStringDictionary& operator=(const TStringDictionary&) = delete;

  // Puts a new item in front of its bucket without looking for the key; an
  // older item with the same key stays hidden behind it.
  void Add(std::u16string_view Key, std::u16string_view Value);
  void AddOrSetValue(std::u16string_view Key, std::u16string_view Value);
  bool Modify(std::u16string_view Key, std::u16string_view Value);
  // Value of the first item with Key, or the empty string.
  std::u16string ValueOf(std::u16string_view Key) const;
  // Like ValueOf without a copy; null when absent.
  const std::u16string* Find(std::u16string_view Key) const;
  bool ContainsKey(std::u16string_view Key) const;
  void Remove(std::u16string_view Key);
  void Clear();
  // Bucket 0 first; within a bucket, the most recently added key first.
  std::vector<std::u16string> GetKeys() const;
  uint32_t BucketCount() const { return static_cast<uint32_t>(Buckets.size()); }

  virtual uint32_t KeyHash(std::u16string_view Key) const;

 private:
  struct THashItem {
    THashItem* Next;
    std::u16string Key;
    std::u16string Value;
  };
  using PHashItem = THashItem*;
  PHashItem* FindLink(std::u16string_view Key) const;

  std::vector<PHashItem> Buckets;
};

// Plain list of untyped pointers; never owns what it points to. Out-of-range
// indexes make an operation do nothing, and reads yield null.
class TList {
 public:
  static constexpr int32_t MaxListSize = 134217727;

  TList() = default;
  virtual ~TList();
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int32_t Add(void* Item);
  void Insert(int32_t Index, void* Item);
  void Delete(int32_t Index);
  int32_t Remove(void* Item);
  void* Extract(void* Item);
  int32_t IndexOf(void* Item) const;
  void Exchange(int32_t Index1, int32_t Index2);
  void Move(int32_t CurIndex, int32_t NewIndex);
  void* First() const { return Get(0); }
  void* Last() const { return Get(FCount - 1); }
  void* Get(int32_t Index) const;
  void Put(int32_t Index, void* Item);
  // Removes every null entry.
  void Pack();
  virtual void Clear();
  // Grows when full.
  void Expand();

  int32_t Count() const { return FCount; }
  void SetCount(int32_t NewCount);
  int32_t Capacity() const { return FCapacity; }
  void SetCapacity(int32_t NewCapacity);
  void** List() const { return FList.get(); }

 protected:
  virtual void GrowCapacity();

 private:
  std::unique_ptr<void*[]> FList;
  int32_t FCount = 0;
  int32_t FCapacity = 0;
};

}  // namespace zqe::html
