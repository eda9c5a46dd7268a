#include "dialogs/qt/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "dialogs/qt/geometry.h"
#include "dialogs/qt/text.h"

namespace nbl::dialogs::qt {
namespace {

// The log text arrives with CR LF line ends; the text box wants LF alone.
QString DisplayText(const std::u16string& text) {
  QString s = ToQ(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

void ButtonFaceBackground(QWidget* w) {
  QPalette p = w->palette();
  p.setColor(QPalette::Base, p.color(QPalette::Button));
  w->setPalette(p);
}

}  // namespace

ProgressWidget::ProgressWidget(QtProgress* owner) : owner_(owner) {
  setObjectName(QStringLiteral("frmProgress"));
  setWindowTitle(QStringLiteral("ProgressWindow"));
  UseWindowFont(this);
  setFixedSize(Px(4665), Px(2040));

  txtTitle = new QLineEdit(this);
  txtTitle->setObjectName(QStringLiteral("txtTitle"));
  Place(txtTitle, 120, 120, 4455, 255);

  txtText = new QPlainTextEdit(this);
  txtText->setObjectName(QStringLiteral("txtText"));
  Place(txtText, 120, 480, 4455, 615);

  // Both boxes only report; typing into them would change nothing.
  txtTitle->setReadOnly(true);
  txtText->setReadOnly(true);
  ButtonFaceBackground(txtTitle);
  ButtonFaceBackground(txtText);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  Place(ProgressBar1, 120, 1200, 4455, 255);
  ProgressBar1->setRange(0, QtProgress::kBarScale);
  ProgressBar1->setValue(0);

  Btn_OK = new QPushButton(QStringLiteral("OK"), this);
  Btn_OK->setObjectName(QStringLiteral("Btn_OK"));
  Place(Btn_OK, 1440, 1560, 1815, 375);
  connect(Btn_OK, &QPushButton::clicked, this, [this] {
    if (owner_) owner_->ClickOK();
  });
}

void ProgressWidget::closeEvent(QCloseEvent* event) {
  if (owner_ && !owner_->RequestClose()) {
    event->ignore();
    return;
  }
  event->accept();
}

QtProgress::~QtProgress() {
  if (widget_) {
    widget_->Detach();
    delete widget_.data();
  }
}

void QtProgress::WaitUntilClosed() {
  if (!widget_) return;
  QEventLoop loop;
  waiting_ = &loop;
  loop.exec();
  waiting_ = nullptr;
}

void QtProgress::OnChange(Change what) {
  const State& s = state();
  switch (what) {
    case Change::Load:
      widget_ = new ProgressWidget(this);
      return;
    case Change::Unload:
      if (widget_) {
        widget_->Detach();
        widget_->hide();
        // Deferred: the unload may come from the window's own button handler.
        widget_->deleteLater();
        widget_ = nullptr;
      }
      if (waiting_) waiting_->quit();
      return;
    case Change::Yield:
      QCoreApplication::processEvents();
      return;
    default:
      break;
  }
  if (!widget_) return;
  switch (what) {
    case Change::Show:
      widget_->show();
      widget_->raise();
      break;
    case Change::Caption:
      widget_->setWindowTitle(ToQ(s.caption));
      break;
    case Change::TxtTitle:
      widget_->txtTitle->setText(ToQ(s.txtTitle));
      break;
    case Change::TxtText:
      widget_->txtText->setPlainText(DisplayText(s.txtText));
      break;
    case Change::BtnOkEnabled:
      widget_->Btn_OK->setEnabled(s.btnOkEnabled);
      break;
    case Change::ProgressMax:
    case Change::ProgressValue:
      // A maximum of 0 (an import of an empty file) shows a full bar, not a busy one.
      widget_->ProgressBar1->setValue(
          static_cast<int>(std::lround(ProgressShare(s.progressValue, s.progressMax) * kBarScale)));
      break;
    case Change::Refresh:
      widget_->repaint();
      break;
    case Change::Load:
    case Change::Unload:
    case Change::Yield:
      break;
  }
}

}  // namespace nbl::dialogs::qt
