// Hostile GetProfiles answers as large as the transport takes (16 MiB of tiny
// elements, empty or unclosed tags, attribute floods, thousands of profiles, one
// huge text), each served by the camera simulator on loopback and read by the
// client as a found camera is queried. Each run happens in a child process:
// the time is the whole query, "growth_MiB" the peak resident size above the
// size when it began, and "transfer_s" the time the same answer takes to arrive
// without being read. Wanted: growth under 64 MiB, time under transfer + 2 s.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "onvif/onvif_manager.h"
#include "onvif/onvif_requests.h"
#include "onvif/soap_transport.h"
#include "tests/support/camera_sim.h"
#include "tests/support/hostile_answers.h"

namespace {

using zorvane::testing::CameraSim;
using zorvane::testing::MeasureInChild;
using zorvane::testing::TMeasured;

// The answer's size: as large as the transport accepts, less room for the headers.
constexpr size_t kAnswerBytes = zorvane::kMaxSoapAnswerBytes - 1024;

// A simulator serving the answer to GetProfiles, for as long as it lives.
class TServedAnswer {
 public:
  explicit TServedAnswer(const std::string& answer) {
    char path[] = "/tmp/zorvane-answer-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    FPath = path;
    std::ofstream(FPath, std::ios::binary) << answer;
    FSim = std::make_unique<CameraSim>(
        std::vector<std::string>{"--user", "admin", "--password", "secret", "--profiles", FPath});
  }
  ~TServedAnswer() {
    FSim.reset();
    std::remove(FPath.c_str());
  }
  const CameraSim& Sim() const { return *FSim; }

 private:
  std::string FPath;
  std::unique_ptr<CameraSim> FSim;
};

// What a process does once, before any answer of interest: the libraries
// bound at the first exchange are no growth that an answer causes.
void FirstExchange(const std::string& device) {
  zorvane::TDeviceInformation info;
  zorvane::ParseDeviceInformation(zorvane::RequestDeviceInformation(device, "admin", "secret"),
                                  info);
}

void BM_HostileAnswer(benchmark::State& state, const std::string& answer) {
  const TServedAnswer served(answer);
  const std::string device = served.Sim().Url("/onvif/device_service");
  const std::string media = served.Sim().Url("/onvif/media");
  TMeasured query, transfer;
  for (auto _ : state) {
    transfer = MeasureInChild(
        [&] {
          const zorvane::TSoapAnswer a =
              zorvane::PostSoap(media, zorvane::BuildGetProfiles("admin", "secret"));
          benchmark::DoNotOptimize(a.Body.data());
        },
        [&] { FirstExchange(device); });
    query = MeasureInChild([&] { zorvane::TOnvifDevice camera(device, "admin", "secret"); },
                           [&] { FirstExchange(device); });
    if (query.Crashed) {
      state.SkipWithError("the query's process died");
      break;
    }
    state.SetIterationTime(query.Seconds);
  }
  state.counters["growth_MiB"] = query.GrowthMiB;
  state.counters["transfer_s"] = transfer.Seconds;
  state.counters["transfer_growth_MiB"] = transfer.GrowthMiB;
  state.SetLabel(query.Error.substr(0, 100));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (const auto& hostile : zorvane::testing::HostileAnswers(kAnswerBytes)) {
    benchmark::RegisterBenchmark(("BM_HostileAnswer/" + hostile.Name).c_str(), BM_HostileAnswer,
                                 hostile.Body)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
