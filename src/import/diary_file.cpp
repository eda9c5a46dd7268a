#include "import/diary_file.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "common/failure.h"
#include "common/text.h"
#include "common/utf8_blocks.h"
#include "encoding/code_guess.h"
#include "encoding/piece_decoder.h"
#include "import/diary_lines.h"

namespace nbl::importing {
namespace {

using encoding::FileCode;
using encoding::PieceDecoder;

constexpr std::uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
constexpr std::size_t kMarkSize = 3;
// The bytes LooksLikeUtf8 looks at.
constexpr std::size_t kHead = 1024;
// A piece of plain UTF-8 hands back at most a sequence cut at its end.
constexpr std::size_t kLongestSequence = 4;

bool StartsWithMark(std::string_view bytes) {
  return bytes.size() >= kMarkSize && std::memcmp(bytes.data(), kMark, kMarkSize) == 0;
}

// Where the bytes come from: reads up to `count` bytes from `offset` into
// `into`, fewer only where they end.
using Source = std::function<std::size_t(std::uint64_t offset, std::uint8_t* into, std::size_t count)>;

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
  std::uint64_t size = 0;  // the bytes scanned: up to a malformed sequence, where the scan stopped
  std::size_t stop = 0;    // where in its piece the scan stopped at a malformed sequence
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
          stop = i;
          size += i;
          return 0;
        }
        i += length;
      } while (i < n && p[i] >= 0x80);
    }
    size += i;
    return 0;
  }
};

// Adds the LF and CR bytes of `text` to `lf` and `cr`.
void CountBreaks(std::string_view text, std::uint64_t& lf, std::uint64_t& cr) {
  const char* const p = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
#ifdef __SSE2__
  // Counted in the sixteen byte lanes of a register, up to 255 blocks, then summed.
  const auto sum = [](__m128i lanes) {
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    return static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  };
  while (n - i >= 16) {
    __m128i lfs = _mm_setzero_si128(), crs = _mm_setzero_si128();
    for (const std::size_t end = i + 16 * std::min<std::size_t>((n - i) / 16, 255); i < end; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      lfs = _mm_sub_epi8(lfs, _mm_cmpeq_epi8(block, _mm_set1_epi8('\n')));
      crs = _mm_sub_epi8(crs, _mm_cmpeq_epi8(block, _mm_set1_epi8('\r')));
    }
    lf += sum(lfs);
    cr += sum(crs);
  }
#endif
  for (; i < n; ++i) {
    lf += p[i] == '\n';
    cr += p[i] == '\r';
  }
}

// Whether `bytes` hold a byte from 0x80 on or an ESC: without one, every code reads them as they stand.
bool HasTellingByte(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
#ifdef __SSE2__
  for (; n - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (_mm_movemask_epi8(_mm_or_si128(block, _mm_cmpeq_epi8(block, _mm_set1_epi8(0x1B)))) != 0) return true;
  }
#endif
  for (; i < n; ++i) {
    if (p[i] >= 0x80 || p[i] == 0x1B) return true;
  }
  return false;
}

FileFailure Changed() {
  return FileFailure("the file changed while it was read",
                     "the file to import changed while it was read; import it again when nothing writes to it");
}

}  // namespace

// What the first reading of a file's bytes learns: how its text is read
// again, and what that text holds, or the failure decoding it meets.
struct DiaryFile::Plan {
  bool asIs = true;                 // the text is the bytes as they stand, after the mark
  FileCode code = FileCode::kUtf8;  // else the code they are decoded from
  bool marked = false;              // the bytes start with the byte-order mark, which is no text
  std::uint64_t size = 0;           // the bytes read
  ByteSurvey survey;                // of the bytes, when they are their own text
  std::uint64_t textSize = 0, lf = 0, cr = 0;
  std::exception_ptr failure;

  char separator() const { return lf > 0 ? '\n' : '\r'; }
  std::uint64_t breaks() const { return lf > 0 ? lf : cr; }
};

