#include "plugin/information.h"

#include <string>

#include "common/failure.h"
#include "plugin/version_info.h"

namespace nbl::plugin {

vb::Integer JoinVersion(int major, int minor, int revision) {
  const std::string joined = std::to_string(major) + std::to_string(minor) + std::to_string(revision);
  // Read digit by digit so that a text of any length fails instead of wrapping.
  long long value = 0;
  for (char c : joined) {
    if (c < '0' || c > '9') throw ConversionFailure("version part is not a decimal number: " + joined);
    value = value * 10 + (c - '0');
    if (value > 32767) throw OverflowFailure("overflow: version " + joined + " does not fit in 16 bits");
  }
  return vb::Integer::From(value);
}

vb::Integer Information::GetVersion() const { return JoinVersion(kVersionMajor, kVersionMinor, kVersionRevision); }
vb::Integer Information::GetVersionMajor() const { return vb::Integer::From(kVersionMajor); }
vb::Integer Information::GetVersionMinor() const { return vb::Integer::From(kVersionMinor); }
vb::Integer Information::GetVersionRevision() const { return vb::Integer::From(kVersionRevision); }

}  // namespace nbl::plugin
