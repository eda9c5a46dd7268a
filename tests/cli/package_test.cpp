// The Debian package of this build, made by cpack and unpacked with dpkg -x into
// a scratch root: what it declares, where it puts each file, and that the
// installed command, manual page and completion work and name every option.
#include <gtest/gtest.h>

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
  std::istringstream in(std::regex_replace(text, std::regex("[,|]"), " "));
  for (std::string w; in >> w;) words.insert(w);
  return words;
}

class Package : public ::testing::Test {
 protected:
  // One package for the whole suite: building it takes seconds.
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    const CommandResult pack = RunCommand({"cpack", "-G", "DEB", "--config", NBL_CPACK_CONFIG, "-B", Out("deb")});
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Out("deb"), ec)) {
      if (entry.path().extension() == ".deb") deb_ = entry.path().string();
    }
    if (deb_.empty())
      problem_ = "cpack made no package (scripts/setup installs dpkg-dev and file):\n" + pack.output;
    else if (RunCommand({"dpkg-deb", "-x", deb_, Out("root")}).status != 0)
      problem_ = "dpkg-deb -x failed";
  }
  static void TearDownTestSuite() { dir_.reset(); }
  void SetUp() override { ASSERT_TRUE(problem_.empty()) << problem_; }

  static std::string Out(const std::string& name) { return (dir_->path() / name).string(); }
  static std::string Installed(const std::string& path) { return Out("root") + "/usr/" + path; }

  // The words bash offers for a command line whose last word is being typed.
  static std::set<std::string> Completions(std::vector<std::string> words) {
    words.insert(words.begin(), {"bash", "-c",
                                 "source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _nblinout; "
                                 "printf '%s\\n' \"${COMPREPLY[@]}\"",
                                 Installed("share/bash-completion/completions/nblinout")});
    return Words(RunCommand(words).output);
  }

  static inline std::unique_ptr<TempDir> dir_;
  static inline std::string deb_, problem_;
};

TEST_F(Package, DependsOnThePackageOfEveryLibraryItsBinariesLink) {
  const std::string depends = RunCommand({"dpkg-deb", "-f", deb_, "Depends"}).output;
  const std::set<std::string> declared = Words(std::regex_replace(depends, std::regex(R"(\([^)]*\))"), ""));
  const std::regex needed(R"(\(NEEDED\).*\[(.+)\])");
  int libraries = 0;
  for (const std::string binary : {"bin/nblinout", NBL_INSTALL_LIBDIR "/libNBLinout.so.1"}) {
    for (const std::string& line : Lines(RunCommand({"readelf", "-d", Installed(binary)}).output)) {
      std::smatch m;
      if (!std::regex_search(line, m, needed)) continue;
      ++libraries;
      // The package of this machine's architecture that ships the library, as dpkg knows it.
      std::string owner;
      for (const std::string& hit : Lines(RunCommand({"dpkg-query", "-S", "*/" + m[1].str()}).output)) {
        if (hit.find("/" NBL_LIBRARY_ARCHITECTURE "/") != std::string::npos) owner = hit.substr(0, hit.find(':'));
      }
      EXPECT_TRUE(!owner.empty() && declared.count(owner))
          << binary << " links " << m[1] << " of package '" << owner << "', which Depends lacks: " << depends;
    }
  }
  EXPECT_GT(libraries, 2);
  EXPECT_EQ(RunCommand({"sh", "-c", "dpkg-deb --ctrl-tarfile \"$0\" | tar -xO ./shlibs", deb_}).output,
            "libNBLinout 1 nblinout (>= " NBL_VERSION ")\n");
}

TEST_F(Package, PutsEachFileWhereTheSystemLooksForIt) {
  const std::string lib = NBL_INSTALL_LIBDIR "/libNBLinout.so";
  const struct {
    std::string path, linksTo;  // linksTo empty: a regular file
  } files[] = {
      {"bin/nblinout", ""},
      {lib + "." NBL_VERSION, ""},
      {lib + ".1", "libNBLinout.so." NBL_VERSION},
      {lib, "libNBLinout.so.1"},
      {"share/nblinout/NBLHandleDLL.idl", ""},
      {"share/man/man1/nblinout.1.gz", ""},
      {"share/bash-completion/completions/nblinout", ""},
  };
  for (const auto& f : files) {
    std::error_code ec;
    if (f.linksTo.empty())
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Installed(f.path)))) << f.path;
    else
      EXPECT_EQ(fs::read_symlink(Installed(f.path), ec).string(), f.linksTo) << f.path;
  }
  EXPECT_NE(RunCommand({"readelf", "-d", Installed(lib + ".1")}).output.find("[libNBLinout.so.1]"), std::string::npos)
      << "the SONAME must be the name of the link";
}

