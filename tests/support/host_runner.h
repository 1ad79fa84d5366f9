// Runs the command-line host on an add-in library with the log kept in a
// folder of the test's own (the shared data folder and the user's own data
// folder "user" in it), and reads the trace lines back.
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
  // The trace lines of every log file of the log folder named logName, without
  // time stamps: of the shared folder, or of the user's own (own).
  std::vector<std::string> LogLines(const std::string& logName, bool own = false) const;
  const std::string& DataDir() const { return FDir.path(); }
  std::string OwnDataDir() const { return FDir.path() + "/user"; }

  // "NAME=value" entries for the host's environment; ZORVANE_DATA_DIR and
  // ZORVANE_USER_DATA_DIR name the folders above unless given here.
  std::vector<std::string> Environment;

 private:
  std::string FLib;
  TempDir FDir;
};

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace zorvane::testing
