// frmOption and frmOptionImport as modal dialogs of the platform, made afresh
// from their templates at every showing; the results stay in the public values.
#pragma once

#include "dialogs/windows.h"

namespace nbl::dialogs::win32 {

class Win32Option : public frmOption {
 public:
  // Loads (a store failure passes to the caller before any window is made),
  // then runs the dialog until OK, Cancel, the close box or the end of the
  // session closes it. Throws WindowFailure when the dialog cannot be shown.
  void Show() override;
};

class Win32OptionImport : public frmOptionImport {
 public:
  // Throws WindowFailure when the dialog cannot be shown.
  void Show() override;
};

}  // namespace nbl::dialogs::win32
