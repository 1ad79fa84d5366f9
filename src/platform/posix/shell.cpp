#include "platform/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "common/error.h"
#include "platform/messages.h"
#include "platform/system_error.h"

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
    throw Error(msg::kNoOpener);
  }
  std::vector<char*> args;
  for (std::string& a : command) args.push_back(a.data());
  args.push_back(nullptr);
  // Gathered before forking: between fork and exec only system calls are made.
  std::vector<int> inherited;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(fds)) {
      const int fd = std::atoi(e->d_name);
      if (fd > 2 && fd != dirfd(fds)) inherited.push_back(fd);
    }
    closedir(fds);
  }
  const char* program = command.front().c_str();
  // A child that starts the opener in a session of its own and ends at once:
  // the opener is left to itself (adopted by init) and only the child is
  // reaped. The opener takes nothing of the host but its environment: no
  // descriptor (a listening socket, a locked file would stay with the file
  // manager), no blocked or ignored signal (a shell's "&" would ignore
  // SIGINT and SIGQUIT).
  const pid_t child = fork();
  if (child < 0) ThrowSystemError(msg::CannotStartProgram(command.front()), errno);
  if (child == 0) {
    setsid();
    const pid_t opener = fork();
    if (opener == 0) {
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      struct sigaction standard {};
      standard.sa_handler = SIG_DFL;
      for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &standard, nullptr);
      for (const int fd : inherited) close(fd);
      const int null = open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (null > 2) close(null);
      }
      execve(program, args.data(), environ);
      _exit(127);
    }
    _exit(opener < 0 ? 1 : 0);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw Error(msg::CannotStartProgram(command.front()));
}

}  // namespace zorvane
