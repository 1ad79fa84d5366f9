#include "xml/xml_stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/error.h"
#include "common/file_io.h"

namespace zorvane {

size_t TBytesStream::Read(char* buffer, size_t count) {
  const size_t n = std::min(count, FBytes.size() - FPos);
  if (n) std::memcpy(buffer, FBytes.data() + FPos, n);
  FPos += n;
  return n;
}

void TBytesStream::Write(const char*, size_t) {
  throw Error("Stream write error");
}

size_t TMemoryStream::Read(char* buffer, size_t count) {
  const size_t n = std::min(count, FBytes.size() - FReadPos);
  if (n) std::memcpy(buffer, FBytes.data() + FReadPos, n);
  FReadPos += n;
  return n;
}

TFileStream::TFileStream(const std::string& path, TMode mode) : FPath(path) {
  FFd = mode == TMode::Read ? open(path.c_str(), O_RDONLY | O_CLOEXEC)
                            : open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (FFd < 0) {
    ThrowSystemError(
        std::string(mode == TMode::Read ? "Cannot open file \"" : "Cannot create file \"") + path +
            "\"",
        errno);
  }
  // Readers share the file; a writer has it alone among those who ask.
  flock(FFd, mode == TMode::Read ? LOCK_SH : LOCK_EX);
}

TFileStream::~TFileStream() {
  if (FFd >= 0) close(FFd);
}

size_t TFileStream::Read(char* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = read(FFd, buffer + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowSystemError("Cannot read file \"" + FPath + "\"", errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  FPos += done;
  return done;
}

void TFileStream::Write(const char* data, size_t count) {
  zorvane::WriteAll(FFd, std::string_view(data, count), FPath);
  FPos += count;
}

}  // namespace zorvane
