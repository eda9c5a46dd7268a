// How a run ended, told to hosts that can say more than the windows do (the
// command line); the windows themselves show only the step text.
#pragma once

#include <string>

namespace nbl {

struct RunOutcome {
  bool completed = false;   // the run reached its end and enabled OK
  std::u16string stepText;  // after a failure: the message the run showed
  std::string cause;        // after a failure: one plain line of why (CauseOf), "" when unknown
};

}  // namespace nbl
