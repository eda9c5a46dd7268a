// The Win32 backend: the three windows and the message box drawn by the
// platform's own controls (comctl32), from the dialog templates of dialogs.rc,
// which the module that links this backend must carry.
#pragma once

#include <memory>

#include "dialogs/windows.h"

namespace nbl::dialogs::win32 {

// Windows of the calling thread. The progress window is modeless: the runs'
// yields and the host's message loop serve it, and it stays open after a run
// until its OK is clicked. The option dialogs are modal, owned by the thread's
// active window. The message box is MessageBoxW with the error icon and only
// OK, owned by the progress window while it is open. Without a display the
// progress window keeps its state and draws nothing, the message box returns
// at once, and an option dialog's Show throws WindowFailure.
std::unique_ptr<Ui> MakeWin32Ui();

}  // namespace nbl::dialogs::win32
