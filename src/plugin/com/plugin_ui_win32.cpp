#include "plugin/com/plugin_ui.h"

#include "dialogs/win32/win32_ui.h"

namespace nbl::com {

std::unique_ptr<dialogs::Ui> DefaultHostWindows() { return dialogs::win32::MakeWin32Ui(); }

}  // namespace nbl::com
