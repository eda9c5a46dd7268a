#include "plugin/com/plugin_ui.h"

#include "dialogs/console/console_ui.h"

namespace nbl::com {

std::unique_ptr<dialogs::Ui> DefaultHostWindows() { return dialogs::console::MakeConsoleUi(); }

}  // namespace nbl::com
