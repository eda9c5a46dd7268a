#include "import/diary_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "import/diary_lines.h"
#include "support/reference/kanji_code_convert.h"
#include "support/temp_dir.h"

namespace nbl::importing {
namespace {

using Strings = std::vector<std::string>;

Strings Cut(const std::vector<std::string_view>& pieces, char separator) {
  Strings lines;
  const LineFn keep = [&lines](std::string_view line) { lines.emplace_back(line); };
  LineCutter cutter(separator);
  for (const std::string_view piece : pieces) cutter.Feed(piece, keep);
  cutter.Finish(keep);
  return lines;
}

TEST(LineCutter, CutsAtTheFirstKindOfBreakFoundWhereverThePiecesEnd) {
  const std::pair<std::string, Strings> cases[] =
      {
          {"a\r\nb\r\n", {"a", "b", ""}},       {"a\r\r\nb\r", {"a\r", "b\r"}},
          {"a\r\nb\nc\rd", {"a", "b", "c\rd"}},  // CR LF present: lone LF cuts too, lone CR stays
          {"a\nb\rc", {"a", "b\rc"}},           {"a\rb\r", {"a", "b", ""}},
          {"one line", {"one line"}},           {"", {""}},
      };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const char separator = SeparatorOf(text);
    EXPECT_EQ(Cut({text}, separator), expected);
    for (std::size_t at = 0; at <= text.size(); ++at) {
      const std::string_view t = text;
      EXPECT_EQ(Cut({t.substr(0, at), t.substr(at)}, separator), expected) << "cut at " << at;
    }
    std::vector<std::string_view> bytes;
    for (std::size_t k = 0; k < text.size(); ++k) bytes.push_back(std::string_view(text).substr(k, 1));
    EXPECT_EQ(Cut(bytes, separator), expected);
  }
}

// The whole-file rule and the round trips are tested through the command line; here the mark, the NUL
// and the empty array (which the run refuses before; the code guess fails on it).
TEST(DecodeDiaryBytes, DropsTheMarkAndRefusesANul) {
  encoding::Bytes storage;
  EXPECT_THROW(DecodeDiaryBytes(encoding::Bytes(), storage), ConversionFailure);
  const std::string marked =
      "\xEF\xBB\xBF"
      "caf\xC3\xA9";
  EXPECT_EQ(DecodeDiaryBytes(encoding::Bytes(marked.begin(), marked.end()), storage), "café");
  const std::pair<std::string, std::size_t> nuls[] = {{"a\nb\nc", 3}, {"a\r\nb\rc", 2}, {"a\rb\rc", 3}, {"", 1}};
  for (const auto& [before, line] : nuls) {
    SCOPED_TRACE(before);
    const std::string bytes = before + '\0' + "\x1B$BF|\x1B(J";
    try {
      DecodeDiaryBytes(encoding::Bytes(bytes.begin(), bytes.end()), storage);
      ADD_FAILURE() << "a NUL byte passed";
    } catch (const DiaryFormatFailure& f) {
      EXPECT_EQ(f.line(), line);
    }
  }
}

void Write(const std::u16string& path, const std::string& bytes) {
  std::ofstream(text::ToUtf8(path), std::ios::binary) << bytes;
}

Strings LinesOf(DiaryFile& file) {
  Strings lines;
  file.ForEachLine([&lines](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

// The text of a whole file by the rule DiaryFile follows, through the 16-bit decoders.
std::string Reference(const std::string& bytes) {
  if (const std::size_t nul = bytes.find('\0'); nul != std::string::npos) {
    const char separator = SeparatorOf(bytes);
    throw DiaryFormatFailure(1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + nul, separator)),
                             "NUL");
  }
  const encoding::Bytes raw(bytes.begin(), bytes.end());
  const bool marked = bytes.starts_with("\xEF\xBB\xBF");
  std::u16string text;
  if (marked || encoding::LooksLikeUtf8(raw, 1024) == vb::True || encoding::IsUtf8Text(raw)) {
    text = encoding::Utf8BytesToText(raw, u"").substr(marked ? 1 : 0);
  } else if (const std::int32_t code = encoding::GuessKanjiCode(raw); code == encoding::kCodeJis) {
    text = encoding::JisBytesToText(raw);
  } else if (code == encoding::kCodeEuc) {
    text = encoding::EucBytesToText(raw);
  } else {
    text = encoding::CodePageBytesToText(raw);
    if (text.find(u'\uFFFD') != std::u16string::npos && encoding::IsEucText(raw)) text = encoding::EucBytesToText(raw);
  }
  encoding::Bytes utf8;
  encoding::TextToUtf8Bytes(text, utf8);
  return {utf8.begin(), utf8.end()};
}

// What a reading gives: the line count, the lines and the text in pieces, or the failure.
struct Reading {
  std::size_t lineCount = 0;
  Strings lines;
  std::string text, failure;
  bool operator==(const Reading&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Reading& r) {
  if (!r.failure.empty()) return out << "failure " << r.failure;
  return out << r.lineCount << " lines: " << ::testing::PrintToString(r.lines);
}

std::string FailureOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const DiaryFormatFailure& f) {
    return "NUL at line " + std::to_string(f.line());
  } catch (const ConversionFailure&) {
    return "conversion";
  }
}

Reading ReadingOf(const std::string& bytes) {
  Reading r;
  try {
    r.text = Reference(bytes);
  } catch (...) {
    r.failure = FailureOf(std::current_exception());
    r.text.clear();
    return r;
  }
  r.lines = Cut({r.text}, SeparatorOf(r.text));
  r.lineCount = r.lines.size();
  return r;
}

Reading ReadingOf(const std::u16string& path, std::size_t piece) {
  Reading r;
  DiaryFile file(path, piece);
  try {
    file.Decode();
  } catch (...) {
    r.failure = FailureOf(std::current_exception());
    return r;
  }
  r.lineCount = file.LineCount();
  r.lines = LinesOf(file);
  file.ForEachPiece([&r](std::string_view piece) { r.text += piece; });
  return r;
}

// Read as the import reads a file with the first reading beside: its lines
// handed out before that reading is settled, and again when it tells they
// were not the file's text.
Reading BesideReadingOf(const std::u16string& path) {
  Reading r;
  DiaryFile file(path, DiaryFile::kPiece, true);
  EXPECT_TRUE(file.Beside());
  Strings early;
  bool changed = false;  // the bytes were no plain UTF-8 after all
  try {
    early = LinesOf(file);
  } catch (const FileFailure&) {
    changed = true;
  }
  bool readAgain = false;
  try {
    readAgain = file.Settle();
    file.Decode();
  } catch (...) {
    r.failure = FailureOf(std::current_exception());
    return r;
  }
  EXPECT_EQ(readAgain, changed);
  EXPECT_FALSE(file.Beside());
  r.lineCount = file.LineCount();
  r.lines = readAgain ? LinesOf(file) : early;
  file.ForEachPiece([&r](std::string_view piece) { r.text += piece; });
  return r;
}

// Whether every sequence of `bytes` is well-formed, by the rule one byte at a time.
bool WellFormed(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = text::Utf8SequenceLength(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// The scan takes blocks of simple sequences at once: it must judge every text as the rule
// does and find the same breaks, wherever sequences of each kind and faults stand in a block.
TEST(DecodeDiaryBytes, TakesExactlyTheWellFormedFilesAsTheyAre) {
  const std::string_view parts[] = {
      "ab", "x", "\n", "\r", "\r\n", "\t", "\xC3\xA9", "\xE6\x97\xA5", "\xE3\x81\x82\xE3\x81\x84", "\xEF\xBC\x81",
      "\xE0\xA0\x80", "\xED\x9F\xBF", "\xF0\x9F\x8D\x99", "\xF4\x8F\xBF\xBF",
      // each breaks the rule
      "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC0\x80", "\xC1\xBF", "\x80", "\xE6\x97", "\xC3", "\xFF",
      "\xF5\x80\x80\x80", "\xC0", "\xC1", "\xF8", "\xE6\xE6\x97\xA5", "\xC3\xE6\x97\xA5"};
  constexpr std::size_t kGood = 14;
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  encoding::Bytes storage;
  // Every file here is shorter than one such piece, so it is read in one piece, as with the
  // default size; a small piece keeps the sanitizers' cost of each piece buffer small.
  constexpr std::size_t kPiece = 4096;
  // Whether the text is the file's own bytes; a text the kanji codes cannot read is not.
  const auto asIs = [&storage](const encoding::Bytes& raw) {
    try {
      return DecodeDiaryBytes(raw, storage, kPiece).data() == reinterpret_cast<const char*>(raw.data());
    } catch (const ConversionFailure&) {
      return false;
    }
  };
  // Each fault after each good sequence, at each place of a block.
  for (std::size_t fault = kGood; fault < std::size(parts); ++fault) {
    for (std::size_t good = 6; good < kGood; ++good) {
      for (std::size_t before = 0; before < 20; ++before) {
        std::string bytes = std::string(before, 'x') + std::string(parts[good]) + std::string(parts[fault]) + "ab";
        for (int k = 0; k < 4; ++k) bytes += parts[good];
        const encoding::Bytes raw(bytes.begin(), bytes.end());
        ASSERT_EQ(asIs(raw), WellFormed(bytes)) << bytes;
      }
    }
  }
  testing::TempDir dir;
  for (int round = 0; round < 300; ++round) {
    std::string bytes = "\xE6\x97\xA5";  // one sequence at least, so that a plain text is UTF-8
    const std::uint32_t length = 4 + next(40);
    for (std::uint32_t k = 0; k < length; ++k) {
      // Few faults, so that long runs of good sequences fill blocks.
      bytes += parts[next(40) == 0 ? kGood + next(std::size(parts) - kGood) : next(kGood)];
    }
    SCOPED_TRACE(bytes);
    const encoding::Bytes raw(bytes.begin(), bytes.end());
    EXPECT_EQ(asIs(raw), WellFormed(bytes));
    if (!WellFormed(bytes)) continue;  // read whole, as before the scan took blocks
    const std::string_view text = DecodeDiaryBytes(raw, storage, kPiece);
    Write(dir.File("d.xml"), bytes);
    DiaryFile file(dir.File("d.xml"), kPiece);
    file.Decode();
    const Strings expected = Cut({text}, SeparatorOf(text));
    EXPECT_EQ(file.LineCount(), expected.size());
    EXPECT_EQ(LinesOf(file), expected);
  }
}

// A small file of each kind read in pieces of every size: the lines, text and failures of the whole file,
// however the piece ends cut its characters, escapes and breaks, and whatever the first kilobyte holds.
TEST(DiaryFile, ReadsEveryKindOfFileInPiecesOfAnySizeAsAWhole) {
  const std::string ascii(1030, 'a');
  const std::string cases[] = {
      "<diary>\nabc\n</diary>",                            // plain ASCII
      "a\rb\r\r",                                          // CR only
      "<d>\xE6\x97\xA5\xE6\x9C\xAC\r\n\xE6\x97\xA5\r\nz",  // UTF-8
      "\xEF\xBB\xBF"
      "a\n\xC3\xA9\n",  // UTF-8 with the mark
      "\xEF\xBB\xBF"
      "a\n\xC3\xA9\xFF\n",                                             // ... and a stray byte
      "\xC3\xA9\xC3\xA9 \xFF\nb\xED\xA0\xBD\xED\xB8\x80\xE0\x80\x8A",  // UTF-8 read by the rule: a pair, an LF
      ascii + "\n\xE6\x97\xA5\xF0\x9F\x8D\x99",                        // UTF-8 after a kilobyte of ASCII
      ascii + "\n\xED\xA0\xBD\xED\xB8\x80\n",                          // the six-byte form after it
      ascii + "\n\xE6\x97\xA5\xFF\n",                                  // no UTF-8 after all: Shift-JIS
      "\x1B$BF|K\\\x1B(B\n<a>\r\n\x1B$B$\"\x1B(J\r\n",                 // JIS
      "a\n\x1B(I12\x1B$@F|\x1B(B\n",                                   // JIS kana and ESC $ @
      "\xC6\xFC\xCB\xDC\n\x8E\xB1"
      "a\n\xA4\xA2",                       // EUC-JP
      "\x93\xFA\x96\x7B\r\n\xB1\r\n\x82",  // Shift-JIS, a lead byte at the end
      "\x8E\xB1\xC6\xFC\n\xA4\xA2",        // called Shift-JIS, read as EUC-JP
      "\x1B$BF|F",                         // fails: a pair cut by the end
      "a\n\xC6\xFC\xC6",                   // fails: a lead at the end
      "\x1B$B\x1B(J",                      // fails: nothing written
      "a\n\x1B$B\x1B(J",                   // ... unless text came before
      "a\nb\r\nc\x1B$BF|\0\n",             // fails: a NUL
      "a\rb\r\0c",
  };
  testing::TempDir dir;
  const std::u16string path = dir.File("d.xml");
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(bytes.size() > 40 ? bytes.size() - 40 : 0));
    Write(path, bytes);
    const Reading whole = ReadingOf(bytes);
    for (std::size_t piece = 1; piece <= bytes.size() + 1; ++piece) {
      ASSERT_EQ(ReadingOf(path, piece), whole) << "pieces of " << piece;
    }
  }
}

// At the size the import reads: characters and breaks on each side of a piece end.
TEST(DiaryFile, GivesTheLinesOfTheWholeText) {
  const std::string fill(DiaryFile::kPiece - 8, 'a');
  const std::string cases[] = {
      fill + "\xE6\x97\xA5\xE6\x9C\xAC\r\n\xE6\x97\xA5\r\nz",  // a character on each side of the piece end
      fill + "a\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x8D\x99\nz",
      fill + "aaaaaa\r\n\xE6\x97\xA5",  // CR LF across the piece end
      fill + "aaaaaaa\r\xE6\x97\xA5\rb",
      "\xEF\xBB\xBF" + fill + "\xE6\x97\xA5\n",
      std::string(2 * DiaryFile::kPiece, 'b') + "\n\xC3\xA9",
      fill + "\x1B$BF|\x1B(B\r\nb",  // JIS: an escape across the piece end
      fill + "\x93\xFA\x8B\x4C\r\n\x93",
  };
  testing::TempDir dir;
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(bytes.size() > 40 ? bytes.size() - 40 : 0));
    Write(dir.File("d.xml"), bytes);
    EXPECT_EQ(ReadingOf(dir.File("d.xml"), DiaryFile::kPiece), ReadingOf(bytes));
  }
}

