// The SOAP transport against the camera simulator over real HTTP on loopback:
// URLs, the UsernameToken, the envelopes byte for byte, the headers as sent,
// redirects, cookies, time-outs, size limits and snapshot authentication.
#include "onvif/soap_transport.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <thread>

#include "common/error.h"
#include "onvif/call_deadline.h"
#include "onvif/http_session.h"
#include "onvif/onvif_requests.h"
#include "platform/library_binding.h"
#include "tests/support/camera_sim.h"
#include "tests/support/checks.h"
#include "tests/support/process.h"

using namespace zorvane;
using zorvane::testing::CameraSim;
using zorvane::testing::ErrorOf;
using zorvane::testing::TSimRequest;

namespace {

// The envelope with the three computed token values replaced by names.
std::string Masked(const std::string& envelope) {
  std::string text =
      std::regex_replace(envelope, std::regex("(PasswordDigest\">)[^<]*<"), "$1DIGEST<");
  text = std::regex_replace(text, std::regex("(Base64Binary\">)[^<]*<"), "$1NONCE<");
  return std::regex_replace(text, std::regex("(utility-1.0.xsd\">)[^<]*<"), "$1CREATED<");
}

const std::string kHeader =
    "<Security "
    "xmlns=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\" "
    "xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" s:mustUnderstand=\"1\"> <UsernameToken> "
    "<Username>USER</Username> <Password "
    "Type=\"http://docs.oasis-open.org/wss/2004/01/"
    "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">"
    "DIGEST</Password> <Nonce "
    "EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
    "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">"
    "NONCE</Nonce> <Created "
    "xmlns=\"http://docs.oasis-open.org/wss/2004/01/"
    "oasis-200401-wss-wssecurity-utility-1.0.xsd\">CREATED</Created> "
    "</UsernameToken> </Security> </soap:Header>";

std::string WithUser(std::string header, const std::string& user) {
  return header.replace(header.find("USER"), 4, user);
}

std::string Get(const std::string& url, const std::string& login = "",
                const std::string& password = "") {
  TMemoryStream out;
  HttpGet(url, login, password, out);
  return out.Bytes();
}

}  // namespace

