// Decoding speed: the same generated Japanese text (about 15 MB) in each code
// the import reads, turned into UTF-8 by our decoders as the import reads a
// file, a piece at a time, and, as yardsticks, by the iconv and nkf commands
// reading the same files, to UTF-8 and to UTF-16.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/files.h"
#include "common/text.h"
#include "encoding/piece_decoder.h"
#include "encoding/utf8.h"
#include "import/diary_file.h"
#include "support/reference/kanji_code_convert.h"

namespace {

using nbl::encoding::Bytes;
using nbl::encoding::FileCode;

constexpr std::size_t kTextBytes = 15'000'000;  // of EUC-JP

// One character of the generated text: an ASCII byte (row 0) or a JIS X 0208 row and cell.
struct JisChar {
  std::uint8_t row;
  std::uint8_t cell;
};

// Diary-like lines: mostly hiragana and kanji, some katakana, punctuation and ASCII words.
std::vector<JisChar> GenerateText() {
  std::uint32_t seed = 12345;
  auto next = [&seed](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  std::vector<JisChar> text;
  std::size_t bytes = 0;
  while (bytes < kTextBytes) {
    const std::uint32_t length = 20 + next(60);
    for (std::uint32_t k = 0; k < length; ++k) {
      const std::uint32_t kind = next(100);
      if (kind < 50) {
        text.push_back({0x24, static_cast<std::uint8_t>(0x21 + next(0x53))});
      } else if (kind < 80) {
        const auto row = static_cast<std::uint8_t>(0x30 + next(0x1F));
        text.push_back({row, static_cast<std::uint8_t>(0x21 + next(0x5E))});
      } else if (kind < 88) {
        text.push_back({0x25, static_cast<std::uint8_t>(0x21 + next(0x56))});
      } else if (kind < 92) {
        text.push_back({0x21, static_cast<std::uint8_t>(0x22 + next(2))});
      } else {
        const std::uint32_t word = 3 + next(8);
        for (std::uint32_t w = 0; w < word; ++w) {
          text.push_back({0, static_cast<std::uint8_t>("abcdefghijklmnopqrstuvwxyz0123456789 "[next(37)])});
        }
        bytes += word;
        continue;
      }
      bytes += 2;
    }
    text.push_back({0, '\n'});
    bytes += 1;
  }
  return text;
}

Bytes ToEuc(const std::vector<JisChar>& text) {
  Bytes out;
  for (const auto& c : text) {
    if (c.row == 0) {
      out.push_back(c.cell);
    } else {
      out.push_back(c.row | 0x80);
      out.push_back(c.cell | 0x80);
    }
  }
  return out;
}

Bytes ToJis(const std::vector<JisChar>& text) {
  Bytes out;
  bool kanji = false;
  for (const auto& c : text) {
    if ((c.row != 0) != kanji) {
      kanji = c.row != 0;
      out.insert(out.end(), {0x1B, static_cast<std::uint8_t>(kanji ? '$' : '('), 'B'});
    }
    if (kanji) out.push_back(c.row);
    out.push_back(c.cell);
  }
  if (kanji) out.insert(out.end(), {0x1B, '(', 'B'});
  return out;
}

Bytes ToSjis(const std::vector<JisChar>& text) {
  Bytes out;
  for (const auto& c : text) {
    if (c.row == 0) {
      out.push_back(c.cell);
      continue;
    }
    out.push_back(static_cast<std::uint8_t>(((c.row + 1) >> 1) + (c.row <= 0x5E ? 0x70 : 0xB0)));
    out.push_back(static_cast<std::uint8_t>(c.cell + ((c.row & 1) ? (c.cell >= 0x60 ? 0x20 : 0x1F) : 0x7E)));
  }
  return out;
}

void Write(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Code {
  const char* file;
  const char* iconv_name;
  const char* nkf_flag;
  FileCode code;
};

const Code kEuc{"decode-euc-jp.txt", "EUC-JP", "-E", FileCode::kEuc};
const Code kJis{"decode-iso-2022-jp.txt", "ISO-2022-JP", "-J", FileCode::kJis};
const Code kSjis{"decode-cp932.txt", "CP932", "-S", FileCode::kCodePage};
const Code kUtf8{"decode-utf-8.txt", "UTF-8", "-W", FileCode::kUtf8};

std::string FileOf(const Code& code) {
  return nbl::bench::CachedFile(code.file,
                                [&code](const std::filesystem::path& path) {
                                  const auto text = GenerateText();
                                  const Bytes sjis = ToSjis(text);
                                  if (&code == &kEuc) Write(path, ToEuc(text));
                                  if (&code == &kJis) Write(path, ToJis(text));
                                  if (&code == &kSjis) Write(path, sjis);
                                  if (&code == &kUtf8) {
                                    Bytes utf8;
                                    nbl::encoding::TextToUtf8Bytes(nbl::encoding::CodePageBytesToText(sjis), utf8);
                                    Write(path, utf8);
                                  }
                                })
      .string();
}

// The file read and decoded to UTF-8 as the import reads it: a piece at a time, each piece's text written into one
// buffer, and counted.
void BM_Decode(benchmark::State& state, const Code& code) {
  const std::string file = FileOf(code);
  const std::u16string path = nbl::text::FromUtf8(file);
  constexpr std::size_t kPiece = nbl::importing::DiaryFile::kPiece;
  std::vector<std::uint8_t> bytes(kPiece);
  std::vector<char> text(nbl::encoding::PieceDecoder::MaxText(kPiece));
  std::uint64_t textSize = 0;
  nbl::bench::TimeCpu(state, [&] {
    nbl::files::InputFile input(path);
    const auto decoder = nbl::encoding::MakePieceDecoder(code.code);
    textSize = 0;
    for (std::uint64_t offset = 0;;) {
      const std::size_t got = input.ReadAt(offset, bytes.data(), kPiece);
      offset += got;
      textSize += static_cast<std::uint64_t>(decoder->Decode(bytes.data(), got, text.data()) - text.data());
      benchmark::DoNotOptimize(text.data());
      if (got < kPiece) break;
    }
    textSize += static_cast<std::uint64_t>(decoder->Finish(text.data()) - text.data());
  });
  if (textSize == 0) state.SkipWithError("decoded nothing");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(file)));
}

void BM_Tool(benchmark::State& state, const Code& code, const std::vector<std::string>& argv) {
  const std::string file = FileOf(code);
  std::vector<std::string> command = argv;
  command.push_back(file);
  nbl::bench::TimeTool(state, command);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(file)));
}

