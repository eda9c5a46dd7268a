#include "store/recordset.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "encoding/utf8.h"
#include "store/raw_sqlite.h"
#include "support/temp_dir.h"

namespace nbl::store {
namespace {

using nbl::testing::TempDir;
using testing::Raw;

constexpr const char* kRows = R"sql(
INSERT INTO Contents (Title, Day, Genre, Private, Number) VALUES
 ('first-bound', '2007/01/01', '日記', 0, 1),
 ('inside',      '2007/06/15', '日記', 0, 1),
 ('last-bound',  '2007/12/31', '日記', 0, 1),
 ('private',     '2007/06/16', '日記', 1, 1),
 ('general',     '2007/06/17', '一般', 0, 1),
 ('null-genre',  '2007/06/18', NULL,   0, 1),
 ('null-private','2007/06/19', '日記', NULL, 1),
 ('empty-day',   '',           '日記', 0, 1),
 ('null-day',    NULL,         '日記', 0, 1),
 ('hobby',       '2008/01/01', '趣味', 1, 1),
 ('travel',      '2007/06/15', '旅行', 0, 3),
 ('travel-2',    '2007/06/15', 'Apple', 0, 2);
)sql";

class RecordsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDiaryStore(path_);
    Raw(file_, kRows);
    cn_.Open(std::u16string(kConnectionPrefix) + path_);
  }

  // The values of `column` of every row, read the way the runs read them; "Null" for Null.
  std::vector<std::string> Read(std::u16string_view sql, int cursor, std::u16string_view column,
                                std::int32_t* count = nullptr) {
    Recordset rs;
    rs.Open(sql, cn_, cursor, adLockReadOnly, adCmdTableDirect);
    if (count != nullptr) *count = rs.RecordCount();
    std::vector<std::string> out;
    for (; !rs.IsEOF(); rs.MoveNext()) {
      const Value v = rs.Field(column);
      out.push_back(v.IsNull() ? "Null" : text::ToUtf8(v.CStr()));
    }
    return out;
  }

  TempDir dir_;
  std::u16string path_ = dir_.File("diary.db");
  std::string file_ = text::ToUtf8(path_);
  Connection cn_;
};

using Texts = std::vector<std::string>;

TEST_F(RecordsetTest, ExportQueriesSelectTheRightRowsInStoreOrder) {
  const struct {
    std::u16string sql;
    Texts titles;
  } cases[] = {
      {u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)Like '%') AND ((Contents.Private)Like '%') AND "
       u"((Contents.Day)>'0000/00/00' And (Contents.Day)<'9999/99/99'));",
       {"first-bound", "inside", "last-bound", "private", "general", "hobby", "travel", "travel-2"}},
      {u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)= '日記') AND ((Contents.Private)= FALSE) AND "
       u"((Contents.Day)>'2007/01/01' And (Contents.Day)<'2007/12/31'));",
       {"inside"}},
      {u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)Like '%') AND ((Contents.Private)= TRUE) AND "
       u"((Contents.Day)>'0000/00/00' And (Contents.Day)<'9999/99/99'));",
       {"private", "hobby"}},
      {u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)= '日記') AND ((Contents.Private)Like '%') AND "
       u"((Contents.Day)>'2007/06/15' And (Contents.Day)<'9999/99/99'));",
       {"last-bound", "private"}},
      // A publication value out of range leaves the bare column, which is true for private rows only.
      {u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)Like '%') AND ((Contents.Private)) AND "
       u"((Contents.Day)>'0000/00/00' And (Contents.Day)<'9999/99/99'));",
       {"private", "hobby"}},
  };
  for (const auto& c : cases) {
    std::int32_t count = 0;
    EXPECT_EQ(Read(c.sql, adOpenKeyset, u"Title", &count), c.titles) << text::ToUtf8(c.sql);
    EXPECT_EQ(count, static_cast<std::int32_t>(c.titles.size())) << text::ToUtf8(c.sql);
    EXPECT_EQ(Read(c.sql, adOpenForwardOnly, u"title", &count), c.titles) << text::ToUtf8(c.sql);
    EXPECT_EQ(count, -1);
  }
}

