#include "v8napi/user_locale.h"

#include <langinfo.h>
#include <locale.h>

#include "common/never_destroyed.h"

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
  locale_t loc = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
  if (!loc) return result;
  if (const char* radix = nl_langinfo_l(RADIXCHAR, loc); radix && *radix) {
    result.DecimalSeparator = radix;
  }
  if (const char* date = nl_langinfo_l(D_FMT, loc); date && *date) result.DateFormat = date;
  if (const char* time = nl_langinfo_l(T_FMT, loc); time && *time) result.TimeFormat = time;
  result.TimeSeparator = TimeSeparatorOf(result.TimeFormat);
  freelocale(loc);
  return result;
}

TUserLocale& UserLocale() {
  static NeverDestroyed<TUserLocale> locale(ReadUserLocale(""));
  return locale.get();
}

}  // namespace zorvane
