// The call trace: a DEBUG line before and after every method call the
// platform makes, and an ERROR line for an error that escapes a call.
#pragma once

#include <string>

#include "v8napi/native_api.h"

namespace zorvane {

// "[item; item; ...]"; a BLOB shows as BLOB, the value after a "Password" or
// "Пароль" setting name as "********".
std::string V8ParamsToStr(const V8Variant* Params, long ParamCount);

// Throws "Unsupported data type" for a parameter the trace cannot show (see
// V8HasText; a BLOB is shown as BLOB), and the date error for a date that
// does not exist, as making the line would.
void RequireTraceableParams(const V8Variant* Params, long ParamCount);
// Checks the parameters as above, with the log on or off, then writes the
// line; only the check can fail.
void TraceCallIn(const std::string& MethName, const V8Variant* Params, long ParamCount);
// RetValue is null for a call without a return value. A line that cannot be
// made or written is lost, never the call's answer.
void TraceCallOut(const std::string& MethName, const V8Variant* Params, long ParamCount,
                  const V8Variant* RetValue) noexcept;
void TraceError(const std::string& message) noexcept;

}  // namespace zorvane
