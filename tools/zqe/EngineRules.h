// The result rules of a definition file as the page diagnostics (zqe
// extract, zqe rules) use them: the same reader and checks as the library,
// so that what a diagnostic finds is what a host's check finds.
#pragma once

#include <string>
#include <vector>

#include "search/SERules.h"
#include "search/ZQSEInst.h"

namespace zqe::cli {

struct EngineRules {
  std::string section;  // the engine's section name, which picks its class
  TSERules rules;       // bad selectors already dropped, as InitZQE does
  std::string error;    // the error line for a dropped rule; empty when none
};

// Every section of the file whose name is an engine's. Throws
// std::runtime_error when the file is missing or unreadable.
std::vector<EngineRules> LoadEngineRules(const std::string& path);

// An engine object for the section, holding its rules; null for a name no
// engine has.
TSEInstancePtr NewEngine(const EngineRules& engine);

}  // namespace zqe::cli
