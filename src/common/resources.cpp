#include "common/resources.h"

#include "common/text.h"

namespace zorvane {

std::optional<std::string_view> FindResource(std::string_view name) {
  for (const TResource& r : EmbeddedResources()) {
    if (SameAsciiText(r.Name, name)) return r.Data;
  }
  return std::nullopt;
}

}  // namespace zorvane
