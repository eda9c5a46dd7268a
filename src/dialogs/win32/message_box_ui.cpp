#include "dialogs/win32/message_box_ui.h"

#include <windows.h>

#include <string>

#include "dialogs/silent_ui.h"

namespace nbl::dialogs::win32 {

std::unique_ptr<Ui> MakeMessageBoxUi() {
  return MakeSilentUi([](std::u16string_view message) {
    const std::wstring text(message.begin(), message.end());
    // No owner: the run has no window of its own; no caption: the box has no title of its own.
    MessageBoxW(nullptr, text.c_str(), nullptr, MB_ICONERROR | MB_OK);
  });
}

}  // namespace nbl::dialogs::win32
