// A diary store whose rows carry only the genres a dialog test needs, made by
// the one store helper of tests/support.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "support/diary_store.h"

namespace nbl::testing {

// Creates the store at `path` with one row per genre (nullopt stores Null).
inline void MakeGenreStore(const std::u16string& path, const std::vector<std::optional<std::u16string>>& genres) {
  std::vector<Row> rows;
  int n = 0;
  for (const auto& g : genres) {
    Row row;
    row.day = "2006/02/25";
    row.genre = g ? Text(text::ToUtf8(*g)) : std::nullopt;
    row.number = ++n;
    rows.push_back(row);
  }
  MakeStore(text::ToUtf8(path), rows);
}

}  // namespace nbl::testing
