// Camera answers made to exhaust the client, as large as the transport takes
// (tests/support/hostile_answers.h): each ends the camera's query quickly
// with an error that names the limit, or is read when it stays within every
// limit, and none grows the process by 64 MiB. Each query runs in a child
// process of its own; the sanitizer build, whose allocator keeps freed memory
// aside, is held to far wider bounds. bench/answer_bench measures the same.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>

#include "onvif/onvif_manager.h"
#include "onvif/onvif_requests.h"
#include "onvif/soap_transport.h"
#include "tests/support/camera_sim.h"
#include "tests/support/checks.h"
#include "tests/support/hostile_answers.h"
#include "tests/support/process.h"

using namespace zorvane;
using zorvane::testing::CameraSim;
using zorvane::testing::ErrorOf;
using zorvane::testing::MeasureInChild;
using zorvane::testing::TempDir;
using zorvane::testing::TMeasured;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
constexpr double kGrowthBoundMiB = kSanitized ? 1024 : 64;
constexpr double kSecondsBound = kSanitized ? 120 : 10;

// A camera whose GetProfiles answer is the given text.
class ServedAnswer {
 public:
  explicit ServedAnswer(const std::string& answer) {
    std::ofstream(FDir.path() + "/profiles.xml", std::ios::binary) << answer;
    FSim = std::make_unique<CameraSim>(std::vector<std::string>{
        "--user", "admin", "--password", "secret", "--profiles", FDir.path() + "/profiles.xml"});
  }
  CameraSim& Sim() { return *FSim; }

 private:
  TempDir FDir;
  std::unique_ptr<CameraSim> FSim;
};

std::string MoreThan(size_t limit, const std::string& what) {
  return "В ответе камеры больше " + std::to_string(limit) + " " + what;
}

}  // namespace

TEST(AnswerLimitsTest, HostileAnswersEndQuicklyAndStaySmall) {
  const std::string nodes = MoreThan(kMaxAnswerNodes, "узлов XML");
  const std::string attributes = MoreThan(kMaxAnswerAttributes, "атрибутов XML");
  // What each query ends with: the error, or nothing when the answer is read.
  const std::map<std::string, std::string> expected = {
      {"tiny elements", nodes},
      {"empty tags", nodes},
      {"unclosed elements", nodes},
      {"text between elements", nodes},
      {"attributes", attributes},
      {"valued attributes", attributes},
      {"profiles", nodes},
      {"2000 profiles", MoreThan(kMaxProfiles, "профилей")},
      {"bare profiles", attributes},
      {"long text", ""},
      {"everything at its limit", ""},
  };
  const auto answers = zorvane::testing::HostileAnswers(kMaxSoapAnswerBytes - 1024);
  ASSERT_EQ(answers.size(), expected.size());
  for (const auto& hostile : answers) {
    SCOPED_TRACE(hostile.Name);
    ServedAnswer served(hostile.Body);
    const std::string device = served.Sim().Url("/onvif/device_service");
    const TMeasured m = MeasureInChild(
        [&] { TOnvifDevice camera(device, "admin", "secret"); },
        // the first exchange binds libraries once per process: no growth of the answer's
        [&] {
          TDeviceInformation info;
          ParseDeviceInformation(RequestDeviceInformation(device, "admin", "secret"), info);
        });
    ASSERT_FALSE(m.Crashed);
    EXPECT_EQ(m.Error, expected.at(hostile.Name));
    EXPECT_LT(m.GrowthMiB, kGrowthBoundMiB);
    EXPECT_LT(m.Seconds, kSecondsBound);
  }
}

TEST(AnswerLimitsTest, TooManyProfilesAreNoReasonToTakeTheFirst) {
  // Without a profile set, the camera's first one is used when its profiles
  // can be read; an answer beyond the limits is an error, not passed over.
  ServedAnswer served(zorvane::testing::ProfilesAnswer(kMaxProfiles + 1));
  TOnvifDevice device;
  device.Host = "127.0.0.1";
  device.Port = static_cast<uint32_t>(served.Sim().port());
  device.Login = "admin";
  device.Password = "secret";
  std::string image;
  EXPECT_EQ(ErrorOf([&] { device.GetSnapshotBytes("", image); }),
            MoreThan(kMaxProfiles, "профилей"));
  EXPECT_EQ(served.Sim().Requests().size(), 1u);  // GetProfiles, and nothing after it
}
