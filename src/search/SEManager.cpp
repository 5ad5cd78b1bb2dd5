#include "search/SEManager.h"

#include <algorithm>
#include <iterator>

#include "log/zqTrace.h"
#include "platform/FieldText.h"
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

TSEInstancePtr MakeFromDef(const TZQSEDef& d) {
  TSEInstancePtr inst = NewSEInstance(FieldText(d.Name), d.ID);
  if (!inst) return nullptr;
  inst->InitEngine(FieldText(d.url), FieldText(d.surl), FieldText(d.HttpUserAgent), FieldText(d.HttpAcceptCharSet),
                   FieldText(d.HttpAcceptLanguage), d.HttpTimeOut);
  // Not in the record, whose layout hosts share: from the definition
  // file's side table.
  inst->SetSuspendAfterVerify(TSEDefRestTable::Process().Get(FieldText(d.Name)));
  inst->SetRules(TSEDefRulesTable::Process().Get(FieldText(d.Name)));
  return inst;
}

}  // namespace

TSEInstancePtr NewSEInstance(std::u16string_view Name, int32_t ID) {
  for (const TEngineClass& c : kEngineClasses) {
    if (SameTextAscii(Name, c.Name)) return c.Create(Name, ID);
  }
  return nullptr;
}

void LoadSEInstance(std::vector<TZQSEDef>& Defs, TSEInstArr& Insts) {
  const size_t N = Defs.size();
  TZQTrace::I(u"[LoadSEInstance] > SE defines count:" + UIntToU16(N));
  // Replaced objects are released here; a check that still holds one
  // keeps it alive until it is done.
  Insts.clear();
  Insts.resize(N);
  std::vector<bool> unmatched(N, false);
  size_t k = 0;
  for (size_t i = 0; i < N; ++i) {
    const TZQSEDef d = Defs[i];
    const std::u16string name = FieldText(d.Name);
    const std::u16string title = FieldText(d.Title);
    TZQTrace::I(u"[LoadSEInstance] Load SEInstance ID:%d, Name:%s, Title:%s", {d.ID, name, title});
    TSEInstancePtr inst = MakeFromDef(d);
    if (inst) {
      Insts[i] = std::move(inst);
      continue;
    }
    unmatched[i] = true;
    ++k;
    Defs[i] = TZQSEDef{};
    Insts[i] = nullptr;
    TZQTrace::WarnEx(dbgCommon,
                     u"[LoadSEInstance]SE define NO Matched Instance, ID:%d, Name:%s, Title:%s,Skip!",
                     {d.ID, name, title});
  }
  if (k == 0) return;
  TZQTrace::WarnEx(dbgCommon, u"[LoadSEInstance] Invalid SE(Not matched Instance) count:%d",
                   FmtArgs{static_cast<int>(k)});
  if (k >= N) {
    Defs.clear();
    Insts.clear();
    return;
  }
  size_t s = 0;
  for (size_t i = 0; i < N; ++i) {
    if (unmatched[i]) {
      ++s;
    } else if (s > 0) {
      Defs[i - s] = Defs[i];
      Insts[i - s] = std::move(Insts[i]);
    }
  }
  Defs.resize(N - k);
  Insts.resize(N - k);
}

TSEInstancePtr CreateSEInstance(int32_t ID, const std::vector<TZQSEDef>& Defs) {
  for (const TZQSEDef& d : Defs) {
    if (d.ID == ID) return MakeFromDef(d);
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
