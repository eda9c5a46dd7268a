// The creatable classes of the server, as the module sees them: one create
// function per class.
#pragma once

#include "plugin/com/com_platform.h"

namespace nbl::com {

// A new clsNubeloHandle / Information object asked for `riid`
// (IUnknown, IDispatch or its own interface).
HRESULT CreateNubeloHandle(REFIID riid, void** ppv);
HRESULT CreateInformation(REFIID riid, void** ppv);

}  // namespace nbl::com
