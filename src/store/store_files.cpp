#include "store/store_files.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "common/files.h"
#include "common/text.h"

namespace nbl::store {
namespace {

namespace fs = std::filesystem;

fs::path FolderOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code error;
  const bool same = fs::equivalent(a, b, error);
  if (!error) return same;
  // A folder that cannot be looked at is compared by its spelling.
  return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

}  // namespace

bool NamesStoreFile(std::u16string_view path, std::u16string_view store) {
  if (path.empty() || store.empty() || text::HasLoneSurrogate(path) || text::HasLoneSurrogate(store)) return false;
  const fs::path output = files::FollowLinks(files::ToPath(path));
  const fs::path database = files::FollowLinks(files::ToPath(store));
  // The names as the system spells them: on Windows, converted to narrow text they could lose characters.
  const fs::path::string_type name = output.filename().native(), storeName = database.filename().native();
  if (name.empty() || storeName.empty()) return false;
  bool named = false;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    named = named || name == storeName + fs::path(suffix).native();
  return named && SameFolder(FolderOf(output), FolderOf(database));
}

}  // namespace nbl::store
