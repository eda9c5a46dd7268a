// Information: tells a host which version of the plug-in it has loaded.
#pragma once

#include "common/vb_types.h"

namespace nbl::plugin {

// The major, minor and revision numbers written as decimal text, joined in
// that order and read back as one Integer (1, 12, 3 give 1123). Throws
// OverflowFailure when the joined number exceeds 32767.
vb::Integer JoinVersion(int major, int minor, int revision);

class Information {
 public:
  // JoinVersion of this plug-in's version: 104.
  vb::Integer GetVersion() const;
  vb::Integer GetVersionMajor() const;
  vb::Integer GetVersionMinor() const;
  vb::Integer GetVersionRevision() const;
};

}  // namespace nbl::plugin
