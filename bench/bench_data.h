// The generated data that the benchmarks share, so that the export and import
// benchmarks and the plug-in's hosts (plugin_bench) work on the same entries.
// Each is made once in the data folder (bench_support.h) and kept there.
#pragma once

#include <filesystem>

namespace nbl::bench {

// A store of `entries` entries whose bodies hold about `bodyBytes` bytes of
// Japanese and ASCII text, line breaks, markup characters and an emoji.
std::filesystem::path DiaryStore(int entries, int bodyBytes);

// A diary file as the export writes it, of `entries` entries: a few days a
// month, each with a heading and some lines.
std::filesystem::path DiaryFile(int entries);

// An empty store as `nblinout new-db` makes it, which each import through a
// host copies first: NBLinout.dll cannot make one, and both sides start alike.
std::filesystem::path EmptyStore();

}  // namespace nbl::bench
