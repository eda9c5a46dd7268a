#include "plugin/genre_list.h"

#include "store/connection.h"
#include "store/recordset.h"

namespace nbl::plugin {
namespace {

// Every genre but the general one, each once, in order.
constexpr std::u16string_view kGenreListSql =
    u"SELECT Contents.Genre From Contents GROUP BY Contents.Genre Having (((Contents.Genre) <> \"一般\")) "
    u"ORDER BY Contents.Genre;";

}  // namespace

std::vector<std::u16string> ReadGenreList(std::u16string_view pathDiaryMdb) {
  std::vector<std::u16string> genres;
  store::Connection cn;
  cn.Open(std::u16string(store::kConnectionPrefix) + std::u16string(pathDiaryMdb));
  store::Recordset rs;
  rs.Open(kGenreListSql, cn, store::adOpenKeyset, store::adLockReadOnly, store::adCmdTableDirect);
  while (!rs.IsEOF()) {
    genres.push_back(rs.Field(u"Genre").CStr());
    rs.MoveNext();
  }
  rs.Close();
  return genres;
}

}  // namespace nbl::plugin
