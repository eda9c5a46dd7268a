// The console backend: progress on stderr, option dialogs asked at the terminal.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "dialogs/windows.h"

namespace nbl::dialogs::console {

// Where the console windows read and write, and whether each end is a terminal.
struct Streams {
  std::FILE* in = stdin;
  bool inIsTerminal = false;
  std::FILE* out = stderr;
  bool outIsTerminal = false;
  int barWidth = 30;  // cells of the drawn progress bar
};

// stdin and stderr, with isatty() deciding the two terminal flags.
Streams StandardStreams();

// Windows that talk to the terminal. Progress texts go to stderr (a redrawn
// one-line bar when stderr is a terminal); the message box prints
// "NBLinout: <message>"; the option dialogs ask at the terminal when stdin is
// one and answer Cancel otherwise.
std::unique_ptr<Ui> MakeConsoleUi();
// The same windows on the given streams (tests use files in place of a terminal).
// The streams are not closed by the windows.
std::unique_ptr<Ui> MakeConsoleUi(const Streams& streams);

// The text of the one-line progress bar for `value` of `max`, e.g.
// "[#######-------]  50% (5/10)". A maximum of 0 or less reads as all done,
// since there is nothing left to process; the share is kept within 0..100 %.
std::string ProgressBarLine(float value, float max, int width);

}  // namespace nbl::dialogs::console
