#include "dialogs/qt/option_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

#include "common/failure.h"
#include "dialogs/genre_store.h"
#include "dialogs/option_cases.h"
#include "dialogs/qt/qt_env.h"
#include "dialogs/qt/qt_ui.h"
#include "dialogs/qt/text.h"
#include "plugin/genre_list.h"
#include "support/temp_dir.h"

namespace nbl::dialogs::qt {
namespace {

using nbl::testing::WhileModal;

QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

// The pane whose controls a user sees at `control`'s place.
QString VisiblePaneAt(QWidget* dlg, QWidget* control) {
  QWidget* top = dlg->childAt(control->mapTo(dlg, control->rect().center()));
  while (top != nullptr && !top->objectName().startsWith(QStringLiteral("Picture1_"))) top = top->parentWidget();
  return top ? top->objectName() : QString();
}

class QtOptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = MakeQtUi();
    path_ = dir_.File("diary.db");
    nbl::testing::MakeGenreStore(path_, nbl::testing::OptionCaseGenres());
    ui_->Option().PathDiaryMdb = path_;
    ui_->Option().ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
  }

  // Shows the export dialog and runs `inside` on it.
  bool ShowExport(const std::function<void(OptionWidget*)>& inside) {
    return WhileModal([&](QDialog* d) { inside(static_cast<OptionWidget*>(d)); }, [this] { ui_->Option().Show(); });
  }
  bool ShowImport(const std::function<void(OptionImportWidget*)>& inside) {
    return WhileModal([&](QDialog* d) { inside(static_cast<OptionImportWidget*>(d)); },
                      [this] { ui_->OptionImport().Show(); });
  }

  nbl::testing::TempDir dir_;
  std::u16string path_;
  std::unique_ptr<Ui> ui_;
};

