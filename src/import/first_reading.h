// Internal to import/: the first reading of a diary file's bytes, which learns
// how their text is read and what it holds, and what the second reading
// shares with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string_view>

#include "encoding/piece_decoder.h"
#include "import/byte_survey.h"
#include "import/diary_file.h"

namespace nbl::importing {

// What the first reading of a file's bytes learns: how its text is read
// again, and what that text holds, or the failure decoding it meets.
struct DiaryFile::Plan {
  bool asIs = true;                                     // the text is the bytes as they stand, after the mark
  encoding::FileCode code = encoding::FileCode::kUtf8;  // else the code they are decoded from
  bool marked = false;                                  // the bytes start with the byte-order mark, which is no text
  std::uint64_t size = 0;                               // the bytes read
  detail::ByteSurvey survey;                            // of the bytes, when they are their own text
  std::uint64_t textSize = 0, lf = 0, cr = 0;
  std::exception_ptr failure;

  char separator() const { return lf > 0 ? '\n' : '\r'; }
  std::uint64_t breaks() const { return lf > 0 ? lf : cr; }
};

namespace detail {

using Plan = DiaryFile::Plan;

inline constexpr std::uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
inline constexpr std::size_t kMarkSize = 3;
// A piece of plain UTF-8 hands back at most a sequence cut at its end.
inline constexpr std::size_t kLongestSequence = 4;

// The bytes at the start of a file that LooksLikeUtf8 looks at.
inline constexpr std::size_t kHead = 1024;

inline bool StartsWithMark(std::string_view bytes) {
  return bytes.size() >= kMarkSize && std::memcmp(bytes.data(), kMark, kMarkSize) == 0;
}

// Where the bytes come from: reads up to `count` bytes from `offset` into
// `into`, fewer only where they end.
using Source = std::function<std::size_t(std::uint64_t offset, std::uint8_t* into, std::size_t count)>;

// Reads the bytes of `read` through once, `piece` bytes at a time. Failures in
// decoding them are kept in the plan; passes on what `read` throws.
std::unique_ptr<Plan> ReadFirst(const Source& read, std::size_t piece);

// Whether the first reading reads a file that starts with `head` (its first
// kHead bytes, or all of a shorter file) as UTF-8 whatever follows: the
// byte-order mark, or bytes that look like UTF-8.
bool HeadTellsUtf8(std::string_view head);

}  // namespace detail

}  // namespace nbl::importing
