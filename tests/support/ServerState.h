// The state file that a loopback test server (serp-sim, the HTTP scenario
// server) writes once it listens: "key=value" lines naming its ports and
// pid. ctest starts the servers as fixtures and passes the file's path in
// an environment variable.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace zqe::test {

class ServerState {
 public:
  // Empty when the file cannot be read. Under Wine a Unix path may need
  // the drive that maps the Unix root, so that form is tried as well.
  static ServerState Read(const std::string& path) {
    ServerState state;
    for (const std::string& candidate : {path, "Z:" + path}) {
      std::ifstream f(candidate);
      std::string line;
      while (std::getline(f, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) state.fields_[line.substr(0, eq)] = line.substr(eq + 1);
      }
      if (!state.fields_.empty()) break;
    }
    return state;
  }

  bool Has(const std::string& key) const { return fields_.count(key) != 0; }
  // The field as a number; 0 when it is missing.
  int Int(const std::string& key) const {
    const auto it = fields_.find(key);
    return it == fields_.end() ? 0 : std::atoi(it->second.c_str());
  }

 private:
  std::map<std::string, std::string> fields_;
};

}  // namespace zqe::test
