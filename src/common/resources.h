// Files embedded into the library at build time (the settings template, the
// help archive), found by name without regard to letter case.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace zorvane {

struct TResource {
  const char* Name;
  std::string_view Data;
};

// The table of the library being built; each library target generates its own.
std::span<const TResource> EmbeddedResources();

// The bytes of the named resource, or nothing.
std::optional<std::string_view> FindResource(std::string_view name);

}  // namespace zorvane
