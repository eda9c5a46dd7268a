// The Debian package of this build, made by cpack and unpacked with dpkg -x into
// a scratch root: what it declares, where it puts each file, and that the
// installed command, manual page and completion work and name every option.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::set<std::string> Words(const std::string& text) {
  std::set<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.insert(w);
  return words;
}

class Package : public ::testing::Test {
 protected:
  // One package for every test of the suite; building it takes seconds.
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    const CommandResult pack = RunCommand({"cpack", "-G", "DEB", "--config", NBL_CPACK_CONFIG, "-B", Out("deb")});
    for (const auto& entry : fs::directory_iterator(Out("deb"), ec_)) {
      if (entry.path().extension() == ".deb") deb_ = entry.path().string();
    }
    if (pack.status != 0 || deb_.empty()) {
      problem_ = "cpack made no package (scripts/setup installs dpkg-dev and file, which it needs):\n" + pack.output;
      return;
    }
    const CommandResult unpack = RunCommand({"dpkg-deb", "-x", deb_, Out("root")});
    if (unpack.status != 0) problem_ = "dpkg-deb -x failed:\n" + unpack.output;
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override { ASSERT_TRUE(problem_.empty()) << problem_; }

  static std::string Out(const std::string& name) { return (dir_->path() / name).string(); }
  static std::string Installed(const std::string& path) { return Out("root") + "/usr/" + path; }
  static std::string Field(const std::string& name) { return RunCommand({"dpkg-deb", "-f", deb_, name}).output; }

  // The words bash offers for a command line whose last word is being typed.
  static std::set<std::string> Completions(const std::vector<std::string>& words) {
    std::vector<std::string> args{"bash", "-c",
                                  "source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _nblinout; "
                                  "printf '%s\\n' \"${COMPREPLY[@]}\"",
                                  Installed("share/bash-completion/completions/nblinout")};
    args.insert(args.end(), words.begin(), words.end());
    return Words(RunCommand(args).output);
  }

  static inline std::unique_ptr<TempDir> dir_;
  static inline std::error_code ec_;
  static inline std::string deb_, problem_;
};

TEST_F(Package, DependsOnThePackageOfEveryLibraryItsBinariesLink) {
  const std::string depends = Field("Depends");
  std::set<std::string> declared;
  for (const std::string& item : Lines(std::regex_replace(depends, std::regex(" \\([^)]*\\)|,"), "\n"))) {
    for (const std::string& w : Words(item)) declared.insert(w);
  }
  const std::string arch = std::string("/") + NBL_LIBRARY_ARCHITECTURE + "/";
  int needed = 0;
  for (const std::string& binary : {std::string("bin/nblinout"), std::string(NBL_INSTALL_LIBDIR) + "/libNBLinout.so.1"}) {
    SCOPED_TRACE(binary);
    const std::regex neededLine(R"(\(NEEDED\).*\[(.+)\])");
    for (const std::string& line : Lines(RunCommand({"readelf", "-d", Installed(binary)}).output)) {
      std::smatch m;
      if (!std::regex_search(line, m, neededLine)) continue;
      ++needed;
      // The package of the machine's own architecture that ships the library, as dpkg knows it.
      std::string owner;
      for (const std::string& hit : Lines(RunCommand({"dpkg-query", "-S", "*/" + m[1].str()}).output)) {
        const std::size_t colon = hit.find(':');
        if (hit.find(arch) != std::string::npos && colon != std::string::npos) owner = hit.substr(0, colon);
      }
      ASSERT_FALSE(owner.empty()) << "no package ships " << m[1];
      EXPECT_TRUE(declared.count(owner)) << m[1] << " comes from " << owner << ", which Depends lacks: " << depends;
    }
  }
  EXPECT_GT(needed, 2);
  EXPECT_EQ(RunCommand({"sh", "-c", "dpkg-deb --ctrl-tarfile \"$0\" | tar -xO ./shlibs", deb_}).output,
            "libNBLinout 1 nblinout (>= " NBL_VERSION ")\n");
}

TEST_F(Package, PutsEachFileWhereTheSystemLooksForIt) {
  const std::string lib = std::string(NBL_INSTALL_LIBDIR) + "/";
  const struct {
    std::string path, linksTo;  // linksTo empty: a regular file
  } files[] = {
      {"bin/nblinout", ""},
      {lib + "libNBLinout.so." NBL_VERSION, ""},
      {lib + "libNBLinout.so.1", "libNBLinout.so." NBL_VERSION},
      {lib + "libNBLinout.so", "libNBLinout.so.1"},
      {"share/nblinout/NBLHandleDLL.idl", ""},
      {"share/man/man1/nblinout.1.gz", ""},
      {"share/bash-completion/completions/nblinout", ""},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.path);
    const fs::path p = Installed(f.path);
    if (f.linksTo.empty()) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(p))) << "missing or not a file";
    } else {
      EXPECT_EQ(fs::read_symlink(p, ec_).string(), f.linksTo);
    }
  }
  EXPECT_NE(RunCommand({"readelf", "-d", Installed(lib + "libNBLinout.so.1")}).output.find("[libNBLinout.so.1]"),
            std::string::npos)
      << "the SONAME must be the name of the link";
  EXPECT_EQ(fs::status(Installed("bin/nblinout")).permissions() & fs::perms::others_exec, fs::perms::others_exec);
}

