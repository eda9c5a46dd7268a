#include "import/diary_lines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <limits>
#include <string>
#include <utility>

#include "common/date.h"
#include "common/failure.h"
#include "common/number.h"
#include "common/text.h"
#include "encoding/code_page.h"
#include "encoding/kanji_code_convert.h"
#include "encoding/utf8.h"
#include "import/day_numbering.h"

namespace nbl::importing {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The character of a numeric reference body ("#65", "#x1F600"), or -1 when the
// body is malformed or names no character that text may hold.
long NumericReferenceValue(std::string_view body) {
  if (body.size() < 2 || body[0] != '#') return -1;
  const bool hex = body[1] == 'x';
  const std::size_t first = hex ? 2 : 1;
  if (first >= body.size()) return -1;
  long value = 0;
  for (std::size_t k = first; k < body.size(); ++k) {
    const int digit = hex ? text::HexDigitValue(static_cast<char16_t>(static_cast<unsigned char>(body[k])))
                          : (IsDigit(body[k]) ? body[k] - '0' : -1);
    if (digit < 0) return -1;
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return -1;  // also keeps the sum from overflowing
  }
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  return value;
}

void AppendCodePoint(std::string& out, long cp) {
  const auto byte = [](long b) { return static_cast<char>(b); };
  if (cp < 0x80) {
    out.push_back(byte(cp));
  } else if (cp < 0x800) {
    out.push_back(byte(0xC0 | (cp >> 6)));
    out.push_back(byte(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(byte(0xE0 | (cp >> 12)));
    out.push_back(byte(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(byte(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(byte(0xF0 | (cp >> 18)));
    out.push_back(byte(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(byte(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(byte(0x80 | (cp & 0x3F)));
  }
}

// The 1-based line of byte `at`, counted as CutLines cuts: at LF when the file
// holds one (CR LF included), else at CR. Every code read here keeps both bytes.
std::size_t LineOfByte(const encoding::Bytes& bytes, std::size_t at) {
  const bool lf = std::find(bytes.begin(), bytes.end(), '\n') != bytes.end();
  const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(at);
  return 1 + static_cast<std::size_t>(std::count(bytes.begin(), end, lf ? '\n' : '\r'));
}

// Calls found(k) for every k with text[k] == c, in order. Sixteen bytes at a
// time where the processor can, since the lines of a diary file are short and
// a call to memchr per line would cost more than the search.
template <typename Found>
void ForEachByte(std::string_view text, char c, Found found) {
  const char* const p = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
#ifdef __SSE2__
  const __m128i wanted = _mm_set1_epi8(c);
  for (; n - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted))); mask != 0;
         mask &= mask - 1) {
      found(i + static_cast<std::size_t>(__builtin_ctz(mask)));
    }
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == c) found(i);
  }
}

// The length of the run of ASCII bytes at the start of `bytes`.
std::size_t AsciiRun(const unsigned char* bytes, std::size_t n) {
  std::size_t i = 0;
#ifdef __SSE2__
  for (; n - i >= 16; i += 16) {
    const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)));
    if (high != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
  }
#endif
  while (i < n && bytes[i] < 0x80) ++i;
  return i;
}

// True when `bytes` are UTF-8 exactly as TextToUtf8Bytes writes what
// Utf8BytesToText reads from them: every sequence well-formed (see
// text::Utf8SequenceLength). `multiByte` tells whether one of more than one byte was met.
bool IsPlainUtf8(std::string_view bytes, bool& multiByte) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  multiByte = false;
  std::size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      i += AsciiRun(p + i, n - i);
      continue;
    }
    const std::size_t length = text::Utf8SequenceLength(bytes, i);
    if (length == 0) return false;
    multiByte = true;
    i += length;
  }
  return true;
}

// `text` written as UTF-8 into `storage`, a surrogate outside a pair as its own three bytes.
std::string_view Utf8Of(std::u16string_view text, encoding::Bytes& storage) {
  storage.clear();
  encoding::TextToUtf8Bytes(text, storage);
  return {reinterpret_cast<const char*>(storage.data()), storage.size()};
}

std::string Utf8Of(std::u16string_view text) {
  encoding::Bytes storage;
  return std::string(Utf8Of(text, storage));
}

// The 16-bit text that UTF-8 `text` (as Utf8Of writes it) stands for.
std::u16string TextOf(std::string_view text) { return encoding::Utf8BytesToText(text, u""); }

// The number of 16-bit units of UTF-8 `text` as Utf8Of writes it: one per
// sequence, two for a four-byte one.
std::size_t UnitsOf(std::string_view text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    units += (b & 0xC0) != 0x80;
    units += b >= 0xF0;
  }
  return units;
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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The name="value" pairs of a tag, from just after its name to its ">". Each
// value runs to its own closing quote (double or single). Text that is no
// such pair is passed over.
void ReadAttributes(std::string_view tag, std::vector<Attribute>& attributes) {
  attributes.clear();
  std::size_t i = 0;
  const std::size_t n = tag.size();
  while (i < n && tag[i] != '>') {
    if (IsBlank(tag[i]) || tag[i] == '/') {
      ++i;
      continue;
    }
    const std::size_t nameStart = i;
    while (i < n && !IsBlank(tag[i]) && tag[i] != '=' && tag[i] != '>') ++i;
    const std::string_view name = tag.substr(nameStart, i - nameStart);
    std::size_t j = i;
    while (j < n && IsBlank(tag[j])) ++j;
    if (j >= n || tag[j] != '=') {
      if (i == nameStart) ++i;  // a lone "=" or the like
      continue;
    }
    ++j;
    while (j < n && IsBlank(tag[j])) ++j;
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
  while (i < rest.size() && IsBlank(rest[i])) ++i;
  if (i == rest.size()) return true;
  if (rest[i] == '>' || rest[i] == '/') return rest.substr(i) == ">" || rest.substr(i) == "/>";
  const std::size_t nameStart = i;
  while (i < rest.size() && !IsBlank(rest[i]) && rest[i] != '=' && rest[i] != '>' && rest[i] != '"' &&
         rest[i] != '\'') {
    ++i;
  }
  if (i == nameStart) return false;
  while (i < rest.size() && IsBlank(rest[i])) ++i;
  if (i == rest.size() || rest[i] != '=') return false;
  ++i;
  while (i < rest.size() && IsBlank(rest[i])) ++i;
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

// "YYYY/MM/DD" of a date written YYYY-MM-DD or YYYY/MM/DD that names a calendar day.
std::optional<std::string> DayText(std::string_view date) {
  if (date.size() != 10 || (date[4] != '-' && date[4] != '/') || date[7] != date[4]) return std::nullopt;
  int parts[3] = {0, 0, 0};
  const std::size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p) {
    for (std::size_t k = starts[p]; k < starts[p] + lengths[p]; ++k) {
      if (!IsDigit(date[k])) return std::nullopt;
      parts[p] = parts[p] * 10 + (date[k] - '0');
    }
  }
  if (!date::IsCalendarDay(parts[0], parts[1], parts[2])) return std::nullopt;
  std::string day(date);
  day[4] = day[7] = '/';
  return day;
}

}  // namespace

DiaryFormatFailure::DiaryFormatFailure(std::size_t line, const std::string& cause)
    : Failure("line " + std::to_string(line) + ": " + cause, cause), line_(line) {}

std::string_view DecodeDiaryBytes(const encoding::Bytes& bytes, encoding::Bytes& storage) {
  // The converters would cut the text at a NUL and silently drop the rest.
  // memchr must not see the null data() of an empty array.
  if (const void* nul = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size())) {
    throw DiaryFormatFailure(
        LineOfByte(bytes, static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes.data())),
        "the file holds a NUL byte here; save it as a text file (UTF-8, JIS, EUC-JP or Shift-JIS)");
  }
  static constexpr std::uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
  const bool marked = bytes.size() >= 3 && std::equal(std::begin(kMark), std::end(kMark), bytes.begin());
  // The mark tells the code; it is no text of the document.
  const std::string_view unmarked(reinterpret_cast<const char*>(bytes.data()) + (marked ? 3 : 0),
                                  bytes.size() - (marked ? 3 : 0));
  bool multiByte = false;
  const bool plain = IsPlainUtf8(unmarked, multiByte);
  if (marked || encoding::LooksLikeUtf8(bytes, 1024) == vb::True || (plain ? multiByte : encoding::IsUtf8Text(bytes))) {
    // Plain UTF-8 is its own text: the file's bytes serve as they are.
    if (plain) return unmarked;
    std::u16string text = encoding::Utf8BytesToText(bytes, u"");
    if (marked) text.erase(0, 1);
    return Utf8Of(text, storage);
  }
  switch (encoding::GuessKanjiCode(bytes)) {
    case encoding::kCodeJis:
      return Utf8Of(encoding::JisBytesToText(bytes), storage);
    case encoding::kCodeEuc:
      return Utf8Of(encoding::EucBytesToText(bytes), storage);
    default: {
      std::u16string text = encoding::CodePageBytesToText(bytes);
      // The guess stops at its first telling pair, and 0x8E starts a half-width kana in EUC-JP as well as a
      // Shift-JIS pair: a file that Shift-JIS cannot read whole (U+FFFD) but EUC-JP can is EUC-JP.
      if (text.find(u'\uFFFD') != std::u16string::npos && encoding::IsEucText(bytes)) {
        text = encoding::EucBytesToText(bytes);
      }
      return Utf8Of(text, storage);
    }
  }
}

