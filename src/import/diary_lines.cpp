#include "import/diary_lines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "common/date.h"
#include "common/failure.h"
#include "common/number.h"
#include "common/text.h"
#include "encoding/utf8.h"
#include "import/day_numbering.h"

namespace nbl::importing {
namespace {

// `text` as UTF-8, a surrogate outside a pair as its own three bytes.
std::string Utf8Of(std::u16string_view text) {
  encoding::Bytes storage;
  encoding::TextToUtf8Bytes(text, storage);
  return std::string(storage.begin(), storage.end());
}

// The 16-bit text that UTF-8 `text` (as Utf8Of writes it) stands for.
std::u16string TextOf(std::string_view text) { return encoding::Utf8BytesToText(text, u""); }

// Whether UTF-8 `text`, as Utf8Of writes it, is more than `limit` 16-bit units
// long: one per sequence, two for a four-byte one.
bool MoreUnitsThan(std::string_view text, std::size_t limit) {
  // No text holds more units than bytes.
  if (text.size() <= limit) return false;
  std::size_t units = 0;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    units += (b & 0xC0) != 0x80;
    units += b >= 0xF0;
    if (units > limit) return true;
  }
  return false;
}

// The value of a field of one to ten digits within 32 bits, the usual spelling
// of heading seconds, read without the general rule; nothing for any other field.
std::optional<std::int32_t> SecondsOfDigits(std::string_view field) {
  if (field.empty() || field.size() > 10) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : field) {
    if (!text::IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

enum class LineKind { Blank, Markup, DayLine, OpenBody, CloseBody, CloseDay, Other };

// What a line is, from its text without the blanks around it.
LineKind KindOf(std::string_view line) {
  if (line.empty()) return LineKind::Blank;
  if (line[0] != '<') return LineKind::Other;
  if (line == "</day>" || line == "</body></day>") return LineKind::CloseDay;
  if (line == "<body>") return LineKind::OpenBody;
  if (line == "</body>") return LineKind::CloseBody;
  if (line.starts_with("<day")) {
    if (line.size() == 4 || line[4] == ' ' || line[4] == '\t' || line[4] == '>' || line[4] == '/') {
      return LineKind::DayLine;
    }
  }
  if (line == "<diary>" || line == "</diary>" || (line.starts_with("<?xml") && line.ends_with("?>"))) {
    return LineKind::Markup;
  }
  return LineKind::Other;
}

// Whether `text` holds one of the tags that give a document its entries: such a
// tag that shares its line with text or another tag would be read as neither.
bool HoldsStructuralTag(std::string_view text) {
  for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    const std::string_view tag = text.substr(at);
    if (tag.starts_with("<body>") || tag.starts_with("</body>") || tag.starts_with("</day>")) return true;
    if (tag.starts_with("<day") && (tag.size() == 4 || text::IsBlank(tag[4]) || tag[4] == '>' || tag[4] == '/'))
      return true;
  }
  return false;
}

// The name="value" pairs of a tag, from just after its name to its ">". Each
// value runs to its own closing quote (double or single). Text that is no
// such pair is passed over.
void ReadAttributes(std::string_view tag, std::vector<Attribute>& attributes) {
  attributes.clear();
  std::size_t i = 0;
  const std::size_t n = tag.size();
  while (i < n && tag[i] != '>') {
    if (text::IsBlank(tag[i]) || tag[i] == '/') {
      ++i;
      continue;
    }
    const std::size_t nameStart = i;
    while (i < n && !text::IsBlank(tag[i]) && tag[i] != '=' && tag[i] != '>') ++i;
    const std::string_view name = tag.substr(nameStart, i - nameStart);
    std::size_t j = i;
    while (j < n && text::IsBlank(tag[j])) ++j;
    if (j >= n || tag[j] != '=') {
      if (i == nameStart) ++i;  // a lone "=" or the like
      continue;
    }
    ++j;
    while (j < n && text::IsBlank(tag[j])) ++j;
    if (j >= n || (tag[j] != '"' && tag[j] != '\'')) {
      i = j;
      continue;
    }
    const std::size_t close = tag.find(tag[j], j + 1);
    if (close == std::string_view::npos) {
      attributes.push_back({name, tag.substr(j + 1), false});
      break;
    }
    attributes.push_back({name, tag.substr(j + 1, close - j - 1)});
    i = close + 1;
  }
}

const Attribute* Find(const std::vector<Attribute>& attributes, std::string_view name) {
  for (const Attribute& a : attributes) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

// Whether `rest`, the text after a value's closing quote, goes on as a tag does:
// blanks, then the tag's end with nothing after it, or another name="value".
bool ContinuesTag(std::string_view rest) {
  std::size_t i = 0;
  while (i < rest.size() && text::IsBlank(rest[i])) ++i;
  if (i == rest.size()) return true;
  if (rest[i] == '>' || rest[i] == '/') return rest.substr(i) == ">" || rest.substr(i) == "/>";
  const std::size_t nameStart = i;
  while (i < rest.size() && !text::IsBlank(rest[i]) && rest[i] != '=' && rest[i] != '>' && rest[i] != '"' &&
         rest[i] != '\'') {
    ++i;
  }
  if (i == nameStart) return false;
  while (i < rest.size() && text::IsBlank(rest[i])) ++i;
  if (i == rest.size() || rest[i] != '=') return false;
  ++i;
  while (i < rest.size() && text::IsBlank(rest[i])) ++i;
  return i < rest.size() && (rest[i] == '"' || rest[i] == '\'');
}

// The service writes titles unescaped, so a title may hold its own quote: when
// the last attribute of `line` (blank-trimmed) is followed by text that no tag
// holds, its value runs to the quote just before the tag's end, as the line reads.
std::string_view TitleOfLine(std::string_view line, const Attribute& title) {
  const std::size_t start = static_cast<std::size_t>(title.value.data() - line.data());
  const std::size_t end = start + title.value.size();  // its closing quote
  if (!title.closed || ContinuesTag(line.substr(end + 1))) return title.value;
  const std::size_t last = line.rfind(line[start - 1]);
  const std::string_view after = text::TrimBlanks(line.substr(last + 1));
  if (last <= end || (after != ">" && after != "/>")) return title.value;
  return line.substr(start, last - start);
}

// Makes `day` "YYYY/MM/DD" of a date written YYYY-MM-DD or YYYY/MM/DD that
// names a calendar day; false, leaving `day` as it was, for any other text.
bool DayText(std::string_view date, std::string& day) {
  const std::optional<date::Day> d = date::ParseDayText(date, date::DayForm::kSlashesOrHyphens);
  if (!d || !date::IsCalendarDay(d->year, d->month, d->day)) return false;
  day.assign(date);
  day[4] = day[7] = '/';
  return true;
}

}  // namespace

DiaryFormatFailure::DiaryFormatFailure(std::size_t line, std::size_t column, const std::string& cause)
    : Failure("line " + std::to_string(line) + (column != 0 ? ", column " + std::to_string(column) : std::string()) +
                  ": " + cause,
              cause),
      line_(line),
      column_(column) {}

SharedLineFailure::SharedLineFailure(std::size_t line, std::size_t column)
    : DiaryFormatFailure(line, column,
                         "text shares a line with a tag; put each <day>, <body>, </body> and </day> on a line of "
                         "its own, as an export writes them") {}

DiaryFormatFailure DiaryLineReader::Fault(const std::string& cause) const {
  return DiaryFormatFailure(line_, column_, cause);
}

SharedLineFailure DiaryLineReader::SharedLine() const { return SharedLineFailure(line_, column_); }

const std::string& NoTitleUtf8() {
  static const std::string title = text::ToUtf8(kNoTitle);
  return title;
}

const std::string& GeneralGenreUtf8() {
  static const std::string genre = text::ToUtf8(kGeneralGenre);
  return genre;
}

DiaryLineReader::DiaryLineReader(const ImportSettingNubelo& set, StoreFn store)
    : startTag_(Utf8Of(set.stTitleStTag)), endTag_(Utf8Of(set.stTitleEdTag)), store_(std::move(store)) {}

void DiaryLineReader::SetStep(ImportStep step, bool withDay) {
  step_.step = step;
  if (withDay) {
    step_.day = entry_.day;
  } else {
    step_.day.clear();
  }
}

bool DiaryLineReader::HasTitle() const { return !entry_.title.empty() && entry_.title != NoTitleUtf8(); }

void DiaryLineReader::HandleLine(std::string_view source) { HandleLineAt(source, line_ + 1, 0); }

void DiaryLineReader::HandleLineAt(std::string_view source, std::size_t number, std::size_t column) {
  line_ = number;
  column_ = column;
  if (inBody_) {
    BodyLine(source);
    return;
  }
  const std::string_view line = text::TrimBlanks(source);
  switch (KindOf(line)) {
    case LineKind::CloseDay:
      StoreEntry();
      return;
    case LineKind::OpenBody:
      if (!open_) {
        SetStep(ImportStep::kReadDay, false);
        throw Fault("a <body> outside any entry; put a day line <day date=\"YYYY-MM-DD\"> before it");
      }
      SetStep(ImportStep::kReadBody);
      inBody_ = true;
      blockStart_ = entry_.body.size();
      return;
    case LineKind::CloseBody:
      SetStep(ImportStep::kReadBody);
      throw Fault("this </body> closes no body; remove it or add the <body> it belongs to");
    case LineKind::DayLine:
      ReadDayLine(line);
      return;
    case LineKind::Other:
      SetStep(ImportStep::kSkipLine);
      // Skipped, a line such as "<body>text</body>" would lose its text without a word.
      if (HoldsStructuralTag(line)) throw SharedLine();
      ++skipped_;
      return;
    case LineKind::Blank:
    case LineKind::Markup:
      SetStep(ImportStep::kSkipLine);
      return;
  }
}

void DiaryLineReader::Finish() {
  if (inBody_) {
    throw DiaryFormatFailure(entryLine_, entryColumn_,
                             "the body of the entry that begins on this line is never closed; "
                             "end it with </body> and </day>");
  }
  if (!open_) return;
  SetStep(ImportStep::kStore);
  throw DiaryFormatFailure(entryLine_, entryColumn_,
                           "the entry that begins on this line is never closed; end it with </day>");
}

void DiaryLineReader::BodyLine(std::string_view source) {
  const LineKind kind = KindOf(text::TrimBlanks(source));
  // A well-formed document cannot hold these as body text: their "<" would be escaped.
  if (kind == LineKind::CloseDay || kind == LineKind::CloseBody) {
    inBody_ = false;
    SetStep(ImportStep::kDecodeEntities);
    // Only the block just read: text of an earlier block of the same day is decoded already.
    DecodeBodyEntitiesInPlace(entry_.body, blockStart_);
    if (kind == LineKind::CloseDay) StoreEntry();
    return;
  }
  if (kind == LineKind::DayLine) {
    SetStep(ImportStep::kReadDay, false);
    throw Fault("a new day begins inside the body of the entry of line " + std::to_string(entryLine_) +
                "; close that entry with </body> and </day>");
  }
  // Kept as text, "last line</body>" would carry its tag into the body, and "</day><day ...>" join two entries.
  if (source.find("</") != std::string_view::npos &&
      (source.find("</body>") != std::string_view::npos || source.find("</day>") != std::string_view::npos)) {
    throw SharedLine();
  }
  if (!AppendHeading(source)) entry_.body += source;
  entry_.body += "<BR>\r\n";
}

bool DiaryLineReader::AppendHeading(std::string_view line) {
  // A heading is a line of more than 10 characters (16-bit units) that starts with "*" and holds a second one.
  if (line.size() <= 10 || line[0] != '*') return false;
  const std::size_t second = line.find('*', 1);
  if (second == std::string_view::npos || !MoreUnitsThan(line, 10)) return false;
  const std::string_view field = line.substr(1, second - 1);
  // A numeric field is a decimal spelling (see ParseDecimal) within 32 bits; any other keeps the last heading time.
  std::optional<std::int32_t> whole = SecondsOfDigits(field);
  if (!whole) {
    if (std::all_of(field.begin(), field.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
      field_.assign(field.begin(), field.end());
    } else {
      field_ = TextOf(field);
    }
    if (const std::optional<double> seconds = number::ParseDecimal(field_)) whole = number::RoundToInt32(*seconds);
  }
  if (whole) {
    entry_.headingTime.clear();
    date::AppendGeneralDate(UnixTimeInJapan(*whole), entry_.headingTime);
  }
  const std::string_view heading = line.substr(second + 1);
  entry_.body.append(startTag_).append(heading).append("(").append(entry_.headingTime).append(")").append(endTag_);
  // Decoded as the body around it will be, so the title reads as the heading does.
  if (!HasTitle()) entry_.title = DecodeBodyEntities(heading);
  return true;
}

void DiaryLineReader::ReadDayLine(std::string_view line) {
  SetStep(ImportStep::kReadDay, false);
  if (open_) {
    throw Fault("a new day begins before the entry of line " + std::to_string(entryLine_) +
                " is closed; close that entry with </day>");
  }
  // "<day ...><body>text" would open an entry whose text is skipped.
  if (HoldsStructuralTag(line.substr(4))) throw SharedLine();
  std::vector<Attribute>& attributes = attributes_;
  ReadAttributes(line.substr(4), attributes);
  const Attribute* date = Find(attributes, "date");
  if (date == nullptr) throw Fault("the day line has no date; write it as date=\"YYYY-MM-DD\"");
  if (!date->closed) throw Fault("the date has no closing quote; end it with a \"");
  if (!DayText(date->value, entry_.day)) {
    throw Fault("the date \"" + text::ToUtf8(TextOf(date->value)) + "\" is no calendar day; write it as YYYY-MM-DD");
  }
  SetStep(ImportStep::kReadTitle, false);
  if (const Attribute* title = Find(attributes, "title")) {
    if (!title->closed) throw Fault("the title has no closing quote; end it with a \"");
    entry_.title.clear();
    // Only a title that stands last may run past its quote: a date after it stays its own.
    AppendTitleReferences(title > date ? TitleOfLine(line, *title) : title->value, entry_.title);
  }
  open_ = true;
  entryLine_ = line_;
  entryColumn_ = column_;
}

void DiaryLineReader::StoreEntry() {
  SetStep(ImportStep::kStore);
  if (!open_) throw Fault("this closing tag closes no entry; remove it or add the day line it belongs to");
  store_(entry_);
  open_ = false;
  entry_.day.clear();
  entry_.body.clear();
  entry_.headingTime.clear();
  entry_.title = NoTitleUtf8();
}

}  // namespace nbl::importing
