// The Win32 windows driven through their messages, as a user's clicks and keys
// arrive: first the backend linked in, through the cases every backend's dialogs
// pass; then the registered NBLinout.dll, whose default windows these are, from
// a host. Needs a display (scripts/windows starts Xvfb before wine).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "com_calls.h"
#include "common/failure.h"
#include "dialogs/genre_store.h"
#include "dialogs/option_cases.h"
#include "dialogs/win32/controls.h"
#include "dialogs/win32/progress_window.h"
#include "dialogs/win32/resource.h"
#include "dialogs/win32/win32_ui.h"
#include "plugin/genre_list.h"
#include "support/temp_dir.h"

namespace nbl::dialogs::win32 {
namespace {

using testing::Leave;

BOOL CALLBACK MatchId(HWND w, LPARAM p) {
  auto& s = *reinterpret_cast<std::pair<int, HWND>*>(p);
  if (GetDlgCtrlID(w) == s.first) s.second = w;
  return s.second == nullptr;
}

// The control `id` anywhere inside `dialog`, panes included.
HWND Item(HWND dialog, int id) {
  std::pair<int, HWND> search{id, nullptr};
  EnumChildWindows(dialog, MatchId, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

// A visible dialog of this thread with `caption`.
HWND FindDialog(const wchar_t* caption) {
  HWND w = FindWindowW(L"#32770", caption);
  return w && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() && IsWindowVisible(w) ? w : nullptr;
}

// The modal dialog a test is inside of.
struct Modal {
  const wchar_t* caption;
  const std::function<void(HWND)>& inside;
  HWND dialog = nullptr;
  bool leftOpen = false;
};
Modal* g_modal = nullptr;

// Served by the dialog's own loop: finds the dialog and acts in it; two seconds
// later, cancels it if what the test did left it open.
void CALLBACK ModalTimer(HWND, UINT, UINT_PTR id, DWORD) {
  Modal& m = *g_modal;
  if (m.dialog != nullptr) {
    KillTimer(nullptr, id);
    m.leftOpen = IsWindow(m.dialog);
    if (m.leftOpen) PostMessageW(m.dialog, WM_COMMAND, IDCANCEL, 0);
  } else if ((m.dialog = FindDialog(m.caption)) != nullptr) {
    SetTimer(nullptr, id, 2000, ModalTimer);
    m.inside(m.dialog);
  }
}

// Runs `inside` on the modal dialog `caption` while `show` runs. Returns whether
// the dialog came up and what `inside` did closed it.
bool WhileModal(const wchar_t* caption, const std::function<void(HWND)>& inside, const std::function<void()>& show) {
  Modal modal{caption, inside};
  g_modal = &modal;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, ModalTimer);
  try {
    show();
  } catch (...) {
    KillTimer(nullptr, timer);
    throw;
  }
  KillTimer(nullptr, timer);
  return modal.dialog != nullptr && !modal.leftOpen;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

void PostKey(HWND w, WPARAM key) {
  PostMessageW(w, WM_KEYDOWN, key, 0);
  PostMessageW(w, WM_KEYUP, key, 0xC0000000);
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

PickerDate DayOf(HWND picker) {
  SYSTEMTIME t{};
  SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t));
  return PickerDate{t.wYear, t.wMonth, t.wDay};
}

void SetDay(HWND picker, const PickerDate& d) {
  SYSTEMTIME t{static_cast<WORD>(d.year), static_cast<WORD>(d.month), 0, static_cast<WORD>(d.day), 0, 0, 0, 0};
  SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t));
}

std::vector<std::u16string> ListItems(HWND list) {
  std::vector<std::u16string> items;
  for (int i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
    wchar_t text[256] = {};
    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.emplace_back(text, text + wcslen(text));
  }
  return items;
}

// Leaves a dialog the way a user does.
void LeaveBy(HWND dialog, Leave how) {
  switch (how) {
    case Leave::kOk:
      return Click(GetDlgItem(dialog, IDOK));
    case Leave::kClose:
      return Click(GetDlgItem(dialog, IDCANCEL));
    case Leave::kEnter:
      return PostKey(GetFocus(), VK_RETURN);
    case Leave::kEscape:
      return PostKey(GetFocus(), VK_ESCAPE);
    case Leave::kCloseBox:  // the close box and Alt+F4 both send this
      PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      return;
  }
}

BOOL CALLBACK ExpectCaptionFits(HWND w, LPARAM) {
  wchar_t cls[32] = {};
  GetClassNameW(w, cls, 32);
  const std::u16string text = WindowText(w);
  if (text.empty() || (wcscmp(cls, L"Static") != 0 && wcscmp(cls, L"Button") != 0)) return TRUE;
  HDC dc = GetDC(w);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, Wide(text).c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(w, dc);
  RECT r{};
  GetClientRect(w, &r);
  const bool box = (GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX;
  EXPECT_LE(size.cx, r.right - (box ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 0)) << text::ToUtf8(text);
  EXPECT_LE(size.cy, r.bottom) << text::ToUtf8(text);
  return TRUE;
}

// Every caption fits its control, as the dialog font draws it.
void ExpectCaptionsFit(HWND dialog) { EnumChildWindows(dialog, ExpectCaptionFits, 0); }

class Win32Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    nbl::testing::MakeGenreStore(dir_.File("diary.db"), nbl::testing::OptionCaseGenres());
    ui_->Option().PathDiaryMdb = dir_.File("diary.db");
    ui_->Option().ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
  }
  bool ShowExport(const std::function<void(HWND)>& inside) {
    return WhileModal(L"Nubelo Export Option", inside, [this] { ui_->Option().Show(); });
  }

