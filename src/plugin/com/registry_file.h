// The class registry of this COM layer on systems without one: a text file
// that maps ProgIDs to class ids and class ids to their libraries.
//
// Its place: $NBL_COM_REGISTRY when set and not empty, else
// $XDG_CONFIG_HOME/nblinout/com-registry (when that is an absolute path),
// else $HOME/.config/nblinout/com-registry.
//
// Its form, UTF-8 lines; keys and value names compare without ASCII case:
//   ; comment
//   [CLSID\{880C04B5-036F-4CF5-B753-28D921705F70}\InprocServer32]
//   @=/usr/lib/libNBLinout.so.1        (the key's default value)
//   ThreadingModel=Apartment           (a named value)
// Writers take an exclusive lock on "<file>.lock" and replace the file by a
// rename, so readers never see half a file.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "plugin/com/com_platform.h"

namespace nbl::com {

struct AsciiCaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const;
};

using RegistryValues = std::map<std::u16string, std::u16string, AsciiCaseLess>;  // "" = default value
using RegistryKeys = std::map<std::u16string, RegistryValues, AsciiCaseLess>;

class RegistryFile {
 public:
  explicit RegistryFile(std::filesystem::path path) : path_(std::move(path)) {}

  // The place described above; nullopt when none can be found (no HOME).
  static std::optional<std::filesystem::path> DefaultPath();

  const std::filesystem::path& path() const { return path_; }

  // Every key; a missing file is an empty registry. Throws FileFailure when
  // the file exists but cannot be read.
  RegistryKeys Load() const;

  // See platform::WriteRegistryRows / DeleteRegistryKeys.
  // A key, name or value holding a line break, an empty key, or a name "@"
  // or holding "=" is refused with E_INVALIDARG and nothing is written.
  HRESULT WriteRows(const std::vector<platform::RegistryRow>& rows) const;
  HRESULT DeleteKeys(const std::vector<std::u16string>& keys) const;

 private:
  void Save(const RegistryKeys& keys) const;
  std::filesystem::path path_;
};

}  // namespace nbl::com
