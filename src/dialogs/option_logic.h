// What the two option dialogs do, apart from drawing: their fixed texts and
// lists, the state of their controls after loading, the genre list, and the
// results taken at OK. The Qt and console dialogs both use
// it, so the rules live here once.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/windows.h"

namespace nbl::dialogs {

// ---- Export options -------------------------------------------------------

inline constexpr std::u16string_view kExportCaption = u"Nubelo Export Option";
inline constexpr std::u16string_view kAllGenres = u"[ALL]";

// Captions of the tabs and of the controls that both kinds of dialog show.
inline constexpr std::u16string_view kTab1Caption = u"出力設定";
inline constexpr std::u16string_view kTab2Caption = u"詳細設定";
inline constexpr std::u16string_view kGenreCaption = u"ジャンル";
inline constexpr std::u16string_view kPeriodCaption = u"期間";
inline constexpr std::u16string_view kPublishCaption = u"出力設定";
inline constexpr std::u16string_view kLineBreakCaption = u"改行";
inline constexpr std::u16string_view kHyphenCaption = u"ハイフン";
inline constexpr std::u16string_view kDateCaption = u"日付";

// Tooltips of the tabs and controls that show one.
inline constexpr std::u16string_view kTab1Tip = u"出力する期間やジャンルを設定します";
inline constexpr std::u16string_view kTab2Tip = u"出力時の詳細な設定を行います";
inline constexpr std::u16string_view kGenreTip = u"ジャンルを指定してエクスポートする場合にチェックを入れます。";
inline constexpr std::u16string_view kPeriodTip = u"期間を指定してエクスポートする場合、ここにチェックを入れます。";
inline constexpr std::u16string_view kStartTip = u"開始日を指定します。";
inline constexpr std::u16string_view kEndTip = u"終了日を指定します。";
inline constexpr std::u16string_view kPublishTip = u"公開/非公開設定の記事をエクスポートするかどうかを指定します。";
inline constexpr std::u16string_view kLineBreakTip =
    u"改行の扱いを指定します。改行が続くと読み込めない場合があるので、BRタグに変換をおすすめします。";
inline constexpr std::u16string_view kHyphenTip =
    u"ハイフン（-）の扱いを指定します。ハイフンが続くと読み込みが途中で止まる可能性があるので、"
    u"全角に置換することをおすすめします。";
inline constexpr std::u16string_view kDateTip = u"日付を更新の日付とするか、Loggamo上の日付とするかを指定します。";

// Items of the fixed lists; the position of the selected item is the value.
const std::vector<std::u16string>& PublishItems();     // cmbPublish
const std::vector<std::u16string>& LineBreakItems();   // cmbBR
const std::vector<std::u16string>& HyphenItems();      // cmbHyphen
const std::vector<std::u16string>& PublishDayItems();  // cmbPublishDay

// A calendar day as the date pickers hold it.
struct PickerDate {
  int year = 2006, month = 2, day = 25;
  friend bool operator==(const PickerDate&, const PickerDate&) = default;
};
inline constexpr PickerDate kPickerInitial{2006, 2, 25};
inline constexpr PickerDate kPickerMinimum{1601, 1, 1};
inline constexpr PickerDate kPickerMaximum{9999, 12, 31};

// A day that exists in the calendar and lies within the pickers' range.
bool IsPickerDate(const PickerDate& d);
// A day of the calendar moved into the pickers' range: one before it becomes
// the first day, one after it the last.
PickerDate KeepInPickerRange(const PickerDate& d);
// "YYYY/MM/DD" (digits only, month and day of one or two digits) read as a
// picker date; nothing when the text is malformed or the day is not a picker date.
std::optional<PickerDate> ParsePickerDate(std::u16string_view text);

// The controls of frmOption as the user leaves them.
struct ExportControls {
  std::vector<std::u16string> genres;  // items of cmbGenre
  int genreIndex = 0;
  bool chkGenre = false;
  bool chkPeriod = false;
  PickerDate start = kPickerInitial;
  PickerDate end = kPickerInitial;
  bool chkPublish = false;
  int publishIndex = 0;
  int brIndex = 0;
  int hyphenIndex = 0;
  int publishDayIndex = 0;
};

// kAllGenres, kGeneralGenre, then what the dialog's ListGenres gives for its
// PathDiaryMdb (nothing more without one). A failure of ListGenres passes.
std::vector<std::u16string> FillGenreList(const frmOption& dlg);

// The load of frmOption: IsOK False, the genre list of its PathDiaryMdb, the
// initial selections. A failure listing the genres passes to the caller, with
// IsOK already False and the other public values untouched.
ExportControls LoadExportDialog(frmOption& dlg);

// OK of frmOption: the result values from the controls, then IsOK True.
// Throws WindowFailure when a list position lies outside its list.
void AcceptExportDialog(const ExportControls& controls, frmOption& dlg);

// ---- Import options -------------------------------------------------------

inline constexpr std::u16string_view kImportCaption = u"Nubelo Import Option";

inline constexpr std::u16string_view kImportHeading = u"見出し記法使用時の見出し部分につけるタグ";
inline constexpr std::u16string_view kStartTagCaption = u"開始タグ";
inline constexpr std::u16string_view kEndTagCaption = u"終了タグ";

// The two text boxes of frmOptionImport.
struct ImportControls {
  std::u16string tTitleStTag{kDefaultTitleStartTag};
  std::u16string tTitleEdTag{kDefaultTitleEndTag};
};

// The load of frmOptionImport: IsOK False, both tags and both boxes at their defaults.
ImportControls LoadImportDialog(frmOptionImport& dlg);

// OK of frmOptionImport: the tags as typed (empty ones included), then IsOK True.
void AcceptImportDialog(const ImportControls& controls, frmOptionImport& dlg);

}  // namespace nbl::dialogs
