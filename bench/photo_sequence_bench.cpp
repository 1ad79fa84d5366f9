// Later photos of one camera: "ПолучитьФотоснимок" through the add-in loaded
// in this process (the camera's own snapshot address, asked with the first
// photo and remembered), next to libcurl fetching the same snapshot address
// on one reused connection. The camera is camera-sim on loopback, answering
// each request after 50 ms, as a busy camera does. Counters: the camera's
// requests per photo.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstring>

#include "common/text.h"
#include "tests/support/camera_sim.h"
#include "tools/zorvane/host.h"

namespace {

constexpr int kPhotos = 20;
constexpr const char* kSlowCamera = R"({"fault": "delay", "delay": 0.05})";

using zorvane::testing::CameraSim;

V8Variant Text(const std::u16string& text) {
  V8Variant v;
  std::memset(static_cast<void*>(&v), 0, sizeof v);
  v.vt = VTYPE_PWSTR;
  v.vtRecWideString.pwstrVal = const_cast<char16_t*>(text.c_str());
  v.vtRecWideString.wstrLen = static_cast<uint32_t>(text.size());
  return v;
}

V8Variant Empty() {
  V8Variant v;
  std::memset(static_cast<void*>(&v), 0, sizeof v);
  return v;
}

size_t Keep(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void BM_AddInLaterPhotos(benchmark::State& state) {
  CameraSim sim{{"--user", "admin", "--password", "secret"}};
  sim.Configure(kSlowCamera);
  zorvane::host::AddInLibrary lib(ZORVANE_LIB_PATH);
  zorvane::host::HostMemoryManager mm;
  zorvane::host::HostConnection connection;
  IComponentBase* driver = lib.Create("zorvane");
  driver->setMemManager(&mm);
  driver->Init(&connection);
  const long setParameter = driver->FindMethod(u"УстановитьПараметр");
  const std::u16string port = zorvane::ToUtf16(std::to_string(sim.port()));
  for (const auto& [name, value] :
       {std::pair<std::u16string, std::u16string>{u"Host", u"127.0.0.1"},
        {u"Port", port},
        {u"Login", u"admin"},
        {u"Password", u"secret"},
        {u"Profile", u"Profile_1"}}) {
    V8Variant params[2] = {Text(name), Text(value)};
    V8Variant result = Empty();
    driver->CallAsFunc(setParameter, &result, params, 2);
  }
  V8Variant id = Empty(), opened = Empty();
  driver->CallAsFunc(driver->FindMethod(u"Подключить"), &opened, &id, 1);
  if (id.vt == VTYPE_PWSTR) {
    void* block = id.vtRecWideString.pwstrVal;
    mm.FreeMemory(&block);
  }
  const long getPhoto = driver->FindMethod(u"ПолучитьФотоснимок");
  auto photo = [&] {
    V8Variant result = Empty(), image = Empty();
    driver->CallAsFunc(getPhoto, &result, &image, 1);
    const bool ok = result.vt == VTYPE_BOOL && result.bVal && image.vtRecString.strLen > 0;
    void* block = image.vtRecString.pstrVal;
    mm.FreeMemory(&block);
    return ok;
  };
  if (!photo()) return state.SkipWithError("the first photo failed");
  const size_t before = sim.Requests().size();
  for (auto _ : state) {
    for (int i = 0; i < kPhotos; ++i) {
      if (!photo()) return state.SkipWithError("a photo failed");
    }
  }
  const double photos = static_cast<double>(state.iterations()) * kPhotos;
  state.counters["requests_per_photo"] =
      static_cast<double>(sim.Requests().size() - before) / photos;
  state.counters["photos"] = kPhotos;
  lib.Destroy(driver);
}

void BM_CurlReusedConnection(benchmark::State& state) {
  CameraSim sim{{"--user", "admin", "--password", "secret"}};
  sim.Configure(kSlowCamera);
  const std::string url = sim.Url("/snapshot.jpg");
  CURL* c = curl_easy_init();
  std::string image;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Keep);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &image);
  curl_easy_perform(c);  // the connection is made here, as the add-in's first photo makes it
  const size_t before = sim.Requests().size();
  for (auto _ : state) {
    for (int i = 0; i < kPhotos; ++i) {
      image.clear();
      if (curl_easy_perform(c) != CURLE_OK || image.empty()) return state.SkipWithError("failed");
    }
  }
  const double photos = static_cast<double>(state.iterations()) * kPhotos;
  state.counters["requests_per_photo"] =
      static_cast<double>(sim.Requests().size() - before) / photos;
  state.counters["photos"] = kPhotos;
  curl_easy_cleanup(c);
}

}  // namespace

BENCHMARK(BM_CurlReusedConnection)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_AddInLaterPhotos)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_MAIN();
