// The public records of the plug-in (the settings a host hands over and the
// per-day entry counter of the import), the defaults they start from, and the
// texts the diary gives an imported entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/vb_types.h"

namespace nbl {

// Which entries an export selects by their public state (intPublish); any other value selects none.
inline constexpr std::int16_t kPublishAll = 0;
inline constexpr std::int16_t kPublishPublic = 1;
inline constexpr std::int16_t kPublishPrivate = 2;

struct ExportSettingNubelo {
  std::u16string stGenre;     // "" = all genres
  std::u16string stStartDay;  // "" = no lower bound (exclusive)
  std::u16string stEndDay;    // "" = no upper bound (exclusive)
  vb::Integer intPublish;     // kPublishAll, kPublishPublic or kPublishPrivate
  vb::Integer intScroll;      // carried, read by no run
  vb::Integer intBR;          // nonzero: line feeds become "<BR>"
  vb::Integer intHyphen;      // 1: "-" becomes the full-width hyphen
  vb::Integer intPublishDay;  // 1: the entry's day; otherwise its publish time
};

struct ImportSettingNubelo {
  std::u16string stTitleStTag;  // placed before a heading
  std::u16string stTitleEdTag;  // placed after a heading
};

struct DayAndNumber {
  std::u16string stDay;
  vb::Integer iNumber;
};

// The heading tags a handle and the import options dialog start from.
inline constexpr std::u16string_view kDefaultTitleStartTag = u"<H2>";
inline constexpr std::u16string_view kDefaultTitleEndTag = u"</H2>";

// The genre of every imported entry, which the genre list always offers.
inline constexpr std::u16string_view kGeneralGenre = u"一般";

// The title an entry gets when it has none.
inline constexpr std::u16string_view kNoTitle = u"無題";

// The settings a handle's Initialize sets: every entry; line feeds as "<BR>",
// full-width hyphens and the entry's day in the document.
inline ExportSettingNubelo DefaultExportSetting() { return {u"", u"", u"", kPublishAll, 0, 1, 1, 1}; }
inline ImportSettingNubelo DefaultImportSetting() {
  return {std::u16string(kDefaultTitleStartTag), std::u16string(kDefaultTitleEndTag)};
}

}  // namespace nbl
