// The numbers of the dialog templates (dialogs.rc) and of their controls, each
// control named after the system's control, shared by the templates, the windows
// and the hosts that find controls by them. Only #defines: windres reads it too.
#pragma once

// Twips of the forms as dialog units: 15 twips a pixel, and the dialog font's
// base units of 6 x 13 pixels (four horizontal and eight vertical dialog units
// each), so the windows keep the forms' proportions and grow with the font.
#define TX(twips) ((twips)*4 / 90)
#define TY(twips) ((twips)*8 / 195)

// frmProgress. Its Btn_OK is IDOK.
#define IDD_frmProgress 101
#define IDC_txtTitle 1001
#define IDC_txtText 1002
#define IDC_ProgressBar1 1003

// frmOption: the dialog, and its two panes Picture1(0) and Picture1(1), child
// dialogs over the tab strip whose control numbers are IDC_Picture1_0 and
// IDC_Picture1_1. Btn_OK is IDOK and Btn_Cancel IDCANCEL.
#define IDD_frmOption 102
#define IDD_Picture1_0 103
#define IDD_Picture1_1 104
#define IDC_TabStrip1 1010
#define IDC_Picture1_0 1011
#define IDC_Picture1_1 1012
#define IDC_chkGenre 1020
#define IDC_cmbGenre 1021
#define IDC_chkPeriod 1022
#define IDC_dtpStart 1023
#define IDC_Label4 1024
#define IDC_dtpEnd 1025
#define IDC_chkPublish 1026
#define IDC_cmbPublish 1027
#define IDC_Label1 1030
#define IDC_cmbBR 1031
#define IDC_Label2 1032
#define IDC_cmbHyphen 1033
#define IDC_Label6 1034
#define IDC_cmbPublishDay 1035

// frmOptionImport. BtnOK is IDOK and BtnClose IDCANCEL.
#define IDD_frmOptionImport 105
#define IDC_imp_Label1 1040
#define IDC_tTitleStTag 1041
#define IDC_imp_Label2 1042
#define IDC_tTitleEdTag 1043
#define IDC_imp_Label3 1044
#define IDC_imp_Label4 1045
