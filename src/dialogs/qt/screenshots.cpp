// Shows each window offscreen with sample contents and saves what it looks
// like as PNG files: nbl_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/text.h"
#include "dialogs/qt/progress_window.h"
#include "dialogs/qt/qt_ui.h"

namespace {

using nbl::dialogs::qt::ProgressWidget;
using nbl::dialogs::qt::QtProgress;

QString g_out;
int g_failures = 0;

void Save(QWidget* w, const char* name) {
  const QString file = QDir(g_out).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
  if (w == nullptr || !w->grab().save(file)) {
    std::fprintf(stderr, "nbl_screenshots: cannot save %s\n", qPrintable(file));
    ++g_failures;
    return;
  }
  std::printf("%s\n", qPrintable(file));
}

// Runs `inside` once the next modal dialog is up, then shows it with `show`.
void WhileModal(const std::function<void(QWidget*)>& inside, const std::function<void()>& show) {
  QTimer::singleShot(0, [inside] {
    QWidget* w = QApplication::activeModalWidget();
    if (w == nullptr) {
      std::fprintf(stderr, "nbl_screenshots: no dialog came up\n");
      ++g_failures;
      return;
    }
    inside(w);
  });
  show();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nbl_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  g_out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(g_out);
  nbl::dialogs::qt::EnsureQtApplication(argc, argv);
  auto ui = nbl::dialogs::qt::MakeQtUi();

  // The progress window during an export and after it.
  auto& progress = static_cast<QtProgress&>(nbl::dialogs::ShowRunWindow(*ui, u"Nubelo Export"));
  progress.SetProgressMax(120);
  progress.SetTxtText(u"120件のレコードを取得。エクスポートします。");
  progress.SetProgressValue(45);
  progress.DoEvents();
  Save(progress.widget(), "progress_running");
  progress.SetProgressValue(120);
  progress.SetTxtText(u"120件のレコードをエクスポート完了。\r\nExport完了！");
  progress.SetBtnOkEnabled(true);
  Save(progress.widget(), "progress_done");

  // A failure message over the window.
  WhileModal(
      [](QWidget* box) {
        Save(box, "message_box");
        box->close();
      },
      [&] { ui->MsgBoxCritical(u"DB接続エラー"); });
  progress.ClickOK();

  // The export options on both tabs, with the genres a sample store would list.
  ui->Option().PathDiaryMdb = u"diary.db";
  ui->Option().ListGenres = [](std::u16string_view) { return std::vector<std::u16string>{u"仕事", u"旅行", u"読書"}; };
  WhileModal(
      [](QWidget* dlg) {
        Save(dlg, "export_options_tab1");
        auto* tabs = dlg->findChild<QTabWidget*>(QStringLiteral("TabStrip1"));
        tabs->tabBar()->setCurrentIndex(1);
        Save(dlg, "export_options_tab2");
        dlg->findChild<QPushButton*>(QStringLiteral("Btn_Cancel"))->click();
      },
      [&] { ui->Option().Show(); });

  // The import options.
  WhileModal(
      [](QWidget* dlg) {
        Save(dlg, "import_options");
        dlg->findChild<QPushButton*>(QStringLiteral("BtnClose"))->click();
      },
      [&] { ui->OptionImport().Show(); });

  return g_failures == 0 ? 0 : 1;
}
