#include "dialogs/console/console_ui.h"

#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/date.h"
#include "common/text.h"
#include "dialogs/option_logic.h"

namespace nbl::dialogs::console {
namespace {

// Texts shown at the terminal may carry diary data; control characters in them
// could move the cursor or recolour the terminal, so they are shown as "?".
std::string Printable(std::u16string_view text) {
  std::u16string clean(text);
  for (char16_t& c : clean) {
    if ((c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F)) c = u'?';
  }
  return text::ToUtf8(clean);
}

// The lines of a text cut at CR LF, LF or CR, without the empty ones.
std::vector<std::u16string> NonEmptyLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  std::u16string current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (!current.empty()) lines.push_back(std::move(current));
      current.clear();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

// One line from `in` with its line end (zero bytes kept); nothing at the end of
// input before any byte. Plain C stdio, so that every platform reads it alike.
std::optional<std::string> ReadLine(std::FILE* in) {
  std::string line;
  int c = EOF;
  while ((c = std::fgetc(in)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (line.empty()) return std::nullopt;
  return line;
}

// The shared end of stderr: text lines, and the one bar line that is redrawn in
// place and kept below the texts.
class Terminal {
 public:
  explicit Terminal(const Streams& s) : s_(s) {}

  void Line(std::u16string_view text) {
    if (barShown_) std::fputs("\r\x1b[K", s_.out);
    std::fputs(Printable(text).c_str(), s_.out);
    std::fputc('\n', s_.out);
    if (barShown_) std::fputs(bar_.c_str(), s_.out);
    std::fflush(s_.out);
  }

  // Draws the bar when it looks different; the caller draws one only when stderr is a terminal.
  void Bar(const std::string& bar) {
    if (barShown_ && bar == bar_) return;
    bar_ = bar;
    std::fputs("\r\x1b[K", s_.out);
    std::fputs(bar_.c_str(), s_.out);
    std::fflush(s_.out);
    barShown_ = true;
  }

  // A question without its line end; the answer is typed after it.
  void Prompt(std::u16string_view text) {
    EndBar();
    std::fputs(Printable(text).c_str(), s_.out);
    std::fflush(s_.out);
  }

  // Ends a question that got no answer (end of input).
  void EndPrompt() {
    std::fputc('\n', s_.out);
    std::fflush(s_.out);
  }

  // Leaves the bar where it stands so that later output starts on a new line.
  void EndBar() {
    if (!barShown_) return;
    std::fputc('\n', s_.out);
    std::fflush(s_.out);
    barShown_ = false;
    bar_.clear();
  }

  const Streams& streams() const { return s_; }

 private:
  Streams s_;
  std::string bar_;
  bool barShown_ = false;
};

class ConsoleProgress : public frmProgress {
 public:
  explicit ConsoleProgress(Terminal& term) : term_(term) {}

 protected:
  void OnChange(Change what) override {
    const State& s = state();
    switch (what) {
      case Change::Show:
        // Each run shows the window again; its texts are news even when equal to the last run's.
        shownTitle_.reset();
        shownText_.reset();
        break;
      case Change::TxtTitle:
        PrintIfNew(s.txtTitle, shownTitle_);
        break;
      case Change::TxtText:
        PrintIfNew(s.txtText, shownText_);
        break;
      case Change::ProgressMax:
      case Change::ProgressValue:
        // The import moves the bar once a line: no line to build where no bar is drawn.
        if (term_.streams().outIsTerminal) {
          term_.Bar(ProgressBarLine(s.progressValue, s.progressMax, term_.streams().barWidth));
        }
        break;
      case Change::BtnOkEnabled:
        if (s.btnOkEnabled) term_.EndBar();
        break;
      case Change::Unload:
        term_.EndBar();
        break;
      case Change::Load:
      case Change::Caption:  // the same for every run; it tells nothing at the terminal
      case Change::Refresh:
      case Change::Yield:
        break;
    }
  }

 private:
  void PrintIfNew(const std::u16string& text, std::optional<std::u16string>& shown) {
    if (shown && *shown == text) return;
    shown = text;
    for (const std::u16string& line : NonEmptyLines(text)) term_.Line(line);
  }

  Terminal& term_;
  std::optional<std::u16string> shownTitle_;
  std::optional<std::u16string> shownText_;
};

// Questions at the terminal. Every answer is one line; an empty line takes the
// default shown in brackets; the end of input answers nothing (the caller cancels).
class Asker {
 public:
  explicit Asker(Terminal& term) : term_(term) {}

  std::optional<std::u16string> Line(std::u16string_view prompt) {
    term_.Prompt(prompt);
    std::optional<std::string> read = ReadLine(term_.streams().in);
    if (!read) {
      term_.EndPrompt();
      return std::nullopt;
    }
    std::string line = std::move(*read);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return text::FromUtf8(line);
  }

  std::optional<bool> YesNo(std::u16string_view caption, bool byDefault) {
    std::u16string prompt = std::u16string(caption) + (byDefault ? u" (Y/n): " : u" (y/N): ");
    for (;;) {
      std::optional<std::u16string> answer = Line(prompt);
      if (!answer) return std::nullopt;
      const std::u16string a = Trim(*answer);
      auto is = [&a](std::u16string_view word) { return text::EqualsIgnoringAsciiCase(a, word); };
      if (a.empty()) return byDefault;
      if (is(u"y") || is(u"yes") || a == u"はい") return true;
      if (is(u"n") || is(u"no") || a == u"いいえ") return false;
      term_.Line(u"y か n で答えてください。");
    }
  }

  // A position in `items`, chosen by its number or by its exact text.
  std::optional<int> Choose(std::u16string_view caption, const std::vector<std::u16string>& items, int byDefault) {
    term_.Line(std::u16string(caption) + u":");
    for (std::size_t i = 0; i < items.size(); ++i) {
      term_.Line(u"  " + text::Digits(static_cast<long long>(i)) + u") " + items[i]);
    }
    std::u16string prompt = std::u16string(caption) + u" [" + text::Digits(byDefault) + u"]: ";
    for (;;) {
      std::optional<std::u16string> answer = Line(prompt);
      if (!answer) return std::nullopt;
      std::u16string a = Trim(*answer);
      if (a.empty()) return byDefault;
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (a == items[i] || a == text::Digits(static_cast<long long>(i))) return static_cast<int>(i);
      }
      term_.Line(u"一覧の番号を入力してください。");
    }
  }

  std::optional<PickerDate> Date(std::u16string_view caption, const PickerDate& byDefault) {
    std::u16string prompt =
        std::u16string(caption) + u" [" + date::ShortDate(byDefault.year, byDefault.month, byDefault.day) + u"]: ";
    for (;;) {
      std::optional<std::u16string> answer = Line(prompt);
      if (!answer) return std::nullopt;
      std::u16string a = Trim(*answer);
      if (a.empty()) return byDefault;
      if (std::optional<PickerDate> d = ParsePickerDate(a)) return d;
      term_.Line(u"日付は 1601/01/01 から 9999/12/31 までの YYYY/MM/DD で入力してください。");
    }
  }

  // Free text taken as typed; a lone "-" stands for the empty text, since an
  // empty line keeps the default.
  std::optional<std::u16string> Text(std::u16string_view caption, const std::u16string& byDefault) {
    std::optional<std::u16string> answer = Line(std::u16string(caption) + u" [" + byDefault + u"] (空にする: -): ");
    if (!answer) return std::nullopt;
    if (answer->empty()) return byDefault;
    if (*answer == u"-") return std::u16string();
    return answer;
  }

 private:
  static std::u16string Trim(std::u16string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t' || s[b] == u'\u3000')) ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t' || s[e - 1] == u'\u3000')) --e;
    return std::u16string(s.substr(b, e - b));
  }

