// The tests that tell a diary file's code (GuessKanjiCode, IsEucText,
// IsUtf8Text) over bytes handed in pieces, so that a file need not be held
// whole to be judged. Each gives for all the bytes fed what its whole-array
// form gives for them at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nbl::encoding {

// The codes a guess tells.
inline constexpr std::int32_t kCodeUndecided = 0;
inline constexpr std::int32_t kCodeShiftJis = 1;
inline constexpr std::int32_t kCodeJis = 2;
inline constexpr std::int32_t kCodeEuc = 3;

// GuessKanjiCode.
class KanjiCodeGuess {
 public:
  void Feed(const std::uint8_t* p, std::size_t n);
  // A pair has decided the guess: no later byte can change it.
  bool decided() const { return code_ >= 0; }
  // The code number (0-3). Throws ConversionFailure when no byte was fed.
  std::int32_t Result() const;

 private:
  // The pair c, d; false once it decides the guess.
  bool Pair(std::uint8_t c, std::uint8_t d);

  long sjis_ = 0, jis_ = 0, euc_ = 0;
  std::int32_t code_ = -1;  // decided
  bool any_ = false;        // a byte was fed
  int last_ = -1;           // the last byte fed, which pairs with the next
};

// IsEucText.
class EucTextCheck {
 public:
  void Feed(const std::uint8_t* p, std::size_t n);
  // A byte has ruled the bytes out: no later byte can change that.
  bool failed() const { return failed_; }
  bool Result() const { return !failed_ && !held_ && any_; }

 private:
  bool failed_ = false;
  bool any_ = false;   // a character from 0x80 on
  bool held_ = false;  // lead_ waits for the byte after it
  std::uint8_t lead_ = 0;
};

// IsUtf8Text.
class Utf8TextCheck {
 public:
  void Feed(const std::uint8_t* p, std::size_t n);
  bool failed() const { return failed_; }
  bool Result() const { return !failed_ && need_ == 0 && pair_ == 0 && multiByte_; }

 private:
  bool failed_ = false;
  bool multiByte_ = false;
  int need_ = 0;                        // continuation bytes still wanted by the sequence in hand
  std::uint8_t lo_ = 0x80, hi_ = 0xBF;  // the range of the next of them
  // Where an encoded surrogate pair stands: 1 after a lead ED, 2 in a high half, 3 waiting for the
  // low half's lead, 4 in the low half.
  int pair_ = 0;
};

}  // namespace nbl::encoding