  nbl::testing::TempDir dir_;
  std::unique_ptr<Ui> ui_ = MakeWin32Ui();
};

TEST_F(Win32Windows, ExportDialogAfterLoadAndItsTabs) {
  ASSERT_TRUE(ShowExport([](HWND d) {
    const struct {
      int id;
      std::vector<std::u16string> items;
      int selected;
    } lists[] = {{IDC_cmbGenre, {u"[ALL]", u"一般", u"仕事", u"旅行"}, 0},
                 {IDC_cmbPublish, PublishItems(), 0},
                 {IDC_cmbBR, LineBreakItems(), 1},
                 {IDC_cmbHyphen, HyphenItems(), 1},
                 {IDC_cmbPublishDay, PublishDayItems(), 1}};
    for (const auto& l : lists) {
      EXPECT_EQ(ListItems(Item(d, l.id)), l.items) << l.id;
      EXPECT_EQ(SendMessageW(Item(d, l.id), CB_GETCURSEL, 0, 0), l.selected) << l.id;
    }
    // The templates' captions are the other backends'; the check boxes start unticked.
    const std::pair<int, std::u16string_view> captions[] = {
        {IDC_chkGenre, kGenreCaption},   {IDC_chkPeriod, kPeriodCaption}, {IDC_chkPublish, kPublishCaption},
        {IDC_Label1, kLineBreakCaption}, {IDC_Label2, kHyphenCaption},    {IDC_Label6, kDateCaption}};
    for (const auto& [id, caption] : captions) {
      EXPECT_EQ(WindowText(Item(d, id)), caption) << id;
      if (id <= IDC_chkPublish) {
        EXPECT_EQ(SendMessageW(Item(d, id), BM_GETCHECK, 0, 0), BST_UNCHECKED) << id;
      }
    }
    // The pickers start at the initial day, disabled until the period box is ticked.
    for (int id : {IDC_dtpStart, IDC_dtpEnd}) {
      EXPECT_EQ(DayOf(Item(d, id)), kPickerInitial);
      EXPECT_FALSE(IsWindowEnabled(Item(d, id)));
    }
    SendMessageW(Item(d, IDC_chkPeriod), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(Item(d, IDC_dtpStart)) && IsWindowEnabled(Item(d, IDC_dtpEnd)));

    // Tab clicks: the chosen pane in front and enabled, the other hidden and disabled.
    HWND tabs = Item(d, IDC_TabStrip1), panes[] = {Item(d, IDC_Picture1_0), Item(d, IDC_Picture1_1)};
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_TRUE(IsWindowVisible(panes[0]) && IsWindowEnabled(panes[0]) && IsWindowEnabled(panes[1]));
    EXPECT_FALSE(IsWindowVisible(panes[1]));
    for (int tab : {1, 1, 0, 1}) {
      RECT r{};
      SendMessageW(tabs, TCM_GETITEMRECT, tab, reinterpret_cast<LPARAM>(&r));
      const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
      SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
      SendMessageW(tabs, WM_LBUTTONUP, 0, at);
      EXPECT_TRUE(IsWindowVisible(panes[tab]) && IsWindowEnabled(panes[tab])) << tab;
      EXPECT_FALSE(IsWindowVisible(panes[1 - tab]) || IsWindowEnabled(panes[1 - tab])) << tab;
      ExpectCaptionsFit(d);
    }
    LeaveBy(d, Leave::kClose);
  }));
  EXPECT_EQ(ui_->Option().IsOK, vb::False);
}

