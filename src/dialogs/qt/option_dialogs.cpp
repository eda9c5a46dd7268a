#include "dialogs/qt/option_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <exception>
#include <memory>

#include "dialogs/qt/geometry.h"
#include "dialogs/qt/text.h"

namespace nbl::dialogs::qt {
namespace {

template <typename W>
W* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
  W* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  Place(w, left, top, width, height);
  return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, std::u16string_view caption, int l, int t, int w, int h) {
  QLabel* label = Make<QLabel>(parent, name, l, t, w, h);
  label->setText(ToQ(caption));
  return label;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, std::u16string_view caption, std::u16string_view tip, int l,
                     int t, int w, int h) {
  QCheckBox* box = Make<QCheckBox>(parent, name, l, t, w, h);
  box->setText(ToQ(caption));
  box->setToolTip(ToQ(tip));
  return box;
}

QComboBox* MakeList(QWidget* parent, const char* name, const std::vector<std::u16string>& items,
                    std::u16string_view tip, int l, int t, int w, int h) {
  QComboBox* list = Make<QComboBox>(parent, name, l, t, w, h);
  for (const std::u16string& item : items) list->addItem(ToQ(item));
  if (!tip.empty()) list->setToolTip(ToQ(tip));
  return list;
}

QDateEdit* MakePicker(QWidget* parent, const char* name, std::u16string_view tip, int l, int t, int w, int h) {
  QDateEdit* picker = Make<QDateEdit>(parent, name, l, t, w, h);
  picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
  picker->setCalendarPopup(true);
  picker->setDateRange(QDate(kPickerMinimum.year, kPickerMinimum.month, kPickerMinimum.day),
                       QDate(kPickerMaximum.year, kPickerMaximum.month, kPickerMaximum.day));
  picker->setDate(QDate(kPickerInitial.year, kPickerInitial.month, kPickerInitial.day));
  picker->setToolTip(ToQ(tip));
  return picker;
}

PickerDate DateOf(const QDateEdit* picker) {
  const QDate d = picker->date();
  return PickerDate{d.year(), d.month(), d.day()};
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h) {
  QPushButton* b = Make<QPushButton>(parent, name, l, t, w, h);
  b->setText(QString::fromLatin1(caption));
  return b;
}

}  // namespace

OptionWidget::OptionWidget() {
  setObjectName(QStringLiteral("frmOption"));
  setWindowTitle(ToQ(kExportCaption));
  UseWindowFont(this);
  setFixedSize(Px(8760), Px(4320));

  TabStrip1 = Make<QTabWidget>(this, "TabStrip1", 120, 120, 4335, 3495);
  TabStrip1->addTab(new QWidget, ToQ(kTab1Caption));
  TabStrip1->addTab(new QWidget, ToQ(kTab2Caption));
  TabStrip1->setTabToolTip(0, ToQ(kTab1Tip));
  TabStrip1->setTabToolTip(1, ToQ(kTab2Tip));

  // At design the second pane stands to the right of the first; the load stacks them.
  Picture1[0] = Make<QFrame>(this, "Picture1_0", 240, 480, 4095, 3015);
  Picture1[1] = Make<QFrame>(this, "Picture1_1", 4560, 480, 4095, 3015);
  for (QFrame* pane : Picture1) {
    pane->setFrameShape(QFrame::Box);
    pane->setAutoFillBackground(true);
  }

  QFrame* p0 = Picture1[0];
  chkGenre = MakeCheck(p0, "chkGenre", kGenreCaption, kGenreTip, 120, 120, 1095, 255);
  cmbGenre = MakeList(p0, "cmbGenre", {}, u"", 1680, 120, 2175, 300);
  chkPeriod = MakeCheck(p0, "chkPeriod", kPeriodCaption, kPeriodTip, 120, 600, 975, 255);
  dtpStart = MakePicker(p0, "dtpStart", kStartTip, 960, 600, 1335, 255);
  Label4 = MakeLabel(p0, "Label4", u"～", 2320, 640, 255, 255);
  dtpEnd = MakePicker(p0, "dtpEnd", kEndTip, 2520, 600, 1335, 255);
  chkPublish = MakeCheck(p0, "chkPublish", kPublishCaption, kPublishTip, 120, 1080, 1455, 255);
  cmbPublish = MakeList(p0, "cmbPublish", PublishItems(), u"", 1680, 1080, 2175, 300);

  QFrame* p1 = Picture1[1];
  Label1 = MakeLabel(p1, "Label1", kLineBreakCaption, 240, 165, 1215, 255);
  cmbBR = MakeList(p1, "cmbBR", LineBreakItems(), kLineBreakTip, 1320, 120, 2535, 300);
  Label2 = MakeLabel(p1, "Label2", kHyphenCaption, 240, 645, 1335, 255);
  cmbHyphen = MakeList(p1, "cmbHyphen", HyphenItems(), kHyphenTip, 1320, 600, 2535, 300);
  Label6 = MakeLabel(p1, "Label6", kDateCaption, 240, 1125, 1335, 255);
  cmbPublishDay = MakeList(p1, "cmbPublishDay", PublishDayItems(), kDateTip, 1320, 1080, 2535, 300);

  Btn_OK = MakeButton(this, "Btn_OK", "OK", 120, 3720, 2055, 495);
  Btn_Cancel = MakeButton(this, "Btn_Cancel", "Cancel", 2280, 3720, 2175, 495);
  Btn_OK->setDefault(true);
  connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);

  // A click on a tab, the current one included, or a change of tab by keyboard.
  connect(TabStrip1->tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
    if (index >= 0) SelectPane(index);
  });
  connect(TabStrip1, &QTabWidget::currentChanged, this, [this](int index) {
    if (index >= 0) SelectPane(index);
  });
}

