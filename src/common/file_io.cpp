#include "common/file_io.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/error.h"

namespace zorvane {

namespace {

// Puts the text of the symbolic link at path into text; false when path is no link
// (or cannot be read: then whoever opens the name meets the same error).
bool ReadLink(const std::string& path, std::string& text) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    // A full buffer may have cut the text: read again with a larger one.
    if (static_cast<size_t>(n) < buffer.size()) {
      text.assign(buffer.data(), static_cast<size_t>(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The folder part of path with its trailing slash ("" for a bare name).
std::string FolderPrefix(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

FileDescriptor::~FileDescriptor() {
  // A failed close() is not repeated: the descriptor is gone either way.
  if (FFd >= 0) close(FFd);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (FFd >= 0) close(FFd);
    FFd = other.FFd;
    other.FFd = -1;
  }
  return *this;
}

void WriteAll(int fd, std::string_view data, const std::string& path) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowSystemError("Cannot write file \"" + path + "\"", n < 0 ? errno : EIO);
    done += static_cast<size_t>(n);
  }
}

std::string FinalTarget(const std::string& path) {
  std::string current = path;
  std::string text;
  for (int hops = 0; ReadLink(current, text); ++hops) {
    if (hops == kMaxLinkHops) ThrowSystemError("Cannot follow link \"" + path + "\"", ELOOP);
    // No lexical clean-up of "..": the system resolves it against the real folder.
    current = text.starts_with('/') ? text : FolderPrefix(current) + text;
  }
  return current;
}

}  // namespace zorvane
