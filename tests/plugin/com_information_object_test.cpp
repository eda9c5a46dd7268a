// The Information class as a host reaches it in-process.
#include <gtest/gtest.h>

#include "plugin/com/interfaces.h"
#include "plugin/com/objects.h"
#include "plugin/invoke_call.h"

namespace nbl::com {
namespace {

using namespace nbl::testing;  // NOLINT: the variant builders

TEST(InformationObject, AnswersTheVersionLateAndEarlyBound) {
  _Information* info = nullptr;
  ASSERT_EQ(CreateInformation(IID__Information, reinterpret_cast<void**>(&info)), S_OK);
  struct Case {
    const char16_t* name;
    DISPID id;
    SHORT value;
    HRESULT (STDMETHODCALLTYPE _Information::*method)(SHORT*);
  };
  const Case cases[] = {
      {u"GetVersion", 0x60030000, 104, &_Information::GetVersion},
      {u"getversionmajor", 0x60030001, 1, &_Information::GetVersionMajor},
      {u"GetVersionMinor", 0x60030002, 0, &_Information::GetVersionMinor},
      {u"GETVERSIONREVISION", 0x60030003, 4, &_Information::GetVersionRevision},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(IdOf(info, c.name), c.id);
    InvokeCall call(info, c.id, {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    ASSERT_EQ(call.hr, S_OK);
    EXPECT_EQ(call.result.vt, VT_I2);
    EXPECT_EQ(call.result.iVal, c.value);
    InvokeCall extra(info, c.id, {VI2(1)});
    EXPECT_EQ(extra.hr, DISP_E_BADPARAMCOUNT);
    SHORT value = -1;
    EXPECT_EQ((info->*c.method)(&value), S_OK);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ((info->*c.method)(nullptr), E_POINTER);
  }
  EXPECT_EQ(IdOf(info, u"Version"), DISPID_UNKNOWN);
  InvokeCall past(info, 0x60030004, {});
  EXPECT_EQ(past.hr, DISP_E_MEMBERNOTFOUND);
  void* p = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(info->QueryInterface(IID__clsNubeloHandle, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(info->Release(), 0u);
}

}  // namespace
}  // namespace nbl::com
