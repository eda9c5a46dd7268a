#include "import/diary_lines.h"

#include <cmath>
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

}  // namespace

std::u16string DecodeDiaryBytes(const encoding::Bytes& bytes) {
  if (encoding::LooksLikeUtf8(bytes, 1024) == vb::True) return encoding::Utf8BytesToText(bytes, u"");
  switch (encoding::GuessKanjiCode(bytes)) {
    case encoding::kCodeJis: return encoding::JisBytesToText(bytes);
    case encoding::kCodeEuc: return encoding::EucBytesToText(bytes);
    default: return encoding::CodePageBytesToText(bytes);
  }
}

std::vector<std::u16string_view> CutLines(std::u16string_view text) {
  // With CR LF present, every CR just before an LF belongs to a CR LF pair.
  const bool crlf = text.find(u"\r\n") != std::u16string_view::npos;
  const char16_t separator = crlf || text.find(u'\n') != std::u16string_view::npos ? u'\n' : u'\r';
  std::vector<std::u16string_view> lines;
  std::size_t start = 0;
  for (std::size_t hit = text.find(separator); hit != std::u16string_view::npos; hit = text.find(separator, start)) {
    std::u16string_view line = text.substr(start, hit - start);
    if (crlf && !line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back(line);
    start = hit + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::int32_t RoundToLong(double value) {
  const double rounded = number::RoundHalfEven(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    throw OverflowFailure("seconds field out of the 32-bit range");
  }
  return static_cast<std::int32_t>(rounded);
}

std::u16string DecodeBodyEntities(std::u16string_view body) {
  std::u16string out = text::Replace(body, u"&amp;", u"&");
  out = text::Replace(out, u"&lt;", u"<");
  out = text::Replace(out, u"&gt;", u">");
  return text::Replace(out, u"&quot;", u"\"");
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

bool DiaryLineReader::HasTitle() const { return !entry_.title.empty() && entry_.title != kNoTitle; }

std::size_t DiaryLineReader::HandleLine(std::size_t i) {
  const std::u16string_view line = lines_.at(i);
  if (line == u"</body></day>" || line == u"</day>") {
    StoreEntry();
  } else if (line == u"<body>") {
    return ReadBody(i);
  } else if (line.empty() || line == u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" || line == u"<diary>") {
    stepText_ = u"データ読み捨てエラー：" + entry_.day;
  } else {
    ReadDayLine(line);
  }
  return i;
}

std::size_t DiaryLineReader::ReadBody(std::size_t i) {
  stepText_ = u"データ取得エラー <body>：" + entry_.day;
  const std::size_t blockStart = entry_.body.size();
  for (;;) {
    ++i;
    if (i >= lines_.size()) throw Failure("the lines end inside a body");
    const std::u16string_view source = lines_[i];
    if (source == u"</day>" || source == u"</body></day>" || source == u"</body>") break;
    std::u16string line(source);
    RewriteHeading(line);
    entry_.body += line;
    entry_.body += u"<BR>\r\n";
  }
  stepText_ = u"HTMLエンコードエラー：" + entry_.day;
  // Only the block just read: text of an earlier block of the same day is decoded already.
  entry_.body.replace(blockStart, std::u16string::npos, DecodeBodyEntities(std::u16string_view(entry_.body).substr(blockStart)));
  // The closing line is taken once more by the caller.
  return i - 1;
}

void DiaryLineReader::RewriteHeading(std::u16string& line) {
  if (line.size() <= 10 || line[0] != u'*') return;
  const std::vector<std::u16string> parts = text::Split(line, u"*");
  if (parts.size() < 3) return;
  // A numeric field is a decimal spelling (see ParseDecimal); any other keeps the last heading time.
  if (const std::optional<double> seconds = number::ParseDecimal(parts[1])) {
    entry_.headingTime = date::GeneralDate(UnixTimeToDate(RoundToLong(*seconds)));
  }
  const std::u16string& heading = parts[2];
  line = set_.stTitleStTag + heading + u"(" + entry_.headingTime + u")" + set_.stTitleEdTag;
  // Decoded as the body around it will be, so the title reads as the heading does.
  if (!HasTitle()) entry_.title = DecodeBodyEntities(heading);
}

void DiaryLineReader::ReadDayLine(std::u16string_view line) {
  stepText_ = u"日付取得エラー <day>";
  static constexpr std::u16string_view kDate = u"<day date=\"";
  if (const std::size_t at = line.find(kDate); at != std::u16string_view::npos) {
    entry_.day = text::Replace(text::Mid(line, at + kDate.size(), 10), u"-", u"/");
  }
  stepText_ = u"タイトル取得エラー <day>";
  static constexpr std::u16string_view kTitle = u"title=\"";
  if (const std::size_t at = line.find(kTitle); at != std::u16string_view::npos && !HasTitle()) {
    const std::size_t start = at + kTitle.size();
    // The title runs to the line's closing `">`; a line too short for that has none.
    if (line.size() < start + 2) throw Failure("a title attribute without its closing characters");
    entry_.title = DecodeTitleReferences(line.substr(start, line.size() - start - 2));
  }
}

void DiaryLineReader::StoreEntry() {
  stepText_ = u"データ格納エラー：" + entry_.day;
  store_(entry_);
  entry_.day.clear();
  entry_.body.clear();
  entry_.headingTime.clear();
  entry_.title = kNoTitle;
}

}  // namespace nbl::importing
