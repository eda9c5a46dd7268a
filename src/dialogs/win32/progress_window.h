// frmProgress as a modeless dialog of the platform: it refuses every request to
// close (close box, Alt+F4, Escape, the end of the session) until Btn_OK is
// clicked, and stays open after the run until then.
#pragma once

#include <windows.h>

#include "dialogs/windows.h"

namespace nbl::dialogs::win32 {

class Win32Progress : public frmProgress {
 public:
  // Range of the drawn bar: the share of the run in tenths of a percent.
  static constexpr int kBarScale = 1000;

  ~Win32Progress() override;

  // The window while loaded and shown by the system; null when it could not be
  // created (no display), in which case the state is kept and nothing is drawn.
  HWND window() const { return window_; }

 protected:
  void OnChange(Change what) override;

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK KeyHook(int code, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam);
  void Create();
  void Destroy();

  HWND window_ = nullptr;
  HHOOK keys_ = nullptr;
};

}  // namespace nbl::dialogs::win32
