// The tree builder: attaches each token to the tree as the tokenizer makes it.
#include "html/HtmlTreeBuilder.h"

#include <algorithm>

namespace zqe::html {

THtmlTreeBuilder::~THtmlTreeBuilder() {
  if (FFinished) return;
  // A parse error: nothing waiting here is in a children array yet, and
  // each holds the one reference its parent would have held.
  for (size_t i = 0; i < FPending.size(); ++i) {
    THtmlElement* e = FPending[i];
    e->FOwner = nullptr;
    e->FIndexInOwner = -1;
    e->Release();
  }
}

void THtmlTreeBuilder::Finish() {
  while (!FOpen.empty()) {
    TakeChildren(FOpen.back().Element, FOpen.back().FirstChild);
    FOpen.pop_back();
  }
  TakeChildren(FDocument, 0);
  FFinished = true;
}

void THtmlTreeBuilder::TakeChildren(THtmlElement* e, size_t first) {
  const size_t count = FPending.size() - first;
  if (count == 0) return;
  auto* kids = FDocument->FSource->AllocateArray<THtmlElement*>(count);
  // Most elements have a few children: a loop, not a call to memmove.
  THtmlElement* const* from = FPending.data() + first;
  for (size_t k = 0; k < count; ++k) kids[k] = from[k];
  e->FChildren.Data = kids;
  e->FChildren.Count = static_cast<uint32_t>(count);
  FPending.truncate(first);
}

void THtmlTreeBuilder::PopOpen() {
  TOpenElement& top = FOpen.back();
  top.Element->FClosed = true;
  TakeChildren(top.Element, top.FirstChild);
  FNames[top.Name].LastOpen = top.BelowSameName;
  FOpen.pop_back();
}

void THtmlTreeBuilder::AddCloseTag(std::u16string_view text, int32_t name) {
  const int32_t j = FNames[name].LastOpen;
  if (j < 0) return;  // matches nothing: dropped
  THtmlElement* opener = FOpen[static_cast<size_t>(j)].Element;
  // Whatever is still open inside the matched element closes with it.
  while (FOpen.size() > static_cast<size_t>(j)) PopOpen();
  opener->FCloseText = text;
}

}  // namespace zqe::html
