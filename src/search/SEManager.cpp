#include "search/SEManager.h"

#include <algorithm>
#include <iterator>

#include "log/zqTrace.h"
#include "platform/NoDestroy.h"
#include "platform/Text.h"
#include "search/SE360.h"
#include "search/SEBaidu.h"
#include "search/SEBing.h"
#include "search/SEGoolge.h"
#include "search/SERest.h"
#include "search/SESogou.h"

namespace zqe {

namespace {

template <class T>
TSEInstancePtr Make(std::u16string_view Name, int32_t ID) {
  return std::make_shared<T>(Name, ID);
}

struct TEngineClass {
  std::u16string_view Name;
  TSEInstancePtr (*Create)(std::u16string_view, int32_t);
};

// Tried in this order.
constexpr TEngineClass kEngineClasses[] = {
    {u"baidu", &Make<TSEInstanceBaidu>}, {u"sougou", &Make<TSEInstanceSougou>},
    {u"bing", &Make<TSEInstanceBing>},   {u"360so", &Make<TSEInstance360>},
    {u"google", &Make<TSEInstanceGoogle>},
};

}  // namespace

TSEInstancePtr NewSEInstance(std::u16string_view Name, int32_t ID) {
  for (const TEngineClass& c : kEngineClasses) {
    if (SameTextAscii(Name, c.Name)) return c.Create(Name, ID);
  }
  return nullptr;
}

TSEInstancePtr MakeSEInstance(const TSEDefinition& Def) {
  TSEInstancePtr inst = NewSEInstance(Def.Name, Def.ID);
  if (!inst) return nullptr;
  inst->InitEngine(Def.Url, Def.SearchUrl, Def.HttpUserAgent, Def.HttpAcceptCharSet, Def.HttpAcceptLanguage,
                   Def.HttpTimeOut);
  // Not in the hosts' record, whose layout they share: from the
  // definition file's side tables.
  inst->SetSuspendAfterVerify(TSEDefRestTable::Process().Get(Def.Name));
  inst->SetRules(TSEDefRulesTable::Process().Get(Def.Name));
  return inst;
}

std::vector<bool> LoadSEInstance(const std::vector<TSEDefinition>& Defs, TSEInstArr& Insts) {
  const size_t N = Defs.size();
  TZQTrace::I(u"[LoadSEInstance] > SE defines count:" + UIntToU16(N));
  // Replaced objects are released here; a check that still holds one
  // keeps it alive until it is done.
  Insts.clear();
  std::vector<bool> kept(N, false);
  size_t k = 0;
  for (size_t i = 0; i < N; ++i) {
    const TSEDefinition& d = Defs[i];
    TZQTrace::I(u"[LoadSEInstance] Load SEInstance ID:%d, Name:%s, Title:%s", {d.ID, d.Name, d.Title});
    if (TSEInstancePtr inst = MakeSEInstance(d)) {
      Insts.push_back(std::move(inst));
      kept[i] = true;
      continue;
    }
    ++k;
    TZQTrace::WarnEx(dbgCommon,
                     u"[LoadSEInstance]SE define NO Matched Instance, ID:%d, Name:%s, Title:%s,Skip!",
                     {d.ID, d.Name, d.Title});
  }
  if (k > 0) {
    TZQTrace::WarnEx(dbgCommon, u"[LoadSEInstance] Invalid SE(Not matched Instance) count:%d",
                     FmtArgs{static_cast<int>(k)});
  }
  return kept;
}

TSEInstancePtr CreateSEInstance(int32_t ID, const std::vector<TSEDefinition>& Defs) {
  for (const TSEDefinition& d : Defs) {
    if (d.ID == ID) return MakeSEInstance(d);
  }
  return nullptr;
}

void FreeSEInstances(TSEInstArr& Insts) {
  for (TSEInstancePtr& inst : Insts) {
    if (!inst) continue;
    inst->Abort();
    inst.reset();
  }
  Insts.clear();
}

}  // namespace zqe
