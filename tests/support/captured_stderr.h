// What the code under test writes to standard error, caught at the descriptor
// so that output of a loaded library or another thread is caught too.
#pragma once

#include <cstdio>
#include <string>

namespace nbl::testing {

class CapturedStderr {
 public:
  // From now until Take (or the end of scope), standard error goes to a file.
  CapturedStderr();
  ~CapturedStderr();
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;

  // Puts standard error back and returns what was written meanwhile.
  std::string Take();

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

}  // namespace nbl::testing
