// The console backend: progress on stderr, option dialogs asked at the terminal.
#pragma once

#include <memory>

#include "dialogs/windows.h"

namespace nbl::dialogs::console {

// Windows that talk to the terminal. Progress texts go to stderr (a redrawn
// one-line bar when stderr is a terminal); the message box prints
// "NBLinout: <message>"; the option dialogs ask at the terminal when stdin is
// one and answer Cancel otherwise.
std::unique_ptr<Ui> MakeConsoleUi();

}  // namespace nbl::dialogs::console
