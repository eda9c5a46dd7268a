#include "dialogs/silent_ui.h"

#include "common/records.h"

namespace nbl::dialogs {
namespace {

class SilentProgress final : public frmProgress {
 protected:
  void OnChange(Change) override {}
};

class CancelOption final : public frmOption {
 public:
  void Show() override { IsOK = vb::False; }
};

class CancelOptionImport final : public frmOptionImport {
 public:
  void Show() override {
    IsOK = vb::False;
    stTitleStTag = kDefaultTitleStartTag;
    stTitleEdTag = kDefaultTitleEndTag;
  }
};

class SilentUi final : public Ui {
 public:
  explicit SilentUi(std::function<void(std::u16string_view)> onMessage) : onMessage_(std::move(onMessage)) {}

  frmProgress& Progress() override { return progress_; }
  frmOption& Option() override { return option_; }
  frmOptionImport& OptionImport() override { return optionImport_; }
  void MsgBoxCritical(std::u16string_view message) override {
    if (onMessage_) onMessage_(message);
  }

 private:
  std::function<void(std::u16string_view)> onMessage_;
  SilentProgress progress_;
  CancelOption option_;
  CancelOptionImport optionImport_;
};

}  // namespace

std::unique_ptr<Ui> MakeSilentUi(std::function<void(std::u16string_view)> onMessage) {
  return std::make_unique<SilentUi>(std::move(onMessage));
}

}  // namespace nbl::dialogs
