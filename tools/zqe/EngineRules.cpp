#include "EngineRules.h"

#include <stdexcept>

#include "platform/Platform.h"
#include "platform/Text.h"
#include "search/SEManager.h"

namespace zqe::cli {

std::vector<EngineRules> LoadEngineRules(const std::string& path) {
  const std::u16string file = Utf8ToU16(path);
  if (!platform::FileExists(file)) throw std::runtime_error("definition file not found: " + path);
  const auto ini = platform::OpenIniFile(file);
  std::vector<EngineRules> engines;
  for (const std::u16string& section : ini->ReadSections()) {
    if (!NewSEInstance(section, 0)) continue;
    EngineRules e;
    e.section = U16ToUtf8(section);
    e.rules = ReadSERules(*ini, section);
    std::u16string error;
    if (!CheckSERules(e.rules, section, &error)) e.error = U16ToUtf8(error);
    engines.push_back(std::move(e));
  }
  return engines;
}

TSEInstancePtr NewEngine(const EngineRules& engine) {
  TSEInstancePtr se = NewSEInstance(Utf8ToU16(engine.section), 0);
  if (se) se->SetRules(engine.rules);
  return se;
}

}  // namespace zqe::cli
