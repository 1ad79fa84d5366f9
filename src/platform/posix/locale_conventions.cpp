#include "platform/locale_conventions.h"

#include <langinfo.h>
#include <locale.h>

namespace zorvane {

std::optional<TLocaleConventions> ReadLocaleConventions(const char* name) {
  locale_t loc = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
  if (!loc) return std::nullopt;
  auto text = [loc](nl_item item) {
    const char* value = nl_langinfo_l(item, loc);
    return std::string(value ? value : "");
  };
  TLocaleConventions conventions;
  conventions.DecimalSeparator = text(RADIXCHAR);
  conventions.DateFormat = text(D_FMT);
  conventions.TimeFormat = text(T_FMT);
  freelocale(loc);
  return conventions;
}

}  // namespace zorvane
