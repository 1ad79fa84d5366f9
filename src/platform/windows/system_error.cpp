#include "platform/system_error.h"

#include <string.h>

#include "platform/messages.h"

namespace zorvane {

std::string SystemErrorText(int errnum) {
  char buf[256];
  if (strerror_s(buf, sizeof buf, errnum) != 0) return msg::ErrorCodeOnly(errnum);
  return buf;
}

}  // namespace zorvane
