// A recording fake of the windows: remembers every operation in order, can be
// told to fail at one, and answers the option dialogs from a script.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/windows.h"

namespace nbl::testing {

class FakeProgress : public dialogs::frmProgress {
 public:
  // Every operation as text: "Load", "Show", "Caption=...", "txtTitle=...",
  // "txtText=...", "Btn_OK=1"/"Btn_OK=0", "Max=N", "Value=N", "Refresh", "Yield", "Unload".
  std::vector<std::string> log;

  // When set, the operation whose log text starts with this prefix throws
  // WindowFailure (after `failAfter` earlier matches have passed).
  std::optional<std::string> failOn;
  int failAfter = 0;

  // Called at each yield to the message loop, as the other work of the thread would run there.
  std::function<void()> onYield;

 protected:
  void OnChange(Change what) override;
};

class FakeOption : public dialogs::frmOption {
 public:
  // Called in place of the modal show; sets the public values as a user would.
  std::function<void(FakeOption&)> answer;
  int shown = 0;
  void Show() override;
};

class FakeOptionImport : public dialogs::frmOptionImport {
 public:
  std::function<void(FakeOptionImport&)> answer;
  int shown = 0;
  void Show() override;
};

class FakeUi : public dialogs::Ui {
 public:
  FakeProgress progress;
  FakeOption option;
  FakeOptionImport optionImport;
  std::vector<std::u16string> messages;  // every critical message box, in order

  dialogs::frmProgress& Progress() override { return progress; }
  dialogs::frmOption& Option() override { return option; }
  dialogs::frmOptionImport& OptionImport() override { return optionImport; }
  void MsgBoxCritical(std::u16string_view message) override { messages.emplace_back(message); }
};

}  // namespace nbl::testing
