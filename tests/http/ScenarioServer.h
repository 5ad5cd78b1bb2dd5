// Finds the loopback scenario server (tests/http/scenario_server.py) that
// the test run started, through the state file it wrote. ctest starts and
// stops it as a fixture; a native run outside ctest starts its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ServerState.h"
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
    const ServerState state = ServerState::Read(state_);
    if (!state.Has("port")) {
      problem_ = "cannot read the scenario server's state file " + state_;
      return;
    }
    port_ = state.Int("port");
    closed_ = state.Int("closed");
    blackhole_ = state.Int("blackhole");
    tlsHello_ = state.Int("tlshello");
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
