// The application object for the Qt window tests, and a way to act inside a
// modal dialog while its exec() runs.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

namespace nbl::testing {

// Runs `inside` on the modal dialog that `show` brings up, from the dialog's
// own event loop. A dialog still open after `inside` is rejected, so that a
// failing test ends instead of waiting for a user. Returns whether a dialog came up.
inline bool WhileModal(const std::function<void(QDialog*)>& inside, const std::function<void()>& show) {
  bool cameUp = false;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dlg == nullptr) return;
    cameUp = true;
    inside(dlg);
    if (dlg->isVisible()) dlg->reject();
  });
  show();
  return cameUp;
}

}  // namespace nbl::testing