TEST_F(RecordsetTest, GenreListAndDayNumberQueriesAnswerAsWritten) {
  EXPECT_EQ(Read(u"SELECT Contents.Genre From Contents GROUP BY Contents.Genre Having (((Contents.Genre) <> \"一般\")) "
                 u"ORDER BY Contents.Genre;",
                 adOpenKeyset, u"Genre"),
            (Texts{"Apple", "旅行", "日記", "趣味"}));

  Raw(file_, "INSERT INTO Contents (Day, Number) VALUES ('2007/06/15', 2);");
  Recordset rs;
  rs.Open(
      u"SELECT Contents.Day, Max(Contents.Number) AS NumMax From Contents GROUP BY Contents.Day ORDER BY Contents.Day;",
      cn_, adOpenKeyset, adLockReadOnly, adCmdTableDirect);
  EXPECT_EQ(rs.RecordCount(), 10);  // every day once, Null and empty days included
  Texts days;
  for (; !rs.IsEOF(); rs.MoveNext()) {
    const Value day = rs.Field(u"DAY");
    days.push_back((day.IsNull() ? "Null" : text::ToUtf8(day.CStr())) + "=" +
                   std::to_string(rs.Field(u"nummax").CInt().value()));
  }
  EXPECT_EQ(days, (Texts{"Null=1", "=1", "2007/01/01=1", "2007/06/15=3", "2007/06/16=1", "2007/06/17=1", "2007/06/18=1",
                         "2007/06/19=1", "2007/12/31=1", "2008/01/01=1"}));
  EXPECT_THROW(rs.Field(u"Day"), StoreFailure);  // at the end of rows
  EXPECT_THROW(rs.MoveNext(), StoreFailure);
}

TEST_F(RecordsetTest, ReadsEachStoredKindAndRefusesUnknownColumns) {
  Raw(file_,
      "DELETE FROM Contents; INSERT INTO Contents (Day, Number, Title, Private, extend, Contents) "
      "VALUES ('d', 7, NULL, 2.5, x'E697A5', CAST(x'61FFF09F8D99' AS TEXT) || char(0));");
  Recordset rs;
  rs.Open(u"SELECT Contents.* FROM Contents;", cn_, adOpenKeyset, adLockReadOnly, adCmdTableDirect);
  ASSERT_EQ(rs.RecordCount(), 1);
  EXPECT_EQ(std::get<std::u16string>(rs.Field(u"Day").raw()), u"d");
  EXPECT_EQ(std::get<std::int64_t>(rs.Field(u"NUMBER").raw()), 7);
  EXPECT_TRUE(rs.Field(u"title").IsNull());
  EXPECT_EQ(std::get<double>(rs.Field(u"Private").raw()), 2.5);
  EXPECT_EQ(rs.Field(u"extend").CStr(), u"日");                                        // a BLOB is read as UTF-8 text
  EXPECT_EQ(rs.Field(u"Contents").CStr(), std::u16string(u"a\xDCFF\U0001F359\0", 5));  // a bad byte keeps its mark
  for (const char16_t* unknown : {u"Nope", u"Contents.Day", u""}) {
    EXPECT_THROW(rs.Field(unknown), StoreFailure) << text::ToUtf8(unknown);
    EXPECT_THROW(rs.ColumnIndex(unknown), StoreFailure) << text::ToUtf8(unknown);
  }
  // The same values as the bytes the store holds, numbers in Field's text form.
  const std::pair<const char16_t*, std::optional<std::string>> bytes[] = {
      {u"Day", "d"},
      {u"NUMBER", "7"},
      {u"title", std::nullopt},
      {u"Private", "2.5"},
      {u"extend", "\xE6\x97\xA5"},
      {u"Contents", std::string("a\xFF\xF0\x9F\x8D\x99\0", 7)}};
  for (const auto& [column, expected] : bytes) {
    const std::optional<std::string_view> got = rs.FieldBytes(rs.ColumnIndex(column));
    EXPECT_EQ(got ? std::optional<std::string>(*got) : std::nullopt, expected) << text::ToUtf8(column);
  }
  EXPECT_THROW(rs.FieldBytes(99), StoreFailure);

  // Names without AS are SQLite's choice; a connection that names them "Contents.Day" still finds "Day".
  sqlite3_exec(cn_.handle(), "PRAGMA short_column_names=OFF; PRAGMA full_column_names=ON;", nullptr, nullptr, nullptr);
  EXPECT_EQ(Read(u"SELECT Contents.Day FROM Contents;", adOpenForwardOnly, u"day"), Texts{"d"});
}