namespace {

using Plan = DiaryFile::Plan;

// A decoder the text may come to be read with, run beside the others until
// the bytes tell which it is, and what its text has held so far.
class Candidate {
 public:
  // Starts `code` with the counts of the text before it. `afterText`: that
  // text is not empty; it held only characters that every code reads alike,
  // which leave a decoder as one of them does.
  void Start(FileCode code, std::uint64_t size, std::uint64_t lf, std::uint64_t cr, bool afterText,
             std::vector<char>& scratch) {
    decoder_ = encoding::MakePieceDecoder(code);
    size_ = size;
    lf_ = lf;
    cr_ = cr;
    if (afterText) decoder_->Decode(reinterpret_cast<const std::uint8_t*>(" "), 1, scratch.data());
  }
  bool running() const { return decoder_ != nullptr && !failure_; }
  void Stop() { decoder_.reset(); }

  void Feed(std::string_view bytes, std::vector<char>& scratch) {
    if (!running()) return;
    try {
      Count(scratch,
            decoder_->Decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), scratch.data()));
    } catch (const ConversionFailure&) {
      failure_ = std::current_exception();
    }
  }
  void Finish(std::vector<char>& scratch) {
    if (!running()) return;
    try {
      Count(scratch, decoder_->Finish(scratch.data()));
    } catch (const ConversionFailure&) {
      failure_ = std::current_exception();
    }
  }
  bool replaced() const { return decoder_ != nullptr && decoder_->replaced(); }

  // Its text, or its failure, as what the plan reads.
  void Into(Plan& plan, FileCode code) const {
    plan.asIs = false;
    plan.code = code;
    plan.textSize = size_;
    plan.lf = lf_;
    plan.cr = cr_;
    plan.failure = failure_;
  }

 private:
  void Count(const std::vector<char>& scratch, const char* end) {
    const std::string_view text(scratch.data(), static_cast<std::size_t>(end - scratch.data()));
    size_ += text.size();
    CountBreaks(text, lf_, cr_);
  }

  std::unique_ptr<PieceDecoder> decoder_;
  std::uint64_t size_ = 0, lf_ = 0, cr_ = 0;
  std::exception_ptr failure_;
};

// The first reading: every test that chooses the code, and the decoders that
// may still be chosen, over the same pieces. Plain UTF-8 is its own text when
// read as UTF-8, and 7-bit characters other than ESC are their own text in
// every code, so a decoder starts only where the bytes stop being so for it.
class FirstReading {
 public:
  explicit FirstReading(std::size_t piece) : piece_(piece), scratch_(PieceDecoder::MaxText(piece + kLongestSequence)) {}

  // Takes the next piece: `kept` bytes the last call handed back, then those
  // read since; `last` when no more follow. Returns how many bytes at its end
  // to hand back with the next piece.
  std::size_t Take(std::string_view piece, std::size_t kept, bool last);
  // A NUL byte was met: nothing read later changes what the reading gives.
  bool done() const { return nul_.has_value(); }
  // What the reading gives. A NUL's line takes one more reading of `read`.
  void Finish(const Source& read, Plan& plan);

 private:
  void TakeHead(std::string_view fresh, bool last);
  bool Utf8Decided() const { return headDone_ && (marked_ || looks_); }
  bool Utf8Possible() const { return !headDone_ || marked_ || looks_ || plain_ || !utf8Text_.failed(); }
  // Stops the decoders that the bytes so far rule out.
  void Steer();
  void FoundNul(std::string_view piece) { nul_ = read_ - piece.size() + static_cast<std::uint64_t>(piece.find('\0')); }

  const std::size_t piece_;
  std::uint64_t read_ = 0;
  std::optional<std::uint64_t> nul_;  // where the first NUL byte stands
  encoding::Bytes head_;
  bool headDone_ = false, marked_ = false, looks_ = false;
  ByteSurvey survey_;
  bool plain_ = true;     // every byte so far is plain UTF-8
  bool telling_ = false;  // a byte from 0x80 on or an ESC came: the kanji decoders run
  encoding::KanjiCodeGuess guess_;
  encoding::EucTextCheck eucText_;
  encoding::Utf8TextCheck utf8Text_;
  Candidate utf8_, jis_, euc_, codePage_;
  std::vector<char> scratch_;
};

