#include "common/files.h"

#include <sys/stat.h>

#include <fstream>

#include "common/failure.h"
#include "common/text.h"

namespace nbl::files {
namespace {

bool StatRegular(std::u16string_view path, struct stat& st) {
  if (path.empty()) return false;
  return ::stat(text::ToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::filesystem::path ToPath(std::u16string_view path) {
  const std::string utf8 = text::ToUtf8(path);
  return std::filesystem::path(utf8);
}

bool ExistsR(std::u16string_view path) {
  struct stat st{};
  return StatRegular(path, st);
}

bool ExistsN(std::u16string_view path) {
  struct stat st{};
  return StatRegular(path, st) && (st.st_mode & S_IWUSR) != 0;
}

void Delete(std::u16string_view path) {
  std::error_code ec;
  if (!std::filesystem::remove(ToPath(path), ec) || ec) {
    throw FileFailure("cannot delete '" + text::ToUtf8(path) + "': " + (ec ? ec.message() : "no such file"));
  }
}

std::vector<std::uint8_t> ReadAll(std::u16string_view path) {
  const std::string name = text::ToUtf8(path);
  std::ifstream in(ToPath(path), std::ios::binary);
  if (!in) throw FileFailure("cannot open '" + name + "' for reading");
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) throw FileFailure("cannot read the length of '" + name + "'");
  in.seekg(0, std::ios::beg);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
    throw FileFailure("cannot read '" + name + "'");
  }
  return bytes;
}

}  // namespace nbl::files