TEST_F(RecordsetTest, RefusesBadOrWritingSqlAndLeavesTheStoreAlone) {
  const std::u16string refused[] = {
      u"SELECT Contents.* FROM Contents WHERE (((Contents.Genre)= 'a'b'));",  // an apostrophe in a genre
      u"SELECT * FROM Nothing;",
      u"DELETE FROM Contents;",
      u"DELETE FROM Contents RETURNING Contents.Title;",
      u"BEGIN;",
      u"SELECT 1; DELETE FROM Contents;",
      std::u16string(u"SELECT 1;\0 DELETE FROM Contents;", 32),
      u"  ",
  };
  for (const auto& sql : refused) {
    Recordset rs;
    EXPECT_THROW(rs.Open(sql, cn_, adOpenKeyset, adLockReadOnly, adCmdTableDirect), StoreFailure) << text::ToUtf8(sql);
    EXPECT_FALSE(rs.IsOpen());
  }
  EXPECT_EQ(Raw(file_, "SELECT count(*) FROM Contents;")[0][0], "12");
  Recordset table;
  EXPECT_THROW(table.Open(u"Nothing", cn_, adOpenKeyset, adLockOptimistic, adCmdTableDirect), StoreFailure);
  Connection closed;
  EXPECT_THROW(table.Open(u"SELECT 1;", closed, adOpenKeyset, adLockReadOnly, adCmdTableDirect), StoreFailure);
}

TEST_F(RecordsetTest, KeysetCountIsKnownAtOnceAndReadingOutlivesTheConnection) {
  Raw(file_,
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
      "INSERT INTO Contents (Day, Title) SELECT '2009/01/01', 'bulk' || i FROM n;");
  Recordset rs;
  {
    Connection cn;
    cn.Open(std::u16string(kConnectionPrefix) + path_);
    rs.Open(u"SELECT Contents.Title FROM Contents WHERE Contents.Day = '2009/01/01';", cn, adOpenKeyset, adLockReadOnly,
            adCmdTableDirect);
  }  // the connection is released first, as the runs do
  EXPECT_EQ(rs.RecordCount(), 5000);
  int seen = 0;
  for (; !rs.IsEOF(); rs.MoveNext()) {
    if (++seen == 1) {
      EXPECT_EQ(rs.Field(u"Title").CStr(), u"bulk1");  // counting did not move past the first row
    }
  }
  EXPECT_EQ(seen, 5000);

  Recordset none;
  none.Open(u"SELECT Contents.* FROM Contents WHERE Contents.Day = 'x';", cn_, adOpenKeyset, adLockReadOnly,
            adCmdTableDirect);
  EXPECT_EQ(none.RecordCount(), 0);
  EXPECT_TRUE(none.IsEOF());
}

