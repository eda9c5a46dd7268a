// Test stores: a new diary store filled with rows whose columns may be Null.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nbl::testing {

using Text = std::optional<std::string>;  // UTF-8; nullopt is Null

struct Row {
  Text day, genre;
  std::optional<int> isPrivate = 0;
  Text title, contents, extend, publishTime;
  std::optional<int> number = 1;
};

// Creates the store at `path` (nblinout's schema) and inserts the rows in order.
void MakeStore(const std::string& path, const std::vector<Row>& rows);

// The one way tests reach a store file beside the code under test: runs every
// statement of `sql` on the store at `path` and returns the rows they give,
// each column as its text (nullopt for Null). Throws on a failure.
std::vector<std::vector<Text>> SqlRows(const std::string& path, const std::string& sql);

// SqlRows for statements whose rows do not matter (odd set-ups).
void ExecSql(const std::string& path, const std::string& sql);

// Every row of `sql` as text columns ("<NULL>" for Null), joined by '|'.
std::vector<std::string> QueryRows(const std::string& path, const std::string& sql);

}  // namespace nbl::testing
