// The genres of a diary store, as the export options dialog lists them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nbl::plugin {

// The genres of the store at `pathDiaryMdb` other than the general one
// (kGeneralGenre), each once, in ascending order; Null genres left out.
// Throws StoreFailure when the store cannot be opened or read.
std::vector<std::u16string> ReadGenreList(std::u16string_view pathDiaryMdb);

}  // namespace nbl::plugin
