#include "export/export_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "common/text.h"
#include "export/diary_document.h"
#include "store/recordset.h"
#include "support/diary_store.h"
#include "support/fake_ui.h"
#include "support/reference/document_pieces.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace nbl::exporting {
namespace {

using ::nbl::testing::ReadFile;

using testing::Row;

ExportSettingNubelo Defaults() { return ExportSettingNubelo{u"", u"", u"", 0, 0, 1, 1, 1}; }

TEST(ExportQuery, IsBuiltFromTheSelectionSettings) {
  struct Case {
    ExportSettingNubelo set;
    std::u16string query;
  };
  const Case cases[] = {
      {Defaults(),
       u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)Like '%') AND ((Contents.Private)Like '%') AND "
       u"((Contents.Day)>'0000/00/00' And (Contents.Day)<'9999/99/99'));"},
      {{u"日記", u"2007/01/01", u"2007/12/31", 1, 0, 1, 1, 1},
       u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)= '日記') AND ((Contents.Private)= FALSE) AND "
       u"((Contents.Day)>'2007/01/01' And (Contents.Day)<'2007/12/31'));"},
      {{u"", u"", u"", 2, 0, 1, 1, 1},
       u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)Like '%') AND ((Contents.Private)= TRUE) AND "
       u"((Contents.Day)>'0000/00/00' And (Contents.Day)<'9999/99/99'));"},
      {{u"", u"", u"", 3, 0, 1, 1, 1},
       u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)Like '%') AND ((Contents.Private)) AND "
       u"((Contents.Day)>'0000/00/00' And (Contents.Day)<'9999/99/99'));"},
      // Apostrophes are doubled so the settings stay literals.
      {{u"Tom's", u"2007/01/01' OR '1'='1", u"", 0, 0, 1, 1, 1},
       u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)= 'Tom''s') AND ((Contents.Private)Like '%') AND "
       u"((Contents.Day)>'2007/01/01'' OR ''1''=''1' And (Contents.Day)<'9999/99/99'));"},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildExportQuery(c.set), c.query) << text::ToUtf8(c.query);
}

class ExportRunTest : public ::testing::Test {
 public:
  void SetUp() override {
    ui_ = &ui;
    out_ = Out();
  }
  std::string Db() const { return (dir_.path() / "diary.db").string(); }
  std::u16string Db16() const { return text::FromUtf8(Db()); }
  std::u16string Out() const { return dir_.File("out.xml"); }
  std::string OutBytes() const { return ReadFile(dir_.path() / "out.xml"); }
  std::size_t FilesInDir() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_.path()), {}));
  }

  testing::TempDir dir_;
  testing::FakeUi ui;
  testing::FakeUi* ui_ = nullptr;
  std::u16string out_;
};

const std::string kHeadBytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";

TEST_F(ExportRunTest, ThreeEntriesGiveTheWindowTextsInOrderAndTheDocument) {
  testing::MakeStore(Db(),
                     {
                         {"2007/01/05", "一般", 0, "テスト", "a<b\r\nc-d", std::nullopt, "2007/01/05 21:00:00"},
                         {"2007/01/06", "日記", 1, "B&B", "x", "y", "2007/01/07 00:00:00"},
                         {"2007/01/07", "一般", 0, std::nullopt, std::nullopt, std::nullopt, "2007/01/09 10:00:00"},
                     });
  ExportDiary(Out(), Db16(), Defaults(), *ui_);
  EXPECT_TRUE(ui_->messages.empty());
  const std::vector<std::string> expected = {"Load",
                                             "Show",
                                             "Caption=Nubelo Imp/Exp for Loggamo",
                                             "txtTitle=Nubelo Export",
                                             "Btn_OK=0",
                                             "Max=3",
                                             "txtText=3件のレコードを取得。エクスポートします。",
                                             "Yield",
                                             "Refresh",
                                             "Value=1",
                                             "Value=2",
                                             "Value=3",
                                             "txtText=3件のレコードをエクスポート完了。\r\nExport完了！",
                                             "Btn_OK=1"};
  EXPECT_EQ(ui_->progress.log, expected);
  EXPECT_EQ(
      OutBytes(),
      kHeadBytes +
          "<day date=\"2007-01-05\" title=\"テスト\">\n<body>\na&amp;lt;b\r&amp;lt;BR&amp;gt;c－d\n\n</body>\n</day>\n"
          "<day date=\"2007-01-06\" title=\"B&amp;B\">\n<body>\nx\ny\n</body>\n</day>\n"
          "<day date=\"2007-01-07\" title=\"\">\n<body>\n\n\n</body>\n</day>\n"
          "</diary>");
  EXPECT_EQ(FilesInDir(), 2u);  // the store and the document; no temporary file left
}