// The libraries the exchanges run on: whichever libcurl and libcrypto the
// process has (a run against older ones says which it expects), and the
// known digests computed by them.
TEST(CryptoTest, TheLibrariesInUseGiveKnownDigests) {
  const std::string curl = curl_version_info(CURLVERSION_NOW)->version;
  const std::string crypto = CryptoLibraryName();
  std::printf("libcurl %s, %s\n", curl.c_str(), crypto.c_str());
  if (const char* want = std::getenv("ZORVANE_EXPECT_CURL")) {
    EXPECT_EQ(curl.rfind(want, 0), 0u);
  }
  if (const char* want = std::getenv("ZORVANE_EXPECT_CRYPTO")) {
    EXPECT_EQ(crypto, want);
  }

  auto hex = [](const std::string& bytes) {
    std::string out;
    char two[3];
    for (unsigned char b : bytes) {
      std::snprintf(two, sizeof two, "%02x", b);
      out += two;
    }
    return out;
  };
  EXPECT_EQ(hex(HashBytes(THashAlgorithm::Md5, "abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hex(HashBytes(THashAlgorithm::Sha1, "abc")),
            "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(hex(HashBytes(THashAlgorithm::Sha256, "abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Base64Encode(std::string_view("\xE4p\x00q", 4)), "5HAAcQ==");
  EXPECT_EQ(Base64Decode("5HAAcQ=="), std::string("\xE4p\x00q", 4));
  EXPECT_EQ(Base64Decode("5HA"), "");
  std::string a(16, '\0'), b(16, '\0');
  RandomBytes(a.data(), a.size());
  RandomBytes(b.data(), b.size());
  EXPECT_NE(a, b);
}

TEST(CryptoTest, AMissingLibraryIsNamed) {
  TRuntimeLibrary library;
  EXPECT_FALSE(library.OpenLoaded({"libzorvane-absent.so.1"}));
  EXPECT_FALSE(library.Open({"libzorvane-absent.so.1", "libzorvane-absent.so.2"}));
  EXPECT_NE(library.Error().find("libzorvane-absent.so.1"), std::string::npos);
  EXPECT_NE(library.Error().find("libzorvane-absent.so.2"), std::string::npos);
  EXPECT_FALSE(library.IsOpen());
}

TEST(SoapUrlTest, ServiceUrls) {
  struct Case {
    const char* xaddrs;
    TOnvifService service;
    const char* url;
  };
  const Case cases[] = {
      {"http://192.168.1.64/onvif/device_service", TOnvifService::osMedia,
       "http://192.168.1.64/onvif/media"},
      {"http://192.168.1.64:80/onvif/device_service", TOnvifService::osMedia,
       "http://192.168.1.64/onvif/media"},
      {"http://192.168.1.64:8899/onvif/device_service", TOnvifService::osMedia,
       "http://192.168.1.64:8899/onvif/media"},
      {"HTTPS://cam:443/a/b/c", TOnvifService::osDevice, "HTTPS://cam/a/b/device_service"},
      {"https://cam:80/x", TOnvifService::osMedia, "https://cam:80/media"},
      {"http://10.0.0.5/onvif/device_service?x=1#frag", TOnvifService::osMedia,
       "http://10.0.0.5/onvif/media?x=1"},
      {"http://user:pw@10.0.0.5", TOnvifService::osMedia, "http://10.0.0.5/media"},
      {"http://[fe80::1]:8080/onvif/device_service", TOnvifService::osMedia,
       "http://[fe80::1]:8080/onvif/media"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildServiceURL(c.xaddrs, c.service), c.url) << c.xaddrs;
  EXPECT_NE(ErrorOf([] { BuildServiceURL("192.168.1.64/onvif", TOnvifService::osMedia); }),
            "(no error)");
  EXPECT_NE(ErrorOf([] { BuildServiceURL("http:///onvif", TOnvifService::osMedia); }),
            "(no error)");
}

TEST(SoapTokenTest, CreatedDigestAndNonce) {
  using namespace std::chrono;
  const auto at = [](int y, unsigned mo, unsigned d, int h, int mi, int s, int ms) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s} +
           milliseconds{ms};
  };
  EXPECT_EQ(FormatCreated(at(2024, 3, 5, 7, 8, 9, 10)), "2024-03-05T07:08:09.010Z");
  EXPECT_EQ(FormatCreated(at(2024, 12, 31, 23, 59, 59, 999)), "2024-12-31T23:59:59.999Z");
  EXPECT_EQ(FormatCreated(at(2024, 1, 1, 0, 0, 0, 5)), "2024-01-01T00:00:00.005Z");

  // Base64(SHA-1(nonce + created + password)), checked against an independent computation.
  const std::string nonce(20, '\x01');
  EXPECT_EQ(PasswordDigest(nonce, "2024-03-05T07:08:09.010Z", "secret"),
            "Aa8yPzqlU7a1FY1WOY8Go6jmGK8=");
  EXPECT_EQ(PasswordDigest(nonce, "2024-03-05T07:08:09.010Z", ""), "0WZobqlwogF3QXc5/jD5xYHchi0=");

  std::string d1, n1, c1, d2, n2, c2;
  BuildUsernameToken("admin", "secret", d1, n1, c1);
  BuildUsernameToken("admin", "secret", d2, n2, c2);
  EXPECT_NE(n1, n2);
  EXPECT_NE(d1, d2);
  for (const std::string& v : {d1, n1, d2, n2}) {
    EXPECT_EQ(v.size(), 28u);
    EXPECT_EQ(Base64Decode(v).size(), 20u);
  }
  EXPECT_EQ(c1.size(), 24u);
  EXPECT_EQ(d1, PasswordDigest(Base64Decode(n1), c1, "secret"));
}

TEST(SoapTokenTest, CreatedFollowsTheCameraClock) {
  using namespace std::chrono;
  // The offset that puts Created at the given instant, measured just before.
  const auto towards = [](sys_seconds at) {
    return duration_cast<milliseconds>(at - time_point_cast<seconds>(system_clock::now()));
  };
  const auto created = [](milliseconds offset) {
    std::string digest, nonce, created;
    BuildUsernameToken("admin", "secret", digest, nonce, created, offset);
    return created;
  };
  const sys_seconds instants[] = {sys_days{year{2200} / 12 / 31} + hours{23} + minutes{59},
                                  sys_seconds{} + seconds{10}, sys_days{year{2030} / 6 / 1}};
  for (const sys_seconds at : instants) {
    const std::string c = created(towards(at));
    EXPECT_GE(c, FormatCreated(at));
    EXPECT_LE(c, FormatCreated(at + seconds{30}));
  }
  // Beyond the years a camera's clock shows, or beyond what any clock holds:
  // an error, never an overflow.
  const std::string outside = " с: это время вне 1970..2200 годов";
  const milliseconds offsets[] = {milliseconds::max(),
                                  milliseconds::min(),
                                  towards(sys_days{year{2201} / 1 / 1}),
                                  towards(sys_days{year{2263} / 1 / 1}),
                                  towards(sys_days{year{1969} / 12 / 31}),
                                  duration_cast<milliseconds>(years{-300})};
  for (const milliseconds offset : offsets) {
    SCOPED_TRACE(offset.count());
    const std::string error = ErrorOf([&] { created(offset); });
    EXPECT_NE(error.find(outside), std::string::npos) << error;
    EXPECT_NE(ErrorOf([&] { BuildGetProfiles("admin", "secret", offset); }), "(no error)");
  }
}

TEST(SoapEnvelopeTest, EnvelopesByteForByte) {
  EXPECT_EQ(Masked(BuildGetDeviceInformation("admin", "secret")),
            "<?xml version=\"1.0\"?> <soap:Envelope "
            "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
            "xmlns:wsdl=\"http://www.onvif.org/ver10/device/wsdl\"> <soap:Header>" +
                WithUser(kHeader, "admin") +
                "<soap:Body> <wsdl:GetDeviceInformation/> </soap:Body> </soap:Envelope>");
  // No login: no token, no header (a password alone signs nothing).
  EXPECT_EQ(Masked(BuildGetProfiles("", "secret")),
            "<?xml version=\"1.0\"?> <soap:Envelope "
            "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
            "xmlns:wsdl=\"http://www.onvif.org/ver10/media/wsdl\">"
            "<soap:Body xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"> <GetProfiles "
            "xmlns=\"http://www.onvif.org/ver10/media/wsdl\" /> </soap:Body> </soap:Envelope>");
  // Login and profile token are escaped.
  EXPECT_EQ(
      Masked(BuildGetSnapshotUri("a&b<c", "x", "p&1<2")),
      "<?xml version=\"1.0\"?> <soap:Envelope "
      "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
      "xmlns:wsdl=\"http://www.onvif.org/ver10/media/wsdl\"> <soap:Header>" +
          WithUser(kHeader, "a&amp;b&lt;c") +
          "<soap:Body> <wsdl:GetSnapshotUri> <wsdl:ProfileToken>p&amp;1&lt;2</wsdl:ProfileToken> "
          "</wsdl:GetSnapshotUri> </soap:Body> </soap:Envelope>");
}

class SoapExchangeTest : public ::testing::Test {
 protected:
  CameraSim sim{{"--user", "admin", "--password", "secret"}};
  std::string Media() { return sim.Url("/onvif/media"); }
};

TEST_F(SoapExchangeTest, TheCameraAcceptsTheTokenAndTheAnswersParse) {
  TDeviceInformation info;
  EXPECT_TRUE(ParseDeviceInformation(
      RequestDeviceInformation(sim.Url("/onvif/device_service"), "admin", "secret"), info));
  EXPECT_EQ(info.Manufacturer, "Zorvane");
  std::vector<TProfile> profiles;
  EXPECT_TRUE(ParseProfiles(RequestProfiles(sim.Url("/onvif/Media"), "admin", "secret"), profiles));
  ASSERT_EQ(profiles.size(), 2u);
  EXPECT_EQ(profiles[0].token, "Profile_1");
  TSnapshotUri uri;
  EXPECT_TRUE(ParseSnapshotUri(RequestSnapshotUri(Media(), "admin", "secret", "Profile_1"), uri));
  EXPECT_EQ(uri.Uri, sim.Url("/snapshot.jpg"));

  // A wrong password is refused like a real camera refuses it: 400 and a Fault.
  const std::string refused =
      RequestDeviceInformation(sim.Url("/onvif/device_service"), "admin", "wrong");
  EXPECT_NE(refused.find("ter:NotAuthorized"), std::string::npos);
  EXPECT_FALSE(ParseDeviceInformation(refused, info));
}

TEST_F(SoapExchangeTest, HeadersAsSent) {
  PostSoapRequest(Media(), BuildGetProfiles("admin", "secret"));
  Get(sim.Url("/snapshot.jpg"));
  sim.Configure(R"({"snapshot_auth": "basic"})");
  ErrorOf([&] { Get(sim.Url("/snapshot.jpg"), "admin", ""); });  // refused: the headers count
  ErrorOf([&] { Get(sim.Url("/snapshot.jpg"), "Сергей", "pä"); });
  // Each Basic answer follows the camera's 401 that asked for it.
  std::vector<TSimRequest> r = sim.Requests();
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[2].Header("Authorization"), "");
  EXPECT_EQ(r[4].Header("Authorization"), "");
  r.erase(r.begin() + 4);
  r.erase(r.begin() + 2);
  const std::string host = "127.0.0.1:" + std::to_string(sim.port());
  using Headers = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(r[0].method, "POST");
  EXPECT_EQ(r[0].headers, (Headers{{"Host", host},
                                   {"Content-Type", "text/xml;charset=utf-8"},
                                   {"Content-Length", std::to_string(r[0].body.size())}}));
  EXPECT_EQ(r[1].method, "GET");
  EXPECT_EQ(r[1].headers, (Headers{{"Host", host}, {"Content-Type", "text/xml;charset=utf-8"}}));
  EXPECT_EQ(r[2].Header("Authorization"), "Basic YWRtaW46");  // "admin:"
  // Characters beyond one byte go as "?", the others as their ISO-8859-1 byte.
  EXPECT_EQ(Base64Decode(r[3].Header("Authorization").substr(6)), "??????:p\xE4");
}

