// The HTTP client against camera-sim, as every system's build runs it (on
// Windows under Wine, where WinHTTP carries the exchanges): authentication,
// redirects, time and size limits, and what each system's exchange reports
// when it ends without an answer. tests/with_camera_sim.py starts the camera
// and names it in ZORVANE_CAMERA_SIM ("127.0.0.1:PORT").
#include "platform/http_exchange.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "common/error.h"
#include "onvif/http_session.h"
#include "platform/files.h"
#include "tests/support/checks.h"

namespace {

using zorvane::THttpAnswer;
using zorvane::THttpFailureKind;
using zorvane::THttpRequest;
using zorvane::THttpSession;
using zorvane::testing::ErrorOf;

class HttpExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* address = std::getenv("ZORVANE_CAMERA_SIM");
    if (!address || !*address)
      GTEST_SKIP() << "ZORVANE_CAMERA_SIM is not set: run through with_camera_sim.py";
    FBase = std::string("http://") + address;
    Control("/sim/reset", "");
    FSession.SetCredentials("admin", "secret");
    FSession.AllowCredentialsFor(FBase);
  }

  // A control request to the camera (or to another simulator): its settings, as JSON.
  void Control(const std::string& path, const std::string& json) { Control(FBase, path, json); }
  static void Control(const std::string& base, const std::string& path, const std::string& json) {
    THttpSession control;
    THttpRequest r;
    r.Url = base + path;
    r.Post = true;
    r.ContentType = "application/json";
    r.Body = json;
    std::string body;
    ASSERT_EQ(control.Exchange(r, body).Status, 200) << body;
  }

  THttpAnswer Get(const std::string& path, std::string& body) {
    THttpRequest r;
    r.Url = FBase + path;
    r.MaxBytes = zorvane::kMaxSnapshotBytes;
    return FSession.Exchange(r, body);
  }

  static std::string Snapshot() {
    return zorvane::ReadWholeFile(std::string(ZORVANE_SOURCE_DIR) +
                                  "/tools/camera-sim/snapshot.jpg");
  }

  std::string FBase;
  THttpSession FSession;
};

TEST_F(HttpExchangeTest, SnapshotWithEachAuthentication) {
  for (const char* auth : {"none", "basic", "digest", "digest-sha256"}) {
    SCOPED_TRACE(auth);
    Control("/sim/config", std::string(R"({"snapshot_auth": ")") + auth + "\"}");
    std::string body;
    const THttpAnswer a = Get("/snapshot.jpg", body);
    EXPECT_EQ(a.Status, 200);
    EXPECT_EQ(a.ContentType, "image/jpeg");
    EXPECT_TRUE(body == Snapshot()) << body.size() << " bytes";
  }
  // A wrong password: the camera's 401 comes back as it is.
  Control("/sim/config", R"({"snapshot_auth": "digest"})");
  FSession.SetCredentials("admin", "wrong");
  std::string body;
  const THttpAnswer refused = Get("/snapshot.jpg", body);
  EXPECT_EQ(refused.Status, 401);
  EXPECT_TRUE(refused.DigestChallenge);
}

TEST_F(HttpExchangeTest, RedirectsFollowedHopByHop) {
  Control("/sim/config", R"({"snapshot_auth": "digest", "fault": "redirect", "redirects": 3})");
  std::string body;
  const THttpAnswer a = Get("/snapshot.jpg", body);
  EXPECT_EQ(a.Status, 200);
  EXPECT_EQ(a.Url, FBase + "/sim/r/3/snapshot.jpg");
  EXPECT_TRUE(body == Snapshot());

  // A 302 after a POST repeats the POST: the SOAP request reaches the service.
  Control("/sim/config", R"({"fault": "redirect", "redirects": 1, "redirect_status": 302})");
  THttpRequest soap;
  soap.Url = FBase + "/onvif/device_service";
  soap.Post = true;
  const std::string envelope =
      R"(<?xml version="1.0" encoding="UTF-8"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope">)"
      R"(<s:Body><GetSystemDateAndTime xmlns="http://www.onvif.org/ver10/device/wsdl"/></s:Body></s:Envelope>)";
  soap.Body = envelope;
  soap.ContentType = zorvane::kSoap12ContentType;
  const THttpAnswer posted = FSession.Exchange(soap, body);
  EXPECT_EQ(posted.Status, 200) << body;
  EXPECT_NE(body.find("GetSystemDateAndTimeResponse"), std::string::npos) << body;

  Control("/sim/config", R"({"fault": "redirect", "redirects": 15})");
  try {
    Get("/snapshot.jpg", body);
    ADD_FAILURE() << "a chain of 15 redirects was followed";
  } catch (const zorvane::Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Слишком много перенаправлений (больше 14): " + FBase + "/snapshot.jpg");
  }
}

