// The platform's code page step: bytes of code page 932 (Shift-JIS with the
// NEC and IBM extensions) to 16-bit text.
#pragma once

#include <string>

#include "encoding/utf8.h"

namespace nbl::encoding {

// Decodes code page 932 bytes. A sequence that is not valid there becomes
// U+FFFD and decoding goes on with its next byte; a lead byte cut off by the
// end becomes U+FFFD. Never fails on content; throws ConversionFailure only
// when the converter itself is not available.
std::u16string CodePageBytesToText(const Bytes& bytes);

// The same conversion asked of the system's own converter: glibc's iconv in one
// call on POSIX systems, MultiByteToWideChar a character at a time on Windows.
// The source of the tables behind CodePageBytesToText, and the reference it
// must agree with.
std::u16string CodePageBytesToTextBySystem(const Bytes& bytes);

}  // namespace nbl::encoding
