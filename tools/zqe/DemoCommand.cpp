// zqe demo: an offline check from start to end. Starts serp-sim on
// loopback with the bundled corpus, points every engine at it through a
// definition file of its own, and checks the bundled sample document.
#include "Command.h"
#include "host/CheckCommon.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/HostSupport.h"
#include "platform/Platform.h"

#ifndef ZQE_DEMO_DATA_DIR
#define ZQE_DEMO_DATA_DIR ""
#endif
#ifndef ZQE_SERP_SIM_SCRIPT
#define ZQE_SERP_SIM_SCRIPT ""
#endif
#ifndef ZQE_PYTHON3
#define ZQE_PYTHON3 "python3"
#endif

namespace zqe::cli {
namespace {

namespace fs = std::filesystem;

std::string U8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}
fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

struct DemoOptions {
  std::string data = ZQE_DEMO_DATA_DIR;
  std::string serpSim = ZQE_SERP_SIM_SCRIPT;
  std::string python = ZQE_PYTHON3;
  int port = 0;
};

// Every built-in engine, with the query key its own search URL uses.
// Name, title, query key and the element of serp-sim's layout that holds
// an entry's snippet, so that reports show the source's text alone.
constexpr const char* kEngines[][4] = {
    {"baidu", "Baidu", "wd", "div.c-abstract"},    {"sougou", "Sogou", "query", "div.ft"},
    {"bing", "Bing", "q", "div.b_caption p"},       {"360so", "360 Search", "q", "p.res-desc"},
    {"google", "Google", "q", "span.st"},
};

std::string DefinitionFile(int port) {
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
  std::string ini = "; written by zqe demo: every engine asks the local serp-sim\n";
  for (const auto& e : kEngines) {
    ini += std::string("\n[") + e[0] + "]\nTitle=" + e[1] + "\nurl=" + base + e[0] + "/\nsurl=" + base + e[0] +
           "/s?" + e[2] + "=%s\nhttp-timeout=5000\nresult-remark=snippet\nsnippet-selector=" + e[3] + "\n";
  }
  return ini;
}

// Removes the temporary folder however the demo ends.
struct TempDir {
  fs::path path;
  ~TempDir() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

int RunDemo(const CheckOptions& check, const DemoOptions& demo) {
  auto fail = [](int code, const std::string& msg) {
    std::fprintf(stderr, "zqe demo: %s\n", msg.c_str());
    return code;
  };
  const fs::path data = PathOf(demo.data);
  const fs::path corpus = data / "corpus.txt", sample = data / "sample.txt";
  if (!fs::exists(sample) || !fs::exists(corpus))
    return fail(kExitUsage, "cannot find the demo data (corpus.txt, sample.txt) in \"" + demo.data +
                                "\"; point --data at data/demo");

  std::unique_ptr<platform::ChildProcess> sim;
  int port = demo.port;
  if (port == 0) {
    std::string error;
    sim = platform::ChildProcess::Start(
        {demo.python, demo.serpSim, "serve", "--corpus", U8(corpus), "--lifetime", "900"}, error);
    if (!sim) return fail(kExitEngine, "cannot start serp-sim: " + error);
    std::string line;
    while (sim->ReadLine(line, 15000)) {
      if (line.rfind("port=", 0) == 0) {
        port = std::atoi(line.c_str() + 5);
        break;
      }
    }
    if (port <= 0) return fail(kExitEngine, "serp-sim (" + demo.serpSim + ") did not report its port");
    if (!check.quiet) std::fprintf(stderr, "zqe demo: serp-sim is serving %s on 127.0.0.1:%d\n",
                                   U8(corpus).c_str(), port);
  }

  TempDir tmp;
  std::error_code ec;
  tmp.path = fs::temp_directory_path(ec) / ("zqe-demo-" + std::to_string(platform::CurrentProcessId()));
  fs::create_directories(tmp.path, ec);
  const fs::path ini = tmp.path / "engines.ini";
  {
    std::ofstream f(ini, std::ios::binary);
    f << DefinitionFile(port);
    if (!f) return fail(kExitEngine, "cannot write " + U8(ini));
  }

  CheckOptions o = check;
  o.config = U8(ini);
  std::vector<DocumentReport> docs;
  try {
    docs.push_back(LoadDocument(U8(sample), Encoding::kAuto, o.minLength));
  } catch (const std::exception& e) {
    return fail(kExitUsage, e.what());
  }
  docs.back().path = "sample.txt";
  return RunCheckCommand("demo", o, std::move(docs), "ZQE demo: originality of sample.txt");
}

RegisterCommand registerDemo{{[](CLI::App& app) -> std::function<int()> {
  auto* cmd = app.add_subcommand("demo", "Check the bundled sample against a local search-engine simulator");
  auto check = std::make_shared<CheckOptions>();
  auto demo = std::make_shared<DemoOptions>();
  AddCheckOptions(*cmd, *check, false);
  cmd->add_option("--library", check->library, "Engine library (default: the one beside zqe)");
  cmd->add_option("--data", demo->data, "Folder with corpus.txt and sample.txt")->capture_default_str();
  cmd->add_option("--serp-sim", demo->serpSim, "serp_sim.py")->capture_default_str();
  cmd->add_option("--python", demo->python, "Python 3 interpreter for serp-sim")->capture_default_str();
  cmd->add_option("--port", demo->port, "Use a serp-sim already serving the demo corpus on this loopback port")
      ->check(CLI::Range(1, 65535));
  return [check, demo] { return RunDemo(*check, *demo); };
}}};

}  // namespace
}  // namespace zqe::cli
