// Finds the serp-sim server that ctest started for the search tests,
// through the state file it wrote; a native run outside ctest starts one.
#pragma once

#include <cstdlib>
#include <string>

#include "ServerState.h"
#include "platform/Text.h"

namespace zqe::test {

class SerpSim {
 public:
  static SerpSim& Get() {
    static SerpSim sim;
    return sim;
  }
  int port() const { return port_; }
  const std::string& problem() const { return problem_; }
  // The base URL of an engine's search path, e.g. http://127.0.0.1:N/bing/s
  std::u16string Base(std::string_view engine) const {
    return AsciiToU16("http://127.0.0.1:" + std::to_string(port_) + "/" + std::string(engine) + "/s");
  }

  ~SerpSim() {
#if !defined(ZQE_PLATFORM_WINDOWS)
    if (own_) std::system(("\"" ZQE_PYTHON3 "\" \"" ZQE_SERP_SIM "\" stop \"" + state_ + "\"").c_str());
#endif
  }

 private:
  SerpSim() {
    if (const char* s = std::getenv("ZQE_SERP_SIM_STATE")) state_ = s;
#if !defined(ZQE_PLATFORM_WINDOWS)
    if (state_.empty()) {
      state_ = ZQE_SERP_SIM_STATE_DIR "/serp_sim.own.state";
      own_ = std::system(("\"" ZQE_PYTHON3 "\" \"" ZQE_SERP_SIM "\" start \"" + state_ +
                          "\" --lifetime 600 >/dev/null").c_str()) == 0;
    }
#endif
    if (state_.empty()) {
      problem_ = "ZQE_SERP_SIM_STATE is not set: run these tests through ctest";
      return;
    }
    port_ = ServerState::Read(state_).Int("port");
    if (port_ != 0) return;
    problem_ = "cannot read serp-sim's state file " + state_;
  }

  std::string state_;
  std::string problem_;
  bool own_ = false;
  int port_ = 0;
};

}  // namespace zqe::test
