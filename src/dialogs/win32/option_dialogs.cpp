#include "dialogs/win32/option_dialogs.h"

#include <array>
#include <exception>
#include <string>
#include <utility>

#include "common/failure.h"
#include "common/win32_error.h"
#include "dialogs/option_logic.h"
#include "dialogs/win32/controls.h"
#include "dialogs/win32/resource.h"

namespace nbl::dialogs::win32 {
namespace {

// A modal dialog from a template. OK asks Accept for the results; Cancel, the
// close box, Escape and the end of the session close it and change nothing. A
// failure in a handler closes the dialog and comes out of Run, never through
// the system's code.
class ModalDialog {
 public:
  virtual ~ModalDialog() = default;

  void Run(int templateId, const char* name) {
    InitControls();
    const INT_PTR result = DialogBoxParamW(Module(), MAKEINTRESOURCEW(templateId), GetActiveWindow(), Proc,
                                           reinterpret_cast<LPARAM>(this));
    const DWORD error = GetLastError();
    if (failure_) std::rethrow_exception(failure_);
    if (result == -1 || dialog_ == nullptr) {
      throw WindowFailure(std::string("cannot show ") + name + ": " + files::SystemErrorText(error));
    }
  }

 protected:
  virtual void Init() = 0;
  virtual void Accept() = 0;
  virtual void Notify(const NMHDR&) {}

  HWND dialog_ = nullptr;

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      auto* self = reinterpret_cast<ModalDialog*>(lParam);
      self->dialog_ = window;
      self->Guard([self] { self->Init(); });
      return TRUE;
    }
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
          self->Guard([self] {
            self->Accept();
            EndDialog(self->dialog_, IDOK);
          });
          return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
          EndDialog(window, IDCANCEL);
          return TRUE;
        }
        return FALSE;
      case WM_CLOSE:
        EndDialog(window, IDCANCEL);
        return TRUE;
      case WM_ENDSESSION:
        // Closed by the system: the values of an earlier OK stay as they are.
        if (wParam) EndDialog(window, IDCANCEL);
        return TRUE;
      case WM_NOTIFY:
        self->Guard([self, lParam] { self->Notify(*reinterpret_cast<const NMHDR*>(lParam)); });
        return FALSE;
      default:
        return FALSE;
    }
  }

  template <class F>
  void Guard(F&& f) {
    try {
      f();
    } catch (...) {
      failure_ = std::current_exception();
      EndDialog(dialog_, IDCANCEL);
    }
  }

  std::exception_ptr failure_;
};

SYSTEMTIME SystemTime(const PickerDate& d) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(d.year);
  t.wMonth = static_cast<WORD>(d.month);
  t.wDay = static_cast<WORD>(d.day);
  return t;
}

void SetPicker(HWND picker, const PickerDate& date) {
  SYSTEMTIME range[2] = {SystemTime(kPickerMinimum), SystemTime(kPickerMaximum)};
  SendMessageW(picker, DTM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
  // The day as the results give it, whatever the regional short date.
  SendMessageW(picker, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(L"yyyy'/'MM'/'dd"));
  SYSTEMTIME t = SystemTime(date);
  SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t));
}

PickerDate DateOf(HWND picker) {
  SYSTEMTIME t{};
  if (SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t)) != GDT_VALID) return kPickerInitial;
  return KeepInPickerRange(PickerDate{t.wYear, t.wMonth, t.wDay});
}

int Selection(HWND list) { return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)); }

void Select(HWND list, int index) { SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

std::vector<std::u16string> Items(HWND list) {
  std::vector<std::u16string> items;
  const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
    items.emplace_back(text.begin(), text.end());
  }
  return items;
}

bool Ticked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) != BST_UNCHECKED; }

// The pickers follow the period box.
void EnablePickers(HWND pane) {
  const BOOL on = Ticked(GetDlgItem(pane, IDC_chkPeriod));
  EnableWindow(GetDlgItem(pane, IDC_dtpStart), on);
  EnableWindow(GetDlgItem(pane, IDC_dtpEnd), on);
}

INT_PTR CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_chkPeriod && HIWORD(wParam) == BN_CLICKED) {
    EnablePickers(pane);
    return TRUE;
  }
  return FALSE;
}

class ExportDialog : public ModalDialog {
 public:
  ExportDialog(frmOption& values, ExportControls loaded) : values_(values), loaded_(std::move(loaded)) {}

 private:
  HWND Item(int pane, int id) const { return GetDlgItem(panes_[static_cast<std::size_t>(pane)], id); }

