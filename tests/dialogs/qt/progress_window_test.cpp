#include "dialogs/qt/progress_window.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "dialogs/qt/qt_ui.h"

namespace nbl::dialogs::qt {
namespace {

class QtProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = MakeQtUi();
    progress_ = static_cast<QtProgress*>(&ui_->Progress());
  }
  void TearDown() override {
    ui_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // The opening of a run as the export and import runs do it.
  void StartRun(const char16_t* title) {
    progress_->Show();
    progress_->SetCaption(u"Nubelo Imp/Exp for Loggamo");
    progress_->SetTxtTitle(title);
    progress_->SetBtnOkEnabled(false);
  }

  static void DeleteLater() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  std::unique_ptr<Ui> ui_;
  QtProgress* progress_ = nullptr;
};

TEST_F(QtProgressTest, DesignState) {
  progress_->Show();
  ProgressWidget* w = progress_->widget();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->isModal());
  EXPECT_EQ(w->windowTitle(), QStringLiteral("ProgressWindow"));
  for (const char* name : {"txtTitle", "txtText", "ProgressBar1", "Btn_OK"}) {
    EXPECT_NE(w->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  }
  EXPECT_EQ(w->txtTitle->text(), QString());
  EXPECT_EQ(w->txtText->toPlainText(), QString());
  EXPECT_EQ(w->ProgressBar1->value(), 0);
  EXPECT_TRUE(w->Btn_OK->isEnabled());
  EXPECT_EQ(w->Btn_OK->text(), QStringLiteral("OK"));
  for (QWidget* box : {static_cast<QWidget*>(w->txtTitle), static_cast<QWidget*>(w->txtText)}) {
    EXPECT_EQ(box->palette().color(QPalette::Base), box->palette().color(QPalette::Button))
        << qPrintable(box->objectName());
  }
  EXPECT_EQ(progress_->EnableBatsuBtn, vb::False);
}

TEST_F(QtProgressTest, EveryCloseRequestIsRefusedUntilOk) {
  struct Attempt {
    const char* name;
    std::function<void(ProgressWidget*, frmProgress&)> close;
  } attempts[] = {
      {"close() from code", [](ProgressWidget* w, frmProgress&) { w->close(); }},
      {"close box",
       [](ProgressWidget* w, frmProgress&) {
         QCloseEvent e;
         QCoreApplication::sendEvent(w, &e);
       }},
      {"unload from code", [](ProgressWidget*, frmProgress& p) { EXPECT_FALSE(p.RequestClose()); }},
      {"Escape key", [](ProgressWidget* w, frmProgress&) { QTest::keyClick(w, Qt::Key_Escape); }},
  };
  StartRun(u"Nubelo Export");
  QPointer<ProgressWidget> w = progress_->widget();
  for (const Attempt& a : attempts) {
    a.close(w, *progress_);
    DeleteLater();
    ASSERT_FALSE(w.isNull()) << "during the run: " << a.name;
    EXPECT_TRUE(w->isVisible()) << "during the run: " << a.name;
  }
  // The run has finished, but OK was not clicked yet.
  progress_->SetTxtText(u"3件のレコードをエクスポート完了。\r\nExport完了！");
  progress_->SetBtnOkEnabled(true);
  for (const Attempt& a : attempts) {
    a.close(w, *progress_);
    DeleteLater();
    ASSERT_FALSE(w.isNull()) << "after the run: " << a.name;
    EXPECT_TRUE(w->isVisible()) << "after the run: " << a.name;
    EXPECT_TRUE(progress_->IsLoaded());
  }
  QTest::mouseClick(w->Btn_OK, Qt::LeftButton);
  EXPECT_FALSE(progress_->IsLoaded());
  EXPECT_EQ(progress_->widget(), nullptr);
  DeleteLater();
  EXPECT_TRUE(w.isNull());  // the window is destroyed, not only hidden
}

TEST_F(QtProgressTest, NextRunAfterOkStartsFromTheDesignState) {
  StartRun(u"Nubelo Import");
  progress_->SetProgressMax(10);
  progress_->SetProgressValue(10);
  progress_->SetTxtText(u"\r\n1件の日記をImport完了！");
  progress_->SetBtnOkEnabled(true);
  QTest::mouseClick(progress_->widget()->Btn_OK, Qt::LeftButton);
  DeleteLater();

  progress_->Show();
  ProgressWidget* w = progress_->widget();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), QStringLiteral("ProgressWindow"));
  EXPECT_EQ(w->txtTitle->text(), QString());
  EXPECT_EQ(w->txtText->toPlainText(), QString());
  EXPECT_EQ(w->ProgressBar1->value(), 0);
  EXPECT_EQ(progress_->EnableBatsuBtn, vb::False);
  EXPECT_FALSE(progress_->RequestClose());
}

