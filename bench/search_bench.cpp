// A camera search over a private network holding 20 simulated cameras whose
// every answer takes 200 ms: the cameras are queried a few at a time, so the
// search should take about the probe window plus a few cameras' queries.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "onvif/onvif_manager.h"
#include "tests/support/camera_sim.h"
#include "tests/support/test_network.h"

namespace {

void BM_Search20SlowCameras(benchmark::State& state) {
  using zorvane::testing::TestNetwork;
  const std::string reason = TestNetwork::CannotRun();
  if (!reason.empty()) {
    state.SkipWithError(reason.c_str());
    return;
  }
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

}  // namespace

BENCHMARK(BM_Search20SlowCameras)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_MAIN();
