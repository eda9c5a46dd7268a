#include "import/import_run.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/date.h"
#include "common/files.h"
#include "common/text.h"
#include "store/connection.h"
#include "support/diary_store.h"
#include "support/fake_ui.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::importing {
namespace {

using namespace std::string_literals;

// Every row of the query, its columns joined by "|".
std::vector<std::string> Sql(const std::u16string& db, const std::string& sql) {
  return testing::QueryRows(text::ToUtf8(db), sql);
}

std::string Iconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no converter");
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = out.data();
  std::size_t srcLeft = in.size(), dstLeft = out.size();
  const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);  // back to the initial shift state
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("conversion failed");
  out.resize(out.size() - dstLeft);
  return out;
}

const char* kColumns =
    "SELECT Day, Number, Weather, Genre, Title, Contents, extend, excerpt, TrackBack, PublishTime, Private "
    "FROM Contents WHERE ImportMark IS NOT NULL ORDER BY rowid";

// A fresh store and file path, with recording fake windows.
struct Scene {
  Scene() : ui(std::make_unique<testing::FakeUi>()), db(dir.File("diary.db")), file(dir.File("in.xml")) {
    store::CreateDiaryStore(db);
  }
  void Write(const std::string& bytes) const { std::ofstream(text::ToUtf8(file), std::ios::binary) << bytes; }
  ImportReport Import(const ImportSettingNubelo& set = {u"<H2>", u"</H2>"}) const {
    ui->progress.log.clear();
    return ImportDiary(file, db, set, *ui);
  }
  std::string LastText() const {
    for (auto it = ui->progress.log.rbegin(); it != ui->progress.log.rend(); ++it) {
      if (it->rfind("txtText=", 0) == 0) return it->substr(8);
    }
    return "";
  }

  testing::TempDir dir;
  std::unique_ptr<testing::FakeUi> ui;
  std::u16string db, file;
};

TEST(ImportMark, AlwaysCarriesTheTime) {
  EXPECT_EQ(text::ToUtf8(MakeImportMark(date::FromParts({2007, 5, 1, 9, 5, 3}))), "2007/05/01 9:05:03 byNBLinout.dll");
  EXPECT_EQ(text::ToUtf8(MakeImportMark(date::FromParts({2007, 5, 1, 0, 0, 0}))), "2007/05/01 0:00:00 byNBLinout.dll");
  EXPECT_EQ(text::ToUtf8(MakeImportMark(date::FromParts({2010, 12, 31, 23, 59, 59}))),
            "2010/12/31 23:59:59 byNBLinout.dll");
}

TEST(ImportRun, StoresEachClosedDayAsANumberedRow) {
  Scene t;
  Sql(t.db, "INSERT INTO Contents (Day, Number, Title) VALUES ('2007/05/01', 3, 'old'), ('2007/05/01', 1, 'old')");
  t.Write(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n"
      "<day date=\"2007-05-01\" title=\"Q&amp;A\">\n<body>\nx&amp;lt;y\n\n</body>\n</day>\n"
      "<day date=\"2007-05-02\" title=\"\">\n<body>\n*1178000000*お知らせ\n</body>\n</day>\n"
      "<day date=\"2007-05-01\" title=\"\">\n<body>\n\n\n</body>\n</day>\n</diary>");
  t.Import();
  EXPECT_TRUE(t.ui->messages.empty());
  const std::vector<std::string> expected = {
      "2007/05/01|4|-|一般|Q&A|x<y<BR>\r\n<BR>\r\n||||2007/05/01 00:00:00|0",
      "2007/05/02|1|-|一般|お知らせ|<H2>お知らせ(2007/05/01 15:13:20)</H2><BR>\r\n||||2007/05/02 00:00:00|0",
      "2007/05/01|5|-|一般|無題|<BR>\r\n<BR>\r\n||||2007/05/01 00:00:00|0",
  };
  EXPECT_EQ(Sql(t.db, kColumns), expected);
  const std::vector<std::string> marks =
      Sql(t.db, "SELECT DISTINCT ImportMark FROM Contents WHERE ImportMark IS NOT NULL");
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_TRUE(std::regex_match(marks[0], std::regex(R"(\d{4}/\d\d/\d\d \d{1,2}:\d\d:\d\d byNBLinout\.dll)")))
      << marks[0];

  const std::vector<std::string>& log = t.ui->progress.log;
  const std::vector<std::string> start = {"Show",
                                          "Caption=Nubelo Imp/Exp for Loggamo",
                                          "txtTitle=Nubelo Import",
                                          "Btn_OK=0",
                                          "Yield",
                                          "Refresh",
                                          "Max=19",
                                          "txtText=19行のテキストをインポートします。",
                                          "Yield",
                                          "Refresh",
                                          "Value=0"};
  ASSERT_GE(log.size(), start.size() + 2);
  EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.begin() + 1 + static_cast<long>(start.size())), start);
  EXPECT_EQ(log[log.size() - 3], "Value=19");
  EXPECT_EQ(log[log.size() - 2], "txtText=\r\n3件の日記をImport完了！");
  EXPECT_EQ(log.back(), "Btn_OK=1");

  t.Import({u"[", u"]"});  // the same file again numbers after the first run
  EXPECT_EQ(Sql(t.db, "SELECT Number FROM Contents WHERE ImportMark IS NOT NULL ORDER BY rowid"),
            (std::vector<std::string>{"4", "1", "5", "6", "2", "7"}));
  EXPECT_EQ(Sql(t.db, "SELECT Contents FROM Contents WHERE Day = '2007/05/02' AND Number = 2")[0],
            "[お知らせ(2007/05/01 15:13:20)]<BR>\r\n");
}

