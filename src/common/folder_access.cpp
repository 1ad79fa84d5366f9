#include "common/folder_access.h"

#include <sys/stat.h>

#include <cerrno>

#include "common/error.h"

namespace zorvane {

void GrantEveryoneFullAccess(const std::string& path) {
  if (chmod(path.c_str(), 0777) != 0)
    ThrowSystemError("Cannot open folder \"" + path + "\" to all users", errno);
}

void CreateSharedFolders(const std::string& path) {
  // Walk the path from the top, creating what is missing.
  for (size_t pos = 1; pos != std::string::npos;) {
    pos = path.find('/', pos);
    const std::string part = pos == std::string::npos ? path : path.substr(0, pos);
    if (pos != std::string::npos) ++pos;
    if (part.empty() || part.back() == '/') continue;
    if (mkdir(part.c_str(), 0777) == 0) {
      GrantEveryoneFullAccess(part);
    } else if (errno != EEXIST) {
      ThrowSystemError("Cannot create folder \"" + part + "\"", errno);
    } else {
      struct stat st {};
      if (stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        ThrowSystemError("Cannot create folder \"" + part + "\"", ENOTDIR);
      }
    }
  }
}

}  // namespace zorvane