  void Init() override {
    HWND tabs = GetDlgItem(dialog_, IDC_TabStrip1);
    for (const std::u16string_view caption : {kTab1Caption, kTab2Caption}) {
      std::wstring text = Wide(caption);
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = text.data();
      SendMessageW(tabs, TCM_INSERTITEMW, SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), reinterpret_cast<LPARAM>(&item));
    }
    // Both panes over the tab strip's page, the first in front, both enabled.
    const std::array<int, 2> templates{IDD_Picture1_0, IDD_Picture1_1};
    const std::array<int, 2> ids{IDC_Picture1_0, IDC_Picture1_1};
    RECT place{TX(240), TY(480), TX(240) + TX(4095), TY(480) + TY(3015)};
    MapDialogRect(dialog_, &place);
    for (std::size_t i = 0; i < panes_.size(); ++i) {
      panes_[i] = CreateDialogParamW(Module(), MAKEINTRESOURCEW(templates[i]), dialog_, PaneProc, 0);
      if (panes_[i] == nullptr) throw WindowFailure("cannot make the panes of the export options");
      SetWindowLongPtrW(panes_[i], GWLP_ID, ids[i]);
      SetWindowPos(panes_[i], HWND_TOP, place.left, place.top, place.right - place.left, place.bottom - place.top,
                   SWP_NOACTIVATE | (i == 0 ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    }

    FillList(Item(0, IDC_cmbGenre), loaded_.genres);
    FillList(Item(0, IDC_cmbPublish), PublishItems());
    FillList(Item(1, IDC_cmbBR), LineBreakItems());
    FillList(Item(1, IDC_cmbHyphen), HyphenItems());
    FillList(Item(1, IDC_cmbPublishDay), PublishDayItems());
    Select(Item(0, IDC_cmbGenre), loaded_.genreIndex);
    Select(Item(0, IDC_cmbPublish), loaded_.publishIndex);
    Select(Item(1, IDC_cmbBR), loaded_.brIndex);
    Select(Item(1, IDC_cmbHyphen), loaded_.hyphenIndex);
    Select(Item(1, IDC_cmbPublishDay), loaded_.publishDayIndex);
    SetPicker(Item(0, IDC_dtpStart), loaded_.start);
    SetPicker(Item(0, IDC_dtpEnd), loaded_.end);
    EnablePickers(panes_[0]);

    tips_ = MakeTooltips(dialog_);
    const struct {
      int pane, id;
      std::u16string_view tip;
    } tips[] = {
        {0, IDC_chkGenre, kGenreTip},   {0, IDC_chkPeriod, kPeriodTip},   {0, IDC_dtpStart, kStartTip},
        {0, IDC_dtpEnd, kEndTip},       {0, IDC_chkPublish, kPublishTip}, {1, IDC_cmbBR, kLineBreakTip},
        {1, IDC_cmbHyphen, kHyphenTip}, {1, IDC_cmbPublishDay, kDateTip},
    };
    for (const auto& t : tips) AddTip(tips_, panes_[static_cast<std::size_t>(t.pane)], Item(t.pane, t.id), t.tip);
  }

  void Accept() override { AcceptExportDialog(Controls(), values_); }

  void Notify(const NMHDR& header) override {
    HWND tabs = GetDlgItem(dialog_, IDC_TabStrip1);
    if (header.hwndFrom == tabs && header.code == TCN_SELCHANGE) {
      SelectPane(static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0)));
    } else if (header.code == TTN_GETDISPINFOW &&
               header.hwndFrom == reinterpret_cast<HWND>(SendMessageW(tabs, TCM_GETTOOLTIPS, 0, 0))) {
      // The tab strip asks for the tooltip of the tab under the mouse.
      auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
      tabTip_ = Wide(header.idFrom == 0 ? kTab1Tip : kTab2Tip);
      info.lpszText = tabTip_.data();
    }
  }

  // Tab click: both panes disabled, then the chosen one enabled and in front.
  void SelectPane(int index) {
    if (index < 0 || index >= static_cast<int>(panes_.size())) return;
    for (HWND pane : panes_) EnableWindow(pane, FALSE);
    for (std::size_t i = 0; i < panes_.size(); ++i) {
      if (static_cast<int>(i) != index) ShowWindow(panes_[i], SW_HIDE);
    }
    HWND chosen = panes_[static_cast<std::size_t>(index)];
    EnableWindow(chosen, TRUE);
    SetWindowPos(chosen, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  }

  ExportControls Controls() const {
    ExportControls c;
    c.genres = Items(Item(0, IDC_cmbGenre));
    c.genreIndex = Selection(Item(0, IDC_cmbGenre));
    c.chkGenre = Ticked(Item(0, IDC_chkGenre));
    c.chkPeriod = Ticked(Item(0, IDC_chkPeriod));
    c.start = DateOf(Item(0, IDC_dtpStart));
    c.end = DateOf(Item(0, IDC_dtpEnd));
    c.chkPublish = Ticked(Item(0, IDC_chkPublish));
    c.publishIndex = Selection(Item(0, IDC_cmbPublish));
    c.brIndex = Selection(Item(1, IDC_cmbBR));
    c.hyphenIndex = Selection(Item(1, IDC_cmbHyphen));
    c.publishDayIndex = Selection(Item(1, IDC_cmbPublishDay));
    return c;
  }

  frmOption& values_;
  const ExportControls loaded_;
  std::array<HWND, 2> panes_{};
  HWND tips_ = nullptr;  // destroyed with the dialog, which owns it
  std::wstring tabTip_;
};

class ImportDialog : public ModalDialog {
 public:
  ImportDialog(frmOptionImport& values, ImportControls loaded) : values_(values), loaded_(std::move(loaded)) {}

 private:
  void Init() override {
    SetDlgItemTextW(dialog_, IDC_tTitleStTag, Wide(loaded_.tTitleStTag).c_str());
    SetDlgItemTextW(dialog_, IDC_tTitleEdTag, Wide(loaded_.tTitleEdTag).c_str());
  }

  void Accept() override {
    AcceptImportDialog(ImportControls{WindowText(GetDlgItem(dialog_, IDC_tTitleStTag)),
                                      WindowText(GetDlgItem(dialog_, IDC_tTitleEdTag))},
                       values_);
  }

  frmOptionImport& values_;
  const ImportControls loaded_;
};

}  // namespace

void Win32Option::Show() {
  ExportDialog dialog(*this, LoadExportDialog(*this));
  dialog.Run(IDD_frmOption, "the export options");
}

void Win32OptionImport::Show() {
  ImportDialog dialog(*this, LoadImportDialog(*this));
  dialog.Run(IDD_frmOptionImport, "the import options");
}

}  // namespace nbl::dialogs::win32
