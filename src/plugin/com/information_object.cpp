// The Information class of the server: the plug-in's version behind its dual interface.
#include <span>

#include "plugin/com/dispatch.h"
#include "plugin/com/dispatch_object.h"
#include "plugin/com/interfaces.h"
#include "plugin/com/objects.h"
#include "plugin/com/unknown.h"
#include "plugin/information.h"

namespace nbl::com {

namespace {

using plugin::Information;

// A late-bound call of one of the four methods, through its vtable slot.
template <HRESULT (STDMETHODCALLTYPE _Information::*Part)(SHORT*)>
HRESULT CallPart(_Information& self, const DispArgs&, VARIANT* r) {
  SHORT value = 0;
  ThrowIfFailed((self.*Part)(&value));
  SetResultShort(r, value);
  return S_OK;
}

const DispMember<_Information> kTable[] = {
    {u"GetVersion", kDispGetVersion, 0, 0, {}, CallPart<&_Information::GetVersion>},
    {u"GetVersionMajor", kDispGetVersionMajor, 0, 0, {}, CallPart<&_Information::GetVersionMajor>},
    {u"GetVersionMinor", kDispGetVersionMinor, 0, 0, {}, CallPart<&_Information::GetVersionMinor>},
    {u"GetVersionRevision", kDispGetVersionRevision, 0, 0, {}, CallPart<&_Information::GetVersionRevision>},
};

class InformationObject final : public DispatchObject<_Information> {
 public:
  InformationObject()
      : DispatchObject({&IID_IUnknown, &IID_IDispatch, &IID__Information}, kTable, kProgIdInformation) {}

  HRESULT STDMETHODCALLTYPE GetVersion(SHORT* result) override { return Get(result, &Information::GetVersion); }
  HRESULT STDMETHODCALLTYPE GetVersionMajor(SHORT* result) override {
    return Get(result, &Information::GetVersionMajor);
  }
  HRESULT STDMETHODCALLTYPE GetVersionMinor(SHORT* result) override {
    return Get(result, &Information::GetVersionMinor);
  }
  HRESULT STDMETHODCALLTYPE GetVersionRevision(SHORT* result) override {
    return Get(result, &Information::GetVersionRevision);
  }

 private:
  HRESULT Get(SHORT* result, vb::Integer (Information::*part)() const) {
    if (result == nullptr) return E_POINTER;
    *result = 0;
    return Guard([&] { *result = (info_.*part)(); });
  }

  const Information info_{};
};

}  // namespace

HRESULT CreateInformation(REFIID riid, void** ppv) { return CreateObject<InformationObject>(riid, ppv); }

}  // namespace nbl::com
