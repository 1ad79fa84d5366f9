// The system's words for a failure the C library reports through errno.
#pragma once

#include <string>

namespace zorvane {

// The text of an errno value: "No such file or directory".
std::string SystemErrorText(int errnum);

// "<what>: <the system's text for errnum>" as an Error.
[[noreturn]] void ThrowSystemError(const std::string& what, int errnum);

}  // namespace zorvane
