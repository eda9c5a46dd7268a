#include "export/diary_document.h"

#include <algorithm>
#include <array>

#include "common/text.h"
#include "common/utf8_blocks.h"

namespace nbl::exporting {

// PublishTime gives the date its first ten units, "YYYY/MM/DD" of a date and time.
constexpr std::size_t kPublishDateUnits = 10;

// What each ASCII byte of a stored text becomes in one place of the document;
// an empty view keeps the byte.
struct AsciiRules {
  std::array<std::string_view, 0x80> with{};
};

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The rules every place shares: the controls XML cannot carry become U+FFFD.
constexpr AsciiRules XmlRules() {
  AsciiRules rules;
  for (char16_t b = 0; b < 0x80; ++b) {
    if (text::IsOutsideXml(b)) rules.with[b] = kReplacement;
  }
  return rules;
}

// EscapeAttribute; a date also has its "/" as "-".
constexpr AsciiRules AttributeRules(bool date) {
  AsciiRules rules = XmlRules();
  rules.with['&'] = "&amp;";
  rules.with['<'] = "&lt;";
  rules.with['>'] = "&gt;";
  rules.with['"'] = "&quot;";
  rules.with['\t'] = "&#9;";
  rules.with['\r'] = "&#13;";
  rules.with['\n'] = "&#10;";
  if (date) rules.with['/'] = "-";
  return rules;
}

// The body rule: LF as "<BR>" and "-" as U+FF0D where the settings say, then
// EncodeHtmlText, whose last pass escapes the "&" of the first three too.
constexpr AsciiRules BodyRules(bool lineBreaks, bool hyphens) {
  AsciiRules rules = XmlRules();
  rules.with['<'] = "&amp;lt;";
  rules.with['>'] = "&amp;gt;";
  rules.with['"'] = "&amp;quot;";
  rules.with['&'] = "&amp;";
  if (lineBreaks) rules.with['\n'] = "&amp;lt;BR&amp;gt;";
  if (hyphens) rules.with['-'] = "\xEF\xBC\x8D";
  return rules;
}

constexpr AsciiRules kTitleRules = AttributeRules(false);
constexpr AsciiRules kDateRules = AttributeRules(true);
constexpr AsciiRules kBodyRules[2][2] = {{BodyRules(false, false), BodyRules(false, true)},
                                         {BodyRules(true, false), BodyRules(true, true)}};

// U+FFFE and U+FFFF, the two characters of the BMP that XML cannot carry.
bool IsNonCharacter(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]) == 0xEF && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
         (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xBE;
}

#ifdef __SSE2__
// The ASCII bytes of `block` that some rule may touch: controls and the few characters some rule names.
__m128i AsciiMayNeedRule(__m128i block) {
  const auto is = [&block](char c) { return _mm_cmpeq_epi8(block, _mm_set1_epi8(c)); };
  const __m128i controls = _mm_cmpeq_epi8(_mm_min_epu8(block, _mm_set1_epi8(0x1F)), block);
  return _mm_or_si128(_mm_or_si128(_mm_or_si128(controls, is('&')), _mm_or_si128(is('<'), is('>'))),
                      _mm_or_si128(is('"'), _mm_or_si128(is('-'), is('/'))));
}

// The leads of U+FFFE and U+FFFF in `block`, and a lead 0xEF whose sequence the block
// cuts, so that a block read after it never starts inside one of the two.
__m128i NonCharacterLeads(__m128i block) {
  const auto is = [&block](int c) { return _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(c))); };
  const __m128i bf = is(0xBF), cut1 = _mm_slli_si128(_mm_set1_epi8(-1), 15),
                cut2 = _mm_slli_si128(_mm_set1_epi8(-1), 14);
  return _mm_and_si128(_mm_and_si128(is(0xEF), _mm_or_si128(_mm_srli_si128(bf, 1), cut1)),
                       _mm_or_si128(_mm_srli_si128(_mm_or_si128(is(0xBE), bf), 2), cut2));
}

unsigned MayNeedRule(__m128i block) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(AsciiMayNeedRule(block), NonCharacterLeads(block))));
}

// Where the run of bytes from `i` that no rule touches and that are whole sequences of
// at most three bytes ends, or nearly: a sequence boundary at or after `i`, from which
// the rest is read block by block below. Sixteen bytes at a fixed stride, so that the
// next load never waits for this block's answer.
std::size_t CleanRunEnd(const unsigned char* p, std::size_t i, std::size_t n) {
  unsigned carry = 0, cutBytes = 0;
  for (; n - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (_mm_movemask_epi8(AsciiMayNeedRule(block)) != 0) break;
    if ((_mm_movemask_epi8(block) | carry) != 0 &&
        (_mm_movemask_epi8(NonCharacterLeads(block)) != 0 || !text::SimpleSequencesGoOn(block, carry, cutBytes))) {
      break;
    }
  }
  return i - cutBytes;
}
#endif

