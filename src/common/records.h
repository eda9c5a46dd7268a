// The public records of the plug-in: the settings a host hands over and the
// per-day entry counter of the import.
#pragma once

#include <string>

#include "common/vb_types.h"

namespace nbl {

struct ExportSettingNubelo {
  std::u16string stGenre;     // "" = all genres
  std::u16string stStartDay;  // "" = no lower bound (exclusive)
  std::u16string stEndDay;    // "" = no upper bound (exclusive)
  vb::Integer intPublish;     // 0 all, 1 public only, 2 private only
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

}  // namespace nbl
