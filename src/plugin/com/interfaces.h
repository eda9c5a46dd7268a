// What a caller of the NBLHandleDLL server sees: identifiers, ProgIDs, the
// public records in their binary layout and the two dual interfaces, in the
// order NBLHandleDLL.idl declares them (a test holds the two together).
#pragma once

#include "plugin/com/com_platform.h"

namespace nbl::com {

inline constexpr GUID LIBID_NBLHandleDLL = {
    0x9382FE18, 0x558B, 0x4DAB, {0xAD, 0xDC, 0x20, 0x85, 0x03, 0x2F, 0x72, 0xB2}};
inline constexpr CLSID CLSID_clsNubeloHandle = {
    0x880C04B5, 0x036F, 0x4CF5, {0xB7, 0x53, 0x28, 0xD9, 0x21, 0x70, 0x5F, 0x70}};
inline constexpr IID IID__clsNubeloHandle = {
    0x35AD2332, 0x6A6E, 0x4715, {0xAD, 0x74, 0x96, 0x8E, 0x51, 0x75, 0xFE, 0x44}};
inline constexpr CLSID CLSID_Information = {
    0x312510AE, 0x3E65, 0x4727, {0xA7, 0x58, 0x84, 0xD0, 0x17, 0x56, 0x04, 0x26}};
inline constexpr IID IID__Information = {0xD1E033D9, 0x0464, 0x4CAA, {0x8A, 0xC8, 0x46, 0xD0, 0x09, 0x78, 0x03, 0x2E}};
inline constexpr GUID GUID_ExportSettingNubelo = {
    0x21888173, 0x3923, 0x4540, {0xA3, 0x21, 0x05, 0x27, 0x88, 0xEC, 0xD8, 0x1A}};
inline constexpr GUID GUID_ImportSettingNubelo = {
    0x78008A2F, 0x2E42, 0x4EF2, {0xB2, 0xFF, 0xE8, 0x27, 0x9B, 0x36, 0xC6, 0x27}};
inline constexpr GUID GUID_DayAndNumber = {
    0x9A35C720, 0x7173, 0x4964, {0x94, 0xD2, 0x3B, 0x44, 0x32, 0x8D, 0xFB, 0xD5}};

inline constexpr char16_t kProgIdNubeloHandle[] = u"NBLHandleDLL.clsNubeloHandle";
inline constexpr char16_t kProgIdInformation[] = u"NBLHandleDLL.Information";

// The public records as a caller lays them out: strings first, then the
// 16-bit numbers, natural alignment. The caller owns the strings.
struct ExportSettingNubelo {
  BSTR stGenre;
  BSTR stStartDay;
  BSTR stEndDay;
  SHORT intPublish;
  SHORT intScroll;
  SHORT intBR;
  SHORT intHyphen;
  SHORT intPublishDay;
};

struct ImportSettingNubelo {
  BSTR stTitleStTag;
  BSTR stTitleEdTag;
};

struct DayAndNumber {
  BSTR stDay;
  SHORT iNumber;
};

static_assert(offsetof(ExportSettingNubelo, intPublish) == 3 * sizeof(BSTR));
static_assert(offsetof(ExportSettingNubelo, intPublishDay) == 3 * sizeof(BSTR) + 8);
static_assert(sizeof(ExportSettingNubelo) == (sizeof(void*) == 8 ? 40 : 24));
static_assert(sizeof(ImportSettingNubelo) == 2 * sizeof(BSTR));
static_assert(sizeof(DayAndNumber) == 2 * sizeof(BSTR));

// Dispatch ids of _clsNubeloHandle, in slot order.
enum : DISPID {
  kDispInitialize = 0x60030000,
  kDispSetImport,
  kDispSetExport,
  kDispSetExportSetting,
  kDispSetExportSettingMySelf,
  kDispSetPath,
  kDispExecute,
  kDispSetImportSetting,
  kDispSetImportSettingMySelf,
};

// The handle's interface. Strings and records are read, never changed or
// freed; every result pointer must be valid. A failure inside a method comes
// back as its failing code, and what the method had stored before remains.
struct _clsNubeloHandle : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Initialize(BSTR* stDiaryMdbPath, VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetImport() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetExport() = 0;
  virtual HRESULT STDMETHODCALLTYPE setExportSetting(ExportSettingNubelo* eExpSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetExportSettingMySelf(VARIANT_BOOL* result) = 0;
  // A null OverWrite counts as omitted (False).
  virtual HRESULT STDMETHODCALLTYPE SetPath(BSTR* stFilePath, VARIANT_BOOL* OverWrite, VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Execute(VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE setImportSetting(ImportSettingNubelo* eImpSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetImportSettingMySelf(VARIANT_BOOL* result) = 0;
};

// Dispatch ids of _Information, in slot order.
enum : DISPID {
  kDispGetVersion = 0x60030000,
  kDispGetVersionMajor,
  kDispGetVersionMinor,
  kDispGetVersionRevision,
};

struct _Information : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE GetVersion(SHORT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVersionMajor(SHORT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVersionMinor(SHORT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVersionRevision(SHORT* result) = 0;
};

}  // namespace nbl::com
