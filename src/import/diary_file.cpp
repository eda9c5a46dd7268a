#include "import/diary_file.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/failure.h"
#include "common/text.h"
#include "common/utf8_blocks.h"
#include "encoding/code_page.h"
#include "encoding/kanji_code_convert.h"
#include "import/diary_lines.h"

namespace nbl::importing {
namespace {

constexpr std::uint8_t kMark[] = {0xEF, 0xBB, 0xBF};

bool StartsWithMark(std::string_view bytes) { return bytes.size() >= 3 && std::memcmp(bytes.data(), kMark, 3) == 0; }

std::string_view AsText(const encoding::Bytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The 1-based line of byte `at`, counted as the lines are cut: at LF when the
// file holds one (CR LF included), else at CR. Every code read here keeps both bytes.
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

// What one pass over a file's bytes, handed in pieces, tells about them.
struct ByteSurvey {
  std::uint64_t size = 0;  // the bytes scanned
  std::uint64_t lf = 0, cr = 0;
  bool nul = false;
  bool plain = true;  // every sequence is well-formed UTF-8 (see text::Utf8SequenceLength)
  bool multiByte = false;

  bool Usable() const { return plain && !nul; }

  // Scans `piece` and calls found(k) for every k where it holds `c`, in
  // order. Returns the number of bytes at its end that start a sequence the
  // next piece completes: 0 for the `last` piece. Stops at the first NUL or
  // malformed sequence.
  template <typename Found>
  std::size_t Scan(std::string_view piece, bool last, char c, Found found) {
    const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
    const std::size_t n = piece.size();
    std::size_t i = 0;
    while (i < n) {
#ifdef __SSE2__
      if (n - i >= 16) {
        // The bytes at the start of the block that need no rule byte by byte, and the breaks and NULs among them.
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // Signed, bytes from 0x80 on are below 0 too: one test passes over a block of printable ASCII.
        if (_mm_movemask_epi8(_mm_cmplt_epi8(block, _mm_set1_epi8('\r' + 1))) == 0) {
          i += 16;
          continue;
        }
        const auto mask = [&block](char b) {
          return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(b))));
        };
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
        // The bytes taken whole here: simple sequences and ASCII, or else the ASCII before the first sequence.
        const unsigned simple = high == 0 ? 16 : text::SimpleSequencesEnd(block, multiByte);
        const unsigned taken = simple != 0 ? simple : static_cast<unsigned>(__builtin_ctz(high));
        const unsigned keep = (1u << taken) - 1;
        if ((mask('\0') & keep) != 0) {
          nul = true;
          return 0;
        }
        // Breaks are few to a block: taking their bits one by one beats a popcount without the instruction.
        for (unsigned m = mask('\n') & keep; m != 0; m &= m - 1) {
          ++lf;
          if (c == '\n') found(i + static_cast<std::size_t>(__builtin_ctz(m)));
        }
        for (unsigned m = mask('\r') & keep; m != 0; m &= m - 1) {
          ++cr;
          if (c == '\r') found(i + static_cast<std::size_t>(__builtin_ctz(m)));
        }
        i += taken;
        if (simple != 0 || taken == 16) continue;
      } else
#endif
          if (p[i] < 0x80) {
        if (p[i] == 0) {
          nul = true;
          return 0;
        }
        lf += p[i] == '\n';
        cr += p[i] == '\r';
        if (p[i] == static_cast<unsigned char>(c)) found(i);
        ++i;
        continue;
      }
      // Bytes from 0x80 on, which must form well-formed sequences; Japanese text holds runs of them.
      multiByte = true;
      do {
        // Most kana and kanji: a lead E1..EC or EE..EF and two continuation bytes, nothing more to check.
        if (n - i >= 3 && ((p[i] >= 0xE1 && p[i] <= 0xEC) || p[i] >= 0xEE) && p[i] <= 0xEF &&
            (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
          i += 3;
          continue;
        }
        const std::size_t wanted = p[i] >= 0xF0 ? 4 : p[i] >= 0xE0 ? 3 : 2;
        if (!last && n - i < wanted) {
          size += i;
          return n - i;
        }
        const std::size_t length = text::Utf8SequenceLength(piece, i);
        if (length == 0) {
          plain = false;
          return 0;
        }
        i += length;
      } while (i < n && p[i] >= 0x80);
    }
    size += i;
    return 0;
  }
};

// Reads `file` through in pieces and scans each with `survey`, telling `sink`
// of each piece: sink.Begin(piece) before the scan, sink.Found(k) for every
// `c` at piece[k], sink.Scanned(end) with the end of the bytes the survey has
// read. Stops early when the survey finds the bytes no plain UTF-8.
template <typename Sink>
void ReadPieces(files::InputFile& file, ByteSurvey& survey, char c, Sink& sink) {
  constexpr std::size_t kPiece = DiaryFile::kPiece, kLongestSequence = 4;
  std::vector<char> buffer(kPiece + kLongestSequence);
  std::uint64_t offset = 0;
  std::size_t kept = 0;  // the start of a sequence that the last piece cut
  for (;;) {
    const std::size_t got = file.ReadAt(offset, reinterpret_cast<std::uint8_t*>(buffer.data() + kept), kPiece);
    offset += got;
    const bool last = got < kPiece;
    const std::string_view piece(buffer.data(), kept + got);
    sink.Begin(piece);
    const std::size_t carry = survey.Scan(piece, last, c, [&sink](std::size_t k) { sink.Found(k); });
    if (!survey.Usable()) return;
    sink.Scanned(piece.size() - carry);
    if (last) return;
    std::memmove(buffer.data(), buffer.data() + piece.size() - carry, carry);
    kept = carry;
  }
}

FileFailure Changed() {
  return FileFailure("the file changed while it was read",
                     "the file to import changed while it was read; import it again when nothing writes to it");
}

// `text` written as UTF-8 into `storage`, a surrogate outside a pair as its own three bytes.
std::string_view Utf8Of(std::u16string_view text, encoding::Bytes& storage) {
  storage.clear();
  encoding::TextToUtf8Bytes(text, storage);
  return AsText(storage);
}

}  // namespace

