// Unit SEManager: the registry that turns search-engine definitions into
// engine objects, choosing the class by the definition's name (ASCII case
// ignored): baidu, sougou, bing, 360so, google.
//
// Threads: the arrays passed in belong to the caller, who guards them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/ZQSEInst.h"

namespace zqe {

using TSEInstArr = std::vector<TSEInstancePtr>;

// What the registry needs of one search-engine definition. The engine
// layer converts the hosts' fixed-size records to it, so that this layer
// does not depend on the C interface.
struct TSEDefinition {
  int32_t ID = 0;
  std::u16string Name;
  std::u16string Title;
  std::u16string Url;
  std::u16string SearchUrl;  // "%s" takes the sentence
  std::u16string HttpUserAgent;
  std::u16string HttpAcceptCharSet;
  std::u16string HttpAcceptLanguage;
  int32_t HttpTimeOut = 0;
};

// The class for a definition name, or none (an empty pointer) when the
// name matches no engine; the object is configured with nothing yet.
TSEInstancePtr NewSEInstance(std::u16string_view Name, int32_t ID);

// A configured object for the definition; none when its name matches no
// engine.
TSEInstancePtr MakeSEInstance(const TSEDefinition& Def);

// Builds Insts from Defs in order, leaving out every definition whose name
// matches no engine class; returns for each definition whether it has an
// object. Objects previously held in Insts are released (destroyed when
// no one else holds them).
std::vector<bool> LoadSEInstance(const std::vector<TSEDefinition>& Defs, TSEInstArr& Insts);

// A new configured object for the first definition carrying ID; none when
// no definition carries it or its name matches no engine. The caller owns it.
TSEInstancePtr CreateSEInstance(int32_t ID, const std::vector<TSEDefinition>& Defs);

// Aborts, then releases, every engine of Insts in order, and empties it.
void FreeSEInstances(TSEInstArr& Insts);

}  // namespace zqe
