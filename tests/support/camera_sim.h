// Starts the camera simulator (tools/camera-sim) on a free loopback port for
// one test and stops it afterwards.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zorvane::testing {

struct TSimRequest {
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  int peer = 0;  // the client's port: one per connection
  std::string Header(const std::string& name) const;  // empty when absent
};

class CameraSim {
 public:
  // Arguments as camera_sim.py takes them ("--user", "admin", ...). With a
  // network namespace, the simulator runs inside it and serves on host.
  explicit CameraSim(const std::vector<std::string>& args = {}, const std::string& netns = "",
                     const std::string& host = "127.0.0.1");
  // Stops the simulator and starts it again on the same port, as a camera
  // that restarts: connections to it are gone, its settings are the first.
  void Restart();
  ~CameraSim();
  CameraSim(const CameraSim&) = delete;
  CameraSim& operator=(const CameraSim&) = delete;

  int port() const { return FPort; }
  // "http://127.0.0.1:PORT" followed by path.
  std::string Url(const std::string& path) const;
  // Merges settings (a JSON object text) into the simulator's configuration.
  void Configure(const std::string& json);
  void Reset();
  std::vector<TSimRequest> Requests();

 private:
  void Start();
  void Stop();
  std::vector<std::string> FArgs;
  std::string FNetns;
  pid_t FPid = -1;
  int FPort = 0;
  std::string FHost;
};

// A plain HTTP exchange for tests (never through the code under test).
std::string SimHttp(const std::string& method, const std::string& url,
                    const std::string& body = "");

}  // namespace zorvane::testing
