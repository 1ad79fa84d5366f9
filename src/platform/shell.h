// Asking the desktop to show something: the system's file manager on a folder.
#pragma once

#include <string>

namespace zorvane {

// Opens folder in the user's file manager (xdg-open, else gio open), started
// detached and never waited for. Throws Error when neither program exists.
void OpenFolderInExplorer(const std::string& folder);

}  // namespace zorvane
