#include <gtest/gtest.h>

#include <cstdlib>

#include "common/text.h"
#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/registry_file.h"
#include "plugin/com/server.h"
#include "plugin/com/unknown.h"
#include "plugin/com_host.h"
#include "plugin/invoke_call.h"
#include "support/temp_dir.h"

namespace nbl::com {
namespace {

TEST(GetClassObject, MakesFactoriesOfTheTwoClassesOnly) {
  const GUID unknownClass = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  struct Case {
    const CLSID* clsid;
    const IID* iid;
    HRESULT hr;
  };
  const Case cases[] = {
      {&CLSID_clsNubeloHandle, &IID_IClassFactory, S_OK},
      {&CLSID_Information, &IID_IClassFactory, S_OK},
      {&CLSID_Information, &IID_IUnknown, S_OK},
      {&CLSID_clsNubeloHandle, &IID_IDispatch, E_NOINTERFACE},
      {&unknownClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
      {&IID__clsNubeloHandle, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::ToUtf8(GuidToString(*c.clsid)));
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(GetClassObject(*c.clsid, *c.iid, &p), c.hr);
    if (c.hr == S_OK) {
      static_cast<IUnknown*>(p)->Release();
    } else {
      EXPECT_EQ(p, nullptr);
    }
  }
  EXPECT_EQ(GetClassObject(CLSID_Information, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

IClassFactory* Factory(const CLSID& clsid) {
  IClassFactory* f = nullptr;
  EXPECT_EQ(GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
  return f;
}

TEST(ClassFactory, MakesObjectsOfItsClassWithoutAggregation) {
  struct Case {
    const CLSID* clsid;
    const IID* iid;
    HRESULT hr;
  };
  const Case cases[] = {
      {&CLSID_clsNubeloHandle, &IID__clsNubeloHandle, S_OK},
      {&CLSID_clsNubeloHandle, &IID_IDispatch, S_OK},
      {&CLSID_clsNubeloHandle, &IID__Information, E_NOINTERFACE},
      {&CLSID_Information, &IID__Information, S_OK},
      {&CLSID_Information, &IID_IUnknown, S_OK},
      {&CLSID_Information, &IID_IClassFactory, E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    IClassFactory* f = Factory(*c.clsid);
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(f->CreateInstance(nullptr, *c.iid, &p), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(static_cast<IUnknown*>(p)->Release(), 0u);
    } else {
      EXPECT_EQ(p, nullptr);
    }
    IUnknown* outer = reinterpret_cast<IUnknown*>(f);
    EXPECT_EQ(f->CreateInstance(outer, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(f->Release(), 0u);
  }
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(CanUnloadNow, HoldsWhileAnythingIsAlive) {
  EXPECT_EQ(CanUnloadNow(), S_OK);
  IClassFactory* f = Factory(CLSID_clsNubeloHandle);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the factory itself

  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  ASSERT_EQ(f->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(f->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_NE(a, b);
  EXPECT_EQ(f->LockServer(TRUE), S_OK);
  EXPECT_EQ(f->Release(), 0u);
  EXPECT_EQ(ModuleLock::Objects(), 2);
  EXPECT_EQ(ModuleLock::ServerLocks(), 1);

  EXPECT_EQ(a->AddRef(), 2u);
  EXPECT_EQ(a->Release(), 1u);
  EXPECT_EQ(a->Release(), 0u);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);  // b and the lock
  EXPECT_EQ(b->Release(), 0u);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the lock

  f = Factory(CLSID_Information);
  EXPECT_EQ(f->LockServer(FALSE), S_OK);
  EXPECT_EQ(f->LockServer(FALSE), E_UNEXPECTED);  // an unlock too many cannot free the library early
  EXPECT_EQ(ModuleLock::ServerLocks(), 0);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the factory
  EXPECT_EQ(f->Release(), 0u);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(Registration, RowsMapProgIdsToClassesAndTheLibrary) {
  const std::u16string lib = u"/opt/nbl/libNBLinout.so.1";
  const std::u16string h = GuidToString(CLSID_clsNubeloHandle), i = GuidToString(CLSID_Information);
  const std::vector<std::vector<std::u16string>> expected = {
      {u"NBLHandleDLL.clsNubeloHandle", u"", u"NBLHandleDLL.clsNubeloHandle"},
      {u"NBLHandleDLL.clsNubeloHandle\\CLSID", u"", h},
      {u"CLSID\\" + h, u"", u"NBLHandleDLL.clsNubeloHandle"},
      {u"CLSID\\" + h + u"\\ProgID", u"", u"NBLHandleDLL.clsNubeloHandle"},
      {u"CLSID\\" + h + u"\\InprocServer32", u"", lib},
      {u"CLSID\\" + h + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
      {u"NBLHandleDLL.Information", u"", u"NBLHandleDLL.Information"},
      {u"NBLHandleDLL.Information\\CLSID", u"", i},
      {u"CLSID\\" + i, u"", u"NBLHandleDLL.Information"},
      {u"CLSID\\" + i + u"\\ProgID", u"", u"NBLHandleDLL.Information"},
      {u"CLSID\\" + i + u"\\InprocServer32", u"", lib},
      {u"CLSID\\" + i + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
  };
  std::vector<std::vector<std::u16string>> rows;
  for (const auto& r : RegistrationRows(lib)) rows.push_back({r.key, r.name, r.value});
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(RegistrationKeys(), (std::vector<std::u16string>{u"NBLHandleDLL.clsNubeloHandle", u"CLSID\\" + h,
                                                             u"NBLHandleDLL.Information", u"CLSID\\" + i}));
}

TEST(Registration, RegistersAndUnregistersInTheRegistryFile) {
  testing::TempDir dir;
  const auto file = dir.path() / "sub" / "registry";
  ::setenv("NBL_COM_REGISTRY", file.c_str(), 1);
  // Another server's class stays untouched.
  RegistryFile registry(file);
  ASSERT_EQ(registry.WriteRows({{u"Other.Thing\\CLSID", u"", u"{00000000-0000-0000-0000-000000000001}"}}), S_OK);

  EXPECT_EQ(RegisterServer(u"/lib/one.so"), S_OK);
  EXPECT_EQ(RegisterServer(u"/lib/two.so"), S_OK);  // again: replaces the path
  std::u16string value;
  ASSERT_TRUE(host::ReadRegistryValue(registry, u"CLSID\\" + GuidToString(CLSID_Information) + u"\\InprocServer32", u"",
                                      value));
  EXPECT_EQ(value, u"/lib/two.so");
  ASSERT_TRUE(host::ReadRegistryValue(registry, u"nblhandledll.clsnubelohandle\\clsid", u"", value));
  EXPECT_EQ(value, GuidToString(CLSID_clsNubeloHandle));
  EXPECT_EQ(RegisterServer(u""), SELFREG_E_CLASS);

  EXPECT_EQ(UnregisterServer(), S_OK);
  EXPECT_EQ(UnregisterServer(), S_OK);  // already gone
  const RegistryKeys left = registry.Load();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left.begin()->first, u"Other.Thing\\CLSID");

  // A registry that cannot be written: its folder is a file.
  ::setenv("NBL_COM_REGISTRY", (dir.path() / "sub" / "registry" / "x").c_str(), 1);
  EXPECT_EQ(RegisterServer(u"/lib/one.so"), SELFREG_E_CLASS);
  ::unsetenv("NBL_COM_REGISTRY");
}

}  // namespace
}  // namespace nbl::com
