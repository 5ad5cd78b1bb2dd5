#include "Command.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace zqe::cli {

std::vector<CommandInfo>& Commands() {
  static std::vector<CommandInfo> commands;
  return commands;
}

std::string ReadInput(const std::string& path) {
  std::string data;
  if (path == "-") {
    std::ostringstream ss;
    ss << std::cin.rdbuf();
    data = ss.str();
  } else {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot open " + path);
    data.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    if (f.bad()) throw std::runtime_error("cannot read " + path);
  }
  if (data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
  return data;
}

}  // namespace zqe::cli

int main(int argc, char** argv) {
  CLI::App app{"zqe: text-originality checks and their diagnostics"};
  app.require_subcommand(1);
  // CLI11 reads "/x" as an option on Windows; pages and documents named by
  // POSIX-style paths (MSYS shells, Wine) must stay files. Subcommands made
  // after this inherit it.
  app.allow_windows_style_options(false);
  std::vector<std::function<int()>> runners;
  for (auto& c : zqe::cli::Commands()) runners.push_back(c.setup(app));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 1;
  }
  // Subcommands are kept in the order they were added, which is the
  // order of the runners.
  auto all = app.get_subcommands({});
  for (size_t k = 0; k < all.size() && k < runners.size(); ++k) {
    if (all[k]->parsed()) {
      try {
        return runners[k]();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "zqe: %s\n", e.what());
        return 2;
      }
    }
  }
  return 1;
}
