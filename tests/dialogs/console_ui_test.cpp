#include "dialogs/console/console_ui.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "common/failure.h"
#include "dialogs/genre_store.h"
#include "plugin/genre_list.h"
#include "support/temp_dir.h"

namespace nbl::dialogs::console {
namespace {

// A console backend writing into a temporary file that the test reads back.
class ConsoleFixture : public ::testing::Test {
 protected:
  void Make(bool outIsTerminal, const std::string& input = "", bool inIsTerminal = false) {
    out_ = std::tmpfile();
    in_ = std::tmpfile();
    ASSERT_NE(out_, nullptr);
    ASSERT_NE(in_, nullptr);
    std::fputs(input.c_str(), in_);
    std::rewind(in_);
    Streams s;
    s.in = in_;
    s.inIsTerminal = inIsTerminal;
    s.out = out_;
    s.outIsTerminal = outIsTerminal;
    s.barWidth = 10;
    ui_ = MakeConsoleUi(s);
  }
  void TearDown() override {
    ui_.reset();
    if (out_) std::fclose(out_);
    if (in_) std::fclose(in_);
  }
  std::string Output() {
    std::fflush(out_);
    std::string all;
    std::rewind(out_);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, out_)) > 0) all.append(buf, n);
    std::fseek(out_, 0, SEEK_END);
    return all;
  }

  std::FILE* out_ = nullptr;
  std::FILE* in_ = nullptr;
  std::unique_ptr<Ui> ui_;
};