TEST_F(Win32Windows, ExportOkTakesTheControlStates) {
  for (const nbl::testing::ExportOkCase& c : nbl::testing::ExportOkCases()) {
    ASSERT_TRUE(ShowExport([&c](HWND d) {
      const nbl::testing::ExportChoice& u = c.choice;
      const std::pair<const std::optional<int>&, int> lists[] = {{u.genre, IDC_cmbGenre},
                                                                 {u.publish, IDC_cmbPublish},
                                                                 {u.br, IDC_cmbBR},
                                                                 {u.hyphen, IDC_cmbHyphen},
                                                                 {u.publishDay, IDC_cmbPublishDay}};
      for (const auto& [index, id] : lists) {
        if (index) SendMessageW(Item(d, id), CB_SETCURSEL, static_cast<WPARAM>(*index), 0);
      }
      const std::pair<bool, int> boxes[] = {
          {u.tickGenre, IDC_chkGenre}, {u.tickPeriod, IDC_chkPeriod}, {u.tickPublish, IDC_chkPublish}};
      for (const auto& [tick, id] : boxes) {
        if (tick) SendMessageW(Item(d, id), BM_SETCHECK, BST_CHECKED, 0);
      }
      if (u.start) SetDay(Item(d, IDC_dtpStart), *u.start);
      if (u.end) SetDay(Item(d, IDC_dtpEnd), *u.end);
      LeaveBy(d, Leave::kOk);
    }));
    nbl::testing::ExpectExportResult(ui_->Option(), c.expected, c.name);
  }
}

// After an OK, every other way out answers IsOK False and keeps its values, and
// a day before the pickers' range is not taken.
TEST_F(Win32Windows, EveryOtherWayOutKeepsAnEarlierOk) {
  const std::pair<const char*, std::function<void(HWND)>> ways[] = {
      {"Cancel", [](HWND d) { LeaveBy(d, Leave::kClose); }},
      {"Escape", [](HWND d) { LeaveBy(d, Leave::kEscape); }},
      {"close box", [](HWND d) { LeaveBy(d, Leave::kCloseBox); }},
      {"end of the session", [](HWND d) { SendMessageW(d, WM_ENDSESSION, TRUE, 0); }},
  };
  for (const auto& [name, leave] : ways) {
    ASSERT_TRUE(ShowExport([](HWND d) {
      SendMessageW(Item(d, IDC_chkPublish), BM_SETCHECK, BST_CHECKED, 0);
      SendMessageW(Item(d, IDC_cmbPublish), CB_SETCURSEL, 1, 0);
      SetDay(Item(d, IDC_dtpStart), PickerDate{1600, 12, 31});
      LeaveBy(d, Leave::kOk);
    }));
    ASSERT_EQ(ui_->Option().IsOK, vb::True);
    EXPECT_TRUE(ParsePickerDate(ui_->Option().stStart)) << text::ToUtf8(ui_->Option().stStart);
    const std::u16string start = ui_->Option().stStart;
    ASSERT_TRUE(ShowExport([&leave](HWND d) {
      SendMessageW(Item(d, IDC_chkPublish), BM_SETCHECK, BST_UNCHECKED, 0);
      SetDay(Item(d, IDC_dtpStart), PickerDate{2010, 5, 5});
      leave(d);
    })) << name;
    EXPECT_EQ(ui_->Option().IsOK, vb::False) << name;
    EXPECT_EQ(ui_->Option().bPublish, vb::True) << name;
    EXPECT_EQ(ui_->Option().intPublish, 1) << name;
    EXPECT_EQ(ui_->Option().stStart, start) << name;
  }
  // A store that cannot be read fails the showing before any window.
  ui_->Option().PathDiaryMdb = dir_.File("missing.db");
  EXPECT_THROW(ShowExport([](HWND) {}), StoreFailure);
  EXPECT_EQ(ui_->Option().IsOK, vb::False);
}

