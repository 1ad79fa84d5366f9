#include "platform/locale_conventions.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "platform/windows/windows_text.h"

namespace zorvane {

namespace {

// The Windows name of a locale that may be named the POSIX way:
// "ru_RU.UTF-8" is "ru-RU".
std::wstring WindowsLocaleName(std::string_view name) {
  std::string windows(name.substr(0, name.find_first_of(".@")));
  std::replace(windows.begin(), windows.end(), '_', '-');
  return Wide(windows);
}

// One item of the locale's information, or empty.
std::string LocaleText(const wchar_t* locale, LCTYPE item) {
  wchar_t buffer[128];  // the longest item read here is at most 80 characters
  const int length = GetLocaleInfoEx(locale, item, buffer, static_cast<int>(std::size(buffer)));
  if (length <= 1) return {};
  return Narrow(std::wstring_view(buffer, static_cast<size_t>(length - 1)));
}

}  // namespace

std::optional<TLocaleConventions> ReadLocaleConventions(const char* name) {
  std::wstring named;
  const wchar_t* locale = LOCALE_NAME_USER_DEFAULT;
  if (name && *name) {
    named = WindowsLocaleName(name);
    if (!IsValidLocaleName(named.c_str())) return std::nullopt;
    locale = named.c_str();
  }
  TLocaleConventions conventions;
  conventions.DecimalSeparator = LocaleText(locale, LOCALE_SDECIMAL);
  conventions.DateFormat = StrftimeFromPicture(LocaleText(locale, LOCALE_SSHORTDATE));
  conventions.TimeFormat = StrftimeFromPicture(LocaleText(locale, LOCALE_STIMEFORMAT));
  conventions.TimeSeparator = LocaleText(locale, LOCALE_STIME);
  return conventions;
}

}  // namespace zorvane
