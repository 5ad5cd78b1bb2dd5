// Finds the loopback scenario server (tests/http/scenario_server.py) that
// the test run started, through the state file it wrote. ctest starts and
// stops it as a fixture; a native run outside ctest starts its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "platform/Text.h"

namespace zqe::test {

class ScenarioServer {
 public:
  static ScenarioServer& Get() {
    static ScenarioServer server;
    return server;
  }

  bool ok() const { return port_ != 0; }
  const std::string& problem() const { return problem_; }
  int closedPort() const { return closed_; }
  int blackholePort() const { return blackhole_; }
  // Records the protocols a TLS client offers ("alpn ..." in /events).
  int tlsHelloPort() const { return tlsHello_; }

  std::u16string Url(std::string_view path) const { return UrlOn(port_, path); }
  static std::u16string UrlOn(int port, std::string_view path) {
    return AsciiToU16("http://127.0.0.1:" + std::to_string(port)) + Utf8ToU16(path);
  }

  ~ScenarioServer() {
#if !defined(ZQE_PLATFORM_WINDOWS) && defined(ZQE_SCENARIO_SCRIPT)
    if (ownServer_) std::system(("\"" ZQE_PYTHON "\" \"" ZQE_SCENARIO_SCRIPT "\" stop \"" + state_ + "\"").c_str());
#endif
  }

 private:
  ScenarioServer() {
    if (const char* s = std::getenv("ZQE_HTTP_SCENARIO_STATE")) state_ = s;
#if !defined(ZQE_PLATFORM_WINDOWS) && defined(ZQE_SCENARIO_SCRIPT)
    if (state_.empty()) {
      state_ = ZQE_SCENARIO_STATE_DIR "/scenario_server.own.state";
      ownServer_ = std::system(("\"" ZQE_PYTHON "\" \"" ZQE_SCENARIO_SCRIPT "\" start \"" + state_ + "\"").c_str()) == 0;
    }
#endif
    if (state_.empty()) {
      problem_ = "ZQE_HTTP_SCENARIO_STATE is not set: run these tests through ctest";
      return;
    }
    std::map<std::string, std::string> kv;
    // Under Wine a Unix path may need the drive that maps the Unix root.
    for (const std::string& candidate : {state_, "Z:" + state_}) {
      std::ifstream f(candidate);
      std::string line;
      while (std::getline(f, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
      }
      if (!kv.empty()) break;
    }
    if (kv.count("port") == 0) {
      problem_ = "cannot read the scenario server's state file " + state_;
      return;
    }
    port_ = std::atoi(kv["port"].c_str());
    closed_ = std::atoi(kv["closed"].c_str());
    blackhole_ = std::atoi(kv["blackhole"].c_str());
    tlsHello_ = std::atoi(kv["tlshello"].c_str());
  }

  std::string state_;
  std::string problem_;
  bool ownServer_ = false;
  int port_ = 0;
  int closed_ = 0;
  int blackhole_ = 0;
  int tlsHello_ = 0;
};

}  // namespace zqe::test
