#include "common/file_io.h"

#include <unistd.h>

#include <cerrno>

#include "common/error.h"

namespace zorvane {

void WriteAll(int fd, std::string_view data, const std::string& path) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowSystemError("Cannot write file \"" + path + "\"", n < 0 ? errno : EIO);
    done += static_cast<size_t>(n);
  }
}

}  // namespace zorvane
