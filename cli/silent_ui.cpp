#include <cstdio>

#include "cli/reporting_ui.h"
#include "common/text.h"

namespace nbl::cli {
namespace {

class SilentProgress : public dialogs::frmProgress {
 protected:
  void OnChange(Change) override {}
};

class CancelOption : public dialogs::frmOption {
 public:
  void Show() override { IsOK = vb::False; }
};

class CancelOptionImport : public dialogs::frmOptionImport {
 public:
  void Show() override { IsOK = vb::False; }
};

class SilentUi : public dialogs::Ui {
 public:
  dialogs::frmProgress& Progress() override { return progress_; }
  dialogs::frmOption& Option() override { return option_; }
  dialogs::frmOptionImport& OptionImport() override { return optionImport_; }
  void MsgBoxCritical(std::u16string_view message) override {
    std::fprintf(stderr, "NBLinout: %s\n", text::ToUtf8(message).c_str());
  }

 private:
  SilentProgress progress_;
  CancelOption option_;
  CancelOptionImport optionImport_;
};

}  // namespace

std::unique_ptr<dialogs::Ui> MakeSilentUi() { return std::make_unique<SilentUi>(); }

}  // namespace nbl::cli
