#include "tests/support/host_runner.h"

#include <algorithm>

namespace zorvane::testing {

RunResult HostRunner::Host(std::vector<std::string> args, const std::string& lib) const {
  args.insert(args.begin(), {"--lib", lib.empty() ? FLib : lib});
  std::vector<std::string> env = Environment;
  const auto byDefault = [&env](const std::string& name, const std::string& value) {
    if (std::none_of(env.begin(), env.end(),
                     [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; }))
      env.push_back(name + "=" + value);
  };
  byDefault("ZORVANE_DATA_DIR", FDir.path());
  byDefault("ZORVANE_USER_DATA_DIR", OwnDataDir());
  return RunProgram(ZORVANE_HOST_PATH, args, env);
}

RunResult HostRunner::Script(const std::string& lines, const std::string& className,
                             const std::string& lib) const {
  const std::string path = FDir.path() + "/script.txt";
  WriteFile(path, lines);
  return Host({"--class", className, "script", path}, lib);
}

std::vector<std::string> HostRunner::LogLines(const std::string& logName, bool own) const {
  std::vector<std::string> lines;
  const std::string folder = (own ? OwnDataDir() : FDir.path()) + "/Telvask/" + logName + "/";
  for (const std::string& name : ListDir(folder)) {
    const std::string text = ReadFile(folder + name);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = text.substr(start, end - start);
      // Trace lines: a 23-character time stamp, a tab, the rest.
      if (line.size() > 24 && line[23] == '\t') lines.push_back(line.substr(24));
    }
  }
  return lines;
}

}  // namespace zorvane::testing
