// Driving the real library as a host does, against serp-sim: the entry and
// its callbacks, a definition file written at run time, and result records
// compared byte for byte with what the request may have written.
#pragma once
#include <array>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "HostTestSupport.h"
#include "SerpSim.h"
#include "platform/HostSupport.h"
#include "platform/Text.h"

namespace zqe::hosttest {

inline constexpr char16_t kFox[] = u"The quick brown fox jumps over the lazy dog near the river bank";  // passage 2
inline constexpr char16_t kZebra[] = u"How vexingly quick daft zebras jump over the tall wooden fence";  // passage 3
inline constexpr char16_t kChinese[] = u"原创检测引擎把句子发送给搜索引擎并在结果页中查找它";          // passage 1
inline constexpr char16_t kMiss[] = u"Nothing in the corpus resembles this particular sentence at all";

// The corpus passage a sentence comes from; 0 for none.
inline int PassageOf(const char16_t* text) {
  const std::u16string t = text;
  return t == kFox ? 2 : t == kZebra ? 3 : t == kChinese ? 1 : 0;
}

inline TInitZQE InitEntry() {
  auto* lib = LoadEngine();
  return lib ? reinterpret_cast<TInitZQE>(lib->Symbol("InitZQE")) : nullptr;
}

// Read at once after the call: on Windows anything in between may change it.
inline uint32_t LastError() {
#if defined(__ELF__)
  static const auto get = reinterpret_cast<TZQEGetLastError>(LoadEngine()->Symbol("ZQEGetLastError"));
  return get();
#else
  return platform::GetLastError();
#endif
}

inline int32_t HashName(std::u16string_view name) {
  uint32_t h = 0;
  for (char16_t c : name) h = (h * 0x20844u) ^ (static_cast<uint32_t>(c) & 0xFFu);
  return static_cast<int32_t>(h);
}

template <size_t N>
void PutText(ZQEChar (&field)[N], std::u16string_view text) {
  std::memcpy(field, text.data(), text.size() * sizeof(ZQEChar));
  field[text.size()] = 0;
}

template <size_t N>
std::u16string FieldText(const ZQEChar (&field)[N]) {
  size_t n = 0;
  while (n < N && field[n]) ++n;
  return std::u16string(field, field + n);
}

// A selected record as a host could make it without reading the library's.
inline TZQSEDef Selected(std::u16string_view name) {
  TZQSEDef d{};
  d.len = sizeof d;
  d.ver = 1;
  PutText(d.Name, name);
  d.ID = HashName(name);
  return d;
}

// One engine of a definition file: serp-sim's scenario parameters ("" or
// e.g. "delay=400&") go in front of the query in its search URL.
struct EngineSetup {
  std::string name;
  std::string params;
};

inline std::string QueryKey(const std::string& engine) {
  return engine == "baidu" ? "wd" : engine == "sougou" ? "query" : "q";
}

inline std::string SearchUrl(const EngineSetup& e) {
  return "http://127.0.0.1:" + std::to_string(test::SerpSim::Get().port()) + "/" + e.name + "/s?" + e.params +
         QueryKey(e.name) + "=%s";
}

inline std::string HomeUrl(const std::string& engine) {
  return "http://127.0.0.1:" + std::to_string(test::SerpSim::Get().port()) + "/" + engine + "/";
}

// UTF-16LE with BOM, which both platforms' INI readers take.
inline void WriteUtf16File(const std::filesystem::path& path, const std::string& utf8) {
  const std::u16string text = Utf8ToU16(utf8);
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::filesystem::path TempDir() {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("zqe-host-" + std::to_string(platform::CurrentProcessId()));
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string DefinitionText(const std::vector<EngineSetup>& engines) {
  std::string s;
  for (const auto& e : engines) {
    s += "[" + e.name + "]\r\nTitle=" + e.name + " on serp-sim\r\nurl=" + HomeUrl(e.name) + "\r\nsurl=" +
         SearchUrl(e) + "\r\nhttp-timeout=15000\r\ntag=t-" + e.name + "\r\nremark=" + e.name +
         " engine\r\nicon=" + e.name + ".ico\r\n\r\n";
  }
  return s;
}

inline std::filesystem::path WriteDefinitions(const std::string& fileName, const std::vector<EngineSetup>& engines) {
  const auto path = TempDir() / fileName;
  WriteUtf16File(path, DefinitionText(engines));
  return path;
}

// ---- child processes -----------------------------------------------------

// Runs this program's DISABLED_ test Filter in a process of its own, for
// what must see a library that no test has initialised yet; the exit code
// and everything it printed.
inline std::pair<int, std::string> RunTestInChild(const std::string& filter) {
  std::string error;
  auto child = platform::ChildProcess::Start(
      {U16ToUtf8(platform::HostProgramPath()), "--gtest_also_run_disabled_tests", "--gtest_filter=" + filter},
      error, true);
  if (!child) return {-1, error};
  std::string out, line;
  while (child->ReadLine(line, 120000)) out += line + "\n";
  return {child->Wait(), out};
}

// ---- result records ------------------------------------------------------

struct Record {
  Record() { std::memset(&r, 0xA5, sizeof r); }  // what a host left in it
  TZQECheckResult r;
};

// A check of one engine, selected by name as a host selects it.
inline Record CheckWithOne(const TZQEInterface& intf, const std::string& engine, const std::u16string& text) {
  TZQSEDef def = Selected(AsciiToU16(engine));
  TZQECheckParams params{};
  params.SEDefs = &def;
  params.SECount = 1;
  Record r;
  intf.Check(text.c_str(), nullptr, &params, 1, &r.r);
  return r;
}

// What an engine found, as the record holds it.
struct Findings {
  std::u16string name;
  std::u16string url, shortUrl, remark;
};

// serp-sim's link for corpus passage n and each engine's display form.
inline Findings HitOn(const std::string& engine, int passage) {
  const std::string host = "site" + std::to_string(passage) + ".example.com/doc/" + std::to_string(passage) + ".html";
  std::u16string shortUrl = AsciiToU16(host);
  if (engine == "sougou") shortUrl += u" -";
  if (engine == "bing") shortUrl += u" ·";
  if (engine == "360so") shortUrl += u" ›";
  if (engine == "google") shortUrl.clear();
  return Findings{AsciiToU16(engine), AsciiToU16("http://" + host), shortUrl, u""};
}

inline const char* FieldAt(size_t offset) {
  struct Span {
    size_t begin;
    const char* name;
  };
  static const Span spans[] = {{0, "Reserved1"},          {4, "Reserved2"},         {8, "UserData"},
                               {12, "ErrorCode"},         {13, "Pad1"},             {14, "SEName"},
                               {270, "Reserved3"},        {276, "CheckUrl"},        {8472, "CheckUrlLen"},
                               {8476, "Reserved4"},       {8508, "CheckShortURL"},  {16704, "CheckShortURLLen"},
                               {16708, "CheckRemark"},    {24904, "CheckRemarkLen"}, {24908, "Reserved5"},
                               {24912, "MatchMSecs"},     {24920, "TotalMSecs"}};
  const char* name = "?";
  for (const auto& s : spans)
    if (offset >= s.begin) name = s.name;
  return name;
}

// Empty when the records are equal, else where they first differ.
inline std::string FirstDifference(const TZQECheckResult& expected, const TZQECheckResult& actual) {
  const auto* e = reinterpret_cast<const unsigned char*>(&expected);
  const auto* a = reinterpret_cast<const unsigned char*>(&actual);
  for (size_t i = 0; i < sizeof(TZQECheckResult); ++i)
    if (e[i] != a[i])
      return "byte " + std::to_string(i) + " (" + FieldAt(i) + "): expected " + std::to_string(e[i]) + ", got " +
             std::to_string(a[i]);
  return {};
}

// The record a request must leave: the host's bytes with UserData and
// ErrorCode, the engine's name when one reported, and its findings on a
// hit. The two times are taken from the actual record (bounds are the
// caller's business).
inline TZQECheckResult Expected(const TZQECheckResult& before, const TZQECheckResult& actual, int32_t userData,
                                uint8_t errorCode, const std::optional<std::u16string>& name,
                                const std::optional<Findings>& found) {
  TZQECheckResult e = before;
  e.UserData = userData;
  e.ErrorCode = errorCode;
  if (name) PutText(e.SEName, *name);
  if (found) {
    PutText(e.CheckUrl, found->url);
    e.CheckUrlLen = static_cast<int32_t>(found->url.size());
    PutText(e.CheckShortURL, found->shortUrl);
    e.CheckShortURLLen = static_cast<int32_t>(found->shortUrl.size());
    PutText(e.CheckRemark, found->remark);
    e.CheckRemarkLen = static_cast<int32_t>(found->remark.size());
    e.MatchMSecs = actual.MatchMSecs;
  }
  e.TotalMSecs = actual.TotalMSecs;
  return e;
}

inline int64_t MillisSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace zqe::hosttest
