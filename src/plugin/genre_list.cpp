#include "plugin/genre_list.h"

#include "common/records.h"
#include "store/connection.h"
#include "store/recordset.h"

namespace nbl::plugin {
namespace {

// Every genre but the general one, each once, in order.
const std::u16string& GenreListSql() {
  static const std::u16string sql =
      u"SELECT Contents.Genre From Contents GROUP BY Contents.Genre Having (((Contents.Genre) <> \"" +
      std::u16string(kGeneralGenre) + u"\")) ORDER BY Contents.Genre;";
  return sql;
}

}  // namespace

std::vector<std::u16string> ReadGenreList(std::u16string_view pathDiaryMdb, std::chrono::milliseconds lockWait) {
  std::vector<std::u16string> genres;
  store::Connection cn;
  cn.SetLockWait(lockWait);
  cn.Open(std::u16string(store::kConnectionPrefix) + std::u16string(pathDiaryMdb));
  store::Recordset rs;
  rs.Open(GenreListSql(), cn, store::adOpenKeyset, store::adLockReadOnly, store::adCmdTableDirect);
  while (!rs.IsEOF()) {
    genres.push_back(rs.Field(u"Genre").CStr());
    rs.MoveNext();
  }
  rs.Close();
  return genres;
}

}  // namespace nbl::plugin
