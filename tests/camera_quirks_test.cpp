// Cameras as people own them: a clock that is off, HTTP Digest on SOAP, the
// media service elsewhere, pretty-printed addresses, no profile configured,
// SOAP 1.2 by its own media type. Each through the real library and the host,
// against the camera simulator playing that camera; and what still fails.
#include <gtest/gtest.h>

#include "onvif/ws_discovery.h"
#include "tests/support/camera_sim.h"
#include "tests/support/process.h"

using namespace zorvane::testing;

namespace {

class CameraQuirksTest : public ::testing::Test {
 protected:
  // Photos (as bytes) through one driver object: settings, connect, then each photo.
  RunResult Photos(int count, const std::string& profile = "Profile_1",
                   const std::string& password = "secret", bool reconnectBetween = false) {
    std::string script =
        "set LogEnabled b:true\n"
        "call УстановитьПараметр s:Host s:127.0.0.1\n"
        "call УстановитьПараметр s:Port i:" +
        std::to_string(sim.port()) +
        "\n"
        "call УстановитьПараметр s:Login s:admin\n"
        "call УстановитьПараметр s:Password s:" +
        password +
        "\n"
        "call УстановитьПараметр s:Profile s:" +
        profile +
        "\n"
        "call Подключить out\n";
    for (int i = 0; i < count; ++i) {
      if (reconnectBetween) script += "call Подключить out\n";
      script += "call ПолучитьФотоснимок out\ncall GetLastError out\n";
    }
    WriteFile(dir.path() + "/script.txt", script);
    return RunProgram(ZORVANE_HOST_PATH,
                      {"--lib", ZORVANE_LIB_PATH, "script", dir.path() + "/script.txt"},
                      {"ZORVANE_DATA_DIR=" + dir.path()});
  }
  // How many photos succeeded, and the last error description.
  static int Good(const RunResult& r) {
    int n = 0;
    for (size_t at = r.output.find("result: i:0\n"); at != std::string::npos;
         at = r.output.find("result: i:0\n", at + 1))
      ++n;
    return n;
  }
  static std::string LastError(const RunResult& r) {
    const std::string head = "result: i:1001\nparam 0: s:";
    const size_t at = r.output.rfind(head);
    if (at == std::string::npos) return "";
    return r.output.substr(at + head.size(),
                           r.output.find('\n', at + head.size()) - at - head.size());
  }
  // The camera's requests as "METHOD path action" lines.
  std::vector<std::string> Traffic() {
    std::vector<std::string> lines;
    for (const TSimRequest& r : sim.Requests()) {
      std::string action;
      for (const char* a : {"GetSystemDateAndTime", "GetCapabilities", "GetServices", "GetProfiles",
                            "GetSnapshotUri", "GetDeviceInformation"}) {
        if (r.body.find(std::string(a)) != std::string::npos) action = a;
      }
      lines.push_back(r.method + " " + r.path + (action.empty() ? "" : " " + action));
    }
    return lines;
  }
  std::string Log() {
    std::string text;
    for (const std::string& name : ListDir(dir.path() + "/Telvask/zorvane")) {
      text += ReadFile(dir.path() + "/Telvask/zorvane/" + name);
    }
    return text;
  }

  TempDir dir;
  CameraSim sim{{"--user", "admin", "--password", "secret"}};
  using Lines = std::vector<std::string>;
};

}  // namespace

TEST_F(CameraQuirksTest, AHealthyCameraTakesTwoRequestsAPhoto) {
  const RunResult r = Photos(2);
  EXPECT_EQ(Good(r), 2) << r.output;
  EXPECT_EQ(Traffic(), (Lines{"POST /onvif/Media GetSnapshotUri", "GET /snapshot.jpg",
                              "POST /onvif/Media GetSnapshotUri", "GET /snapshot.jpg"}));
}

TEST_F(CameraQuirksTest, ACameraClockMonthsAway) {
  sim.Configure(R"({"clock_offset": 18342})");
  const RunResult r = Photos(2);
  EXPECT_EQ(Good(r), 2) << r.output;
  // Refused once, the camera asked its time, then every request in camera time.
  EXPECT_EQ(Traffic(), (Lines{"POST /onvif/Media GetSnapshotUri",
                              "POST /onvif/device_service GetSystemDateAndTime",
                              "POST /onvif/Media GetSnapshotUri", "GET /snapshot.jpg",
                              "POST /onvif/Media GetSnapshotUri", "GET /snapshot.jpg"}));
  EXPECT_NE(Log().find("\tINFO\tcamera clock differs by 1834"), std::string::npos) << Log();

  // Its time only with a token (whose time it does not check), and a new connect forgets the
  // offset.
  sim.Reset();
  sim.Configure(R"({"clock_offset": -3600, "gdt_auth": true})");
  const RunResult again = Photos(1, "Profile_1", "secret", true);
  EXPECT_EQ(Good(again), 1) << again.output;
  EXPECT_EQ(Traffic().size(), 5u);  // refused, time refused, time with token, repeated, image

  // A wrong password still fails with the camera's reason, after one repeat at most.
  sim.Reset();
  const RunResult wrong = Photos(1, "Profile_1", "wrong");
  EXPECT_EQ(LastError(wrong), "Не удалось получить информацию о фотоснимке: Sender not authorized");
  EXPECT_LE(Traffic().size(), 4u);

  // A clock three centuries away is a wrong answer, not a time to follow.
  sim.Reset();
  sim.Configure(R"({"clock_offset": 9467280000})");
  const RunResult far = Photos(1);
  EXPECT_EQ(LastError(far),
            "Не удалось получить информацию о фотоснимке: The security token could not be "
            "authenticated or authorized: time check failed");
  EXPECT_NE(Log().find("\tINFO\tcamera clock not read: '2"), std::string::npos) << Log();
  EXPECT_NE(Log().find("' is outside the years 1970..2200 of a camera clock"), std::string::npos);
}

