// The windows of NBLinout.dll for now: the platform's message box for a failed
// run, and nothing else on screen.
#pragma once

#include <memory>

#include "dialogs/windows.h"

namespace nbl::dialogs::win32 {

// The progress window keeps its state and draws nothing; the option dialogs
// answer Cancel. A critical message shows in MessageBoxW with the error icon
// and only OK, and returns when the user has closed it.
std::unique_ptr<Ui> MakeMessageBoxUi();

}  // namespace nbl::dialogs::win32
