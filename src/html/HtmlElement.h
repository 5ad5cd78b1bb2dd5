// Internal to the parser: the element class behind IHtmlElement and the
// list class behind IHtmlElementList. Code outside src/html uses the
// interfaces only.
#pragma once

#include "html/HtmlParser.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zqe::html {

// The page text, shared by every element made from it: tokens keep their
// raw text as views into it instead of copies. Freed with the last element.
class TSourceText {
 public:
  explicit TSourceText(std::u16string_view text) : Text(text) {}
  void AddRef() noexcept { FRefCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept {
    if (FRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  const std::u16string Text;

 private:
  std::atomic<int32_t> FRefCount{0};
};

enum class TElementKind : uint8_t { Document, Tag, CloseTag, Text, Comment, DocType, Script, Style };

// Key and value views point into the page text or into the element's
// FAttrBuf (lower-cased names, decoded values), never into anything else.
struct TAttr {
  std::u16string_view Key;
  std::u16string_view Value;
};

class THtmlElement final : public IHtmlElement {
 public:
  THtmlElement(TSourceText* source, TElementKind kind, std::u16string_view text, int32_t line, int32_t col);
  ~THtmlElement();
  THtmlElement(const THtmlElement&) = delete;
  THtmlElement& operator=(const THtmlElement&) = delete;

  void AddRef() const noexcept override { FRefCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept override;

  TRef<IHtmlElement> GetOwner() const override { return TRef<IHtmlElement>(FOwner); }
  std::u16string GetTagName() const override { return FTagName; }
  std::u16string GetContent() const override { return std::u16string(FContent); }
  std::u16string GetOrignal() const override { return std::u16string(FOrignal); }
  int32_t GetChildrenCount() const override { return static_cast<int32_t>(FChildren.size()); }
  TRef<IHtmlElement> GetChildren(int32_t Index) const override;
  TRef<IHtmlElement> GetCloseTag() const override { return TRef<IHtmlElement>(FCloseTag); }
  std::u16string GetInnerHtml() const override;
  std::u16string GetOuterHtml() const override;
  std::u16string GetInnerText() const override;
  std::u16string GetAttributes(std::u16string_view Name) const override;
  int32_t GetSourceLineNum() const override { return FSourceLine; }
  int32_t GetSourceColNum() const override { return FSourceCol; }
  bool HasAttribute(std::u16string_view AttributeName) const override;
  TRef<IHtmlElementList> FindElements(std::u16string_view ATagName, std::u16string_view AAttributes,
                                      bool AOnlyInTopElement) const override;
  TRef<IHtmlElementList> SimpleCSSSelector(std::u16string_view selector) const override;
  void EnumAttributeNames(void* AParam, TEnumAttributeNameCallBack ACallBack) const override;

  // Attribute value under an already lower-cased name, or null.
  const std::u16string_view* FindAttr(std::u16string_view lowerName) const;
  bool IsTagElement() const { return !FTagName.empty() && FTagName[0] != u'#'; }
  // Appends to the inner text / HTML builders without recursion.
  void AppendText(bool IncludeSelf, std::u16string& out) const;
  void AppendHtml(bool IncludeSelf, std::u16string& out) const;
  // Takes ownership of the caller's reference to child.
  void AppendChild(THtmlElement* child);

  mutable std::atomic<int32_t> FRefCount{0};
  TElementKind FKind;
  bool FClosed = false;
  bool FIsCloseTag = false;
  bool FIsVoid = false;
  int32_t FSourceLine;
  int32_t FSourceCol;
  // Position among the owner's children, so that sibling combinators need
  // no search; -1 without owner.
  int32_t FIndexInOwner = -1;
  THtmlElement* FOwner = nullptr;      // no reference held
  THtmlElement* FCloseTag = nullptr;   // one reference held
  TSourceText* FSource;                // one reference held
  std::u16string FTagName;
  std::u16string_view FOrignal;        // into FSource
  std::u16string_view FContent;        // into FSource or FContentBuf
  std::u16string FContentBuf;
  std::vector<TAttr> FAttrs;           // table order is computed on demand
  std::u16string FAttrBuf;
  std::vector<THtmlElement*> FChildren;  // one reference each
};

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

// Reads a tag token (brackets included) into e: closing and self-closing
// marks, upper-case name, attributes.
void ReadTag(THtmlElement& e, std::u16string_view token);

// Upper case for ASCII letters only.
inline char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
inline char16_t AsciiLowerChar(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
inline bool IsHtmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

std::u16string Utf16Format(const char* fmt, int a, int b);

}  // namespace zqe::html
