// What the benchmarks share: where generated data lives, the clock, peak
// memory, and timing a command-line tool that serves as a yardstick.
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

// A path in the same folder for this process alone.
std::filesystem::path ScratchPath(const std::string& name);

// Most benchmarks are timed by CPU time (user and system) of the process doing
// the work, so that what else runs on the machine counts as little as it can;
// register it with UseManualTime(). Runs `work` once per iteration, after
// `prepare`, which is not timed.
void TimeCpu(
    benchmark::State& state, const std::function<void()>& work, const std::function<void()>& prepare = [] {});

// For work that may use more than one core: timed by the clock on the wall,
// with the CPU time of the process beside it as the counter cpu_s (seconds
// an iteration), so that the table can show both.
void TimeElapsed(
    benchmark::State& state, const std::function<void()>& work, const std::function<void()>& prepare = [] {});

// The same for a command-line tool: one run per iteration, `argv` looked up
// in PATH, its output thrown away; skips with the command line when it fails.
void TimeTool(benchmark::State& state, const std::vector<std::string>& argv);

// Sets the counter peak_rss_MB to this process's peak resident memory so far.
void RecordPeakMemory(benchmark::State& state);

}  // namespace nbl::bench
