#include "platform/shell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "common/error.h"

extern char** environ;

namespace zorvane {

namespace {

// The full name of program found on PATH, or empty.
std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(':', start), list.size());
    const std::string dir = end > start ? list.substr(start, end - start) : std::string(".");
    const std::string candidate = dir + "/" + program;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace

void OpenWithDesktop(const std::string& target) {
  std::vector<std::string> command;
  if (std::string xdg = FindOnPath("xdg-open"); !xdg.empty()) {
    command = {xdg, target};
  } else if (std::string gio = FindOnPath("gio"); !gio.empty()) {
    command = {gio, "open", target};
  } else {
    throw Error(
        "Не найдены программы xdg-open и gio, которыми открываются папки и страницы; "
        "установите пакет xdg-utils");
  }
  // A shell that starts the opener in the background and ends at once: the
  // opener is left to itself (adopted by init), and only the shell is reaped.
  std::vector<std::string> argv = {"/bin/sh", "-c",
                                   "\"$@\" </dev/null >/dev/null 2>&1 &", "sh"};
  argv.insert(argv.end(), command.begin(), command.end());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, "/bin/sh", nullptr, nullptr, args.data(), environ);
  if (rc != 0) ThrowSystemError("Cannot start " + command.front(), rc);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace zorvane
