#include "platform/user_locale.h"

#include "common/never_destroyed.h"
#include "platform/locale_conventions.h"

namespace zorvane {

namespace {

// The separator between hours and minutes in a strftime time pattern.
std::string TimeSeparatorOf(const std::string& format) {
  const size_t hours = format.find_first_of("HIkl");
  if (hours == std::string::npos) return ":";
  for (size_t i = hours + 1; i < format.size(); ++i) {
    if (format[i] == '%') break;
    return std::string(1, format[i]);
  }
  return ":";
}

}  // namespace

TUserLocale ReadUserLocale(const char* name) {
  TUserLocale result;
  const std::optional<TLocaleConventions> conventions = ReadLocaleConventions(name);
  if (!conventions) return result;
  if (!conventions->DecimalSeparator.empty())
    result.DecimalSeparator = conventions->DecimalSeparator;
  if (!conventions->DateFormat.empty()) result.DateFormat = conventions->DateFormat;
  if (!conventions->TimeFormat.empty()) result.TimeFormat = conventions->TimeFormat;
  result.TimeSeparator = conventions->TimeSeparator.empty() ? TimeSeparatorOf(result.TimeFormat)
                                                            : conventions->TimeSeparator;
  return result;
}

TUserLocale& UserLocale() {
  static NeverDestroyed<TUserLocale> locale(ReadUserLocale(""));
  return locale.get();
}

}  // namespace zorvane
