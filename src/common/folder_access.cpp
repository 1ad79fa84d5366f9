#include "common/folder_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/error.h"

namespace zorvane {

namespace {

[[noreturn]] void ThrowFolderError(const std::string& path, int errnum) {
  ThrowSystemError("Cannot create folder \"" + path + "\"", errnum);
}

// The folder name within the folder at (shown as path), created when missing.
// A folder of our own (strict) is never reached through a symbolic link.
FileDescriptor OpenStep(int at, const std::string& name, const std::string& path, bool strict) {
  // Private until the mode below is set on the very folder made here.
  const bool created = mkdirat(at, name.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) ThrowFolderError(path, errno);
  const int nofollow = strict || created ? O_NOFOLLOW : 0;
  // O_PATH needs no read right on an existing folder, only the right to pass through it.
  FileDescriptor folder(
      openat(at, name.c_str(), (created ? O_RDONLY : O_PATH) | O_DIRECTORY | nofollow | O_CLOEXEC));
  if (folder.Get() < 0) ThrowFolderError(path, errno);
  struct stat st {};
  if (fstat(folder.Get(), &st) != 0) ThrowFolderError(path, errno);
  if (!S_ISDIR(st.st_mode)) ThrowFolderError(path, ENOTDIR);
  if (created) {
    if (fchmod(folder.Get(), kSharedFolderMode) != 0)
      ThrowSystemError("Cannot open folder \"" + path + "\" to all users", errno);
  } else if (strict && st.st_uid == geteuid() && (st.st_mode & S_IWOTH) != 0 &&
             (st.st_mode & S_ISVTX) == 0) {
    // Shared without the sticky bit by an older version: anyone could replace a file in it.
    FileDescriptor own(openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (own.Get() >= 0 && fstat(own.Get(), &st) == 0 && st.st_uid == geteuid())
      fchmod(own.Get(), (st.st_mode & 07777) | S_ISVTX);  // best effort: the log works without
  }
  return folder;
}

}  // namespace

FileDescriptor OpenSharedFolder(const std::string& root, const std::string& shared) {
  const bool absolute = root.starts_with('/');
  std::string path(absolute ? 1 : 0, '/');
  FileDescriptor current;
  if (absolute) {
    current = FileDescriptor(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (current.Get() < 0) ThrowFolderError("/", errno);
  }
  const auto walk = [&](const std::string& text, bool strict) {
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('/', pos);
      if (end == std::string::npos) end = text.size();
      const std::string name = text.substr(pos, end - pos);
      pos = end + 1;
      if (name.empty()) continue;
      if (!path.empty() && !path.ends_with('/')) path += '/';
      path += name;
      current = OpenStep(current.Get() >= 0 ? current.Get() : AT_FDCWD, name, path, strict);
    }
  };
  walk(root, false);
  walk(shared, true);
  if (current.Get() < 0) {
    current = FileDescriptor(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (current.Get() < 0) ThrowFolderError(".", errno);
  }
  return current;
}

}  // namespace zorvane
