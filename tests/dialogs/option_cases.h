// The cases every backend's option dialogs pass: what a user does to the
// controls, and the public values that OK or another way out must leave. Each
// backend's test applies a choice through its own controls.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/vb_types.h"
#include "dialogs/option_logic.h"
#include "dialogs/windows.h"

namespace nbl::testing {

// The genres of the store the export cases run on; the dialog lists them as
// "[ALL]", "一般", "仕事", "旅行".
inline const std::vector<std::optional<std::u16string>>& OptionCaseGenres() {
  static const std::vector<std::optional<std::u16string>> genres{u"旅行", u"一般", u"仕事", u"旅行", u"一般"};
  return genres;
}

// What the user changes in the export dialog; what is left out stays as loaded.
struct ExportChoice {
  std::optional<int> genre = std::nullopt;
  bool tickGenre = false;
  bool tickPeriod = false;
  std::optional<dialogs::PickerDate> start = std::nullopt, end = std::nullopt;
  bool tickPublish = false;
  std::optional<int> publish = std::nullopt, br = std::nullopt, hyphen = std::nullopt, publishDay = std::nullopt;
};

// The public values OK leaves.
struct ExportResult {
  vb::Boolean bGenre, bPeriod, bPublish;
  std::u16string stGenre, stStart, stEnd;
  int publish, br, hyphen, publishDay;
};

struct ExportOkCase {
  const char* name;
  ExportChoice choice;
  ExportResult expected;
};

// Choices confirmed with OK.
inline const std::vector<ExportOkCase>& ExportOkCases() {
  using dialogs::PickerDate;
  const vb::Boolean F = vb::False, T = vb::True;
  // clang-format off
  static const std::vector<ExportOkCase> cases{
      {"untouched", {}, {F, F, F, u"", u"2006/02/25", u"2006/02/25", 0, 1, 1, 1}},
      {"genre ticked with [ALL]", {.tickGenre = true}, {F, F, F, u"", u"2006/02/25", u"2006/02/25", 0, 1, 1, 1}},
      {"genre chosen but unticked", {.genre = 3}, {F, F, F, u"旅行", u"2006/02/25", u"2006/02/25", 0, 1, 1, 1}},
      {"period unticked keeps the dates", {.start = PickerDate{2001, 1, 2}, .end = PickerDate{2001, 12, 31}},
       {F, F, F, u"", u"2001/01/02", u"2001/12/31", 0, 1, 1, 1}},
      {"everything chosen", {.genre = 1, .tickGenre = true, .tickPeriod = true, .start = PickerDate{1900, 1, 1},
                             .end = dialogs::kPickerMaximum, .tickPublish = true, .publish = 2, .br = 0, .hyphen = 0,
                             .publishDay = 0},
       {T, T, T, u"一般", u"1900/01/01", u"9999/12/31", 2, 0, 0, 0}},
  };
  // clang-format on
  return cases;
}

// Holds the values `dlg` was left with to `expected`; `name` tells the case.
inline void ExpectExportResult(const dialogs::frmOption& dlg, const ExportResult& expected, const char* name) {
  const ExportResult& e = expected;
  EXPECT_EQ(dlg.IsOK, vb::True) << name;
  EXPECT_EQ(dlg.bGenre, e.bGenre) << name;
  EXPECT_EQ(dlg.stGenre, e.stGenre) << name;
  EXPECT_EQ(dlg.bPeriod, e.bPeriod) << name;
  EXPECT_EQ(dlg.stStart, e.stStart) << name;
  EXPECT_EQ(dlg.stEnd, e.stEnd) << name;
  EXPECT_EQ(dlg.bPublish, e.bPublish) << name;
  EXPECT_EQ(dlg.intPublish, e.publish) << name;
  EXPECT_EQ(dlg.intBR, e.br) << name;
  EXPECT_EQ(dlg.intHyphen, e.hyphen) << name;
  EXPECT_EQ(dlg.intPublishDay, e.publishDay) << name;
}

// How the user leaves the import dialog.
enum class Leave { kOk, kEnter, kClose, kEscape, kCloseBox };

struct ImportCase {
  const char* name;
  std::optional<std::u16string> start, end;  // typed over the boxes' texts
  Leave leave;
  vb::Boolean isOK;
  std::u16string stTitleStTag, stTitleEdTag;
};

inline const std::vector<ImportCase>& ImportCases() {
  static const std::vector<ImportCase> cases{
      {"OK without editing", {}, {}, Leave::kOk, vb::True, u"<H2>", u"</H2>"},
      {"OK with both boxes emptied", u"", u"", Leave::kOk, vb::True, u"", u""},
      {"typed tags and Enter", u"<h3 class=\"t\">", u"</h3>", Leave::kEnter, vb::True, u"<h3 class=\"t\">", u"</h3>"},
      {"Close after editing", u"<b>", {}, Leave::kClose, vb::False, u"<H2>", u"</H2>"},
      {"Escape", u"<b>", u"</b>", Leave::kEscape, vb::False, u"<H2>", u"</H2>"},
      {"close box", {}, u"</b>", Leave::kCloseBox, vb::False, u"<H2>", u"</H2>"},
  };
  return cases;
}

}  // namespace nbl::testing
