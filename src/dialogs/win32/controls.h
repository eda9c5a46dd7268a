// What the Win32 windows share: their module, the common controls, text between
// the system's 16-bit strings and the windows', and tooltips.
#pragma once

// The common controls' header needs the system's before it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <string>
#include <string_view>
#include <vector>

namespace nbl::dialogs::win32 {

// The module that holds the dialog templates: the DLL, or a program linked with them.
HINSTANCE Module();

// Registers the common controls the windows use, once per process.
void InitControls();

inline std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The text of a window or control.
std::u16string WindowText(HWND window);

// Lines ended by CR LF, as a multi-line edit box shows them, whatever ends them in `text`.
std::wstring WithCrLf(std::u16string_view text);

// Items of a drop-down list, in order.
void FillList(HWND list, const std::vector<std::u16string>& items);

// A tooltip window for the controls of `owner`; AddTip shows `text` over `control`.
HWND MakeTooltips(HWND owner);
void AddTip(HWND tooltips, HWND owner, HWND control, std::u16string_view text);

}  // namespace nbl::dialogs::win32
