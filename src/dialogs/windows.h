// The windows the plug-in shows, as the runs and the handle see them; each
// backend (Qt, console, silent, a test fake) implements Ui. Whoever starts a run
// passes the windows it uses; the per-thread set lives at the plug-in boundary.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "common/vb_types.h"

namespace nbl::dialogs {

// frmProgress: the modeless progress window of a run. This base holds the
// window's state and its close guard; a backend draws it through OnChange.
class frmProgress {
 public:
  enum class Change {
    Load,
    Show,
    Caption,
    TxtTitle,
    TxtText,
    BtnOkEnabled,
    ProgressMax,
    ProgressValue,
    Refresh,
    Yield,
    Unload
  };

  struct State {
    bool loaded = false;
    std::u16string caption = u"ProgressWindow";
    std::u16string txtTitle;
    std::u16string txtText;
    float progressMax = 100.0f;  // ProgressBar1.Max; the minimum stays 0
    float progressValue = 0.0f;  // ProgressBar1.Value
    bool btnOkEnabled = true;    // Btn_OK.Enabled
  };

  virtual ~frmProgress() = default;

  // Public value: while False every request to close the window is refused.
  vb::Boolean EnableBatsuBtn = vb::False;

  // Shows the window without blocking; loads it first (design state,
  // EnableBatsuBtn False) when it is not loaded.
  void Show();
  void SetCaption(std::u16string_view caption);
  void SetTxtTitle(std::u16string_view text);
  void SetTxtText(std::u16string_view text);
  void SetBtnOkEnabled(bool enabled);
  void SetProgressMax(float max);
  float ProgressValue() const { return state_.progressValue; }
  void SetProgressValue(float value);
  void Refresh();
  // Lets the window system process the events that are waiting.
  void DoEvents();

  // Any request to close (close box, keyboard, unload from code): granted, and
  // the window unloaded, only while EnableBatsuBtn is True. Returns whether it closed.
  bool RequestClose();
  // A click on Btn_OK: EnableBatsuBtn True, then the window unloads itself.
  void ClickOK();

  const State& state() const { return state_; }
  bool IsLoaded() const { return state_.loaded; }

 protected:
  // Called after each operation has changed the state; backends draw here.
  virtual void OnChange(Change what) = 0;

 private:
  void Unload();
  State state_;
};

// The filled share of a progress bar, 0..1, for `value` of `max`. A maximum of 0
// or less reads as all done (nothing is left to process, and the share must not
// divide by zero); values outside 0..max and non-numbers are kept within 0..1.
double ProgressShare(float value, float max);

// frmOption: the modal export options dialog. Public values outlive its window.
class frmOption {
 public:
  virtual ~frmOption() = default;

  std::u16string PathDiaryMdb;
  // Lists the genres of the store at a path, other than the general one, each
  // once, in order; given by the host with PathDiaryMdb. Its failure passes.
  std::function<std::vector<std::u16string>(std::u16string_view)> ListGenres;
  vb::Boolean IsOK = vb::False;
  vb::Boolean bGenre = vb::False;
  std::u16string stGenre;
  vb::Boolean bPeriod = vb::False;
  std::u16string stStart;
  std::u16string stEnd;
  vb::Boolean bPublish = vb::False;
  vb::Integer intPublish;
  vb::Integer intBR;
  vb::Integer intHyphen;
  vb::Integer intPublishDay;

  // Loads (IsOK False, the genre list of PathDiaryMdb), shows modally and
  // returns when closed. A failure while loading passes to the caller.
  virtual void Show() = 0;
};

// frmOptionImport: the modal import options dialog.
class frmOptionImport {
 public:
  virtual ~frmOptionImport() = default;

  vb::Boolean IsOK = vb::False;
  std::u16string stTitleStTag{kDefaultTitleStartTag};
  std::u16string stTitleEdTag{kDefaultTitleEndTag};

  // Loads (defaults), shows modally and returns when closed.
  virtual void Show() = 0;
};

// One backend's windows: the progress window, the two option dialogs and the message box.
class Ui {
 public:
  virtual ~Ui() = default;
  virtual frmProgress& Progress() = 0;
  virtual frmOption& Option() = 0;
  virtual frmOptionImport& OptionImport() = 0;
  // A message box with the critical icon, only an OK button and no title of
  // its own; returns when the user has closed it.
  virtual void MsgBoxCritical(std::u16string_view message) = 0;
};

// What every run does first with its progress window: show it, set the runs'
// caption and `title` ("Nubelo Export", "Nubelo Import"), disable OK.
frmProgress& ShowRunWindow(Ui& windows, std::u16string_view title);

// What every run does when it fails: the step text alone in a critical message
// box, then OK enabled so that the window can be dismissed. Never throws.
void ShowRunFailure(Ui& windows, std::u16string_view stepText) noexcept;

}  // namespace nbl::dialogs