void BM_Iconv(benchmark::State& state, const Code& code) {
  BM_Tool(state, code, {"iconv", "-f", code.iconv_name, "-t", "UTF-8"});
}
void BM_Nkf(benchmark::State& state, const Code& code) { BM_Tool(state, code, {"nkf", code.nkf_flag, "-w"}); }
// The yardsticks of earlier tables, which wrote 16-bit text.
void BM_Iconv16(benchmark::State& state, const Code& code) {
  BM_Tool(state, code, {"iconv", "-f", code.iconv_name, "-t", "UTF-16LE"});
}
void BM_Nkf16(benchmark::State& state, const Code& code) { BM_Tool(state, code, {"nkf", code.nkf_flag, "-w16L"}); }

#define NBL_DECODE_BENCHMARKS(fn)                                                           \
  BENCHMARK_CAPTURE(fn, euc_jp, kEuc)->Unit(benchmark::kMillisecond)->UseManualTime();      \
  BENCHMARK_CAPTURE(fn, iso_2022_jp, kJis)->Unit(benchmark::kMillisecond)->UseManualTime(); \
  BENCHMARK_CAPTURE(fn, cp932, kSjis)->Unit(benchmark::kMillisecond)->UseManualTime();      \
  BENCHMARK_CAPTURE(fn, utf_8, kUtf8)->Unit(benchmark::kMillisecond)->UseManualTime()

NBL_DECODE_BENCHMARKS(BM_Decode);
NBL_DECODE_BENCHMARKS(BM_Iconv);
NBL_DECODE_BENCHMARKS(BM_Nkf);
NBL_DECODE_BENCHMARKS(BM_Iconv16);
NBL_DECODE_BENCHMARKS(BM_Nkf16);

}  // namespace
