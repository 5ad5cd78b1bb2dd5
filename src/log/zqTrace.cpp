#include "log/zqTrace.h"

#include "platform/NoDestroy.h"
#include "platform/Text.h"

namespace zqe {

namespace {
constinit NoDestroy<TDbgParams> gDbgParams;
}
constinit TDbgParams& DbgParams = gDbgParams.value;

namespace {

bool ReadBool(platform::IniReader& ini, std::u16string_view section, std::u16string_view key) {
  int32_t v = 0;
  if (!TryParseInt32(ini.ReadString(section, key, u""), v)) return false;
  return v != 0;
}

std::u16string DefaultDumpPath() {
  const char16_t d = platform::kPathDelim;
  return TLog4D::Writer().HostDir() + u"log" + d + u"dump" + d;
}

}  // namespace

void TZQTrace::Initialize() {
  TLog4D::SetLogPath(TLog4D::Writer().HostDir() + u"log" + platform::kPathDelim);
  TLog4D::SetLogFileName(u"zq");
  ReadDebugParams();
  I(MoudleName() + u" load.", false);
}

void TZQTrace::Finalize() {
  // Swapped, not assigned: assigning an empty string keeps the old buffer,
  // and the parameters are never destroyed, so it would outlive the unload.
  std::u16string().swap(DbgParams.DumpPath);
}

void TZQTrace::ReadDebugParams() {
  I(u"=============================== Debug params ===============================", true);
  DbgParams.Debug[dbgCommon] = DebugFileExists();
  DbgParams.Debug[dbgHttp] = false;
  DbgParams.DumpHttp = false;
  DbgParams.DumpHtml = false;
  DbgParams.DumpTextSlice = false;
  DbgParams.DumpPath = DefaultDumpPath();
  if (DbgParams.Debug[dbgCommon]) {
    try {
      auto ini = platform::OpenIniFile(DebugFileName());
      DbgParams.Debug[dbgHttp] = ReadBool(*ini, u"DBG", u"HTTP");
      DbgParams.DumpPath = ini->ReadString(u"DUMP", u"PATH", u"");
      DbgParams.DumpHttp = ReadBool(*ini, u"DUMP", u"HTTP");
      DbgParams.DumpHtml = ReadBool(*ini, u"DUMP", u"HTML");
      DbgParams.DumpTextSlice = ReadBool(*ini, u"DUMP", u"TEXTSLICE");
    } catch (const std::exception&) {
      // An unreadable marker file still means debug mode, with every
      // finer switch at its default.
      DbgParams.Debug[dbgHttp] = DbgParams.DumpHttp = DbgParams.DumpHtml = DbgParams.DumpTextSlice = false;
      DbgParams.DumpPath.clear();
    }
    if (DbgParams.DumpPath.empty())
      DbgParams.DumpPath = DefaultDumpPath();
    else
      DbgParams.DumpPath = platform::IncludeTrailingDelim(DbgParams.DumpPath);
    I(u"Debug -      HTTP : " + BoolToU16(DbgParams.Debug[dbgHttp]), false);
    I(u"Dump  -      Path : " + DbgParams.DumpPath, false);
    I(u"Dump  -      HTTP : " + BoolToU16(DbgParams.DumpHttp), false);
    I(u"Dump  -      HTML : " + BoolToU16(DbgParams.DumpHtml), false);
    I(u"Dump  - TextSlice : " + BoolToU16(DbgParams.DumpTextSlice), false);
  } else {
    I(u"Debug : False", true);
  }
  I(u"-------- -------- -------- -------- -------- -------- -------- -------- -------- ", true);
}

#define ZQE_TRACE_PAIR(Name, Base)                                                               \
  void TZQTrace::Name(TZQDbgType t, std::u16string_view msg, bool) {                             \
    if (DbgParams.Debug[t]) Base(msg, true);                                                     \
  }                                                                                              \
  void TZQTrace::Name(TZQDbgType t, std::u16string_view fmt, FmtArgs args, bool) {               \
    if (DbgParams.Debug[t]) Base(fmt, args, true);                                               \
  }
ZQE_TRACE_PAIR(InfoEx, I)
ZQE_TRACE_PAIR(WarnEx, W)
ZQE_TRACE_PAIR(ImptEx, Impt)
ZQE_TRACE_PAIR(ErrEx, E)
ZQE_TRACE_PAIR(FatalEx, Fatal)
#undef ZQE_TRACE_PAIR

std::u16string TZQTrace::Dump(std::u16string_view data, std::u16string_view fileName) {
  if (!DbgParams.Debug[dbgCommon]) return {};
  try {
    const std::u16string dir = DbgParams.DumpPath;
    if (!platform::DirectoryExists(dir)) platform::ForceDirectories(dir);
    if (!platform::DirectoryExists(dir)) {
      E(u"Error!Can not write dump data to dir " + dir, true);
      E(u"Dump data : " + std::u16string(data), true);
      return {};
    }
    const std::u16string full =
        fileName.empty() ? dir + u"dump_" + UIntToU16(platform::TickCount()) + u".txt" : dir + std::u16string(fileName);
    std::string bytes = "\xEF\xBB\xBF";
    bytes += U16ToUtf8(data);
    if (!platform::WriteNewFile(full, bytes)) return {};
    Impt(u"[*DUMP*]Data Dump To:" + full, true);
    return full;
  } catch (const std::exception&) {
    return {};
  }
}

std::u16string TZQTrace::DumpHTML(std::u16string_view data, std::u16string_view fileName) {
  return DbgParams.DumpHtml ? Dump(data, fileName) : std::u16string();
}

std::u16string TZQTrace::DumpHTTP(std::u16string_view data, std::u16string_view fileName) {
  return DbgParams.DumpHttp ? Dump(data, fileName) : std::u16string();
}

}  // namespace zqe
