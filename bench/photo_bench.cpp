// 500 photos as bytes ("ПолучитьФотоснимок" with "URIфотоснимка" set) through
// the add-in loaded in this process, next to libcurl fetching the same URL 500
// times into memory with a new connection each time. The 200 KiB JPEG is served by
// lighttpd, started here on loopback.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "onvif/soap_transport.h"
#include "tools/zorvane/host.h"

extern char** environ;

namespace {

constexpr int kPhotos = 500;

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

// A valid JPEG of about 200 KiB: the simulator's image with comment segments after its start.
std::string BigJpeg() {
  std::ifstream in(ZORVANE_SOURCE_DIR "/tools/camera-sim/snapshot.jpg", std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  const std::string image = data.str();
  std::string out = image.substr(0, 2);
  while (out.size() + image.size() + 4 < 200 * 1024) {
    const size_t length = std::min<size_t>(60000, 200 * 1024 - out.size() - image.size() - 4);
    out += "\xFF\xFE";
    out += static_cast<char>((length + 2) >> 8);
    out += static_cast<char>((length + 2) & 0xFF);
    out += std::string(length, 'z');
  }
  return out + image.substr(2);
}

struct Server {
  pid_t pid = -1;
  std::string url;
  std::string dir;
  size_t bytes = 0;

  Server() {
    char path[] = "/tmp/zorvane-photo-bench-XXXXXX";
    dir = mkdtemp(path);
    const std::string image = BigJpeg();
    bytes = image.size();
    std::ofstream(dir + "/snap.jpg", std::ios::binary) << image;
    const int port = FreePort();
    std::ofstream(dir + "/lighttpd.conf")
        << "server.document-root = \"" << dir << "\"\n"
        << "server.bind = \"127.0.0.1\"\nserver.port = " << port << "\n"
        << "mimetype.assign = (\".jpg\" => \"image/jpeg\")\n";
    std::string conf = dir + "/lighttpd.conf";
    std::vector<char*> argv = {const_cast<char*>("lighttpd"), const_cast<char*>("-D"),
                               const_cast<char*>("-f"), conf.data(), nullptr};
    if (posix_spawnp(&pid, "/usr/sbin/lighttpd", nullptr, nullptr, argv.data(), environ) != 0)
      pid = -1;
    url = "http://127.0.0.1:" + std::to_string(port) + "/snap.jpg";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  ~Server() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    std::system(("rm -rf " + dir).c_str());
  }
};

Server& TheServer() {
  static Server server;
  return server;
}

// The bytes are kept, as any user of them keeps them.
size_t Keep(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void BM_CurlNewConnectionEach(benchmark::State& state) {
  Server& server = TheServer();
  if (server.pid <= 0) return state.SkipWithError("lighttpd is not installed");
  std::string image;
  for (auto _ : state) {
    for (int i = 0; i < kPhotos; ++i) {
      image.clear();
      CURL* c = curl_easy_init();
      curl_easy_setopt(c, CURLOPT_URL, server.url.c_str());
      curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Keep);
      curl_easy_setopt(c, CURLOPT_WRITEDATA, &image);
      curl_easy_perform(c);
      curl_easy_cleanup(c);
    }
  }
  state.counters["photos"] = kPhotos;
}

// The download alone, as the driver makes it (for where the time goes).
void BM_HttpGetBytes(benchmark::State& state) {
  Server& server = TheServer();
  if (server.pid <= 0) return state.SkipWithError("lighttpd is not installed");
  std::string image;
  for (auto _ : state) {
    for (int i = 0; i < kPhotos; ++i) zorvane::HttpGetBytes(server.url, "", "", image);
  }
  state.counters["photos"] = kPhotos;
}

void BM_AddInGetPhoto(benchmark::State& state) {
  Server& server = TheServer();
  if (server.pid <= 0) return state.SkipWithError("lighttpd is not installed");
  zorvane::host::AddInLibrary lib(ZORVANE_LIB_PATH);
  zorvane::host::HostMemoryManager mm;
  zorvane::host::HostConnection connection;
  IComponentBase* driver = lib.Create("zorvane");
  driver->setMemManager(&mm);
  driver->Init(&connection);
  const std::u16string uri(server.url.begin(), server.url.end());
  V8Variant value{};
  std::memset(static_cast<void*>(&value), 0, sizeof value);
  value.vt = VTYPE_PWSTR;
  value.vtRecWideString.pwstrVal = const_cast<char16_t*>(uri.c_str());
  value.vtRecWideString.wstrLen = static_cast<uint32_t>(uri.size());
  driver->SetPropVal(driver->FindProp(u"URIфотоснимка"), &value);
  const long getPhoto = driver->FindMethod(u"ПолучитьФотоснимок");
  size_t bytes = 0;
  for (auto _ : state) {
    for (int i = 0; i < kPhotos; ++i) {
      V8Variant result{}, photo{};
      std::memset(static_cast<void*>(&result), 0, sizeof result);
      std::memset(static_cast<void*>(&photo), 0, sizeof photo);
      driver->CallAsFunc(getPhoto, &result, &photo, 1);
      bytes = photo.vtRecString.strLen;
      void* block = photo.vtRecString.pstrVal;
      mm.FreeMemory(&block);
    }
  }
  lib.Destroy(driver);
  state.counters["photos"] = kPhotos;
  state.counters["photo_bytes"] = static_cast<double>(bytes);
}

}  // namespace

BENCHMARK(BM_CurlNewConnectionEach)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HttpGetBytes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_AddInGetPhoto)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_MAIN();
