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

frmProgress& ShowRunWindow(std::u16string_view title) {
  frmProgress& progress = CurrentUi().Progress();
  progress.Show();
  progress.SetCaption(u"Nubelo Imp/Exp for Loggamo");
  progress.SetTxtTitle(title);
  progress.SetBtnOkEnabled(false);
  return progress;
}

void ShowRunFailure(std::u16string_view stepText) noexcept {
  try {
    CurrentUi().MsgBoxCritical(stepText);
  } catch (...) {
    // Nothing is left to tell the user with; the window is still made closable.
  }
  try {
    frmProgress& progress = CurrentUi().Progress();
    if (progress.IsLoaded()) progress.SetBtnOkEnabled(true);
  } catch (...) {
  }
}

}  // namespace nbl::dialogs