TEST(ImportRun, ReadsEveryKindOfFile) {
  Scene t;
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> rows;  // Day|Number|Title|Contents
    const char* done;
  };
  const std::string day = "<day date=\"2007-05-01\" title=\"日記\">";
  const std::vector<Case> cases = {
      {"UTF-8 with byte-order mark",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n" + day +
           "\n<body>\n本文\n</body>\n</day>\n</diary>",
       {"2007/05/01|1|日記|本文<BR>\r\n"},
       "\r\n1件の日記をImport完了！"},
      {"CR LF",
       day + "\r\n<body>\r\n本文\r\n</body>\r\n</day>\r\n",
       {"2007/05/01|1|日記|本文<BR>\r\n"},
       "\r\n1件の日記をImport完了！"},
      {"CR only",
       day + "\r<body>\r本文\r</body></day>",
       {"2007/05/01|1|日記|本文<BR>\r\n"},
       "\r\n1件の日記をImport完了！"},
      {"characters above U+FFFF are kept",
       day + "\n<body>\n\xF0\x9F\x98\x80 日記\n</body></day>",
       {"2007/05/01|1|日記|\xF0\x9F\x98\x80 日記<BR>\r\n"},
       "\r\n1件の日記をImport完了！"},
      {"Shift-JIS",
       "<day date=\"2007-05-01\" title=\"\x93\xFA\x8B\x4C\">\n</day>",
       {"2007/05/01|1|日記|"},
       "\r\n1件の日記をImport完了！"},
      // A pair in its two surrogate forms, an overlong "/", a stray byte dropped; a lone surrogate stored as U+FFFD.
      {"UTF-8 that is not plain",
       "<day date=\"2007-05-01\" title=\"\xED\xA0\xBD\xED\xB8\x80\">\n<body>\na\xE0\x80\xAF"
       "b\xFF"
       "c\nx\xED\xA0\x80\n</body></day>",
       {"2007/05/01|1|\xF0\x9F\x98\x80|a/bc<BR>\r\nx\xEF\xBF\xBD<BR>\r\n"},
       "\r\n1件の日記をImport完了！"},
      // The guess takes 8E B6 for a Shift-JIS pair, but FC B5 is none.
      {"EUC-JP whose first telling pair is a half-width kana",
       "<day date=\"2007-05-01\" title=\"\x8E\xB6\x8E\xC5\">\n<body>\n\xC6\xFC\xB5\xAD\n</body></day>",
       {"2007/05/01|1|ｶﾅ|日記<BR>\r\n"},
       "\r\n1件の日記をImport完了！"},
      {"a leading U+FEFF is kept",
       "<day date=\"2007-05-01\" title=\"&#xFEFF;日記\">\n</day>",
       {"2007/05/01|1|\xEF\xBB\xBF日記|"},
       "\r\n1件の日記をImport完了！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sql(t.db, "DELETE FROM Contents");
    t.Write(c.bytes);
    t.Import();
    EXPECT_TRUE(t.ui->messages.empty());
    EXPECT_EQ(Sql(t.db, "SELECT Day, Number, Title, Contents FROM Contents ORDER BY rowid"), c.rows);
    EXPECT_EQ(t.LastText(), c.done);
    EXPECT_EQ(t.ui->progress.log.back(), "Btn_OK=1");
  }
}

