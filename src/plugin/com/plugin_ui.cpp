#include "plugin/com/plugin_ui.h"

#include <cstdlib>
#include <string_view>

#include "dialogs/silent_ui.h"
#ifdef NBL_HAVE_QT
#include "dialogs/qt/qt_ui.h"
#endif

namespace nbl::com {

void SelectHostWindows() noexcept {
  thread_local bool chosen = false;
  if (chosen) return;
  chosen = true;
  const char* value = std::getenv("NBL_UI");
  const std::string_view choice = value == nullptr ? "" : value;
  try {
    if (choice == "none") {
      dialogs::InstallUi(dialogs::MakeSilentUi());
    }
#ifdef NBL_HAVE_QT
    else if (choice == "gui") {
      dialogs::qt::EnsureQtApplication();
      dialogs::InstallUi(dialogs::qt::MakeQtUi());
    }
#endif
  } catch (...) {
    // Qt could not start, or memory ran out: the console windows stay.
  }
}

}  // namespace nbl::com
