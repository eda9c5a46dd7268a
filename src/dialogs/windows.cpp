#include "dialogs/windows.h"

#include <cmath>

namespace nbl::dialogs {

double ProgressShare(float value, float max) {
  if (!(max > 0)) return std::isnan(max) ? 0.0 : 1.0;
  double share = static_cast<double>(value) / max;
  if (!std::isfinite(share) || share < 0) return 0.0;
  return share > 1 ? 1.0 : share;
}

void frmProgress::Show() {
  if (!state_.loaded) {
    state_ = State{};
    state_.loaded = true;
    EnableBatsuBtn = vb::False;
    OnChange(Change::Load);
  }
  OnChange(Change::Show);
}

void frmProgress::SetCaption(std::u16string_view caption) {
  state_.caption = caption;
  OnChange(Change::Caption);
}

void frmProgress::SetTxtTitle(std::u16string_view text) {
  state_.txtTitle = text;
  OnChange(Change::TxtTitle);
}

void frmProgress::SetTxtText(std::u16string_view text) {
  state_.txtText = text;
  OnChange(Change::TxtText);
}

void frmProgress::SetBtnOkEnabled(bool enabled) {
  state_.btnOkEnabled = enabled;
  OnChange(Change::BtnOkEnabled);
}

void frmProgress::SetProgressMax(float max) {
  state_.progressMax = max;
  OnChange(Change::ProgressMax);
}

void frmProgress::SetProgressValue(float value) {
  state_.progressValue = value;
  OnChange(Change::ProgressValue);
}

void frmProgress::Refresh() { OnChange(Change::Refresh); }

void frmProgress::DoEvents() { OnChange(Change::Yield); }

bool frmProgress::RequestClose() {
  if (!state_.loaded) return true;
  if (EnableBatsuBtn != vb::True) return false;
  Unload();
  return true;
}

void frmProgress::ClickOK() {
  EnableBatsuBtn = vb::True;
  RequestClose();
}

void frmProgress::Unload() {
  state_.loaded = false;
  OnChange(Change::Unload);
}

}  // namespace nbl::dialogs
