// Writing to a file descriptor until everything is written.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

// Writes all of data to fd; an error names the file.
void WriteAll(int fd, std::string_view data, const std::string& path);

}  // namespace zorvane
