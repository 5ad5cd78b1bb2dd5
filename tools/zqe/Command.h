// Each subcommand of the zqe tool lives in a file of its own and registers
// itself here; main() only parses and dispatches.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace zqe::cli {

struct CommandInfo {
  // Adds the subcommand to the app; the returned callback runs it and
  // gives the exit code.
  std::function<std::function<int()>(CLI::App& app)> setup;
};

std::vector<CommandInfo>& Commands();

struct RegisterCommand {
  explicit RegisterCommand(CommandInfo info) { Commands().push_back(std::move(info)); }
};

// Reads PAGE (a file path, or "-" for standard input); strips a UTF-8 BOM.
// Throws std::runtime_error with a readable message on failure.
std::string ReadInput(const std::string& path);

}  // namespace zqe::cli
