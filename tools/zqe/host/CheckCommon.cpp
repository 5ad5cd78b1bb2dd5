#include "host/CheckCommon.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

#include "host/CheckRun.h"
#include "host/SentenceSplit.h"
#include "platform/FieldText.h"
#include "platform/HostSupport.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace zqe::cli {

namespace {

std::string ProgramDir() { return U16ToUtf8(platform::ExtractFilePath(platform::HostProgramPath())); }

std::vector<std::string> SplitList(const std::string& s) {
  std::vector<std::string> out;
  size_t b = 0;
  while (b <= s.size()) {
    size_t e = s.find(',', b);
    if (e == std::string::npos) e = s.size();
    std::string item = s.substr(b, e - b);
    while (!item.empty() && item.front() == ' ') item.erase(0, 1);
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (!item.empty()) out.push_back(item);
    b = e + 1;
  }
  return out;
}

std::string DefName(const TZQSEDef& d) { return U16ToUtf8(FieldView(d.Name)); }

// The engines named in `names` (comma-separated, any case), in that order,
// as indexes into defs; all of them when names is empty. Empty with a
// message in `error` when one is not loaded.
std::vector<size_t> SelectEngines(const std::vector<TZQSEDef>& defs, const std::string& names, std::string& error) {
  std::vector<size_t> selected;
  const auto wanted = SplitList(names);
  if (wanted.empty()) {
    for (size_t i = 0; i < defs.size(); ++i) selected.push_back(i);
    return selected;
  }
  for (const auto& w : wanted) {
    size_t i = 0;
    while (i < defs.size() && !SameTextAscii(Utf8ToU16(DefName(defs[i])), Utf8ToU16(w))) ++i;
    if (i == defs.size()) {
      std::string known;
      for (const auto& d : defs) known += (known.empty() ? "" : ", ") + DefName(d);
      error = "no engine named " + w + " is loaded (loaded: " + known + ")";
      return {};
    }
    selected.push_back(i);
  }
  return selected;
}

// Runs the checks with Ctrl-C cancelling them (a second Ctrl-C quits at
// once), then lets the engine go.
void RunInterruptible(EngineHost& host, const RunSettings& settings, Report& report) {
  CheckRun run(host, settings);
  // Shared with the interrupt handler, which may run on after this
  // function has moved on; `run` is reached only while `finished` is false.
  struct InterruptState {
    std::mutex mutex;
    bool finished = false;  // guarded by mutex
    CheckRun* run = nullptr;
    std::atomic<int> count{0};
  };
  auto state = std::make_shared<InterruptState>();
  state->run = &run;
  platform::SetInterruptHandler([state] {
    // A second Ctrl-C is for a user who will not wait for the engines to
    // wind down.
    if (state->count.fetch_add(1) > 0) std::_Exit(kExitInterrupted);
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->finished) return;
    std::fputs("\nzqe: interrupted; cancelling the running checks (Ctrl-C again to quit at once)...\n", stderr);
    state->run->Cancel();
  });
  run.Run(report);
  {
    // No CancelAll may overlap UnInit.
    std::lock_guard<std::mutex> lock(state->mutex);
    state->finished = true;
  }
  platform::SetInterruptHandler(nullptr);
  host.UnInit();
}

std::string Render(const Report& report, const std::string& format) {
  if (format == "json") return RenderJson(report);
  if (format == "html") return RenderHtml(report);
  return RenderText(report);
}

// The report on standard output, or into outFile (opened on o.out); false
// when the file could not be written.
bool WriteReport(const std::string& text, const CheckOptions& o, std::ofstream& outFile, const char* command) {
  if (o.out.empty()) {
    platform::UseUtf8Console();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return true;
  }
  outFile.write(text.data(), static_cast<std::streamsize>(text.size()));
  outFile.close();
  if (!outFile) return false;
  if (!o.quiet) std::fprintf(stderr, "zqe %s: report written to %s\n", command, o.out.c_str());
  return true;
}

// The exit code of a report that was written.
int ExitCode(const Report& report, const char* command) {
  if (report.interrupted) return kExitInterrupted;
  if (const Totals totals = Summarise(report); totals.MostlyUnchecked()) {
    std::fprintf(stderr, "zqe %s: warning: %s\n", command, UncheckedWarning(totals).c_str());
    return kExitTooLittleChecked;
  }
  return kExitOk;
}

}  // namespace

std::string DefaultLibraryPath() { return ProgramDir() + LibraryFileName(); }
std::string DefaultConfigPath() { return ProgramDir() + "engines.ini"; }

