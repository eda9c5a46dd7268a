#include "cli/info_command.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "cli/printable.h"
#include "common/failure.h"
#include "common/files.h"
#include "common/text.h"
#include "store/store_facts.h"

namespace nbl::cli {
namespace {

// nblinout's exit statuses, as main.cpp names them.
constexpr int kCompleted = 0, kRunFailed = 1, kRefused = 2;

// Counts right-aligned under each other, then the value they count.
void PrintCounts(const char* label, const std::vector<store::CountOf>& counts, const char* nullValue) {
  if (counts.empty()) {
    std::printf("%s: none\n", label);
    return;
  }
  std::printf("%s:\n", label);
  std::size_t width = 1;
  for (const auto& c : counts) width = std::max(width, std::to_string(c.rows).size());
  for (const auto& c : counts) {
    const std::string value = !c.value ? nullValue : c.value->empty() ? "(empty)" : Printable(*c.value);
    std::printf("  %*lld  %s\n", static_cast<int>(width), static_cast<long long>(c.rows), value.c_str());
  }
}

}  // namespace

int RunInfo(const std::string& dbPath, std::chrono::milliseconds lockWait) {
  // Refused before anything opens it, as export and import refuse a missing store.
  if (!files::ExistsR(text::FromUtf8(dbPath))) {
    std::fprintf(stderr, "nblinout: cannot open database '%s': %s\n", dbPath.c_str(),
                 files::WhyNotAFile(files::KindOf(text::FromUtf8(dbPath))));
    return kRefused;
  }
  store::StoreFacts facts;
  try {
    facts = store::ReadStoreFacts(text::FromUtf8(dbPath), lockWait);
  } catch (...) {
    std::fprintf(stderr, "nblinout: %s\n", CauseOf(std::current_exception()).c_str());
    return kRunFailed;
  }
  const auto day = [](const std::optional<std::string>& d) { return d ? Printable(*d) : std::string("none"); };
  std::printf("entries: %lld\n", static_cast<long long>(facts.entries));
  std::printf("first day: %s\n", day(facts.firstDay).c_str());
  std::printf("last day: %s\n", day(facts.lastDay).c_str());
  std::printf("public: %lld\n", static_cast<long long>(facts.publicEntries));
  std::printf("private: %lld\n", static_cast<long long>(facts.privateEntries));
  const std::int64_t neither = facts.entries - facts.publicEntries - facts.privateEntries;
  if (neither != 0) std::printf("neither public nor private: %lld\n", static_cast<long long>(neither));
  PrintCounts("genres", facts.genres, "(no genre)");
  PrintCounts("import marks", facts.importMarks, "(not imported)");
  return kCompleted;
}

}  // namespace nbl::cli
