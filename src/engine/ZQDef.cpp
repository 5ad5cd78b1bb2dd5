#include "engine/ZQDef.h"

#include <cstdint>

#include <algorithm>
#include <cstring>

#include "log/zqTrace.h"
#include "platform/NoDestroy.h"
#include "platform/Text.h"
#include "search/SERest.h"
#include "search/SERules.h"

namespace zqe {

namespace {
constinit NoDestroy<TZQSEDefArr> gSEDefArr;
}
constinit TZQSEDefArr& SEDefArr = gSEDefArr.value;

namespace {
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorReadFault = 30;
}  // namespace

bool ParseDecimalInt32(std::u16string_view s, int32_t& out) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == u'-';
  if (negative) i = 1;
  if (i == s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < u'0' || s[i] > u'9') return false;
    v = v * 10 + (s[i] - u'0');
    if (v > int64_t{INT32_MAX} + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int32_t>(v);
  return true;
}

int32_t HashSEName(std::u16string_view name) {
  uint32_t h = 0;
  for (char16_t c : name) h = (h * 0x20844u) ^ (static_cast<uint32_t>(c) & 0xFFu);
  return static_cast<int32_t>(h);
}

bool IsEmptySEDef(const TZQSEDef& def) {
  return def.len == 0 || def.ver == 0 || def.Name[0] == 0 || def.Title[0] == 0 || def.url[0] == 0 ||
         def.surl[0] == 0;
}

void ReadSEDef(platform::IniReader& ini, std::u16string_view sectionName, TZQSEDef& def) {
  std::memset(&def, 0, sizeof def);
  def.len = sizeof(TZQSEDef);
  def.ver = 1;
  SetFieldText(def.Name, sectionName);
  def.ID = HashSEName(FieldText(def.Name));
  SetFieldText(def.Title, ini.ReadString(sectionName, u"Title", u""));
  SetFieldText(def.url, ini.ReadString(sectionName, u"url", u""));
  SetFieldText(def.surl, ini.ReadString(sectionName, u"surl", u""));
  if (IsEmptySEDef(def)) {
    std::memset(&def, 0, sizeof def);
    return;
  }
  SetFieldText(def.HttpUserAgent, ini.ReadString(sectionName, u"http-useragent", u""));
  SetFieldText(def.HttpAcceptCharSet, ini.ReadString(sectionName, u"http-accept-charset", u""));
  SetFieldText(def.HttpAcceptLanguage, ini.ReadString(sectionName, u"http-accept-language", u""));
  int32_t timeout = 0;
  if (!ParseDecimalInt32(ini.ReadString(sectionName, u"http-timeout", u""), timeout)) timeout = 0;
  def.HttpTimeOut = timeout;
  SetFieldText(def.Tag, ini.ReadString(sectionName, u"tag", u""));
  SetFieldText(def.Remark, ini.ReadString(sectionName, u"remark", u""));
  SetFieldText(def.Icon, ini.ReadString(sectionName, u"icon", u""));
  // Beside the record, which must keep its size and layout for hosts.
  TSEDefRestTable::Process().Set(FieldText(def.Name),
                                 ParseSuspendAfterVerify(ini.ReadString(sectionName, u"suspend-after-verify", u"")));
  TSERules rules = ReadSERules(ini, sectionName);
  CheckSERules(rules, FieldText(def.Name));
  TSEDefRulesTable::Process().Set(FieldText(def.Name), rules);
}

bool LoadSEDefArr(TZQSEDefArr& arr, std::u16string_view fileName, const IniOpener& open) {
  TZQTrace::I(u"[LoadSEDefArr] from " + std::u16string(fileName), false);
  bool result = false;
  if (!arr.empty()) {
    result = true;
  } else if (!platform::FileExists(fileName)) {
    platform::SetLastError(kErrorFileNotFound);
  } else {
    try {
      auto ini = open(fileName);
      for (const auto& section : ini->ReadSections()) {
        TZQSEDef def;
        ReadSEDef(*ini, section, def);
        if (!IsEmptySEDef(def)) arr.push_back(def);
      }
      result = true;
    } catch (const std::exception&) {
      platform::SetLastError(kErrorReadFault);
    }
  }
  TZQTrace::I(u"[LoadSEDefArr] SE define count: " + UIntToU16(arr.size()), false);
  return result;
}

TSEDefinition ToSEDefinition(const TZQSEDef& Def) {
  TSEDefinition d;
  d.ID = Def.ID;
  d.Name = FieldText(Def.Name);
  d.Title = FieldText(Def.Title);
  d.Url = FieldText(Def.url);
  d.SearchUrl = FieldText(Def.surl);
  d.HttpUserAgent = FieldText(Def.HttpUserAgent);
  d.HttpAcceptCharSet = FieldText(Def.HttpAcceptCharSet);
  d.HttpAcceptLanguage = FieldText(Def.HttpAcceptLanguage);
  d.HttpTimeOut = Def.HttpTimeOut;
  return d;
}

void LoadSEInstance(TZQSEDefArr& Defs, TSEInstArr& Insts) {
  std::vector<TSEDefinition> defs;
  defs.reserve(Defs.size());
  for (const TZQSEDef& d : Defs) defs.push_back(ToSEDefinition(d));
  const std::vector<bool> kept = LoadSEInstance(defs, Insts);
  size_t n = 0;
  for (size_t i = 0; i < Defs.size(); ++i) {
    if (!kept[i]) continue;
    if (n != i) Defs[n] = Defs[i];
    ++n;
  }
  Defs.resize(n);
}

TSEInstancePtr CreateSEInstance(int32_t ID, const TZQSEDefArr& Defs) {
  for (const TZQSEDef& d : Defs) {
    if (d.ID == ID) return MakeSEInstance(ToSEDefinition(d));
  }
  return nullptr;
}

}  // namespace zqe
