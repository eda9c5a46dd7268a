#include "import/entries_ahead.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "support/temp_dir.h"

namespace nbl::importing {
namespace {

// What a walk handed out, and where it failed: its step, line and message.
struct Outcome {
  std::vector<std::string> events;
  std::u16string step;
  std::size_t line = 0;
  std::string failure;
};

// Records the events and refuses the one numbered `failAt` (from 0).
struct Recording : EntryHandler {
  Outcome& out;
  std::size_t failAt;
  Recording(Outcome& o, std::size_t f) : out(o), failAt(f) {}
  void Event(std::string what) {
    if (out.events.size() == failAt) throw Failure("refused " + what);
    out.events.push_back(std::move(what));
  }
  void Store(const DiaryEntry& e) override { Event("entry " + e.day + "|" + e.title + "|" + e.body); }
  void LineDone(std::size_t line) override { Event("line " + std::to_string(line)); }
};

std::string Message(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const DiaryFormatFailure& f) {
    return "line " + std::to_string(f.line()) + ": " + f.what();
  } catch (const std::exception& f) {
    return f.what();
  }
}

// The walk on this thread, line by line, as the import made it before it read ahead.
Outcome WalkInTurn(const std::u16string& path, std::size_t failAt) {
  Outcome out;
  Recording handler(out, failAt);
  DiaryFile file(path);
  file.Decode();
  DiaryLineReader reader(DefaultImportSetting(), [&](DiaryEntry& e) { handler.Store(e); });
  std::size_t line = 0;
  try {
    file.ForEachLine([&](std::string_view text) {
      ++line;
      reader.HandleLine(text);
      handler.LineDone(line);
    });
    line = 0;
    reader.Finish();
  } catch (...) {
    const ImportFailure placed = PlacedFailure(file.reading() ? StepInHand{ImportStep::kReadFile, {}} : reader.step(),
                                               line, std::current_exception());
    out.step = placed.at.Text();
    out.line = placed.line;
    out.failure = Message(placed.error);
  }
  return out;
}

Outcome WalkAhead(const std::u16string& path, std::size_t failAt) {
  Outcome out;
  Recording handler(out, failAt);
  DiaryFile file(path);
  file.Decode();
  try {
    EntriesAhead reading(file, DefaultImportSetting());
    reading.Drain(handler);
  } catch (const ImportFailure& failure) {
    out.step = failure.at.Text();
    out.line = failure.line;
    out.failure = Message(failure.error);
  }
  return out;
}

// Many batches' worth of entries; any failure, the handler's own or the file's,
// stands where the walk in turn has it, and the reading stops however far ahead it is.
TEST(EntriesAhead, HandsOutWhatTheWalkInTurnDoesAndFailsWhereItFails) {
  testing::TempDir dir;
  const std::u16string path = dir.File("in.xml");
  const auto document = [](std::size_t entries, const std::string& fault) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
    for (std::size_t k = 0; k < entries; ++k) {
      doc += "<day date=\"2007-05-0" + std::to_string(k % 9 + 1) + "\" title=\"t" + std::to_string(k) +
             "\">\n<body>\n*1178000000*見出し\n" + std::string(k % 7 * 300, 'x') + "\n</body>\n</day>\n";
      if (k == entries / 2) doc += fault;
    }
    return doc + "</diary>";
  };
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t failAt;  // the handler's event that fails
    bool fails = true;
  };
  const std::size_t none = static_cast<std::size_t>(-1);
  const std::string big = document(4000, "");
  const std::vector<Case> cases = {
      {"whole", big, none, false},
      {"first entry refused", big, 2},
      {"first line refused", big, 0},
      {"an entry midway refused", big, 14001},
      {"a line midway refused", big, 14003},
      {"the last line refused", big, 28002},
      {"past the last event", big, 28003, false},
      {"a day inside an entry", document(4000, "<day date=\"2007-05-01\">\n"), none},
      {"refused before a fault", document(4000, "<day date=\"2007-05-01\">\n"), 9001},
      {"refused after a fault", document(4000, "<day date=\"2007-05-01\">\n"), 20000},
      {"an entry never closed", document(3000, "") + "\n<day date=\"2007-05-01\">\n<body>\n", none},
      {"no day line", "<body>\n", none},
      {"a single line", "x", none, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(text::ToUtf8(path), std::ios::binary) << c.bytes;
    const Outcome inTurn = WalkInTurn(path, c.failAt);
    ASSERT_EQ(inTurn.failure.empty(), !c.fails) << inTurn.failure;
    const Outcome ahead = WalkAhead(path, c.failAt);
    EXPECT_EQ(ahead.events.size(), inTurn.events.size());
    EXPECT_TRUE(ahead.events == inTurn.events);
    EXPECT_EQ(text::ToUtf8(ahead.step), text::ToUtf8(inTurn.step));
    EXPECT_EQ(ahead.line, inTurn.line);
    EXPECT_EQ(ahead.failure, inTurn.failure);
  }
}

}  // namespace
}  // namespace nbl::importing
