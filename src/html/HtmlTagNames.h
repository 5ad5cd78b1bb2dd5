// Internal to the parser: the tag-name interner.
#pragma once

#include "html/HtmlElement.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace zqe::html {

// The tag names met in one parse, each upper-cased once into the arena and
// shared by all its elements, with what the builder needs to know per name.
class TTagNames {
 public:
  struct TEntry {
    std::u16string_view Name;
    uint32_t Hash = 0;
    bool Void = false;
    bool Script = false;
    bool Style = false;
    int32_t LastOpen = -1;  // top open element of this name, -1 for none
  };

  explicit TTagNames(TSourceText* arena) : FArena(arena) {
    FSlots.assign(256, -1);
    FEntries.reserve(128);
  }

  // The entry for raw (any case).
  int32_t Intern(std::u16string_view raw);

  TEntry& operator[](int32_t id) { return FEntries[static_cast<size_t>(id)]; }

 private:
  void Rehash();

  TSourceText* FArena;
  std::vector<int32_t> FSlots;
  std::vector<TEntry> FEntries;
};

}  // namespace zqe::html