std::string_view DecodeDiaryBytes(const encoding::Bytes& bytes, encoding::Bytes& storage) {
  // The converters would cut the text at a NUL and silently drop the rest.
  // memchr must not see the null data() of an empty array.
  if (const void* nul = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size())) {
    throw DiaryFormatFailure(
        LineOfByte(bytes, static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes.data())),
        "the file holds a NUL byte here; save it as a text file (UTF-8, JIS, EUC-JP or Shift-JIS)");
  }
  const bool marked = StartsWithMark(AsText(bytes));
  // The mark tells the code; it is no text of the document.
  const std::string_view unmarked = AsText(bytes).substr(marked ? 3 : 0);
  ByteSurvey survey;
  survey.Scan(unmarked, true, '\0', [](std::size_t) {});
  const bool plain = survey.plain;
  if (marked || encoding::LooksLikeUtf8(bytes, 1024) == vb::True ||
      (plain ? survey.multiByte : encoding::IsUtf8Text(bytes))) {
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

void LineCutter::Feed(std::string_view piece, const LineFn& line) {
  Begin(piece);
  ForEachByte(piece, separator_, [&](std::size_t k) { Break(k, line); });
  End(piece.size());
}

void LineCutter::Begin(std::string_view piece, std::size_t from) {
  piece_ = piece;
  start_ = from;
}

void LineCutter::Break(std::size_t k, const LineFn& line) {
  std::string_view text = piece_.substr(start_, k - start_);
  if (!carry_.empty()) {
    carry_.append(text);
    text = carry_;
  }
  if (separator_ == '\n' && !text.empty() && text.back() == '\r') text.remove_suffix(1);
  line(text);
  carry_.clear();
  start_ = k + 1;
}

void LineCutter::End(std::size_t end) { carry_.append(piece_.substr(start_, end - start_)); }

void LineCutter::Finish(const LineFn& line) {
  line(carry_);
  carry_.clear();
}

char SeparatorOf(std::string_view text) { return text.find('\n') != std::string_view::npos ? '\n' : '\r'; }

DiaryFile::DiaryFile(const std::u16string& path) : file_(std::make_unique<files::InputFile>(path)) {
  struct Head {
    encoding::Bytes bytes;  // the first, which tell whether the file looks like UTF-8
    void Begin(std::string_view piece) {
      if (bytes.empty())
        bytes.assign(piece.begin(),
                     piece.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(1024, piece.size())));
    }
    void Found(std::size_t) {}
    void Scanned(std::size_t) {}
  } head;
  ByteSurvey survey;
  ReadPieces(*file_, survey, '\0', head);
  if (survey.Usable() && survey.size == 0) throw FileFailure("the file to import is empty");
  marked_ = StartsWithMark(AsText(head.bytes));
  streamed_ = survey.Usable() && (marked_ || encoding::LooksLikeUtf8(head.bytes, 1024) == vb::True || survey.multiByte);
  if (streamed_) {
    size_ = survey.size;
    lf_ = survey.lf;
    cr_ = survey.cr;
    separator_ = lf_ > 0 ? '\n' : '\r';
    lineCount_ = static_cast<std::size_t>(lf_ > 0 ? lf_ : cr_) + 1;
    return;
  }
  bytes_ = file_->ReadAll();
  if (bytes_.empty()) throw FileFailure("the file to import is empty");
}

