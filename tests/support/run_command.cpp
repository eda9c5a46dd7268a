#include "support/run_command.h"

#include <sys/wait.h>

#include <array>
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
  // prlimit sets the limit in the child before it runs nblinout, which ignores SIGXFSZ itself.
  std::vector<std::string> line{"prlimit", "--fsize=" + std::to_string(fileSizeLimit), "--"};
  const std::vector<std::string> cli = CliLine(args);
  line.insert(line.end(), cli.begin(), cli.end());
  return RunCommand(line);
}

}  // namespace nbl::testing
