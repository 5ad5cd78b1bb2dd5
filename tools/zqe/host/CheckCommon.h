// What `zqe check` and `zqe demo` share: options, loading documents,
// running the check with Ctrl-C handling, and writing the report.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "host/EngineHost.h"
#include "host/Report.h"
#include "host/TextDecode.h"

namespace zqe::cli {

// Exit codes of check and demo.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitEngine = 2;
// The report is written, but more than half of its sentences are not
// checked (no engine said "hit" or "no hit"): its originality figure
// rests on too little.
inline constexpr int kExitTooLittleChecked = 3;
// Ctrl-C: the report of what was checked is written, and the shell's
// convention for an interrupted program tells scripts it is partial.
inline constexpr int kExitInterrupted = 130;

struct CheckOptions {
  std::string library;  // empty: beside the program
  std::string config;   // empty: engines.ini beside the program
  std::string engines;  // comma-separated names; empty: all loaded
  bool strict = false;
  std::string filter;
  int threads = 1;
  int budgetMs = 3000;
  std::string format = "text";
  std::string out;
  size_t minLength = 10;
  std::string encoding = "auto";
  bool quiet = false;
};

// The options both subcommands take; `withEngineSetup` adds those that
// choose the library, the definition file and the engines (demo makes
// its own definition file).
void AddCheckOptions(CLI::App& cmd, CheckOptions& o, bool withEngineSetup);

std::string DefaultLibraryPath();
std::string DefaultConfigPath();

// Reads, decodes and splits one input ("-": standard input); throws
// std::runtime_error with a readable message.
DocumentReport LoadDocument(const std::string& path, Encoding encoding, size_t minLength);

// Loads the engine, checks every document and writes the report; the
// exit code. Errors are reported on standard error with `command` first.
int RunCheckCommand(const char* command, const CheckOptions& o, std::vector<DocumentReport> documents,
                    const std::string& title);

}  // namespace zqe::cli
