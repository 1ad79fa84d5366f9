#include "common/error.h"

#include <cstring>

namespace zorvane {

void ThrowSystemError(const std::string& what, int errnum) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(errnum, buf, sizeof buf);
  throw Error(what + ". " + text);
}

}  // namespace zorvane
