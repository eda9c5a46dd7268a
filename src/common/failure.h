// The one failure hierarchy of the system: every error inside it is one of these.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace nbl {

// Base of every failure the system raises. what() is a UTF-8 description
// meant for developers and the COM error description, never for the step texts.
// cause() is one plain line for a user of a text host, saying why in words that
// point to what to do ("the store is locked by another program"); empty when
// the thrower knows nothing more useful than what().
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& what, std::string cause = {})
      : std::runtime_error(what), cause_(std::move(cause)) {}
  const std::string& cause() const noexcept { return cause_; }

 private:
  std::string cause_;
};

// A 16-bit or 32-bit value left its range.
class OverflowFailure : public Failure {
 public:
  using Failure::Failure;
};

// A Null database value was used as text or number.
class NullValueFailure : public Failure {
 public:
  using Failure::Failure;
};

// A file could not be found, opened, read, written, renamed or deleted.
class FileFailure : public Failure {
 public:
  using Failure::Failure;
};

// The diary store refused to open, prepare, read or write.
class StoreFailure : public Failure {
 public:
  using Failure::Failure;
};

// Bytes could not be turned into text or back (read past the end, byte out of range, empty result).
class ConversionFailure : public Failure {
 public:
  using Failure::Failure;
};

// A window or dialog could not do what was asked of it.
class WindowFailure : public Failure {
 public:
  using Failure::Failure;
};

// The line a text host prints after a failed run: the failure's cause(), else
// its what(); "out of memory" for an exhausted allocation. Never throws.
std::string CauseOf(std::exception_ptr failure) noexcept;

}  // namespace nbl
