// A diary store whose rows carry only the genres a dialog test needs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/connection.h"
#include "store/recordset.h"

namespace nbl::testing {

// Creates the store at `path` with one row per genre (nullopt stores Null).
inline void MakeGenreStore(const std::u16string& path, const std::vector<std::optional<std::u16string>>& genres) {
  store::CreateDiaryStore(path);
  store::Connection cn;
  cn.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
  store::Recordset rs;
  rs.Open(u"Contents", cn, store::adOpenKeyset, store::adLockOptimistic, store::adCmdTableDirect);
  int n = 0;
  for (const auto& g : genres) {
    rs.AddNew();
    rs.SetField(u"Day", u"2006/02/25");
    rs.SetField(u"Number", store::Value::Integer(++n));
    rs.SetField(u"Genre", g ? store::Value(*g) : store::Value());
    rs.Update();
  }
  rs.Close();
}

}  // namespace nbl::testing