TEST_F(SoapExchangeTest, ErrorStatusesOfSoapAndSnapshot) {
  sim.Configure(R"({"fault": "soap500"})");
  const std::string fault = PostSoapRequest(Media(), BuildGetProfiles("admin", "secret"));
  EXPECT_NE(fault.find("ActionFailed"), std::string::npos);  // returned, not raised

  sim.Configure(R"({"fault": "status", "status": 404})");
  TMemoryStream out;
  EXPECT_EQ(ErrorOf([&] { HttpGet(sim.Url("/snapshot.jpg"), "", "", out); }),
            "HTTP 404 Not Found: " + sim.Url("/snapshot.jpg"));
  EXPECT_EQ(out.Bytes(), "");  // nothing written

  sim.Configure(R"({"fault": null})");
  EXPECT_EQ(ErrorOf([&] { HttpGet(sim.Url("/missing.jpg"), "", "", out); }),
            "HTTP 404 Not Found: " + sim.Url("/missing.jpg"));
  EXPECT_NE(
      ErrorOf([] { PostSoapRequest("http://127.0.0.1:1/onvif/media", "<x/>"); }).find("127.0.0.1"),
      std::string::npos);
}

TEST_F(SoapExchangeTest, SnapshotAuthentication) {
  const std::string image =
      zorvane::testing::ReadFile(ZORVANE_SOURCE_DIR "/tools/camera-sim/snapshot.jpg");
  for (const char* mode : {"basic", "digest", "digest-sha256"}) {
    SCOPED_TRACE(mode);
    sim.Configure(std::string(R"({"snapshot_auth": ")") + mode + "\"}");
    EXPECT_EQ(Get(sim.Url("/snapshot.jpg"), "admin", "secret"), image);
    EXPECT_EQ(ErrorOf([&] { Get(sim.Url("/snapshot.jpg"), "admin", "wrong"); }),
              "HTTP 401 Unauthorized: " + sim.Url("/snapshot.jpg"));
    EXPECT_EQ(ErrorOf([&] { Get(sim.Url("/snapshot.jpg")); }),
              "HTTP 401 Unauthorized: " + sim.Url("/snapshot.jpg"));
  }
  // Nothing goes before the camera asks; then the strongest scheme it offers,
  // never Basic to a camera that takes Digest too.
  for (const char* offered : {"digest", "digest-sha256", "digest-or-basic", "basic"}) {
    SCOPED_TRACE(offered);
    sim.Reset();
    sim.Configure(std::string(R"({"snapshot_auth": ")") + offered + "\"}");
    EXPECT_EQ(Get(sim.Url("/snapshot.jpg"), "admin", "secret"), image);
    const auto r = sim.Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].Header("Authorization"), "");
    EXPECT_EQ(r[1].Header("Authorization").substr(0, 7),
              std::string(offered) == "basic" ? "Basic Y" : "Digest ");
  }
}

