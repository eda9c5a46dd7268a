// Decoders of a diary file's bytes straight into UTF-8, fed a piece at a time,
// so that no file needs to be held whole to be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace nbl::encoding {

// The codes a diary file is read in.
enum class FileCode {
  kUtf8,      // as Utf8BytesToText with an empty replacement reads it
  kJis,       // as JisBytesToText
  kEuc,       // as EucBytesToText
  kCodePage,  // as CodePageBytesToText (code page 932)
};

// Turns bytes handed in pieces into the UTF-8 that TextToUtf8Bytes writes of
// what the 16-bit decoder of its code gives for all the bytes at once (a
// surrogate outside a pair as its own three bytes). A character or an escape
// sequence cut by the end of a piece is held until the next piece completes it.
class PieceDecoder {
 public:
  // The most bytes of text one call writes for `n` bytes of input, the bytes
  // held from earlier pieces included.
  static constexpr std::size_t MaxText(std::size_t n) { return 3 * n + 32; }

  virtual ~PieceDecoder() = default;

  // Decodes the next `n` bytes into `out`, which has room for MaxText(n)
  // bytes; returns the end of what it wrote. Throws ConversionFailure where the
  // 16-bit decoder fails, as soon as the bytes read so far tell; after a
  // failure the decoder must not be used again.
  virtual char* Decode(const std::uint8_t* p, std::size_t n, char* out) = 0;
  // The end of the bytes: writes what was held (room for MaxText(0)) and
  // throws ConversionFailure where the 16-bit decoder fails at the end.
  virtual char* Finish(char* out) = 0;

  // Whether the text so far holds U+FFFD for bytes that code page 932 cannot read.
  bool replaced() const { return replaced_; }

 protected:
  bool replaced_ = false;
};

// A decoder of `code` at the start of its bytes. Throws ConversionFailure when
// code page 932 is not available.
std::unique_ptr<PieceDecoder> MakePieceDecoder(FileCode code);

}  // namespace nbl::encoding
