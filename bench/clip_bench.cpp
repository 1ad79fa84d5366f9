// Figures of the clip recorder against rtsp-sim on loopback:
//   start   time from Start to the first keyframe in the file, against
//           Debian's ffmpeg copying the same stream (-c copy, first frame out);
//   cpu     the process's CPU time per minute of a ~4 Mbit/s stream;
//   memory  growth of the resident set while it records;
//   soak    the same over a long recording (--soak SECONDS).
//     clip_bench [--seconds N] [--soak SECONDS]
// Needs GStreamer's RTSP server (tools/rtsp-sim) and, for the comparison,
// ffmpeg on PATH.
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "video/clip_recorder.h"

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point start) {
  return std::chrono::duration<double>(TClock::now() - start).count();
}

// rtsp-sim on a free port, Digest admin:secret.
struct TRtspSim {
  pid_t pid = -1;
  std::string address;
  TRtspSim() {
    int out[2];
    if (pipe(out) != 0) std::exit(2);
    std::string script = std::string(ZORVANE_SOURCE_DIR) + "/tools/rtsp-sim/rtsp_sim.py";
    std::vector<std::string> args = {"/usr/bin/python3", script, "--digest", "admin:secret"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::exit(2);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const size_t at = line.rfind("127.0.0.1:");
    if (at == std::string::npos) {
      std::fprintf(stderr, "rtsp-sim did not start: %s\n", line.c_str());
      std::exit(77);
    }
    address = line.substr(at);
  }
  ~TRtspSim() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

zorvane::TClipSettings Settings(const TRtspSim& sim, const std::string& mount,
                                const std::string& file) {
  zorvane::TClipSettings settings;
  settings.Url = "rtsp://" + sim.address + mount;
  settings.ShownUrl = settings.Url;
  settings.Login = "admin";
  settings.Password = "secret";
  settings.FileName = file;
  settings.MaxDuration = std::chrono::hours(24);
  settings.MaxBytes = uint64_t{64} << 30;
  return settings;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  int soak = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seconds") seconds = std::atoi(argv[i + 1]);
    if (option == "--soak") soak = std::atoi(argv[i + 1]);
  }
  TRtspSim sim;
  const std::string folder = "/tmp/zorvane-clip-bench";
  std::system(("mkdir -p " + folder).c_str());

  // Start to first frame: ours, then ffmpeg's.
  std::vector<double> ours, theirs;
  for (int i = 0; i < 5; ++i) {
    zorvane::TClipRecorder recorder;
    const auto start = TClock::now();
    recorder.Start(Settings(sim, "/h264", folder + "/start.mp4"));
    ours.push_back(Since(start));
    recorder.Stop();
    const std::string command = "ffmpeg -v error -y -rtsp_transport tcp -i rtsp://admin:secret@" +
                                sim.address + "/h264 -c copy -frames:v 1 " + folder +
                                "/start-ffmpeg.mkv";
    const auto cliStart = TClock::now();
    if (std::system(command.c_str()) == 0) theirs.push_back(Since(cliStart));
  }
  std::printf("start to first frame: %.3f s (median of 5)", Median(ours));
  if (!theirs.empty()) std::printf("; ffmpeg -c copy: %.3f s", Median(theirs));
  std::printf("\n");

  // A ~4 Mbit/s stream for a while: CPU and memory.
  const int length = soak > 0 ? soak : seconds;
  zorvane::TClipRecorder recorder;
  recorder.Start(Settings(sim, "/h264-4mbit", folder + "/long.mkv"));
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const double cpuStart = CpuSeconds();
  const long rssStart = ResidentKiB();
  long rssPeak = rssStart;
  const auto start = TClock::now();
  while (Since(start) < length) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    rssPeak = std::max(rssPeak, ResidentKiB());
  }
  const double cpu = CpuSeconds() - cpuStart;
  const double wall = Since(start);
  const long rssEnd = ResidentKiB();
  const zorvane::TClipOutcome outcome = recorder.Stop();
  std::printf("4 Mbit/s for %.0f s: %.2f s CPU, %.2f %% of one core; %.1f Mbit/s written\n", wall,
              cpu, 100 * cpu / wall, outcome.Bytes * 8 / outcome.Seconds / 1e6);
  std::printf("resident set: %ld KiB after 5 s, %ld KiB at the end (growth %ld KiB, peak %ld KiB)\n",
              rssStart, rssEnd, rssEnd - rssStart, rssPeak);
  if (!outcome.Failure.empty()) std::printf("ended early: %s\n", outcome.Failure.c_str());
  std::system(("rm -rf " + folder).c_str());
  return 0;
}
