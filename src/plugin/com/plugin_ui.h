// Which windows the plug-in shows for a host. The library holds its own set
// of windows per thread (console by default); a host chooses with the
// environment variable NBL_UI, read when the thread first asks for a class:
//   NBL_UI=gui      the desktop (Qt) windows, when the library was built with them
//   NBL_UI=none     no windows: runs show nothing, option dialogs answer Cancel
//   NBL_UI=console  (or unset, or anything else) the console windows
#pragma once

namespace nbl::com {

// Applies NBL_UI to this thread's windows, once per thread. Never throws.
void SelectHostWindows() noexcept;

}  // namespace nbl::com
