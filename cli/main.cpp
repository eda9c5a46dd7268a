// nblinout: the command-line host. It plays the host application: creates the
// handle and calls it in the host's order, then tells how the run ended.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "cli/import_preview.h"
#include "cli/info_command.h"
#include "common/date.h"
#include "common/failure.h"
#include "common/files.h"
#include "common/replacing_file.h"
#include "common/text.h"
#include "dialogs/console/console_ui.h"
#include "dialogs/silent_ui.h"
#include "plugin/nubelo_handle.h"
#include "store/connection.h"
#include "store/store_files.h"
#ifdef NBL_HAVE_QT
#include "dialogs/qt/qt_ui.h"
#endif
#include "plugin/version_info.h"

namespace {

using nbl::cli::Options;
using nbl::text::FromUtf8;

enum Exit { kCompleted = 0, kRunFailed = 1, kRefused = 2, kCancelled = 3 };

int Refuse(const std::string& reason) {
  std::fprintf(stderr, "nblinout: %s\n", reason.c_str());
  return kRefused;
}

// Refuses a path that names no file of the kind a run needs, saying what it names instead.
int RefusePath(const std::string& action, const std::string& path) {
  const nbl::files::PathKind kind = nbl::files::KindOf(FromUtf8(path));
  return Refuse(
      "cannot " + action + " '" + path + "': " + nbl::files::WhyNotAFile(kind) +
      (kind == nbl::files::PathKind::Denied ? "; check the permissions of its folders" : "; give the path of a file"));
}

// The path with each byte that is not UTF-8 shown as \xHH, for a message about it.
std::string ShownPath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t length = nbl::text::Utf8SequenceLength(path, i);
    if (length != 0) {
      shown.append(path, i, length);
      i += length;
      continue;
    }
    const auto b = static_cast<unsigned char>(path[i++]);
    shown += std::string("\\x") + kHex[b >> 4] + kHex[b & 15];
  }
  return shown;
}

// Paths travel as 16-bit text, where a byte that is not UTF-8 would become U+FFFD and
// so name another file; such a path is refused before anything is opened or written.
int RefuseUnlessUtf8(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (!nbl::text::IsWellFormedUtf8(path)) {
      return Refuse("cannot use '" + ShownPath(path) +
                    "': the path is not valid UTF-8; rename the file or give a path in UTF-8");
    }
  }
  return kCompleted;
}

// A calendar day written YYYY/MM/DD: a filter like 2007/13/01 would select by text and surprise.
bool IsDayText(const std::string& s) {
  const std::optional<nbl::date::Day> d = nbl::date::ParseDayText(std::string_view(s));
  return d && nbl::date::IsCalendarDay(d->year, d->month, d->day);
}

