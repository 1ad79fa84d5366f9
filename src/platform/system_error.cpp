#include "platform/system_error.h"

#include "common/error.h"

namespace zorvane {

void ThrowSystemError(const std::string& what, int errnum) {
  throw Error(what + ": " + SystemErrorText(errnum));
}

}  // namespace zorvane
