// What a diary store holds, in figures a person looks at before choosing export filters.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/connection.h"

namespace nbl::store {

// A column value (UTF-8; nullopt for Null) and the number of rows holding it.
struct CountOf {
  std::optional<std::string> value;
  std::int64_t rows = 0;
};

struct StoreFacts {
  std::int64_t entries = 0;
  std::optional<std::string> firstDay, lastDay;  // lowest and highest Day as text; none when no row has one
  // Rows the export selects with "public" (Private = FALSE) and "private" (Private = TRUE);
  // a row with Null or another value in Private is in neither.
  std::int64_t publicEntries = 0, privateEntries = 0;
  std::vector<CountOf> genres;       // by Genre, Null first, then in text order
  std::vector<CountOf> importMarks;  // by ImportMark the same way; Null counts the rows not imported
};

// Reads the facts of the store at `path` in one snapshot, through a connection
// that refuses every write, so the store is left as it was. Throws StoreFailure
// when the store cannot be opened or read (for example no table Contents).
StoreFacts ReadStoreFacts(std::u16string_view path, std::chrono::milliseconds lockWait = kDefaultLockWait);

}  // namespace nbl::store
