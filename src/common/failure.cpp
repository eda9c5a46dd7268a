#include "common/failure.h"

#include <new>

namespace nbl {

std::string CauseOf(std::exception_ptr failure) noexcept {
  try {
    if (failure) std::rethrow_exception(failure);
    return {};
  } catch (const Failure& e) {
    try {
      return e.cause().empty() ? std::string(e.what()) : e.cause();
    } catch (...) {
      return {};
    }
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    try {
      return e.what();
    } catch (...) {
      return {};
    }
  } catch (...) {
    return {};
  }
}

}  // namespace nbl