void AddCheckOptions(CLI::App& cmd, CheckOptions& o, bool withEngineSetup) {
  // CLI11 reads "/x" as an option on Windows; documents named by POSIX-style
  // paths (MSYS shells, Wine) must stay documents.
  cmd.allow_windows_style_options(false);
  if (withEngineSetup) {
    cmd.add_option("--config", o.config, "Engine definition file (default: engines.ini beside zqe)");
    cmd.add_option("--engines", o.engines, "Comma-separated engine names to use (default: every loaded engine)");
    cmd.add_option("--library", o.library, std::string("Engine library (default: ") + LibraryFileName() +
                                               " beside zqe)");
    cmd.add_option("--encoding", o.encoding, "Input encoding: auto, utf-8, utf-16le, utf-16be, gbk, gb18030")
        ->check([](const std::string& v) { return ParseEncodingName(v) ? std::string() : "unknown encoding " + v; });
  }
  cmd.add_flag("--strict", o.strict, "Exact matches only (no near matches within a few edits)");
  cmd.add_option("--filter", o.filter, "URL masks whose results do not count (handed to the engine)");
  cmd.add_option("--threads", o.threads, "Host threads checking sentences in parallel")->check(CLI::Range(1, 64));
  cmd.add_option("--budget", o.budgetMs,
                 "Milliseconds per sentence for all its engines; an engine without an answer by then timed out")
      ->check(CLI::Range(100, 600000))
      ->capture_default_str();
  cmd.add_option("--format", o.format, "Report format")->check(CLI::IsMember({"text", "json", "html"}));
  cmd.add_option("--out", o.out, "Write the report to this file instead of standard output");
  cmd.add_option("--min-length", o.minLength, "Skip sentences shorter than this many characters")
      ->check(CLI::Range(1, 100000));
  cmd.add_flag("--quiet", o.quiet, "No progress on standard error");
}

DocumentReport LoadDocument(const std::string& path, Encoding encoding, size_t minLength) {
  std::string bytes;
  if (path == "-") {
    if (!platform::ReadStandardInput(bytes)) throw std::runtime_error("cannot read standard input");
  } else {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot open " + path);
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    if (f.bad()) throw std::runtime_error("cannot read " + path);
  }
  DecodedText decoded = DecodeDocument(bytes, encoding);
  DocumentReport doc;
  doc.path = path;
  doc.encoding = std::string(EncodingName(decoded.encoding)) + (decoded.hadBom ? " with BOM" : "") +
                 (decoded.replaced ? ", invalid bytes replaced" : "");
  doc.text = std::move(decoded.text);
  for (auto& s : SplitSentences(doc.text)) {
    if (s.length < minLength) {
      ++doc.skipped;
      continue;
    }
    SentenceResult r;
    r.sentence = std::move(s);
    doc.sentences.push_back(std::move(r));
  }
  return doc;
}

int RunCheckCommand(const char* command, const CheckOptions& o, std::vector<DocumentReport> documents,
                    const std::string& title) {
  auto fail = [command](int code, const std::string& msg) {
    std::fprintf(stderr, "zqe %s: %s\n", command, msg.c_str());
    return code;
  };
  const std::string libraryPath = o.library.empty() ? DefaultLibraryPath() : o.library;
  const std::string configPath = o.config.empty() ? DefaultConfigPath() : o.config;

  // Found out before the checks run, not after.
  std::ofstream outFile;
  if (!o.out.empty()) {
    outFile.open(o.out, std::ios::binary | std::ios::trunc);
    if (!outFile) return fail(kExitUsage, "cannot write " + o.out);
  }

  std::unique_ptr<EngineHost> host;
  try {
    host = std::make_unique<EngineHost>(libraryPath, configPath);
  } catch (const EngineError& e) {
    return fail(kExitEngine, e.what());
  }
  const auto& defs = host->Definitions();
  if (defs.empty()) return fail(kExitEngine, "the definition file " + configPath + " defines no usable engine");

  RunSettings settings;
  std::string error;
  settings.engines = SelectEngines(defs, o.engines, error);
  if (!error.empty()) return fail(kExitUsage, error);
  settings.strict = o.strict;
  settings.filter = Utf8ToU16(o.filter);
  settings.threads = o.threads;
  settings.budgetMs = o.budgetMs;
  settings.progress = !o.quiet;

  Report report;
  report.title = title;
  for (size_t i : settings.engines) report.engines.push_back(DefName(defs[i]));
  report.strict = o.strict;
  report.filter = o.filter;
  report.minLength = o.minLength;
  report.documents = std::move(documents);

  RunInterruptible(*host, settings, report);
  host.reset();

  if (!WriteReport(Render(report, o.format), o, outFile, command)) return fail(kExitUsage, "cannot write " + o.out);
  return ExitCode(report, command);
}

}  // namespace zqe::cli