TEST_F(Win32Windows, ImportDialog) {
  for (const nbl::testing::ImportCase& c : nbl::testing::ImportCases()) {
    const auto inside = [&c](HWND d) {
      EXPECT_EQ(WindowText(Item(d, IDC_tTitleStTag)), u"<H2>") << c.name;
      EXPECT_EQ(WindowText(Item(d, IDC_tTitleEdTag)), u"</H2>") << c.name;
      EXPECT_EQ(WindowText(Item(d, IDC_imp_Label1)), kImportHeading);
      ExpectCaptionsFit(d);
      if (c.start) SetWindowTextW(Item(d, IDC_tTitleStTag), Wide(*c.start).c_str());
      if (c.end) SetWindowTextW(Item(d, IDC_tTitleEdTag), Wide(*c.end).c_str());
      SetFocus(Item(d, IDC_tTitleStTag));
      LeaveBy(d, c.leave);
    };
    ASSERT_TRUE(WhileModal(L"Nubelo Import Option", inside, [this] { ui_->OptionImport().Show(); })) << c.name;
    EXPECT_EQ(ui_->OptionImport().IsOK, c.isOK) << c.name;
    EXPECT_EQ(ui_->OptionImport().stTitleStTag, c.stTitleStTag) << c.name;
    EXPECT_EQ(ui_->OptionImport().stTitleEdTag, c.stTitleEdTag) << c.name;
  }
}

TEST_F(Win32Windows, ProgressWindowRefusesEveryCloseUntilOk) {
  frmProgress& progress = ShowRunWindow(*ui_, u"Nubelo Export");
  HWND w = static_cast<Win32Progress&>(progress).window();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(WindowText(w), u"Nubelo Imp/Exp for Loggamo");
  EXPECT_EQ(WindowText(Item(w, IDC_txtTitle)), u"Nubelo Export");
  const std::pair<const char*, std::function<void()>> attempts[] = {
      {"WM_CLOSE", [w] { PostMessageW(w, WM_CLOSE, 0, 0); }},
      {"Alt+F4", [w] { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"Escape", [w] { PostKey(Item(w, IDOK), VK_ESCAPE); }},
      {"end of the session", [w] { EXPECT_EQ(SendMessageW(w, WM_QUERYENDSESSION, 0, 0), FALSE); }},
      {"unload from code", [&progress] { EXPECT_FALSE(progress.RequestClose()); }},
      {"a click on OK while it is disabled", [w] { Click(Item(w, IDOK)); }},
  };
  for (bool finished : {false, true}) {
    EXPECT_EQ(IsWindowEnabled(Item(w, IDOK)), finished);
    for (const auto& [name, attempt] : attempts) {
      if (finished && name == attempts[5].first) continue;
      attempt();
      progress.DoEvents();  // serves the posted messages
      EXPECT_TRUE(IsWindowVisible(w)) << name << (finished ? " after the run" : " during the run");
    }
    progress.SetProgressMax(3);
    progress.SetProgressValue(2);
    EXPECT_EQ(SendMessageW(Item(w, IDC_ProgressBar1), PBM_GETPOS, 0, 0), 667);
    progress.SetTxtText(u"3件のレコードをエクスポート完了。\nExport完了！");
    EXPECT_EQ(WindowText(Item(w, IDC_txtText)), u"3件のレコードをエクスポート完了。\r\nExport完了！");
    progress.SetBtnOkEnabled(true);
  }
  // Enter presses the default button, OK, which closes the window.
  SetFocus(Item(w, IDOK));
  PostKey(Item(w, IDOK), VK_RETURN);
  progress.DoEvents();
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(progress.IsLoaded());

  // The next run starts from the design state.
  progress.Show();
  w = static_cast<Win32Progress&>(progress).window();
  EXPECT_EQ(WindowText(w), u"ProgressWindow");
  EXPECT_EQ(WindowText(Item(w, IDC_txtText)), u"");
  EXPECT_EQ(SendMessageW(Item(w, IDC_ProgressBar1), PBM_GETPOS, 0, 0), 0);
  ExpectCaptionsFit(w);
}

}  // namespace
}  // namespace nbl::dialogs::win32

