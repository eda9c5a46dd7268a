// Which entries a diary store already holds: rows of Contents found by their
// Day, Title and Contents without a scan of the table for each question.
#pragma once

#include <memory>
#include <string_view>

#include "store/connection.h"

namespace nbl::store {

// One scan keeps a hash of the three texts of every row and the row's rowid.
// A question whose hash no row has is answered at once; a row with the same
// hash is compared in SQL, found by its rowid, so two texts that share a hash
// are never taken for equal.
class StoredEntries {
 public:
  // Reads the rows of Contents through `connection` (inside its transaction,
  // when one is open), which must stay open while this object is used. Throws
  // StoreFailure when the table cannot be read.
  explicit StoredEntries(Connection& connection);
  ~StoredEntries();
  StoredEntries(const StoredEntries&) = delete;
  StoredEntries& operator=(const StoredEntries&) = delete;

  // True when a row holds exactly these texts, compared as SQL's "=" compares
  // them with the texts as the store would hold them. The texts are UTF-8 as
  // Recordset::SetUtf8 takes them. Throws StoreFailure.
  bool Holds(std::string_view day, std::string_view title, std::string_view contents);

  // Takes in the row added last on the connection, which holds the texts of
  // the last question (answered false), so that later questions find it.
  void AddedLast();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nbl::store