void FirstReading::TakeHead(std::string_view fresh, bool last) {
  if (headDone_) return;
  const std::size_t take = std::min(kHead - head_.size(), fresh.size());
  head_.insert(head_.end(), fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(take));
  if (head_.size() < kHead && !last) return;
  headDone_ = true;
  marked_ = StartsWithMark({reinterpret_cast<const char*>(head_.data()), head_.size()});
  looks_ = encoding::LooksLikeUtf8(head_, static_cast<std::int32_t>(kHead)) == vb::True;
}

std::size_t FirstReading::Take(std::string_view piece, std::size_t kept, bool last) {
  const std::string_view fresh = piece.substr(kept);
  read_ += fresh.size();
  TakeHead(fresh, last);
  if (!telling_ && !Utf8Decided() && HasTellingByte(fresh)) {
    // The bytes before held nothing but plain 7-bit characters, all counted by the survey.
    telling_ = true;
    const bool afterText = survey_.size > 0;
    for (auto [candidate, code] : {std::pair{&jis_, FileCode::kJis}, std::pair{&euc_, FileCode::kEuc},
                                   std::pair{&codePage_, FileCode::kCodePage}}) {
      candidate->Start(code, survey_.size, survey_.lf, survey_.cr, afterText, scratch_);
    }
  }
  std::size_t carry = 0;
  std::size_t from = 0;  // where in `piece` the bytes start that are no plain UTF-8
  if (plain_) {
    carry = survey_.Scan(piece, last, '\0', [](std::size_t) {});
    if (survey_.nul) {
      FoundNul(piece);
      return 0;
    }
    from = piece.size();
    if (!survey_.plain) {
      plain_ = false;
      carry = 0;
      from = survey_.stop;
      // Up to here the bytes are their own text; the UTF-8 rule reads on from here.
      if (Utf8Possible()) utf8_.Start(FileCode::kUtf8, survey_.size, survey_.lf, survey_.cr, false, scratch_);
    }
  }
  if (from < piece.size()) {
    const std::string_view rest = piece.substr(from);
    if (rest.find('\0') != std::string_view::npos) {
      FoundNul(piece);
      return 0;
    }
    if (!utf8Text_.failed() && !Utf8Decided()) {
      utf8Text_.Feed(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
    }
    if (!Utf8Possible()) utf8_.Stop();
    utf8_.Feed(rest, scratch_);
  }
  if (telling_) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(fresh.data());
    if (!guess_.decided()) guess_.Feed(p, fresh.size());
    if (!eucText_.failed() && (!guess_.decided() || guess_.Result() == encoding::kCodeShiftJis)) {
      eucText_.Feed(p, fresh.size());
    }
    Steer();
    for (Candidate* candidate : {&jis_, &euc_, &codePage_}) candidate->Feed(fresh, scratch_);
  }
  return carry;
}

void FirstReading::Steer() {
  if (Utf8Decided()) {
    for (Candidate* candidate : {&jis_, &euc_, &codePage_}) candidate->Stop();
    return;
  }
  if (!guess_.decided()) return;
  const std::int32_t code = guess_.Result();
  if (code != encoding::kCodeJis) jis_.Stop();
  if (code != encoding::kCodeShiftJis) codePage_.Stop();
  // EUC-JP stays while a file called Shift-JIS may turn out to be it.
  if (code != encoding::kCodeEuc && (code != encoding::kCodeShiftJis || eucText_.failed())) euc_.Stop();
}