TEST_F(SoapExchangeTest, Redirects) {
  const std::string envelope = BuildGetProfiles("admin", "secret");
  struct Case {
    int status;
    const char* method;  // of the request that reaches the service
  };
  for (const Case c : {Case{301, "POST"}, Case{302, "POST"}, Case{307, "POST"}, Case{308, "POST"},
                       Case{303, "GET"}}) {
    SCOPED_TRACE(c.status);
    sim.Reset();
    sim.Configure("{\"fault\": \"redirect\", \"redirects\": 14, \"redirect_status\": " +
                  std::to_string(c.status) + "}");
    const std::string answer = PostSoapRequest(Media(), envelope);
    const auto r = sim.Requests();
    ASSERT_EQ(r.size(), 15u);
    EXPECT_EQ(r.back().method, c.method);
    EXPECT_EQ(r.back().body, std::string(c.method) == "POST" ? envelope : "");
    if (std::string(c.method) == "POST") {
      EXPECT_NE(answer.find("GetProfilesResponse"), std::string::npos);
    }
  }
  // One more than allowed: a clear error, and nothing delivered.
  sim.Configure(R"({"fault": "redirect", "redirects": 15, "redirect_status": 302})");
  EXPECT_EQ(ErrorOf([&] { PostSoapRequest(Media(), envelope); }),
            "Слишком много перенаправлений (больше 14): " + Media());
  TMemoryStream out;
  EXPECT_NE(ErrorOf([&] { HttpGet(sim.Url("/snapshot.jpg"), "", "", out); }), "(no error)");
  EXPECT_EQ(out.Bytes(), "");

  // A relative Location leads on from the address it came with.
  sim.Reset();
  sim.Configure(R"({"fault": "redirect_to", "fault_paths": ["/snapshot"], "redirect_status": 302,)"
                R"( "location": "sim/c/../c/./snapshot.jpg?n=a b"})");
  EXPECT_EQ(Get(sim.Url("/snapshot.jpg")).substr(0, 2), "\xFF\xD8");
  ASSERT_EQ(sim.Requests().size(), 2u);
  EXPECT_EQ(sim.Requests().back().path, "/sim/c/snapshot.jpg?n=a%20b");
}

