// The export's document from any settings and any stored bytes: the one-pass
// writer must give exactly the bytes and the count of the 16-bit pieces that the
// same values give through text::AppendXmlUtf8, and libxml2 must read them as
// well-formed XML 1.0 holding one <day> with one <body> per entry.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/records.h"
#include "common/text.h"
#include "export/diary_document.h"
#include "fuzz_support.h"
#include "store/value.h"
#include "support/reference/document_pieces.h"
#include "xml_document.h"

using namespace nbl;
using namespace nbl::exporting;
using nbl::fuzz::Check;

namespace {

// The value the store's Field gives for the stored bytes of a text, or Null.
store::Value FieldOf(const std::optional<std::string>& stored) {
  return stored ? store::Value(text::FromUtf8MarkingBadBytes(*stored)) : store::Value();
}

// The document as the pieces of 16-bit text make it.
struct Reference {
  std::string bytes;
  std::int64_t replaced = 0;
  void Append(std::u16string_view piece) { replaced += static_cast<std::int64_t>(text::AppendXmlUtf8(piece, bytes)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  ExportSettingNubelo set;
  set.intBR = in.ConsumeIntegralInRange<std::int16_t>(-1, 2);
  set.intHyphen = in.ConsumeIntegralInRange<std::int16_t>(0, 2);
  set.intPublishDay = in.ConsumeIntegralInRange<std::int16_t>(0, 2);
  const bool fromDay = set.intPublishDay == 1;

  std::string document;
  DocumentWriter writer([&document](const std::uint8_t* bytes, std::size_t n) {
    document.append(reinterpret_cast<const char*>(bytes), n);
  });
  Reference reference;
  writer.Append(kHead);
  reference.Append(text::FromUtf8(kHead));
  std::size_t entries = 0;
  while (in.remaining_bytes() > 0 && entries < 32) {
    // A Null date fails the run by design (the query never selects a Null Day).
    const std::string date = in.ConsumeRandomLengthString(64);
    std::optional<std::string> fields[3];  // title, contents, extend
    for (std::optional<std::string>& field : fields) {
      if (in.ConsumeIntegralInRange(0, 7) != 0) field = in.ConsumeRandomLengthString(256);
    }

    writer.Append(kDayOpen);
    if (fromDay) {
      writer.AppendDayDate(date);
    } else {
      writer.AppendPublishDate(date);
    }
    writer.AppendTitle(fields[0]);
    writer.Append(kBodyOpen);
    writer.AppendBody(fields[1], set);
    writer.AppendBody(fields[2], set);
    writer.Append(kDayClose);

    reference.Append(text::FromUtf8(kDayOpen));
    reference.Append(fromDay ? reference::DatePiece(FieldOf(date)) : reference::PublishDatePiece(FieldOf(date)));
    reference.Append(reference::TitlePiece(FieldOf(fields[0])));
    reference.Append(text::FromUtf8(kBodyOpen));
    reference.Append(reference::ApplyBodyRule(FieldOf(fields[1]), set) + u"\n");
    reference.Append(reference::ApplyBodyRule(FieldOf(fields[2]), set) + u"\n");
    reference.Append(text::FromUtf8(kDayClose));
    ++entries;
  }
  writer.Append(kTail);
  writer.Flush();
  reference.Append(text::FromUtf8(kTail));

  Check(document == reference.bytes, "the one-pass writer differs from the 16-bit pieces");
  Check(writer.ReplacedCharacters() == reference.replaced, "the one-pass writer counts other replacements");

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
