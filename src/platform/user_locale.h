// The user's number and date conventions, read once when the library loads
// from the user's locale (LC_ALL / LC_* / LANG on Linux, the regional settings
// on Windows) without touching the process locale: the add-in lives in
// someone else's process.
#pragma once

#include <string>

namespace zorvane {

struct TUserLocale {
  std::string DecimalSeparator = ".";
  std::string DateFormat = "%d.%m.%Y";  // strftime pattern
  std::string TimeFormat = "%H:%M:%S";  // strftime pattern
  std::string TimeSeparator = ":";
};

// The process-wide conventions; read from the environment on first use.
TUserLocale& UserLocale();

// Reads the conventions of the named locale ("" = the user's); C conventions
// when it cannot be opened.
TUserLocale ReadUserLocale(const char* name);

}  // namespace zorvane