// A file whose head tells UTF-8 broken at LF is handed out while the first reading runs beside: what
// that reading finds past the head (a stray byte, a NUL) still decides the text and the failure.
TEST(DiaryFile, ReadBesideTheFirstReadingGivesTheWholeFile) {
  const std::string head = "<diary>\n\xE6\x97\xA5\xE6\x9C\xAC\n" + std::string(3 * DiaryFile::kPiece, 'a');
  const std::string cases[] = {
      head + "\r\n\xE6\x97\xA5\n</diary>",  // plain UTF-8
      head + "\n\xE6\x97\xFF\nb",           // a stray byte far past the head: read again by the rule
      head + "\n\xC3\xA9\0\n",              // a NUL
      "\xEF\xBB\xBF" + head + "\n\xFF",     // the mark, then a stray byte
      "\xE6\x97\xA5\xE6\x9C\xAC\nz",        // shorter than the head
  };
  testing::TempDir dir;
  const std::u16string path = dir.File("d.xml");
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(bytes.size() > 40 ? bytes.size() - 40 : 0));
    Write(path, bytes);
    EXPECT_EQ(BesideReadingOf(path), ReadingOf(bytes));
  }
}

TEST(DiaryFile, RefusesAnEmptyFileAndOneThatChangesWhileRead) {
  testing::TempDir dir;
  const std::u16string path = dir.File("d.xml");
  Write(path, "");
  EXPECT_THROW(DiaryFile{path}, FileFailure);
  EXPECT_THROW((DiaryFile{path, DiaryFile::kPiece, true}), FileFailure);
  const std::string utf8 = "<diary>\n\xE6\x97\xA5\xE6\x9C\xAC\n</diary>", sjis = "<d>\n\x93\xFA\n</d>";
  const std::pair<std::string, std::string> changes[] = {
      {utf8, utf8 + "\n"},                                    // longer
      {utf8, "<diary>\n\xE6\x97\xA5\xE6\x9C\xAC\r</diary>"},  // another break
      {utf8, "<diary>\n\xE6\x97\xA5\xE6\x9C\xFF\n</diary>"},  // no UTF-8
      {sjis, sjis + "\n"},
      {sjis, "<d>\r\x93\xFA\n</d>"},
      {sjis, "<d>\n\x93\xFA\x93\xFA</d>"},  // the same breaks, more text
      {"\xEF\xBB\xBF"
       "a\n\xFF",
       "abc"
       "a\n\xFF"},  // the mark gone, the text after it the same
  };
  for (const auto& [good, changed] : changes) {
    Write(path, good);
    DiaryFile file(path);
    file.Decode();
    Write(path, changed);
    Strings lines;
    try {
      file.ForEachLine([&lines](std::string_view line) { lines.emplace_back(line); });
      ADD_FAILURE() << "a changed file passed";
    } catch (const FileFailure& f) {
      EXPECT_NE(std::string(f.what()).find("changed"), std::string::npos);
      EXPECT_TRUE(file.reading());
    }
  }
}

}  // namespace
}  // namespace nbl::importing
