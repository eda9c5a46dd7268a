// The files a diary store consists of: the database and the journals SQLite keeps beside it.
#pragma once

#include <string_view>

namespace nbl::store {

// Whether `path`, symbolic links followed, names the file of the store at `store`
// (links followed too) or its "-wal", "-shm" or "-journal" file: writing there would
// destroy the store. Names are compared by their folder (device and inode, so any
// spelling of the folder matches) and their file name; a hard link to the store is
// another name and does not count. False for an empty path or one that names no
// file exactly.
bool NamesStoreFile(std::u16string_view path, std::u16string_view store);

}  // namespace nbl::store