void FirstReading::Finish(const Source& read, Plan& plan) {
  plan.size = read_;
  if (nul_) {
    // The converters would cut the text at a NUL and silently drop the rest. Its line is counted as the
    // lines are cut: at LF when the file holds one (CR LF included), else at CR; every code keeps both bytes.
    std::vector<std::uint8_t> buffer(piece_);
    std::uint64_t offset = 0, lf = 0, cr = 0;
    bool lfAfter = false;
    for (std::size_t got; (got = read(offset, buffer.data(), buffer.size())) > 0; offset += got) {
      const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), got);
      const std::size_t before =
          static_cast<std::size_t>(std::min<std::uint64_t>(*nul_ - std::min(*nul_, offset), got));
      CountBreaks(bytes.substr(0, before), lf, cr);
      lfAfter = lfAfter || bytes.substr(before).find('\n') != std::string_view::npos;
      if (got < buffer.size()) break;
    }
    const std::uint64_t line = 1 + (lf > 0 || lfAfter ? lf : cr);
    plan.failure = std::make_exception_ptr(
        DiaryFormatFailure(static_cast<std::size_t>(line),
                           "the file holds a NUL byte here; save it as a text file (UTF-8, JIS, EUC-JP or Shift-JIS)"));
    return;
  }
  plan.marked = marked_;
  if (read_ == 0) {
    plan.failure = std::make_exception_ptr(ConversionFailure("kanji code guess: empty input"));
    return;
  }
  const bool utf8 = marked_ || looks_ || (plain_ ? survey_.multiByte : utf8Text_.Result());
  if (utf8 ? plain_ : !telling_) {
    plan.asIs = true;
    plan.survey = survey_;
    plan.textSize = survey_.size - (marked_ ? kMarkSize : 0);
    plan.lf = survey_.lf;
    plan.cr = survey_.cr;
    return;
  }
  if (utf8) {
    utf8_.Finish(scratch_);
    utf8_.Into(plan, FileCode::kUtf8);
    // The mark is no text: the second reading starts after it.
    if (marked_) plan.textSize -= kMarkSize;
    return;
  }
  switch (guess_.Result()) {
    case encoding::kCodeJis:
      jis_.Finish(scratch_);
      jis_.Into(plan, FileCode::kJis);
      return;
    case encoding::kCodeEuc:
      euc_.Finish(scratch_);
      euc_.Into(plan, FileCode::kEuc);
      return;
    default:
      codePage_.Finish(scratch_);
      euc_.Finish(scratch_);
      // The guess stops at its first telling pair, and 0x8E starts a half-width kana in EUC-JP as well as a
      // Shift-JIS pair: a file that Shift-JIS cannot read whole (U+FFFD) but EUC-JP can is EUC-JP.
      if (codePage_.replaced() && eucText_.Result()) {
        euc_.Into(plan, FileCode::kEuc);
      } else {
        codePage_.Into(plan, FileCode::kCodePage);
      }
  }
}

// Reads the bytes of `read` through once, `piece` bytes at a time.
std::unique_ptr<Plan> ReadFirst(const Source& read, std::size_t piece) {
  std::vector<char> buffer(piece + kLongestSequence);
  FirstReading first(piece);
  std::uint64_t offset = 0;
  std::size_t kept = 0;
  for (;;) {
    const std::size_t got = read(offset, reinterpret_cast<std::uint8_t*>(buffer.data() + kept), piece);
    offset += got;
    const bool last = got < piece;
    const std::string_view bytes(buffer.data(), kept + got);
    const std::size_t carry = first.Take(bytes, kept, last);
    if (last || first.done()) break;
    std::memmove(buffer.data(), buffer.data() + bytes.size() - carry, carry);
    kept = carry;
  }
  auto plan = std::make_unique<Plan>();
  first.Finish(read, *plan);
  return plan;
}

// Reads the bytes of `read` through, `piece` bytes at a time, and scans each
// with `survey`, telling `sink` of each piece:
// sink.Begin(piece) before the scan, sink.Found(k) for every `c` at piece[k],
// sink.Scanned(end) with the end of the bytes the survey has read. Stops
// early when the survey finds the bytes no plain UTF-8.
template <typename Sink>
void ReadPieces(const Source& read, std::size_t piece, ByteSurvey& survey, char c, Sink& sink) {
  std::vector<char> buffer(piece + kLongestSequence);
  std::uint64_t offset = 0;
  std::size_t kept = 0;  // the start of a sequence that the last piece cut
  for (;;) {
    const std::size_t got = read(offset, reinterpret_cast<std::uint8_t*>(buffer.data() + kept), piece);
    offset += got;
    const bool last = got < piece;
    const std::string_view bytes(buffer.data(), kept + got);
    sink.Begin(bytes);
    const std::size_t carry = survey.Scan(bytes, last, c, [&sink](std::size_t k) { sink.Found(k); });
    if (!survey.Usable()) return;
    sink.Scanned(bytes.size() - carry);
    if (last) return;
    std::memmove(buffer.data(), buffer.data() + bytes.size() - carry, carry);
    kept = carry;
  }
}

