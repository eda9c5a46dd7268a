#include "dialogs/console/console_ui.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"

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

  // Draws the bar when stderr is a terminal and the bar looks different.
  void Bar(const std::string& bar) {
    if (!s_.outIsTerminal || (barShown_ && bar == bar_)) return;
    bar_ = bar;
    std::fputs("\r\x1b[K", s_.out);
    std::fputs(bar_.c_str(), s_.out);
    std::fflush(s_.out);
    barShown_ = true;
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
        term_.Bar(ProgressBarLine(s.progressValue, s.progressMax, term_.streams().barWidth));
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

class ConsoleOption : public frmOption {
 public:
  explicit ConsoleOption(Terminal& term) : term_(term) {}
  void Show() override { IsOK = vb::False; }

 private:
  Terminal& term_;
};

class ConsoleOptionImport : public frmOptionImport {
 public:
  explicit ConsoleOptionImport(Terminal& term) : term_(term) {}
  void Show() override {
    IsOK = vb::False;
    stTitleStTag = u"<H2>";
    stTitleEdTag = u"</H2>";
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
  void MsgBoxCritical(std::u16string_view message) override {
    term_.Line(u"NBLinout: " + std::u16string(message));
  }

 private:
  Terminal term_;
  ConsoleProgress progress_;
  ConsoleOption option_;
  ConsoleOptionImport optionImport_;
};

}  // namespace

std::string ProgressBarLine(float value, float max, int width) {
  double share = 1.0;
  if (max > 0) share = static_cast<double>(value) / max;
  if (!std::isfinite(share) || share < 0) share = 0;
  share = std::min(share, 1.0);
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
