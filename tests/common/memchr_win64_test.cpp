// The 64-bit Windows build's own memchr: every start alignment, length and
// place of the byte, against a plain loop.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(Memchr, FindsTheFirstByteAtEveryAlignmentAndLength) {
  std::vector<unsigned char> buffer(96 + 16);
  for (std::size_t start = 0; start < 16; ++start) {
    for (std::size_t length = 0; length <= 80; ++length) {
      for (std::size_t at = 0; at <= length + 1; ++at) {
        for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<unsigned char>(0x80 + i % 7);
        if (at < buffer.size() - start) buffer[start + at] = 0x0a;
        buffer[start + length + 2] = 0x0a;  // beyond the block: never found
        const unsigned char* expected = nullptr;
        for (std::size_t i = 0; i < length && expected == nullptr; ++i)
          if (buffer[start + i] == 0x0a) expected = &buffer[start + i];
        ASSERT_EQ(std::memchr(&buffer[start], 0x0a + 0x100, length), expected) << start << " " << length << " " << at;
      }
    }
  }
}

}  // namespace
