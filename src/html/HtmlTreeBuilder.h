// Internal to the parser: the tree builder.
#pragma once

#include "html/HtmlElement.h"
#include "html/HtmlTagNames.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zqe::html {

// Builds the tree as tokens arrive. Open elements sit on a stack, and each
// open element links to the next open element of its name below it, so
// that both finding a parent and matching a closing tag cost O(1) however
// deep or wide the page is. The children of the open elements wait on one
// shared stack (an element's children are always its top) and move into an
// exact-size arena array when the element closes.
class THtmlTreeBuilder {
 public:
  THtmlTreeBuilder(THtmlElement* doc, TTagNames& names) : FDocument(doc), FNames(names) {}

  // Releases whatever a parse error left waiting.
  ~THtmlTreeBuilder();

  // Takes the caller's reference to e; name is its tag name entry (-1 for
  // nodes that are not tags).
  void Add(THtmlElement* e, int32_t name) {
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

  // A closing tag (its text, brackets included) closes the top open
  // element of its name and all open inside it, or is dropped.
  void AddCloseTag(std::u16string_view text, int32_t name);

  // Moves every waiting child into its parent's array.
  void Finish();

 private:
  struct TOpenElement {
    THtmlElement* Element;
    int32_t Name;
    int32_t BelowSameName;
    size_t FirstChild;  // in FPending
  };

  void TakeChildren(THtmlElement* e, size_t first);
  void PopOpen();

  THtmlElement* FDocument;
  TTagNames& FNames;
  // Stacks that keep their size as a count: a vector's size is a pointer
  // difference divided by the entry size, asked for several times a token.
  TWalkStack<TOpenElement, 64> FOpen;
  TWalkStack<THtmlElement*, 256> FPending;
  bool FFinished = false;
};

}  // namespace zqe::html
