// Typed values on the command line and in the host's output:
//   s:TEXT  a:TEXT  i:N  d:X  b:true|false  t:YYYY-MM-DD[THH:MM:SS]  date:X
//   blob:HEX  empty (also e, out); a bare word is text. In output, text keeps
//   to one line: backslash, line feed, carriage return and tab are escaped.
#pragma once

#include <string>

#include "tools/zorvane/host.h"
#include "v8napi/native_api.h"

namespace zorvane::host {

// Fills v (zeroed first) from its text; text blocks come from mm. Throws on bad text.
void ParseValue(const std::string& text, V8Variant& v, HostMemoryManager& mm);
std::string FormatValue(const V8Variant& v);
// Gives back the block a value holds (types 8, 22, 23) and zeroes it.
void ReleaseValue(V8Variant& v, HostMemoryManager& mm);

}  // namespace zorvane::host
