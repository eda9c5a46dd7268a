// Which windows the plug-in shows for a host. The library holds its own set
// of windows per thread, the host's thread being known only here; objects
// created on a thread take that thread's windows. A host chooses with the
// environment variable NBL_UI, read when the thread first asks for a class:
//   NBL_UI=gui      the desktop windows: Qt's, when the library was built with
//                   them; on Windows the platform's own, which are the default
//   NBL_UI=none     no windows: runs show nothing, option dialogs answer Cancel
//   NBL_UI=console  the console windows
//   unset, or anything else: the platform's default (DefaultHostWindows)
#pragma once

#include <memory>

#include "dialogs/windows.h"

namespace nbl::com {

// Applies NBL_UI to this thread's windows, once per thread. Never throws.
void SelectHostWindows() noexcept;

// The windows a thread has until others are chosen: the console ones on POSIX
// systems; on Windows the platform's own (dialogs/win32).
std::unique_ptr<dialogs::Ui> DefaultHostWindows();

// This thread's windows: the default ones until others are chosen or installed.
// An object keeps the windows it was created with alive for as long as it lives.
std::shared_ptr<dialogs::Ui> HostWindows();

// Replaces this thread's windows for objects created from now on; returns them.
dialogs::Ui& InstallHostWindows(std::shared_ptr<dialogs::Ui> windows);

}  // namespace nbl::com
