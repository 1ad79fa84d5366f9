// One photo's worth of ONVIF traffic against the camera simulator on
// loopback: GetSnapshotUri (a signed SOAP exchange and its reading), then the
// snapshot download with Basic authentication.
#include <benchmark/benchmark.h>

#include "onvif/onvif_requests.h"
#include "onvif/soap_transport.h"
#include "tests/support/camera_sim.h"

namespace {

void BM_SnapshotUriAndDownload(benchmark::State& state) {
  zorvane::testing::CameraSim sim(
      {"--user", "admin", "--password", "secret", "--snapshot-auth", "basic"});
  size_t bytes = 0;
  for (auto _ : state) {
    zorvane::TSnapshotUri uri;
    if (!zorvane::ParseSnapshotUri(
            zorvane::RequestSnapshotUri(sim.Url("/onvif/media"), "admin", "secret", "Profile_1"),
            uri)) {
      state.SkipWithError("no snapshot address");
      break;
    }
    zorvane::TMemoryStream image;
    zorvane::HttpGet(uri.Uri, "admin", "secret", image);
    bytes = image.Bytes().size();
  }
  state.counters["image_bytes"] = static_cast<double>(bytes);
}

}  // namespace

BENCHMARK(BM_SnapshotUriAndDownload)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