TEST_F(HttpExchangeTest, TimeAndSizeLimits) {
  Control("/sim/config", R"({"fault": "hang"})");
  THttpRequest r;
  r.Url = FBase + "/snapshot.jpg";
  r.TimeoutMs = 1500;
  r.Step = "загрузка снимка";
  std::string body;
  const auto start = std::chrono::steady_clock::now();
  // The driver's own words, whichever system's library ran the exchange.
  try {
    FSession.Exchange(r, body);
    ADD_FAILURE() << "a camera that never answers answered";
  } catch (const zorvane::Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Камера не ответила за отведённое обмену время (1,5 с); не завершён шаг: загрузка "
              "снимка: " +
                  r.Url);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 1.0);
  EXPECT_LT(seconds, 10.0);

  // An answer that stops halfway is given up by the low-speed limit.
  Control("/sim/config", R"({"fault": "stall"})");
  THttpSession stalled;
  r.TimeoutMs = 30000;
  try {
    stalled.Exchange(r, body);
    ADD_FAILURE() << "an answer that stopped halfway was taken";
  } catch (const zorvane::Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Обмен с камерой остановился: меньше 1024 байт/с в течение 10 с; не завершён шаг: "
              "загрузка снимка: " +
                  r.Url);
  }

  Control("/sim/reset", "");
  Control("/sim/config", R"({"fault": "oversized", "size": 3145728})");
  THttpSession fresh;
  r.TimeoutMs = 30000;
  r.MaxBytes = 1u << 20;
  try {
    fresh.Exchange(r, body);
    ADD_FAILURE() << "a 3 MiB answer was taken under a 1 MiB limit";
  } catch (const zorvane::Error& e) {
    EXPECT_EQ(std::string(e.what()), "Ответ камеры больше 1 МиБ: " + r.Url);
  }
  EXPECT_LE(body.size(), size_t{1} << 20);
}

// The system's exchange, below the session, tells what ended it as a kind
// (the same on every system), how long it ran and how much of the body came.
TEST_F(HttpExchangeTest, AnExchangeThatEndsEarlySaysWhatEndedIt) {
  const auto simPort = static_cast<unsigned short>(std::stoi(FBase.substr(FBase.rfind(':') + 1)));
  // A label longer than 63 bytes: the resolver refuses the name without
  // asking any name server.
  const std::string unknownName = std::string(64, 'a') + ".invalid";
  struct TCase {
    const char* name;
    std::string host;
    unsigned short port;
    const char* fault;  // camera-sim's
    long timeoutMs;
    long minSpeedSeconds;  // at 1024 bytes a second; 0: no speed limit
    THttpFailureKind kind;
    size_t minBytes, maxBytes;  // of the body received by then
  };
  const TCase cases[] = {
      {"a closed port", "127.0.0.1", 1, "null", 5000, 0, THttpFailureKind::CannotConnect, 0, 0},
      {"an unknown name", unknownName, simPort, "null", 5000, 0, THttpFailureKind::NameNotFound, 0,
       0},
      {"no answer", "127.0.0.1", simPort, "\"hang\"", 1500, 0, THttpFailureKind::TimedOut, 0, 0},
      {"an answer that stops", "127.0.0.1", simPort, "\"stall\"", 10000, 1,
       THttpFailureKind::TooSlow, 1, 512},
      {"too large", "127.0.0.1", simPort, "\"oversized\", \"size\": 3145728", 10000, 0,
       THttpFailureKind::TooLarge, 0, 1u << 20},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    Control("/sim/config", std::string(R"({"fault": )") + c.fault + "}");
    zorvane::THttpExchangeRequest r;
    r.Host = c.host;
    r.Port = c.port;
    r.Target = "/snapshot.jpg";
    r.Url = "http://" + r.Host + ":" + std::to_string(r.Port) + r.Target;
    r.TimeoutMs = c.timeoutMs;
    r.ConnectTimeoutMs = 5000;
    r.MaxBodyBytes = 1u << 20;
    r.MinBytesPerSecond = c.minSpeedSeconds > 0 ? 1024 : 0;
    r.MinSpeedSeconds = c.minSpeedSeconds;
    zorvane::THttpConnection connection;
    std::string body;
    const zorvane::THttpFailure f = connection.Exchange(r, body).Failure;
    EXPECT_EQ(static_cast<int>(f.Kind), static_cast<int>(c.kind)) << f.SystemText;
    EXPECT_GE(f.ReceivedBytes, c.minBytes);
    EXPECT_LE(f.ReceivedBytes, c.maxBytes);
    EXPECT_LT(f.ElapsedMs, c.timeoutMs + 2000);
    if (c.kind == THttpFailureKind::TimedOut) {
      EXPECT_GE(f.ElapsedMs, c.timeoutMs - 100);
    }
    if (c.kind == THttpFailureKind::CannotConnect) {
      EXPECT_NE(f.SystemText, "");  // the system's words for why
    }
  }

  // The session words them, once for every system, naming where it went.
  THttpRequest r;
  r.Url = "http://127.0.0.1:1/onvif/device_service";
  std::string body;
  const std::string refused = ErrorOf([&] { FSession.Exchange(r, body); });
  EXPECT_EQ(refused.rfind("Не удалось подключиться к «127.0.0.1», порт 1: ", 0), 0u) << refused;
  EXPECT_EQ(refused.substr(refused.size() - r.Url.size() - 2), ": " + r.Url) << refused;
  r.Url = "http://" + unknownName + "/x";
  EXPECT_EQ(ErrorOf([&] { FSession.Exchange(r, body); }),
            "Не удалось разрешить имя «" + unknownName + "» в адрес: " + r.Url);
}

