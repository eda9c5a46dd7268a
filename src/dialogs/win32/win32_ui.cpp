#include "dialogs/win32/win32_ui.h"

#include <windows.h>

#include "dialogs/win32/controls.h"
#include "dialogs/win32/option_dialogs.h"
#include "dialogs/win32/progress_window.h"

namespace nbl::dialogs::win32 {
namespace {

class Win32Ui final : public Ui {
 public:
  frmProgress& Progress() override { return progress_; }
  frmOption& Option() override { return option_; }
  frmOptionImport& OptionImport() override { return optionImport_; }

  void MsgBoxCritical(std::u16string_view message) override {
    HWND owner = progress_.window() != nullptr ? progress_.window() : GetActiveWindow();
    // No caption: the box has no title of its own.
    MessageBoxW(owner, Wide(message).c_str(), nullptr, MB_ICONERROR | MB_OK);
  }

 private:
  Win32Progress progress_;
  Win32Option option_;
  Win32OptionImport optionImport_;
};

}  // namespace

std::unique_ptr<Ui> MakeWin32Ui() { return std::make_unique<Win32Ui>(); }

}  // namespace nbl::dialogs::win32
