// The one error type the add-in raises for its own failures. Every entry point
// from the platform catches it (and everything else) and reports the message.
#pragma once

#include <stdexcept>
#include <string>

namespace zorvane {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace zorvane