std::vector<std::string_view> CutLines(std::string_view text) {
  // At LF, taking a CR just before it into the break (a text without CR LF has no such CR); else at CR.
  std::size_t breaks = 0;
  char separator = '\n';
  ForEachByte(text, separator, [&breaks](std::size_t) { ++breaks; });
  if (breaks == 0) {
    separator = '\r';
    ForEachByte(text, separator, [&breaks](std::size_t) { ++breaks; });
  }
  std::vector<std::string_view> lines;
  lines.reserve(breaks + 1);
  std::size_t start = 0;
  ForEachByte(text, separator, [&](std::size_t hit) {
    const std::size_t end = separator == '\n' && hit > start && text[hit - 1] == '\r' ? hit - 1 : hit;
    lines.push_back(text.substr(start, end - start));
    start = hit + 1;
  });
  lines.push_back(text.substr(start));
  return lines;
}

std::optional<std::int32_t> RoundToLong(double value) {
  const double rounded = number::RoundHalfEven(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(rounded);
}

void DecodeBodyEntitiesInPlace(std::string& text, std::size_t from) {
  std::size_t r = text.find('&', from);
  if (r == std::string::npos) return;
  char* const p = text.data();
  const std::size_t n = text.size();
  const auto at = [p, n](std::size_t k, std::string_view what) {
    return n - k >= what.size() && std::memcmp(p + k, what.data(), what.size()) == 0;
  };
  // One pass does what the four in turn do: "&amp;" leaves an "&", which the
  // text after it may make into one of the other three; what replaces those
  // (no "&") never makes another.
  std::size_t w = r;
  while (r < n) {
    std::size_t q = r + 1;  // p[r] is an "&"
    if (at(q, "amp;")) q += 4;
    char c = '&';
    if (at(q, "lt;")) {
      c = '<';
      q += 3;
    } else if (at(q, "gt;")) {
      c = '>';
      q += 3;
    } else if (at(q, "quot;")) {
      c = '"';
      q += 5;
    }
    p[w++] = c;
    r = q;
    const std::size_t next = std::min(text.find('&', r), n);
    std::memmove(p + w, p + r, next - r);
    w += next - r;
    r = next;
  }
  text.resize(w);
}

std::string DecodeBodyEntities(std::string_view body) {
  std::string out(body);
  DecodeBodyEntitiesInPlace(out, 0);
  return out;
}

std::string DecodeTitleReferences(std::string_view title) {
  std::string out;
  AppendTitleReferences(title, out);
  return out;
}

void AppendTitleReferences(std::string_view title, std::string& out) {
  if (title.find('&') == std::string_view::npos) {
    out.append(title);
    return;
  }
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  std::size_t i = 0;
  while (i < title.size()) {
    const char c = title[i];
    const std::size_t semi = c == '&' ? title.find(';', i + 1) : std::string_view::npos;
    if (semi == std::string_view::npos) {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::string_view body = title.substr(i + 1, semi - i - 1);
    bool decoded = false;
    for (const auto& [name, ch] : kNamed) {
      if (body == name) {
        out.push_back(ch);
        decoded = true;
        break;
      }
    }
    if (!decoded) {
      const long cp = NumericReferenceValue(body);
      if (cp > 0) {
        AppendCodePoint(out, cp);
        decoded = true;
      }
    }
    if (decoded) {
      i = semi + 1;
    } else {
      out.push_back(c);  // not a reference: keep the "&" and read on after it
      ++i;
    }
  }
}

const std::string& NoTitleUtf8() {
  static const std::string title = text::ToUtf8(kNoTitle);
  return title;
}

const std::string& GeneralGenreUtf8() {
  static const std::string genre = text::ToUtf8(kGeneralGenre);
  return genre;
}

std::u16string MakeImportMark(double now) { return date::DateTimeText(now) + u" byNBLinout.dll"; }

DiaryLineReader::DiaryLineReader(const std::vector<std::string_view>& lines, const ImportSettingNubelo& set,
                                 StoreFn store)
    : lines_(lines), startTag_(Utf8Of(set.stTitleStTag)), endTag_(Utf8Of(set.stTitleEdTag)), store_(std::move(store)) {}

void DiaryLineReader::SetStep(std::u16string_view text) {
  stepText_.assign(text);
  // A day is digits and slashes once it is read, and empty before.
  for (const char c : entry_.day) stepText_.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

bool DiaryLineReader::HasTitle() const { return !entry_.title.empty() && entry_.title != NoTitleUtf8(); }

DiaryLineReader::Step DiaryLineReader::HandleLine(std::size_t i) {
  const std::string_view line = text::TrimBlanks(lines_.at(i));
  switch (KindOf(line)) {
    case LineKind::CloseDay:
      StoreEntry(i);
      return Step{i + 1, true};
    case LineKind::OpenBody:
      if (!open_) {
        stepText_ = u"日付取得エラー <day>";
        throw DiaryFormatFailure(i + 1,
                                 "a <body> outside any entry; put a day line <day date=\"YYYY-MM-DD\"> before it");
      }
      return ReadBody(i);
    case LineKind::CloseBody:
      SetStep(u"データ取得エラー <body>：");
      throw DiaryFormatFailure(i + 1, "this </body> closes no body; remove it or add the <body> it belongs to");
    case LineKind::DayLine:
      ReadDayLine(i, line);
      break;
    case LineKind::Other:
      ++skipped_;
      [[fallthrough]];
    case LineKind::Blank:
    case LineKind::Markup:
      SetStep(u"データ読み捨てエラー：");
      break;
  }
  return Step{i + 1, false};
}

void DiaryLineReader::Finish() {
  if (!open_) return;
  SetStep(u"データ格納エラー：");
  throw DiaryFormatFailure(entryLine_ + 1, "the entry that begins on this line is never closed; end it with </day>");
}

DiaryLineReader::Step DiaryLineReader::ReadBody(std::size_t i) {
  SetStep(u"データ取得エラー <body>：");
  const std::size_t blockStart = entry_.body.size();
  std::size_t k = i + 1;
  LineKind closing = LineKind::CloseBody;
  for (;; ++k) {
    if (k >= lines_.size()) {
      throw DiaryFormatFailure(entryLine_ + 1,
                               "the body of the entry that begins on this line is never closed; "
                               "end it with </body> and </day>");
    }
    const std::string_view source = lines_[k];
    closing = KindOf(text::TrimBlanks(source));
    // A well-formed document cannot hold these as body text: their "<" would be escaped.
    if (closing == LineKind::CloseDay || closing == LineKind::CloseBody) break;
    if (closing == LineKind::DayLine) {
      stepText_ = u"日付取得エラー <day>";
      throw DiaryFormatFailure(k + 1, "a new day begins inside the body of the entry of line " +
                                          std::to_string(entryLine_ + 1) +
                                          "; close that entry with </body> and </day>");
    }
    if (!AppendHeading(source)) entry_.body += source;
    entry_.body += "<BR>\r\n";
  }
  SetStep(u"HTMLエンコードエラー：");
  // Only the block just read: text of an earlier block of the same day is decoded already.
  DecodeBodyEntitiesInPlace(entry_.body, blockStart);
  if (closing == LineKind::CloseDay) StoreEntry(k);
  return Step{k + 1, closing == LineKind::CloseDay};
}

bool DiaryLineReader::AppendHeading(std::string_view line) {
  // A heading is a line of more than 10 characters (16-bit units) that starts with "*" and holds a second one.
  if (line.size() <= 10 || line[0] != '*') return false;
  const std::size_t second = line.find('*', 1);
  if (second == std::string_view::npos || UnitsOf(line) <= 10) return false;
  const std::string_view field = line.substr(1, second - 1);
  if (std::all_of(field.begin(), field.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    field_.assign(field.begin(), field.end());
  } else {
    field_ = TextOf(field);
  }
  // A numeric field is a decimal spelling (see ParseDecimal) within 32 bits; any other keeps the last heading time.
  if (const std::optional<double> seconds = number::ParseDecimal(field_)) {
    if (const std::optional<std::int32_t> whole = RoundToLong(*seconds)) {
      entry_.headingTime.clear();
      date::AppendGeneralDate(UnixTimeToDate(*whole), entry_.headingTime);
    }
  }
  const std::string_view heading = line.substr(second + 1);
  entry_.body.append(startTag_).append(heading).append("(").append(entry_.headingTime).append(")").append(endTag_);
  // Decoded as the body around it will be, so the title reads as the heading does.
  if (!HasTitle()) entry_.title = DecodeBodyEntities(heading);
  return true;
}

void DiaryLineReader::ReadDayLine(std::size_t i, std::string_view line) {
  stepText_ = u"日付取得エラー <day>";
  if (open_) {
    throw DiaryFormatFailure(i + 1, "a new day begins before the entry of line " + std::to_string(entryLine_ + 1) +
                                        " is closed; close that entry with </day>");
  }
  std::vector<Attribute>& attributes = attributes_;
  ReadAttributes(line.substr(4), attributes);
  const Attribute* date = Find(attributes, "date");
  if (date == nullptr) throw DiaryFormatFailure(i + 1, "the day line has no date; write it as date=\"YYYY-MM-DD\"");
  if (!date->closed) throw DiaryFormatFailure(i + 1, "the date has no closing quote; end it with a \"");
  std::optional<std::string> day = DayText(date->value);
  if (!day) {
    throw DiaryFormatFailure(
        i + 1, "the date \"" + text::ToUtf8(TextOf(date->value)) + "\" is no calendar day; write it as YYYY-MM-DD");
  }
  entry_.day = std::move(*day);
  stepText_ = u"タイトル取得エラー <day>";
  if (const Attribute* title = Find(attributes, "title")) {
    if (!title->closed) throw DiaryFormatFailure(i + 1, "the title has no closing quote; end it with a \"");
    entry_.title.clear();
    // Only a title that stands last may run past its quote: a date after it stays its own.
    AppendTitleReferences(title > date ? TitleOfLine(line, *title) : title->value, entry_.title);
  }
  open_ = true;
  entryLine_ = i;
}

void DiaryLineReader::StoreEntry(std::size_t i) {
  SetStep(u"データ格納エラー：");
  if (!open_)
    throw DiaryFormatFailure(i + 1, "this closing tag closes no entry; remove it or add the day line it belongs to");
  store_(entry_);
  open_ = false;
  entry_.day.clear();
  entry_.body.clear();
  entry_.headingTime.clear();
  entry_.title = NoTitleUtf8();
}

}  // namespace nbl::importing
