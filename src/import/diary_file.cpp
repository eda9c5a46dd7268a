// The second reading of a diary file, which hands out the text the first
// reading (first_reading.h) planned, and the cutting of that text into lines.
#include "import/diary_file.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "common/failure.h"
#include "common/utf8_blocks.h"
#include "encoding/piece_decoder.h"
#include "import/byte_survey.h"
#include "import/first_reading.h"

namespace nbl::importing {
namespace {

using detail::ByteSurvey;
using detail::kLongestSequence;
using detail::kMark;
using detail::kMarkSize;
using detail::Plan;
using detail::ReadFirst;
using detail::Source;
using detail::StartsWithMark;
using encoding::PieceDecoder;

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

FileFailure Changed() {
  return FileFailure("the file changed while it was read",
                     "the file to import changed while it was read; import it again when nothing writes to it");
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
// ReadPieces), then checks that they are those the first reading read: its
// plan, which `final()` gives only once they are all read, since it may wait
// for that reading to end. The sink passes over the mark with TextStart.
template <typename Sink, typename Final>
void ReadAsIs(const Source& read, std::size_t piece, const Plan& plan, Sink& sink, const Final& final) {
  ByteSurvey survey;
  ReadPieces(read, piece, survey, plan.separator(), sink);
  const Plan& first = final();
  if (!survey.Usable() || !first.asIs || survey.size != first.survey.size || survey.lf != first.survey.lf ||
      survey.cr != first.survey.cr) {
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

// The first reading on a thread of its own, while the file is handed out as plain UTF-8.
struct DiaryFile::FirstReadingBeside {
  std::mutex mutex;
  std::condition_variable changed;
  std::atomic<bool> ended{false};
  std::atomic<bool> stop{false};  // the file is closing: the reading gives up
  std::unique_ptr<Plan> plan;     // once it ended, unless
  std::exception_ptr error;       // it could not read the file
  std::thread thread;

  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return ended.load(std::memory_order_acquire); });
  }
};

namespace {

FileFailure Empty() { return FileFailure("the file to import is empty"); }

// The bytes read at the start of a file for the plan the readings follow while
// the first reading runs beside them: enough to hold a line break.
constexpr std::size_t kBesideHead = 64 * 1024;

}  // namespace

DiaryFile::DiaryFile(const std::u16string& path, std::size_t piece, bool beside)
    : file_(std::make_unique<files::InputFile>(path)), piece_(piece) {
  if (beside) {
    std::vector<std::uint8_t> buffer(kBesideHead);
    const std::size_t got = file_->ReadAt(0, buffer.data(), buffer.size());
    if (got == 0) throw Empty();
    const std::string_view head(reinterpret_cast<const char*>(buffer.data()), got);
    if (detail::HeadTellsUtf8(head) && head.find('\n') != std::string_view::npos) {
      // What the first reading plans for plain UTF-8 broken at LF, but for its counts.
      plan_ = std::make_unique<Plan>();
      plan_->marked = StartsWithMark(head);
      plan_->lf = 1;
      beside_ = std::make_unique<FirstReadingBeside>();
      try {
        beside_->thread = std::thread([this, &b = *beside_] {
          std::unique_ptr<Plan> plan;
          std::exception_ptr error;
          try {
            plan = ReadFirst(
                [this, &b](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
                  if (b.stop.load(std::memory_order_relaxed)) throw Failure("the import stopped");
                  return file_->ReadAt(offset, into, count);
                },
                piece_);
          } catch (...) {
            error = std::current_exception();
          }
          {
            const std::lock_guard<std::mutex> lock(b.mutex);
            b.plan = std::move(plan);
            b.error = error;
            b.ended.store(true, std::memory_order_release);
          }
          b.changed.notify_all();
        });
        return;
      } catch (const std::system_error&) {
        beside_.reset();  // no thread to spare: the file is read first here
      }
    }
  }
  plan_ = ReadFirst([this](std::uint64_t offset, std::uint8_t* into,
                           std::size_t count) { return file_->ReadAt(offset, into, count); },
                    piece_);
  if (plan_->size == 0) throw Empty();
}

DiaryFile::~DiaryFile() {
  if (beside_ && beside_->thread.joinable()) {
    beside_->stop.store(true, std::memory_order_relaxed);
    beside_->thread.join();
  }
}

std::optional<bool> DiaryFile::BesideAgrees() const {
  if (!beside_) return true;
  if (!beside_->ended.load(std::memory_order_acquire)) return std::nullopt;
  const Plan* final = beside_->plan.get();
  return final != nullptr && !final->failure && final->asIs && final->marked == plan_->marked &&
         final->separator() == plan_->separator();
}

bool DiaryFile::Settle() {
  if (!beside_) return false;
  beside_->Wait();
  const bool agrees = *BesideAgrees();
  beside_->thread.join();
  const std::exception_ptr error = beside_->error;
  std::unique_ptr<Plan> final = std::move(beside_->plan);
  beside_.reset();
  if (error) std::rethrow_exception(error);
  if (final->size == 0) throw Empty();
  plan_ = std::move(final);
  return !agrees;
}

const DiaryFile::Plan& DiaryFile::Final() const {
  if (!beside_) return *plan_;
  beside_->Wait();
  return beside_->plan ? *beside_->plan : *plan_;
}

void DiaryFile::Decode() {
  if (const Plan& plan = Final(); plan.failure) std::rethrow_exception(plan.failure);
}

std::size_t DiaryFile::LineCount() const { return static_cast<std::size_t>(Final().breaks()) + 1; }

void DiaryFile::ForEachLine(const LineFn& line) {
  const Source read = [this](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
    return file_->ReadAt(offset, into, count);
  };
  const char separator = plan_->separator();
  LineCutter cutter(separator);
  reading_->on = true;
  if (plan_->asIs) {
    // The bytes are checked again on the way, so that nothing but the plain UTF-8 counted reaches the lines.
    struct Lines {
      DiaryFile& file;
      LineCutter& cutter;
      const LineFn& line;
      bool past = false;
      void Begin(std::string_view piece) { cutter.Begin(piece, TextStart(*file.plan_, piece, past)); }
      void Found(std::size_t k) {
        file.reading_->on = false;
        cutter.Break(k, line);
        file.reading_->on = true;
      }
      void Scanned(std::size_t end) { cutter.End(end); }
    } lines{*this, cutter, line};
    ReadAsIs(read, piece_, *plan_, lines, [this]() -> const Plan& { return Final(); });
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
          file.reading_->on = false;
          cutter.Break(k, line);
          file.reading_->on = true;
        });
        cutter.End(text.size());
      }
    } lines{*this, cutter, line, separator};
    ReadDecoded(read, piece_, *plan_, lines);
    if (lines.breaks != plan_->breaks()) throw Changed();
  }
  reading_->on = false;
  cutter.Finish(line);
}

void DiaryFile::ForEachPiece(const LineFn& piece) {
  const Source read = [this](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
    return file_->ReadAt(offset, into, count);
  };
  reading_->on = true;
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
        file.reading_->on = false;
        piece(inHand.substr(from, end - from));
        file.reading_->on = true;
      }
    } pieces{*this, piece, {}};
    ReadAsIs(read, piece_, *plan_, pieces, [this]() -> const Plan& { return Final(); });
  } else {
    struct Pieces {
      DiaryFile& file;
      const LineFn& piece;
      char separator;
      std::uint64_t breaks = 0;
      void Text(std::string_view text) {
        breaks += static_cast<std::uint64_t>(std::count(text.begin(), text.end(), separator));
        file.reading_->on = false;
        piece(text);
        file.reading_->on = true;
      }
    } pieces{*this, piece, plan_->separator()};
    ReadDecoded(read, piece_, *plan_, pieces);
    if (pieces.breaks != plan_->breaks()) throw Changed();
  }
  reading_->on = false;
}

}  // namespace nbl::importing
