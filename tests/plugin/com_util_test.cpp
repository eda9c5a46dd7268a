#include "plugin/com/com_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

#include "common/failure.h"
#include "common/text.h"
#include "plugin/com/interfaces.h"

namespace nbl::com {
namespace {

TEST(GuidText, IsTheRegistryForm) {
  EXPECT_EQ(GuidToString(CLSID_clsNubeloHandle), u"{880C04B5-036F-4CF5-B753-28D921705F70}");
  EXPECT_EQ(GuidToString(IID_IDispatch), u"{00020400-0000-0000-C000-000000000046}");
}

TEST(CurrentError, GivesEachFailureItsCodeAndDescription) {
  struct Case {
    const char* name;
    std::function<void()> raise;
    HRESULT code;
    std::u16string description;
  };
  const Case cases[] = {
      {"overflow", [] { throw OverflowFailure("overflow: 40000"); }, kOverflowError, u"overflow: 40000"},
      {"file", [] { throw FileFailure("cannot delete 'd/日記.xml'"); }, kPathFileAccessError,
       u"cannot delete 'd/日記.xml'"},
      {"null", [] { throw NullValueFailure("Null used as text"); }, kInvalidUseOfNullError, u"Null used as text"},
      {"store", [] { throw StoreFailure("no such table"); }, E_FAIL, u"no such table"},
      {"window", [] { throw WindowFailure("no display"); }, E_FAIL, u"no display"},
      {"memory", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY, u"out of memory"},
      {"other", [] { throw std::logic_error("odd"); }, E_FAIL, u"odd"},
      {"not an exception", [] { throw 42; }, E_FAIL, u"unknown failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.raise();
      FAIL() << "nothing thrown";
    } catch (...) {
      const ComError e = CurrentError();
      EXPECT_EQ(e.code, c.code);
      EXPECT_EQ(e.description, c.description);
    }
    EXPECT_EQ(Guard(c.raise), c.code);
  }
  EXPECT_EQ(Guard([] {}), S_OK);
}

TEST(ExcepInfo, IsFilledForTheCaller) {
  EXCEPINFO info;
  std::memset(&info, 0xAB, sizeof info);  // whatever the caller's memory held
  FillExcepInfo(&info, u"NBLHandleDLL.Information", {kOverflowError, u"overflow"});
  EXPECT_EQ(info.wCode, 0);
  EXPECT_EQ(info.scode, kOverflowError);
  EXPECT_EQ(FromBstr(info.bstrSource), u"NBLHandleDLL.Information");
  EXPECT_EQ(FromBstr(info.bstrDescription), u"overflow");
  EXPECT_EQ(info.bstrHelpFile, nullptr);
  EXPECT_EQ(info.pfnDeferredFillIn, nullptr);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  FillExcepInfo(nullptr, u"x", {E_FAIL, u"y"});  // a caller that does not want it
}

}  // namespace
}  // namespace nbl::com
