// The platform's code page step: bytes of code page 932 (Shift-JIS with the
// NEC and IBM extensions) to 16-bit text.
#pragma once

#include <string>

#include "encoding/utf8.h"

namespace nbl::encoding {

// The same conversion asked of the system's own converter: glibc's iconv in one
// call on POSIX systems, MultiByteToWideChar a character at a time on Windows.
// The source of the code page tables (code_page_table.h), and the reference
// the decoders built on them must agree with.
std::u16string CodePageBytesToTextBySystem(const Bytes& bytes);

}  // namespace nbl::encoding