TEST_F(CameraQuirksTest, HttpDigestOnSoap) {
  sim.Configure(R"({"soap_auth": "digest"})");
  const RunResult r = Photos(1);
  EXPECT_EQ(Good(r), 1) << r.output;
  const auto requests = sim.Requests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[0].Header("Authorization"), "");
  EXPECT_EQ(requests[requests.size() - 2].Header("Authorization").substr(0, 7), "Digest ");
  EXPECT_NE(requests[requests.size() - 2].body.find("<UsernameToken>"),
            std::string::npos);  // the token kept

  const RunResult wrong = Photos(1, "Profile_1", "wrong");
  EXPECT_EQ(LastError(wrong), "Не удалось получить информацию о фотоснимке: HTTP 401 Unauthorized");
}

TEST_F(CameraQuirksTest, TheMediaServiceIsElsewhere) {
  sim.Configure(R"({"strict_paths": true, "media_paths": ["/onvif/media_service"]})");
  const RunResult r = Photos(2);
  EXPECT_EQ(Good(r), 2) << r.output;
  EXPECT_EQ(Traffic(),
            (Lines{"POST /onvif/Media GetSnapshotUri", "POST /onvif/device_service GetCapabilities",
                   "POST /onvif/media_service GetSnapshotUri", "GET /snapshot.jpg",
                   "POST /onvif/media_service GetSnapshotUri", "GET /snapshot.jpg"}));
  EXPECT_NE(Log().find("\tINFO\tmedia service found at http://127.0.0.1:"), std::string::npos);
}

TEST_F(CameraQuirksTest, PrettyPrintedAddresses) {
  sim.Configure(R"({"uri_whitespace": true})");
  EXPECT_EQ(Good(Photos(1)), 1);
  zorvane::TProbeMatch match;
  ASSERT_TRUE(
      zorvane::ParseProbeMatch("<e:Envelope><e:Body><d:ProbeMatches><d:ProbeMatch><d:XAddrs>\n  "
                               "http://10.0.0.5/onvif/device_service\n"
                               "\thttps://10.0.0.5/onvif/device_service  http://[fe80::1]/x "
                               "\n</d:XAddrs></d:ProbeMatch></d:ProbeMatches>"
                               "</e:Body></e:Envelope>",
                               match));
  EXPECT_EQ(match.XAddrs, "http://10.0.0.5/onvif/device_service");
  EXPECT_EQ(match.XAddrsV6, "https://10.0.0.5/onvif/device_service http://[fe80::1]/x");
}

TEST_F(CameraQuirksTest, NoProfileConfigured) {
  const RunResult r = Photos(2, "");
  EXPECT_EQ(Good(r), 2) << r.output;
  EXPECT_EQ(Traffic(),
            (Lines{"POST /onvif/Media GetProfiles", "POST /onvif/Media GetSnapshotUri",
                   "GET /snapshot.jpg", "POST /onvif/Media GetSnapshotUri", "GET /snapshot.jpg"}));
  const auto requests = sim.Requests();
  EXPECT_NE(requests[1].body.find("<wsdl:ProfileToken>Profile_1</wsdl:ProfileToken>"),
            std::string::npos);

  // A profile the camera does not have still fails with its reason.
  sim.Reset();
  const RunResult bad = Photos(1, "nope");
  EXPECT_EQ(
      LastError(bad),
      "Не удалось получить информацию о фотоснимке: The requested profile token does not exist");
}

TEST_F(CameraQuirksTest, Soap12MediaType) {
  sim.Configure(R"({"soap12_only": true})");
  const RunResult r = Photos(2);
  EXPECT_EQ(Good(r), 2) << r.output;
  const auto requests = sim.Requests();
  ASSERT_EQ(requests.size(), 5u);  // refused once, then the camera's type for good
  EXPECT_EQ(requests[0].Header("Content-Type"), "text/xml;charset=utf-8");
  EXPECT_EQ(requests[1].Header("Content-Type"), "application/soap+xml; charset=utf-8");
  EXPECT_EQ(requests[3].Header("Content-Type"), "application/soap+xml; charset=utf-8");
}
