// Runs a command line through the shell and collects its exit status and output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nbl::testing {

struct CommandResult {
  int status = -1;     // exit status, or -1 when the command did not exit normally
  std::string output;  // stdout and stderr together
};

// Each argument is quoted for the shell; stdin is empty.
CommandResult RunCommand(const std::vector<std::string>& args);

// Runs the built nblinout with `args`.
CommandResult RunCli(const std::vector<std::string>& args);

// Runs the built nblinout with `args` under a limit of `fileSizeLimit` bytes for
// every file it writes (setrlimit RLIMIT_FSIZE through prlimit).
CommandResult RunCli(const std::vector<std::string>& args, std::uint64_t fileSizeLimit);

}  // namespace nbl::testing
