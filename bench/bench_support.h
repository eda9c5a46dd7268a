// What the benchmarks share: where generated data lives, peak memory, and
// timing a command-line tool that serves as a yardstick.
#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace nbl::bench {

// `name` inside $NBL_BENCH_DATA (bench/compare points it into the build folder,
// so that two checkouts never share a file), else inside the temp folder.
// When the file is missing, `make` writes it at the path it is given, which
// is then renamed into place, so an interrupted run leaves no half a file.
std::filesystem::path CachedFile(const std::string& name,
                                 const std::function<void(const std::filesystem::path&)>& make);

// A scratch path for this process alone (results the benchmark deletes itself).
std::filesystem::path ScratchPath(const std::string& name);

// Sets the counter peak_rss_MB to this process's peak resident memory so far.
void RecordPeakMemory(benchmark::State& state);

// Runs `argv` (looked up in PATH) with stdin from /dev/null and stdout and
// stderr to /dev/null; returns its exit status, or -1 when it could not run.
int RunTool(const std::vector<std::string>& argv);

// Every benchmark that times a tool: one run per iteration, wall time, and a
// skip with the command line when the tool fails.
void TimeTool(benchmark::State& state, const std::vector<std::string>& argv);

}  // namespace nbl::bench
