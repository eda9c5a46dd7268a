#include "plugin/nubelo_handle.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/failure.h"
#include "common/files.h"
#include "common/text.h"
#include "support/diary_store.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace nbl::plugin {
namespace {

void ExpectDefaults(const clsNubeloHandle& h) {
  const ExportSettingNubelo& e = h.ExpSet();
  EXPECT_EQ(e.stGenre, u"");
  EXPECT_EQ(e.stStartDay, u"");
  EXPECT_EQ(e.stEndDay, u"");
  EXPECT_EQ(e.intPublish, 0);
  EXPECT_EQ(e.intScroll, 0);
  EXPECT_EQ(e.intBR, 1);
  EXPECT_EQ(e.intHyphen, 1);
  EXPECT_EQ(e.intPublishDay, 1);
  EXPECT_EQ(h.ImpSet().stTitleStTag, u"<H2>");
  EXPECT_EQ(h.ImpSet().stTitleEdTag, u"</H2>");
}

TEST(HandleInitialize, StoresThePathAndAlwaysResetsTheSettings) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "d.db") << "x";
  struct Case {
    std::u16string path;
    vb::Boolean result;
  };
  const Case cases[] = {
      {u"", vb::False}, {dir.File("missing.db"), vb::False}, {dir.File("d.db"), vb::True}, {dir.File(""), vb::False}};
  for (const auto& c : cases) {
    testing::FakeUi ui;
    clsNubeloHandle h(ui);
    h.setExportSetting({u"g", u"a", u"b", 2, 5, 0, 0, 0});
    h.setImportSetting({u"<b>", u"</b>"});
    h.SetImport();
    EXPECT_EQ(h.Initialize(c.path), c.result) << text::ToUtf8(c.path);
    EXPECT_EQ(h.DiaryMdbPath(), c.path);
    EXPECT_EQ(h.IsImport(), vb::True);  // the direction is not touched
    ExpectDefaults(h);
  }
}

TEST(HandleCreation, StartsInExportModeWithEmptySettings) {
  testing::FakeUi ui;
  clsNubeloHandle h(ui);
  EXPECT_EQ(h.IsImport(), vb::False);
  EXPECT_EQ(h.ExpSet().intBR, 0);
  EXPECT_EQ(h.ImpSet().stTitleStTag, u"");
  EXPECT_EQ(h.Execute(), vb::False);  // no paths: nothing runs
}

struct PathCase {
  const char* name;
  bool import;
  const char* file;  // "" for the empty path
  bool fileExists, readOnly;
  vb::Boolean overWrite;
  vb::Boolean result;
  bool fileRemains;
  const char* store = "";  // the path Initialize gets, when not ""
};

class HandleSetPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(HandleSetPath, ChecksTheFileForTheDirection) {
  const PathCase& c = GetParam();
  testing::TempDir dir;
  const std::u16string path = *c.file ? dir.File(c.file) : u"";
  if (c.fileExists) {
    std::ofstream(dir.path() / c.file) << "old";
    if (c.readOnly) testing::MakeReadOnly(dir.path() / c.file);
  }
  testing::FakeUi ui;
  clsNubeloHandle h(ui);
  if (*c.store) h.Initialize(dir.File(c.store));
  if (c.import) h.SetImport();
  EXPECT_EQ(h.SetPath(path, c.overWrite), c.result);
  EXPECT_EQ(h.FilePath(), c.result == vb::True ? path : u"");
  if (*c.file) {
    EXPECT_EQ(std::filesystem::exists(dir.path() / c.file), c.fileRemains);
    if (c.fileExists) {
      EXPECT_EQ(testing::ReadFile(dir.path() / c.file), "old");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, HandleSetPath,
    ::testing::Values(PathCase{"ImportExisting", true, "in.xml", true, false, vb::False, vb::True, true},
                      PathCase{"ImportReadOnly", true, "in.xml", true, true, vb::False, vb::True, true},
                      PathCase{"ImportMissing", true, "in.xml", false, false, vb::False, vb::False, false},
                      PathCase{"ImportEmptyPath", true, "", false, false, vb::False, vb::False, false},
                      PathCase{"ExportNew", false, "out.xml", false, false, vb::False, vb::True, false},
                      PathCase{"ExportExistingNoOverwrite", false, "out.xml", true, false, vb::False, vb::False, true},
                      // The old document stays until the export replaces it with a complete new one.
                      PathCase{"ExportExistingOverwrite", false, "out.xml", true, false, vb::True, vb::True, true},
                      PathCase{"ExportOverwriteAnyNonzero", false, "out.xml", true, false, 1, vb::True, true},
                      // A read-only file is not counted by the export's test, so it is neither deleted nor refused.
                      PathCase{"ExportReadOnly", false, "out.xml", true, true, vb::True, vb::True, true},
                      PathCase{"ExportEmptyPath", false, "", false, false, vb::False, vb::True, false},
                      // The document would replace the store it is read from, or a journal of it.
                      PathCase{"ExportOverItsStore", false, "d.db", true, false, vb::True, vb::False, true, "d.db"},
                      PathCase{"ExportOverItsJournal", false, "d.db-wal", false, false, vb::True, vb::False, false,
                               "d.db"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(HandleExecute, RunsTheExportAndStillAnswersFalse) {
  testing::FakeUi ui;
  testing::TempDir dir;
  const std::string db = (dir.path() / "d.db").string();
  testing::MakeStore(db, {{"2007/01/05", "一般", 0, "t", "b", "", "2007/01/05 10:00:00"}});
  clsNubeloHandle h(ui);
  ASSERT_EQ(h.Initialize(text::FromUtf8(db)), vb::True);
  h.SetExport();
  ASSERT_EQ(h.SetPath(dir.File("out.xml")), vb::True);
  EXPECT_EQ(h.Execute(), vb::False);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "out.xml"));
}

TEST(HandleExecute, AMissingDatabaseStillStartsTheRun) {
  testing::FakeUi ui;
  testing::TempDir dir;
  clsNubeloHandle h(ui);
  EXPECT_EQ(h.Initialize(dir.File("missing.db")), vb::False);
  ASSERT_EQ(h.SetPath(dir.File("out.xml")), vb::True);
  h.Execute();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], u"DB接続エラー");
}

TEST(HandleDialogs, OkFillsTheSettingsAndCancelLeavesThem) {
  testing::FakeUi ui;
  clsNubeloHandle h(ui);
  h.Initialize(u"some.db");
  h.setExportSetting({u"keep", u"2001/01/01", u"2002/02/02", 2, 7, 0, 0, 0});
  ui.option.answer = [](testing::FakeOption&) {};  // Cancel
  EXPECT_EQ(h.SetExportSettingMySelf(), vb::False);
  EXPECT_EQ(h.ExpSet().stGenre, u"keep");
  EXPECT_EQ(h.ExpSet().intScroll, 7);
  EXPECT_EQ(ui.option.PathDiaryMdb, u"some.db");
  EXPECT_TRUE(ui.option.ListGenres);  // the dialog lists the genres of that store

  struct Case {
    vb::Boolean bGenre, bPeriod, bPublish;
    std::u16string genre, start, end;
    int publish;
  };
  const Case cases[] = {{vb::True, vb::True, vb::True, u"日記", u"2006/02/25", u"2006/03/01", 2},
                        {vb::False, vb::False, vb::False, u"", u"", u"", 0}};
  for (const auto& c : cases) {
    ui.option.answer = [](testing::FakeOption& d) {
      d.IsOK = vb::True;
      d.stGenre = u"日記";
      d.stStart = u"2006/02/25";
      d.stEnd = u"2006/03/01";
      d.intPublish = 2;
      d.intBR = 0;
      d.intHyphen = 0;
      d.intPublishDay = 0;
    };
    ui.option.bGenre = c.bGenre;  // the fake keeps the ticks set here
    ui.option.bPeriod = c.bPeriod;
    ui.option.bPublish = c.bPublish;
    EXPECT_EQ(h.SetExportSettingMySelf(), vb::True);
    EXPECT_EQ(h.ExpSet().stGenre, c.genre);
    EXPECT_EQ(h.ExpSet().stStartDay, c.start);
    EXPECT_EQ(h.ExpSet().stEndDay, c.end);
    EXPECT_EQ(h.ExpSet().intPublish, c.publish);
    EXPECT_EQ(h.ExpSet().intScroll, 0);
    EXPECT_EQ(h.ExpSet().intBR, 0);
    EXPECT_EQ(h.ExpSet().intHyphen, 0);
    EXPECT_EQ(h.ExpSet().intPublishDay, 0);
  }

  h.setImportSetting({u"<a>", u"</a>"});
  ui.optionImport.answer = [](testing::FakeOptionImport& d) { d.stTitleStTag = u"changed"; };  // Close
  EXPECT_EQ(h.SetImportSettingMySelf(), vb::False);
  EXPECT_EQ(h.ImpSet().stTitleStTag, u"<a>");
  ui.optionImport.answer = [](testing::FakeOptionImport& d) {
    d.stTitleStTag = u"";
    d.stTitleEdTag = u"";
    d.IsOK = vb::True;
  };
  EXPECT_EQ(h.SetImportSettingMySelf(), vb::True);
  EXPECT_EQ(h.ImpSet().stTitleStTag, u"");
  EXPECT_EQ(h.ImpSet().stTitleEdTag, u"");
}

TEST(HandleDialogs, AFailingDialogLoadPassesAndLeavesTheSettings) {
  testing::FakeUi ui;
  clsNubeloHandle h(ui);
  h.setExportSetting({u"keep", u"", u"", 0, 3, 0, 0, 0});
  ui.option.answer = [](testing::FakeOption&) { throw StoreFailure("cannot open"); };
  EXPECT_THROW(h.SetExportSettingMySelf(), StoreFailure);
  EXPECT_EQ(h.ExpSet().stGenre, u"keep");
  EXPECT_EQ(h.ExpSet().intScroll, 3);
}

}  // namespace
}  // namespace nbl::plugin