  Terminal& term_;
};

class ConsoleOption : public frmOption {
 public:
  explicit ConsoleOption(Terminal& term) : term_(term) {}

  void Show() override {
    ExportControls c = LoadExportDialog(*this);
    if (!term_.streams().inIsTerminal) return;  // nobody to ask: as Cancel
    if (Ask(c)) AcceptExportDialog(c, *this);
  }

 private:
  // The questions of both tabs in the order of their controls; false on Cancel.
  bool Ask(ExportControls& c) {
    Asker ask(term_);
    term_.Line(kExportCaption);
    term_.Line(u"-- " + std::u16string(kTab1Caption) + u" --");
    std::optional<bool> yes = ask.YesNo(kGenreCaption, c.chkGenre);
    if (!yes) return false;
    c.chkGenre = *yes;
    if (c.chkGenre) {
      std::optional<int> i = ask.Choose(kGenreCaption, c.genres, c.genreIndex);
      if (!i) return false;
      c.genreIndex = *i;
    }
    if (!(yes = ask.YesNo(kPeriodCaption, c.chkPeriod))) return false;
    c.chkPeriod = *yes;
    if (c.chkPeriod) {
      std::optional<PickerDate> d = ask.Date(u"開始日", c.start);
      if (!d) return false;
      c.start = *d;
      if (!(d = ask.Date(u"終了日", c.end))) return false;
      c.end = *d;
    }
    if (!(yes = ask.YesNo(kPublishCaption, c.chkPublish))) return false;
    c.chkPublish = *yes;
    if (c.chkPublish && !ChooseInto(ask, kPublishCaption, PublishItems(), c.publishIndex)) return false;
    term_.Line(u"-- " + std::u16string(kTab2Caption) + u" --");
    if (!ChooseInto(ask, kLineBreakCaption, LineBreakItems(), c.brIndex)) return false;
    if (!ChooseInto(ask, kHyphenCaption, HyphenItems(), c.hyphenIndex)) return false;
    if (!ChooseInto(ask, kDateCaption, PublishDayItems(), c.publishDayIndex)) return false;
    std::optional<bool> ok = ask.YesNo(u"OK", true);
    return ok && *ok;
  }

