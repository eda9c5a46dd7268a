#include "plugin/com/plugin_ui.h"

#include <cstdlib>
#include <cstring>

namespace nbl::com {

namespace {

class SilentProgress final : public dialogs::frmProgress {
 protected:
  void OnChange(Change) override {}
};

class SilentOption final : public dialogs::frmOption {
 public:
  void Show() override { IsOK = vb::False; }
};

class SilentOptionImport final : public dialogs::frmOptionImport {
 public:
  void Show() override {
    IsOK = vb::False;
    stTitleStTag = u"<H2>";
    stTitleEdTag = u"</H2>";
  }
};

class SilentUi final : public dialogs::Ui {
 public:
  dialogs::frmProgress& Progress() override { return progress_; }
  dialogs::frmOption& Option() override { return option_; }
  dialogs::frmOptionImport& OptionImport() override { return optionImport_; }
  void MsgBoxCritical(std::u16string_view) override {}

 private:
  SilentProgress progress_;
  SilentOption option_;
  SilentOptionImport optionImport_;
};

}  // namespace

std::unique_ptr<dialogs::Ui> MakeSilentUi() { return std::make_unique<SilentUi>(); }

void SelectHostWindows() noexcept {
  thread_local bool chosen = false;
  if (chosen) return;
  chosen = true;
  const char* choice = std::getenv("NBL_UI");
  if (choice == nullptr || std::strcmp(choice, "none") != 0) return;
  try {
    dialogs::InstallUi(MakeSilentUi());
  } catch (...) {
    // Out of memory: the console windows stay.
  }
}

}  // namespace nbl::com
