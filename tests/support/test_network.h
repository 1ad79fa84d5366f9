// Private networks for tests that cross a network: network namespaces joined
// by veth pairs to bridges, with addresses from 198.51.100.0/24, made by the
// test and removed afterwards. Needs root and iproute2.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/camera_sim.h"

namespace zorvane::testing {

class TestNetwork {
 public:
  // Why such networks cannot be made here; empty when they can.
  static std::string CannotRun();

  TestNetwork();
  ~TestNetwork();
  TestNetwork(const TestNetwork&) = delete;
  TestNetwork& operator=(const TestNetwork&) = delete;

  // A new bridge (a network segment); returns its index.
  int AddSegment();
  // A host (namespace) with an interface on the segment at address/prefix.
  void AddHost(const std::string& host, int segment, const std::string& address, int prefix = 24);
  // The namespace name of a host, for "ip netns exec".
  std::string Namespace(const std::string& host) const;
  // Moves the calling thread (and threads it starts later) into the host's namespace.
  void Enter(const std::string& host);
  // Starts a program inside the host's namespace; the network kills it at the end.
  pid_t Spawn(const std::string& host, const std::vector<std::string>& argv, int stdoutFd = -1);

 private:
  void Run(const std::string& command);
  std::string FPrefix;
  std::vector<std::string> FNamespaces;
  std::vector<pid_t> FChildren;
  int FSegments = 0;
  int FLinks = 0;
};

// A camera on a host of its own on segment 0 of net, at address, answering
// probes there; user "admin", password "secret", the model name, then extra
// arguments (a later "--password" wins).
std::unique_ptr<CameraSim> DiscoverableCamera(TestNetwork& net, const std::string& name,
                                              const std::string& address,
                                              const std::vector<std::string>& extra = {});

// A host that answers the first probe it hears with count spoofed
// ProbeMatches, each naming an address of its own where no camera is (a host
// of the segment that does not exist), padded to about padTo bytes.
class ProbeFlood {
 public:
  ProbeFlood(TestNetwork& net, const std::string& host, const std::string& address, int count,
             size_t padTo);
  ~ProbeFlood();
  ProbeFlood(const ProbeFlood&) = delete;
  ProbeFlood& operator=(const ProbeFlood&) = delete;
  int Sent() const { return FSent; }

 private:
  void Run(int socket, int count, size_t padTo);
  std::atomic<int> FSent{0};
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

// A TCP port on 127.0.0.1 that accepts nothing itself: Arrived() tells how
// many connections reached it, so a test can show that nothing was sent.
class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  int port() const { return FPort; }
  int Arrived();  // takes the connections that arrived since the last call

 private:
  int FSocket = -1;
  int FPort = 0;
};

}  // namespace zorvane::testing
