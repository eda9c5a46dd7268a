// Random entries written by the export's document writer, then laid out in
// random ways that change nothing but the layout between tags: read by the XML
// parser, the laid-out document must give exactly the entries that the line
// reader gives for the document as written.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "export/diary_document.h"
#include "fuzz_support.h"
#include "import/diary_file.h"
#include "import/diary_lines.h"
#include "import/xml_diary.h"

using namespace nbl;
using namespace nbl::importing;
using nbl::fuzz::Check;

namespace {

std::string WithoutCr(std::string text) {
  std::erase(text, '\r');  // a raw CR is the one thing the parser reads otherwise (as LF)
  return text;
}

std::string Written(FuzzedDataProvider& in) {
  std::string doc;
  exporting::DocumentWriter writer([&doc](const std::uint8_t* d, std::size_t n) { doc.append(d, d + n); });
  const ExportSettingNubelo set{u"", u"", u"", 0, 0, in.ConsumeBool() ? 1 : 0, 1, 1};
  writer.Append(exporting::kHead);
  static constexpr const char* kDays[] = {"2007/05/01", "2007/05/02", "2008/02/29", "1999/12/31"};
  for (int n = in.ConsumeIntegralInRange(0, 6); n > 0; --n) {
    writer.Append(exporting::kDayOpen);
    writer.AppendDayDate(kDays[in.ConsumeIntegralInRange(0, 3)]);
    writer.AppendTitle(in.ConsumeRandomLengthString(40));
    writer.Append(exporting::kBodyOpen);
    writer.AppendBody(WithoutCr(in.ConsumeRandomLengthString(300)), set);
    writer.AppendBody(WithoutCr(in.ConsumeRandomLengthString(60)), set);
    writer.Append(exporting::kDayClose);
  }
  writer.Append(exporting::kTail);
  writer.Flush();
  return doc;
}

// Only where two tags meet, and after <body> before a line that starts with text.
std::string LaidOut(const std::string& doc, FuzzedDataProvider& in) {
  static constexpr const char* kBetween[] = {"", "\n", " ", "\r\n", "\n\t  ", "\n\n"};
  std::string out;
  for (std::size_t k = 0; k < doc.size(); ++k) {
    const bool tagsMeet = doc[k] == '\n' && k > 0 && doc[k - 1] == '>' && k + 1 < doc.size() && doc[k + 1] == '<';
    const bool afterBody = doc.compare(k, 1, "\n") == 0 && k >= 6 && doc.compare(k - 6, 6, "<body>") == 0 &&
                           k + 1 < doc.size() && std::string_view(" \t\n<").find(doc[k + 1]) == std::string_view::npos;
    if (tagsMeet) {
      out += kBetween[in.ConsumeIntegralInRange(0, 5)];
    } else if (!(afterBody && in.ConsumeBool())) {
      out += doc[k];
    }
  }
  return out;
}

struct Read {
  std::vector<std::string> entries;  // day|title|body
  std::size_t skipped = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string doc = Written(in);
  const std::string laidOut = LaidOut(doc, in);

  Read byLines, byXml;
  const auto keep = [](Read& into) {
    return [&into](const DiaryEntry& e) { into.entries.push_back(e.day + "|" + e.title + "|" + e.body); };
  };
  DiaryLineReader lines(DefaultImportSetting(), keep(byLines));
  try {
    LineCutter cutter('\n');
    const LineFn handle = [&lines](std::string_view line) { lines.HandleLine(line); };
    cutter.Feed(doc, handle);
    cutter.Finish(handle);
    lines.Finish();
  } catch (const DiaryFormatFailure& f) {
    fuzz::Fail("the line reader refuses what the export wrote", f.what());
  }
  byLines.skipped = lines.skippedLines();

  DiaryLineReader fromXml(DefaultImportSetting(), keep(byXml));
  try {
    XmlDiaryReader xml([&fromXml](std::string_view line, std::size_t number, std::size_t column) {
      fromXml.HandleLineAt(line, number, column);
    });
    // In pieces that cut anywhere, a character included.
    for (std::size_t at = 0; at < laidOut.size();) {
      const std::size_t piece = 1 + (at * 7919 + size) % 97;
      xml.Feed(std::string_view(laidOut).substr(at, piece));
      at += piece;
    }
    xml.Finish();
    fromXml.Finish();
  } catch (const DiaryFormatFailure& f) {
    fuzz::Fail("the XML reader refuses a laid-out export", f.what());
  }
  byXml.skipped = fromXml.skippedLines();
  Check(byXml.entries == byLines.entries, "the two readings give different entries");
  Check(byXml.skipped == byLines.skipped, "the two readings skip different lines");
  return 0;
}
