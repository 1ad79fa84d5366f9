// Folders the add-in shares with every user of the machine, so that logs
// written by one user's session can be appended to by another's. Folders are
// walked and created through descriptors, so a name swapped on the way cannot
// lead the add-in into a place it did not mean.
#pragma once

#include <sys/types.h>

#include <string>

#include "common/file_io.h"

namespace zorvane {

// Mode of a folder the add-in creates: everyone may create files in it, only a
// file's owner may remove or rename it (the sticky bit).
inline constexpr mode_t kSharedFolderMode = 01777;

// Opens the folder root + shared, creating every missing folder on the way
// (within root too) with kSharedFolderMode whatever the umask. The folders of
// root are followed as the system resolves them; the folders of shared (a
// relative path) must not be symbolic links, and one of them that the process
// owns and that everyone may write without the sticky bit (as older versions
// left it) gets the sticky bit. Other existing folders are left as they are.
// Fails with the system's error, naming the folder.
FileDescriptor OpenSharedFolder(const std::string& root, const std::string& shared);

}  // namespace zorvane
