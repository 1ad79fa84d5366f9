// Helpers for tests that drive the command-line host and read log files.
#pragma once

#include <string>
#include <vector>

namespace zorvane::testing {

struct RunResult {
  int exitCode = -1;
  std::string output;     // stdout and stderr together
  bool timedOut = false;  // killed at the time limit
};

// Runs the program with the arguments (no shell), with extra environment
// entries "NAME=value" added (replacing inherited ones of that name), and collects its output. With a time limit
// (seconds, 0 = none) a program still running then is killed.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env = {}, double timeLimit = 0);

// A fresh empty folder under $TMPDIR, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return FPath; }

 private:
  std::string FPath;
};

// Sets an environment variable of this process for the scope, where both
// the C library and the system look it up, and puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string FName;
  std::string FOld;
  bool FHad = false;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
std::vector<std::string> ListDir(const std::string& path);

}  // namespace zorvane::testing
