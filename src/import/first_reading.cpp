// The first reading of a diary file (first_reading.h): one pass that runs every
// test choosing the code beside the decoders that may still be chosen.
#include "import/first_reading.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "common/utf8_blocks.h"
#include "encoding/code_guess.h"
#include "encoding/piece_decoder.h"
#include "import/diary_lines.h"

namespace nbl::importing::detail {
namespace {

using encoding::FileCode;
using encoding::PieceDecoder;

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
  // The failure of the NUL byte met, on its line; `read` gives the bytes again.
  std::exception_ptr NulFailure(const Source& read) const;
  // Puts in the plan the kanji decoder the bytes choose.
  void FinishKanji(Plan& plan);

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
  const std::string_view head(reinterpret_cast<const char*>(head_.data()), head_.size());
  marked_ = StartsWithMark(head);
  looks_ = !marked_ && HeadTellsUtf8(head);
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
    plan.failure = NulFailure(read);
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
  FinishKanji(plan);
}

std::exception_ptr FirstReading::NulFailure(const Source& read) const {
  // The converters would cut the text at a NUL and silently drop the rest. Its line is counted as the
  // lines are cut: at LF when the file holds one (CR LF included), else at CR; every code keeps both bytes.
  std::vector<std::uint8_t> buffer(piece_);
  std::uint64_t offset = 0, lf = 0, cr = 0;
  bool lfAfter = false;
  for (std::size_t got; (got = read(offset, buffer.data(), buffer.size())) > 0; offset += got) {
    const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), got);
    const std::size_t before = static_cast<std::size_t>(std::min<std::uint64_t>(*nul_ - std::min(*nul_, offset), got));
    CountBreaks(bytes.substr(0, before), lf, cr);
    lfAfter = lfAfter || bytes.substr(before).find('\n') != std::string_view::npos;
    if (got < buffer.size()) break;
  }
  const std::uint64_t line = 1 + (lf > 0 || lfAfter ? lf : cr);
  return std::make_exception_ptr(
      DiaryFormatFailure(static_cast<std::size_t>(line),
                         "the file holds a NUL byte here; save it as a text file (UTF-8, JIS, EUC-JP or Shift-JIS)"));
}

void FirstReading::FinishKanji(Plan& plan) {
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

}  // namespace

bool HeadTellsUtf8(std::string_view head) {
  if (StartsWithMark(head)) return true;
  const encoding::Bytes bytes(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(std::min(head.size(), kHead)));
  return encoding::LooksLikeUtf8(bytes, static_cast<std::int32_t>(kHead)) == vb::True;
}

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

}  // namespace nbl::importing::detail
