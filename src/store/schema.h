// Internal to the store: the structure of a new, empty diary store.
#pragma once

namespace nbl::store::detail {

// Day and PublishTime are texts so that the day bounds of the export compare as text;
// Private holds 0 or 1 so that "= TRUE" and "= FALSE" select it.
inline constexpr const char* kDiaryStoreSchema = R"sql(CREATE TABLE Contents (
  Day TEXT, Number INTEGER, Weather TEXT, Genre TEXT, Private INTEGER,  -- 0 or 1
  Title TEXT, Contents TEXT, extend TEXT, excerpt TEXT, TrackBack TEXT,
  PublishTime TEXT,                                                      -- 'YYYY/MM/DD HH:MM:SS'
  ImportMark TEXT);
)sql";

}  // namespace nbl::store::detail
