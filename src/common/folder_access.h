// Opening a folder the add-in created to every user of the machine, so that
// logs written by one user's session can be appended to by another's.
#pragma once

#include <string>

namespace zorvane {

// Sets the folder's mode to 0777 whatever the umask. Fails with the system's error.
void GrantEveryoneFullAccess(const std::string& path);

// Creates the folder and every missing parent, opening each one it creates to
// everyone; an existing folder is left as it is.
void CreateSharedFolders(const std::string& path);

}  // namespace zorvane
