// A title XML can carry, written by the export and read back: the attribute
// escaping undone by DecodeTitleReferences, an XML parser reading the export's
// document, and the import reading that document all give the title again.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/records.h"
#include "common/text.h"
#include "export/diary_document.h"
#include "fuzz_support.h"
#include "import/diary_file.h"
#include "import/diary_lines.h"
#include "support/reference/document_pieces.h"
#include "xml_document.h"

using namespace nbl;
using nbl::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Standard UTF-8 decoding never yields a lone surrogate; the units no XML
  // document can hold are taken out.
  std::u16string title;
  for (const char16_t u : text::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size))) {
    if (!text::IsOutsideXml(u)) title.push_back(u);
  }

  const std::string utf8 = text::ToUtf8(title);
  Check(importing::DecodeTitleReferences(text::ToUtf8(reference::EscapeAttribute(title))) == utf8,
        "DecodeTitleReferences does not undo EscapeAttribute");

  // One entry, as the export run writes it from the stored title.
  std::string document;
  exporting::DocumentWriter writer([&document](const std::uint8_t* bytes, std::size_t n) {
    document.append(reinterpret_cast<const char*>(bytes), n);
  });
  const ExportSettingNubelo exportSet{};
  writer.Append(exporting::kHead);
  writer.Append(exporting::kDayOpen);
  writer.AppendDayDate("2007/01/05");
  writer.AppendTitle(utf8);
  writer.Append(exporting::kBodyOpen);
  writer.AppendBody(std::nullopt, exportSet);
  writer.AppendBody(std::nullopt, exportSet);
  writer.Append(exporting::kDayClose);
  writer.Append(exporting::kTail);
  writer.Flush();
  Check(writer.ReplacedCharacters() == 0, "a title XML can carry lost a character");

  const fuzz::XmlDocument xml(document);
  const std::vector<xmlNode*> days = fuzz::XmlDocument::Children(xml.Root(), "day");
  Check(days.size() == 1, "the document holds one day");
  Check(fuzz::XmlDocument::Attribute(days[0], "title") == utf8, "an XML parser reads another title");

  const encoding::Bytes bytes(document.begin(), document.end());
  encoding::Bytes storage;
  const std::string_view text = importing::DecodeDiaryBytes(bytes, storage);
  std::vector<importing::DiaryEntry> stored;
  importing::DiaryLineReader reader(DefaultImportSetting(),
                                    [&stored](const importing::DiaryEntry& entry) { stored.push_back(entry); });
  importing::LineCutter cutter(importing::SeparatorOf(text));
  const importing::LineFn handle = [&reader](std::string_view line) { reader.HandleLine(line); };
  cutter.Feed(text, handle);
  cutter.Finish(handle);
  reader.Finish();
  Check(stored.size() == 1 && stored[0].day == "2007/01/05", "the import reads another day");
  Check(stored[0].title == utf8, "the import reads another title");
  return 0;
}
