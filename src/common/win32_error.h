// Windows only: what a system error code (GetLastError) tells a user, in the
// words the POSIX build uses for the errno of the same failure.
#pragma once

#include <string>

namespace nbl::files {

// The system's own text for `error`, UTF-8, without its line end.
std::string SystemErrorText(unsigned long error);

// The C library's words for the errno of the same failure, as the POSIX build
// says them ("No such file or directory"); the system's text where there is none.
std::string ReasonOf(unsigned long error);

// The errno value of the same failure (EACCES, ENOSPC, ENOENT, ...), EIO for any other.
int ErrnoOf(unsigned long error);

// CauseOfErrno(ErrnoOf(error), path).
std::string CauseOfSystemError(unsigned long error, const std::string& path);

}  // namespace nbl::files
