#include "dialogs/qt/qt_ui.h"

#include <QApplication>
#include <QMessageBox>
#include <string>
#include <vector>

#include "common/failure.h"
#include "dialogs/qt/option_dialogs.h"
#include "dialogs/qt/progress_window.h"
#include "dialogs/qt/text.h"

namespace nbl::dialogs::qt {
namespace {

class QtUi : public Ui {
 public:
  frmProgress& Progress() override { return progress_; }
  frmOption& Option() override { return option_; }
  frmOptionImport& OptionImport() override { return optionImport_; }

  void MsgBoxCritical(std::u16string_view message) override {
    // No title of its own: the box shows the application's name.
    QMessageBox box(QMessageBox::Critical, QString(), ToQ(message), QMessageBox::Ok, progress_.widget());
    box.setObjectName(QStringLiteral("MsgBox"));
    box.exec();
  }

 private:
  QtProgress progress_;
  QtOption option_;
  QtOptionImport optionImport_;
};

// The argument texts the application object keeps pointing to.
struct Arguments {
  std::vector<std::string> texts;
  std::vector<char*> argv;
  int argc = 0;
};

}  // namespace

bool EnsureQtApplication(int argc, char** argv) {
  if (QCoreApplication::instance() != nullptr) return false;
  static Arguments a;
  for (int i = 0; i < argc && argv != nullptr; ++i) a.texts.emplace_back(argv[i] ? argv[i] : "");
  if (a.texts.empty()) a.texts.emplace_back("nblinout");
  for (std::string& s : a.texts) a.argv.push_back(s.data());
  a.argv.push_back(nullptr);
  a.argc = static_cast<int>(a.texts.size());
  // Kept until the process ends: destroying it among the static destructors
  // could come after Qt's own globals are gone.
  static QApplication* app = new QApplication(a.argc, a.argv.data());
  (void)app;
  if (QGuiApplication::primaryScreen() == nullptr) throw WindowFailure("Qt started without a screen");
  return true;
}

std::unique_ptr<Ui> MakeQtUi() { return std::make_unique<QtUi>(); }

void WaitUntilProgressClosed(frmProgress& progress) {
  if (auto* qtProgress = dynamic_cast<QtProgress*>(&progress)) qtProgress->WaitUntilClosed();
}

}  // namespace nbl::dialogs::qt
