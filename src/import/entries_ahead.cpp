#include "import/entries_ahead.h"

#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/failure.h"
#include "import/xml_diary.h"

namespace nbl::importing {
namespace {

// A batch is passed on at whichever comes first. Few enough bytes that the
// batches in flight stay small next to the file; lines enough that passing
// them costs little next to reading them.
constexpr std::size_t kLines = 2048, kBytes = 1024 * 1024;
// Batches in flight: one being filled, one being stored, and room for the reading to run ahead.
constexpr std::size_t kBatches = 4;
// A recycled batch keeps text buffers up to this size, so that a few long
// entries do not leave every buffer that held one grown.
constexpr std::size_t kKeptBuffer = 64 * 1024;

void Keep(std::string& buffer) {
  if (buffer.capacity() > kKeptBuffer) std::string().swap(buffer);
}

}  // namespace

// A step as a batch records it: small, since one is kept for every line and
// the thread that reads it runs on another core.
struct EntriesAhead::StepMark {
  ImportStep step;
  std::uint16_t day;  // in the batch's days
};

// Blocks of their own: one batch is filled while another is read on the other core.
struct alignas(128) EntriesAhead::Batch {
  struct Line {
    std::uint32_t entries;  // of this batch, closed by the end of the line
    StepMark step;          // the reader's step after it
  };
  struct Entry {
    DiaryEntry entry;
    StepMark step;  // the reader's step as it stored the entry
  };
  std::size_t firstLine = 1;  // the line of lines[0]
  std::vector<Line> lines;
  std::vector<std::string> days = {""};  // those the steps name, each once in a row
  std::vector<Entry> entries;            // the first `entryCount` are this batch's; the rest keep their buffers
  std::size_t entryCount = 0;
  std::size_t bytes = 0;
  bool last = false;                     // the reading ends with this batch
  std::optional<ImportFailure> failure;  // what ended it, if anything did

  void Clear() {
    lines.clear();
    days.resize(1);
    for (std::size_t k = 0; k < entryCount; ++k) {
      Keep(entries[k].entry.day);
      Keep(entries[k].entry.title);
      Keep(entries[k].entry.body);
    }
    entryCount = bytes = 0;
    last = false;
    failure.reset();
  }
};

EntriesAhead::EntriesAhead(DiaryFile& file, const ImportSettingNubelo& set, Layout layout)
    : file_(file),
      layout_(layout),
      reader_(set,
              [this](DiaryEntry& entry) {
                Batch& b = *filling_;
                if (b.entryCount == b.entries.size()) b.entries.emplace_back();
                Batch::Entry& slot = b.entries[b.entryCount];
                // Swapped, not copied: the reader starts its next entry in the buffers the slot held.
                slot.entry.day.swap(entry.day);
                slot.entry.title.swap(entry.title);
                slot.entry.body.swap(entry.body);
                slot.step = Mark(reader_.step());
                ++b.entryCount;
                b.bytes += slot.entry.body.size() + slot.entry.title.size();
              }),
      filling_(std::make_unique<Batch>()),
      batches_(1) {
  try {
    thread_ = std::thread([this] {
      Read();
      const std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
      changed_.notify_all();
    });
  } catch (const std::system_error& e) {
    throw FileFailure(std::string("cannot start a thread to read the file: ") + e.what(),
                      "the system refused a new thread (too many processes or too little memory); "
                      "close some programs and import again");
  }
}

EntriesAhead::~EntriesAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void EntriesAhead::LineDone(std::size_t line) {
  Batch& b = *filling_;
  b.lines.push_back({static_cast<std::uint32_t>(b.entryCount), Mark(reader_.step())});
  if (b.lines.size() >= kLines || b.bytes >= kBytes) Pass(false, line + 1);
}

void EntriesAhead::ReadLines(std::size_t& line) {
  file_.ForEachLine([&](std::string_view text) {
    reader_.HandleLine(text);
    LineDone(line);
    ++line;
  });
}

void EntriesAhead::ReadXml(std::size_t& line) {
  // The parser's lines of one line of the file count as that line; a line done is one the parser has passed.
  const auto doneUpTo = [&](std::size_t last) {
    for (; line <= last; ++line) LineDone(line);
  };
  XmlDiaryReader xml([&](std::string_view text, std::size_t number, std::size_t column) {
    doneUpTo(number - 1);
    reader_.HandleLineAt(text, number, column);
    // One long line of the file may hold any number of entries: they are passed on all the same.
    if (filling_->bytes >= kBytes) Pass(false, line);
  });
  file_.ForEachPiece([&](std::string_view piece) {
    xml.Feed(piece);
    doneUpTo(xml.line() - 1);
  });
  xml.Finish();
  doneUpTo(file_.LineCount());
}

void EntriesAhead::Read() {
  std::size_t line = 1;  // in hand
  try {
    if (layout_ == Layout::kXml) {
      ReadXml(line);
    } else {
      ReadLines(line);
    }
    line = 0;
    reader_.Finish();
  } catch (const Stopped&) {
    return;
  } catch (...) {
    try {
      const StepInHand at = file_.reading() ? StepInHand{ImportStep::kReadFile, {}} : reader_.step();
      filling_->failure = PlacedFailure(at, line, std::current_exception());
    } catch (...) {
      return;  // with no batch marked last, Drain tells that the reading stopped short
    }
  }
  try {
    Pass(true, 0);
  } catch (...) {
  }
}

EntriesAhead::StepMark EntriesAhead::Mark(const StepInHand& step) {
  std::vector<std::string>& days = filling_->days;
  if (days.back() != step.day) days.push_back(step.day);
  return {step.step, static_cast<std::uint16_t>(days.size() - 1)};
}

StepInHand EntriesAhead::StepOf(const Batch& b, StepMark mark) { return {mark.step, b.days[mark.day]}; }

void EntriesAhead::Pass(bool last, std::size_t nextLine) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::unique_ptr<Batch> next;
  if (!last) {
    changed_.wait(lock, [this] { return stopped_ || !empty_.empty() || batches_ < kBatches; });
    if (stopped_) throw Stopped();
    if (!empty_.empty()) {
      next = std::move(empty_.front());
      empty_.pop_front();
    } else {
      next = std::make_unique<Batch>();
      ++batches_;
    }
    next->firstLine = nextLine;
  }
  if (stopped_) throw Stopped();
  filling_->last = last;
  full_.push_back(std::move(filling_));
  filling_ = std::move(next);
  changed_.notify_all();
}

