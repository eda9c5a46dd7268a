// The import's reading of a diary file on a thread of its own, a few batches
// of lines ahead of the caller who stores the entries, so that the reading and
// the store share the machine's cores.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/records.h"
#include "import/diary_file.h"
#include "import/diary_lines.h"

namespace nbl::importing {

// What the caller does, on its own thread, with what the lines give.
class EntryHandler {
 public:
  virtual ~EntryHandler() = default;
  // An entry that the line in hand closed.
  virtual void Store(const DiaryEntry& entry) = 0;
  // The line `line` (from 1) is done, its entries stored.
  virtual void LineDone(std::size_t line) = 0;
};

// How a diary file is read: line by line, as a document of one structural tag
// to a line; or by an XML parser (XmlDiaryReader), whatever its layout.
enum class Layout { kLines, kXml };

// Walks `file` with a DiaryLineReader of `set` on a thread of its own, its
// lines as they stand or as the XML parser gives them (`layout`). The caller
// is handed the entries and lines in the order, and a failure at the place,
// that walking the lines itself would give; the thread touches neither the
// store nor the windows.
class EntriesAhead {
 public:
  // Starts the reading. Throws FileFailure when the system refuses the thread.
  EntriesAhead(DiaryFile& file, const ImportSettingNubelo& set, Layout layout = Layout::kLines);
  // Stops the reading, wherever it is, and waits for it.
  ~EntriesAhead();
  EntriesAhead(const EntriesAhead&) = delete;
  EntriesAhead& operator=(const EntriesAhead&) = delete;

  // Hands out every entry and line, then the end of the reader (Finish). Throws
  // ImportFailure when anything fails, the reading's own failures included:
  // the step it is reported as, and the line being handled (0 after the last).
  // Call once.
  void Drain(EntryHandler& handler);

  // Lines outside bodies that hold something and are no structure line; after Drain.
  std::size_t skippedLines() const { return reader_.skippedLines(); }

 private:
  struct Batch;
  struct StepMark;
  class Stopped {};

  void Read();
  // The walk of either layout; `line` is kept at the last line done.
  void ReadLines(std::size_t& line);
  void ReadXml(std::size_t& line);
  // Records line `line` done; passes the batch on when it is full.
  void LineDone(std::size_t line);
  // The reader's step as the batch being filled records it.
  StepMark Mark(const StepInHand& step);
  static StepInHand StepOf(const Batch& b, StepMark mark);
  // Passes the batch in hand to the caller and takes another, whose first
  // line is `nextLine`; throws Stopped when the caller has stopped.
  void Pass(bool last, std::size_t nextLine);
  std::unique_ptr<Batch> Take();

  DiaryFile& file_;
  const Layout layout_;
  // The reading thread writes its reader's state at every line: cache blocks
  // of their own, apart from anything the storing thread reads all along.
  alignas(128) DiaryLineReader reader_;
  std::unique_ptr<Batch> filling_;  // the reading thread's
  alignas(128) std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> full_, empty_;
  std::size_t batches_ = 0;  // made so far, of kBatches at most
  bool stopped_ = false;     // the caller wants no more
  bool finished_ = false;    // the reading thread is done
  std::thread thread_;
};

}  // namespace nbl::importing
