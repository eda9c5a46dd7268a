// The import's reading of a diary document whose tags do not each stand on a
// line of their own: an XML parser reads it, whatever its layout, and hands on
// the lines that a document of one tag to a line would hold for it, so that
// the line reader's rules apply to both alike.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace nbl::importing {

// A line of the document of one tag to a line, and the place of the file it
// stands for (1-based line and column).
using PlacedLineFn = std::function<void(std::string_view line, std::size_t lineNumber, std::size_t column)>;

// Reads a diary document in pieces with libxml2's push parser, which streams:
// memory stays that of the largest body. The text is taken as UTF-8 whatever
// its declaration says. For each element it hands on:
//   <day date="…" title="…">  a day line with those attributes (escaped as an
//                             export writes them), then </day> at its end;
//   <body>                    <body>, a line for each line of its text
//                             (escaped), then </body>; the line break (and
//                             blanks before it) right after <body> and the
//                             blanks after the last line break are layout;
//                             elements and comments inside are kept as text;
//   <diary>                   nothing;
//   anything else             a skipped line "-", as is each comment,
//                             processing instruction, document type and text
//                             that is not blank outside bodies.
// Each line carries the place where the parser read what it stands for.
class XmlDiaryReader {
 public:
  explicit XmlDiaryReader(PlacedLineFn line);
  ~XmlDiaryReader();
  XmlDiaryReader(const XmlDiaryReader&) = delete;
  XmlDiaryReader& operator=(const XmlDiaryReader&) = delete;

  // Parses the next piece of the text. Throws DiaryFormatFailure, at the
  // parser's place, for a document that is not well-formed or declares
  // entities of its own; passes on what `line` throws.
  void Feed(std::string_view piece);
  // After the last piece: throws as Feed does, and for a document cut short.
  void Finish();
  // The line the parser has reached, from 1.
  std::size_t line() const;

  struct Parser;

 private:
  void Check();

  std::unique_ptr<Parser> parser_;
};

}  // namespace nbl::importing
