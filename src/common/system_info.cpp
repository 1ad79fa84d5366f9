#include "common/system_info.h"

#include <dlfcn.h>
#include <sys/utsname.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "build_version.h"

namespace zorvane {

std::string GetModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&GetModulePath), &info) == 0 || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

std::array<uint16_t, 4> GetModuleVersion() {
  return {ZORVANE_VERSION_MAJOR, ZORVANE_VERSION_MINOR, ZORVANE_VERSION_PATCH,
          ZORVANE_VERSION_TWEAK};
}

std::string FormatOSDescription(const std::string& osRelease, const std::string& kernelRelease) {
  std::string name = "Linux";
  std::istringstream lines(osRelease);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string value = line.substr(12);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (!value.empty()) name = value;
    break;
  }
  return name + " (" + kernelRelease + ")";
}

std::string GetOSDescription() {
  std::string osRelease;
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream file(path);
    if (!file) continue;
    std::ostringstream text;
    text << file.rdbuf();
    osRelease = text.str();
    break;
  }
  struct utsname un{};
  const std::string kernel = uname(&un) == 0 ? un.release : "";
  return FormatOSDescription(osRelease, kernel);
}

std::string GetCommonAppDataFolder() {
  const char* env = std::getenv("ZORVANE_DATA_DIR");
  std::string folder = env && *env ? env : "/var/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace zorvane
