#include "common/write_back.h"

#include <fcntl.h>

namespace nbl::files {

WriteBack::WriteBack(std::intptr_t handle) : handle_(handle) {}
WriteBack::~WriteBack() = default;

void WriteBack::Start([[maybe_unused]] std::uint64_t from, [[maybe_unused]] std::uint64_t to) {
#ifdef __linux__
  sync_file_range(static_cast<int>(handle_), static_cast<off_t>(from), static_cast<off_t>(to - from),
                  SYNC_FILE_RANGE_WRITE);
#endif
}

}  // namespace nbl::files