std::unique_ptr<EntriesAhead::Batch> EntriesAhead::Take() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !full_.empty() || finished_; });
  if (full_.empty()) throw Failure("the reading of the file stopped short: out of memory");
  std::unique_ptr<Batch> b = std::move(full_.front());
  full_.pop_front();
  return b;
}

void EntriesAhead::Drain(EntryHandler& handler) {
  const StepMark* inHand = nullptr;  // the step of what is being handed out
  std::size_t lineInHand = 0;
  std::unique_ptr<Batch> b;  // outside the try: inHand points into it
  try {
    for (;;) {
      b = Take();
      std::size_t e = 0;
      const auto storeUpTo = [&](std::size_t count) {
        for (; e < count; ++e) {
          inHand = &b->entries[e].step;
          handler.Store(b->entries[e].entry);
        }
      };
      for (std::size_t k = 0; k < b->lines.size(); ++k) {
        const Batch::Line& l = b->lines[k];
        lineInHand = b->firstLine + k;
        storeUpTo(l.entries);
        inHand = &l.step;
        handler.LineDone(lineInHand);
      }
      if (b->failure) {
        // Entries the failing line closed before it failed are stored first, as they would have been.
        lineInHand = b->failure->line;
        storeUpTo(b->entryCount);
        throw *b->failure;
      }
      // Entries past the batch's last line: it was passed on in the middle of a line.
      lineInHand = b->firstLine + b->lines.size();
      storeUpTo(b->entryCount);
      if (b->last) return;
      inHand = nullptr;
      b->Clear();
      const std::lock_guard<std::mutex> lock(mutex_);
      empty_.push_back(std::move(b));
      changed_.notify_all();
    }
  } catch (const ImportFailure&) {
    throw;
  } catch (...) {
    // A failure of the handler, at the step of what it was handed.
    throw PlacedFailure(inHand != nullptr ? StepOf(*b, *inHand) : StepInHand{ImportStep::kReadFile, {}}, lineInHand,
                        std::current_exception());
  }
}

}  // namespace nbl::importing