// What reached a simulator, as text blocks ("> GET /path", headers, body).
std::string Received(const std::string& base) {
  THttpSession control;
  THttpRequest r;
  r.Url = base + "/sim/requests.txt";
  std::string body;
  control.Exchange(r, body);
  return body;
}

// Hostile redirects, each read as RFC 3986 reads it whichever library runs
// the exchange: the request goes to the host our reader finds, and no
// credentials (Basic, Digest or a SOAP envelope's token) reach any host but
// the camera's. The other host asks for Basic and records what it gets.
TEST_F(HttpExchangeTest, CredentialsGoOnlyToTheCamera) {
  const char* address = std::getenv("ZORVANE_OTHER_HOST");
  if (!address || !*address)
    GTEST_SKIP() << "ZORVANE_OTHER_HOST is not set: run through with_camera_sim.py";
  const std::string other = address;
  const std::string otherBase = "http://" + other;
  const std::string camera = FBase.substr(7);
  struct TCase {
    std::string location;
    bool toOther;  // where RFC 3986 says it leads
  };
  const TCase cases[] = {
      {"http://a@" + other + "@" + camera + "/snapshot.jpg", false},
      {"http://" + other + "\\@" + camera + "/snapshot.jpg", false},
      {"http://" + other + "#@" + camera + "/snapshot.jpg", true},
      {"http://" + other + "?@" + camera + "/snapshot.jpg", true},
      {"http://" + camera + "@" + other + "/snapshot.jpg", true},
      {"http://admin:secret@" + other + "/snapshot.jpg", true},
  };
  for (const char* auth : {"basic", "digest"}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(auth) + " " + c.location);
      std::string location = c.location;  // as a JSON string
      for (size_t i = 0; (i = location.find('\\', i)) != std::string::npos; i += 2)
        location.insert(i, "\\");
      Control("/sim/config",
              std::string(R"({"fault": "redirect_to", "fault_paths": ["/start"], )") +
                  R"("snapshot_auth": ")" + auth + R"(", "location": ")" + location + "\"}");
      Control(otherBase, "/sim/reset", "");
      THttpSession session;
      session.SetCredentials("admin", "secret");
      session.AllowCredentialsFor(FBase);
      THttpRequest r;
      r.Url = FBase + "/start";
      std::string body;
      THttpAnswer a;
      try {
        a = session.Exchange(r, body);
      } catch (const zorvane::Error& e) {
        ADD_FAILURE() << e.what();
        continue;
      }
      const std::string seen = Received(otherBase);
      EXPECT_EQ(seen.find("Authorization"), std::string::npos) << seen;
      if (c.toOther) {
        EXPECT_NE(seen, "");
        EXPECT_EQ(zorvane::OriginOf(a.Url), otherBase);
        // A message names the host that answered.
        std::string printed = zorvane::PrintableUrl(a.Url);
        if (printed.rfind("http://********@", 0) == 0) printed.erase(7, 9);
        EXPECT_EQ(printed.rfind(otherBase, 0), 0u) << printed;
      } else {
        EXPECT_EQ(seen, "");
        EXPECT_EQ(a.Status, 200);
        EXPECT_TRUE(body == Snapshot());
      }
    }
  }

  // A SOAP envelope with its token is not carried to another host by a redirect.
  Control("/sim/config", R"({"fault": "redirect_to", "fault_paths": ["/onvif/device_service"], )"
                         R"("redirect_status": 307, "location": ")" +
                             otherBase + "/onvif/device_service\"}");
  Control(otherBase, "/sim/reset", "");
  THttpRequest soap;
  soap.Url = FBase + "/onvif/device_service";
  soap.Post = true;
  soap.SecretBody = true;
  soap.Body = "<Envelope><UsernameToken>...</UsernameToken></Envelope>";
  std::string body;
  try {
    FSession.Exchange(soap, body);
    ADD_FAILURE() << "the envelope followed the redirect";
  } catch (const zorvane::Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Запрос с логином и паролем камеры не отправлен на другой адрес (" + other +
                  "), куда камера его перенаправила: " + otherBase + "/onvif/device_service");
  }
  EXPECT_EQ(Received(otherBase), "");
}

}  // namespace
