#include "dialogs/win32/progress_window.h"

#include <cmath>

#include "dialogs/win32/controls.h"
#include "dialogs/win32/resource.h"

namespace nbl::dialogs::win32 {
namespace {

// The window whose dialog keys the message hook of this thread serves.
thread_local HWND t_keyWindow = nullptr;

}  // namespace

Win32Progress::~Win32Progress() { Destroy(); }

void Win32Progress::Create() {
  InitControls();
  // Owned by the host's active window, so that it stays over the host.
  window_ = CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_frmProgress), GetActiveWindow(), Proc,
                               reinterpret_cast<LPARAM>(this));
  if (window_ == nullptr) return;
  SendDlgItemMessageW(window_, IDC_ProgressBar1, PBM_SETRANGE32, 0, kBarScale);
  SendDlgItemMessageW(window_, IDC_ProgressBar1, PBM_SETPOS, 0, 0);
  // The host's message loop knows nothing of this window: the hook gives it
  // Enter, Escape and Tab as any dialog has them.
  t_keyWindow = window_;
  keys_ = SetWindowsHookExW(WH_GETMESSAGE, KeyHook, nullptr, GetCurrentThreadId());
}

void Win32Progress::Destroy() {
  if (keys_ != nullptr) UnhookWindowsHookEx(keys_);
  keys_ = nullptr;
  if (t_keyWindow == window_) t_keyWindow = nullptr;
  HWND window = window_;
  window_ = nullptr;
  if (window != nullptr) DestroyWindow(window);
}

void Win32Progress::OnChange(Change what) {
  const State& s = state();
  switch (what) {
    case Change::Load:
      Create();
      return;
    case Change::Unload:
      Destroy();
      return;
    case Change::Yield: {
      // Whatever waits for this thread, as a host's message loop would serve it.
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          PostQuitMessage(static_cast<int>(msg.wParam));  // left for the host's loop
          return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      return;
    }
    default:
      break;
  }
  if (window_ == nullptr) return;
  switch (what) {
    case Change::Show:
      ShowWindow(window_, SW_SHOWNORMAL);
      break;
    case Change::Caption:
      SetWindowTextW(window_, Wide(s.caption).c_str());
      break;
    case Change::TxtTitle:
      SetDlgItemTextW(window_, IDC_txtTitle, Wide(s.txtTitle).c_str());
      break;
    case Change::TxtText:
      SetDlgItemTextW(window_, IDC_txtText, WithCrLf(s.txtText).c_str());
      break;
    case Change::BtnOkEnabled:
      EnableWindow(GetDlgItem(window_, IDOK), s.btnOkEnabled);
      break;
    case Change::ProgressMax:
    case Change::ProgressValue:
      // A maximum of 0 (an import of an empty file) shows a full bar.
      SendDlgItemMessageW(window_, IDC_ProgressBar1, PBM_SETPOS,
                          static_cast<WPARAM>(std::lround(ProgressShare(s.progressValue, s.progressMax) * kBarScale)),
                          0);
      break;
    case Change::Refresh:
      RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      break;
    case Change::Load:
    case Change::Unload:
    case Change::Yield:
      break;
  }
}

LRESULT CALLBACK Win32Progress::KeyHook(int code, WPARAM wParam, LPARAM lParam) {
  auto* msg = reinterpret_cast<MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && t_keyWindow != nullptr && msg->message >= WM_KEYFIRST &&
      msg->message <= WM_KEYLAST && IsDialogMessageW(t_keyWindow, msg)) {
    msg->message = WM_NULL;  // handled: the loop that took it dispatches nothing
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK Win32Progress::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    return TRUE;
  }
  auto* self = reinterpret_cast<Win32Progress*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr || self->window_ != window) return FALSE;
  return self->Handle(message, wParam);
}

INT_PTR Win32Progress::Handle(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        // Only a click the button can take: Enter or a posted click while it is disabled does nothing.
        if (state().btnOkEnabled) ClickOK();
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {  // Escape
        RequestClose();
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:  // the close box, the system menu, Alt+F4, or a program
      RequestClose();
      return TRUE;
    case WM_QUERYENDSESSION:
      // The end of the session asks too, and is refused the same way.
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, EnableBatsuBtn == vb::True ? TRUE : FALSE);
      return TRUE;
    case WM_DESTROY:
      // Destroyed from outside (its owner went): the state stays, nothing is drawn.
      if (keys_ != nullptr) UnhookWindowsHookEx(keys_);
      keys_ = nullptr;
      t_keyWindow = nullptr;
      window_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace nbl::dialogs::win32
