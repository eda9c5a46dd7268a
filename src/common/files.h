// File-system operations of the handle and the runs, on 16-bit paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace nbl::files {

// The path of 16-bit text as the file system sees it.
std::filesystem::path ToPath(std::u16string_view path);

// Test R: a regular file (links followed) of any permissions. False for empty paths and directories.
bool ExistsR(std::u16string_view path);

// Test N: a regular file (links followed) that has its owner write bit.
bool ExistsN(std::u16string_view path);

// Deletes the file; throws FileFailure when the file system refuses.
void Delete(std::u16string_view path);

// The whole content of the file; throws FileFailure when it cannot be read.
std::vector<std::uint8_t> ReadAll(std::u16string_view path);

}  // namespace nbl::files
