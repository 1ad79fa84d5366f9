// Files as the add-in writes them: writing a descriptor to the end, and finding
// the file a name finally stands for.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

// An open descriptor, closed when the owner goes (-1: none).
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) noexcept : FFd(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor&& other) noexcept : FFd(other.FFd) { other.FFd = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const noexcept { return FFd; }

 private:
  int FFd;
};

// Writes all of data to fd; an error names the file.
void WriteAll(int fd, std::string_view data, const std::string& path);

// The most symbolic links followed from one name, as the kernel allows.
constexpr int kMaxLinkHops = 40;

// The name of the file that path finally stands for: each symbolic link on the way
// is followed (a relative one from the link's own folder) until a name that is not
// a link, which need not exist (a dangling link gives its target's name). Folders
// on the way are left as written. A path that is no link comes back unchanged.
// Throws an Error after kMaxLinkHops links (a loop).
std::string FinalTarget(const std::string& path);

}  // namespace zorvane
