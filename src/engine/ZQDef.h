// Search-engine definitions: the fixed-size TZQSEDef records (shared with
// hosts, see include/zqe/zqe.h) and their loader from the INI definition
// file, one section per engine.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FieldText.h"
#include "platform/Platform.h"
#include "search/SEManager.h"
#include "zqe/zqe.h"

namespace zqe {

// Contiguous: record i starts at byte 5976 * i, as hosts read them.
using TZQSEDefArr = std::vector<TZQSEDef>;

// The engine-wide loaded definitions, in file order. Filled by
// LoadSEDefArr during InitZQE and compacted by the registry, while no
// check runs (the host calls InitZQE from one thread); read by checks.
extern TZQSEDefArr& SEDefArr;

using IniOpener = std::function<std::unique_ptr<platform::IniReader>(std::u16string_view)>;

// Fills arr from the file unless it already holds definitions. False with
// last error 2 when the file is missing, 30 when reading it failed (the
// definitions read before the failure stay).
bool LoadSEDefArr(TZQSEDefArr& arr, std::u16string_view fileName, const IniOpener& open = platform::OpenIniFile);
inline bool LoadSEDefArr(std::u16string_view fileName) { return LoadSEDefArr(SEDefArr, fileName); }

void ReadSEDef(platform::IniReader& ini, std::u16string_view sectionName, TZQSEDef& def);
int32_t HashSEName(std::u16string_view name);
// An optional "-" and decimal digits that fit in 32 bits, nothing else
// (no "+", no blanks, no hexadecimal).
bool ParseDecimalInt32(std::u16string_view s, int32_t& out);
bool IsEmptySEDef(const TZQSEDef& def);

// The registry's view of a record.
TSEDefinition ToSEDefinition(const TZQSEDef& Def);

// Builds Insts from Defs (one object per record, same order) and removes
// from both every record whose name matches no engine class, so that
// record i and engine i stay a pair for hosts.
void LoadSEInstance(TZQSEDefArr& Defs, TSEInstArr& Insts);

// A new configured object for the first record carrying ID; none when no
// record carries it or its name matches no engine.
TSEInstancePtr CreateSEInstance(int32_t ID, const TZQSEDefArr& Defs);

}  // namespace zqe