TEST(ImportRun, FailuresShowTheStepTextAndLetTheWindowClose) {
  struct Case {
    const char* name;
    std::function<void(Scene&)> prepare;
    const char* message;
    std::size_t line;  // of the file, where the failure is
    std::size_t column = 0;
  };
  const std::string good =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<day date=\"2007-05-01\" title=\"t\">\n</day>\n";
  const std::vector<Case> cases = {
      {"missing file", [](Scene&) {}, "インポート元ファイル読み込みエラー", 0},
      {"empty file", [](Scene& t) { t.Write(""); }, "インポート元ファイル読み込みエラー", 0},
      {"missing store",
       [&](Scene& t) {
         t.Write(good);
         t.db = t.dir.File("none.db");
       },
       "日付読み込みエラー", 0},
      {"stored number Null",
       [&](Scene& t) {
         t.Write(good);
         Sql(t.db, "INSERT INTO Contents (Day, Number) VALUES ('2007/05/01', NULL)");
       },
       "日付読み込みエラー", 0},
      {"stored number past 16 bits",
       [&](Scene& t) {
         t.Write(good);
         Sql(t.db, "INSERT INTO Contents (Day, Number) VALUES ('2007/05/01', 40000)");
       },
       "日付読み込みエラー", 0},
      {"stored day Null",
       [&](Scene& t) {
         t.Write(good);
         Sql(t.db, "INSERT INTO Contents (Day, Number) VALUES (NULL, 1)");
       },
       "日付読み込みエラー", 0},
      {"JIS cut inside a character", [](Scene& t) { t.Write("\x1B$BF|F"); }, "漢字コード変換エラー", 0},
      {"NUL in a JIS file", [](Scene& t) { t.Write("\x1B$BF|\x1B(J\n\n<day date=\"2007-05-01\">\n</day>\0\n"s); },
       "漢字コード変換エラー", 4},
      {"day number past 32767",
       [](Scene& t) {
         Sql(t.db, "INSERT INTO Contents (Day, Number) VALUES ('2007/05/02', 32767)");
         t.Write("<day date=\"2007-05-01\" title=\"a\">\n</day>\n<day date=\"2007-05-02\" title=\"b\">\n</day>\n");
       },
       "データ格納エラー：2007/05/02", 4},
      {"body never closed", [](Scene& t) { t.Write("<day date=\"2007-05-01\" title=\"\">\n<body>\ntext"); },
       "データ取得エラー <body>：2007/05/01", 1},
      {"bodies closed by </body> only",
       [](Scene& t) { t.Write("<day date=\"2007-05-01\">\n<body>\nx\n</body>\n</diary>"); },
       "データ格納エラー：2007/05/01", 1},
      // Read by the XML parser: its faults name their line and column, and what the first walk stored goes.
      {"XML: no calendar day",
       [](Scene& t) { t.Write("<diary>\n<day date=\"2007-05-32\"><body>x</body></day></diary>"); },
       "日付取得エラー <day>", 2, 23},
      {"XML: a body outside a day",
       [](Scene& t) {
         t.Write("<diary>\n<day date=\"2007-05-01\">\n<body>\nx\n</body>\n</day>\n<body>y</body>\n</diary>");
       },
       "日付取得エラー <day>", 7, 6},
      {"XML: a day never closed", [](Scene& t) { t.Write("<diary><day date=\"2007-05-01\"><body>x</body></diary>"); },
       "HTMLエンコードエラー：2007/05/01", 1, 53},
      {"XML: not well-formed",
       [](Scene& t) { t.Write("<diary><day date=\"2007-05-01\"><body>a & b</body></day></diary>"); },
       "データ取得エラー <body>：2007/05/01", 1, 40},
      {"window refuses to show",
       [&](Scene& t) {
         t.Write(good);
         t.ui->progress.failOn = "Show";
       },
       "", 0},
      {"window refuses the maximum",
       [&](Scene& t) {
         t.Write(good);
         t.ui->progress.failOn = "Max=";
       },
       "改行コード変換エラー", 0},
      {"window refuses the first value",
       [&](Scene& t) {
         t.Write(good);
         t.ui->progress.failOn = "Value=";
       },
       "データ読み捨てエラー：", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scene t;
    c.prepare(t);
    const ImportReport report = t.Import();
    EXPECT_EQ(report.failureLine, c.line);
    EXPECT_EQ(report.failureColumn, c.column);
    EXPECT_FALSE(report.cause.empty());
    ASSERT_EQ(t.ui->messages.size(), 1u);
    EXPECT_EQ(text::ToUtf8(t.ui->messages[0]), c.message);
    EXPECT_EQ(t.ui->progress.log.back(), "Btn_OK=1");
    for (const std::string& entry : t.ui->progress.log) EXPECT_EQ(entry.find("Import完了"), std::string::npos);
    if (files::ExistsR(t.db)) {
      EXPECT_EQ(Sql(t.db, "SELECT COUNT(*) FROM Contents WHERE ImportMark IS NOT NULL")[0], "0");
    }
  }
}

TEST(ImportRun, AFailureInTheLastEntryLeavesTheStoreAsItWas) {
  Scene t;
  Sql(t.db, "INSERT INTO Contents (Day, Number, Title) VALUES ('2007/05/01', 3, 'old'), ('2007/05/02', 1, NULL)");
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
  for (int k = 0; k < 10000; ++k)
    doc += "<day date=\"2007-05-0" + std::to_string(k % 9 + 1) + "\">\n<body>\n本文\n</body>\n</day>\n";
  t.Write(doc + "<day date=\"2007-05-32\">\n</day>\n</diary>");
  const std::vector<std::string> dump = {"sqlite3", text::ToUtf8(t.db), ".dump"};
  const std::string before = testing::RunCommand(dump).output;
  EXPECT_EQ(t.Import().failureLine, 50003u);
  EXPECT_EQ(text::ToUtf8(t.ui->messages.at(0)), "日付取得エラー <day>");
  EXPECT_EQ(testing::RunCommand(dump).output, before);
  EXPECT_NE(before.find("'old'"), std::string::npos);
}

// A UTF-8 file is stored while its first reading still runs: the windows see the line count, then
// every line's value in order, as when the reading came first; what that reading finds far past
// the head (a NUL, a stray byte) fails the run, or has the file read again, as it did before.
TEST(ImportRun, AFileStoredBeforeItsFirstReadingEndsImportsAsBefore) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
  for (int k = 0; k < 500; ++k) doc += "<day date=\"2007-05-01\" title=\"日記\">\n<body>\n本文\n</body>\n</day>\n";
  // A long line the walk skips and the first reading must scan: the first lines are stored before it ends.
  for (int k = 0; k < 1 << 20; ++k) doc += "日";
  doc += "\n";
  const std::size_t lines = 1 + static_cast<std::size_t>(std::count(doc.begin(), doc.end(), '\n'));
  struct Case {
    const char* name;
    std::string tail;
    const char* message;  // "" when it succeeds
    const char* body;
  };
  const Case cases[] = {
      {"plain UTF-8", "</diary>", "", "本文<BR>\r\n"},
      {"a NUL at the end", "</diary>\0"s, "漢字コード変換エラー", ""},
      {"a stray byte in the last entry",
       "<day date=\"2007-05-02\" title=\"t\">\n<body>\na\xFF"
       "b\n</body>\n</day>\n</diary>",
       "", "ab<BR>\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scene t;
    t.Write(doc + c.tail);
    const ImportReport report = t.Import();
    const std::vector<std::string>& log = t.ui->progress.log;
    std::vector<std::string> values;
    for (const std::string& entry : log) {
      if (entry.rfind("Value=", 0) == 0) values.push_back(entry);
    }
    if (*c.message != '\0') {
      ASSERT_EQ(t.ui->messages.size(), 1u);
      EXPECT_EQ(text::ToUtf8(t.ui->messages[0]), c.message);
      EXPECT_TRUE(values.empty());
      EXPECT_EQ(Sql(t.db, "SELECT COUNT(*) FROM Contents")[0], "0");
      continue;
    }
    EXPECT_TRUE(t.ui->messages.empty());
    const std::size_t last = lines - 1 + (c.tail.size() > 10 ? 5 : 0);
    const auto count = std::find(log.begin(), log.end(), "Max=" + std::to_string(last));
    ASSERT_NE(count, log.end());
    EXPECT_LT(count - log.begin(), std::find(log.begin(), log.end(), "Value=0") - log.begin());
    ASSERT_EQ(values.size(), last + 1);
    for (std::size_t k = 0; k <= last; ++k) EXPECT_EQ(values[k], "Value=" + std::to_string(k)) << k;
    EXPECT_EQ(report.stored, c.tail.size() > 10 ? 501 : 500);
    EXPECT_EQ(Sql(t.db, "SELECT Contents FROM Contents ORDER BY rowid DESC LIMIT 1")[0], c.body);
  }
}

// The whole JIS X 0208 set, written as JIS, EUC-JP and Shift-JIS, imports to the
// same bodies, equal to what the code page 932 decoder makes of the Shift-JIS bytes.
TEST(ImportRun, JisEucAndShiftJisImportAlike) {
  Scene t;
  std::vector<std::string> chars;  // EUC-JP bytes of every assigned cell
  for (int j1 = 0x21; j1 <= 0x74; ++j1) {
    for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
      const std::string euc{static_cast<char>(j1 | 0x80), static_cast<char>(j2 | 0x80)};
      try {
        Iconv("UTF-8", "EUC-JP", euc);
        chars.push_back(euc);
      } catch (const std::runtime_error&) {
      }
    }
  }
  ASSERT_GT(chars.size(), 6800u);
  const std::string heading = chars[1000] + chars[2000] + chars[3000] + chars[4000];
  std::string eucDoc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n<day date=\"2007-05-01\" title=\"\">\n<body>\n";
  std::vector<std::string> bodyLines = {"*1178000000*" + heading};
  for (std::size_t k = 0; k < chars.size(); k += 40) {
    std::string line;
    for (std::size_t m = k; m < std::min(k + 40, chars.size()); ++m) line += chars[m];
    bodyLines.push_back(line);
  }
  std::string expected;
  for (std::size_t k = 0; k < bodyLines.size(); ++k) {
    eucDoc += bodyLines[k] + "\n";
    const std::string decoded = Iconv("UTF-8", "CP932", Iconv("SHIFT_JIS", "EUC-JP", k == 0 ? heading : bodyLines[k]));
    expected += (k == 0 ? "<H2>" + decoded + "(2007/05/01 15:13:20)</H2>" : decoded) + "<BR>\r\n";
  }
  eucDoc += "</body>\n</day>\n</diary>";
  const std::string title = Iconv("UTF-8", "CP932", Iconv("SHIFT_JIS", "EUC-JP", heading));

  for (const char* code : {"EUC-JP", "ISO-2022-JP", "SHIFT_JIS"}) {
    SCOPED_TRACE(code);
    Sql(t.db, "DELETE FROM Contents");
    t.Write(std::string(code) == "EUC-JP" ? eucDoc : Iconv(code, "EUC-JP", eucDoc));
    t.Import();
    EXPECT_TRUE(t.ui->messages.empty());
    const std::vector<std::string> rows = Sql(t.db, "SELECT Title, Contents FROM Contents");
    ASSERT_EQ(rows.size(), 1u);
    const std::string want = title + "|" + expected;
    EXPECT_TRUE(rows[0] == want) << "first difference at byte "
                                 << std::mismatch(rows[0].begin(), rows[0].end(), want.begin(), want.end()).first -
                                        rows[0].begin();
  }
}

}  // namespace
}  // namespace nbl::importing
