// The two reference-counted interfaces through which the engine reads a
// parsed page: IHtmlElement (one node) and IHtmlElementList (an ordered
// list of nodes, as queries return them).
//
// Lifetimes: every element is reference-counted. The document returned by
// ParseHtmlDocument keeps its whole tree alive; a result list keeps its
// entries (and their subtrees) alive even after the document is released.
// A child that outlives its parent reports no owner.
//
// Threads: one tree is built, queried and released by one thread. Reference
// counts are atomic, so a result list may be handed to another thread once
// the tree is no longer touched by the first.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace zqe::html {

class IRefCounted {
 public:
  virtual void AddRef() const noexcept = 0;
  virtual void Release() const noexcept = 0;

 protected:
  ~IRefCounted() = default;
};

// Intrusive owning pointer for the interfaces below: copying adds a
// reference, destruction releases one.
template <class T>
class TRef {
 public:
  TRef() noexcept = default;
  TRef(std::nullptr_t) noexcept {}
  // Takes a new reference to p.
  explicit TRef(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  // Adopts a reference the caller already owns.
  static TRef Adopt(T* p) noexcept {
    TRef r;
    r.p_ = p;
    return r;
  }
  TRef(const TRef& o) noexcept : TRef(o.p_) {}
  TRef(TRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  TRef(const TRef<U>& o) noexcept : TRef(static_cast<T*>(o.get())) {}
  ~TRef() {
    if (p_) p_->Release();
  }
  TRef& operator=(TRef o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Hands the reference to the caller.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  friend bool operator==(const TRef& a, const TRef& b) noexcept { return a.p_ == b.p_; }

 private:
  T* p_ = nullptr;
};

class IHtmlElementList;

// Plain callback for EnumAttributeNames; return false to stop.
using TEnumAttributeNameCallBack = bool (*)(void* AParam, const std::u16string& AttributeName,
                                            const std::u16string& AttributeValue);

// Raised by ParseHtmlDocument (tags, comments, scripts or styles that never
// end) and SimpleCSSSelector (selector syntax). what() is the message in
// UTF-8; Message() the same in UTF-16.
class EHtmlParserError : public std::runtime_error {
 public:
  explicit EHtmlParserError(const std::u16string& message);
  const std::u16string& Message() const noexcept { return message_; }

 private:
  std::u16string message_;
};

// One node of a parsed page. Kinds are told by the tag name: "#DOCUMENT",
// "#TEXT", "#COMMENT", "#DOCTYPE", "#SCRIPT", "#STYLE", or an upper-case tag
// name ("DIV"). Closing tags are never children; they hang off the element
// they close (GetCloseTag).
class IHtmlElement : public IRefCounted {
 public:
  // The parent; none for the document, closing tags and detached elements.
  virtual TRef<IHtmlElement> GetOwner() const = 0;
  virtual std::u16string GetTagName() const = 0;
  // Decoded text of text, comment, doctype, script and style nodes.
  virtual std::u16string GetContent() const = 0;
  // The token exactly as written in the page.
  virtual std::u16string GetOrignal() const = 0;
  virtual int32_t GetChildrenCount() const = 0;
  // Child at Index (0-based, document order), or none when out of range.
  virtual TRef<IHtmlElement> GetChildren(int32_t Index) const = 0;
  virtual TRef<IHtmlElement> GetCloseTag() const = 0;
  // Source text of the subtree, without (inner) or with (outer) this
  // element's own tags; references stay as written.
  virtual std::u16string GetInnerHtml() const = 0;
  virtual std::u16string GetOuterHtml() const = 0;
  // Concatenated decoded text of every text node of the subtree, as is.
  virtual std::u16string GetInnerText() const = 0;
  // Value under the ASCII-lower-cased Name, or the empty string.
  virtual std::u16string GetAttributes(std::u16string_view Name) const = 0;
  // 1-based position of the token's first character (document: 0, 0);
  // columns count UTF-16 code units.
  virtual int32_t GetSourceLineNum() const = 0;
  virtual int32_t GetSourceColNum() const = 0;
  virtual bool HasAttribute(std::u16string_view AttributeName) const = 0;
  // Children (and, unless AOnlyInTopElement, deeper descendants) whose tag
  // name equals ATagName ignoring ASCII case (any when empty) and that carry
  // every name=value pair of AAttributes exactly. Matches are grouped by
  // parent, not in document order; the element itself is never included.
  virtual TRef<IHtmlElementList> FindElements(std::u16string_view ATagName,
                                              std::u16string_view AAttributes,
                                              bool AOnlyInTopElement) const = 0;
  // Matches of a CSS selector in the subtree, this element included, each
  // once. Throws EHtmlParserError on a syntax error.
  virtual TRef<IHtmlElementList> SimpleCSSSelector(std::u16string_view selector) const = 0;
  // Calls ACallBack for every attribute in the attribute table's key order
  // (bucket by bucket, newest first within a bucket); nothing when null.
  virtual void EnumAttributeNames(void* AParam, TEnumAttributeNameCallBack ACallBack) const = 0;

 protected:
  ~IHtmlElement() = default;
};

class IHtmlElementList : public IRefCounted {
 public:
  virtual int32_t GetCount() const = 0;
  // Entry at Index (0-based), or none when out of range.
  virtual TRef<IHtmlElement> GetItems(int32_t Index) const = 0;

 protected:
  ~IHtmlElementList() = default;
};

}  // namespace zqe::html
