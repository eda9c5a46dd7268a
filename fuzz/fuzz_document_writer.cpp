// The export's document from any settings and stored values, built piece by
// piece as the export run builds it, must be well-formed XML 1.0 holding one
// <day> with one <body> per entry.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/records.h"
#include "common/text.h"
#include "export/diary_document.h"
#include "store/value.h"
#include "fuzz_support.h"
#include "xml_document.h"

using namespace nbl;
using namespace nbl::exporting;
using nbl::fuzz::Check;

namespace {

// A stored text: the store's reading of bytes (bad bytes kept as lone
// surrogates), or any 16-bit units at all.
std::u16string StoredText(FuzzedDataProvider& in) {
  const bool units = in.ConsumeBool();
  const std::string raw = in.ConsumeRandomLengthString(256);
  if (units) return fuzz::Units(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
  return text::FromUtf8MarkingBadBytes(raw);
}

store::Value StoredValue(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 7) == 0) return store::Value();
  return store::Value(StoredText(in));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  ExportSettingNubelo set;
  set.intBR = in.ConsumeIntegralInRange<std::int16_t>(-1, 2);
  set.intHyphen = in.ConsumeIntegralInRange<std::int16_t>(0, 2);
  set.intPublishDay = in.ConsumeIntegralInRange<std::int16_t>(0, 2);

  std::string document;
  DocumentWriter writer([&document](const std::uint8_t* bytes, std::size_t n) {
    document.append(reinterpret_cast<const char*>(bytes), n);
  });
  writer.Append(kHead);
  std::size_t entries = 0;
  while (in.remaining_bytes() > 0 && entries < 32) {
    // A Null date fails the run by design; the query never selects a Null Day.
    const store::Value date(StoredText(in));
    writer.Append(kDayOpen);
    writer.Append(set.intPublishDay == 1 ? DatePiece(date) : PublishDatePiece(date));
    writer.Append(TitlePiece(StoredValue(in)));
    writer.Append(kBodyOpen);
    writer.Append(ApplyBodyRule(StoredValue(in), set) + u"\n");
    writer.Append(ApplyBodyRule(StoredValue(in), set) + u"\n");
    writer.Append(kDayClose);
    ++entries;
  }
  writer.Append(kTail);

  const fuzz::XmlDocument xml(document);
  Check(xml.Root() != nullptr && std::string(reinterpret_cast<const char*>(xml.Root()->name)) == "diary",
        "the root is <diary>");
  const std::vector<xmlNode*> days = fuzz::XmlDocument::Children(xml.Root(), "day");
  Check(days.size() == entries, "one <day> per entry");
  for (xmlNode* day : days) {
    Check(fuzz::XmlDocument::Children(day, "body").size() == 1, "one <body> per <day>");
    fuzz::XmlDocument::Attribute(day, "date");
    fuzz::XmlDocument::Attribute(day, "title");
  }
  return 0;
}
