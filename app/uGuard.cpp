#include "app/uGuard.h"

#include <exception>

namespace duomat {

std::string EscapedExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

}  // namespace duomat
