#include "cli/command_line.h"

#include <cstdlib>

#include "common/records.h"
#include "common/text.h"
#include "plugin/version_info.h"

namespace nbl::cli {
namespace {

void AddUiOption(CLI::App& cmd, Options& o) {
  cmd.add_option("--ui", o.ui,
                 "Which windows to show: auto (desktop windows when a display is available and --dialog is given, "
                 "else the terminal), gui, console (texts and a progress bar on stderr), none (only failures)")
      ->check(CLI::IsMember({"auto", "gui", "console", "none"}))
      ->capture_default_str();
}

// Empty for a number of seconds the wait can be; else why not. The wait is kept
// in 32-bit milliseconds; "nan" and "inf" parse as numbers, but are none.
std::string CheckSeconds(const std::string& text) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || std::isnan(seconds)) {
    return "'" + text + "' is not a number of seconds";
  }
  if (!(seconds >= 0 && seconds <= 2000000)) return "'" + text + "' is not in the range 0 to 2000000 seconds";
  return {};
}

void AddLockWaitOption(CLI::App& cmd, Options& o) {
  cmd.add_option("--lock-wait", o.lockWait,
                 "Seconds to wait for a diary store that another program is writing to before the command fails")
      ->type_name("SECONDS")
      ->check(CLI::Validator([](std::string& text) { return CheckSeconds(text); }, ""))
      ->capture_default_str();
}

CLI::App* AddExport(CLI::App& app, Options& o) {
  CLI::App* exp = app.add_subcommand("export", "Write the entries of a diary store to a diary XML file");
  exp->add_option("DB", o.db, "The diary store to read")->required();
  exp->add_option("FILE", o.file, "The XML file to write (UTF-8); - writes the document to standard output")
      ->required();
  exp->add_option("--genre", o.genre, "Export only entries of this genre (default: every genre)");
  exp->add_option("--from", o.from, "Export only entries after this day, YYYY/MM/DD (the day itself is left out)");
  exp->add_option("--to", o.to, "Export only entries before this day, YYYY/MM/DD (the day itself is left out)");
  exp->add_option("--publish", o.publish, "Which entries by their public state: all, public, private")
      ->check(CLI::IsMember({"all", "public", "private"}))
      ->capture_default_str();
  exp->add_flag("--keep-line-breaks", o.keepLineBreaks,
                "Keep line breaks in bodies as they are (default: turn them into <BR> tags)");
  exp->add_flag("--keep-hyphens", o.keepHyphens, "Keep hyphens in bodies as they are (default: make them full-width)");
  exp->add_option("--date", o.date,
                  "Which date each day element carries: day (the entry's day) or publish (its update time)")
      ->check(CLI::IsMember({"day", "publish"}))
      ->capture_default_str();
  exp->add_flag("--overwrite", o.overwrite, "Replace FILE when it exists (default: refuse); no effect with -");
  exp->add_flag("--dialog", o.dialog, "Choose the settings in the plug-in's own options dialog instead");
  AddUiOption(*exp, o);
  AddLockWaitOption(*exp, o);
  return exp;
}

CLI::App* AddImport(CLI::App& app, Options& o) {
  CLI::App* imp = app.add_subcommand("import", "Append the days of a diary XML file to a diary store");
  imp->add_option("DB", o.db, "The diary store to add rows to")->required();
  imp->add_option("FILE", o.file, "The XML file to read (UTF-8, JIS, EUC-JP or Shift-JIS)")->required();
  imp->add_option("--heading-tags", o.headingTags,
                  "Tags put around headings of the form *seconds*text (default: " +
                      text::ToUtf8(kDefaultTitleStartTag) + " " + text::ToUtf8(kDefaultTitleEndTag) + ")")
      ->expected(2);
  imp->add_flag("--dialog", o.dialog, "Choose the heading tags in the plug-in's own options dialog instead");
  imp->add_flag("--dry-run", o.dryRun,
                "Run the whole import, then roll it back: print what would be stored and leave the store as it was");
  imp->add_flag(
      "--skip-existing", o.skipExisting,
      "Skip each entry whose day, title and body a row of the store already holds (default: store every entry)");
  AddUiOption(*imp, o);
  AddLockWaitOption(*imp, o);
  return imp;
}

}  // namespace

Commands DeclareCommands(CLI::App& app, Options& o) {
  app.require_subcommand(1);

  CLI::App* newDb = app.add_subcommand("new-db", "Create an empty diary store");
  newDb->add_option("DB", o.db, "Path of the store to create; it must not exist yet")->required();
  CLI::App* exp = AddExport(app, o);
  CLI::App* imp = AddImport(app, o);
  CLI::App* info = app.add_subcommand(
      "info", "Print what a diary store holds: entries, days, genres, public and private, import marks");
  info->add_option("DB", o.db, "The diary store to look at; it is only read")->required();
  AddLockWaitOption(*info, o);

  app.add_subcommand("version", "Print the version entries of the plug-in");
  app.set_version_flag("--version", "nblinout " + plugin::NumericVersion(), "Print the version number and exit");

  return {newDb, exp, imp, info};
}

}  // namespace nbl::cli
