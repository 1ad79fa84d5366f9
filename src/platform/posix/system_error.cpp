#include "platform/system_error.h"

#include <cstring>

namespace zorvane {

std::string SystemErrorText(int errnum) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  return strerror_r(errnum, buf, sizeof buf);
}

}  // namespace zorvane
