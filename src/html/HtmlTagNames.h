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
    // Most names have four units or fewer ("a", "li", "div", "span"): their
    // units make one 64-bit key (a name holds no U+0000, so the key tells
    // the length too), answered by one comparison.
    if (!raw.empty() && raw.size() <= 4) {
      uint64_t key = 0;
      for (size_t k = 0; k < raw.size(); ++k) key |= uint64_t{raw[k]} << (16 * k);
      TShort& s = FShort[(key * 0x9E3779B97F4A7C15ull) >> (64 - kShortBits)];
      if (s.Key == key) return s.Id;
      const int32_t id = InternName(raw);
      s.Key = key;
      s.Id = id;
      return id;
    }
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
  static constexpr int kShortBits = 6;
  struct TShort {
    uint64_t Key = 0;  // 0: empty slot (no name is empty)
    int32_t Id = -1;
  };
  TShort FShort[size_t{1} << kShortBits];
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
