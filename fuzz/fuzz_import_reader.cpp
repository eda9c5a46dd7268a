// The import from file bytes to entries, as the run drives it, with a store
// that only collects. The reader's own failures (DiaryFormatFailure, and the
// converters' ConversionFailure) are answers; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "import/diary_lines.h"
#include "fuzz_support.h"

using namespace nbl;
using namespace nbl::importing;
using nbl::fuzz::Check;

namespace {

bool IsDayText(std::u16string_view day) {
  if (day.size() != 10 || day[4] != u'/' || day[7] != u'/') return false;
  for (const std::size_t k : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (day[k] < u'0' || day[k] > u'9') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string documentText;
  try {
    documentText = DecodeDiaryBytes(encoding::Bytes(data, data + size));
  } catch (const DiaryFormatFailure&) {
    return 0;
  } catch (const ConversionFailure&) {
    return 0;
  }

  const std::vector<std::u16string_view> lines = CutLines(documentText);
  Check(!lines.empty(), "CutLines gives at least one line");
  // Put back together, the lines are the text with each CR LF as LF (or the text itself).
  const bool crlf = documentText.find(u"\r\n") != std::u16string::npos;
  const char16_t separator = crlf || documentText.find(u'\n') != std::u16string::npos ? u'\n' : u'\r';
  std::u16string joined;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k > 0) joined += separator;
    joined += lines[k];
  }
  Check(joined == (crlf ? text::Replace(documentText, u"\r\n", u"\n") : documentText), "CutLines loses or adds text");

  const ImportSettingNubelo set{u"<H2>", u"</H2>"};
  std::u16string stepText;
  std::vector<DiaryEntry> stored;
  DiaryLineReader reader(lines, set, stepText, [&stored](const DiaryEntry& entry) { stored.push_back(entry); });
  try {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::size_t used = reader.HandleLine(i);
      Check(used >= i && used < lines.size(), "HandleLine returns a line at or after its own");
      i = used;
    }
    reader.Finish();
  } catch (const DiaryFormatFailure& failure) {
    Check(!stepText.empty(), "a failure leaves a step text to report");
    Check(failure.line() >= 1 && failure.line() <= lines.size(), "a failure names a line of the file");
    return 0;
  }
  for (const DiaryEntry& entry : stored) Check(IsDayText(entry.day), "a stored day is YYYY/MM/DD");
  return 0;
}
