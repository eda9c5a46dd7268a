// The clsNubeloHandle class of the server: the handle behind its dual interface.
#include <span>

#include "plugin/com/dispatch.h"
#include "plugin/com/dispatch_object.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/objects.h"
#include "plugin/com/plugin_ui.h"
#include "plugin/com/unknown.h"
#include "plugin/nubelo_handle.h"

namespace nbl::com {

namespace {

using plugin::clsNubeloHandle;

nbl::ExportSettingNubelo FromRecord(const ExportSettingNubelo& r) {
  return {FromBstr(r.stGenre), FromBstr(r.stStartDay), FromBstr(r.stEndDay), r.intPublish, r.intScroll, r.intBR,
          r.intHyphen,         r.intPublishDay};
}

nbl::ImportSettingNubelo FromRecord(const ImportSettingNubelo& r) {
  return {FromBstr(r.stTitleStTag), FromBstr(r.stTitleEdTag)};
}

#define NBL_RETURN_IF_FAILED(expr) \
  do {                             \
    const HRESULT hr_ = (expr);    \
    if (FAILED(hr_)) return hr_;   \
  } while (false)

// Late-bound calls convert their arguments and go through the vtable methods
// below, so that pointer checks, defaults and Guard live there only.
const DispMember<_clsNubeloHandle> kTable[] = {
    {u"Initialize",
     kDispInitialize,
     1,
     1,
     {u"stDiaryMdbPath"},
     [](_clsNubeloHandle& h, const DispArgs& a, VARIANT* r) -> HRESULT {
       BSTR path = nullptr;
       NBL_RETURN_IF_FAILED(a.GetBstr(0, path));
       VARIANT_BOOL result = VARIANT_FALSE;
       ThrowIfFailed(h.Initialize(&path, &result));
       SetResultBoolean(r, result);
       return S_OK;
     }},
    {u"SetImport",
     kDispSetImport,
     0,
     0,
     {},
     [](_clsNubeloHandle& h, const DispArgs&, VARIANT*) -> HRESULT {
       ThrowIfFailed(h.SetImport());
       return S_OK;
     }},
    {u"SetExport",
     kDispSetExport,
     0,
     0,
     {},
     [](_clsNubeloHandle& h, const DispArgs&, VARIANT*) -> HRESULT {
       ThrowIfFailed(h.SetExport());
       return S_OK;
     }},
    {u"setExportSetting",
     kDispSetExportSetting,
     1,
     1,
     {u"eExpSet"},
     [](_clsNubeloHandle& h, const DispArgs& a, VARIANT*) -> HRESULT {
       void* layout = nullptr;
       NBL_RETURN_IF_FAILED(a.GetRecord(0, GUID_ExportSettingNubelo, layout));
       ThrowIfFailed(h.setExportSetting(static_cast<ExportSettingNubelo*>(layout)));
       return S_OK;
     }},
    {u"SetExportSettingMySelf",
     kDispSetExportSettingMySelf,
     0,
     0,
     {},
     [](_clsNubeloHandle& h, const DispArgs&, VARIANT* r) -> HRESULT {
       VARIANT_BOOL result = VARIANT_FALSE;
       ThrowIfFailed(h.SetExportSettingMySelf(&result));
       SetResultBoolean(r, result);
       return S_OK;
     }},
    {u"SetPath",
     kDispSetPath,
     1,
     2,
     {u"stFilePath", u"OverWrite"},
     [](_clsNubeloHandle& h, const DispArgs& a, VARIANT* r) -> HRESULT {
       BSTR path = nullptr;
       VARIANT_BOOL overWrite = VARIANT_FALSE;
       NBL_RETURN_IF_FAILED(a.GetBstr(0, path));
       NBL_RETURN_IF_FAILED(a.GetBoolean(1, VARIANT_FALSE, overWrite));
       VARIANT_BOOL result = VARIANT_FALSE;
       // Left out, the argument stays left out: the method knows its default.
       ThrowIfFailed(h.SetPath(&path, a.Missing(1) ? nullptr : &overWrite, &result));
       SetResultBoolean(r, result);
       return S_OK;
     }},
    {u"Execute",
     kDispExecute,
     0,
     0,
     {},
     [](_clsNubeloHandle& h, const DispArgs&, VARIANT* r) -> HRESULT {
       VARIANT_BOOL result = VARIANT_FALSE;
       ThrowIfFailed(h.Execute(&result));
       SetResultBoolean(r, result);
       return S_OK;
     }},
    {u"setImportSetting",
     kDispSetImportSetting,
     1,
     1,
     {u"eImpSet"},
     [](_clsNubeloHandle& h, const DispArgs& a, VARIANT*) -> HRESULT {
       void* layout = nullptr;
       NBL_RETURN_IF_FAILED(a.GetRecord(0, GUID_ImportSettingNubelo, layout));
       ThrowIfFailed(h.setImportSetting(static_cast<ImportSettingNubelo*>(layout)));
       return S_OK;
     }},
    {u"SetImportSettingMySelf",
     kDispSetImportSettingMySelf,
     0,
     0,
     {},
     [](_clsNubeloHandle& h, const DispArgs&, VARIANT* r) -> HRESULT {
       VARIANT_BOOL result = VARIANT_FALSE;
       ThrowIfFailed(h.SetImportSettingMySelf(&result));
       SetResultBoolean(r, result);
       return S_OK;
     }},
};

class NubeloHandleObject final : public DispatchObject<_clsNubeloHandle> {
 public:
  NubeloHandleObject()
      : DispatchObject({&IID_IUnknown, &IID_IDispatch, &IID__clsNubeloHandle}, kTable, kProgIdNubeloHandle),
        windows_(HostWindows()),
        handle_(*windows_) {}

