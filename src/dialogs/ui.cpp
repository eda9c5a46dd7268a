#include "dialogs/windows.h"

namespace nbl::dialogs {

frmProgress& ShowRunWindow(Ui& windows, std::u16string_view title) {
  frmProgress& progress = windows.Progress();
  progress.Show();
  progress.SetCaption(u"Nubelo Imp/Exp for Loggamo");
  progress.SetTxtTitle(title);
  progress.SetBtnOkEnabled(false);
  return progress;
}

void ShowRunFailure(Ui& windows, std::u16string_view stepText) noexcept {
  try {
    windows.MsgBoxCritical(stepText);
  } catch (...) {
    // Nothing is left to tell the user with; the window is still made closable.
  }
  try {
    frmProgress& progress = windows.Progress();
    if (progress.IsLoaded()) progress.SetBtnOkEnabled(true);
  } catch (...) {
  }
}

}  // namespace nbl::dialogs
