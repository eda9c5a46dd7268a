#include "import/diary_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "import/diary_lines.h"
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
  // Whether the text is the file's own bytes; a text the kanji codes cannot read is not.
  const auto asIs = [&storage](const encoding::Bytes& raw) {
    try {
      return DecodeDiaryBytes(raw, storage).data() == reinterpret_cast<const char*>(raw.data());
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
    const std::string_view text = DecodeDiaryBytes(raw, storage);
    Write(dir.File("d.xml"), bytes);
    DiaryFile file(dir.File("d.xml"));
    file.Decode();
    const Strings expected = Cut({text}, SeparatorOf(text));
    EXPECT_EQ(file.LineCount(), expected.size());
    EXPECT_EQ(LinesOf(file), expected);
  }
}

// A file read in pieces gives the lines of its whole text, however the piece ends cut its
// characters and breaks; other codes are read whole.
TEST(DiaryFile, GivesTheLinesOfTheWholeText) {
  const std::string fill(DiaryFile::kPiece - 8, 'a');
  const std::string cases[] = {
      fill + "\xE6\x97\xA5\xE6\x9C\xAC\r\n\xE6\x97\xA5\r\nz",  // a character on each side of the piece end
      fill + "a\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x8D\x99\nz",
      fill + "aaaaaa\r\n\xE6\x97\xA5",  // CR LF across the piece end
      fill + "aaaaaaa\r\xE6\x97\xA5\rb",
      "\xEF\xBB\xBF" + fill + "\xE6\x97\xA5\n",
      std::string(2 * DiaryFile::kPiece, 'b') + "\n\xC3\xA9",
      "\x93\xFA\x8B\x4C\r\n\x93\xFA\x8B\x4C",  // Shift-JIS: decoded
      "\xC3\xA9\xC3\xA9 \xFF\nb",              // UTF-8 but not plain: the bad byte dropped
  };
  testing::TempDir dir;
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(bytes.size() > 40 ? bytes.size() - 40 : 0));
    Write(dir.File("d.xml"), bytes);
    const encoding::Bytes raw(bytes.begin(), bytes.end());
    encoding::Bytes storage;
    const std::string_view whole = DecodeDiaryBytes(raw, storage);
    const Strings expected = Cut({whole}, SeparatorOf(whole));
    DiaryFile file(dir.File("d.xml"));
    file.Decode();
    EXPECT_EQ(file.LineCount(), expected.size());
    EXPECT_EQ(LinesOf(file), expected);
  }
}

TEST(DiaryFile, RefusesAnEmptyFileAndOneThatChangesWhileRead) {
  testing::TempDir dir;
  const std::u16string path = dir.File("d.xml");
  Write(path, "");
  EXPECT_THROW(DiaryFile{path}, FileFailure);
  const std::string good = "<diary>\n\xE6\x97\xA5\xE6\x9C\xAC\n</diary>";
  const std::string changes[] = {
      good + "\n",                                    // longer
      "<diary>\n\xE6\x97\xA5\xE6\x9C\xAC\r</diary>",  // another break
      "<diary>\n\xE6\x97\xA5\xE6\x9C\xFF\n</diary>",  // no UTF-8
  };
  for (const std::string& changed : changes) {
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