TEST_F(SoapExchangeTest, CookiesLiveOneExchange) {
  sim.Configure(R"({"fault": "cookie"})");
  const std::string image = Get(sim.Url("/snapshot.jpg"));
  EXPECT_EQ(image.substr(0, 2), "\xFF\xD8");
  Get(sim.Url("/snapshot.jpg"));
  const auto r = sim.Requests();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].Header("Cookie"), "");
  EXPECT_EQ(r[1].Header("Cookie"), "session=sim-cookie");
  EXPECT_EQ(r[2].Header("Cookie"), "");  // the next exchange starts without it
}

TEST_F(SoapExchangeTest, SizeLimits) {
  sim.Configure("{\"fault\": \"oversized\", \"size\": " + std::to_string(kMaxSnapshotBytes + 1) +
                "}");
  TMemoryStream out;
  EXPECT_EQ(ErrorOf([&] { HttpGet(sim.Url("/snapshot.jpg"), "", "", out); }),
            "Ответ камеры больше 64 МиБ: " + sim.Url("/snapshot.jpg"));
  EXPECT_EQ(out.Bytes(), "");
  sim.Configure("{\"size\": " + std::to_string(kMaxSoapAnswerBytes + 1) + "}");
  EXPECT_EQ(ErrorOf([&] { PostSoapRequest(Media(), "<x/>"); }),
            "Ответ камеры больше 16 МиБ: " + Media());
  sim.Configure("{\"size\": " + std::to_string(kMaxSoapAnswerBytes) + "}");
  EXPECT_EQ(PostSoapRequest(Media(), "<x/>").size(), kMaxSoapAnswerBytes);
}

