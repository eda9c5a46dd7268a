#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/com/com_platform.h"
#include "plugin/invoke_call.h"

namespace nbl::com {
namespace {

std::uint32_t Prefix(BSTR s) {
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(s) - 4, 4);
  return bytes;
}

TEST(Bstr, IsALengthPrefixedZeroTerminatedBlock) {
  struct Case {
    const char* name;
    std::u16string text;
  };
  const Case cases[] = {{"empty", u""},
                        {"ascii", u"abc"},
                        {"japanese and a pair", u"日記😀"},
                        {"embedded zero", std::u16string(u"a\0b", 3)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(c.text.data()), static_cast<UINT>(c.text.size()));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Prefix(s), c.text.size() * 2);
    EXPECT_EQ(SysStringLen(s), c.text.size());
    EXPECT_EQ(SysStringByteLen(s), c.text.size() * 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(s), c.text.size()), c.text);
    EXPECT_EQ(s[c.text.size()], 0);
    SysFreeString(s);
  }
}

TEST(Bstr, CopiesUpToTheFirstZeroOrMakesZeros) {
  BSTR a = SysAllocString(u"ab\0cd");
  EXPECT_EQ(SysStringLen(a), 2u);
  BSTR zeros = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(SysStringLen(zeros), 3u);
  for (int i = 0; i <= 3; ++i) {
    EXPECT_EQ(zeros[i], 0);
  }
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocStringLen(u"x", 0x7FFFFFFFu), nullptr);  // byte length past 32 bits
  SysFreeString(nullptr);
  SysFreeString(a);
  SysFreeString(zeros);
}

TEST(Variant, ClearFreesWhatItOwnsAndNoMore) {
  testing::FakeRecordInfo info(GUID_NULL);
  struct Case {
    const char* name;
    VARIANT v;
    ULONG refsAfter;
  };
  BSTR byRef = SysAllocString(u"kept");
  const Case cases[] = {
      // The cases below take a reference each as they are made: 3 in all.
      {"string", testing::VBstr(SysAllocString(u"freed")), 3},  // the sanitizer build sees a leak otherwise
      {"string by reference", testing::VBstrRef(&byRef), 3},
      {"number", testing::VI4(7), 3},
      {"record",
       [&] {
         info.AddRef();
         return testing::VRecord(nullptr, &info);
       }(),
       2},
      {"interface",
       [&] {
         VARIANT v = testing::VEmpty();
         v.vt = VT_UNKNOWN;
         v.punkVal = &info;
         info.AddRef();
         return v;
       }(),
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VARIANT v = c.v;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(info.refs, c.refsAfter);
  }
  EXPECT_EQ(SysStringLen(byRef), 4u);
  SysFreeString(byRef);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace nbl::com
