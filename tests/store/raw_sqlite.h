// Test helper: the rows of a store file as the store tests compare them.
#pragma once

#include <string>
#include <vector>

#include "support/diary_store.h"

namespace nbl::store::testing {

// Every row of `sql` run on the file at `path`, its columns as UTF-8 texts ("NULL" for Null).
inline std::vector<std::vector<std::string>> Raw(const std::string& path, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& row : nbl::testing::SqlRows(path, sql)) {
    rows.emplace_back();
    for (const auto& value : row) rows.back().push_back(value.value_or("NULL"));
  }
  return rows;
}

}  // namespace nbl::store::testing