TEST_F(QtProgressTest, SecondRunWhileOpenReusesTheWindow) {
  StartRun(u"Nubelo Export");
  progress_->SetTxtText(u"該当する日記がありません。");
  progress_->SetBtnOkEnabled(true);
  QPointer<ProgressWidget> first = progress_->widget();
  progress_->Show();
  EXPECT_EQ(progress_->widget(), first.data());
  EXPECT_EQ(first->txtText->toPlainText(), QStringLiteral("該当する日記がありません。"));
  progress_->SetTxtTitle(u"Nubelo Import");
  EXPECT_EQ(first->txtTitle->text(), QStringLiteral("Nubelo Import"));
  EXPECT_EQ(first->windowTitle(), QStringLiteral("Nubelo Imp/Exp for Loggamo"));
}

TEST_F(QtProgressTest, ControlsFollowTheRun) {
  StartRun(u"Nubelo Export");
  ProgressWidget* w = progress_->widget();
  EXPECT_FALSE(w->Btn_OK->isEnabled());
  struct Case {
    float max, value;
    int shown;  // in tenths of a percent
  } cases[] = {
      {100, 0, 0},  {4, 1, 250}, {3, 2, 667}, {4, 4, 1000}, {10, 25, 1000},  // the export never resets the value
      {0, 0, 1000},                                                          // nothing to do: full, and not a busy bar
      {0, 5, 1000},
  };
  for (const Case& c : cases) {
    progress_->SetProgressMax(c.max);
    progress_->SetProgressValue(c.value);
    EXPECT_EQ(w->ProgressBar1->value(), c.shown) << c.value << "/" << c.max;
    EXPECT_EQ(w->ProgressBar1->maximum(), QtProgress::kBarScale);
  }
  progress_->SetTxtText(u"12件のレコードをエクスポート完了。\r\nExport完了！");
  EXPECT_EQ(w->txtText->toPlainText(), QStringLiteral("12件のレコードをエクスポート完了。\nExport完了！"));
  progress_->SetBtnOkEnabled(true);
  EXPECT_TRUE(w->Btn_OK->isEnabled());
}

TEST_F(QtProgressTest, YieldServesWaitingEvents) {
  progress_->Show();
  bool served = false;
  QTimer::singleShot(0, [&] { served = true; });
  progress_->DoEvents();
  EXPECT_TRUE(served);
}

TEST_F(QtProgressTest, WaitUntilClosedReturnsAfterOk) {
  WaitUntilProgressClosed(*progress_);  // not loaded: returns at once
  StartRun(u"Nubelo Export");
  progress_->SetBtnOkEnabled(true);
  QTimer::singleShot(0, [this] { QTest::mouseClick(progress_->widget()->Btn_OK, Qt::LeftButton); });
  WaitUntilProgressClosed(*progress_);
  EXPECT_FALSE(progress_->IsLoaded());
}

TEST_F(QtProgressTest, CriticalMessageBox) {
  StartRun(u"Nubelo Export");
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    box->button(QMessageBox::Ok)->click();
  });
  ui_->MsgBoxCritical(u"DB接続エラー");
  EXPECT_EQ(text, QStringLiteral("DB接続エラー"));
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

}  // namespace
}  // namespace nbl::dialogs::qt