// ---- The registered DLL, from a host --------------------------------------

namespace nbl::com {
namespace {

using dialogs::win32::Click;
using dialogs::win32::Item;
using dialogs::win32::Pump;

// A store of three entries, two of the genre 仕事, ready for an export.
class DllWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::vector<testing::Row> rows;
    for (const char* genre : {"仕事", "旅行", "仕事"}) {
      testing::Row row;
      row.day = "2007/03/1" + std::to_string(rows.size());
      row.genre = genre;
      row.title = std::string("題") + genre;
      rows.push_back(row);
    }
    testing::MakeStore(text::ToUtf8(dir_.File("日記.db")), rows);
    Create(L"NBLHandleDLL.clsNubeloHandle", handle_);
    Must(handle_.get(), L"Initialize", {Text(Wide(dir_.File("日記.db")))});
    Must(handle_.get(), L"SetExport");
  }
  void TearDown() override {
    handle_.Reset();
    CoUninitialize();
  }
  // Execute into `out`; returns the progress window, which stays open afterwards.
  HWND Execute(const std::string& out) {
    Must(handle_.get(), L"SetPath", {Text(Wide(dir_.File(out))), Boolean(true)});
    Must(handle_.get(), L"Execute");
    return dialogs::win32::FindDialog(L"Nubelo Imp/Exp for Loggamo");
  }

  testing::TempDir dir_;
  Ptr<IDispatch> handle_;
};

TEST_F(DllWindows, ExportChosenInItsDialogShowsItsProgressUntilOk) {
  Call chosen;
  ASSERT_TRUE(dialogs::win32::WhileModal(
      L"Nubelo Export Option",
      [](HWND d) {
        SendMessageW(Item(d, IDC_chkGenre), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageW(Item(d, IDC_cmbGenre), CB_SETCURSEL, 2, 0);  // [ALL], 一般, 仕事, 旅行
        Click(GetDlgItem(d, IDOK));
      },
      [&] { Invoke(handle_.get(), L"SetExportSettingMySelf", {}, chosen); }));
  EXPECT_EQ(chosen.result.boolVal, VARIANT_TRUE);

  HWND w = Execute("仕事.xml");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(dialogs::win32::WindowText(Item(w, IDC_txtText)), u"2件のレコードをエクスポート完了。\r\nExport完了！");
  PostMessageW(w, WM_CLOSE, 0, 0);
  Pump();
  EXPECT_TRUE(IsWindowVisible(w));
  Click(GetDlgItem(w, IDOK));
  Pump();
  EXPECT_FALSE(IsWindow(w));
  const std::string document = testing::ReadFile(dir_.path() / u"仕事.xml");
  EXPECT_NE(document.find("title=\"題仕事\""), std::string::npos) << document;
  EXPECT_EQ(document.find("title=\"題旅行\""), std::string::npos) << document;
}

// The box is modal on the host's thread: a second thread finds it by its text and
// clicks its OK, as a user would.
TEST_F(DllWindows, AFailedRunShowsItsStepTextInAMessageBox) {
  std::wstring text;
  std::thread user([&text] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (text.empty() && std::chrono::steady_clock::now() < until) {
      Sleep(20);
      for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box && text.empty();
           box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        wchar_t message[128] = {};
        GetDlgItemTextW(box, 0xFFFF, message, 128);  // the text of a message box
        if (message[0] == L'\0' || !IsWindowVisible(box)) continue;
        text = message;
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
      }
    }
  });
  HWND w = Execute("無い/書き出し.xml");
  user.join();
  EXPECT_EQ(text, L"ファイルオープンエラー");
  // The window is left closable, and OK closes it.
  ASSERT_NE(w, nullptr);
  Click(GetDlgItem(w, IDOK));
  Pump();
  EXPECT_FALSE(IsWindow(w));
}

}  // namespace
}  // namespace nbl::com