TEST_F(ExportRunTest, SelectionAndPublishDateFollowTheSettings) {
  testing::MakeStore(Db(), {
                               {"2007/01/01", "Tom's", 0, "edge", "a", "", "2007/01/01 09:00:00"},
                               {"2007/01/02", "Tom's", 0, "in", "b", "", "2007/01/03 09:00:00"},
                               {"2007/01/02", "Tom's", 1, "private", "c", "", "2007/01/03 09:00:00"},
                               {"2007/01/02", "other", 0, "genre", "d", "", "2007/01/03 09:00:00"},
                               {"2007/01/02", std::nullopt, 0, "null genre", "e", "", "2007/01/03 09:00:00"},
                               {"2007/01/03", "Tom's", 0, "edge", "f", "", "2007/01/03 09:00:00"},
                           });
  ExportSettingNubelo set{u"Tom's", u"2007/01/01", u"2007/01/03", 1, 0, 0, 0, 0};
  ExportDiary(Out(), Db16(), set, *ui_);
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(OutBytes(), kHeadBytes + "<day date=\"2007-01-03\" title=\"in\">\n<body>\nb\n\n</body>\n</day>\n</diary>");
}

TEST_F(ExportRunTest, NoEntriesGiveHeadAndTailOnly) {
  testing::MakeStore(Db(), {{std::string(""), "一般", 0, "empty day", "x", "", "2007/01/01 00:00:00"}});
  ExportDiary(Out(), Db16(), Defaults(), *ui_);
  EXPECT_EQ(OutBytes().size(), 55u);
  EXPECT_EQ(OutBytes(), kHeadBytes + "</diary>");
  const auto& log = ui_->progress.log;
  EXPECT_EQ(std::count(log.begin(), log.end(), "txtText=該当する日記がありません。"), 1);
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& s) { return s.rfind("Max=", 0) == 0; }), 0);
  EXPECT_EQ(log.back(), "Btn_OK=1");
  EXPECT_EQ(log[log.size() - 2], "txtText=該当するレコード(日記)がありませんでした。\r\nExport完了！");
}

TEST_F(ExportRunTest, ProgressContinuesFromAnOpenWindow) {
  testing::MakeStore(Db(), {{"2007/01/05", "一般", 0, "t", "b", "", "2007/01/05 21:00:00"}});
  ExportDiary(Out(), Db16(), Defaults(), *ui_);
  ui_->progress.log.clear();
  ExportDiary(dir_.File("second.xml"), Db16(), Defaults(), *ui_);
  const auto& log = ui_->progress.log;
  EXPECT_EQ(log.front(), "Show");  // reused, not loaded again
  EXPECT_NE(std::find(log.begin(), log.end(), "Value=2"), log.end());
}

struct FailureCase {
  const char* name;
  std::function<void(ExportRunTest&, ExportSettingNubelo&, testing::FakeUi&)> arrange;
  std::string message;
  std::string cause;  // a part of the cause the report gives
  bool replaced;      // the failure came after the new document was in place
};

