#include "html/HtmlParser.h"

#include <algorithm>
#include <cstring>

namespace zqe::html {

// ---------------------------------------------------------------------------
// TStringDictionary

TStringDictionary::TStringDictionary(uint32_t Size) : Buckets(Size == 0 ? 1 : Size, nullptr) {}

TStringDictionary::~TStringDictionary() { Clear(); }

uint32_t TStringDictionary::KeyHash(std::u16string_view Key) const {
  uint32_t h = 0;
  for (char16_t c : Key) h = ((h << 2) | (h >> 30)) ^ c;
  return h;
}

TStringDictionary::PHashItem* TStringDictionary::FindLink(std::u16string_view Key) const {
  auto* link = const_cast<PHashItem*>(&Buckets[KeyHash(Key) % Buckets.size()]);
  while (*link && (*link)->Key != Key) link = &(*link)->Next;
  return link;
}

void TStringDictionary::Add(std::u16string_view Key, std::u16string_view Value) {
  PHashItem& head = Buckets[KeyHash(Key) % Buckets.size()];
  head = new THashItem{head, std::u16string(Key), std::u16string(Value)};
}

void TStringDictionary::AddOrSetValue(std::u16string_view Key, std::u16string_view Value) {
  if (!Modify(Key, Value)) Add(Key, Value);
}

bool TStringDictionary::Modify(std::u16string_view Key, std::u16string_view Value) {
  PHashItem item = *FindLink(Key);
  if (!item) return false;
  item->Value = Value;
  return true;
}

const std::u16string* TStringDictionary::Find(std::u16string_view Key) const {
  PHashItem item = *FindLink(Key);
  return item ? &item->Value : nullptr;
}

std::u16string TStringDictionary::ValueOf(std::u16string_view Key) const {
  const std::u16string* v = Find(Key);
  return v ? *v : std::u16string();
}

bool TStringDictionary::ContainsKey(std::u16string_view Key) const { return *FindLink(Key) != nullptr; }

void TStringDictionary::Remove(std::u16string_view Key) {
  PHashItem* link = FindLink(Key);
  if (PHashItem item = *link) {
    *link = item->Next;
    delete item;
  }
}

void TStringDictionary::Clear() {
  for (PHashItem& head : Buckets) {
    while (head) {
      PHashItem next = head->Next;
      delete head;
      head = next;
    }
  }
}

std::vector<std::u16string> TStringDictionary::GetKeys() const {
  std::vector<std::u16string> keys;
  for (PHashItem item : Buckets)
    for (; item; item = item->Next) keys.push_back(item->Key);
  return keys;
}

// ---------------------------------------------------------------------------
// TList

TList::~TList() { TList::Clear(); }

void TList::GrowCapacity() {
  int32_t delta = FCapacity > 64 ? FCapacity / 4 : FCapacity > 8 ? 16 : 4;
  SetCapacity(std::min(FCapacity + delta, MaxListSize));
}

void TList::Expand() {
  if (FCount == FCapacity) GrowCapacity();
}

void TList::SetCapacity(int32_t NewCapacity) {
  if (NewCapacity < FCount || NewCapacity > MaxListSize || NewCapacity == FCapacity) return;
  std::unique_ptr<void*[]> fresh;
  if (NewCapacity > 0) {
    fresh = std::make_unique<void*[]>(static_cast<size_t>(NewCapacity));
    if (FCount > 0) std::memcpy(fresh.get(), FList.get(), sizeof(void*) * static_cast<size_t>(FCount));
  }
  FList = std::move(fresh);
  FCapacity = NewCapacity;
}

void TList::SetCount(int32_t NewCount) {
  if (NewCount < 0 || NewCount > MaxListSize) return;
  if (NewCount > FCapacity) SetCapacity(NewCount);
  if (NewCount > FCount) {
    std::fill(FList.get() + FCount, FList.get() + NewCount, nullptr);
    FCount = NewCount;
  } else {
    while (FCount > NewCount) Delete(FCount - 1);
  }
}

int32_t TList::Add(void* Item) {
  Expand();
  if (FCount == FCapacity) return -1;  // at the size limit
  FList[FCount] = Item;
  return FCount++;
}

void TList::Insert(int32_t Index, void* Item) {
  if (Index < 0 || Index > FCount) return;
  Expand();
  if (FCount == FCapacity) return;
  std::memmove(FList.get() + Index + 1, FList.get() + Index, sizeof(void*) * static_cast<size_t>(FCount - Index));
  FList[Index] = Item;
  ++FCount;
}

void TList::Delete(int32_t Index) {
  if (Index < 0 || Index >= FCount) return;
  --FCount;
  std::memmove(FList.get() + Index, FList.get() + Index + 1, sizeof(void*) * static_cast<size_t>(FCount - Index));
}

int32_t TList::IndexOf(void* Item) const {
  for (int32_t i = 0; i < FCount; ++i)
    if (FList[i] == Item) return i;
  return -1;
}

int32_t TList::Remove(void* Item) {
  int32_t i = IndexOf(Item);
  Delete(i);
  return i;
}

void* TList::Extract(void* Item) {
  int32_t i = IndexOf(Item);
  if (i < 0) return nullptr;
  Delete(i);
  return Item;
}

void TList::Exchange(int32_t Index1, int32_t Index2) {
  if (Index1 < 0 || Index1 >= FCount || Index2 < 0 || Index2 >= FCount) return;
  std::swap(FList[Index1], FList[Index2]);
}

void TList::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex || CurIndex < 0 || CurIndex >= FCount || NewIndex < 0 || NewIndex >= FCount) return;
  void* item = FList[CurIndex];
  Delete(CurIndex);
  Insert(NewIndex, item);
}

void* TList::Get(int32_t Index) const {
  if (Index < 0 || Index >= FCount) return nullptr;
  return FList[Index];
}

void TList::Put(int32_t Index, void* Item) {
  if (Index < 0 || Index >= FCount) return;
  FList[Index] = Item;
}

void TList::Pack() {
  // One pass that keeps the order; removing from the end one at a time
  // would cost a move of the tail per null entry.
  int32_t out = 0;
  for (int32_t i = 0; i < FCount; ++i)
    if (FList[i]) FList[out++] = FList[i];
  FCount = out;
}

void TList::Clear() {
  FCount = 0;
  SetCapacity(0);
}

}  // namespace zqe::html
