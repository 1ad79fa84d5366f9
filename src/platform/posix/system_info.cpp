#include "platform/system_info.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "build_version.h"
#include "common/error.h"
#include "platform/messages.h"

namespace zorvane {

namespace {

#define ZORVANE_STR2(x) #x
#define ZORVANE_STR(x) ZORVANE_STR2(x)
// The version stamp, kept in the file so that the version of a library file
// can be read without loading it.
constexpr char kVersionTag[] = "ZORVANE-FILE-VERSION:";
[[gnu::used]] const char kVersionStamp[] =
    "ZORVANE-FILE-VERSION:" ZORVANE_STR(ZORVANE_VERSION_MAJOR) "." ZORVANE_STR(
        ZORVANE_VERSION_MINOR) "." ZORVANE_STR(ZORVANE_VERSION_PATCH) "." ZORVANE_STR(ZORVANE_VERSION_TWEAK) ";";

}  // namespace

std::array<uint16_t, 4> GetFileVersion(const std::string& path) {
  std::array<uint16_t, 4> version{};
  std::ifstream file(path, std::ios::binary);
  if (!file) return version;
  std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The tag itself is in the file too; the stamp is the occurrence with numbers.
  for (size_t at = data.find(kVersionTag); at != std::string::npos;
       at = data.find(kVersionTag, at + 1)) {
    unsigned parts[4] = {};
    char end = 0;
    if (std::sscanf(data.c_str() + at + sizeof kVersionTag - 1, "%5u.%5u.%5u.%5u%c", &parts[0],
                    &parts[1], &parts[2], &parts[3], &end) == 5 &&
        end == ';') {
      for (int i = 0; i < 4; ++i) version[i] = static_cast<uint16_t>(parts[i]);
      return version;
    }
  }
  return version;
}

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
  struct utsname un {};
  const std::string kernel = uname(&un) == 0 ? un.release : "";
  return FormatOSDescription(osRelease, kernel);
}

const char kPathSeparators[] = "/";

void UseBinaryStandardStreams() {}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

TLocalTime LocalTimeNow() {
  struct timeval tv {};
  gettimeofday(&tv, nullptr);
  struct tm t {};
  const time_t seconds = tv.tv_sec;
  localtime_r(&seconds, &t);
  return {t.tm_year + 1900, t.tm_mon + 1,  t.tm_mday, t.tm_hour,
          t.tm_min,         t.tm_sec,      static_cast<int>(tv.tv_usec / 1000)};
}

std::string GetCommonAppDataFolder() {
  const char* env = std::getenv("ZORVANE_DATA_DIR");
  std::string folder = env && *env ? env : "/var/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

namespace {

// $HOME when absolute, else the home folder the user database gives.
std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && *found->pw_dir == '/')
    return found->pw_dir;
  throw Error(msg::kNoHomeFolder);
}

}  // namespace

std::string GetUserAppDataFolder() {
  std::string folder;
  if (const char* env = std::getenv("ZORVANE_USER_DATA_DIR"); env && *env) {
    folder = env;
  } else if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
    folder = state;
  } else {
    folder = HomeFolder() + "/.local/state";
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace zorvane
