// Runs the command-line host on an add-in library with the log kept in a
// folder of the test's own, and reads the trace lines back.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace zorvane::testing {

class HostRunner {
 public:
  explicit HostRunner(std::string lib) : FLib(std::move(lib)) {}

  // The host with these arguments (after --lib).
  RunResult Host(std::vector<std::string> args, const std::string& lib = "") const;
  // A script of host commands on one object of the class.
  RunResult Script(const std::string& lines, const std::string& className,
                   const std::string& lib = "") const;
  // The trace lines of every log file of the log folder named logName, without time stamps.
  std::vector<std::string> LogLines(const std::string& logName) const;
  const std::string& DataDir() const { return FDir.path(); }

  // "NAME=value" entries for the host's environment besides ZORVANE_DATA_DIR.
  std::vector<std::string> Environment;

 private:
  std::string FLib;
  TempDir FDir;
};

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace zorvane::testing
