// Windows for the command line: wraps the chosen backend and remembers whether
// a run showed a failure, so the command can end with the right status.
#pragma once

#include <memory>

#include "dialogs/windows.h"

namespace nbl::cli {

class ReportingUi : public dialogs::Ui {
 public:
  explicit ReportingUi(std::unique_ptr<dialogs::Ui> inner) : inner_(std::move(inner)) {}

  dialogs::frmProgress& Progress() override { return inner_->Progress(); }
  dialogs::frmOption& Option() override { return inner_->Option(); }
  dialogs::frmOptionImport& OptionImport() override { return inner_->OptionImport(); }
  void MsgBoxCritical(std::u16string_view message) override {
    failed_ = true;
    inner_->MsgBoxCritical(message);
  }

  bool failed() const { return failed_; }

 private:
  std::unique_ptr<dialogs::Ui> inner_;
  bool failed_ = false;
};

}  // namespace nbl::cli
