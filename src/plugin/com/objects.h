// The creatable classes of the server, as the module sees them: one create
// function per class, and each class's dispatch table for inspection.
#pragma once

#include <string_view>
#include <vector>

#include "plugin/com/com_platform.h"

namespace nbl::com {

// A new clsNubeloHandle / Information object asked for `riid`
// (IUnknown, IDispatch or its own interface).
HRESULT CreateNubeloHandle(REFIID riid, void** ppv);
HRESULT CreateInformation(REFIID riid, void** ppv);

// One row of a dispatch table: name, dispatch id and parameter names (the
// first `required` of them must be given).
struct DispatchRow {
  std::u16string_view name;
  DISPID id;
  unsigned required;
  std::vector<std::u16string_view> params;
};
std::vector<DispatchRow> NubeloHandleDispatchRows();
std::vector<DispatchRow> InformationDispatchRows();

}  // namespace nbl::com
