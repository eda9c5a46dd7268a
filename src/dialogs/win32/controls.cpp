#include "dialogs/win32/controls.h"

#include <mutex>
#include <vector>

namespace nbl::dialogs::win32 {

HINSTANCE Module() {
  static const char anchor = 0;
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&anchor), &module);
  return module;
}

void InitControls() {
  static std::once_flag once;
  std::call_once(once, [] {
    INITCOMMONCONTROLSEX controls{
        sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
  });
}

std::u16string WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return std::u16string(text.begin(), text.end());
}

std::wstring WithCrLf(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      out += L"\r\n";
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out += static_cast<wchar_t>(text[i]);
    }
  }
  return out;
}

void FillList(HWND list, const std::vector<std::u16string>& items) {
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::u16string& item : items) {
    const std::wstring text = Wide(item);
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
}

HWND MakeTooltips(HWND owner) {
  return CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, Module(), nullptr);
}

void AddTip(HWND tooltips, HWND owner, HWND control, std::u16string_view text) {
  if (tooltips == nullptr || control == nullptr) return;
  std::wstring tip = Wide(text);
  TTTOOLINFOW tool{};
  // The size every version of the common controls knows.
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = tip.data();  // copied by the tooltip window
  SendMessageW(tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  // Long tips wrap instead of running off the screen.
  SendMessageW(tooltips, TTM_SETMAXTIPWIDTH, 0, 400);
}

}  // namespace nbl::dialogs::win32
