#include "cli/import_preview.h"

#include <cstdio>
#include <string>

#include "cli/printable.h"
#include "common/text.h"

namespace nbl::cli {

void PrintImportPreview(const importing::ImportReport& report, bool skipExisting) {
  std::printf("entries: %lld\n", static_cast<long long>(report.stored));
  if (skipExisting) std::printf("already stored, skipped: %lld\n", static_cast<long long>(report.skippedEntries));
  const auto day = [](const std::u16string& d) { return Printable(text::ToUtf8(d)); };
  std::printf("first day: %s\n", report.days.empty() ? "none" : day(report.days.front().day).c_str());
  std::printf("last day: %s\n", report.days.empty() ? "none" : day(report.days.back().day).c_str());
  std::printf("numbers by day:%s\n", report.days.empty() ? " none" : "");
  for (const importing::DayNumbers& d : report.days) {
    const std::string numbers =
        std::to_string(d.first) + (d.last == d.first ? std::string() : "-" + std::to_string(d.last));
    std::printf("  %s  %s\n", day(d.day).c_str(), numbers.c_str());
  }
  std::printf("first titles:%s\n", report.firstTitles.empty() ? " none" : "");
  for (const std::u16string& title : report.firstTitles) std::printf("  %s\n", day(title).c_str());
}

}  // namespace nbl::cli
