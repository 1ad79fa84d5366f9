// Text as a window shows it in one line or a label: valid UTF-8 (a camera's
// or a file's bytes may not be), control characters other than tab and line
// break shown as U+FFFD (toolkits refuse or mangle them).
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

std::string ShownText(std::string_view text);

}  // namespace zorvane