  static bool ChooseInto(Asker& ask, std::u16string_view caption, const std::vector<std::u16string>& items,
                         int& index) {
    std::optional<int> i = ask.Choose(caption, items, index);
    if (i) index = *i;
    return i.has_value();
  }

  Terminal& term_;
};

class ConsoleOptionImport : public frmOptionImport {
 public:
  explicit ConsoleOptionImport(Terminal& term) : term_(term) {}

  void Show() override {
    ImportControls c = LoadImportDialog(*this);
    if (!term_.streams().inIsTerminal) return;  // nobody to ask: as Close
    Asker ask(term_);
    term_.Line(kImportCaption);
    term_.Line(kImportHeading);
    std::optional<std::u16string> start = ask.Text(kStartTagCaption, c.tTitleStTag);
    if (!start) return;
    std::optional<std::u16string> end = ask.Text(kEndTagCaption, c.tTitleEdTag);
    if (!end) return;
    std::optional<bool> ok = ask.YesNo(u"OK", true);
    if (!ok || !*ok) return;
    c.tTitleStTag = *start;
    c.tTitleEdTag = *end;
    AcceptImportDialog(c, *this);
  }

 private:
  Terminal& term_;
};

class ConsoleUi : public Ui {
 public:
  explicit ConsoleUi(const Streams& s) : term_(s), progress_(term_), option_(term_), optionImport_(term_) {}

  frmProgress& Progress() override { return progress_; }
  frmOption& Option() override { return option_; }
  frmOptionImport& OptionImport() override { return optionImport_; }
  void MsgBoxCritical(std::u16string_view message) override { term_.Line(u"NBLinout: " + std::u16string(message)); }

 private:
  Terminal term_;
  ConsoleProgress progress_;
  ConsoleOption option_;
  ConsoleOptionImport optionImport_;
};

}  // namespace

std::string ProgressBarLine(float value, float max, int width) {
  const double share = ProgressShare(value, max);
  width = std::max(width, 1);
  int filled = static_cast<int>(share * width);
  int percent = static_cast<int>(share * 100);
  std::string line = "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] ";
  std::string digits = std::to_string(percent);
  line += std::string(3 - std::min<std::size_t>(3, digits.size()), ' ') + digits + "%";
  return line;
}

Streams StandardStreams() {
  Streams s;
  s.in = stdin;
  s.inIsTerminal = ::isatty(STDIN_FILENO) == 1;
  s.out = stderr;
  s.outIsTerminal = ::isatty(STDERR_FILENO) == 1;
  return s;
}

std::unique_ptr<Ui> MakeConsoleUi() { return MakeConsoleUi(StandardStreams()); }

std::unique_ptr<Ui> MakeConsoleUi(const Streams& streams) { return std::make_unique<ConsoleUi>(streams); }

}  // namespace nbl::dialogs::console