  HRESULT STDMETHODCALLTYPE Initialize(BSTR* stDiaryMdbPath, VARIANT_BOOL* result) override {
    if (stDiaryMdbPath == nullptr || result == nullptr) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guard([&] { *result = handle_.Initialize(FromBstr(*stDiaryMdbPath)); });
  }
  HRESULT STDMETHODCALLTYPE SetImport() override {
    handle_.SetImport();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetExport() override {
    handle_.SetExport();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE setExportSetting(ExportSettingNubelo* eExpSet) override {
    if (eExpSet == nullptr) return E_POINTER;
    return Guard([&] { handle_.setExportSetting(FromRecord(*eExpSet)); });
  }
  HRESULT STDMETHODCALLTYPE SetExportSettingMySelf(VARIANT_BOOL* result) override {
    if (result == nullptr) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guard([&] { *result = handle_.SetExportSettingMySelf(); });
  }
  HRESULT STDMETHODCALLTYPE SetPath(BSTR* stFilePath, VARIANT_BOOL* OverWrite, VARIANT_BOOL* result) override {
    if (stFilePath == nullptr || result == nullptr) return E_POINTER;
    *result = VARIANT_FALSE;
    const VARIANT_BOOL overWrite = OverWrite != nullptr ? *OverWrite : VARIANT_FALSE;
    return Guard([&] { *result = handle_.SetPath(FromBstr(*stFilePath), overWrite); });
  }
  HRESULT STDMETHODCALLTYPE Execute(VARIANT_BOOL* result) override {
    if (result == nullptr) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guard([&] { *result = handle_.Execute(); });
  }
  HRESULT STDMETHODCALLTYPE setImportSetting(ImportSettingNubelo* eImpSet) override {
    if (eImpSet == nullptr) return E_POINTER;
    return Guard([&] { handle_.setImportSetting(FromRecord(*eImpSet)); });
  }
  HRESULT STDMETHODCALLTYPE SetImportSettingMySelf(VARIANT_BOOL* result) override {
    if (result == nullptr) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guard([&] { *result = handle_.SetImportSettingMySelf(); });
  }

 private:
  std::shared_ptr<dialogs::Ui> windows_;  // the creating thread's windows, kept for the handle
  clsNubeloHandle handle_;
};

}  // namespace

HRESULT CreateNubeloHandle(REFIID riid, void** ppv) { return CreateObject<NubeloHandleObject>(riid, ppv); }

}  // namespace nbl::com
