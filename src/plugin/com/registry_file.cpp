#include "plugin/com/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/failure.h"
#include "common/text.h"

namespace nbl::com {

namespace {

bool HasLineBreak(const std::u16string& s) { return s.find_first_of(u"\r\n") != std::u16string::npos; }

bool ValidRow(const platform::RegistryRow& row) {
  return !row.key.empty() && !HasLineBreak(row.key) && !HasLineBreak(row.name) && !HasLineBreak(row.value) &&
         row.name != u"@" && row.name.find(u'=') == std::u16string::npos;
}

// True when `key` is `root` or lies below it.
bool IsAtOrBelow(const std::u16string& key, const std::u16string& root) {
  if (key.size() < root.size() || !text::EqualsIgnoringAsciiCase(std::u16string_view(key).substr(0, root.size()), root))
    return false;
  return key.size() == root.size() || key[root.size()] == u'\\';
}

// Holds the writers' lock for its lifetime.
class WriteLock {
 public:
  explicit WriteLock(const std::filesystem::path& registry) {
    std::filesystem::create_directories(registry.parent_path());
    const std::string lockPath = registry.string() + ".lock";
    fd_ = ::open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) throw FileFailure("cannot open '" + lockPath + "': " + std::generic_category().message(errno));
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        throw FileFailure("cannot lock '" + lockPath + "'");
      }
    }
  }
  ~WriteLock() { ::close(fd_); }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

bool AsciiCaseLess::operator()(const std::u16string& a, const std::u16string& b) const {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = text::AsciiUpper(a[i]), y = text::AsciiUpper(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::optional<std::filesystem::path> RegistryFile::DefaultPath() {
  const char* explicitPath = std::getenv("NBL_COM_REGISTRY");
  if (explicitPath != nullptr && *explicitPath != '\0') return std::filesystem::path(explicitPath);
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config == '/') return std::filesystem::path(config) / "nblinout" / "com-registry";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::filesystem::path(home) / ".config" / "nblinout" / "com-registry";
  return std::nullopt;
}

RegistryKeys RegistryFile::Load() const {
  RegistryKeys keys;
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec) && !ec) return keys;
    throw FileFailure("cannot read '" + path_.string() + "'");
  }
  std::string line;
  RegistryValues* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() > 2) {
      current = &keys[text::FromUtf8(std::string_view(line).substr(1, line.size() - 2))];
      continue;
    }
    const std::size_t eq = line.find('=');
    if (current == nullptr || eq == std::string::npos) continue;  // not a value line: skipped
    std::u16string name = text::FromUtf8(std::string_view(line).substr(0, eq));
    if (name == u"@") name.clear();
    (*current)[name] = text::FromUtf8(std::string_view(line).substr(eq + 1));
  }
  if (in.bad()) throw FileFailure("cannot read '" + path_.string() + "'");
  return keys;
}

void RegistryFile::Save(const RegistryKeys& keys) const {
  std::ostringstream out;
  out << "; NBLinout class registry: ProgID -> class id -> in-process library. Written by DllRegisterServer.\n";
  for (const auto& [key, values] : keys) {
    out << '[' << text::ToUtf8(key) << "]\n";
    for (const auto& [name, value] : values) {
      out << (name.empty() ? std::string("@") : text::ToUtf8(name)) << '=' << text::ToUtf8(value) << '\n';
    }
  }
  const std::string content = out.str();
  const std::filesystem::path temp = path_.string() + ".new." + std::to_string(::getpid());
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.flush();
    if (!file) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      throw FileFailure("cannot write '" + temp.string() + "'");
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path_, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw FileFailure("cannot replace '" + path_.string() + "': " + ec.message());
  }
}

HRESULT RegistryFile::WriteRows(const std::vector<platform::RegistryRow>& rows) const {
  for (const platform::RegistryRow& row : rows)
    if (!ValidRow(row)) return E_INVALIDARG;
  try {
    WriteLock lock(path_);
    RegistryKeys keys = Load();
    for (const platform::RegistryRow& row : rows) keys[row.key][row.name] = row.value;
    Save(keys);
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HRESULT RegistryFile::DeleteKeys(const std::vector<std::u16string>& roots) const {
  try {
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec) && !ec) return S_OK;  // nothing registered at all
    WriteLock lock(path_);
    RegistryKeys keys = Load();
    bool changed = false;
    for (auto it = keys.begin(); it != keys.end();) {
      bool below = false;
      for (const std::u16string& root : roots) below = below || IsAtOrBelow(it->first, root);
      if (below) {
        it = keys.erase(it);
        changed = true;
      } else {
        ++it;
      }
    }
    if (changed) Save(keys);
    return S_OK;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

}  // namespace nbl::com
