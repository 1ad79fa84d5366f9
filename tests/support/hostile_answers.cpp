#include "tests/support/hostile_answers.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <stdexcept>

#include "onvif/onvif_requests.h"

namespace zorvane::testing {

namespace {

constexpr std::string_view kPrefix =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" "
    "xmlns:tt=\"http://www.onvif.org/ver10/schema\"><env:Body><trt:GetProfilesResponse>";
constexpr std::string_view kSuffix = "</trt:GetProfilesResponse></env:Body></env:Envelope>";

// The envelope around open, piece repeated, close; at most size bytes.
std::string Filled(std::string_view open, std::string_view piece, std::string_view close,
                   size_t size) {
  std::string text;
  text.reserve(size);
  text.append(kPrefix).append(open);
  const size_t fixed = text.size() + close.size() + kSuffix.size();
  while (fixed + (text.size() - kPrefix.size() - open.size()) + piece.size() <= size)
    text.append(piece);
  return text.append(close).append(kSuffix);
}

// A resident size from /proc/self/status ("VmRSS", "VmHWM"), in KiB.
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return -1;
}

struct TReport {
  long growthKiB;
  double seconds;
  char error[512];
};

// A profile whose child x holds as many elements, each with one attribute, as
// the limits of an answer allow, and whose name begins after them.
std::string UpToTheLimits() {
  // the envelope, the response, the profile, its x and its name
  constexpr size_t kOthers = 8;
  const size_t count = std::min(kMaxAnswerNodes, kMaxAnswerAttributes) - kOthers;
  std::string text = "<trt:Profiles token=\"p\"><x>";
  for (size_t i = 0; i < count; ++i) text += "<a b/>";
  return text + "</x><tt:Name>";
}

}  // namespace

std::string FilledProfilesAnswer(std::string_view piece, size_t size) {
  return Filled("", piece, "", size);
}

std::string ProfilesAnswer(size_t count) {
  std::string profiles;
  for (size_t i = 0; i < count; ++i) profiles += ProfileElement("p" + std::to_string(i));
  return std::string(kPrefix) + profiles + std::string(kSuffix);
}

std::string ProfileElement(const std::string& token) {
  return "<trt:Profiles fixed=\"true\" token=\"" + token +
         "\"><tt:Name>mainStream</tt:Name>"
         "<tt:VideoSourceConfiguration token=\"VideoSourceToken\"><tt:Name>VideoSourceConfig"
         "</tt:Name><tt:UseCount>2</tt:UseCount><tt:SourceToken>VideoSource_1</tt:SourceToken>"
         "<tt:Bounds x=\"0\" y=\"0\" width=\"1920\" height=\"1080\"></tt:Bounds>"
         "</tt:VideoSourceConfiguration><tt:VideoEncoderConfiguration "
         "token=\"VideoEncoderToken_1\">"
         "<tt:Name>VideoEncoder_1</tt:Name><tt:UseCount>1</tt:UseCount><tt:Encoding>H264"
         "</tt:Encoding><tt:Resolution><tt:Width>1920</tt:Width><tt:Height>1080</tt:Height>"
         "</tt:Resolution><tt:Quality>4.000000</tt:Quality><tt:RateControl><tt:FrameRateLimit>25"
         "</tt:FrameRateLimit><tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>4096"
         "</tt:BitrateLimit></tt:RateControl><tt:H264><tt:GovLength>50</tt:GovLength>"
         "<tt:H264Profile>Main</tt:H264Profile></tt:H264><tt:SessionTimeout>PT5S"
         "</tt:SessionTimeout></tt:VideoEncoderConfiguration></trt:Profiles>";
}

std::vector<THostileAnswer> HostileAnswers(size_t size) {
  return {
      {"tiny elements", Filled("", "<a/>", "", size)},
      {"empty tags", Filled("", "<>", "", size)},
      {"unclosed elements", Filled("", "<a>", "", size)},
      {"text between elements", Filled("", "x<a/>", "", size)},
      {"attributes", Filled("<trt:Profiles token=\"p\"", " a", "/>", size)},
      {"valued attributes", Filled("<trt:Profiles token=\"p\"", " a='1'", "/>", size)},
      {"profiles", Filled("", ProfileElement("p"), "", size)},
      {"2000 profiles", ProfilesAnswer(2000)},
      {"bare profiles", Filled("", "<trt:Profiles token=\"p\"/>", "", size)},
      {"long text", Filled("<trt:Profiles token=\"p\"><tt:Name>", std::string(4096, 'x'),
                           "</tt:Name></trt:Profiles>", size)},
      // Nodes and attributes just within their limits, the rest one long name.
      {"everything at its limit",
       Filled(UpToTheLimits(), std::string(4096, 'x'), "</tt:Name></trt:Profiles>", size)},
  };
}

PeakGrowth::PeakGrowth() {
  // The peak starts from here, not from what the process reached before.
  if (const int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC); fd >= 0) {
    [[maybe_unused]] const ssize_t n = write(fd, "5", 1);
    close(fd);
  }
  FStartKiB = StatusKiB("VmRSS");
}

double PeakGrowth::MiB() const {
  return static_cast<double>(StatusKiB("VmHWM") - FStartKiB) / 1024.0;
}

TMeasured MeasureInChild(const std::function<void()>& work, const std::function<void()>& prepare) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(fds[0]);
    TReport report{};
    if (prepare) {
      try {
        prepare();
      } catch (const std::exception& e) {
        std::snprintf(report.error, sizeof report.error, "(preparing) %s", e.what());
      }
    }
    // Free memory the parent kept would hide growth: give it back first.
    malloc_trim(0);
    const PeakGrowth peak;
    const auto began = std::chrono::steady_clock::now();
    try {
      work();
    } catch (const std::exception& e) {
      std::snprintf(report.error, sizeof report.error, "%s", e.what());
    } catch (...) {
      std::snprintf(report.error, sizeof report.error, "(unknown exception)");
    }
    report.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    report.growthKiB = static_cast<long>(peak.MiB() * 1024);
    [[maybe_unused]] const ssize_t n = write(fds[1], &report, sizeof report);
    _exit(0);
  }
  close(fds[1]);
  TReport report{};
  size_t got = 0;
  for (ssize_t n; got < sizeof report && (n = read(fds[0], reinterpret_cast<char*>(&report) + got,
                                                   sizeof report - got)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    got += static_cast<size_t>(n);
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  TMeasured m;
  m.Crashed = got != sizeof report || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  m.GrowthMiB = static_cast<double>(report.growthKiB) / 1024.0;
  m.Seconds = report.seconds;
  m.Error = report.error;
  return m;
}

}  // namespace zorvane::testing
