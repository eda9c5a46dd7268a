// The Qt backend: the three windows drawn with Qt Widgets. This header carries
// no Qt type, so a host can choose the backend without including Qt.
#pragma once

#include <memory>

#include "dialogs/windows.h"

namespace nbl::dialogs::qt {

// Creates the application object that Qt windows need, unless one exists.
// Returns whether it created one. The object lives until the program ends;
// argc and argv are copied. Throws WindowFailure when Qt cannot start (no
// display for the chosen platform makes Qt abort instead; check before).
bool EnsureQtApplication(int argc = 0, char** argv = nullptr);

// Windows drawn with Qt. An application object must exist before a window is
// shown (EnsureQtApplication). The option dialogs show with exec(); the
// progress window is modeless and is served by the caller's event loop, by
// the runs' yields, or by WaitUntilProgressClosed.
std::unique_ptr<Ui> MakeQtUi();

// Runs the event loop until `progress` is unloaded (its OK was clicked).
// Returns at once when it is not loaded or is not a Qt window.
void WaitUntilProgressClosed(frmProgress& progress);

}  // namespace nbl::dialogs::qt
