// Internal to the parser: the two ways a parsed selector is searched for.
// SimpleCSSSelector picks one; tests hold them against each other. May
// change without notice; include only from src/html and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "html/HtmlElement.h"

namespace zqe::html::selector_detail {

// Every selector: a search over (element, chain position) states, whose
// result order for child and sibling combinators and for groups is part of
// the behaviour.
void SearchStates(const THtmlElement& root, const TCSSSelectorItemGroup& group, TIHtmlElementList& result);

// Whether SearchChainInOrder can answer the group: one chain whose items
// are joined by descendant combinators only.
bool IsDescendantChain(const TCSSSelectorItemGroup& group);

// The same list as SearchStates for such a chain, which finds its matches
// in document order: one pre-order walk that carries, down the tree, how
// many leading items the ancestors match (matching each item at the first
// ancestor that can take it never matches fewer).
void SearchChainInOrder(const THtmlElement& root, const TCSSSelectorItems& chain, TIHtmlElementList& result,
                        size_t limit = SIZE_MAX);

}  // namespace zqe::html::selector_detail
