// frmProgress drawn with Qt: a small modeless window that refuses to close
// until its OK button has been clicked.
#pragma once

#include <QPointer>
#include <QWidget>

#include "dialogs/windows.h"

class QEventLoop;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace nbl::dialogs::qt {

class QtProgress;

// The window itself (objectName "frmProgress"); created at each load and
// destroyed at each unload of its QtProgress.
class ProgressWidget : public QWidget {
 public:
  explicit ProgressWidget(QtProgress* owner);
  // Cut from the owner once the owner has unloaded it.
  void Detach() { owner_ = nullptr; }

  QLineEdit* txtTitle;
  QPlainTextEdit* txtText;
  QProgressBar* ProgressBar1;
  QPushButton* Btn_OK;

 protected:
  // Every close request goes through the owner's guard.
  void closeEvent(QCloseEvent* event) override;

 private:
  QtProgress* owner_;
};

class QtProgress : public frmProgress {
 public:
  // Range of the drawn bar: the share of the run is shown in tenths of a percent.
  static constexpr int kBarScale = 1000;

  ~QtProgress() override;

  // The window while loaded, else null.
  ProgressWidget* widget() const { return widget_.data(); }

  // Runs an event loop until the window is unloaded; at once when it is not loaded.
  void WaitUntilClosed();

 protected:
  void OnChange(Change what) override;

 private:
  QPointer<ProgressWidget> widget_;
  QEventLoop* waiting_ = nullptr;
};

}  // namespace nbl::dialogs::qt
