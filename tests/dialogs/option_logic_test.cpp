#include "dialogs/option_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "dialogs/genre_store.h"
#include "plugin/genre_list.h"
#include "support/temp_dir.h"

namespace nbl::dialogs {
namespace {

using testing::MakeGenreStore;
using testing::TempDir;

class PlainOption : public frmOption {
 public:
  void Show() override {}
};
class PlainOptionImport : public frmOptionImport {
 public:
  void Show() override {}
};

std::string Joined(const std::vector<std::u16string>& items) {
  std::string out;
  for (const auto& s : items) out += (out.empty() ? "" : ",") + text::ToUtf8(s);
  return out;
}

TEST(FillGenreList, AllAndGeneralFirstThenEachOtherGenreOnceInOrder) {
  struct Case {
    const char* name;
    std::vector<std::optional<std::u16string>> genres;
    std::string expected;
  } cases[] = {
      {"empty store", {}, "[ALL],一般"},
      {"general and two others", {u"旅行", u"一般", u"仕事", u"一般"}, "[ALL],一般,仕事,旅行"},
      {"a genre of many entries is listed once", {u"B", u"A", u"B", u"B", u"A"}, "[ALL],一般,A,B"},
      {"no general entries still lists it", {u"趣味"}, "[ALL],一般,趣味"},
      {"Null genres are left out", {std::nullopt, u"x", std::nullopt}, "[ALL],一般,x"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::u16string path = dir.File("diary.db");
    MakeGenreStore(path, c.genres);
    PlainOption dlg;
    dlg.PathDiaryMdb = path;
    dlg.ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
    EXPECT_EQ(Joined(FillGenreList(dlg)), c.expected) << c.name;
  }
}

TEST(LoadExportDialog, InitialSelectionsAndIsOkFalse) {
  TempDir dir;
  PlainOption dlg;
  dlg.PathDiaryMdb = dir.File("diary.db");
  dlg.ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
  MakeGenreStore(dlg.PathDiaryMdb, {u"旅行"});
  dlg.IsOK = vb::True;
  ExportControls c = LoadExportDialog(dlg);
  EXPECT_EQ(dlg.IsOK, vb::False);
  EXPECT_EQ(Joined(c.genres), "[ALL],一般,旅行");
  EXPECT_EQ(c.genreIndex, 0);
  EXPECT_EQ(c.publishIndex, 0);
  EXPECT_EQ(c.brIndex, 1);
  EXPECT_EQ(c.hyphenIndex, 1);
  EXPECT_EQ(c.publishDayIndex, 1);
  EXPECT_FALSE(c.chkGenre || c.chkPeriod || c.chkPublish);
  EXPECT_EQ(c.start, (PickerDate{2006, 2, 25}));
  EXPECT_EQ(c.end, (PickerDate{2006, 2, 25}));
}

TEST(LoadExportDialog, UnreadableStoreFailsTheLoadAndKeepsEarlierResults) {
  TempDir dir;
  struct Case {
    const char* name;
    std::u16string path;
  } cases[] = {
      {"missing file", dir.File("missing.db")},
      {"empty path", u""},
      {"folder", dir.File("")},
  };
  for (const Case& c : cases) {
    PlainOption dlg;
    dlg.PathDiaryMdb = c.path;
    dlg.ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
    dlg.IsOK = vb::True;
    dlg.stGenre = u"旅行";
    EXPECT_THROW(LoadExportDialog(dlg), StoreFailure) << c.name;
    EXPECT_EQ(dlg.IsOK, vb::False) << c.name;
    EXPECT_EQ(dlg.stGenre, u"旅行") << c.name;
  }
}

TEST(AcceptExportDialog, GenreRules) {
  struct Case {
    bool ticked;
    int index;
    vb::Boolean bGenre;
    std::u16string stGenre;
  } cases[] = {
      {false, 0, vb::False, u""},     {true, 0, vb::False, u""},  // ticked with "[ALL]": no genre filter
      {false, 2, vb::False, u"旅行"},                             // chosen but unticked: kept, the handle ignores it
      {true, 2, vb::True, u"旅行"},   {true, 1, vb::True, u"一般"},
      {true, 3, vb::False, u""},  // a stored genre that reads "[ALL]" counts as all
  };
  for (const Case& c : cases) {
    PlainOption dlg;
    ExportControls controls;
    controls.genres = {u"[ALL]", u"一般", u"旅行", u"[ALL]"};
    controls.chkGenre = c.ticked;
    controls.genreIndex = c.index;
    AcceptExportDialog(controls, dlg);
    EXPECT_EQ(dlg.bGenre, c.bGenre) << c.ticked << " " << c.index;
    EXPECT_EQ(dlg.stGenre, c.stGenre) << c.ticked << " " << c.index;
    EXPECT_EQ(dlg.IsOK, vb::True);
  }
}

TEST(AcceptExportDialog, PeriodPublishAndListPositions) {
  struct Case {
    bool period, publish;
    PickerDate start, end;
    int publishIndex, br, hyphen, day;
    std::u16string stStart, stEnd;
  } cases[] = {
      {false, false, {2006, 2, 25}, {2006, 2, 25}, 0, 1, 1, 1, u"2006/02/25", u"2006/02/25"},
      {true, true, {2001, 1, 1}, {2001, 12, 31}, 2, 0, 0, 0, u"2001/01/01", u"2001/12/31"},
      {false, true, {1601, 1, 1}, {9999, 12, 31}, 1, 1, 0, 1, u"1601/01/01", u"9999/12/31"},
  };
  for (const Case& c : cases) {
    PlainOption dlg;
    ExportControls controls;
    controls.genres = {u"[ALL]", u"一般"};
    controls.chkPeriod = c.period;
    controls.chkPublish = c.publish;
    controls.start = c.start;
    controls.end = c.end;
    controls.publishIndex = c.publishIndex;
    controls.brIndex = c.br;
    controls.hyphenIndex = c.hyphen;
    controls.publishDayIndex = c.day;
    AcceptExportDialog(controls, dlg);
    EXPECT_EQ(dlg.bPeriod, vb::ToBoolean(c.period));
    EXPECT_EQ(dlg.bPublish, vb::ToBoolean(c.publish));
    EXPECT_EQ(dlg.stStart, c.stStart);  // taken even when the period box is unticked
    EXPECT_EQ(dlg.stEnd, c.stEnd);
    EXPECT_EQ(dlg.intPublish, c.publishIndex);
    EXPECT_EQ(dlg.intBR, c.br);
    EXPECT_EQ(dlg.intHyphen, c.hyphen);
    EXPECT_EQ(dlg.intPublishDay, c.day);
  }
}

TEST(AcceptExportDialog, PositionOutsideItsListFailsWithoutTouchingResults) {
  struct Case {
    const char* name;
    void (*spoil)(ExportControls&);
  } cases[] = {
      {"genre", [](ExportControls& c) { c.genreIndex = 2; }},
      {"genre -1", [](ExportControls& c) { c.genreIndex = -1; }},
      {"publish", [](ExportControls& c) { c.publishIndex = 3; }},
      {"br", [](ExportControls& c) { c.brIndex = 2; }},
      {"hyphen", [](ExportControls& c) { c.hyphenIndex = -1; }},
      {"day", [](ExportControls& c) { c.publishDayIndex = 2; }},
  };
  for (const Case& c : cases) {
    PlainOption dlg;
    ExportControls controls;
    controls.genres = {u"[ALL]", u"一般"};
    controls.chkPeriod = true;
    c.spoil(controls);
    EXPECT_THROW(AcceptExportDialog(controls, dlg), WindowFailure) << c.name;
    EXPECT_EQ(dlg.IsOK, vb::False) << c.name;
    EXPECT_EQ(dlg.bPeriod, vb::False) << c.name;
  }
}

TEST(ParsePickerDate, FormAndRange) {
  struct Case {
    std::u16string text;
    std::optional<PickerDate> expected;
  } cases[] = {
      {u"2006/02/25", PickerDate{2006, 2, 25}},
      {u"2006/2/5", PickerDate{2006, 2, 5}},
      {u"1601/01/01", PickerDate{1601, 1, 1}},
      {u"9999/12/31", PickerDate{9999, 12, 31}},
      {u"2000/02/29", PickerDate{2000, 2, 29}},
      {u"1900/02/29", std::nullopt},
      {u"2006/02/30", std::nullopt},
      {u"2006/13/01", std::nullopt},
      {u"2006/00/10", std::nullopt},
      {u"1600/12/31", std::nullopt},
      {u"06/02/25", std::nullopt},
      {u"2006-02-25", std::nullopt},
      {u"2006/02/25/", std::nullopt},
      {u"2006/02/", std::nullopt},
      {u"2006/+2/05", std::nullopt},
      {u"２００６/02/25", std::nullopt},
      {u"2006/002/25", std::nullopt},
      {u"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParsePickerDate(c.text), c.expected) << text::ToUtf8(c.text);
  }
}

TEST(KeepInPickerRange, DaysOutsideBecomeTheNearestEnd) {
  const std::pair<PickerDate, PickerDate> cases[] = {
      {{1600, 12, 31}, kPickerMinimum}, {{1601, 1, 1}, kPickerMinimum},  {{2006, 2, 25}, {2006, 2, 25}},
      {{9999, 12, 31}, kPickerMaximum}, {{10000, 1, 1}, kPickerMaximum}, {{30827, 12, 31}, kPickerMaximum},
  };
  for (const auto& [day, kept] : cases) EXPECT_EQ(KeepInPickerRange(day), kept) << day.year << "/" << day.month;
}

TEST(ImportDialogLogic, LoadResetsAndOkTakesTagsAsTyped) {
  struct Case {
    std::u16string start, end;
  } cases[] = {
      {u"<H2>", u"</H2>"},
      {u"", u""},
      {u"<h3 class=\"x\">", u"</h3>"},
  };
  for (const Case& c : cases) {
    PlainOptionImport dlg;
    dlg.IsOK = vb::True;
    dlg.stTitleStTag = u"<old>";
    dlg.stTitleEdTag = u"</old>";
    ImportControls controls = LoadImportDialog(dlg);
    EXPECT_EQ(dlg.IsOK, vb::False);
    EXPECT_EQ(dlg.stTitleStTag, u"<H2>");
    EXPECT_EQ(dlg.stTitleEdTag, u"</H2>");
    EXPECT_EQ(controls.tTitleStTag, u"<H2>");
    EXPECT_EQ(controls.tTitleEdTag, u"</H2>");
    controls.tTitleStTag = c.start;
    controls.tTitleEdTag = c.end;
    AcceptImportDialog(controls, dlg);
    EXPECT_EQ(dlg.IsOK, vb::True);
    EXPECT_EQ(dlg.stTitleStTag, c.start);
    EXPECT_EQ(dlg.stTitleEdTag, c.end);
  }
}

}  // namespace
}  // namespace nbl::dialogs
