#include "plugin/com/plugin_ui.h"

#include <cstdlib>
#include <string_view>

#include "dialogs/console/console_ui.h"
#include "dialogs/silent_ui.h"
#ifdef NBL_HAVE_QT
#include "dialogs/qt/qt_ui.h"
#endif

namespace nbl::com {
namespace {
thread_local std::shared_ptr<dialogs::Ui> t_windows;
}  // namespace

std::shared_ptr<dialogs::Ui> HostWindows() {
  if (!t_windows) t_windows = DefaultHostWindows();
  return t_windows;
}

dialogs::Ui& InstallHostWindows(std::shared_ptr<dialogs::Ui> windows) {
  t_windows = std::move(windows);
  return *HostWindows();
}

void SelectHostWindows() noexcept {
  thread_local bool chosen = false;
  if (chosen) return;
  chosen = true;
  const char* value = std::getenv("NBL_UI");
  const std::string_view choice = value == nullptr ? "" : value;
  try {
    if (choice == "none") {
      InstallHostWindows(dialogs::MakeSilentUi());
    } else if (choice == "console") {
      InstallHostWindows(dialogs::console::MakeConsoleUi());
    }
#ifdef NBL_HAVE_QT
    else if (choice == "gui") {
      dialogs::qt::EnsureQtApplication();
      InstallHostWindows(dialogs::qt::MakeQtUi());
    }
#endif
  } catch (...) {
    // Qt could not start, or memory ran out: the console windows stay.
  }
}

}  // namespace nbl::com
