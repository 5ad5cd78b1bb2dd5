// The engine's debug mode on top of the log writer: debug-only lines per
// category, dump files, and the debug parameters read from the debug
// marker file (".dbg" beside the host program) when the library loads.
#pragma once

#include <string>
#include <string_view>

#include "log/Log4D.h"

namespace zqe {

enum TZQDbgType : int { dbgCommon = 0, dbgHttp = 1 };

// Filled once while the library loads, before other threads exist; read
// afterwards by any thread without a lock.
struct TDbgParams {
  bool Debug[2] = {false, false};
  bool DumpHttp = false;
  bool DumpHtml = false;
  bool DumpTextSlice = false;
  std::u16string DumpPath;
};
extern TDbgParams& DbgParams;

class TZQTrace : public TLog4D {
 public:
  TZQTrace() = delete;

  // The unit's load steps: log path "log" beside the host program, file
  // name "zq", then ReadDebugParams and the " load." line.
  static void Initialize();
  static void Finalize();
  static void ReadDebugParams();

  // Write through I/W/Impt/E/Fatal with Force2File always true, only when
  // the category is on; otherwise nothing happens at all.
  static void InfoEx(TZQDbgType t, std::u16string_view msg, bool force2File = false);
  static void InfoEx(TZQDbgType t, std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void WarnEx(TZQDbgType t, std::u16string_view msg, bool force2File = false);
  static void WarnEx(TZQDbgType t, std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void ImptEx(TZQDbgType t, std::u16string_view msg, bool force2File = false);
  static void ImptEx(TZQDbgType t, std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void ErrEx(TZQDbgType t, std::u16string_view msg, bool force2File = false);
  static void ErrEx(TZQDbgType t, std::u16string_view fmt, FmtArgs args, bool force2File = false);
  static void FatalEx(TZQDbgType t, std::u16string_view msg, bool force2File = false);
  static void FatalEx(TZQDbgType t, std::u16string_view fmt, FmtArgs args, bool force2File = false);

  // The full path of the dump file written, or empty when none was.
  static std::u16string Dump(std::u16string_view data, std::u16string_view fileName);
  static std::u16string DumpHTML(std::u16string_view data, std::u16string_view fileName);
  static std::u16string DumpHTTP(std::u16string_view data, std::u16string_view fileName);
};

}  // namespace zqe