DiaryFile::~DiaryFile() = default;

void DiaryFile::Decode() {
  if (streamed_) return;
  text_ = DecodeDiaryBytes(bytes_, converted_);
  // A plain UTF-8 file is its own text; the bytes of any other are not needed past this point.
  if (!converted_.empty()) encoding::Bytes().swap(bytes_);
  separator_ = SeparatorOf(text_);
  lineCount_ = static_cast<std::size_t>(std::count(text_.begin(), text_.end(), separator_)) + 1;
}

void DiaryFile::ForEachLine(const LineFn& line) {
  LineCutter cutter(separator_);
  if (!streamed_) {
    cutter.Feed(text_, line);
    cutter.Finish(line);
    return;
  }
  // Read again, the bytes must be those read first: they are checked again
  // on the way, so that nothing but the plain UTF-8 counted reaches the lines.
  struct Lines {
    DiaryFile& file;
    LineCutter& cutter;
    const LineFn& line;
    bool first = true;
    void Begin(std::string_view piece) {
      std::size_t from = 0;
      if (first) {
        first = false;
        if (StartsWithMark(piece) != file.marked_) throw Changed();
        if (file.marked_) from = 3;
      }
      cutter.Begin(piece, from);
    }
    void Found(std::size_t k) {
      file.reading_ = false;
      cutter.Break(k, line);
      file.reading_ = true;
    }
    void Scanned(std::size_t end) { cutter.End(end); }
  } lines{*this, cutter, line};
  ReadAgain(lines);
  cutter.Finish(line);
}

void DiaryFile::ForEachPiece(const LineFn& piece) {
  if (!streamed_) {
    piece(text_);
    return;
  }
  struct Pieces {
    DiaryFile& file;
    const LineFn& piece;
    std::string_view inHand;
    std::size_t from = 0;
    bool first = true;
    void Begin(std::string_view p) {
      inHand = p;
      from = 0;
      if (first) {
        first = false;
        if (StartsWithMark(p) != file.marked_) throw Changed();
        if (file.marked_) from = 3;
      }
    }
    void Found(std::size_t) {}
    void Scanned(std::size_t end) {
      file.reading_ = false;
      piece(inHand.substr(from, end - from));
      file.reading_ = true;
    }
  } pieces{*this, piece, {}};
  ReadAgain(pieces);
}

template <typename Sink>
void DiaryFile::ReadAgain(Sink& sink) {
  reading_ = true;
  ByteSurvey survey;
  ReadPieces(*file_, survey, separator_, sink);
  if (!survey.Usable() || survey.size != size_ || survey.lf != lf_ || survey.cr != cr_) throw Changed();
  reading_ = false;
}

}  // namespace nbl::importing
