#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace zorvane::testing {

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env, double timeLimit) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

  std::vector<std::string> envStrings;
  // An extra entry replaces the inherited one of the same name.
  const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (std::none_of(env.begin(), env.end(),
                     [&](const std::string& extra) { return nameOf(extra) == nameOf(entry); }))
      envStrings.push_back(entry);
  }
  for (const std::string& extra : env) envStrings.push_back(extra);
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  RunResult result;
  if (rc != 0) {
    close(pipeFds[0]);
    throw std::runtime_error("cannot start " + program);
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(timeLimit));
  char buf[4096];
  for (;;) {
    if (timeLimit > 0 && !result.timedOut) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p{pipeFds[0], POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) == 0) {
        kill(pid, SIGKILL);
        result.timedOut = true;
        continue;
      }
    }
    const ssize_t n = read(pipeFds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.output.append(buf, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : FName(name) {
  if (const char* old = std::getenv(name)) FOld = old, FHad = true;
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (FHad) {
    setenv(FName.c_str(), FOld.c_str(), 1);
  } else {
    unsetenv(FName.c_str());
  }
}

}  // namespace zorvane::testing