TEST_F(Package, InstalledCommandAndManualPageWork) {
  const CommandResult help = RunCommand({Installed("bin/nblinout"), "--help"});
  EXPECT_EQ(help.status, 0) << help.output;
  EXPECT_EQ(RunCommand({Installed("bin/nblinout"), "--version"}).output, "nblinout " NBL_VERSION "\n");

  // --warnings makes groff report what it could not typeset; the page must have none.
  const CommandResult man = RunCommand(
      {"env", "MANWIDTH=80", "MANPAGER=cat", "man", "--warnings", "-l", Installed("share/man/man1/nblinout.1.gz")});
  EXPECT_EQ(man.status, 0) << man.output;
  EXPECT_EQ(man.output.find("warning"), std::string::npos) << man.output;
  EXPECT_NE(man.output.find("NBLinout " NBL_VERSION), std::string::npos) << "the page's footer names another version";
  for (const char* heading : {"NAME", "SYNOPSIS", "COMMANDS", "OPTIONS", "EXIT STATUS"}) {
    EXPECT_NE(man.output.find(std::string("\n") + heading + "\n"), std::string::npos) << heading;
  }
}

// Every command and option that --help lists, in the manual page and the completion, so neither falls behind.
TEST_F(Package, ManualPageAndCompletionNameEveryCommandAndOption) {
  const std::string page = std::regex_replace(
      RunCommand({"gzip", "-dc", Installed("share/man/man1/nblinout.1.gz")}).output, std::regex(R"(\\-)"), "-");
  std::string items;  // the heading lines of the page's items (after .TP), where options are explained
  const std::vector<std::string> pageLines = Lines(page);
  for (std::size_t i = 1; i < pageLines.size(); ++i) {
    if (pageLines[i - 1] == ".TP") items += pageLines[i] + "\n";
  }

  std::vector<std::string> commands{""};  // "" is the top level
  bool listed = false;
  for (const std::string& line : Lines(RunCommand({Installed("bin/nblinout"), "--help"}).output)) {
    if (listed && line.rfind("  ", 0) == 0) commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    listed = listed || line == "Subcommands:";
  }
  ASSERT_GE(commands.size(), 6u);
  const std::set<std::string> offered = Completions({"nblinout", ""});
  // An option line of a help: "  --name TEXT:{a,b}=a   meaning".
  const std::regex optionLine(R"(^  (?:-\w,)?(--[a-z][a-z-]*)(?: TEXT(?::\{([a-z,]+)\})?)?)");
  for (const std::string& command : commands) {
    SCOPED_TRACE("command '" + command + "'");
    std::vector<std::string> words{"nblinout"};
    if (!command.empty()) {
      EXPECT_NE(page.find(".B nblinout " + command), std::string::npos) << "the manual page lacks the command";
      EXPECT_TRUE(offered.count(command)) << "the completion does not offer the command";
      words.push_back(command);
    }
    std::vector<std::string> help = words;
    help.front() = Installed("bin/nblinout");
    help.push_back("--help");
    words.push_back("--");
    const std::set<std::string> completed = Completions(words);
    int options = 0;
    for (const std::string& line : Lines(RunCommand(help).output)) {
      std::smatch m;
      if (!std::regex_search(line, m, optionLine)) continue;
      ++options;
      const std::string option = m[1];
      EXPECT_TRUE(std::regex_search(items, std::regex(option + "([^a-z-]|$)"))) << option << ": no item explains it";
      EXPECT_TRUE(completed.count(option)) << option << ": the completion does not offer it";
      if (m[2].matched) {
        words.back() = option;
        words.push_back("");
        EXPECT_EQ(Completions(words), Words(m[2])) << option << ": the completion offers other values";
        words.pop_back();
      }
    }
    EXPECT_GE(options, 1) << "no option lines in the help";
  }
}

}  // namespace
}  // namespace nbl::testing
