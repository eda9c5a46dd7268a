// Registration into the Windows registry, in-process: a registration that fails
// part way takes back what it wrote.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "plugin/com/server.h"

namespace nbl::com {
namespace {

TEST(RegistrationWin32, ALibraryWithoutTypeLibraryIsRefusedAndLeavesNoKey) {
  // kernel32 carries no type library: the class keys are written, then the type library fails.
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  const std::u16string library = std::u16string(system, system + n) + u"\\kernel32.dll";
  EXPECT_EQ(RegisterServer(library), SELFREG_E_TYPELIB);
  for (const std::u16string& key : RegistrationKeys()) {
    HKEY h = nullptr;
    const std::wstring name(key.begin(), key.end());
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS)
        << std::string(key.begin(), key.end());
  }
}

}  // namespace
}  // namespace nbl::com
