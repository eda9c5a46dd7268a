#include "common/write_back.h"

#include <algorithm>

namespace nbl::files {

void WriteBack::Received(std::uint64_t offset, std::uint64_t size) {
  const std::uint64_t end = offset + size;
  if (to_ == from_) {
    from_ = offset;
    to_ = end;
  } else {
    from_ = std::min(from_, offset);
    to_ = std::max(to_, end);
  }
  if (to_ - from_ < kRun) return;
  Start(from_, to_);
  from_ = to_ = 0;
}

}  // namespace nbl::files