// Appends `stored` to `out` under `rules`. Well-formed sequences other than
// U+FFFE and U+FFFF are copied as they are, since UTF-8 has one form per
// character; each byte that starts none is one character (the mark
// text::FromUtf8MarkingBadBytes gives it) and becomes U+FFFD. Returns the number
// of U+FFFD written.
std::size_t AppendStored(std::string_view stored, const AsciiRules& rules, std::string& out) {
  std::size_t replaced = 0;
  std::size_t kept = 0;  // start of the bytes passed over so far, which stay as they are
  std::size_t i = 0;
  const auto* const p = reinterpret_cast<const unsigned char*>(stored.data());
  const std::size_t n = stored.size();
  while (i < n) {
#ifdef __SSE2__
    i = CleanRunEnd(p, i, n);
    if (i == n) break;
    // The block where that run ends, up to the first byte that may need a rule, or the
    // general one, which is read below.
    if (n - i >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
      bool multiByte = false;
      const unsigned whole = high == 0 ? 16 : text::SimpleSequencesEnd(block, multiByte);
      const unsigned special = MayNeedRule(block);
      const unsigned clear = whole != 0 ? whole : static_cast<unsigned>(__builtin_ctz(high));
      const unsigned upTo = special == 0 ? clear : std::min(clear, static_cast<unsigned>(__builtin_ctz(special)));
      i += upTo;
      if (upTo == 16) continue;
      if (i == n) break;
    }
#endif
    const auto b = p[i];
    std::string_view with;
    std::size_t length = 1;
    if (b < 0x80) {
      with = rules.with[b];
      if (with.empty()) {
        ++i;
        continue;
      }
    } else {
      length = text::Utf8SequenceLength(stored, i);
      if (length != 0 && !(length == 3 && IsNonCharacter(stored, i))) {
        i += length;
        continue;
      }
      with = kReplacement;
      length = std::max<std::size_t>(length, 1);
    }
    out.append(stored.data() + kept, i - kept);
    out.append(with);
    if (with == kReplacement) ++replaced;
    i += length;
    kept = i;
  }
  out.append(stored.data() + kept, stored.size() - kept);
  return replaced;
}

// The bytes of `stored` that hold its first `units` UTF-16 units as Recordset::Field
// reads it (a four-byte sequence is two units, a bad byte one). `cutsPair` tells
// that the unit after them is the second half of a pair whose first half they hold.
std::string_view FirstUnits(std::string_view stored, std::size_t units, bool& cutsPair) {
  cutsPair = false;
  std::size_t i = 0;
  for (std::size_t taken = 0; i < stored.size() && taken < units;) {
    const std::size_t length = std::max<std::size_t>(text::Utf8SequenceLength(stored, i), 1);
    const std::size_t width = length == 4 ? 2 : 1;
    if (taken + width > units) {
      cutsPair = true;
      break;
    }
    taken += width;
    i += length;
  }
  return stored.substr(0, i);
}

// Where to end the first piece of `stored` of at most about `size` bytes: never inside a sequence.
// A cut before a byte that continues no sequence, or after three continuing bytes, splits none:
// the bytes from three before the cut up to it hold such a byte, or the three are continuing.
std::size_t PieceEnd(std::string_view stored, std::size_t size) {
  if (stored.size() <= size) return stored.size();
  const auto continues = [&stored](std::size_t at) { return (static_cast<unsigned char>(stored[at]) & 0xC0) == 0x80; };
  for (std::size_t end = size; end + 4 > size; --end) {
    if (!continues(end)) return end;
  }
  return size;
}

}  // namespace

DocumentWriter::DocumentWriter(Sink sink) : sink_(std::move(sink)) { buffer_.reserve(2 * kBlockSize); }

void DocumentWriter::Append(std::string_view piece) {
  buffer_.append(piece);
  HandOnFullBlocks();
}

void DocumentWriter::AppendDayDate(std::string_view stored) {
  replaced_ += static_cast<std::int64_t>(AppendStored(stored, kDateRules, buffer_));
  HandOnFullBlocks();
}

void DocumentWriter::AppendPublishDate(std::string_view stored) {
  bool cutsPair = false;
  replaced_ +=
      static_cast<std::int64_t>(AppendStored(FirstUnits(stored, kPublishDateUnits, cutsPair), kDateRules, buffer_));
  // The first half of a pair without its second is a lone surrogate.
  if (cutsPair) {
    buffer_.append(kReplacement);
    ++replaced_;
  }
  HandOnFullBlocks();
}

void DocumentWriter::AppendTitle(std::optional<std::string_view> stored) {
  buffer_.append("\" title=\"");
  AppendInPieces(stored.value_or(""), kTitleRules);
  buffer_.append("\">\n");
  HandOnFullBlocks();
}

void DocumentWriter::AppendBody(std::optional<std::string_view> stored, const ExportSettingNubelo& set) {
  AppendInPieces(stored.value_or(""), kBodyRules[set.intBR != 0][set.intHyphen == 1]);
  buffer_.push_back('\n');
  HandOnFullBlocks();
}

// A long text goes on in pieces, so that the buffer never holds more than a block or so of it:
// a piece grows at most eighteen times, a line break written as "&amp;lt;BR&amp;gt;".
void DocumentWriter::AppendInPieces(std::string_view stored, const AsciiRules& rules) {
  while (!stored.empty()) {
    const std::size_t end = PieceEnd(stored, kBlockSize / 16);
    replaced_ += static_cast<std::int64_t>(AppendStored(stored.substr(0, end), rules, buffer_));
    HandOnFullBlocks();
    stored.remove_prefix(end);
  }
}

void DocumentWriter::HandOnFullBlocks() {
  if (buffer_.size() >= kBlockSize) Flush();
}

void DocumentWriter::Flush() {
  if (buffer_.empty()) return;
  sink_(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size());
  buffer_.clear();
}

}  // namespace nbl::exporting
