// The one failure hierarchy of the system: every error inside it is one of these.
#pragma once

#include <stdexcept>
#include <string>

namespace nbl {

// Base of every failure the system raises. what() is a UTF-8 description
// meant for developers and the COM error description, never for the step texts.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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

}  // namespace nbl