TEST_F(RecordsetTest, OneObjectReopensAsTheRunsUseIt) {
  Recordset rs;
  rs.Open(u"SELECT Contents.Title, Contents.Day FROM Contents WHERE Contents.Title = 'hobby';", cn_, adOpenKeyset,
          adLockReadOnly, adCmdTableDirect);
  EXPECT_THROW(rs.Open(u"Contents", cn_, adOpenKeyset, adLockOptimistic, adCmdTableDirect), StoreFailure);
  rs.Close();
  rs.Open(u"SELECT Contents.Day, Contents.Title FROM Contents WHERE Contents.Title = 'general';", cn_,
          adOpenForwardOnly, adLockReadOnly, adCmdTableDirect);
  EXPECT_EQ(rs.Field(u"Day").CStr(), u"2007/06/17");
  EXPECT_EQ(rs.RecordCount(), -1);
  rs.Close();
  rs.Open(u"Contents", cn_, adOpenKeyset, adLockOptimistic, adCmdTableDirect);
  rs.AddNew();
  rs.SetField(u"Title", Value(u"added"));
  rs.Update();
  rs.Close();
  EXPECT_FALSE(rs.IsOpen());
  EXPECT_THROW(rs.IsEOF(), StoreFailure);
  EXPECT_EQ(Raw(file_, "SELECT count(*) FROM Contents WHERE Title = 'added';")[0][0], "1");
}

