#include <gtest/gtest.h>

#include "common/text.h"
#include "plugin/com/com_util.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/server.h"
#include "plugin/com/unknown.h"
#include "plugin/invoke_call.h"

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
  std::vector<std::vector<std::u16string>> expected = {
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
  // Where type libraries are kept, each class names its own after its library.
  if (platform::kKeepsTypeLibraries) {
    const std::u16string libid = GuidToString(LIBID_NBLHandleDLL);
    expected.insert(expected.begin() + 12, {u"CLSID\\" + i + u"\\TypeLib", u"", libid});
    expected.insert(expected.begin() + 6, {u"CLSID\\" + h + u"\\TypeLib", u"", libid});
  }
  std::vector<std::vector<std::u16string>> rows;
  for (const auto& r : RegistrationRows(lib)) rows.push_back({r.key, r.name, r.value});
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(RegistrationKeys(), (std::vector<std::u16string>{u"NBLHandleDLL.clsNubeloHandle", u"CLSID\\" + h,
                                                             u"NBLHandleDLL.Information", u"CLSID\\" + i}));
}

}  // namespace
}  // namespace nbl::com
