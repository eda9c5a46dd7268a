// Byte arrays written and shown as hex text ("E3 81 82") in the encoding tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "encoding/utf8.h"

namespace nbl::testing {

inline encoding::Bytes Hex(const std::string& text) {
  encoding::Bytes bytes;
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
  return bytes;
}

inline std::string ToHex(const encoding::Bytes& bytes) {
  std::string text;
  char buf[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    if (!text.empty()) text += ' ';
    text += buf;
  }
  return text;
}

// Code units as "U+0041 U+3042" so that failures show what came out.
inline std::string Units(const std::u16string& text) {
  std::string out;
  char buf[8];
  for (char16_t u : text) {
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(u));
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace nbl::testing
