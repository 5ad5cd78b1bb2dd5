// Unit SEManager: the registry that turns search-engine definitions into
// engine objects, choosing the class by the definition's name (ASCII case
// ignored): baidu, sougou, bing, 360so, google.
//
// Threads: the arrays passed in belong to the caller, who guards them.
#pragma once

#include <cstdint>
#include <vector>

#include "search/ZQSEInst.h"
#include "zqe/zqe.h"

namespace zqe {

using TSEInstArr = std::vector<TSEInstancePtr>;

// The class for a definition name, or none (an empty pointer) when the
// name matches no engine; the object is configured with nothing yet.
TSEInstancePtr NewSEInstance(std::u16string_view Name, int32_t ID);

// Builds Insts from Defs (one object per definition, same order) and
// removes from both every definition whose name matches no engine class.
// Objects previously held in Insts are released (destroyed when no one
// else holds them).
void LoadSEInstance(std::vector<TZQSEDef>& Defs, TSEInstArr& Insts);

// A new configured object for the first definition carrying ID; none when
// no definition carries it or its name matches no engine. The caller owns it.
TSEInstancePtr CreateSEInstance(int32_t ID, const std::vector<TZQSEDef>& Defs);

// Aborts, then releases, every engine of Insts in order, and empties it.
void FreeSEInstances(TSEInstArr& Insts);

}  // namespace zqe