bool IsSet(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

// Desktop windows need a display, or a Qt platform that draws without one (offscreen).
bool HaveDisplay() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM"); }

// The windows a run shows, as chosen with --ui.
struct Windows {
  std::unique_ptr<nbl::dialogs::Ui> ui;
  bool desktop = false;  // desktop windows outlive the run until the user presses OK
};

// The windows for --ui; no windows when desktop ones were asked for and cannot be shown.
Windows MakeWindows(const Options& o, int& argc, char** argv) {
  std::string ui = o.ui;
  if (ui == "auto") ui = (o.dialog && HaveDisplay()) ? "gui" : "console";
  if (ui == "gui") {
    if (!HaveDisplay()) return {};
#ifdef NBL_HAVE_QT
    nbl::dialogs::qt::EnsureQtApplication(argc, argv);
    return {nbl::dialogs::qt::MakeQtUi(), true};
#else
    (void)argc;
    (void)argv;
    return {};
#endif
  }
  if (ui == "none") {
    // Nothing but failures, printed as the console prints them.
    std::shared_ptr<nbl::dialogs::Ui> console = nbl::dialogs::console::MakeConsoleUi();
    return {nbl::dialogs::MakeSilentUi([console](std::u16string_view message) { console->MsgBoxCritical(message); })};
  }
  return {nbl::dialogs::console::MakeConsoleUi()};
}

// Waits for a desktop progress window, then tells how the run ended: the cause
// of a failure on its own line (the window showed the step text), or the note
// (when there is one) and what was done.
int Finish(const Windows& windows, const nbl::RunOutcome& outcome, const std::string& done,
           const std::string& note = {}) {
#ifdef NBL_HAVE_QT
  // A desktop progress window stays until the user presses OK; the host waits for that.
  if (windows.desktop) nbl::dialogs::qt::WaitUntilProgressClosed(windows.ui->Progress());
#else
  (void)windows;
#endif
  if (!outcome.completed) {
    if (!outcome.cause.empty()) std::fprintf(stderr, "nblinout: %s\n", outcome.cause.c_str());
    return kRunFailed;
  }
  if (!note.empty()) std::fprintf(stderr, "nblinout: %s\n", note.c_str());
  std::fprintf(stderr, "nblinout: %s\n", done.c_str());
  return kCompleted;
}

int RefuseExisting(const std::string& file) {
  return Refuse("output '" + file + "' exists and may not be overwritten; give --overwrite to replace it");
}

// The FILE of export that stands for standard output.
constexpr std::string_view kStandardOutput = "-";

int RunExport(const Options& o, int& argc, char** argv) {
  if (o.file.empty()) return Refuse("no output file given");
  if (!o.from.empty() && !IsDayText(o.from))
    return Refuse("--from '" + o.from + "' is not a calendar day of the form YYYY/MM/DD");
  if (!o.to.empty() && !IsDayText(o.to))
    return Refuse("--to '" + o.to + "' is not a calendar day of the form YYYY/MM/DD");
  const bool toStandardOutput = o.file == kStandardOutput;
  const nbl::files::PathKind output = nbl::files::KindOf(FromUtf8(o.file));
  if (!toStandardOutput && (output == nbl::files::PathKind::Directory || output == nbl::files::PathKind::Other)) {
    return RefusePath("write", o.file);
  }
  if (!toStandardOutput && nbl::store::NamesStoreFile(FromUtf8(o.file), FromUtf8(o.db))) {
    return Refuse("cannot write '" + o.file + "': it is the diary store '" + o.db +
                  "' or one of its journal files, which the document would replace; give another output file");
  }
  if (!toStandardOutput && nbl::files::ExistsR(FromUtf8(o.file))) {
    // Refused here, with the reason, rather than by the run once it has begun.
    if (!o.overwrite) return RefuseExisting(o.file);
    nbl::files::ReplacingFile::CheckReplaceable(FromUtf8(o.file));
  }
  const Windows windows = MakeWindows(o, argc, argv);
  if (!windows.ui) return Refuse("desktop windows need a display (and a build with Qt); use --ui console");

  nbl::plugin::clsNubeloHandle handle(*windows.ui);
  handle.SetLockWait(o.LockWait());
  if (handle.Initialize(FromUtf8(o.db)) != nbl::vb::True) return RefusePath("open database", o.db);
  handle.SetExport();
  nbl::ExportSettingNubelo set = handle.ExpSet();
  set.stGenre = FromUtf8(o.genre);
  set.stStartDay = FromUtf8(o.from);
  set.stEndDay = FromUtf8(o.to);
  set.intPublish = o.publish == "public"    ? nbl::kPublishPublic
                   : o.publish == "private" ? nbl::kPublishPrivate
                                            : nbl::kPublishAll;
  set.intBR = o.keepLineBreaks ? 0 : 1;
  set.intHyphen = o.keepHyphens ? 0 : 1;
  set.intPublishDay = o.date == "publish" ? 0 : 1;
  handle.setExportSetting(set);
  if (o.dialog && handle.SetExportSettingMySelf() != nbl::vb::True) {
    std::fprintf(stderr, "nblinout: cancelled; nothing was written\n");
    return kCancelled;
  }
  if (toStandardOutput) {
    // A reader that stops early then fails the run with EPIPE instead of killing nblinout without a word.
    std::signal(SIGPIPE, SIG_IGN);
    handle.ExecuteExportTo(STDOUT_FILENO, "standard output");
  } else {
    if (handle.SetPath(FromUtf8(o.file), nbl::vb::ToBoolean(o.overwrite)) != nbl::vb::True) {
      return RefuseExisting(o.file);
    }
    handle.Execute();
  }
  const nbl::exporting::ExportReport& report = handle.LastExport();
  const std::string note =
      report.replacedCharacters == 0
          ? std::string()
          : std::to_string(report.replacedCharacters) +
                " characters that XML 1.0 cannot carry (control characters, broken text) were written as U+FFFD";
  return Finish(windows, report, "exported to " + (toStandardOutput ? std::string("standard output") : o.file), note);
}

// "1 entry", "20 entries".
std::string Count(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

int RunImport(const Options& o, int& argc, char** argv) {
  const Windows windows = MakeWindows(o, argc, argv);
  if (!windows.ui) return Refuse("desktop windows need a display (and a build with Qt); use --ui console");

  nbl::plugin::clsNubeloHandle handle(*windows.ui);
  handle.SetLockWait(o.LockWait());
  if (handle.Initialize(FromUtf8(o.db)) != nbl::vb::True) return RefusePath("open database", o.db);
  handle.SetImport();
  if (o.headingTags.size() == 2) handle.setImportSetting({FromUtf8(o.headingTags[0]), FromUtf8(o.headingTags[1])});
  if (o.dialog && handle.SetImportSettingMySelf() != nbl::vb::True) {
    std::fprintf(stderr, "nblinout: cancelled; nothing was imported\n");
    return kCancelled;
  }
  if (handle.SetPath(FromUtf8(o.file)) != nbl::vb::True) return RefusePath("read", o.file);
  handle.SetImportOptions({o.dryRun, o.skipExisting});
  handle.Execute();
  const nbl::importing::ImportReport& report = handle.LastImport();
  if (!report.completed && report.failureLine > 0) {
    const std::string column =
        report.failureColumn > 0 ? ", column " + std::to_string(report.failureColumn) : std::string();
    std::fprintf(stderr, "nblinout: at line %zu%s of %s\n", report.failureLine, column.c_str(), o.file.c_str());
  }
  if (report.completed && o.dryRun) nbl::cli::PrintImportPreview(report, o.skipExisting);
  std::string done = o.dryRun
                         ? "dry run: " + Count(report.stored, "entry", "entries") + " would be imported from " + o.file
                         : "imported " + Count(report.stored, "entry", "entries") + " from " + o.file;
  if (o.skipExisting) {
    done += "; " + Count(report.skippedEntries, "entry", "entries") + " already in the store " +
            (o.dryRun                     ? "would be"
             : report.skippedEntries == 1 ? "was"
                                          : "were") +
            " skipped";
  }
  if (report.skippedLines > 0) {
    done += "; " + Count(report.skippedLines, "line", "lines") + " outside any entry's body " +
            (report.skippedLines == 1 ? "was" : "were") + " skipped";
  }
  if (o.dryRun) done += "; the store was left as it was";
  return Finish(windows, report, done);
}

int RunNewDb(const Options& o) {
  nbl::store::CreateDiaryStore(FromUtf8(o.db));
  std::fprintf(stderr, "nblinout: created empty diary store %s\n", o.db.c_str());
  return kCompleted;
}

int RunVersion() {
  for (const auto& [name, value] : nbl::plugin::VersionEntries()) std::printf("%s: %s\n", name.c_str(), value.c_str());
  return kCompleted;
}

// A command's status once what it printed on stdout is out: what could not be
// written there (a full disk, a closed stdout) fails a command that had completed.
int StatusAfterFlush(int status) {
  errno = 0;
  std::cout.flush();  // through stdout's buffer, which the first failed write marks
  const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || std::cout.fail();
  if (!failed) return status;
  const int error = errno;
  std::fprintf(stderr, "nblinout: cannot write to standard output%s%s\n", error != 0 ? ": " : "",
               error != 0 ? std::strerror(error) : "");
  return status == kCompleted ? kRunFailed : status;
}

int Run(int argc, char** argv) {
  Options o;
  CLI::App app{
      "nblinout moves diary entries between a diary store (an SQLite file) and the diary XML file format, both ways."};
  const nbl::cli::Commands commands = nbl::cli::DeclareCommands(app, o);
  const std::string first = argc > 1 ? argv[1] : "";
  if (!first.empty() && first[0] != '-' && first != "new-db" && first != "export" && first != "import" &&
      first != "info" && first != "version") {
    return Refuse(std::string("unknown command '") + argv[1] + "'; run nblinout --help for the commands");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    // Printed here, not by app.exit, whose std::endl would flush a failed write's cause away before it is told.
    std::printf("%s\n", e.what());
    return kCompleted;
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kRefused;
  }

  if (const int refused = RefuseUnlessUtf8({o.db, o.file}); refused != kCompleted) return refused;
  try {
    if (commands.newDb->parsed()) return RunNewDb(o);
    if (commands.exp->parsed()) return RunExport(o, argc, argv);
    if (commands.imp->parsed()) return RunImport(o, argc, argv);
    if (commands.info->parsed()) return nbl::cli::RunInfo(o.db, o.LockWait());
    return RunVersion();
  } catch (const nbl::Failure&) {
    return Refuse(nbl::CauseOf(std::current_exception()));
  }
}

}  // namespace

// A signal that stops the command removes the hidden file of an unfinished export first.
void RemoveTemporaryAndStop(int signal) {
  nbl::files::RemoveTemporaryOnSignal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

int main(int argc, char** argv) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemoveTemporaryAndStop);
  // Past the file size limit a write then fails with EFBIG, which the run reports, instead of killing the command.
  std::signal(SIGXFSZ, SIG_IGN);
  return StatusAfterFlush(Run(argc, argv));
}
