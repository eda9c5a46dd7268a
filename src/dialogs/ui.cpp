#include "dialogs/console/console_ui.h"
#include "dialogs/windows.h"

namespace nbl::dialogs {
namespace {
thread_local std::unique_ptr<Ui> t_ui;
}  // namespace

Ui& CurrentUi() {
  if (!t_ui) t_ui = console::MakeConsoleUi();
  return *t_ui;
}

Ui& InstallUi(std::unique_ptr<Ui> ui) {
  t_ui = std::move(ui);
  return CurrentUi();
}

}  // namespace nbl::dialogs
