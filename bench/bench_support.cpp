#include "bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace

std::filesystem::path CachedFile(const std::string& name,
                                 const std::function<void(const std::filesystem::path&)>& make) {
  const auto path = DataFolder() / name;
  if (std::filesystem::exists(path)) return path;
  const auto partial = DataFolder() / (name + ".part" + std::to_string(::getpid()));
  std::filesystem::remove(partial);
  make(partial);
  std::filesystem::rename(partial, path);
  return path;
}

std::filesystem::path ScratchPath(const std::string& name) {
  return DataFolder() / (std::to_string(::getpid()) + "-" + name);
}

void RecordPeakMemory(benchmark::State& state) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

int RunTool(const std::vector<std::string>& argv) {
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
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void TimeTool(benchmark::State& state, const std::vector<std::string>& argv) {
  for (auto _ : state) {
    if (RunTool(argv) != 0) {
      std::string line;
      for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
      state.SkipWithError(("the yardstick failed: " + line).c_str());
      break;
    }
  }
}

}  // namespace nbl::bench
