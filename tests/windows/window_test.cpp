// The Win32 windows driven through their messages, as a user's clicks and keys
// arrive: first the backend linked in, through the cases every backend's dialogs
// pass; then the registered NBLinout.dll, whose default windows these are, from
// a host. Needs a display (scripts/windows starts Xvfb before wine).
#include <gtest/gtest.h>
#include <windows.h>

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
#include "support/diary_store.h"
#include "support/temp_dir.h"

namespace nbl::dialogs::win32 {
namespace {

using testing::Leave;

std::wstring TextOf(HWND w) {
  wchar_t text[512] = {};
  GetWindowTextW(w, text, 512);
  return text;
}

std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

// The control `id` anywhere inside `dialog`, panes included.
HWND Item(HWND dialog, int id) {
  std::pair<int, HWND> search{id, nullptr};
  EnumChildWindows(
      dialog,
      [](HWND w, LPARAM p) -> BOOL {
        auto& s = *reinterpret_cast<std::pair<int, HWND>*>(p);
        if (GetDlgCtrlID(w) != s.first) return TRUE;
        s.second = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

// A visible dialog window of this thread with `caption`.
HWND FindDialog(const wchar_t* caption) {
  HWND w = FindWindowW(L"#32770", caption);
  return w != nullptr && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() && IsWindowVisible(w) ? w
                                                                                                            : nullptr;
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
    if (IsWindow(m.dialog)) {
      m.leftOpen = true;
      PostMessageW(m.dialog, WM_COMMAND, IDCANCEL, 0);
    }
    return;
  }
  m.dialog = FindDialog(m.caption);
  if (m.dialog == nullptr) return;
  SetTimer(nullptr, id, 2000, ModalTimer);
  m.inside(m.dialog);
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
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void PostKey(HWND w, WPARAM key) {
  PostMessageW(w, WM_KEYDOWN, key, 0);
  PostMessageW(w, WM_KEYUP, key, 0xC0000000);
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

SYSTEMTIME Day(const PickerDate& d) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(d.year);
  t.wMonth = static_cast<WORD>(d.month);
  t.wDay = static_cast<WORD>(d.day);
  return t;
}

PickerDate DayOf(HWND picker) {
  SYSTEMTIME t{};
  SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t));
  return PickerDate{t.wYear, t.wMonth, t.wDay};
}

void SetDay(HWND picker, const PickerDate& d) {
  SYSTEMTIME t = Day(d);
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

// Every caption fits its control, as the dialog font draws it.
void ExpectCaptionsFit(HWND dialog) {
  EnumChildWindows(
      dialog,
      [](HWND w, LPARAM) -> BOOL {
        wchar_t cls[32] = {};
        GetClassNameW(w, cls, 32);
        const std::wstring text = TextOf(w);
        if (text.empty() || (wcscmp(cls, L"Static") != 0 && wcscmp(cls, L"Button") != 0)) return TRUE;
        HDC dc = GetDC(w);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(w, dc);
        RECT r{};
        GetClientRect(w, &r);
        const bool box = (GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX;
        const int room = r.right - (box ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 0);
        EXPECT_LE(size.cx, room) << nbl::com::Utf8(text.c_str());
        EXPECT_LE(size.cy, r.bottom) << nbl::com::Utf8(text.c_str());
        return TRUE;
      },
      0);
}

class Win32Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = MakeWin32Ui();
    path_ = dir_.File("diary.db");
    nbl::testing::MakeGenreStore(path_, nbl::testing::OptionCaseGenres());
    ui_->Option().PathDiaryMdb = path_;
    ui_->Option().ListGenres = plugin::ReadGenreList;
  }
  bool ShowExport(const std::function<void(HWND)>& inside) {
    return WhileModal(L"Nubelo Export Option", inside, [this] { ui_->Option().Show(); });
  }
  bool ShowImport(const std::function<void(HWND)>& inside) {
    return WhileModal(L"Nubelo Import Option", inside, [this] { ui_->OptionImport().Show(); });
  }

  nbl::testing::TempDir dir_;
  std::u16string path_;
  std::unique_ptr<Ui> ui_;
};

TEST_F(Win32Windows, ExportDialogAfterLoadAndItsTabs) {
  ASSERT_TRUE(ShowExport([](HWND d) {
    HWND tabs = Item(d, IDC_TabStrip1);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(ListItems(Item(d, IDC_cmbGenre)), (std::vector<std::u16string>{u"[ALL]", u"一般", u"仕事", u"旅行"}));
    const struct {
      int id;
      const std::vector<std::u16string>& items;
      int selected;
    } lists[] = {{IDC_cmbPublish, PublishItems(), 0},
                 {IDC_cmbBR, LineBreakItems(), 1},
                 {IDC_cmbHyphen, HyphenItems(), 1},
                 {IDC_cmbPublishDay, PublishDayItems(), 1}};
    for (const auto& l : lists) {
      EXPECT_EQ(ListItems(Item(d, l.id)), l.items) << l.id;
      EXPECT_EQ(SendMessageW(Item(d, l.id), CB_GETCURSEL, 0, 0), l.selected) << l.id;
    }
    EXPECT_EQ(SendMessageW(Item(d, IDC_cmbGenre), CB_GETCURSEL, 0, 0), 0);
    const struct {
      int id;
      std::u16string_view caption;
    } captions[] = {{IDC_chkGenre, kGenreCaption},   {IDC_chkPeriod, kPeriodCaption}, {IDC_chkPublish, kPublishCaption},
                    {IDC_Label1, kLineBreakCaption}, {IDC_Label2, kHyphenCaption},    {IDC_Label6, kDateCaption}};
    for (const auto& c : captions) EXPECT_EQ(TextOf(Item(d, c.id)), W(c.caption)) << c.id;
    for (int box : {IDC_chkGenre, IDC_chkPeriod, IDC_chkPublish}) {
      EXPECT_EQ(SendMessageW(Item(d, box), BM_GETCHECK, 0, 0), BST_UNCHECKED) << box;
    }
    // The pickers start at the initial day within their range, and follow the period box.
    for (int id : {IDC_dtpStart, IDC_dtpEnd}) {
      HWND picker = Item(d, id);
      EXPECT_EQ(DayOf(picker), kPickerInitial);
      SYSTEMTIME range[2] = {};
      SendMessageW(picker, DTM_GETRANGE, 0, reinterpret_cast<LPARAM>(range));
      EXPECT_EQ((PickerDate{range[0].wYear, range[0].wMonth, range[0].wDay}), kPickerMinimum);
      EXPECT_EQ((PickerDate{range[1].wYear, range[1].wMonth, range[1].wDay}), kPickerMaximum);
      EXPECT_FALSE(IsWindowEnabled(picker));
    }
    SendMessageW(Item(d, IDC_chkPeriod), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(Item(d, IDC_dtpStart)) && IsWindowEnabled(Item(d, IDC_dtpEnd)));
    ExpectCaptionsFit(d);

    // Tab clicks: the chosen pane in front and enabled, the other hidden and disabled.
    HWND panes[] = {Item(d, IDC_Picture1_0), Item(d, IDC_Picture1_1)};
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
    const frmOption& o = ui_->Option();
    EXPECT_EQ(o.IsOK, vb::True) << c.name;
    EXPECT_EQ(o.bGenre, c.bGenre) << c.name;
    EXPECT_EQ(o.stGenre, c.stGenre) << c.name;
    EXPECT_EQ(o.bPeriod, c.bPeriod) << c.name;
    EXPECT_EQ(o.stStart, c.stStart) << c.name;
    EXPECT_EQ(o.stEnd, c.stEnd) << c.name;
    EXPECT_EQ(o.bPublish, c.bPublish) << c.name;
    EXPECT_EQ(o.intPublish, c.publish) << c.name;
    EXPECT_EQ(o.intBR, c.br) << c.name;
    EXPECT_EQ(o.intHyphen, c.hyphen) << c.name;
    EXPECT_EQ(o.intPublishDay, c.publishDay) << c.name;
  }
}

TEST_F(Win32Windows, EveryOtherWayOutKeepsAnEarlierOk) {
  const struct {
    const char* name;
    std::function<void(HWND)> leave;
  } ways[] = {
      {"Cancel", [](HWND d) { LeaveBy(d, Leave::kClose); }},
      {"Escape", [](HWND d) { LeaveBy(d, Leave::kEscape); }},
      {"close box", [](HWND d) { LeaveBy(d, Leave::kCloseBox); }},
      {"end of the session", [](HWND d) { SendMessageW(d, WM_ENDSESSION, TRUE, 0); }},
  };
  for (const auto& way : ways) {
    ASSERT_TRUE(ShowExport([](HWND d) {
      SendMessageW(Item(d, IDC_chkPublish), BM_SETCHECK, BST_CHECKED, 0);
      SendMessageW(Item(d, IDC_cmbPublish), CB_SETCURSEL, 1, 0);
      LeaveBy(d, Leave::kOk);
    }));
    ASSERT_EQ(ui_->Option().IsOK, vb::True);
    // A date out of the pickers' range, which the dialog keeps within it.
    ASSERT_TRUE(ShowExport([&way](HWND d) {
      SendMessageW(Item(d, IDC_chkPublish), BM_SETCHECK, BST_UNCHECKED, 0);
      SetDay(Item(d, IDC_dtpStart), PickerDate{1600, 12, 31});
      const PickerDate shown = KeepInPickerRange(DayOf(Item(d, IDC_dtpStart)));
      EXPECT_EQ(shown, DayOf(Item(d, IDC_dtpStart))) << way.name;
      way.leave(d);
    }));
    EXPECT_EQ(ui_->Option().IsOK, vb::False) << way.name;
    EXPECT_EQ(ui_->Option().bPublish, vb::True) << way.name;
    EXPECT_EQ(ui_->Option().intPublish, 1) << way.name;
    EXPECT_EQ(ui_->Option().stStart, u"2006/02/25") << way.name;
  }
}

TEST_F(Win32Windows, UnreadableStoreFailsTheShowBeforeAnyWindow) {
  ui_->Option().PathDiaryMdb = dir_.File("missing.db");
  ui_->Option().IsOK = vb::True;
  EXPECT_THROW(ShowExport([](HWND) {}), StoreFailure);
  EXPECT_EQ(FindDialog(L"Nubelo Export Option"), nullptr);
  EXPECT_EQ(ui_->Option().IsOK, vb::False);
}

TEST_F(Win32Windows, ImportDialog) {
  for (const nbl::testing::ImportCase& c : nbl::testing::ImportCases()) {
    ASSERT_TRUE(ShowImport([&c](HWND d) {
      EXPECT_EQ(TextOf(Item(d, IDC_tTitleStTag)), L"<H2>") << c.name;
      EXPECT_EQ(TextOf(Item(d, IDC_tTitleEdTag)), L"</H2>") << c.name;
      EXPECT_EQ(TextOf(Item(d, IDC_imp_Label1)), W(kImportHeading));
      ExpectCaptionsFit(d);
      if (c.start) SetWindowTextW(Item(d, IDC_tTitleStTag), W(*c.start).c_str());
      if (c.end) SetWindowTextW(Item(d, IDC_tTitleEdTag), W(*c.end).c_str());
      SetFocus(Item(d, IDC_tTitleStTag));
      LeaveBy(d, c.leave);
    }));
    const frmOptionImport& o = ui_->OptionImport();
    EXPECT_EQ(o.IsOK, c.isOK) << c.name;
    EXPECT_EQ(o.stTitleStTag, c.stTitleStTag) << c.name;
    EXPECT_EQ(o.stTitleEdTag, c.stTitleEdTag) << c.name;
  }
}

TEST_F(Win32Windows, ProgressWindowRefusesEveryCloseUntilOk) {
  frmProgress& progress = ShowRunWindow(*ui_, u"Nubelo Export");
  HWND w = static_cast<Win32Progress&>(progress).window();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(TextOf(w), L"Nubelo Imp/Exp for Loggamo");
  EXPECT_EQ(TextOf(Item(w, IDC_txtTitle)), L"Nubelo Export");
  const struct {
    const char* name;
    std::function<void()> attempt;
  } attempts[] = {
      {"WM_CLOSE", [w] { PostMessageW(w, WM_CLOSE, 0, 0); }},
      {"Alt+F4", [w] { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"Escape", [w] { PostKey(Item(w, IDOK), VK_ESCAPE); }},
      {"end of the session", [w] { EXPECT_EQ(SendMessageW(w, WM_QUERYENDSESSION, 0, 0), FALSE); }},
      {"a click on the disabled OK", [w] { Click(Item(w, IDOK)); }},
      {"unload from code", [&progress] { EXPECT_FALSE(progress.RequestClose()); }},
  };
  for (bool finished : {false, true}) {
    EXPECT_EQ(IsWindowEnabled(Item(w, IDOK)), finished);
    for (const auto& a : attempts) {
      if (finished && std::string(a.name) == "a click on the disabled OK") continue;
      a.attempt();
      progress.DoEvents();  // serves the posted messages
      EXPECT_TRUE(IsWindow(w) && IsWindowVisible(w)) << a.name << (finished ? " after the run" : " during the run");
    }
    // The run's drawing, then its end.
    const struct {
      float max, value;
      LRESULT shown;
    } bars[] = {{4, 1, 250}, {3, 2, 667}, {10, 25, 1000}, {0, 0, 1000}};
    for (const auto& b : bars) {
      progress.SetProgressMax(b.max);
      progress.SetProgressValue(b.value);
      EXPECT_EQ(SendMessageW(Item(w, IDC_ProgressBar1), PBM_GETPOS, 0, 0), b.shown) << b.value << "/" << b.max;
    }
    progress.SetTxtText(u"3件のレコードをエクスポート完了。\nExport完了！");
    EXPECT_EQ(TextOf(Item(w, IDC_txtText)), L"3件のレコードをエクスポート完了。\r\nExport完了！");
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
  EXPECT_EQ(TextOf(w), L"ProgressWindow");
  EXPECT_EQ(TextOf(Item(w, IDC_txtText)), L"");
  EXPECT_EQ(SendMessageW(Item(w, IDC_ProgressBar1), PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(progress.EnableBatsuBtn, vb::False);
  ExpectCaptionsFit(w);
}

}  // namespace
}  // namespace nbl::dialogs::win32

// ---- The registered DLL, from a host --------------------------------------

namespace nbl::com {
namespace {

class DllWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    db_ = text::ToUtf8(dir_.File("日記.db"));
    std::vector<testing::Row> rows;
    for (const char* genre : {"仕事", "旅行", "仕事"}) {
      testing::Row row;
      row.day = "2007/03/1" + std::to_string(rows.size());
      row.genre = genre;
      row.title = std::string("題") + genre;
      row.contents = "本文";
      rows.push_back(row);
    }
    testing::MakeStore(db_, rows);
    Create(L"NBLHandleDLL.clsNubeloHandle", handle_);
    Must(handle_.get(), L"Initialize", {Text(Wide(db_))});
    Must(handle_.get(), L"SetExport");
  }
  void TearDown() override {
    handle_.Reset();
    CoUninitialize();
  }
  // Execute, whose progress window stays open afterwards.
  HWND Execute(const std::string& out) {
    Must(handle_.get(), L"SetPath", {Text(Wide(out)), Boolean(true)});
    Must(handle_.get(), L"Execute");
    return dialogs::win32::FindDialog(L"Nubelo Imp/Exp for Loggamo");
  }

  testing::TempDir dir_;
  std::string db_;
  Ptr<IDispatch> handle_;
};

TEST_F(DllWindows, ExportChosenInItsDialogShowsItsProgressUntilOk) {
  Call chosen;
  ASSERT_TRUE(dialogs::win32::WhileModal(
      L"Nubelo Export Option",
      [](HWND d) {
        SendMessageW(dialogs::win32::Item(d, IDC_chkGenre), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageW(dialogs::win32::Item(d, IDC_cmbGenre), CB_SETCURSEL, 2, 0);  // [ALL], 一般, 仕事, 旅行
        dialogs::win32::Click(GetDlgItem(d, IDOK));
      },
      [&] { Invoke(handle_.get(), L"SetExportSettingMySelf", {}, chosen); }));
  ASSERT_EQ(chosen.hr, S_OK);
  EXPECT_EQ(chosen.result.boolVal, VARIANT_TRUE);

  HWND w = Execute(text::ToUtf8(dir_.File("仕事.xml")));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(dialogs::win32::TextOf(dialogs::win32::Item(w, IDC_txtText)),
            L"2件のレコードをエクスポート完了。\r\nExport完了！");
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, IDOK)));
  PostMessageW(w, WM_CLOSE, 0, 0);
  dialogs::win32::Pump();
  EXPECT_TRUE(IsWindowVisible(w));
  dialogs::win32::Click(GetDlgItem(w, IDOK));
  dialogs::win32::Pump();
  EXPECT_FALSE(IsWindow(w));
  const std::string document = testing::ReadFile(dir_.path() / u"仕事.xml");
  EXPECT_NE(document.find("title=\"題仕事\""), std::string::npos) << document;
  EXPECT_EQ(document.find("title=\"題旅行\""), std::string::npos) << document;
}

// The box is modal on the host's thread: a second thread finds it by its text and
// clicks its OK, as a user would.
TEST_F(DllWindows, AFailedRunShowsItsStepTextInAMessageBox) {
  std::wstring text, caption;
  std::thread user([&] {
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         std::chrono::steady_clock::now() < until && text.empty(); Sleep(20)) {
      for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box != nullptr;
           box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        wchar_t message[128] = {};
        GetDlgItemTextW(box, 0xFFFF, message, 128);  // the text of a message box
        if (message[0] == L'\0' || !IsWindowVisible(box)) continue;
        text = message;
        caption = dialogs::win32::TextOf(box);
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        break;
      }
    }
  });
  HWND w = Execute(text::ToUtf8(dir_.File("無い/書き出し.xml")));
  user.join();
  EXPECT_EQ(text, L"ファイルオープンエラー");
  EXPECT_NE(caption, L"Nubelo Imp/Exp for Loggamo");
  // The window is left closable, and OK closes it.
  ASSERT_NE(w, nullptr);
  dialogs::win32::Click(GetDlgItem(w, IDOK));
  dialogs::win32::Pump();
  EXPECT_FALSE(IsWindow(w));
}

}  // namespace
}  // namespace nbl::com