TEST(ProgressBarLine, SharesAndOddMaxima) {
  struct Case {
    float value, max;
    std::string expected;
  } cases[] = {
      {0, 100, "[----------]   0%"},      {50, 100, "[#####-----]  50%"},  {100, 100, "[##########] 100%"},
      {1, 3, "[###-------]  33%"},        {250, 100, "[##########] 100%"},  // the export never resets the value
      {-5, 100, "[----------]   0%"},     {0, 0, "[##########] 100%"},      // nothing to process reads as done
      {7, 0, "[##########] 100%"},        {3, -2, "[##########] 100%"},    {NAN, 10, "[----------]   0%"},
      {5, INFINITY, "[----------]   0%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressBarLine(c.value, c.max, 10), c.expected) << c.value << "/" << c.max;
  }
}

TEST_F(ConsoleFixture, TextsGoToStderrLineByLineWithoutBarWhenNotATerminal) {
  Make(/*outIsTerminal=*/false);
  frmProgress& p = ui_->Progress();
  p.Show();
  p.SetCaption(u"Nubelo Imp/Exp for Loggamo");
  p.SetTxtTitle(u"Nubelo Export");
  p.SetBtnOkEnabled(false);
  p.SetProgressMax(3);
  p.SetTxtText(u"3件のレコードを取得。エクスポートします。");
  p.DoEvents();
  p.Refresh();
  for (int i = 1; i <= 3; ++i) p.SetProgressValue(static_cast<float>(i));
  p.SetTxtText(u"3件のレコードをエクスポート完了。\r\nExport完了！");
  p.SetBtnOkEnabled(true);
  EXPECT_EQ(Output(),
            "Nubelo Export\n"
            "3件のレコードを取得。エクスポートします。\n"
            "3件のレコードをエクスポート完了。\n"
            "Export完了！\n");
}

TEST_F(ConsoleFixture, RepeatedTextsArePrintedOnceUntilTheNextShow) {
  struct Case {
    const char* name;
    void (*drive)(frmProgress&);
    std::string expected;
  } cases[] = {
      {"same text twice",
       [](frmProgress& p) {
         p.Show();
         p.SetTxtText(u"a");
         p.SetTxtText(u"a");
       },
       "a\n"},
      {"changed text",
       [](frmProgress& p) {
         p.Show();
         p.SetTxtText(u"a");
         p.SetTxtText(u"b");
       },
       "a\nb\n"},
      {"second run reuses the window",
       [](frmProgress& p) {
         p.Show();
         p.SetTxtTitle(u"Nubelo Import");
         p.Show();
         p.SetTxtTitle(u"Nubelo Import");
       },
       "Nubelo Import\nNubelo Import\n"},
      {"leading line break and bare LF / CR",
       [](frmProgress& p) {
         p.Show();
         p.SetTxtText(u"\r\n12件の日記をImport完了！\nx\ry");
       },
       "12件の日記をImport完了！\nx\ny\n"},
      {"empty text prints nothing",
       [](frmProgress& p) {
         p.Show();
         p.SetTxtTitle(u"");
       },
       ""},
  };
  for (const Case& c : cases) {
    Make(false);
    c.drive(ui_->Progress());
    EXPECT_EQ(Output(), c.expected) << c.name;
    TearDown();
    out_ = in_ = nullptr;
  }
}

TEST_F(ConsoleFixture, BarOnATerminalIsRedrawnOnlyWhenItChanges) {
  Make(/*outIsTerminal=*/true);
  frmProgress& p = ui_->Progress();
  p.Show();
  p.SetProgressMax(1000);
  for (int i = 1; i <= 1000; ++i) p.SetProgressValue(static_cast<float>(i));
  p.SetBtnOkEnabled(true);
  std::string out = Output();
  // One draw for the maximum, then one per percent step: far fewer than 1000.
  std::size_t draws = 0;
  for (std::size_t at = out.find("\r\x1b[K"); at != std::string::npos; at = out.find("\r\x1b[K", at + 1)) ++draws;
  EXPECT_EQ(draws, 101u);
  EXPECT_NE(out.find("[----------]   0%"), std::string::npos);
  // The finished bar stays and the line is ended for whatever follows.
  EXPECT_EQ(out.substr(out.size() - 22), "\r\x1b[K[##########] 100%\n");
}

TEST_F(ConsoleFixture, TextWhileTheBarIsShownGoesAboveIt) {
  Make(true);
  frmProgress& p = ui_->Progress();
  p.Show();
  p.SetProgressMax(2);
  p.SetProgressValue(1);
  p.SetTxtText(u"途中");
  EXPECT_EQ(Output(),
            "\r\x1b[K[----------]   0%"
            "\r\x1b[K[#####-----]  50%"
            "\r\x1b[K途中\n[#####-----]  50%");
  std::string before = Output();
  ui_->MsgBoxCritical(u"データ格納エラー：2006/02/25");
  EXPECT_EQ(Output().substr(before.size()), "\r\x1b[KNBLinout: データ格納エラー：2006/02/25\n[#####-----]  50%");
}

TEST_F(ConsoleFixture, MessageBoxPrintsOneLineAndDefusesControlCharacters) {
  struct Case {
    std::u16string message;
    std::string expected;
  } cases[] = {
      {u"DB接続エラー", "NBLinout: DB接続エラー\n"},
      {u"", "NBLinout: \n"},
      {u"データ格納エラー：\x1b[2J2006/01/01\a", "NBLinout: データ格納エラー：?[2J2006/01/01?\n"},
      {u"a\u009bb", "NBLinout: a?b\n"},
  };
  for (const Case& c : cases) {
    Make(false);
    ui_->MsgBoxCritical(c.message);
    EXPECT_EQ(Output(), c.expected);
    TearDown();
    out_ = in_ = nullptr;
  }
}

// The export dialog asked at a terminal: the answers typed, and the values OK leaves.
TEST_F(ConsoleFixture, ExportDialogAtATerminal) {
  struct Case {
    const char* name;
    std::string input;
    vb::Boolean isOK, bGenre, bPeriod, bPublish;
    std::u16string stGenre, stStart, stEnd;
    int publish, br, hyphen, day;
  } cases[] = {
      {"Enter everywhere takes the load's defaults", "\n\n\n\n\n\n\n", vb::True, vb::False, vb::False, vb::False, u"",
       u"2006/02/25", u"2006/02/25", 0, 1, 1, 1},
      {"every choice made", "y\n3\ny\n2001/01/01\n2001/12/31\ny\n2\n0\n0\n0\ny\n", vb::True, vb::True, vb::True,
       vb::True, u"旅行", u"2001/01/01", u"2001/12/31", 2, 0, 0, 0},
      {"genre by its text, bad answers asked again", "maybe\nY\n9\n仕事\nn\nn\nx\n1\n\n\n\n", vb::True, vb::True,
       vb::False, vb::False, u"仕事", u"2006/02/25", u"2006/02/25", 0, 1, 1, 1},
      {"ticked with [ALL]", "y\n0\nn\nn\n\n\n\n\n", vb::True, vb::False, vb::False, vb::False, u"", u"2006/02/25",
       u"2006/02/25", 0, 1, 1, 1},
      {"bad dates asked again", "n\ny\n2006/02/30\n1600/01/01\n2006/3/4\n\nn\n\n\n\n\n", vb::True, vb::False, vb::True,
       vb::False, u"", u"2006/03/04", u"2006/02/25", 0, 1, 1, 1},
      {"no at the end is Cancel", "\n\n\n\n\n\nn\n", vb::False, vb::False, vb::False, vb::False, u"", u"", u"", 0, 0, 0,
       0},
      {"end of input is Cancel", "y\n2\n", vb::False, vb::False, vb::False, vb::False, u"", u"", u"", 0, 0, 0, 0},
  };
  nbl::testing::TempDir dir;
  std::u16string path = dir.File("diary.db");
  nbl::testing::MakeGenreStore(path, {u"旅行", u"一般", u"仕事"});
  for (const Case& c : cases) {
    Make(false, c.input, /*inIsTerminal=*/true);
    frmOption& dlg = ui_->Option();
    dlg.PathDiaryMdb = path;
    dlg.ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
    dlg.Show();
    EXPECT_EQ(dlg.IsOK, c.isOK) << c.name;
    EXPECT_EQ(dlg.bGenre, c.bGenre) << c.name;
    EXPECT_EQ(dlg.stGenre, c.stGenre) << c.name;
    EXPECT_EQ(dlg.bPeriod, c.bPeriod) << c.name;
    EXPECT_EQ(dlg.stStart, c.stStart) << c.name;
    EXPECT_EQ(dlg.stEnd, c.stEnd) << c.name;
    EXPECT_EQ(dlg.bPublish, c.bPublish) << c.name;
    EXPECT_EQ(dlg.intPublish, c.publish) << c.name;
    EXPECT_EQ(dlg.intBR, c.br) << c.name;
    EXPECT_EQ(dlg.intHyphen, c.hyphen) << c.name;
    EXPECT_EQ(dlg.intPublishDay, c.day) << c.name;
    TearDown();
    out_ = in_ = nullptr;
  }
}

TEST_F(ConsoleFixture, ExportDialogListsTheGenresInItsOrder) {
  nbl::testing::TempDir dir;
  std::u16string path = dir.File("diary.db");
  nbl::testing::MakeGenreStore(path, {u"旅行", u"一般", u"仕事", u"旅行"});
  Make(false, "y\n", true);
  ui_->Option().PathDiaryMdb = path;
  ui_->Option().ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
  ui_->Option().Show();
  std::string out = Output();
  EXPECT_NE(out.find("  0) [ALL]\n  1) 一般\n  2) 仕事\n  3) 旅行\nジャンル [0]: "), std::string::npos) << out;
}

TEST_F(ConsoleFixture, WithoutATerminalTheDialogsAnswerCancel) {
  nbl::testing::TempDir dir;
  std::u16string path = dir.File("diary.db");
  nbl::testing::MakeGenreStore(path, {u"旅行"});
  Make(false, "y\n2\n\n\n\n\n\n\n", /*inIsTerminal=*/false);
  frmOption& dlg = ui_->Option();
  dlg.PathDiaryMdb = path;
  dlg.ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
  dlg.IsOK = vb::True;  // an earlier OK
  dlg.Show();
  EXPECT_EQ(dlg.IsOK, vb::False);
  frmOptionImport& imp = ui_->OptionImport();
  imp.IsOK = vb::True;
  imp.stTitleStTag = u"<b>";
  imp.Show();
  EXPECT_EQ(imp.IsOK, vb::False);
  EXPECT_EQ(imp.stTitleStTag, u"<H2>");
  EXPECT_EQ(Output(), "");  // nothing asked
}

TEST_F(ConsoleFixture, ExportDialogOnAMissingStoreFailsItsShow) {
  for (bool terminal : {false, true}) {
    nbl::testing::TempDir dir;
    Make(false, "\n\n\n\n\n\n\n", terminal);
    frmOption& dlg = ui_->Option();
    dlg.PathDiaryMdb = dir.File("missing.db");
    dlg.ListGenres = [](std::u16string_view path) { return plugin::ReadGenreList(path); };
    dlg.IsOK = vb::True;
    EXPECT_THROW(dlg.Show(), StoreFailure);
    EXPECT_EQ(dlg.IsOK, vb::False);
    TearDown();
    out_ = in_ = nullptr;
  }
}

TEST_F(ConsoleFixture, ImportDialogAtATerminal) {
  struct Case {
    const char* name;
    std::string input;
    vb::Boolean isOK;
    std::u16string start, end;
  } cases[] = {
      {"Enter keeps the defaults", "\n\n\n", vb::True, u"<H2>", u"</H2>"},
      {"a dash empties a tag", "-\n-\n\n", vb::True, u"", u""},
      {"tags as typed", "<h3 class=\"t\">\n</h3>\ny\n", vb::True, u"<h3 class=\"t\">", u"</h3>"},
      {"no at the end is Close", "<b>\n</b>\nn\n", vb::False, u"<H2>", u"</H2>"},
      {"end of input is Close", "<b>\n", vb::False, u"<H2>", u"</H2>"},
  };
  for (const Case& c : cases) {
    Make(false, c.input, true);
    frmOptionImport& dlg = ui_->OptionImport();
    dlg.Show();
    EXPECT_EQ(dlg.IsOK, c.isOK) << c.name;
    EXPECT_EQ(dlg.stTitleStTag, c.start) << c.name;
    EXPECT_EQ(dlg.stTitleEdTag, c.end) << c.name;
    TearDown();
    out_ = in_ = nullptr;
  }
}

}  // namespace
}  // namespace nbl::dialogs::console
