#include "TestUtil.h"

namespace zqe::html::test {
namespace {

TEST(StringDictionary, AddHidesOlderValueUntilRemoved) {
  TStringDictionary d(32);
  d.Add(u"k", u"old");
  d.Add(u"k", u"new");
  EXPECT_EQ(d.ValueOf(u"k"), u"new");
  d.Remove(u"k");
  EXPECT_EQ(d.ValueOf(u"k"), u"old");
  d.Remove(u"k");
  EXPECT_FALSE(d.ContainsKey(u"k"));
  EXPECT_EQ(d.ValueOf(u"k"), u"");
  d.Remove(u"k");  // absent: no effect
}

TEST(StringDictionary, AddOrSetValueModifiesInPlace) {
  TStringDictionary d(4);
  EXPECT_FALSE(d.Modify(u"a", u"1"));
  d.AddOrSetValue(u"a", u"1");
  d.AddOrSetValue(u"a", u"2");
  EXPECT_EQ(d.GetKeys(), std::vector<std::u16string>{u"a"});
  EXPECT_EQ(d.ValueOf(u"a"), u"2");
  EXPECT_FALSE(d.ContainsKey(u"A")) << "keys are case-sensitive";
}

TEST(StringDictionary, KeyHashRotatesAndXors) {
  TStringDictionary d(32);
  EXPECT_EQ(d.KeyHash(u""), 0u);
  EXPECT_EQ(d.KeyHash(u"a"), 97u);
  EXPECT_EQ(d.KeyHash(u"ab"), (97u << 2) ^ 98u);
  // The top bits come back at the bottom.
  // Bit 14, rotated 15 times by 2, passes bit 31 and lands on bit 12.
  EXPECT_EQ(d.KeyHash(std::u16string(1, u'\x4000') + std::u16string(15, u'\0')), 0x1000u);
  EXPECT_EQ(d.KeyHash(u"href") % 32, 18u);
  EXPECT_EQ(d.KeyHash(u"class") % 32, 15u);
  EXPECT_EQ(d.KeyHash(u"id") % 32, 0u);
}

TEST(StringDictionary, GetKeysBucketByBucketNewestFirst) {
  TStringDictionary d(32);
  for (auto k : {u"href", u"id", u"class", u"title", u"type"}) d.Add(k, u"");
  // title and type share bucket 21.
  EXPECT_EQ(d.GetKeys(), (std::vector<std::u16string>{u"id", u"class", u"href", u"type", u"title"}));
  d.Clear();
  EXPECT_TRUE(d.GetKeys().empty());
}

std::vector<intptr_t> Items(const TList& l) {
  std::vector<intptr_t> v;
  for (int32_t i = 0; i < l.Count(); ++i) v.push_back(reinterpret_cast<intptr_t>(l.Get(i)));
  return v;
}
void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

TEST(PointerList, OperationsKeepOrder) {
  TList l;
  for (intptr_t i = 1; i <= 5; ++i) EXPECT_EQ(l.Add(P(i)), i - 1);
  l.Insert(5, P(6));  // at Count: appends
  l.Insert(0, P(0));
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{0, 1, 2, 3, 4, 5, 6}));
  l.Move(0, 6);
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{1, 2, 3, 4, 5, 6, 0}));
  l.Exchange(0, 1);
  l.Delete(6);
  EXPECT_EQ(l.Remove(P(4)), 3);
  EXPECT_EQ(l.Extract(P(9)), nullptr);
  EXPECT_EQ(l.Extract(P(5)), P(5));
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{2, 1, 3, 6}));
  EXPECT_EQ(l.IndexOf(P(3)), 2);
  EXPECT_EQ(l.First(), P(2));
  EXPECT_EQ(l.Last(), P(6));
}

TEST(PointerList, OutOfRangeDoesNothing) {
  TList l;
  EXPECT_EQ(l.Get(0), nullptr);
  EXPECT_EQ(l.First(), nullptr);
  l.Delete(0);
  l.Insert(1, P(1));
  l.Put(-1, P(1));
  l.Exchange(0, 1);
  l.Move(0, 1);
  EXPECT_EQ(l.Count(), 0);
  l.Add(P(7));
  EXPECT_EQ(l.Get(1), nullptr);
  EXPECT_EQ(l.Get(-1), nullptr);
}

TEST(PointerList, PackRemovesEveryNull) {
  TList l;
  for (intptr_t v : {0, 1, 0, 0, 2, 0}) l.Add(P(v));
  l.Pack();
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{1, 2}));
}

TEST(PointerList, CountAndCapacityRules) {
  TList l;
  EXPECT_EQ(l.Add(P(1)), 0);
  EXPECT_EQ(l.Capacity(), 4);  // small lists grow by 4
  for (int i = 0; i < 4; ++i) l.Add(P(1));
  EXPECT_EQ(l.Capacity(), 8);
  for (int i = 0; i < 4; ++i) l.Add(P(1));
  EXPECT_EQ(l.Capacity(), 12);  // 8 is not above 8
  for (int i = 0; i < 4; ++i) l.Add(P(1));
  EXPECT_EQ(l.Capacity(), 28);  // above 8: by 16
  l.SetCount(3);
  EXPECT_EQ(l.Count(), 3);
  l.SetCount(5);
  EXPECT_EQ(Items(l), (std::vector<intptr_t>{1, 1, 1, 0, 0}));
  l.SetCount(-1);
  l.SetCount(TList::MaxListSize + 1);
  EXPECT_EQ(l.Count(), 5);
  l.SetCapacity(2);  // below the count: ignored
  EXPECT_EQ(l.Capacity(), 28);
  l.SetCapacity(100);
  l.Add(P(1));
  while (l.Count() < l.Capacity()) l.Add(P(1));
  l.Add(P(1));
  EXPECT_EQ(l.Capacity(), 125);  // above 64: by a quarter
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Capacity(), 0);
}

}  // namespace
}  // namespace zqe::html::test