// Reads the bytes of a plan read as they stand through again for `sink` (see
// ReadPieces), checking that they are those read first. The sink passes over
// the mark with TextStart.
template <typename Sink>
void ReadAsIs(const Source& read, std::size_t piece, const Plan& plan, Sink& sink) {
  ByteSurvey survey;
  ReadPieces(read, piece, survey, plan.separator(), sink);
  if (!survey.Usable() || survey.size != plan.survey.size || survey.lf != plan.survey.lf ||
      survey.cr != plan.survey.cr) {
    throw Changed();
  }
}

// Where the text of a plan read as they stand starts in `piece`, the next
// piece of the bytes: past the mark, which must be where the first reading
// found it. `past` tells whether the start of the bytes is behind; a piece
// too short for the whole mark is handed back whole by the survey, the mark
// being one sequence, and comes again at the start of the next.
std::size_t TextStart(const Plan& plan, std::string_view piece, bool& past) {
  if (past) return 0;
  if (!plan.marked) {
    past = true;
    if (StartsWithMark(piece)) throw Changed();
    return 0;
  }
  const std::size_t k = std::min(piece.size(), kMarkSize);
  if (std::memcmp(piece.data(), kMark, k) != 0) throw Changed();
  past = k == kMarkSize;
  return past ? kMarkSize : 0;
}

// Reads the bytes of a decoded plan through again, `piece` bytes at a time,
// and hands each piece of their text to sink.Text(text). Throws Changed()
// when they do not decode as they did the first time.
template <typename Sink>
void ReadDecoded(const Source& read, std::size_t piece, const Plan& plan, Sink& sink) {
  const std::unique_ptr<PieceDecoder> decoder = encoding::MakePieceDecoder(plan.code);
  std::vector<std::uint8_t> bytes(piece);
  std::vector<char> text(PieceDecoder::MaxText(piece));
  std::uint64_t offset = 0, textSize = 0;
  if (plan.marked) {
    // The text starts after the mark, which must still be there.
    std::uint8_t mark[kMarkSize];
    if (read(0, mark, kMarkSize) != kMarkSize || std::memcmp(mark, kMark, kMarkSize) != 0) throw Changed();
    offset = kMarkSize;
  }
  const auto hand = [&](const char* end) {
    const std::string_view t(text.data(), static_cast<std::size_t>(end - text.data()));
    textSize += t.size();
    if (!t.empty()) sink.Text(t);
  };
  // A decoder failing here met other bytes than the first time; what the sink throws passes.
  const auto decode = [&](const auto& run) {
    const char* end = nullptr;
    try {
      end = run();
    } catch (const ConversionFailure&) {
      throw Changed();
    }
    hand(end);
  };
  for (bool last = false; !last;) {
    const std::size_t got = read(offset, bytes.data(), piece);
    offset += got;
    last = got < piece;
    decode([&] { return decoder->Decode(bytes.data(), got, text.data()); });
  }
  decode([&] { return decoder->Finish(text.data()); });
  if (offset != plan.size || textSize != plan.textSize) throw Changed();
}

}  // namespace

