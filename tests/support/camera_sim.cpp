#include "tests/support/camera_sim.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

extern char** environ;

namespace zorvane::testing {

namespace {
size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}
}  // namespace

std::string SimHttp(const std::string& method, const std::string& url, const std::string& body) {
  CURL* c = curl_easy_init();
  std::string answer;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer);
  if (method == "POST") {
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  }
  const CURLcode rc = curl_easy_perform(c);
  curl_easy_cleanup(c);
  if (rc != CURLE_OK) throw std::runtime_error("camera-sim control failed: " + url);
  return answer;
}

std::string TSimRequest::Header(const std::string& name) const {
  for (const auto& [k, v] : headers) {
    if (strcasecmp(k.c_str(), name.c_str()) == 0) return v;
  }
  return {};
}

CameraSim::CameraSim(const std::vector<std::string>& args, const std::string& netns,
                     const std::string& host)
    : FArgs(args), FNetns(netns), FHost(host) {
  Start();
}

void CameraSim::Restart() {
  Stop();
  FArgs.insert(FArgs.end(), {"--port", std::to_string(FPort)});
  Start();
}

void CameraSim::Start() {
  const std::vector<std::string>& args = FArgs;
  const std::string& netns = FNetns;
  const std::string& host = FHost;
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argStrings;
  if (!netns.empty()) argStrings = {"ip", "netns", "exec", netns};
  argStrings.push_back("python3");
  argStrings.push_back(std::string(ZORVANE_SOURCE_DIR) + "/tools/camera-sim/camera_sim.py");
  argStrings.insert(argStrings.end(), {"--host", host});
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const int rc = posix_spawnp(&FPid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error("cannot start camera-sim");
  }
  // Wait (10 s at most) for the line that names the port.
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  const size_t colon = line.rfind(':');
  if (line.find("listening on") == std::string::npos || colon == std::string::npos) {
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
    throw std::runtime_error("camera-sim did not start: " + line);
  }
  FPort = std::stoi(line.substr(colon + 1));
}

CameraSim::~CameraSim() {
  Stop();
}

void CameraSim::Stop() {
  if (FPid > 0) {
    kill(FPid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
      if (waitpid(FPid, &status, WNOHANG) == FPid) {
        FPid = -1;
        return;
      }
      usleep(100000);
    }
    kill(FPid, SIGKILL);
    waitpid(FPid, &status, 0);
    FPid = -1;
  }
}

std::string CameraSim::Url(const std::string& path) const {
  return "http://" + FHost + ":" + std::to_string(FPort) + path;
}

void CameraSim::Configure(const std::string& json) {
  SimHttp("POST", Url("/sim/config"), json);
}

void CameraSim::Reset() {
  SimHttp("POST", Url("/sim/reset"), "{}");
}

std::vector<TSimRequest> CameraSim::Requests() {
  const std::string text = SimHttp("GET", Url("/sim/requests.txt"));
  std::vector<TSimRequest> requests;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\n<<<\n", pos);
    if (end == std::string::npos) break;
    const std::string block = text.substr(pos, end - pos);
    pos = end + 5;
    TSimRequest r;
    const size_t firstLine = block.find('\n');
    const std::string head = block.substr(2, firstLine - 2);
    const size_t space = head.find(' ');
    const size_t peer = head.rfind(' ');
    r.method = head.substr(0, space);
    r.path = head.substr(space + 1, peer - space - 1);
    r.peer = std::atoi(head.c_str() + peer + 1);
    size_t line = firstLine + 1;
    while (line < block.size()) {
      const size_t next = block.find('\n', line);
      const std::string h = block.substr(line, next - line);
      line = next == std::string::npos ? block.size() : next + 1;
      if (h.empty()) break;
      const size_t colon = h.find(": ");
      r.headers.push_back(
          {h.substr(0, colon), colon == std::string::npos ? "" : h.substr(colon + 2)});
    }
    r.body = line < block.size() ? block.substr(line) : "";
    requests.push_back(std::move(r));
  }
  return requests;
}

}  // namespace zorvane::testing
