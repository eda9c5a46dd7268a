// A fresh folder under the system's temporary folder, removed with its content at scope end.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace nbl::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `name` inside the folder, as 16-bit text for the handle and the runs.
  std::u16string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// The whole content of a file as bytes ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);

// Every regular file under `dir`, by its path relative to `dir`, with its bytes.
std::map<std::string, std::string> FilesUnder(const std::filesystem::path& dir);

}  // namespace nbl::testing
