#include "common/error.h"

#include "platform/system_error.h"

namespace zorvane {

void ThrowSystemError(const std::string& what, int errnum) {
  throw Error(what + ". " + SystemErrorText(errnum));
}

}  // namespace zorvane
