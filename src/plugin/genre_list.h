// The genres of a diary store, as the export options dialog lists them.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "store/connection.h"

namespace nbl::plugin {

// The genres of the store at `pathDiaryMdb` other than the general one
// (kGeneralGenre), each once, in ascending order; Null genres left out.
// Waits up to `lockWait` for a store another program holds. Throws
// StoreFailure when the store cannot be opened or read.
std::vector<std::u16string> ReadGenreList(std::u16string_view pathDiaryMdb,
                                          std::chrono::milliseconds lockWait = store::kDefaultLockWait);

}  // namespace nbl::plugin
