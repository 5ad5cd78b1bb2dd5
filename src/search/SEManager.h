// Unit SEManager: the registry that turns search-engine definitions into
// engine objects, choosing the class by the definition's name (ASCII case
// ignored): baidu, sougou, bing, 360so, google.
//
// Threads: SEInstArr is filled by LoadSEInstance and emptied by
// FreeSEInstances; both run while no check runs (InitZQE and UnInit are
// called by the host from one thread), so it has no lock of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "search/ZQSEInst.h"
#include "zqe/zqe.h"

namespace zqe {

using TSEInstArr = std::vector<TSEInstancePtr>;
// Never destroyed by the C++ runtime: the library's stop code may run
// after the runtime's destructors (see platform/NoDestroy.h).
extern TSEInstArr& SEInstArr;

// The class for a definition name, or none (an empty pointer) when the
// name matches no engine; the object is configured with nothing yet.
TSEInstancePtr NewSEInstance(std::u16string_view Name, int32_t ID);

// Builds Insts from Defs (one object per definition, same order) and
// removes from both every definition whose name matches no engine class.
// Objects previously held in Insts are released (destroyed when no one
// else holds them).
void LoadSEInstance(std::vector<TZQSEDef>& Defs, TSEInstArr& Insts);
inline void LoadSEInstance(std::vector<TZQSEDef>& Defs) { LoadSEInstance(Defs, SEInstArr); }

// A new configured object for the first definition carrying ID; none when
// no definition carries it or its name matches no engine. The caller owns it.
TSEInstancePtr CreateSEInstance(int32_t ID, const std::vector<TZQSEDef>& Defs);

// Aborts, then releases, every engine of Insts in order, and empties it.
void FreeSEInstances(TSEInstArr& Insts);
inline void FreeSEInstances() { FreeSEInstances(SEInstArr); }

}  // namespace zqe
