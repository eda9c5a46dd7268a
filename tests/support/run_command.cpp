#include "support/run_command.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace nbl::testing {
namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::vector<std::string> CliLine(const std::vector<std::string>& args) {
#ifdef NBL_CLI_PATH
  std::vector<std::string> all{NBL_CLI_PATH};
#else
  std::vector<std::string> all{"nblinout"};
#endif
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& a : args) line += Quote(a) + " ";
  line += "</dev/null 2>&1";
  CommandResult r;
  FILE* p = ::popen(line.c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buf{};
  std::size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  const int raw = ::pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

CommandResult RunCli(const std::vector<std::string>& args) { return RunCommand(CliLine(args)); }

CommandResult RunCli(const std::vector<std::string>& args, std::uint64_t fileSizeLimit) {
  std::vector<std::string> line = CliLine(args);
  std::vector<char*> argv;
  for (auto& a : line) argv.push_back(a.data());
  argv.push_back(nullptr);
  CommandResult r;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return r;
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, 0);
    ::dup2(pipeFds[1], 1);
    ::dup2(pipeFds[1], 2);
    const rlimit limit{fileSizeLimit, fileSizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  std::array<char, 4096> buf{};
  ssize_t n = 0;
  while ((n = ::read(pipeFds[0], buf.data(), buf.size())) != 0) {
    if (n > 0) r.output.append(buf.data(), static_cast<std::size_t>(n));
    else if (errno != EINTR) break;
  }
  ::close(pipeFds[0]);
  int raw = 0;
  if (child < 0 || ::waitpid(child, &raw, 0) != child) return r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

}  // namespace nbl::testing