class ExportFailureTest : public ExportRunTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ExportFailureTest, ShowsTheStepTextKeepsTheOldDocumentAndSaysWhy) {
  const FailureCase& c = GetParam();
  std::ofstream(dir_.path() / "out.xml") << "the old document";
  ExportSettingNubelo set = Defaults();
  c.arrange(*this, set, *ui_);
  const auto before = testing::FilesUnder(dir_.path());
  const ExportReport report = ExportDiary(out_, Db16(), set, *ui_);
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(text::ToUtf8(ui_->messages[0]), c.message);
  EXPECT_FALSE(report.completed);
  EXPECT_EQ(text::ToUtf8(report.stepText), c.message);
  EXPECT_NE(report.cause.find(c.cause), std::string::npos) << report.cause;
  auto after = testing::FilesUnder(dir_.path());
  if (c.replaced) {
    EXPECT_EQ(after["out.xml"].rfind(kHeadBytes, 0), 0u);
    after["out.xml"] = before.at("out.xml");
  }
  EXPECT_TRUE(after == before) << "a file changed, appeared or went";
  if (ui_->progress.IsLoaded()) {
    EXPECT_TRUE(ui_->progress.state().btnOkEnabled);  // the user can dismiss the window
  }
}

void TwoRows(ExportRunTest& t, const testing::Text& secondPublish) {
  testing::MakeStore(t.Db(), {{"2007/01/05", "一般", 0, "a", "b", "", "2007/01/05 10:00:00"},
                              {"2007/01/06", "一般", 0, "c", "d", "", secondPublish}});
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ExportFailureTest,
    ::testing::Values(FailureCase{"MissingDatabase", [](ExportRunTest&, ExportSettingNubelo&, testing::FakeUi&) {},
                                  "DB接続エラー", "there is no diary store", false},
                      FailureCase{"NotADatabase",
                                  [](ExportRunTest& t, ExportSettingNubelo&, testing::FakeUi&) {
                                    std::ofstream(t.Db()) << "plain text, not a store";
                                  },
                                  "DB接続エラー", "is not a SQLite database", false},
                      FailureCase{"QueryRefused",
                                  [](ExportRunTest& t, ExportSettingNubelo&, testing::FakeUi&) {
                                    testing::MakeStore(t.Db(), {});
                                    testing::ExecSql(t.Db(), "DROP TABLE Contents; CREATE TABLE Other (x);");
                                  },
                                  "Export件数取得エラー", "lacks what a diary store holds (no such table: Contents)",
                                  false},
                      FailureCase{"WindowRefusesTheTitle",
                                  [](ExportRunTest& t, ExportSettingNubelo&, testing::FakeUi& ui) {
                                    TwoRows(t, "2007/01/06 10:00:00");
                                    ui.progress.failOn = "txtTitle=";
                                  },
                                  "SQL構成エラー", "fake window refused", false},
                      FailureCase{"WindowRefusesTheRepaint",
                                  [](ExportRunTest& t, ExportSettingNubelo&, testing::FakeUi& ui) {
                                    TwoRows(t, "2007/01/06 10:00:00");
                                    ui.progress.failOn = "Refresh";
                                  },
                                  "Export件数取得エラー", "fake window refused", false},
                      FailureCase{"OutputFolderMissing",
                                  [](ExportRunTest& t, ExportSettingNubelo&, testing::FakeUi&) {
                                    TwoRows(t, "2007/01/06 10:00:00");
                                    t.out_ = t.dir_.File("gone/out.xml");
                                  },
                                  "ファイルオープンエラー", "no such folder", false},
                      FailureCase{"ReadOnlyOutput",
                                  [](ExportRunTest& t, ExportSettingNubelo&, testing::FakeUi&) {
                                    TwoRows(t, "2007/01/06 10:00:00");
                                    testing::MakeReadOnly(t.dir_.path() / "out.xml");
                                  },
                                  "ファイルオープンエラー", "is read-only", false},
                      FailureCase{"NullPublishTimeOfTheFirstEntry",
                                  [](ExportRunTest& t, ExportSettingNubelo& set, testing::FakeUi&) {
                                    testing::MakeStore(t.Db(), {{"2007/01/05", "一般", 0, "a", "b", "", std::nullopt}});
                                    set.intPublishDay = 0;
                                  },
                                  "Loop内エラー：2007/01/05", "Null", false},
                      FailureCase{"NullPublishTimeOfALaterEntry",
                                  [](ExportRunTest& t, ExportSettingNubelo& set, testing::FakeUi&) {
                                    TwoRows(t, std::nullopt);
                                    set.intPublishDay = 2;
                                  },
                                  "Loop内エラー：2007/01/06", "Null", false},
                      FailureCase{"WindowRefusesTheProgress",
                                  [](ExportRunTest& t, ExportSettingNubelo&, testing::FakeUi& ui) {
                                    TwoRows(t, "2007/01/06 10:00:00");
                                    ui.progress.failOn = "Value=";
                                    ui.progress.failAfter = 1;
                                  },
                                  "Loop内エラー：2007/01/06", "fake window refused", false},
                      FailureCase{"WindowRefusesTheClosingText",
                                  [](ExportRunTest& t, ExportSettingNubelo&, testing::FakeUi& ui) {
                                    TwoRows(t, "2007/01/06 10:00:00");
                                    ui.progress.failOn = "txtText=2件のレコードをエクスポート完了。";
                                  },
                                  "後処理エラー", "fake window refused", true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(ExportRunTest, CountsAndWritesOneSnapshotWhateverIsWrittenMeanwhile) {
  TwoRows(*this, "2007/01/06 10:00:00");
  ui_->progress.onYield = [this] {
    testing::ExecSql(Db(), "INSERT INTO Contents (Day, Number, Genre, Private) VALUES ('2007/01/07', 1, '一般', 0);");
  };
  const ExportReport report = ExportDiary(Out(), Db16(), Defaults(), *ui_);
  ASSERT_TRUE(report.completed) << report.cause;
  EXPECT_EQ(report.entries, 2);
  EXPECT_EQ(ui_->progress.log[ui_->progress.log.size() - 2],
            "txtText=2件のレコードをエクスポート完了。\r\nExport完了！");
  const std::string doc = OutBytes();
  std::size_t days = 0;
  for (std::size_t p = doc.find("<day "); p != std::string::npos; p = doc.find("<day ", p + 1)) ++days;
  EXPECT_EQ(days, 2u);
  EXPECT_EQ(testing::QueryRows(Db(), "SELECT count(*) FROM Contents;"), std::vector<std::string>{"3"});
}

// Stored text made of pieces that each meet a rule: markup, line ends, hyphens,
// slashes, controls, characters of every UTF-8 length, U+FFFE and U+FFFF, and
// bytes that are not UTF-8 (encoded surrogates, overlong forms, cut sequences).
std::string HostileText(std::mt19937& random, std::size_t maxPieces) {
  static const std::string pieces[] = {"a",
                                       "Z",
                                       "0",
                                       " ",
                                       "'",
                                       "<",
                                       ">",
                                       "&",
                                       "\"",
                                       "-",
                                       "/",
                                       "\r",
                                       "\n",
                                       "\r\n",
                                       "\t",
                                       std::string(1, '\0'),
                                       "\x01",
                                       "\x0B",
                                       "\x1F",
                                       "\x7F",
                                       "&lt;",
                                       "<BR>",
                                       "\xC3\xA9",
                                       "\xE6\x97\xA5",
                                       "\xEF\xBC\x8D",
                                       "\xF0\x9F\x8D\x99",
                                       "\xEF\xBF\xBE",
                                       "\xEF\xBF\xBF",
                                       "\xEF\xBF\xBD",
                                       "\xED\x9F\xBF",
                                       "\xED\xA0\x80",
                                       "\xED\xB0\x80",
                                       "\xC0\x80",
                                       "\xC1\xBF",
                                       "\xE0\x80\x80",
                                       "\xE0\x9F\xBF",
                                       "\xF0\x80\x80\x80",
                                       "\xF0\x8F\xBF\xBF",
                                       "\xF4\x8F\xBF\xBF",
                                       "\xF4\x90\x80\x80",
                                       "\x80",
                                       "\xBF",
                                       "\xC3",
                                       "\xE3\x81",
                                       "\xF0\x9F\x8D",
                                       "\xF5",
                                       "\xFE",
                                       "\xFF"};
  std::string text;
  const std::size_t n = std::uniform_int_distribution<std::size_t>(0, maxPieces)(random);
  for (std::size_t i = 0; i < n; ++i) {
    if (random() % 8 == 0) {
      text.push_back(static_cast<char>(random() % 256));
    } else {
      text += pieces[random() % std::size(pieces)];
    }
  }
  return text;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char c : bytes) {
    hex.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
    hex.push_back(kDigits[static_cast<unsigned char>(c) & 0xF]);
  }
  return hex;
}

std::string TextLiteral(std::string_view bytes) { return "CAST(x'" + Hex(bytes) + "' AS TEXT)"; }

// Mostly text, sometimes a BLOB, a number or (when `nullable`) Null, as a store without column types keeps them.
std::string HostileValue(std::mt19937& random, std::size_t maxPieces, bool nullable) {
  switch (random() % 8) {
    case 0:
      return nullable ? "NULL" : "''";
    case 1:
      return "x'" + Hex(HostileText(random, maxPieces)) + "'";
    case 2:
      return std::to_string(static_cast<int>(random() % 200000) - 100000);
    case 3:
      return std::to_string(static_cast<double>(random() % 100000) / 7.0) + "e" + std::to_string(random() % 40 - 20);
    default:
      return TextLiteral(HostileText(random, maxPieces));
  }
}

TEST_F(ExportRunTest, WritesThePieceByPieceBytesForEveryStoredTextAndSetting) {
  testing::MakeStore(Db(), {});
  testing::ExecSql(Db(),
                   "DROP TABLE Contents; CREATE TABLE Contents (Day, Number, Weather, Genre, Private, Title, "
                   "Contents, extend, excerpt, TrackBack, PublishTime, ImportMark);");
  std::mt19937 random(20070105);
  // PublishTime gives ten units: these cut a pair in half, or end right before or after one.
  std::vector<std::string> publishTimes = {
      "2007/01/0\xF0\x9F\x8D\x99", "2007/01/\xF0\x9F\x8D\x99!", "2007/01/0\xF0\x9F\x8D",
      "2007/01/0\xFF\xF0\x9F\x8D\x99",
      "\xF0\x9F\x8D\x99\xF0\x9F\x8D\x99\xF0\x9F\x8D\x99\xF0\x9F\x8D\x99\xF0\x9F\x8D\x99\xF0\x9F\x8D\x99"};
  constexpr int kRows = 400;
  std::string insert =
      "INSERT INTO Contents (Day, Number, Genre, Private, Title, Contents, extend, PublishTime) VALUES ";
  for (int i = 0; i < kRows; ++i) {
    const std::string publish = i < static_cast<int>(publishTimes.size())
                                    ? TextLiteral(publishTimes[static_cast<std::size_t>(i)])
                                : random() % 2 ? TextLiteral("2007/01/0" + HostileText(random, 4))
                                               : HostileValue(random, 12, false);
    insert += std::string(i ? "," : "") + "(" + TextLiteral("2007/" + HostileText(random, 6)) + ", 1, '一般', 0, " +
              HostileValue(random, 12, true) + ", " + HostileValue(random, 120, true) + ", " +
              HostileValue(random, 40, true) + ", " + publish + ")";
  }
  testing::ExecSql(Db(), insert + ";");

  for (const int br : {0, 1, -1}) {
    for (const int hyphen : {0, 1, 2}) {
      for (const int publishDay : {0, 1, 2}) {
        SCOPED_TRACE("intBR " + std::to_string(br) + ", intHyphen " + std::to_string(hyphen) + ", intPublishDay " +
                     std::to_string(publishDay));
        const ExportSettingNubelo set{u"", u"", u"", 0, 0, br, hyphen, publishDay};
        const reference::Document expected = reference::DocumentOf(Db(), set);
        const ExportReport report = ExportDiary(Out(), Db16(), set, *ui_);
        ASSERT_TRUE(report.completed) << report.cause;
        EXPECT_EQ(report.entries, kRows);
        EXPECT_GT(expected.replaced, kRows);  // the store is as hostile as meant
        EXPECT_EQ(report.replacedCharacters, expected.replaced);
        const std::string got = OutBytes();
        const auto [differs, _] = std::mismatch(got.begin(), got.end(), expected.bytes.begin(), expected.bytes.end());
        EXPECT_TRUE(got == expected.bytes)
            << "the bytes differ from byte " << (differs - got.begin())
            << " on: " << got.substr(static_cast<std::size_t>(differs - got.begin()), 40);
      }
    }
  }
}

}  // namespace
}  // namespace nbl::exporting
