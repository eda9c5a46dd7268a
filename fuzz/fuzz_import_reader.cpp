// The import from file bytes to entries, as the run drives it, with a store
// that only collects. The text, read in pieces of a length the bytes choose,
// must be what the 16-bit decoders give for the whole file, written as UTF-8;
// the reader's own failures (DiaryFormatFailure, and the converters'
// ConversionFailure) are answers, anything else is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "encoding/utf8.h"
#include "fuzz_support.h"
#include "import/diary_file.h"
#include "import/diary_lines.h"
#include "support/reference/kanji_code_convert.h"

using namespace nbl;
using namespace nbl::importing;
using nbl::fuzz::Check;

namespace {

// The text of the file by the rule DecodeDiaryBytes follows, through the 16-bit decoders.
std::u16string ReferenceText(const encoding::Bytes& bytes) {
  const bool marked = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
  if (marked || encoding::LooksLikeUtf8(bytes, 1024) == vb::True || encoding::IsUtf8Text(bytes)) {
    const std::u16string text = encoding::Utf8BytesToText(bytes, u"");
    return marked ? text.substr(1) : text;
  }
  switch (encoding::GuessKanjiCode(bytes)) {
    case encoding::kCodeJis:
      return encoding::JisBytesToText(bytes);
    case encoding::kCodeEuc:
      return encoding::EucBytesToText(bytes);
    default: {
      const std::u16string text = encoding::CodePageBytesToText(bytes);
      const bool lossy = text.find(u'\uFFFD') != std::u16string::npos;
      return lossy && encoding::IsEucText(bytes) ? encoding::EucBytesToText(bytes) : text;
    }
  }
}

bool IsDayText(std::string_view day) {
  if (day.size() != 10 || day[4] != '/' || day[7] != '/') return false;
  for (const std::size_t k : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (day[k] < '0' || day[k] > '9') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const encoding::Bytes bytes(data, data + size);
  const bool nul = std::find(bytes.begin(), bytes.end(), 0) != bytes.end();
  encoding::Bytes storage;
  std::string_view documentText;
  bool failed = false;
  // Mostly pieces of a few bytes, so that characters, escapes and breaks straddle them.
  const std::size_t piece = size > 0 && data[0] % 8 != 0 ? 1 + data[size - 1] % 16 : DiaryFile::kPiece;
  try {
    documentText = DecodeDiaryBytes(bytes, storage, piece);
  } catch (const DiaryFormatFailure& failure) {
    Check(nul, "only a NUL byte makes the bytes a format fault");
    // Its line is counted at LF when the file holds one, else at CR.
    const auto at = std::find(bytes.begin(), bytes.end(), 0);
    const std::uint8_t separator = std::find(bytes.begin(), bytes.end(), '\n') != bytes.end() ? '\n' : '\r';
    Check(failure.line() == 1 + static_cast<std::size_t>(std::count(bytes.begin(), at, separator)),
          "a NUL byte's line is the line it stands on");
    return 0;
  } catch (const ConversionFailure&) {
    failed = true;
  }
  Check(!nul, "a NUL byte passed");
  bool referenceFailed = false;
  std::u16string reference;
  try {
    reference = ReferenceText(bytes);
  } catch (const ConversionFailure&) {
    referenceFailed = true;
  }
  Check(failed == referenceFailed, "DecodeDiaryBytes fails where the 16-bit decoders do not, or the other way");
  if (failed) return 0;
  encoding::Bytes expected;
  encoding::TextToUtf8Bytes(reference, expected);
  Check(documentText == std::string_view(reinterpret_cast<const char*>(expected.data()), expected.size()),
        "DecodeDiaryBytes differs from the 16-bit decoders' text as UTF-8");

  // Cut whole and in two pieces at a point the bytes choose: the same lines either way.
  const char separator = SeparatorOf(documentText);
  std::vector<std::string> lines, inPieces;
  const auto cut = [separator](const std::vector<std::string_view>& pieces, std::vector<std::string>& into) {
    LineCutter cutter(separator);
    const LineFn keep = [&into](std::string_view line) { into.emplace_back(line); };
    for (const std::string_view piece : pieces) cutter.Feed(piece, keep);
    cutter.Finish(keep);
  };
  cut({documentText}, lines);
  const std::size_t at = documentText.empty() ? 0 : data[size - 1] % (documentText.size() + 1);
  cut({documentText.substr(0, at), documentText.substr(at)}, inPieces);
  Check(lines == inPieces, "the lines depend on where the pieces end");
  // Put back together, the lines are the text with each CR LF as LF (or the text itself).
  const bool crlf = documentText.find("\r\n") != std::string_view::npos;
  std::string joined, unbroken;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k > 0) joined += separator;
    joined += lines[k];
  }
  for (std::size_t k = 0; k < documentText.size(); ++k) {
    if (!(crlf && documentText[k] == '\r' && k + 1 < documentText.size() && documentText[k + 1] == '\n')) {
      unbroken += documentText[k];
    }
  }
  Check(joined == unbroken, "the cut loses or adds text");

  std::vector<DiaryEntry> stored;
  DiaryLineReader reader(DefaultImportSetting(), [&stored](const DiaryEntry& entry) { stored.push_back(entry); });
  std::size_t handed = 0;
  try {
    for (const std::string& line : lines) {
      ++handed;
      reader.HandleLine(line);
    }
    reader.Finish();
  } catch (const DiaryFormatFailure& failure) {
    Check(!reader.stepText().empty(), "a failure leaves a step text to report");
    Check(failure.line() >= 1 && failure.line() <= handed, "a failure names a line handed in");
    return 0;
  }
  for (const DiaryEntry& entry : stored) Check(IsDayText(entry.day), "a stored day is YYYY/MM/DD");
  return 0;
}
