#include "tests/support/test_network.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
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

namespace {

// Where the spoofed matches send the client: an address of the segment no host has.
constexpr char kNowhere[] = "198.51.100.254";

std::string SpoofedMatch(int index, size_t padTo) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><e:Envelope "
      "xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
      "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><e:Body><d:ProbeMatches>"
      "<d:ProbeMatch><d:Types>dn:NetworkVideoTransmitter</d:Types><d:Scopes>onvif://www.onvif.org/"
      "name/spoof";
  const std::string tail = "</d:Scopes><d:XAddrs>http://" + std::string(kNowhere) + ":" +
                           std::to_string(20000 + index) +
                           "/onvif/device_service</d:XAddrs><d:MetadataVersion>1"
                           "</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></e:Body>"
                           "</e:Envelope>";
  const size_t used = head.size() + tail.size();
  return head + std::string(padTo > used ? padTo - used : 0, 'x') + tail;
}

}  // namespace

ProbeFlood::ProbeFlood(TestNetwork& net, const std::string& host, const std::string& address,
                       int count, size_t padTo) {
  std::promise<int> ready;
  std::future<int> socketReady = ready.get_future();
  FThread = std::thread([this, &net, &ready, host, address, count, padTo] {
    int s = -1;
    try {
      net.Enter(host);
      s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      const int on = 1;
      setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      sockaddr_in any{};
      any.sin_family = AF_INET;
      any.sin_port = htons(3702);
      ip_mreq group{};
      inet_pton(AF_INET, "239.255.255.250", &group.imr_multiaddr);
      inet_pton(AF_INET, address.c_str(), &group.imr_interface);
      if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
          setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0) {
        throw std::runtime_error("the flooding host cannot listen for probes");
      }
      ready.set_value(s);
    } catch (...) {
      if (s >= 0) close(s);
      ready.set_exception(std::current_exception());
      return;
    }
    Run(s, count, padTo);
    close(s);
  });
  try {
    socketReady.get();
  } catch (...) {
    FThread.join();
    throw;
  }
}

ProbeFlood::~ProbeFlood() {
  FStop = true;
  FThread.join();
}

void ProbeFlood::Run(int s, int count, size_t padTo) {
  char probe[65536];
  sockaddr_in sender{};
  for (;;) {
    if (FStop) return;
    pollfd p{s, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    socklen_t size = sizeof sender;
    if (recvfrom(s, probe, sizeof probe, 0, reinterpret_cast<sockaddr*>(&sender), &size) > 0) break;
  }
  // Paced a little, so that the client's socket takes most of them.
  for (int i = 0; i < count && !FStop; ++i) {
    const std::string match = SpoofedMatch(i, padTo);
    if (sendto(s, match.data(), match.size(), 0, reinterpret_cast<sockaddr*>(&sender),
               sizeof sender) > 0) {
      ++FSent;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(150));
  }
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

std::unique_ptr<CameraSim> DiscoverableCamera(TestNetwork& net, const std::string& name,
                                              const std::string& address,
                                              const std::vector<std::string>& extra) {
  net.AddHost(name, 0, address);
  std::vector<std::string> args = {"--user",      "admin", "--password", "secret",
                                   "--discovery", address, "--model",    name};
  args.insert(args.end(), extra.begin(), extra.end());
  return std::make_unique<CameraSim>(args, net.Namespace(name), address);
}

}  // namespace zorvane::testing