TEST_F(Package, InstalledCommandAndManualPageWork) {
  const CommandResult help = RunCommand({Installed("bin/nblinout"), "--help"});
  EXPECT_EQ(help.status, 0) << help.output;
  EXPECT_NE(help.output.find("info"), std::string::npos) << help.output;
  EXPECT_EQ(RunCommand({Installed("bin/nblinout"), "--version"}).output, "nblinout " NBL_VERSION "\n");

  // --warnings makes groff report what it could not typeset; the page must have none.
  const CommandResult man = RunCommand({"env", "MANWIDTH=80", "MANPAGER=cat", "man", "--warnings", "-l",
                                        Installed("share/man/man1/nblinout.1.gz")});
  EXPECT_EQ(man.status, 0) << man.output;
  EXPECT_EQ(man.output.find("warning"), std::string::npos) << man.output;
  for (const char* heading : {"NAME", "SYNOPSIS", "COMMANDS", "OPTIONS", "EXIT STATUS"}) {
    EXPECT_NE(man.output.find(std::string("\n") + heading + "\n"), std::string::npos) << heading;
  }
}

// Every command and option that --help lists, in the manual page and the completion, so neither falls behind.
TEST_F(Package, ManualPageAndCompletionNameEveryCommandAndOption) {
  const std::string nblinout = Installed("bin/nblinout");
  std::string page = RunCommand({"gzip", "-dc", Installed("share/man/man1/nblinout.1.gz")}).output;
  page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
  // The heading lines of the page's items (the line after each .TP), where an option is explained.
  std::string items;
  const std::vector<std::string> pageLines = Lines(page);
  for (std::size_t i = 1; i < pageLines.size(); ++i) {
    if (pageLines[i - 1] == ".TP") items += pageLines[i] + "\n";
  }

  // The top level (""), then each command that the top level's help lists.
  std::vector<std::string> commands{""};
  bool inCommands = false;
  for (const std::string& line : Lines(RunCommand({nblinout, "--help"}).output)) {
    if (inCommands && line.rfind("  ", 0) == 0) commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    inCommands = inCommands || line == "Subcommands:";
  }
  ASSERT_GE(commands.size(), 6u);
  const std::set<std::string> offered = Completions({"nblinout", ""});
  for (const std::string& command : commands) {
    SCOPED_TRACE("command '" + command + "'");
    std::vector<std::string> words{"nblinout"};
    if (!command.empty()) {
      EXPECT_NE(page.find(".B nblinout " + command), std::string::npos) << "the manual page lacks the command";
      EXPECT_TRUE(offered.count(command)) << "the completion does not offer the command";
      words.push_back(command);
    }
    std::vector<std::string> helpArgs = words;
    helpArgs[0] = nblinout;
    helpArgs.push_back("--help");
    words.push_back("--");
    const std::set<std::string> completed = Completions(words);

    // Option lines of the help: "  --name TEXT:{a,b}=a   meaning".
    const std::regex optionLine(R"(^  (?:-\w,)?(--[a-z][a-z-]*)(?: TEXT(?::\{([a-z,]+)\})?)?)");
    int options = 0;
    for (const std::string& line : Lines(RunCommand(helpArgs).output)) {
      std::smatch m;
      if (!std::regex_search(line, m, optionLine)) continue;
      ++options;
      const std::string option = m[1];
      SCOPED_TRACE(option);
      EXPECT_TRUE(std::regex_search(items, std::regex(option + "([^a-z-]|$)")))
          << "no item of the manual page explains the option";
      EXPECT_TRUE(completed.count(option)) << "the completion does not offer the option";
      if (m[2].matched) {
        std::string values = m[2];
        std::replace(values.begin(), values.end(), ',', ' ');
        words.back() = option;
        words.push_back("");
        EXPECT_EQ(Completions(words), Words(values)) << "the completion offers other values";
        words.pop_back();
      }
    }
    EXPECT_GE(options, 1) << "no option lines found in the help";
  }
}

}  // namespace
}  // namespace nbl::testing
