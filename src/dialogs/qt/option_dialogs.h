// frmOption and frmOptionImport drawn with Qt: modal dialogs built afresh at
// every showing, whose results stay in the frmOption/frmOptionImport values.
#pragma once

#include <QDialog>
#include <array>

#include "dialogs/option_logic.h"
#include "dialogs/windows.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace nbl::dialogs::qt {

// The export options window (objectName "frmOption"), in its design state.
// The panes Picture1(0) and Picture1(1) carry the objectNames "Picture1_0" and
// "Picture1_1"; every other control carries its own name.
class OptionWidget : public QDialog {
 public:
  OptionWidget();

  // The load steps: the narrow window with stacked panes, the first in front,
  // and the lists filled from `controls` (genre list and initial selections).
  void Load(const ExportControls& controls);
  // The controls as the user leaves them.
  ExportControls Controls() const;
  // Tab click: both panes disabled, the pane of tab `index` (0-based) enabled and in front.
  void SelectPane(int index);

  QTabWidget* TabStrip1;
  std::array<QFrame*, 2> Picture1;
  QCheckBox* chkGenre;
  QComboBox* cmbGenre;
  QCheckBox* chkPeriod;
  QDateEdit* dtpStart;
  QLabel* Label4;
  QDateEdit* dtpEnd;
  QCheckBox* chkPublish;
  QComboBox* cmbPublish;
  QLabel* Label1;
  QComboBox* cmbBR;
  QLabel* Label2;
  QComboBox* cmbHyphen;
  QLabel* Label6;
  QComboBox* cmbPublishDay;
  QPushButton* Btn_OK;
  QPushButton* Btn_Cancel;
};

// The import options window (objectName "frmOptionImport").
class OptionImportWidget : public QDialog {
 public:
  OptionImportWidget();

  QLabel* Label1;
  QLineEdit* tTitleStTag;
  QLabel* Label2;
  QLineEdit* tTitleEdTag;
  QLabel* Label3;
  QLabel* Label4;
  QPushButton* BtnOK;
  QPushButton* BtnClose;
};

class QtOption : public frmOption {
 public:
  // Loads a new window (a store failure passes to the caller before anything
  // is shown), runs it modally and destroys it when it closes.
  void Show() override;
};

class QtOptionImport : public frmOptionImport {
 public:
  void Show() override;
};

}  // namespace nbl::dialogs::qt