TEST_F(RecordsetTest, AppendedRowsAreStoredAtOnceAndSurviveALaterFailure) {
  Raw(file_,
      "DELETE FROM Contents; CREATE TRIGGER refuse BEFORE INSERT ON Contents WHEN NEW.Day = 'bad' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  Recordset rs;
  rs.Open(u"Contents", cn_, adOpenKeyset, adLockOptimistic, adCmdTableDirect);
  EXPECT_THROW(rs.SetField(u"Day", Value(u"x")), StoreFailure);  // no row added
  EXPECT_THROW(rs.Update(), StoreFailure);

  const std::u16string smile = u"笑\U0001F600";
  rs.AddNew();
  rs.SetField(u"Day", Value(u"2007/05/01"));
  rs.SetField(u"number", Value::Integer(2));
  rs.SetField(u"Genre", Value(u"一般"));
  rs.SetField(u"Title", Value(smile));
  rs.SetField(u"Private", Value::Boolean(false));
  rs.SetField(u"extend", Value(u""));
  rs.SetField(u"Weather", Value());
  EXPECT_THROW(rs.SetField(u"Mood", Value(u"x")), StoreFailure);
  rs.Update();
  rs.MoveNext();
  // Stored before the record set is closed, with the emoji as real UTF-8.
  EXPECT_EQ(Raw(file_, "SELECT Day, Number, Genre, hex(Title), Private, extend, Weather FROM Contents;"),
            (std::vector<Texts>{{"2007/05/01", "2", "一般", "E7AC91F09F9880", "0", "", "NULL"}}));

  // Another column set, in another order, then a row the store refuses.
  rs.AddNew();
  rs.SetField(u"Private", Value::Boolean(true));
  rs.SetField(u"Day", Value(u"2007/05/02"));
  rs.SetField(u"Day", Value(u"2007/05/03"));  // set twice: the last value counts
  rs.AddNew();                                // stores the pending row first
  rs.SetField(u"Day", Value(u"bad"));
  EXPECT_THROW(rs.Update(), StoreFailure);
  EXPECT_THROW(rs.Update(), StoreFailure);  // the refused row is abandoned
  rs.Close();

  EXPECT_EQ(Raw(file_, "SELECT Day, Private FROM Contents;"),
            (std::vector<Texts>{{"2007/05/01", "0"}, {"2007/05/03", "1"}}));
  EXPECT_EQ(Read(u"SELECT Contents.Title FROM Contents WHERE (Contents.Private)= FALSE;", adOpenKeyset, u"Title"),
            Texts{text::ToUtf8(smile)});
}

// A statement keeps its bindings from row to row; each row must still store its own values:
// a buffer changed in place, a shape left and taken up again, a row after a refused one.
TEST_F(RecordsetTest, RowsAlikeStoreEachTheirOwnValues) {
  Raw(file_,
      "DELETE FROM Contents; CREATE TRIGGER refuse BEFORE INSERT ON Contents WHEN NEW.Day = 'bad' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  struct Row {
    const char* day;
    bool number;        // Number 1, else Null
    char fill;          // the long text's letter, written into the one buffer
    const char* title;  // nullptr: not set, so another column set
    bool refused;
  };
  const Row rows[] = {
      {"2007/05/01", true, 'a', nullptr, false}, {"2007/05/01", true, 'b', nullptr, false},
      {"2007/05/02", false, 'b', "t", false},    {"2007/05/02", true, 'b', nullptr, false},
      {"bad", true, 'c', nullptr, true},         {"2007/05/02", true, 'c', nullptr, false},
  };
  Recordset rs;
  rs.Open(u"Contents", cn_, adOpenKeyset, adLockOptimistic, adCmdTableDirect);
  const int day = rs.ColumnIndex(u"Day"), number = rs.ColumnIndex(u"Number"), contents = rs.ColumnIndex(u"Contents"),
            title = rs.ColumnIndex(u"Title");
  std::string dayText, longText(100, ' ');
  std::vector<Texts> expected;
  for (const Row& row : rows) {
    dayText.assign(row.day);  // in place: the same buffer every row
    std::fill(longText.begin(), longText.end(), row.fill);
    rs.AddNew();
    rs.SetUtf8(day, dayText);
    rs.SetField(number, row.number ? Value::Integer(1) : Value());
    rs.SetUtf8(contents, longText);
    if (row.title != nullptr) rs.SetUtf8(title, row.title);
    if (row.refused) {
      EXPECT_THROW(rs.Update(), StoreFailure);
      continue;
    }
    rs.Update();
    expected.push_back({row.day, row.number ? "1" : "NULL", longText, row.title != nullptr ? row.title : "NULL"});
  }
  rs.Close();
  EXPECT_EQ(Raw(file_, "SELECT Day, Number, Contents, Title FROM Contents ORDER BY rowid;"), expected);
}

// Text set by name, by index or as UTF-8 is stored as its UTF-8, a lone
// surrogate as U+FFFD: a leading U+FEFF or U+FFFE is kept, and no unit is
// joined with the one after it (as binding UTF-16 would have SQLite do).
TEST_F(RecordsetTest, TextIsStoredAsItsUtf8) {
  const std::u16string cases[] = {
      u"",
      u"é日\U0001F600",
      {u'a', 0, u'b'},
      {u'a', 0xFEFF},
      {0xFEFF, u'a'},
      {0xFFFE, u'a', u'b'},
      {0xD800},
      {u'x', 0xD800},
      {0xD800, u'A', u'B'},
      {u'x', 0xDC01, u'A'},
      {0xDBFF, 0xDFFF, 0xD800},
  };
  Raw(file_, "DELETE FROM Contents;");
  Recordset rs;
  rs.Open(u"Contents", cn_, adOpenKeyset, adLockOptimistic, adCmdTableDirect);
  const int title = rs.ColumnIndex(u"TITLE"), contents = rs.ColumnIndex(u"Contents");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file_.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* hex = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT hex(?1);", -1, &hex, nullptr), SQLITE_OK);
  std::vector<Texts> expected;
  for (const std::u16string& c : cases) {
    encoding::Bytes utf8;
    encoding::TextToUtf8Bytes(c, utf8);
    rs.AddNew();
    rs.SetField(u"Day", Value(c));
    rs.SetText(title, c);
    rs.SetUtf8(contents, std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    rs.Update();
    const std::string expectedUtf8 = text::ToUtf8(c);
    sqlite3_bind_text(hex, 1, expectedUtf8.data(), static_cast<int>(expectedUtf8.size()), SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(hex), SQLITE_ROW);
    const std::string bytes = reinterpret_cast<const char*>(sqlite3_column_text(hex, 0));
    expected.push_back({bytes, bytes, bytes});
    sqlite3_reset(hex);
  }
  sqlite3_finalize(hex);
  sqlite3_close(db);
  rs.Close();
  EXPECT_EQ(Raw(file_, "SELECT hex(Day), hex(Title), hex(Contents) FROM Contents ORDER BY rowid;"), expected);
}

}  // namespace
}  // namespace nbl::store
