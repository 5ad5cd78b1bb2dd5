// The registry as the engine layer drives it: the hosts' records turned
// into engines, unusable records dropped from the array hosts read.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "engine/ZQDef.h"
#include "platform/Text.h"
#include "search/SEManager.h"

namespace zqe {
namespace {

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& part) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    if (l.find(part) != std::string::npos) out.push_back(l);
  return out;
}

TZQSEDef Def(int32_t id, std::u16string_view name, std::u16string_view surl = u"http://e.example/s?q=%s") {
  TZQSEDef d{};
  d.ID = id;
  auto put = [](ZQEChar* field, size_t cap, std::u16string_view text) {
    for (size_t i = 0; i < text.size() && i + 1 < cap; ++i) field[i] = static_cast<ZQEChar>(text[i]);
  };
  put(d.Name, std::size(d.Name), name);
  put(d.Title, std::size(d.Title), std::u16string(name) + u" title");
  put(d.surl, std::size(d.surl), surl);
  put(d.HttpAcceptLanguage, std::size(d.HttpAcceptLanguage), u"en");
  d.HttpTimeOut = 1234;
  return d;
}

std::string Names(const std::vector<TZQSEDef>& defs, const TSEInstArr& insts) {
  std::string out;
  EXPECT_EQ(defs.size(), insts.size());
  for (size_t i = 0; i < defs.size(); ++i) {
    std::u16string n;
    for (ZQEChar c : defs[i].Name) {
      if (!c) break;
      n.push_back(static_cast<char16_t>(c));
    }
    out += U16ToUtf8(n) + "=" + (insts[i] ? U16ToUtf8(insts[i]->Name()) + "#" + std::to_string(insts[i]->ID()) : "null") + " ";
  }
  return out;
}

TEST(Registry, NamesIgnoreAsciiCaseUnknownOnesAreDroppedInOrder) {
  std::vector<TZQSEDef> defs = {Def(1, u"Baidu"), Def(2, u"yahoo"), Def(3, u"BING"), Def(4, u"360SO"),
                                Def(5, u"ｂaidu"), Def(6, u"Sougou"), Def(7, u"google"), Def(8, u"bing")};
  TSEInstArr insts;
  LoadSEInstance(defs, insts);
  EXPECT_EQ(Names(defs, insts), "Baidu=Baidu#1 BING=BING#3 360SO=360SO#4 Sougou=Sougou#6 google=google#7 bing=bing#8 ");
  EXPECT_NE(insts[1], insts[5]);  // duplicates give two objects
  EXPECT_EQ(insts[0]->UrlFmt(), u"http://e.example/s?q=%s");
  EXPECT_EQ(insts[0]->HttpAcceptLanguage(), u"en");
  EXPECT_EQ(insts[0]->HttpTimeOut(), 1234);
  EXPECT_EQ(insts[0]->HttpAcceptCharSet(), u"GB2312,utf-8;q=0.7,*;q=0.7");
  // The class follows the name: only Baidu knows its verification page;
  // to Bing it is a page without entries that it does not know.
  const std::u16string verify = u"<html><title>百度安全验证</title><body>xx</body></html>";
  insts[0]->CheckPage(u"q", verify, u"abc", u"", false);
  insts[1]->CheckPage(u"q", verify, u"abc", u"", false);
  EXPECT_EQ(insts[0]->ErrorCode(), -5);
  EXPECT_EQ(insts[1]->ErrorCode(), -6);
  FreeSEInstances(insts);
  EXPECT_TRUE(insts.empty());
}

TEST(Registry, NoUsableDefinitionEmptiesBoth) {
  std::vector<TZQSEDef> defs = {Def(1, u"yahoo"), Def(2, u"")};
  TSEInstArr insts;
  LoadSEInstance(defs, insts);
  EXPECT_TRUE(defs.empty());
  EXPECT_TRUE(insts.empty());
}

TEST(Registry, CreateUsesTheFirstDefinitionWithTheId) {
  const std::vector<TZQSEDef> defs = {Def(1, u"bing"), Def(2, u"yahoo"), Def(3, u"google"), Def(3, u"baidu"),
                                      Def(2, u"baidu")};
  TSEInstancePtr a = CreateSEInstance(3, defs);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Name(), u"google");
  TSEInstancePtr b = CreateSEInstance(3, defs);
  EXPECT_NE(a, b);
  EXPECT_FALSE(CreateSEInstance(2, defs));  // first ID 2 names no engine: the scan stops there
  EXPECT_FALSE(CreateSEInstance(9, defs));
}

TEST(Registry, FreeAbortsAndDestroysEveryEngine) {
  std::vector<TZQSEDef> defs = {Def(1, u"bing"), Def(2, u"baidu")};
  TSEInstArr insts;
  LoadSEInstance(defs, insts);
  std::weak_ptr<TSEInstanceBase> w0 = insts[0], w1 = insts[1];
  test::DebugCapture cap;
  FreeSEInstances(insts);
  EXPECT_TRUE(insts.empty());
  EXPECT_TRUE(w0.expired());
  EXPECT_TRUE(w1.expired());
  const auto lines = cap.lines();
  EXPECT_EQ(Matching(lines, "TBaseZQMan.Cancle").size(), 4u);  // FreeSEInstances and Destroy each abort
  EXPECT_EQ(Matching(lines, "TBaseZQMan.Destroy in").size(), 2u);
  EXPECT_EQ(Matching(lines, "TBaseZQMan.Destroy out").size(), 2u);
}
}  // namespace
}  // namespace zqe