std::string_view DecodeDiaryBytes(const encoding::Bytes& bytes, encoding::Bytes& storage, std::size_t piece) {
  const Source read = [&bytes](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
    const std::size_t n = offset >= bytes.size() ? 0 : std::min<std::size_t>(count, bytes.size() - offset);
    if (n > 0) std::memcpy(into, bytes.data() + offset, n);
    return n;
  };
  const std::unique_ptr<Plan> plan = ReadFirst(read, piece);
  if (plan->failure) std::rethrow_exception(plan->failure);
  const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (plan->asIs) return all.substr(plan->marked ? kMarkSize : 0);
  struct {
    encoding::Bytes& storage;
    void Text(std::string_view text) { storage.insert(storage.end(), text.begin(), text.end()); }
  } into{storage};
  storage.clear();
  storage.reserve(plan->textSize);
  ReadDecoded(read, piece, *plan, into);
  return {reinterpret_cast<const char*>(storage.data()), storage.size()};
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

DiaryFile::DiaryFile(const std::u16string& path, std::size_t piece)
    : file_(std::make_unique<files::InputFile>(path)), piece_(piece) {
  plan_ = ReadFirst([this](std::uint64_t offset, std::uint8_t* into,
                           std::size_t count) { return file_->ReadAt(offset, into, count); },
                    piece_);
  if (plan_->size == 0) throw FileFailure("the file to import is empty");
}

DiaryFile::~DiaryFile() = default;

void DiaryFile::Decode() {
  if (plan_->failure) std::rethrow_exception(plan_->failure);
}

std::size_t DiaryFile::LineCount() const { return static_cast<std::size_t>(plan_->breaks()) + 1; }

void DiaryFile::ForEachLine(const LineFn& line) {
  const Source read = [this](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
    return file_->ReadAt(offset, into, count);
  };
  const char separator = plan_->separator();
  LineCutter cutter(separator);
  reading_ = true;
  if (plan_->asIs) {
    // The bytes are checked again on the way, so that nothing but the plain UTF-8 counted reaches the lines.
    struct Lines {
      DiaryFile& file;
      LineCutter& cutter;
      const LineFn& line;
      bool past = false;
      void Begin(std::string_view piece) { cutter.Begin(piece, TextStart(*file.plan_, piece, past)); }
      void Found(std::size_t k) {
        file.reading_ = false;
        cutter.Break(k, line);
        file.reading_ = true;
      }
      void Scanned(std::size_t end) { cutter.End(end); }
    } lines{*this, cutter, line};
    ReadAsIs(read, piece_, *plan_, lines);
  } else {
    struct Lines {
      DiaryFile& file;
      LineCutter& cutter;
      const LineFn& line;
      char separator;
      std::uint64_t breaks = 0;
      void Text(std::string_view text) {
        cutter.Begin(text);
        ForEachByte(text, separator, [this](std::size_t k) {
          ++breaks;
          file.reading_ = false;
          cutter.Break(k, line);
          file.reading_ = true;
        });
        cutter.End(text.size());
      }
    } lines{*this, cutter, line, separator};
    ReadDecoded(read, piece_, *plan_, lines);
    if (lines.breaks != plan_->breaks()) throw Changed();
  }
  reading_ = false;
  cutter.Finish(line);
}

void DiaryFile::ForEachPiece(const LineFn& piece) {
  const Source read = [this](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
    return file_->ReadAt(offset, into, count);
  };
  reading_ = true;
  if (plan_->asIs) {
    struct Pieces {
      DiaryFile& file;
      const LineFn& piece;
      std::string_view inHand;
      std::size_t from = 0;
      bool past = false;
      void Begin(std::string_view p) {
        inHand = p;
        from = TextStart(*file.plan_, p, past);
      }
      void Found(std::size_t) {}
      void Scanned(std::size_t end) {
        if (end <= from) return;
        file.reading_ = false;
        piece(inHand.substr(from, end - from));
        file.reading_ = true;
      }
    } pieces{*this, piece, {}};
    ReadAsIs(read, piece_, *plan_, pieces);
  } else {
    struct Pieces {
      DiaryFile& file;
      const LineFn& piece;
      char separator;
      std::uint64_t breaks = 0;
      void Text(std::string_view text) {
        breaks += static_cast<std::uint64_t>(std::count(text.begin(), text.end(), separator));
        file.reading_ = false;
        piece(text);
        file.reading_ = true;
      }
    } pieces{*this, piece, plan_->separator()};
    ReadDecoded(read, piece_, *plan_, pieces);
    if (pieces.breaks != plan_->breaks()) throw Changed();
  }
  reading_ = false;
}

}  // namespace nbl::importing