void OptionWidget::Load(const ExportControls& c) {
  // The outer width of 4650 twips, less a fixed dialog's frame of 45 twips a side.
  setFixedSize(Px(4650 - 2 * 45), height());
  for (QFrame* pane : Picture1) {
    pane->move(Px(240), Px(480));
    pane->setFrameShape(QFrame::NoFrame);
  }
  Picture1[0]->raise();

  cmbGenre->clear();
  for (const std::u16string& genre : c.genres) cmbGenre->addItem(ToQ(genre));
  cmbBR->setCurrentIndex(c.brIndex);
  cmbHyphen->setCurrentIndex(c.hyphenIndex);
  cmbGenre->setCurrentIndex(c.genreIndex);
  cmbPublish->setCurrentIndex(c.publishIndex);
  cmbPublishDay->setCurrentIndex(c.publishDayIndex);
}

ExportControls OptionWidget::Controls() const {
  ExportControls c;
  for (int i = 0; i < cmbGenre->count(); ++i) c.genres.push_back(FromQ(cmbGenre->itemText(i)));
  c.genreIndex = cmbGenre->currentIndex();
  c.chkGenre = chkGenre->checkState() != Qt::Unchecked;
  c.chkPeriod = chkPeriod->checkState() != Qt::Unchecked;
  c.start = DateOf(dtpStart);
  c.end = DateOf(dtpEnd);
  c.chkPublish = chkPublish->checkState() != Qt::Unchecked;
  c.publishIndex = cmbPublish->currentIndex();
  c.brIndex = cmbBR->currentIndex();
  c.hyphenIndex = cmbHyphen->currentIndex();
  c.publishDayIndex = cmbPublishDay->currentIndex();
  return c;
}

void OptionWidget::SelectPane(int index) {
  if (index < 0 || index >= static_cast<int>(Picture1.size())) return;
  for (QFrame* pane : Picture1) pane->setEnabled(false);
  Picture1[static_cast<std::size_t>(index)]->setEnabled(true);
  Picture1[static_cast<std::size_t>(index)]->raise();
}

OptionImportWidget::OptionImportWidget() {
  setObjectName(QStringLiteral("frmOptionImport"));
  setWindowTitle(ToQ(kImportCaption));
  UseWindowFont(this);
  setFixedSize(Px(4410), Px(2790));

  Label1 = MakeLabel(this, "Label1", kImportHeading, 600, 360, 3375, 255);
  tTitleStTag = Make<QLineEdit>(this, "tTitleStTag", 960, 960, 855, 270);
  tTitleStTag->setText(ToQ(kDefaultTitleStartTag));
  Label2 = MakeLabel(this, "Label2", u"見出し", 1920, 1000, 855, 255);
  tTitleEdTag = Make<QLineEdit>(this, "tTitleEdTag", 2520, 960, 855, 270);
  tTitleEdTag->setText(ToQ(kDefaultTitleEndTag));
  Label3 = MakeLabel(this, "Label3", kStartTagCaption, 960, 1320, 855, 255);
  Label4 = MakeLabel(this, "Label4", kEndTagCaption, 2520, 1320, 855, 255);
  BtnOK = MakeButton(this, "BtnOK", "OK", 120, 2040, 2055, 615);
  BtnClose = MakeButton(this, "BtnClose", "Close", 2280, 2040, 2055, 615);
  BtnOK->setDefault(true);
  connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
}

void QtOption::Show() {
  auto w = std::make_unique<OptionWidget>();
  w->Load(LoadExportDialog(*this));
  // An exception must not cross Qt's event loop: it is carried out of exec() instead.
  std::exception_ptr failure;
  QObject::connect(w->Btn_OK, &QPushButton::clicked, w.get(), [this, view = w.get(), &failure] {
    try {
      AcceptExportDialog(view->Controls(), *this);
      view->accept();
    } catch (...) {
      failure = std::current_exception();
      view->reject();
    }
  });
  w->exec();
  if (failure) std::rethrow_exception(failure);
}

void QtOptionImport::Show() {
  const ImportControls initial = LoadImportDialog(*this);
  auto w = std::make_unique<OptionImportWidget>();
  w->tTitleStTag->setText(ToQ(initial.tTitleStTag));
  w->tTitleEdTag->setText(ToQ(initial.tTitleEdTag));
  QObject::connect(w->BtnOK, &QPushButton::clicked, w.get(), [this, view = w.get()] {
    AcceptImportDialog(ImportControls{FromQ(view->tTitleStTag->text()), FromQ(view->tTitleEdTag->text())}, *this);
    view->accept();
  });
  w->exec();
}

}  // namespace nbl::dialogs::qt
