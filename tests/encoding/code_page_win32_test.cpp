// Code page 932 as Windows decodes it, held against the glibc converter the
// POSIX build reads its tables from (cp932_glibc.py writes that one's table at build time).

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {
namespace {

// Every byte and every double-byte code, to its unit; nothing where the code is not a character.
std::map<std::string, std::string> GlibcTable() {
  std::ifstream in(NBL_CP932_GLIBC);
  std::map<std::string, std::string> table;
  std::string code, unit;
  while (in >> code >> unit) table[code] = unit;
  return table;
}

std::string Hex4(char16_t unit) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(unit));
  return buf;
}

// What the Windows tables give for a code written as in the glibc table.
std::string WindowsUnit(const std::string& code) {
  Bytes bytes;
  for (std::size_t i = 0; i < code.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(code.substr(i, 2), nullptr, 16)));
  const std::u16string text = CodePageBytesToText(bytes);
  if (text.size() != 1 || text[0] == u'\uFFFD') return "-";
  return Hex4(text[0]);
}

// The one difference: Windows reads the byte 80 as U+0080, glibc as no character
// (U+FFFD in a decoded file). Both read 815F and 8160 as the full-width reverse
// solidus and tilde, and 5C and 7E as ASCII.
TEST(CodePage932OnWindows, DiffersFromGlibcOnlyWhereListed) {
  const std::map<std::string, std::string> glibc = GlibcTable();
  ASSERT_EQ(glibc.size(), 256u + 60u * 188u);
  std::ostringstream differences;
  for (const auto& [code, unit] : glibc) {
    const std::string windows = WindowsUnit(code);
    if (windows != unit) differences << code << " glibc " << unit << " windows " << windows << "\n";
  }
  EXPECT_EQ(differences.str(), "80 glibc - windows 0080\n");
}

}  // namespace
}  // namespace nbl::encoding
