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
#include "encoding/code_page.h"
#include "encoding/kanji_code_convert.h"
#include "import/day_numbering.h"

namespace nbl::importing {
namespace {

constexpr std::u16string_view kNoTitle = u"無題";

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The character of a numeric reference body ("#65", "#x1F600"), or -1 when the
// body is malformed or names no character that text may hold.
long NumericReferenceValue(std::u16string_view body) {
  if (body.size() < 2 || body[0] != u'#') return -1;
  const bool hex = body[1] == u'x';
  const std::size_t first = hex ? 2 : 1;
  if (first >= body.size()) return -1;
  long value = 0;
  for (std::size_t k = first; k < body.size(); ++k) {
    const int digit = hex ? text::HexDigitValue(body[k]) : (IsDigit(body[k]) ? body[k] - u'0' : -1);
    if (digit < 0) return -1;
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return -1;  // also keeps the sum from overflowing
  }
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  return value;
}

void AppendCodePoint(std::u16string& out, long cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// The 1-based line of byte `at`, counted as CutLines cuts: at LF when the file
// holds one (CR LF included), else at CR. Every code read here keeps both bytes.
std::size_t LineOfByte(const encoding::Bytes& bytes, std::size_t at) {
  const bool lf = std::find(bytes.begin(), bytes.end(), '\n') != bytes.end();
  const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(at);
  return 1 + static_cast<std::size_t>(std::count(bytes.begin(), end, lf ? '\n' : '\r'));
}

enum class LineKind { Blank, Markup, DayLine, OpenBody, CloseBody, CloseDay, Other };

// What a line is, from its text without the blanks around it.
LineKind KindOf(std::u16string_view line) {
  if (line.empty()) return LineKind::Blank;
  if (line[0] != u'<') return LineKind::Other;
  if (line == u"</day>" || line == u"</body></day>") return LineKind::CloseDay;
  if (line == u"<body>") return LineKind::OpenBody;
  if (line == u"</body>") return LineKind::CloseBody;
  if (line.starts_with(u"<day")) {
    if (line.size() == 4 || line[4] == u' ' || line[4] == u'\t' || line[4] == u'>' || line[4] == u'/') {
      return LineKind::DayLine;
    }
  }
  if (line == u"<diary>" || line == u"</diary>" || (line.starts_with(u"<?xml") && line.ends_with(u"?>"))) {
    return LineKind::Markup;
  }
  return LineKind::Other;
}

struct Attribute {
  std::u16string_view name, value;
  bool closed = true;  // the value ends with its own quote
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The name="value" pairs of a tag, from just after its name to its ">". Each
// value runs to its own closing quote (double or single). Text that is no
// such pair is passed over.
std::vector<Attribute> ReadAttributes(std::u16string_view tag) {
  std::vector<Attribute> attributes;
  std::size_t i = 0;
  const std::size_t n = tag.size();
  while (i < n && tag[i] != u'>') {
    if (IsBlank(tag[i]) || tag[i] == u'/') {
      ++i;
      continue;
    }
    const std::size_t nameStart = i;
    while (i < n && !IsBlank(tag[i]) && tag[i] != u'=' && tag[i] != u'>') ++i;
    const std::u16string_view name = tag.substr(nameStart, i - nameStart);
    std::size_t j = i;
    while (j < n && IsBlank(tag[j])) ++j;
    if (j >= n || tag[j] != u'=') {
      if (i == nameStart) ++i;  // a lone "=" or the like
      continue;
    }
    ++j;
    while (j < n && IsBlank(tag[j])) ++j;
    if (j >= n || (tag[j] != u'"' && tag[j] != u'\'')) {
      i = j;
      continue;
    }
    const std::size_t close = tag.find(tag[j], j + 1);
    if (close == std::u16string_view::npos) {
      attributes.push_back({name, tag.substr(j + 1), false});
      break;
    }
    attributes.push_back({name, tag.substr(j + 1, close - j - 1)});
    i = close + 1;
  }
  return attributes;
}

const Attribute* Find(const std::vector<Attribute>& attributes, std::u16string_view name) {
  for (const Attribute& a : attributes) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

// "YYYY/MM/DD" of a date written YYYY-MM-DD or YYYY/MM/DD that names a calendar day.
std::optional<std::u16string> DayText(std::u16string_view date) {
  if (date.size() != 10 || (date[4] != u'-' && date[4] != u'/') || date[7] != date[4]) return std::nullopt;
  int parts[3] = {0, 0, 0};
  const std::size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p) {
    for (std::size_t k = starts[p]; k < starts[p] + lengths[p]; ++k) {
      if (!IsDigit(date[k])) return std::nullopt;
      parts[p] = parts[p] * 10 + (date[k] - u'0');
    }
  }
  if (!date::IsCalendarDay(parts[0], parts[1], parts[2])) return std::nullopt;
  std::u16string day(date);
  day[4] = day[7] = u'/';
  return day;
}

}  // namespace

DiaryFormatFailure::DiaryFormatFailure(std::size_t line, const std::string& cause)
    : Failure("line " + std::to_string(line) + ": " + cause, cause), line_(line) {}

std::u16string DecodeDiaryBytes(const encoding::Bytes& bytes) {
  // The converters would cut the text at a NUL and silently drop the rest.
  if (const void* nul = std::memchr(bytes.data(), 0, bytes.size())) {
    throw DiaryFormatFailure(LineOfByte(bytes, static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes.data())),
                             "the file holds a NUL byte here; save it as a text file (UTF-8, JIS, EUC-JP or Shift-JIS)");
  }
  static constexpr std::uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
  const bool marked = bytes.size() >= 3 && std::equal(std::begin(kMark), std::end(kMark), bytes.begin());
  if (marked || encoding::LooksLikeUtf8(bytes, 1024) == vb::True || encoding::IsUtf8Text(bytes)) {
    std::u16string text = encoding::Utf8BytesToText(bytes, u"");
    // The mark tells the code; it is no text of the document.
    if (marked) text.erase(0, 1);
    return text;
  }
  switch (encoding::GuessKanjiCode(bytes)) {
    case encoding::kCodeJis: return encoding::JisBytesToText(bytes);
    case encoding::kCodeEuc: return encoding::EucBytesToText(bytes);
    default: return encoding::CodePageBytesToText(bytes);
  }
}

std::vector<std::u16string_view> CutLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  std::size_t start = 0;
  // At LF, taking a CR just before it into the break: a text without CR LF has no such CR.
  for (std::size_t hit = text.find(u'\n'); hit != std::u16string_view::npos; hit = text.find(u'\n', start)) {
    const std::size_t end = hit > start && text[hit - 1] == u'\r' ? hit - 1 : hit;
    lines.push_back(text.substr(start, end - start));
    start = hit + 1;
  }
  if (lines.empty()) {
    for (std::size_t hit = text.find(u'\r'); hit != std::u16string_view::npos; hit = text.find(u'\r', start)) {
      lines.push_back(text.substr(start, hit - start));
      start = hit + 1;
    }
  }
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

void DecodeBodyEntitiesInPlace(std::u16string& text, std::size_t from) {
  std::size_t r = text.find(u'&', from);
  if (r == std::u16string::npos) return;
  char16_t* const p = text.data();
  const std::size_t n = text.size();
  const auto at = [p, n](std::size_t k, std::u16string_view what) {
    return n - k >= what.size() && std::equal(what.begin(), what.end(), p + k);
  };
  // One pass does what the four in turn do: "&amp;" leaves an "&", which the
  // text after it may make into one of the other three; what replaces those
  // (no "&") never makes another.
  std::size_t w = r;
  while (r < n) {
    std::size_t q = r + 1;  // p[r] is an "&"
    if (at(q, u"amp;")) q += 4;
    char16_t c = u'&';
    if (at(q, u"lt;")) {
      c = u'<';
      q += 3;
    } else if (at(q, u"gt;")) {
      c = u'>';
      q += 3;
    } else if (at(q, u"quot;")) {
      c = u'"';
      q += 5;
    }
    p[w++] = c;
    r = q;
    const std::size_t next = std::min(text.find(u'&', r), n);
    std::char_traits<char16_t>::move(p + w, p + r, next - r);
    w += next - r;
    r = next;
  }
  text.resize(w);
}

std::u16string DecodeBodyEntities(std::u16string_view body) {
  std::u16string out(body);
  DecodeBodyEntitiesInPlace(out, 0);
  return out;
}

std::u16string DecodeTitleReferences(std::u16string_view title) {
  if (title.find(u'&') == std::u16string_view::npos) return std::u16string(title);
  static constexpr std::pair<std::u16string_view, char16_t> kNamed[] = {
      {u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}};
  std::u16string out;
  out.reserve(title.size());
  std::size_t i = 0;
  while (i < title.size()) {
    const char16_t c = title[i];
    const std::size_t semi = c == u'&' ? title.find(u';', i + 1) : std::u16string_view::npos;
    if (semi == std::u16string_view::npos) {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::u16string_view body = title.substr(i + 1, semi - i - 1);
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
  return out;
}

std::u16string MakeImportMark(double now) { return date::DateTimeText(now) + u" byNBLinout.dll"; }

DiaryLineReader::DiaryLineReader(const std::vector<std::u16string_view>& lines, const ImportSettingNubelo& set,
                                 std::u16string& stepText, StoreFn store)
    : lines_(lines), set_(set), stepText_(stepText), store_(std::move(store)) {}

void DiaryLineReader::SetStep(std::u16string_view text) { stepText_.assign(text).append(entry_.day); }

bool DiaryLineReader::HasTitle() const { return !entry_.title.empty() && entry_.title != kNoTitle; }

std::size_t DiaryLineReader::HandleLine(std::size_t i) {
  const std::u16string_view line = text::TrimBlanks(lines_.at(i));
  switch (KindOf(line)) {
    case LineKind::CloseDay:
      StoreEntry(i);
      break;
    case LineKind::OpenBody:
      if (!open_) {
        stepText_ = u"日付取得エラー <day>";
        throw DiaryFormatFailure(i + 1, "a <body> outside any entry; put a day line <day date=\"YYYY-MM-DD\"> before it");
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
  return i;
}

void DiaryLineReader::Finish() {
  if (!open_) return;
  SetStep(u"データ格納エラー：");
  throw DiaryFormatFailure(entryLine_ + 1, "the entry that begins on this line is never closed; end it with </day>");
}

std::size_t DiaryLineReader::ReadBody(std::size_t i) {
  SetStep(u"データ取得エラー <body>：");
  const std::size_t blockStart = entry_.body.size();
  std::size_t k = i + 1;
  LineKind closing = LineKind::CloseBody;
  for (;; ++k) {
    if (k >= lines_.size()) {
      throw DiaryFormatFailure(entryLine_ + 1, "the body of the entry that begins on this line is never closed; "
                                               "end it with </body> and </day>");
    }
    const std::u16string_view source = lines_[k];
    closing = KindOf(text::TrimBlanks(source));
    // A well-formed document cannot hold these as body text: their "<" would be escaped.
    if (closing == LineKind::CloseDay || closing == LineKind::CloseBody) break;
    if (closing == LineKind::DayLine) {
      stepText_ = u"日付取得エラー <day>";
      throw DiaryFormatFailure(k + 1, "a new day begins inside the body of the entry of line " +
                                          std::to_string(entryLine_ + 1) + "; close that entry with </body> and </day>");
    }
    if (!AppendHeading(source)) entry_.body += source;
    entry_.body += u"<BR>\r\n";
  }
  SetStep(u"HTMLエンコードエラー：");
  // Only the block just read: text of an earlier block of the same day is decoded already.
  DecodeBodyEntitiesInPlace(entry_.body, blockStart);
  if (closing == LineKind::CloseDay) StoreEntry(k);
  return k;
}

bool DiaryLineReader::AppendHeading(std::u16string_view line) {
  if (line.size() <= 10 || line[0] != u'*') return false;
  const std::size_t second = line.find(u'*', 1);
  if (second == std::u16string_view::npos) return false;
  // A numeric field is a decimal spelling (see ParseDecimal) within 32 bits; any other keeps the last heading time.
  if (const std::optional<double> seconds = number::ParseDecimal(line.substr(1, second - 1))) {
    if (const std::optional<std::int32_t> whole = RoundToLong(*seconds)) {
      entry_.headingTime = date::GeneralDate(UnixTimeToDate(*whole));
    }
  }
  const std::u16string_view heading = line.substr(second + 1);
  entry_.body.append(set_.stTitleStTag).append(heading).append(u"(").append(entry_.headingTime).append(u")").append(
      set_.stTitleEdTag);
  // Decoded as the body around it will be, so the title reads as the heading does.
  if (!HasTitle()) entry_.title = DecodeBodyEntities(heading);
  return true;
}

void DiaryLineReader::ReadDayLine(std::size_t i, std::u16string_view line) {
  stepText_ = u"日付取得エラー <day>";
  if (open_) {
    throw DiaryFormatFailure(i + 1, "a new day begins before the entry of line " + std::to_string(entryLine_ + 1) +
                                        " is closed; close that entry with </day>");
  }
  const std::vector<Attribute> attributes = ReadAttributes(line.substr(4));
  const Attribute* date = Find(attributes, u"date");
  if (date == nullptr) throw DiaryFormatFailure(i + 1, "the day line has no date; write it as date=\"YYYY-MM-DD\"");
  if (!date->closed) throw DiaryFormatFailure(i + 1, "the date has no closing quote; end it with a \"");
  std::optional<std::u16string> day = DayText(date->value);
  if (!day) {
    throw DiaryFormatFailure(i + 1, "the date \"" + text::ToUtf8(date->value) +
                                        "\" is no calendar day; write it as YYYY-MM-DD");
  }
  entry_.day = std::move(*day);
  stepText_ = u"タイトル取得エラー <day>";
  if (const Attribute* title = Find(attributes, u"title")) {
    if (!title->closed) throw DiaryFormatFailure(i + 1, "the title has no closing quote; end it with a \"");
    entry_.title = DecodeTitleReferences(title->value);
  }
  open_ = true;
  entryLine_ = i;
}

void DiaryLineReader::StoreEntry(std::size_t i) {
  SetStep(u"データ格納エラー：");
  if (!open_) throw DiaryFormatFailure(i + 1, "this closing tag closes no entry; remove it or add the day line it belongs to");
  store_(entry_);
  open_ = false;
  entry_.day.clear();
  entry_.body.clear();
  entry_.headingTime.clear();
  entry_.title = kNoTitle;
}

}  // namespace nbl::importing
