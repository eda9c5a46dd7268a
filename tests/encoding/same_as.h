// Checks that a fast decoder gives what its reference gives, failures
// included, over chosen inputs and over every byte pair in given contexts.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "encoding/hex.h"

namespace nbl::testing {

using Outcome = std::optional<std::u16string>;  // nullopt: the conversion failed

template <typename Convert>
Outcome Run(Convert convert, const encoding::Bytes& bytes) {
  try {
    return convert(bytes);
  } catch (const ConversionFailure&) {
    return std::nullopt;
  }
}

struct Decoder {
  const char* name;
  std::u16string (*fast)(const encoding::Bytes&);
  std::u16string (*reference)(const encoding::Bytes&);
};

// Reports the first few differences only, so a broken decoder does not flood the log.
class SameAs {
 public:
  explicit SameAs(const Decoder& d) : d_(d) {}

  void Check(const encoding::Bytes& bytes) {
    const Outcome fast = Run(d_.fast, bytes);
    const Outcome reference = Run(d_.reference, bytes);
    if (fast == reference || ++differences_ > 10) return;
    ADD_FAILURE() << d_.name << "(" << ToHex(bytes) << ") gives " << Show(fast) << ", the reference "
                  << Show(reference);
  }

  // Every pair of bytes in each context: a prefix and a suffix (hex texts).
  void CheckEveryPair(const std::vector<std::pair<std::string, std::string>>& contexts) {
    for (const auto& [prefix, suffix] : contexts) {
      encoding::Bytes bytes = Hex(prefix);
      const std::size_t at = bytes.size();
      bytes.resize(at + 2);
      const encoding::Bytes after = Hex(suffix);
      bytes.insert(bytes.end(), after.begin(), after.end());
      for (int pair = 0; pair < 0x10000; ++pair) {
        bytes[at] = static_cast<std::uint8_t>(pair >> 8);
        bytes[at + 1] = static_cast<std::uint8_t>(pair & 0xFF);
        Check(bytes);
      }
    }
  }

 private:
  static std::string Show(const Outcome& o) { return o ? Units(*o) : "fails"; }

  const Decoder& d_;
  int differences_ = 0;
};

}  // namespace nbl::testing
