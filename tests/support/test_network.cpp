#include "tests/support/test_network.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace zorvane::testing {

std::string TestNetwork::CannotRun() {
  if (geteuid() != 0) return "needs root to make network namespaces";
  if (std::system("ip -V >/dev/null 2>&1") != 0) return "needs the ip command (iproute2)";
  const std::string probe = "zvprobe" + std::to_string(getpid());
  if (std::system(("ip netns add " + probe + " >/dev/null 2>&1").c_str()) != 0) {
    return "network namespaces cannot be made here";
  }
  std::system(("ip netns del " + probe + " >/dev/null 2>&1").c_str());
  return {};
}

TestNetwork::TestNetwork() : FPrefix("zv" + std::to_string(getpid() % 100000)) {}

TestNetwork::~TestNetwork() {
  for (pid_t pid : FChildren) kill(pid, SIGTERM);
  for (pid_t pid : FChildren) {
    int status = 0;
    for (int i = 0; i < 30 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(100000);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  for (const std::string& ns : FNamespaces)
    std::system(("ip netns del " + ns + " >/dev/null 2>&1").c_str());
}

void TestNetwork::Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("network setup failed: " + command);
  }
}

std::string TestNetwork::Namespace(const std::string& host) const {
  return FPrefix + "-" + host;
}

int TestNetwork::AddSegment() {
  const int index = FSegments++;
  const std::string ns = Namespace("lan" + std::to_string(index));
  Run("ip netns add " + ns);
  FNamespaces.push_back(ns);
  Run("ip -n " + ns + " link add br0 type bridge mcast_snooping 0");
  Run("ip -n " + ns + " link set br0 up");
  return index;
}

void TestNetwork::AddHost(const std::string& host, int segment, const std::string& address,
                          int prefix) {
  const std::string ns = Namespace(host);
  const std::string lan = Namespace("lan" + std::to_string(segment));
  if (std::system(("ip netns list | grep -qw " + ns).c_str()) != 0) {
    Run("ip netns add " + ns);
    FNamespaces.push_back(ns);
    Run("ip -n " + ns + " link set lo up");
  }
  const std::string inside = FPrefix + "i" + std::to_string(FLinks);
  const std::string outside = FPrefix + "o" + std::to_string(FLinks);
  ++FLinks;
  Run("ip link add " + inside + " type veth peer name " + outside);
  Run("ip link set " + inside + " netns " + ns);
  Run("ip link set " + outside + " netns " + lan);
  Run("ip -n " + lan + " link set " + outside + " master br0 up");
  Run("ip -n " + ns + " addr add " + address + "/" + std::to_string(prefix) + " dev " + inside);
  Run("ip -n " + ns + " link set " + inside + " up");
  // Multicast leaves through the first interface unless a probe chooses another.
  std::system(
      ("ip -n " + ns + " route add 224.0.0.0/4 dev " + inside + " >/dev/null 2>&1").c_str());
}

void TestNetwork::Enter(const std::string& host) {
  const std::string path = "/var/run/netns/" + Namespace(host);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot enter " + path);
  }
  close(fd);
}

pid_t TestNetwork::Spawn(const std::string& host, const std::vector<std::string>& argv,
                         int stdoutFd) {
  std::vector<std::string> args = {"ip", "netns", "exec", Namespace(host)};
  args.insert(args.end(), argv.begin(), argv.end());
  std::vector<char*> raw;
  for (auto& a : args) raw.push_back(a.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "ip", &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start a program in " + host);
  FChildren.push_back(pid);
  return pid;
}

LoopbackListener::LoopbackListener() {
  FSocket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (FSocket < 0 || bind(FSocket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(FSocket, 16) != 0 ||
      getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("cannot listen on loopback");
  }
  FPort = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
  close(FSocket);
}

int LoopbackListener::Arrived() {
  int n = 0;
  for (int fd; (fd = accept(FSocket, nullptr, nullptr)) >= 0; ++n) close(fd);
  return n;
}

}  // namespace zorvane::testing
