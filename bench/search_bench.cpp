// Camera searches over private networks. One holds 20 simulated cameras whose
// every answer takes 200 ms: the cameras are queried a few at a time, so the
// search should take about the probe window plus a few cameras' queries.
// Another holds a host that floods the probe with thousands of spoofed,
// padded matches naming cameras that are not there: the probe keeps at most
// kMaxProbeMatches of them and the search ends by kSearchDeadline; its peak
// memory growth and what it dropped are counted. And the removal of duplicate
// matches alone, over as many matches as one such flood once brought in.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "onvif/onvif_manager.h"
#include "tests/support/camera_sim.h"
#include "tests/support/hostile_answers.h"
#include "tests/support/test_network.h"

namespace {

using zorvane::testing::TestNetwork;

bool CanMakeNetworks(benchmark::State& state) {
  const std::string reason = TestNetwork::CannotRun();
  if (!reason.empty()) state.SkipWithError(reason.c_str());
  return reason.empty();
}

void BM_Search20SlowCameras(benchmark::State& state) {
  if (!CanMakeNetworks(state)) return;
  TestNetwork net;
  net.AddSegment();
  std::vector<std::unique_ptr<zorvane::testing::CameraSim>> cameras;
  for (int i = 0; i < 20; ++i) {
    const std::string address = "198.51.100." + std::to_string(10 + i);
    net.AddHost("cam" + std::to_string(i), 0, address);
    cameras.push_back(std::make_unique<zorvane::testing::CameraSim>(
        std::vector<std::string>{"--discovery", address}, net.Namespace("cam" + std::to_string(i)),
        address));
  }
  net.AddHost("client", 0, "198.51.100.2");
  net.Enter("client");
  for (auto& camera : cameras) camera->Configure(R"({"fault": "delay", "delay": 0.2})");
  size_t found = 0;
  for (auto _ : state) {
    zorvane::TOnvifManager manager;
    manager.SearchDeices();
    found = manager.OnvifDevicesList().size();
  }
  state.counters["cameras"] = static_cast<double>(found);
}

void BM_SpoofedMatchFlood(benchmark::State& state) {
  if (!CanMakeNetworks(state)) return;
  TestNetwork net;
  net.AddSegment();
  net.AddHost("flood", 0, "198.51.100.20");
  zorvane::testing::ProbeFlood flood(net, "flood", "198.51.100.20",
                                     static_cast<int>(state.range(0)), 8000);
  net.AddHost("client", 0, "198.51.100.2");
  net.Enter("client");
  for (auto _ : state) {
    const zorvane::testing::PeakGrowth peak;
    zorvane::TOnvifManager manager;
    manager.SearchDeices();
    state.counters["growth_MiB"] = peak.MiB();
    state.counters["kept"] = static_cast<double>(manager.OnvifProbe().Count());
    state.counters["dropped"] = static_cast<double>(manager.DroppedAnswers());
    state.counters["not_queried"] = static_cast<double>(manager.UnqueriedDevices());
  }
  state.counters["sent"] = flood.Sent();
}

void BM_UniqueProbeMatch(benchmark::State& state) {
  // Every address twice, the second time in another order.
  std::vector<zorvane::TProbeMatch> matches(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < matches.size(); ++i) {
    const size_t k = i < matches.size() / 2 ? i : (i * 7919) % (matches.size() / 2);
    matches[i].XAddrs =
        "http://198.51.100.254:" + std::to_string(20000 + k) + "/onvif/device_service";
  }
  for (auto _ : state) benchmark::DoNotOptimize(zorvane::UniqueProbeMatch(matches).size());
}

}  // namespace

BENCHMARK(BM_Search20SlowCameras)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SpoofedMatchFlood)
    ->Arg(6000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_UniqueProbeMatch)->Arg(21962)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
