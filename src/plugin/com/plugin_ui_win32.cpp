#include "plugin/com/plugin_ui.h"

#include "dialogs/win32/message_box_ui.h"

namespace nbl::com {

std::unique_ptr<dialogs::Ui> DefaultHostWindows() { return dialogs::win32::MakeMessageBoxUi(); }

}  // namespace nbl::com
