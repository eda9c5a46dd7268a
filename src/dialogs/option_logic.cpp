#include "dialogs/option_logic.h"

#include <tuple>

#include "common/date.h"
#include "common/failure.h"
#include "common/text.h"

namespace nbl::dialogs {
namespace {

vb::Integer Position(int index, const std::vector<std::u16string>& items, const char* list) {
  if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
    throw WindowFailure(std::string("no item ") + std::to_string(index) + " in " + list);
  }
  return vb::Integer::From(index);
}

}  // namespace

const std::vector<std::u16string>& PublishItems() {
  static const std::vector<std::u16string> items{u"すべて", u"公開のみ", u"非公開のみ"};
  return items;
}

const std::vector<std::u16string>& LineBreakItems() {
  static const std::vector<std::u16string> items{u"そのまま", u"改行をBRタグにする"};
  return items;
}

const std::vector<std::u16string>& HyphenItems() {
  static const std::vector<std::u16string> items{u"そのまま", u"全角にする"};
  return items;
}

const std::vector<std::u16string>& PublishDayItems() {
  static const std::vector<std::u16string> items{u"更新日", u"Loggamo表示上の日"};
  return items;
}

bool IsPickerDate(const PickerDate& d) {
  if (d.year < kPickerMinimum.year || d.year > kPickerMaximum.year) return false;
  return date::IsCalendarDay(d.year, d.month, d.day);
}

PickerDate KeepInPickerRange(const PickerDate& d) {
  const auto key = [](const PickerDate& p) { return std::tie(p.year, p.month, p.day); };
  if (key(d) < key(kPickerMinimum)) return kPickerMinimum;
  if (key(d) > key(kPickerMaximum)) return kPickerMaximum;
  return d;
}

std::optional<PickerDate> ParsePickerDate(std::u16string_view text) {
  const std::optional<date::Day> day = date::ParseDayText(text, date::DayForm::kShortParts);
  if (!day) return std::nullopt;
  PickerDate d{day->year, day->month, day->day};
  if (!IsPickerDate(d)) return std::nullopt;
  return d;
}

std::vector<std::u16string> FillGenreList(const frmOption& dlg) {
  std::vector<std::u16string> genres{std::u16string(kAllGenres), std::u16string(kGeneralGenre)};
  if (dlg.ListGenres) {
    for (std::u16string& genre : dlg.ListGenres(dlg.PathDiaryMdb)) genres.push_back(std::move(genre));
  }
  return genres;
}

ExportControls LoadExportDialog(frmOption& dlg) {
  dlg.IsOK = vb::False;
  ExportControls c;
  c.genres = FillGenreList(dlg);
  c.brIndex = 1;          // "改行をBRタグにする"
  c.hyphenIndex = 1;      // "全角にする"
  c.genreIndex = 0;       // "[ALL]"
  c.publishIndex = 0;     // "すべて"
  c.publishDayIndex = 1;  // "Loggamo表示上の日"
  return c;
}

void AcceptExportDialog(const ExportControls& c, frmOption& dlg) {
  Position(c.genreIndex, c.genres, "cmbGenre");
  const std::u16string& genre = c.genres[static_cast<std::size_t>(c.genreIndex)];
  const bool all = genre == kAllGenres;
  const vb::Integer publish = Position(c.publishIndex, PublishItems(), "cmbPublish");
  const vb::Integer br = Position(c.brIndex, LineBreakItems(), "cmbBR");
  const vb::Integer hyphen = Position(c.hyphenIndex, HyphenItems(), "cmbHyphen");
  const vb::Integer publishDay = Position(c.publishDayIndex, PublishDayItems(), "cmbPublishDay");

  dlg.bGenre = vb::ToBoolean(!all && c.chkGenre);
  dlg.bPeriod = vb::ToBoolean(c.chkPeriod);
  dlg.bPublish = vb::ToBoolean(c.chkPublish);
  dlg.stGenre = all ? std::u16string() : genre;
  // Taken whatever the period box says; the handle ignores them when it is unticked.
  dlg.stStart = date::ShortDate(c.start.year, c.start.month, c.start.day);
  dlg.stEnd = date::ShortDate(c.end.year, c.end.month, c.end.day);
  dlg.intPublish = publish;
  dlg.intBR = br;
  dlg.intHyphen = hyphen;
  dlg.intPublishDay = publishDay;
  dlg.IsOK = vb::True;
}

ImportControls LoadImportDialog(frmOptionImport& dlg) {
  dlg.IsOK = vb::False;
  dlg.stTitleStTag = kDefaultTitleStartTag;
  dlg.stTitleEdTag = kDefaultTitleEndTag;
  return ImportControls{};
}

void AcceptImportDialog(const ImportControls& c, frmOptionImport& dlg) {
  dlg.stTitleStTag = c.tTitleStTag;
  dlg.stTitleEdTag = c.tTitleEdTag;
  dlg.IsOK = vb::True;
}

}  // namespace nbl::dialogs