TEST_F(QtOptionTest, ExportDialogAfterLoad) {
  ASSERT_TRUE(ShowExport([](OptionWidget* w) {
    EXPECT_EQ(w->objectName(), QStringLiteral("frmOption"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Nubelo Export Option"));
    EXPECT_TRUE(w->isModal());
    EXPECT_EQ(w->width(), 304);
    // The genre list of a store with "一般" and two other genres.
    EXPECT_EQ(Items(w->cmbGenre), (QStringList{"[ALL]", "一般", "仕事", "旅行"}));
    EXPECT_EQ(w->cmbGenre->currentIndex(), 0);
    EXPECT_EQ(Items(w->cmbPublish), (QStringList{"すべて", "公開のみ", "非公開のみ"}));
    EXPECT_EQ(w->cmbPublish->currentIndex(), 0);
    EXPECT_EQ(Items(w->cmbBR), (QStringList{"そのまま", "改行をBRタグにする"}));
    EXPECT_EQ(w->cmbBR->currentIndex(), 1);
    EXPECT_EQ(Items(w->cmbHyphen), (QStringList{"そのまま", "全角にする"}));
    EXPECT_EQ(w->cmbHyphen->currentIndex(), 1);
    EXPECT_EQ(Items(w->cmbPublishDay), (QStringList{"更新日", "Loggamo表示上の日"}));
    EXPECT_EQ(w->cmbPublishDay->currentIndex(), 1);
    for (QCheckBox* box : {w->chkGenre, w->chkPeriod, w->chkPublish}) EXPECT_FALSE(box->isChecked());
    for (QDateEdit* picker : {w->dtpStart, w->dtpEnd}) {
      EXPECT_EQ(picker->date(), QDate(2006, 2, 25));
      EXPECT_EQ(picker->minimumDate(), QDate(1601, 1, 1));
      EXPECT_EQ(picker->maximumDate(), QDate(9999, 12, 31));
      EXPECT_EQ(picker->displayFormat(), QStringLiteral("yyyy/MM/dd"));
    }
    // Both panes stacked over the tab strip, borderless, enabled, the first in front.
    for (QFrame* pane : w->Picture1) {
      EXPECT_EQ(pane->geometry(), QRect(16, 32, 273, 201)) << qPrintable(pane->objectName());
      EXPECT_EQ(pane->frameShape(), QFrame::NoFrame);
      EXPECT_TRUE(pane->isEnabled());
    }
    EXPECT_EQ(VisiblePaneAt(w, w->chkGenre), QStringLiteral("Picture1_0"));
    EXPECT_EQ(w->TabStrip1->tabText(0), QStringLiteral("出力設定"));
    EXPECT_EQ(w->TabStrip1->tabText(1), QStringLiteral("詳細設定"));
    EXPECT_EQ(w->TabStrip1->tabToolTip(0), QStringLiteral("出力する期間やジャンルを設定します"));
    EXPECT_EQ(w->TabStrip1->tabToolTip(1), QStringLiteral("出力時の詳細な設定を行います"));
    EXPECT_TRUE(w->Btn_OK->isDefault());
    EXPECT_EQ(w->Btn_Cancel->text(), QStringLiteral("Cancel"));
  }));
  EXPECT_EQ(ui_->Option().IsOK, vb::False);
}

TEST_F(QtOptionTest, ControlsAreFoundByTheirNames) {
  const char* names[] = {"TabStrip1", "Picture1_0", "Picture1_1",    "chkGenre",   "cmbGenre",  "chkPeriod", "dtpStart",
                         "Label4",    "dtpEnd",     "chkPublish",    "cmbPublish", "Label1",    "cmbBR",     "Label2",
                         "cmbHyphen", "Label6",     "cmbPublishDay", "Btn_OK",     "Btn_Cancel"};
  ASSERT_TRUE(ShowExport([&](OptionWidget* w) {
    for (const char* name : names) EXPECT_NE(w->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  }));
  const char* importNames[] = {"Label1", "tTitleStTag", "Label2", "tTitleEdTag",
                               "Label3", "Label4",      "BtnOK",  "BtnClose"};
  ASSERT_TRUE(ShowImport([&](OptionImportWidget* w) {
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Nubelo Import Option"));
    for (const char* name : importNames) EXPECT_NE(w->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  }));
}

QDate ToQDate(const PickerDate& d) { return QDate(d.year, d.month, d.day); }

TEST_F(QtOptionTest, OkTakesTheControlStates) {
  for (const nbl::testing::ExportOkCase& c : nbl::testing::ExportOkCases()) {
    ASSERT_TRUE(ShowExport([&](OptionWidget* w) {
      const nbl::testing::ExportChoice& u = c.choice;
      const std::pair<const std::optional<int>&, QComboBox*> lists[] = {{u.genre, w->cmbGenre},
                                                                        {u.publish, w->cmbPublish},
                                                                        {u.br, w->cmbBR},
                                                                        {u.hyphen, w->cmbHyphen},
                                                                        {u.publishDay, w->cmbPublishDay}};
      for (const auto& [index, list] : lists) {
        if (index) list->setCurrentIndex(*index);
      }
      if (u.tickGenre) w->chkGenre->setChecked(true);
      if (u.tickPeriod) w->chkPeriod->setChecked(true);
      if (u.tickPublish) w->chkPublish->setChecked(true);
      if (u.start) w->dtpStart->setDate(ToQDate(*u.start));
      if (u.end) w->dtpEnd->setDate(ToQDate(*u.end));
      QTest::mouseClick(w->Btn_OK, Qt::LeftButton);
      EXPECT_FALSE(w->isVisible()) << c.name;
    }));
    nbl::testing::ExpectExportResult(ui_->Option(), c.expected, c.name);
  }
}

TEST_F(QtOptionTest, EveryOtherWayOutAfterAnEarlierOkAnswersFalse) {
  struct Case {
    const char* name;
    std::function<void(OptionWidget*)> leave;
  } cases[] = {
      {"Cancel", [](OptionWidget* w) { QTest::mouseClick(w->Btn_Cancel, Qt::LeftButton); }},
      {"Escape", [](OptionWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }},
      {"close box", [](OptionWidget* w) { w->close(); }},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ShowExport([](OptionWidget* w) {
      w->chkPublish->setChecked(true);
      w->cmbPublish->setCurrentIndex(1);
      QTest::mouseClick(w->Btn_OK, Qt::LeftButton);
    }));
    ASSERT_EQ(ui_->Option().IsOK, vb::True);
    bool wasClosed = false;
    ASSERT_TRUE(ShowExport([&](OptionWidget* w) {
      w->chkPublish->setChecked(false);
      c.leave(w);
      wasClosed = !w->isVisible();
    }));
    EXPECT_TRUE(wasClosed) << c.name;
    EXPECT_EQ(ui_->Option().IsOK, vb::False) << c.name;
    // The results of the earlier OK are left as they were.
    EXPECT_EQ(ui_->Option().bPublish, vb::True) << c.name;
    EXPECT_EQ(ui_->Option().intPublish, 1) << c.name;
  }
}

TEST_F(QtOptionTest, EnterPressesOk) {
  ASSERT_TRUE(ShowExport([](OptionWidget* w) {
    w->chkPeriod->setChecked(true);
    QTest::keyClick(w, Qt::Key_Return);
  }));
  EXPECT_EQ(ui_->Option().IsOK, vb::True);
  EXPECT_EQ(ui_->Option().bPeriod, vb::True);
}

TEST_F(QtOptionTest, EachShowingStartsFromTheDesignState) {
  ASSERT_TRUE(ShowExport([](OptionWidget* w) {
    w->chkGenre->setChecked(true);
    w->cmbGenre->setCurrentIndex(2);
    w->dtpStart->setDate(QDate(2010, 5, 5));
    w->cmbBR->setCurrentIndex(0);
    w->TabStrip1->tabBar()->setCurrentIndex(1);
    QTest::mouseClick(w->Btn_OK, Qt::LeftButton);
  }));
  ASSERT_TRUE(ShowExport([](OptionWidget* w) {
    EXPECT_FALSE(w->chkGenre->isChecked());
    EXPECT_EQ(w->cmbGenre->currentIndex(), 0);
    EXPECT_EQ(w->dtpStart->date(), QDate(2006, 2, 25));
    EXPECT_EQ(w->cmbBR->currentIndex(), 1);
    EXPECT_EQ(w->TabStrip1->currentIndex(), 0);
    EXPECT_EQ(VisiblePaneAt(w, w->chkGenre), QStringLiteral("Picture1_0"));
    EXPECT_TRUE(w->Picture1[1]->isEnabled());
  }));
}

TEST_F(QtOptionTest, TabClicksSwitchPanes) {
  ASSERT_TRUE(ShowExport([](OptionWidget* w) {
    QTabBar* bar = w->TabStrip1->tabBar();
    struct Step {
      int tab;
      const char* front;
      const char* back;
      QWidget* probe;
    } steps[] = {
        {1, "Picture1_1", "Picture1_0", w->cmbBR},
        {1, "Picture1_1", "Picture1_0", w->cmbHyphen},  // the current tab clicked again
        {0, "Picture1_0", "Picture1_1", w->chkGenre},
        {1, "Picture1_1", "Picture1_0", w->cmbPublishDay},
    };
    for (const Step& s : steps) {
      QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(s.tab).center());
      EXPECT_EQ(VisiblePaneAt(w, s.probe), QString::fromLatin1(s.front)) << s.tab;
      EXPECT_TRUE(w->findChild<QFrame*>(QString::fromLatin1(s.front))->isEnabled()) << s.tab;
      EXPECT_FALSE(w->findChild<QFrame*>(QString::fromLatin1(s.back))->isEnabled()) << s.tab;
    }
  }));
}

TEST_F(QtOptionTest, UnreadableStoreFailsTheShowBeforeAnyWindow) {
  ui_->Option().PathDiaryMdb = dir_.File("missing.db");
  ui_->Option().ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
  ui_->Option().IsOK = vb::True;
  EXPECT_THROW(ShowExport([](OptionWidget*) {}), StoreFailure);
  QCoreApplication::processEvents();  // the timer that looked for a dialog
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(ui_->Option().IsOK, vb::False);
}

TEST_F(QtOptionTest, ImportDialog) {
  using nbl::testing::Leave;
  for (const nbl::testing::ImportCase& c : nbl::testing::ImportCases()) {
    ASSERT_TRUE(ShowImport([&](OptionImportWidget* w) {
      // Every showing starts from the defaults, whatever an earlier one left.
      EXPECT_EQ(w->tTitleStTag->text(), QStringLiteral("<H2>")) << c.name;
      EXPECT_EQ(w->tTitleEdTag->text(), QStringLiteral("</H2>")) << c.name;
      const std::pair<const std::optional<std::u16string>&, QLineEdit*> boxes[] = {{c.start, w->tTitleStTag},
                                                                                   {c.end, w->tTitleEdTag}};
      for (const auto& [typed, box] : boxes) {
        if (!typed) continue;
        box->clear();
        QTest::keyClicks(box, ToQ(*typed));
      }
      switch (c.leave) {
        case Leave::kOk:
          QTest::mouseClick(w->BtnOK, Qt::LeftButton);
          break;
        case Leave::kEnter:
          QTest::keyClick(w->tTitleStTag, Qt::Key_Return);
          break;
        case Leave::kClose:
          QTest::mouseClick(w->BtnClose, Qt::LeftButton);
          break;
        case Leave::kEscape:
          QTest::keyClick(w, Qt::Key_Escape);
          break;
        case Leave::kCloseBox:
          w->close();
          break;
      }
      EXPECT_FALSE(w->isVisible()) << c.name;
    }));
    const frmOptionImport& o = ui_->OptionImport();
    EXPECT_EQ(o.IsOK, c.isOK) << c.name;
    EXPECT_EQ(o.stTitleStTag, c.stTitleStTag) << c.name;
    EXPECT_EQ(o.stTitleEdTag, c.stTitleEdTag) << c.name;
  }
}

}  // namespace
}  // namespace nbl::dialogs::qt
