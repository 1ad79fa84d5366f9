#include "platform/shell.h"

#include <dirent.h>
#include <signal.h>
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
    const std::string dir = list.substr(start, end - start);
    // Empty and relative entries name the current folder: never searched.
    if (dir.empty() || dir.front() != '/') {
      start = end + 1;
      continue;
    }
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
  // The opener takes nothing of the host but its environment: no descriptor
  // (a listening socket, a locked file would stay with the file manager), no
  // blocked or ignored signal, not its session.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(fds)) {
      const int fd = std::atoi(e->d_name);
      if (fd > 2 && fd != dirfd(fds)) posix_spawn_file_actions_addclose(&actions, fd);
    }
    closedir(fds);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, "/bin/sh", &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) ThrowSystemError("Cannot start " + command.front(), rc);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace zorvane