TEST_F(SoapExchangeTest, CamerasThatNeverAnswerTimeOut) {
  using clock = std::chrono::steady_clock;
  sim.Configure(R"({"fault": "hang"})");
  auto start = clock::now();
  const std::string hung = ErrorOf([&] { PostSoapRequest(Media(), "<x/>"); });
  // The low-speed limit comes first; the message says so, and which step it was.
  EXPECT_EQ(hung,
            "Обмен с камерой остановился: меньше 1024 байт/с в течение 10 с; не завершён шаг: "
            "SOAP: " +
                Media());
  EXPECT_LT(clock::now() - start, std::chrono::seconds(kSoapExchangeTimeoutMs / 1000 + 5));

  // A body that drips below the lowest speed is given up too.
  sim.Configure(R"({"fault": "drip", "drip_seconds": 60})");
  start = clock::now();
  TMemoryStream out;
  EXPECT_NE(ErrorOf([&] { HttpGet(sim.Url("/snapshot.jpg"), "", "", out); }), "(no error)");
  EXPECT_LT(clock::now() - start, std::chrono::seconds(kLowSpeedTimeSeconds + 5));
  EXPECT_EQ(out.Bytes(), "");
}

TEST(CallDeadlineTest, NestedScopesAndTheClockOncePerCall) {
  EXPECT_FALSE(TCallDeadline::Active());
  EXPECT_EQ(TCallDeadline::RemainingMs(15000, "x"), 15000);  // no deadline: the exchange's own
  {
    const TCallDeadline call(std::chrono::seconds(30));
    EXPECT_GT(TCallDeadline::RemainingMs(60000, "x"), 29000);
    EXPECT_TRUE(TCallDeadline::FirstClockSync());
    EXPECT_FALSE(TCallDeadline::FirstClockSync());
    {
      const TCallDeadline shorter(std::chrono::milliseconds(0));
      EXPECT_EQ(ErrorOf([] { TCallDeadline::RemainingMs(1000, "GetSnapshotUri"); }),
                "Камера не ответила за отведённое вызову время (0 с); не завершён шаг: "
                "GetSnapshotUri");
    }
    {
      const TCallDeadline longer(std::chrono::seconds(60));  // the call's end still counts
      EXPECT_LE(TCallDeadline::RemainingMs(60000, "x"), 30000);
      EXPECT_FALSE(TCallDeadline::FirstClockSync());
    }
    EXPECT_GT(TCallDeadline::RemainingMs(60000, "x"), 29000);
  }
  EXPECT_FALSE(TCallDeadline::Active());
}

TEST(CallCancelTest, ACancelledExchangeEndsAtOnceAndNothingStartsAfter) {
  // A camera that takes the request and never answers.
  CameraSim sim;
  sim.Configure(R"({"fault": "hang", "fault_paths": ["/onvif"]})");
  const auto source = std::make_shared<TCancelSource>();
  std::string error;
  std::thread call([&] {
    const TCallCancel scope(source);
    THttpSession session;
    THttpRequest request;
    request.Url = sim.Url("/onvif/device_service");
    request.Post = true;
    request.Body = "<x/>";
    request.Step = "GetDeviceInformation";
    std::string body;
    error = ErrorOf([&] { session.Exchange(request, body); });
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto start = std::chrono::steady_clock::now();
  source->Cancel();
  call.join();
  EXPECT_EQ(error, msg::kSearchCancelled);
  // A hang check only: the window test prints the figure.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(source->Register(0));
  EXPECT_FALSE(source->Sleep(std::chrono::seconds(30)));
  {
    const TCallCancel scope(source);
    EXPECT_EQ(ErrorOf([] { TCallDeadline::RemainingMs(1000, "x"); }), msg::kSearchCancelled);
  }
  EXPECT_EQ(TCallDeadline::RemainingMs(1000, "x"), 1000);  // the scope is over
}
