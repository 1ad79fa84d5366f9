// The number and time conventions of a locale as the system keeps them, read
// without touching the process locale (the add-in lives in someone else's
// process). platform/user_locale fills in what the system leaves out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorvane {

// An empty field: the system gives none.
struct TLocaleConventions {
  std::string DecimalSeparator;
  std::string DateFormat;     // the short date as a pattern of this system's strftime
  std::string TimeFormat;     // the time as a pattern of this system's strftime
  std::string TimeSeparator;  // only where the system keeps it apart from TimeFormat
};

// The conventions of the named locale: "" the user's, else a name such as
// "ru_RU.UTF-8" or "ru-RU"; nullopt when the system has no such locale.
std::optional<TLocaleConventions> ReadLocaleConventions(const char* name);

// A Windows date or time picture ("dd.MM.yyyy", "h:mm:ss tt") as a pattern of
// the Windows C runtime's strftime ("%d.%m.%Y", "%#I:%M:%S %p": "#" drops a
// leading zero). Pure code, shared so that it is tested everywhere.
std::string StrftimeFromPicture(std::string_view picture);

}  // namespace zorvane
