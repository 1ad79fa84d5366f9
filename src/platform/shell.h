// Asking the desktop to show something: a folder in the file manager, a page
// or a link in the user's browser.
#pragma once

#include <string>

namespace zorvane {

// Opens target (a folder, a file or a URL) with the user's program for it
// (xdg-open, else gio open), started detached and never waited for. Throws
// Error when neither program exists.
void OpenWithDesktop(const std::string& target);

}  // namespace zorvane
