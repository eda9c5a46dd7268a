// Shows each Win32 window with sample contents and saves what the screen shows
// of it as a PNG file: nbl_win32_screenshots OUTPUT_FOLDER (a Windows path).
// Run under wine with a display; the modal windows are photographed from a
// timer that their own message loop serves.
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/win32/controls.h"
#include "dialogs/win32/resource.h"
#include "dialogs/win32/win32_ui.h"

namespace {

std::wstring g_out;
int g_failures = 0;

void Fail(const char* what, const wchar_t* name) {
  std::fprintf(stderr, "nbl_win32_screenshots: %s %ls\n", what, name);
  ++g_failures;
}

// Serves what waits, then gives the X server time to show the latest drawing.
void Settle() {
  for (int round = 0; round < 3; ++round) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(150);
  }
}

// The pixels of `window` as the screen shows them, frame included, written as PNG.
bool WritePng(HWND window, const std::wstring& file) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<BYTE> pixels(static_cast<std::size_t>(width) * height * 4);
  const bool read =
      GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!read) return false;
  for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0xFF;  // the screen has no transparency

  IWICImagingFactory* factory = nullptr;
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* encoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory));
  if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  if (SUCCEEDED(hr) && format != GUID_WICPixelFormat32bppBGRA) hr = E_FAIL;
  if (SUCCEEDED(hr)) {
    hr = frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4, static_cast<UINT>(pixels.size()),
                            pixels.data());
  }
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  for (IUnknown* object : std::initializer_list<IUnknown*>{frame, encoder, stream, factory}) {
    if (object != nullptr) object->Release();
  }
  return SUCCEEDED(hr);
}

void Save(HWND window, const wchar_t* name) {
  const std::wstring file = g_out + L"\\" + name + L".png";
  if (window == nullptr) return Fail("no window for", name);
  SetForegroundWindow(window);
  Settle();
  if (!WritePng(window, file)) return Fail("cannot save", file.c_str());
  std::printf("%ls\n", file.c_str());
}

struct Search {
  const wchar_t* caption;
  HWND except, found;
};

BOOL CALLBACK MatchDialog(HWND w, LPARAM p) {
  auto& s = *reinterpret_cast<Search*>(p);
  wchar_t cls[16] = {}, text[128] = {};
  GetClassNameW(w, cls, 16);
  GetWindowTextW(w, text, 128);
  if (w == s.except || !IsWindowVisible(w) || std::wstring(cls) != L"#32770") return TRUE;
  if (s.caption != nullptr && std::wstring(text) != s.caption) return TRUE;
  s.found = w;
  return FALSE;
}

// A visible dialog of this thread other than `except`, with the caption `caption` (any when null).
HWND FindDialog(const wchar_t* caption, HWND except = nullptr) {
  Search search{caption, except, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::function<void()> g_inside;

void CALLBACK RunInside(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (g_inside) std::exchange(g_inside, nullptr)();
}

// Runs `inside` from a timer once `show` has brought up its modal window.
void WhileModal(std::function<void()> inside, const std::function<void()>& show) {
  g_inside = std::move(inside);
  const UINT_PTR timer = SetTimer(nullptr, 0, 300, RunInside);
  show();
  KillTimer(nullptr, timer);
}

// A click on tab `index` of a tab strip, as the mouse makes it.
void ClickTab(HWND tabs, int index) {
  RECT r{};
  SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(tabs, WM_LBUTTONUP, 0, at);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nbl_win32_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  g_out = argv[1];
  CreateDirectoryW(g_out.c_str(), nullptr);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  auto ui = nbl::dialogs::win32::MakeWin32Ui();

  // The progress window during an export and after it.
  nbl::dialogs::frmProgress& progress = nbl::dialogs::ShowRunWindow(*ui, u"Nubelo Export");
  progress.SetProgressMax(120);
  progress.SetTxtText(u"120件のレコードを取得。エクスポートします。");
  progress.SetProgressValue(45);
  progress.DoEvents();
  HWND progressWindow = FindDialog(L"Nubelo Imp/Exp for Loggamo");
  Save(progressWindow, L"progress_running");
  progress.SetProgressValue(120);
  progress.SetTxtText(u"120件のレコードをエクスポート完了。\r\nExport完了！");
  progress.SetBtnOkEnabled(true);
  Save(progressWindow, L"progress_done");

  // A failure message over the window.
  WhileModal(
      [progressWindow] {
        HWND box = FindDialog(nullptr, progressWindow);
        Save(box, L"message_box");
        if (box != nullptr) PostMessageW(box, WM_COMMAND, IDOK, 0);
      },
      [&] { ui->MsgBoxCritical(u"DB接続エラー"); });
  progress.ClickOK();

  // The export options on both tabs, with the genres a sample store would list.
  ui->Option().ListGenres = [](std::u16string_view) { return std::vector<std::u16string>{u"仕事", u"旅行", u"読書"}; };
  WhileModal(
      [] {
        HWND dialog = FindDialog(L"Nubelo Export Option");
        Save(dialog, L"export_options_tab1");
        if (dialog == nullptr) return;
        ClickTab(GetDlgItem(dialog, IDC_TabStrip1), 1);
        Save(dialog, L"export_options_tab2");
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      },
      [&] { ui->Option().Show(); });

  // The import options.
  WhileModal(
      [] {
        HWND dialog = FindDialog(L"Nubelo Import Option");
        Save(dialog, L"import_options");
        if (dialog != nullptr) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      },
      [&] { ui->OptionImport().Show(); });

  CoUninitialize();
  return g_failures == 0 ? 0 : 1;
}
