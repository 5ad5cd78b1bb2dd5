// Internal to the parser: the tag-name interner.
#pragma once

#include "html/HtmlElement.h"

#include <algorithm>
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
  int32_t Intern(std::u16string_view raw) {
    // A page spells the same few names the same way thousands of times:
    // the spellings met last answer without upper-casing and hashing.
    if (raw.empty() || raw.size() > kRecentLength) return InternName(raw);
    TRecent& r = FRecent[(raw.size() * 31 + raw[0] * 7 + raw.back()) % kRecentCount];
    if (r.Length == raw.size() && SameUnits(raw.data(), r.Raw, raw.size())) return r.Id;
    const int32_t id = InternName(raw);
    std::copy(raw.begin(), raw.end(), r.Raw);
    r.Length = raw.size();
    r.Id = id;
    return id;
  }

  TEntry& operator[](int32_t id) { return FEntries[static_cast<size_t>(id)]; }

 private:
  static constexpr size_t kRecentLength = 12;
  static constexpr size_t kRecentCount = 64;
  struct TRecent {
    char16_t Raw[kRecentLength];
    size_t Length = 0;  // 0: empty slot
    int32_t Id = -1;
  };

  // A loop rather than std::equal, which calls memcmp: for names of a few
  // units the call cost more than the comparison.
  static bool SameUnits(const char16_t* a, const char16_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (a[i] != b[i]) return false;
    return true;
  }
  int32_t InternName(std::u16string_view raw);
  void Rehash();

  TRecent FRecent[kRecentCount];

  TSourceText* FArena;
  std::vector<int32_t> FSlots;
  std::vector<TEntry> FEntries;
};

}  // namespace zqe::html
