#include <gtest/gtest.h>

#include <span>
#include <stdexcept>

#include "common/failure.h"
#include "plugin/com/dispatch.h"
#include "plugin/com/interfaces.h"
#include "plugin/invoke_call.h"

namespace nbl::com {
namespace {

using namespace nbl::testing;  // NOLINT: the variant builders

// An argument as the caller's text, copied ("" for a null string).
HRESULT GetText(const DispArgs& args, UINT pos, std::u16string& out) {
  BSTR s = nullptr;
  const HRESULT hr = args.GetBstr(pos, s);
  if (SUCCEEDED(hr)) out = FromBstr(s);
  return hr;
}

std::vector<VARIANT> LastFirst(std::vector<VARIANT> args) { return {args.rbegin(), args.rend()}; }

TEST(DispArgsBind, PlacesArgumentsByPositionOrRefuses) {
  Bstr a = MakeBstr(u"a"), b = MakeBstr(u"b"), c = MakeBstr(u"c");
  struct Case {
    const char* name;
    std::vector<VARIANT> rg;    // as in DISPPARAMS: named ones first, then positional ones last first
    std::vector<DISPID> named;  // positions of the named ones
    UINT min, max;
    HRESULT hr;
    UINT argErr;                        // checked when not `none`
    std::vector<std::u16string> slots;  // texts found at positions 0.. ("-" missing)
  };
  const UINT none = 0xFFFFFFFFu;
  const std::vector<Case> cases = {
      {"two positional", {VBstr(b.get()), VBstr(a.get())}, {}, 1, 2, S_OK, none, {u"a", u"b"}},
      {"optional left out", {VBstr(a.get())}, {}, 1, 2, S_OK, none, {u"a", u"-"}},
      {"optional marked missing", {VMissing(), VBstr(a.get())}, {}, 1, 2, S_OK, none, {u"a", u"-"}},
      {"too many", {VBstr(c.get()), VBstr(b.get()), VBstr(a.get())}, {}, 1, 2, DISP_E_BADPARAMCOUNT, none, {}},
      {"too few", {}, {}, 1, 2, DISP_E_BADPARAMCOUNT, none, {}},
      {"any to none", {VBstr(a.get())}, {}, 0, 0, DISP_E_BADPARAMCOUNT, none, {}},
      {"required marked missing", {VBstr(b.get()), VMissing()}, {}, 1, 2, DISP_E_PARAMNOTOPTIONAL, 1, {}},
      {"named second", {VBstr(b.get()), VBstr(a.get())}, {1}, 1, 2, S_OK, none, {u"a", u"b"}},
      {"all named", {VBstr(b.get()), VBstr(a.get())}, {1, 0}, 1, 2, S_OK, none, {u"a", u"b"}},
      {"named past the end", {VBstr(b.get()), VBstr(a.get())}, {2}, 1, 2, DISP_E_PARAMNOTFOUND, 0, {}},
      {"named negative", {VBstr(b.get()), VBstr(a.get())}, {-3}, 1, 2, DISP_E_PARAMNOTFOUND, 0, {}},
      {"named and positional at once", {VBstr(b.get()), VBstr(a.get())}, {0}, 1, 2, DISP_E_PARAMNOTFOUND, 0, {}},
      {"required neither given nor named", {VBstr(b.get())}, {1}, 1, 2, DISP_E_PARAMNOTOPTIONAL, none, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<VARIANT> rg = c.rg;
    std::vector<DISPID> named = c.named;
    DISPPARAMS params{rg.empty() ? nullptr : rg.data(), named.empty() ? nullptr : named.data(),
                      static_cast<UINT>(rg.size()), static_cast<UINT>(named.size())};
    DispArgs args;
    UINT argErr = none;
    EXPECT_EQ(args.Bind(params, c.min, c.max, &argErr), c.hr);
    if (c.argErr != none) {
      EXPECT_EQ(argErr, c.argErr);
    }
    for (UINT i = 0; i < c.slots.size(); ++i) {
      if (c.slots[i] == u"-") {
        EXPECT_TRUE(args.Missing(i)) << i;
      } else {
        std::u16string s;
        EXPECT_EQ(GetText(args, i, s), S_OK) << i;
        EXPECT_EQ(s, c.slots[i]) << i;
      }
    }
  }
}

TEST(DispArgsBind, RefusesMalformedParameterBlocks) {
  VARIANT v = VI2(1);
  DISPID pos = 0;
  struct Case {
    DISPPARAMS params;
    HRESULT hr;
  };
  const Case cases[] = {
      {{nullptr, nullptr, 1, 0}, E_INVALIDARG},  // arguments counted but not given
      {{&v, nullptr, 1, 1}, E_INVALIDARG},       // named count without positions
      {{&v, &pos, 1, 2}, E_INVALIDARG},          // more named than given
  };
  for (const Case& c : cases) {
    DispArgs args;
    EXPECT_EQ(args.Bind(c.params, 0, 2, nullptr), c.hr);
  }
}

// One argument through each accessor.
struct Converted {
  HRESULT hr;
  std::u16string text;
  VARIANT_BOOL boolean;
};

Converted Convert(VARIANT v, bool asBoolean) {
  DISPPARAMS params{&v, nullptr, 1, 0};
  DispArgs args;
  UINT argErr = 99;
  EXPECT_EQ(args.Bind(params, 0, 1, &argErr), S_OK);
  Converted out{S_OK, u"?", 7};
  out.hr = asBoolean ? args.GetBoolean(0, 5, out.boolean) : GetText(args, 0, out.text);
  if (out.hr == DISP_E_TYPEMISMATCH) {
    EXPECT_EQ(argErr, 0u);
  }
  return out;
}

TEST(DispArgsConvert, TakesStringsByValueOrReference) {
  Bstr text = MakeBstr(std::u16string(u"C:\\日記\0x", 6));
  BSTR nullText = nullptr;
  BSTR ref = text.get();
  VARIANT inner = VBstr(text.get());
  struct Case {
    const char* name;
    VARIANT v;
    HRESULT hr;
    std::u16string text;
  };
  const Case cases[] = {
      {"value", VBstr(text.get()), S_OK, std::u16string(u"C:\\日記\0x", 6)},
      {"reference", VBstrRef(&ref), S_OK, std::u16string(u"C:\\日記\0x", 6)},
      {"null string", VBstr(nullptr), S_OK, u""},
      {"reference to null string", VBstrRef(&nullText), S_OK, u""},
      {"variant by reference", VVariantRef(&inner), S_OK, std::u16string(u"C:\\日記\0x", 6)},
      {"empty", VEmpty(), S_OK, u""},
      {"null reference", VBstrRef(nullptr), DISP_E_TYPEMISMATCH, u"?"},
      {"null", VNull(), DISP_E_TYPEMISMATCH, u"?"},
      {"number", VI4(5), DISP_E_TYPEMISMATCH, u"?"},
      {"boolean", VBool(VARIANT_TRUE), DISP_E_TYPEMISMATCH, u"?"},
      {"variant reference to nothing", VVariantRef(nullptr), DISP_E_TYPEMISMATCH, u"?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Converted out = Convert(c.v, false);
    EXPECT_EQ(out.hr, c.hr);
    EXPECT_EQ(out.text, c.text);
  }
}

TEST(DispArgsConvert, TakesBooleansAsScriptAndCompiledHostsPassThem) {
  VARIANT_BOOL yes = VARIANT_TRUE, one = 1;
  SHORT two = 2;
  VARIANT inner = VBool(VARIANT_TRUE);
  struct Case {
    const char* name;
    VARIANT v;
    HRESULT hr;
    VARIANT_BOOL value;
  };
  const Case cases[] = {
      {"true", VBool(VARIANT_TRUE), S_OK, VARIANT_TRUE},
      {"false", VBool(VARIANT_FALSE), S_OK, VARIANT_FALSE},
      {"reference", VBoolRef(&yes), S_OK, VARIANT_TRUE},
      {"nonzero Boolean kept as given", VBoolRef(&one), S_OK, 1},
      {"number 1", VI2(1), S_OK, VARIANT_TRUE},
      {"number 0", VI4(0), S_OK, VARIANT_FALSE},
      {"number by reference",
       [&] {
         VARIANT v = VEmpty();
         v.vt = VT_I2 | VT_BYREF;
         v.piVal = &two;
         return v;
       }(),
       S_OK, VARIANT_TRUE},
      {"variant by reference", VVariantRef(&inner), S_OK, VARIANT_TRUE},
      {"empty", VEmpty(), S_OK, VARIANT_FALSE},
      {"omitted gives the fallback", VMissing(), S_OK, 5},
      {"text", VBstr(nullptr), DISP_E_TYPEMISMATCH, 7},
      {"null", VNull(), DISP_E_TYPEMISMATCH, 7},
      {"null reference", VBoolRef(nullptr), DISP_E_TYPEMISMATCH, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Converted out = Convert(c.v, true);
    EXPECT_EQ(out.hr, c.hr);
    EXPECT_EQ(out.boolean, c.value);
  }
}

TEST(DispArgsConvert, TakesRecordsOfTheRightTypeOnly) {
  ExportSettingNubelo record{};
  FakeRecordInfo same(GUID_ExportSettingNubelo), other(GUID_ImportSettingNubelo);
  VARIANT inner = VRecord(&record, &same);
  struct Case {
    const char* name;
    VARIANT v;
    HRESULT hr;
  };
  const Case cases[] = {
      {"with its description", VRecord(&record, &same), S_OK},
      {"by reference", VRecord(&record, &same, true), S_OK},
      {"without description", VRecord(&record, nullptr), S_OK},
      {"inside a variant reference", VVariantRef(&inner), S_OK},
      {"another record type", VRecord(&record, &other), DISP_E_TYPEMISMATCH},
      {"no record", VRecord(nullptr, &same), DISP_E_TYPEMISMATCH},
      {"not a record", VBstr(nullptr), DISP_E_TYPEMISMATCH},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VARIANT v = c.v;
    DISPPARAMS params{&v, nullptr, 1, 0};
    DispArgs args;
    UINT argErr = 99;
    ASSERT_EQ(args.Bind(params, 1, 1, &argErr), S_OK);
    void* layout = nullptr;
    EXPECT_EQ(args.GetRecord(0, GUID_ExportSettingNubelo, layout), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(layout, &record);
    }
    if (c.hr != S_OK) {
      EXPECT_EQ(argErr, 0u);
    }
  }
  EXPECT_EQ(same.refs, 1u);  // looked at, not kept
}

// A small object with a table, to see what Invoke does around any handler.
struct Counter {
  int calls = 0;
};

const DispMember<Counter> kCounterTable[] = {
    {u"Bump",
     0x60030000,
     0,
     0,
     {},
     [](Counter& c, const DispArgs&, VARIANT* r) -> HRESULT {
       SetResultShort(r, static_cast<SHORT>(++c.calls));
       return S_OK;
     }},
    {u"Fail",
     0x60030001,
     0,
     0,
     {},
     [](Counter& c, const DispArgs&, VARIANT*) -> HRESULT {
       ++c.calls;
       throw FileFailure("cannot delete 'x': Operation not permitted");
     }},
    {u"Take",
     0x60030002,
     1,
     2,
     {u"first", u"second"},
     [](Counter& c, const DispArgs& a, VARIANT* r) -> HRESULT {
       std::u16string s;
       const HRESULT hr = GetText(a, 0, s);
       if (FAILED(hr)) return hr;
       ++c.calls;
       SetResultBoolean(r, VARIANT_TRUE);
       return S_OK;
     }},
};

TEST(InvokeIn, AnswersWithTheExactCodes) {
  Bstr text = MakeBstr(u"t");
  struct Case {
    const char* name;
    DISPID id;
    WORD flags;
    std::vector<VARIANT> args;
    bool nullRiid;
    HRESULT hr;
    int calls;  // handler calls made
    VARTYPE resultType;
  };
  const std::vector<Case> cases = {
      {"method", 0x60030000, DISPATCH_METHOD, {}, true, S_OK, 1, VT_I2},
      {"method or property get, as late-bound callers ask",
       0x60030000,
       DISPATCH_METHOD | DISPATCH_PROPERTYGET,
       {},
       true,
       S_OK,
       1,
       VT_I2},
      {"property get only", 0x60030000, DISPATCH_PROPERTYGET, {}, true, DISP_E_MEMBERNOTFOUND, 0, VT_EMPTY},
      {"property put", 0x60030000, DISPATCH_PROPERTYPUT, {}, true, DISP_E_MEMBERNOTFOUND, 0, VT_EMPTY},
      {"unknown id", 0x60030003, DISPATCH_METHOD, {}, true, DISP_E_MEMBERNOTFOUND, 0, VT_EMPTY},
      {"value id", DISPID_VALUE, DISPATCH_METHOD, {}, true, DISP_E_MEMBERNOTFOUND, 0, VT_EMPTY},
      {"interface id not null", 0x60030000, DISPATCH_METHOD, {}, false, DISP_E_UNKNOWNINTERFACE, 0, VT_EMPTY},
      {"too many", 0x60030000, DISPATCH_METHOD, {VI2(1)}, true, DISP_E_BADPARAMCOUNT, 0, VT_EMPTY},
      {"too few", 0x60030002, DISPATCH_METHOD, {}, true, DISP_E_BADPARAMCOUNT, 0, VT_EMPTY},
      {"wrong type", 0x60030002, DISPATCH_METHOD, {VI2(1)}, true, DISP_E_TYPEMISMATCH, 0, VT_EMPTY},
      {"right type", 0x60030002, DISPATCH_METHOD, {VBstr(text.get())}, true, S_OK, 1, VT_BOOL},
      {"handler fails", 0x60030001, DISPATCH_METHOD, {}, true, DISP_E_EXCEPTION, 1, VT_EMPTY},
  };
  const GUID someIid = IID_IDispatch;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Counter counter;
    std::vector<VARIANT> rg = LastFirst(c.args);
    DISPPARAMS params{rg.empty() ? nullptr : rg.data(), nullptr, static_cast<UINT>(rg.size()), 0};
    VARIANT result = VI4(1234);  // whatever the caller's memory held
    EXCEPINFO excep{};
    UINT argErr = 99;
    const HRESULT hr = InvokeIn(std::span<const DispMember<Counter>>(kCounterTable), counter, u"Test.Counter", c.id,
                                c.nullRiid ? IID_NULL : someIid, c.flags, &params, &result, &excep, &argErr);
    EXPECT_EQ(hr, c.hr);
    EXPECT_EQ(counter.calls, c.calls);
    if (SUCCEEDED(hr) || hr == DISP_E_EXCEPTION) {
      EXPECT_EQ(result.vt, c.resultType);
    }
    if (hr == DISP_E_EXCEPTION) {
      EXPECT_EQ(FromBstr(excep.bstrSource), u"Test.Counter");
      EXPECT_EQ(FromBstr(excep.bstrDescription), u"cannot delete 'x': Operation not permitted");
      EXPECT_EQ(excep.scode, kPathFileAccessError);
    } else {
      EXPECT_EQ(excep.bstrDescription, nullptr);
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
  }
}

TEST(InvokeIn, AFailureWithoutExceptionInfoStillAnswersException) {
  Counter counter;
  DISPPARAMS params{nullptr, nullptr, 0, 0};
  EXPECT_EQ(InvokeIn(std::span<const DispMember<Counter>>(kCounterTable), counter, u"Test.Counter", 0x60030001,
                     IID_NULL, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(InvokeIn(std::span<const DispMember<Counter>>(kCounterTable), counter, u"Test.Counter", 0x60030000,
                     IID_NULL, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            E_INVALIDARG);
}

TEST(GetIDsOfNamesIn, FoldsAsciiCaseAndNamesParameters) {
  const auto table = std::span<const DispMember<Counter>>(kCounterTable);
  struct Case {
    std::vector<std::u16string> names;
    HRESULT hr;
    std::vector<DISPID> ids;
  };
  const std::vector<Case> cases = {
      {{u"Bump"}, S_OK, {0x60030000}},
      {{u"bUMP"}, S_OK, {0x60030000}},
      {{u"TAKE", u"Second", u"FIRST"}, S_OK, {0x60030002, 1, 0}},
      {{u"Take", u"third"}, DISP_E_UNKNOWNNAME, {0x60030002, DISPID_UNKNOWN}},
      {{u"Bumps"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{u"Bum"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{u"Ｂump"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},  // full-width letters are not folded
      {{u"nope", u"first"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
  };
  for (const Case& c : cases) {
    std::vector<LPOLESTR> names;
    for (const auto& n : c.names) names.push_back(const_cast<LPOLESTR>(Ole(n.c_str())));
    std::vector<DISPID> ids(names.size(), 12345);
    EXPECT_EQ(GetIDsOfNamesIn(table, IID_NULL, names.data(), static_cast<UINT>(names.size()), ids.data()), c.hr);
    EXPECT_EQ(ids, c.ids);
  }
  LPOLESTR one[] = {const_cast<LPOLESTR>(Ole(u"Bump"))};
  DISPID id = 0;
  EXPECT_EQ(GetIDsOfNamesIn(table, IID_IDispatch, one, 1, &id), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(GetIDsOfNamesIn(table, IID_NULL, one, 0, &id), E_INVALIDARG);
  EXPECT_EQ(GetIDsOfNamesIn(table, IID_NULL, one, 1, nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace nbl::com
