// The command line of nblinout: its commands and options, declared with CLI11.
#pragma once

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "store/connection.h"

namespace nbl::cli {

// What the command line gave.
struct Options {
  std::string db, file, ui = "auto";
  std::string genre, from, to, publish = "all", date = "day";
  bool keepLineBreaks = false, keepHyphens = false, overwrite = false, dialog = false;
  bool dryRun = false, skipExisting = false;
  std::vector<std::string> headingTags;
  std::chrono::milliseconds LockWait() const { return std::chrono::milliseconds(std::llround(lockWait * 1000)); }
  double lockWait = std::chrono::duration<double>(store::kDefaultLockWait).count();  // seconds
};

// The subcommands, to ask which one was given.
struct Commands {
  CLI::App* newDb;
  CLI::App* exp;
  CLI::App* imp;
  CLI::App* info;
};

// Declares every command and option of `app`, parsed into `o`.
Commands DeclareCommands(CLI::App& app, Options& o);

}  // namespace nbl::cli
