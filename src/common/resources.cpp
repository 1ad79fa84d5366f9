#include "common/resources.h"

#include <cctype>

namespace zorvane {

namespace {
bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}
}  // namespace

std::optional<std::string_view> FindResource(std::string_view name) {
  for (const TResource& r : EmbeddedResources()) {
    if (SameAsciiText(r.Name, name)) return r.Data;
  }
  return std::nullopt;
}

}  // namespace zorvane
