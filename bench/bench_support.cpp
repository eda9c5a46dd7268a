#include "bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

extern char** environ;

namespace nbl::bench {

namespace {

std::filesystem::path DataFolder() {
  const char* chosen = std::getenv("NBL_BENCH_DATA");
  std::filesystem::path folder = chosen != nullptr && *chosen != '\0' ? chosen : std::filesystem::temp_directory_path();
  std::filesystem::create_directories(folder);
  return folder;
}

double Seconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs argv to its end; its CPU time in seconds, or a negative number when it
// could not run or did not exit with status 0.
double RunTool(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return Seconds(usage);
}

}  // namespace

std::filesystem::path CachedFile(const std::string& name,
                                 const std::function<void(const std::filesystem::path&)>& make) {
  const auto path = DataFolder() / name;
  if (std::filesystem::exists(path)) return path;
  const auto partial = ScratchPath(name);
  std::filesystem::remove(partial);
  make(partial);
  std::filesystem::rename(partial, path);
  // Written back now, so that the kernel's writing of a new file does not fall into the times after it.
  ::sync();
  return path;
}

std::filesystem::path ScratchPath(const std::string& name) {
  return DataFolder() / (std::to_string(::getpid()) + "-" + name);
}

void TimeCpu(benchmark::State& state, const std::function<void()>& work, const std::function<void()>& prepare) {
  for (auto _ : state) {
    prepare();
    const double start = ProcessCpuSeconds();
    work();
    state.SetIterationTime(ProcessCpuSeconds() - start);
  }
}

void TimeElapsed(benchmark::State& state, const std::function<void()>& work, const std::function<void()>& prepare) {
  double cpu = 0;
  for (auto _ : state) {
    prepare();
    const double startCpu = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    cpu += ProcessCpuSeconds() - startCpu;
  }
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

void TimeTool(benchmark::State& state, const std::vector<std::string>& argv) {
  for (auto _ : state) {
    const double seconds = RunTool(argv);
    if (seconds < 0) {
      std::string line;
      for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
      state.SkipWithError(("the yardstick failed: " + line).c_str());
      break;
    }
    state.SetIterationTime(seconds);
  }
}

void RecordPeakMemory(benchmark::State& state) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace nbl::bench
