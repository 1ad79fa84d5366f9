// Camera search: the probe messages and the reading of answers, and real
// searches over private networks (namespaces, veth pairs and bridges) with
// simulated cameras answering WS-Discovery probes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <latch>
#include <mutex>
#include <thread>

#include "common/error.h"
#include "onvif/main_thread_queue.h"
#include "onvif/onvif_manager.h"
#include "onvif/ws_discovery.h"
#include "tests/support/camera_sim.h"
#include "tests/support/checks.h"
#include "tests/support/process.h"
#include "tests/support/test_network.h"

using namespace zorvane;
using zorvane::testing::CameraSim;
using zorvane::testing::ErrorOf;
#include "tests/support/host_runner.h"
using zorvane::testing::Has;
using zorvane::testing::LoopbackListener;
using zorvane::testing::ProbeFlood;
using zorvane::testing::TestNetwork;

namespace {

std::string Answer(const std::string& match) {
  return "<e:Envelope><e:Body><d:ProbeMatches>" + match + "</d:ProbeMatches></e:Body></e:Envelope>";
}

}  // namespace

TEST(DiscoveryMessageTest, ProbeMessageAsSent) {
  EXPECT_EQ(
      BuildProbeMessage(TProbeType::ptDevice),
      "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
      "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\"><s:Header><a:Action "
      "s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>"
      "<a:MessageID>uuid:ad3ceb1c-17a4-424c-ab82-1e227f808cf8</a:MessageID><a:ReplyTo><a:Address>"
      "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</a:Address></a:ReplyTo>"
      "<a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To></s:Header>"
      "<s:Body><Probe xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><d:Types "
      "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
      "xmlns:dp0=\"http://www.onvif.org/ver10/device/wsdl\">dp0:Device</d:Types></Probe></s:Body>"
      "</s:Envelope>");
  EXPECT_NE(BuildProbeMessage(TProbeType::ptNetworkVideoTransmitter)
                .find("uuid:683b9488-db0b-44d6-9d40-a735d8483f8a</a:MessageID>"),
            std::string::npos);
  EXPECT_NE(
      BuildProbeMessage(TProbeType::ptNetworkVideoDisplay)
          .find("xmlns:dp0=\"http://www.onvif.org/ver10/network/wsdl\">dp0:NetworkVideoDisplay<"),
      std::string::npos);
}

TEST(DiscoveryMessageTest, ReadingProbeMatches) {
  TProbeMatch m;
  ASSERT_TRUE(ParseProbeMatch(
      Answer(
          "<d:ProbeMatch><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>"
          "<d:Scopes> a  b c\n</d:Scopes>"
          "<d:XAddrs>http://10.0.0.1/onvif/device_service http://[fe80::1]/x http://h/y</d:XAddrs>"
          "<d:MetadataVersion>3</d:MetadataVersion></d:ProbeMatch>"
          "<d:ProbeMatch><d:XAddrs>http://second</d:XAddrs></d:ProbeMatch>"),
      m));
  EXPECT_EQ(m.Types, (TProbeTypeSet{TProbeType::ptNetworkVideoTransmitter, TProbeType::ptDevice}));
  EXPECT_EQ(m.Scopes, (std::vector<std::string>{"a", "", "b", "c"}));
  EXPECT_EQ(m.XAddrs, "http://10.0.0.1/onvif/device_service");
  EXPECT_EQ(m.XAddrsV6, "http://[fe80::1]/x http://h/y");
  EXPECT_EQ(m.MetadataVersion, 3);
  EXPECT_FALSE(m.XML.empty());

  ASSERT_TRUE(ParseProbeMatch(Answer("<ProbeMatch><XAddrs>http://h</XAddrs></ProbeMatch>"), m));
  EXPECT_EQ(m.XML, "");  // no Scopes, no XML
  EXPECT_TRUE(m.Types.Empty());
  EXPECT_FALSE(ParseProbeMatch(Answer("<ProbeMatch><Other/></ProbeMatch>"), m));
  EXPECT_FALSE(ParseProbeMatch("not xml at all", m));
  EXPECT_EQ(ErrorOf([&] {
              ParseProbeMatch(
                  Answer("<ProbeMatch><MetadataVersion>x</MetadataVersion></ProbeMatch>"), m);
            }),
            "'x' is not a valid integer value");

  const auto match = [](const std::string& xaddrs, const std::string& scope) {
    TProbeMatch p;
    p.XAddrs = xaddrs;
    p.Scopes = {scope};
    return p;
  };
  // One match per address as written (the first seen), in the order of the
  // addresses ignoring case; addresses equal but for case, as they came.
  const std::vector<TProbeMatch> unique =
      UniqueProbeMatch({match("http://B", "S1"), match("http://a", "S0"), match("http://B", "S2"),
                        match("http://b", "S3"), match("http://A", "S4"), match("http://a", "S5")});
  std::vector<std::string> got;
  for (const TProbeMatch& m : unique) got.push_back(m.XAddrs + " " + m.Scopes[0]);
  EXPECT_EQ(got,
            (std::vector<std::string>{"http://a S0", "http://A S4", "http://B S1", "http://b S3"}));
}

TEST(DiscoveryProbeTest, NothingToAskForSendsNothing) {
  TONVIFProbe probe;
  probe.ProbeType = {};
  std::vector<std::string> log;
  probe.OnLogMessage = [&](const std::string& m) { log.push_back(m); };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(probe.Execute(""));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(probe.Count(), 0u);
}

TEST(DiscoveryProbeTest, AnAddressNotOfThisMachineFailsTheAttempt) {
  TONVIFProbe probe;
  std::vector<std::string> log;
  probe.OnLogMessage = [&](const std::string& m) { log.push_back(m); };
  EXPECT_FALSE(probe.Execute("192.0.2.99"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(
      log[0].rfind("TONVIFProbeThread ERROR: Не удалось привязать сокет к адресу 192.0.2.99", 0),
      0u)
      << log[0];
}

TEST(DiscoveryProbeTest, TwoProbesAtOnceHearOnlyTheirOwnLog) {
  // Each probe fails on an address of its own, again and again, at the same
  // time as the other: its listener hears its own texts only, on its own thread.
  struct Search {
    explicit Search(const char* a) : address(a) {}
    const char* address;
    TONVIFProbe probe;
    std::thread::id thread;
    std::vector<std::string> log;
    bool elsewhere = false;
  };
  Search searches[2] = {Search("192.0.2.98"), Search("192.0.2.99")};
  constexpr int kAttempts = 20;
  std::latch start(2);
  std::vector<std::thread> threads;
  for (Search& s : searches) {
    threads.emplace_back([&s, &start] {
      s.thread = std::this_thread::get_id();
      s.probe.OnLogMessage = [&s](const std::string& m) {
        if (std::this_thread::get_id() != s.thread) s.elsewhere = true;
        s.log.push_back(m);
      };
      start.arrive_and_wait();
      for (int i = 0; i < kAttempts; ++i) s.probe.Execute(s.address);
    });
  }
  for (std::thread& t : threads) t.join();
  for (const Search& s : searches) {
    SCOPED_TRACE(s.address);
    EXPECT_FALSE(s.elsewhere);
    EXPECT_EQ(s.log.size(), static_cast<size_t>(kAttempts));
    const std::string own =
        "TONVIFProbeThread ERROR: Не удалось привязать сокет к адресу " + std::string(s.address);
    for (const std::string& m : s.log) EXPECT_EQ(m.rfind(own, 0), 0u) << m;
  }
}

class DeviceTest : public ::testing::Test {
 protected:
  CameraSim sim{{"--user", "admin", "--password", "secret"}};
};

TEST_F(DeviceTest, ADeviceFromItsAddressIsQueriedAtOnce) {
  TOnvifDevice device(sim.Url("/onvif/device_service"), "admin", "secret");
  EXPECT_EQ(device.Host, "127.0.0.1");
  EXPECT_EQ(device.Port, static_cast<uint32_t>(sim.port()));
  EXPECT_EQ(device.Name, "camera-sim на 127.0.0.1");
  ASSERT_EQ(device.Profiles.size(), 2u);
  EXPECT_EQ(device.SnapshotURI, sim.Url("/snapshot.jpg"));
  const auto r = sim.Requests();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].path, "/onvif/device_service");
  EXPECT_EQ(r[1].path, "/onvif/media");  // the last segment of XAddrs replaced
  EXPECT_EQ(r[2].path, "/onvif/Media");  // always /onvif/Media at host and port
  EXPECT_NE(r[2].body.find("<wsdl:ProfileToken>Profile_1</wsdl:ProfileToken>"), std::string::npos);

  EXPECT_EQ(ErrorOf([&] { TOnvifDevice(sim.Url("/onvif/device_service"), "admin", "wrong"); }),
            "Не удалось получить информацию об устройстве: Sender not authorized");
  // A camera that names another scheme as its address is not followed there.
  LoopbackListener listener;
  for (const char* scheme : {"dict", "gopher", "ldap", "telnet"}) {
    const std::string xaddrs =
        std::string(scheme) + "://127.0.0.1:" + std::to_string(listener.port()) + "/onvif";
    EXPECT_TRUE(Has(ErrorOf([&] { TOnvifDevice(xaddrs, "admin", "secret"); }),
                    std::string("Схема URL «") + scheme + "»"));
  }
  EXPECT_EQ(listener.Arrived(), 0);
  sim.Configure(R"({"fault": "html", "fault_paths": ["/onvif/media"]})");
  EXPECT_EQ(ErrorOf([&] { TOnvifDevice(sim.Url("/onvif/device_service"), "admin", "secret"); }),
            "Не удалось получить информацию о профилях");

  // A camera that tells anyone what it is, with its media service elsewhere:
  // a refused password is its own fault, not the 404 of the address guessed.
  sim.Reset();
  sim.Configure(R"({"strict_paths": true, "media_paths": ["/onvif/media_service"],
                    "open_actions": ["GetDeviceInformation"]})");
  EXPECT_EQ(ErrorOf([&] { TOnvifDevice(sim.Url("/onvif/device_service"), "admin", "wrong"); }),
            "Не удалось получить информацию о профилях: Sender not authorized");
  EXPECT_EQ(TOnvifDevice(sim.Url("/onvif/device_service"), "admin", "secret").SnapshotURI,
            sim.Url("/snapshot.jpg"));
}

TEST_F(DeviceTest, SnapshotsOfTheDriversDevice) {
  TOnvifDevice device;
  device.Host = "127.0.0.1";
  device.Port = static_cast<uint32_t>(sim.port());
  device.Login = "admin";
  device.Password = "secret";
  device.Profile = "Profile_2";
  TMemoryStream image;
  device.GetSnapshotImg(image, "");
  EXPECT_EQ(image.Bytes().substr(0, 2), "\xFF\xD8");
  auto r = sim.Requests();
  ASSERT_EQ(r.size(), 2u);  // GetSnapshotUri, then the download
  EXPECT_NE(r[0].body.find("<wsdl:ProfileToken>Profile_2</wsdl:ProfileToken>"), std::string::npos);
  sim.Reset();
  TMemoryStream again;
  device.GetSnapshotImg(again, sim.Url("/snapshot.jpg"));
  EXPECT_EQ(sim.Requests().size(), 1u);  // the address given: only the download

  // New settings take effect as the driver's connect gives them: the
  // remembered address and connection are forgotten.
  device.Password = "wrong";
  device.ResetLearned();
  EXPECT_EQ(ErrorOf([&] { device.GetSnapshotImg(again, ""); }),
            "Не удалось получить информацию о фотоснимке: Sender not authorized");
  device.Port = 0;
  device.ResetLearned();
  EXPECT_NE(ErrorOf([&] { device.GetSnapshotImg(again, ""); }).find("127.0.0.1:0"),
            std::string::npos);
}

// ---- searches over private networks ---------------------------------------------------

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string reason = TestNetwork::CannotRun();
    if (!reason.empty()) GTEST_SKIP() << "skipped: " << reason;
    net = std::make_unique<TestNetwork>();
  }
  // A camera on its own address of segment 0, answering probes. Cameras are
  // made before the client: the test thread enters the client's network.
  CameraSim& Camera(const std::string& name, const std::string& address,
                    const std::vector<std::string>& extra = {}) {
    sims.push_back(zorvane::testing::DiscoverableCamera(*net, name, address, extra));
    return *sims.back();
  }
  void Client(const std::string& address = "198.51.100.2") {
    net->AddHost("client", 0, address);
    net->Enter("client");
  }

  std::unique_ptr<TestNetwork> net;
  std::vector<std::unique_ptr<CameraSim>> sims;
};

TEST_F(SearchTest, EveryCameraIsFoundAndQueried) {
  net->AddSegment();
  Camera("cam3", "198.51.100.13");
  Camera("cam1", "198.51.100.11");
  Camera("cam2", "198.51.100.12");
  Client();
  TOnvifManager manager;
  manager.Login = "admin";
  manager.Password = "secret";
  ASSERT_TRUE(manager.SearchDeices());
  ASSERT_EQ(manager.OnvifDevicesList().size(), 3u);  // answers up to 500 ms late are not lost
  for (int i = 0; i < 3; ++i) {
    const TOnvifDevice& d = *manager.OnvifDevicesList()[i];
    const std::string host = "198.51.100.1" + std::to_string(i + 1);
    EXPECT_EQ(d.Host, host);
    EXPECT_EQ(d.Name, "cam" + std::to_string(i + 1) + " на " + host);
    EXPECT_EQ(d.Profiles.size(), 2u);
    EXPECT_NE(d.SnapshotURI.find(host), std::string::npos);
  }
  EXPECT_TRUE(manager.FailedDevicesList().empty());
}

TEST_F(SearchTest, AFailingCameraDoesNotHideTheOthers) {
  net->AddSegment();
  Camera("good", "198.51.100.11");
  Camera("locked", "198.51.100.12", {"--password", "other"});
  CameraSim& empty = Camera("empty", "198.51.100.13");
  Client();
  empty.Configure(R"({"xaddrs": ""})");
  TOnvifManager manager;
  manager.Login = "admin";
  manager.Password = "secret";
  ASSERT_TRUE(manager.SearchDeices());
  ASSERT_EQ(manager.OnvifDevicesList().size(), 1u);
  EXPECT_EQ(manager.OnvifDevicesList()[0]->Host, "198.51.100.11");
  const auto& failed = manager.FailedDevicesList();
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed[0].XAddrs, "");  // sorted first
  EXPECT_NE(failed[0].Message, "");
  EXPECT_EQ(failed[1].XAddrs,
            "http://198.51.100.12:" + std::to_string(sims[1]->port()) + "/onvif/device_service");
  EXPECT_EQ(failed[1].Message,
            "Не удалось получить информацию об устройстве: Sender not authorized");
}

TEST_F(SearchTest, AnswersThatCannotBeRead) {
  net->AddSegment();
  CameraSim& garbage = Camera("garbage", "198.51.100.11");
  CameraSim& badmeta = Camera("badmeta", "198.51.100.12");
  CameraSim& huge = Camera("huge", "198.51.100.13");
  Client();
  garbage.Configure(R"({"probe_answer": "garbage"})");
  badmeta.Configure(R"({"probe_answer": "bad_metadata"})");
  huge.Configure(R"({"probe_answer": "huge"})");
  TONVIFProbe probe;
  ASSERT_TRUE(probe.Execute(""));
  EXPECT_EQ(probe.Count(), 0u);  // nothing readable
  std::vector<std::string> texts;
  for (size_t i = 0; i < 10 && !probe.GetProbeMatchXML(i).empty(); ++i)
    texts.push_back(probe.GetProbeMatchXML(i));
  // Each camera answers two probes (transmitter, device); the 9000-byte answers are dropped.
  EXPECT_EQ(texts.size(), 4u);
  for (const std::string& t : texts) EXPECT_LT(t.size(), 8192u);
}

TEST_F(SearchTest, AnAnswerOfTheLargestSizeIsKeptAndOneByteMoreIsDropped) {
  net->AddSegment();
  net->AddHost("largest", 0, "198.51.100.20");
  net->AddHost("larger", 0, "198.51.100.21");
  ProbeFlood largest(*net, "largest", "198.51.100.20", 1, kMaxDatagramBytes);
  ProbeFlood larger(*net, "larger", "198.51.100.21", 1, kMaxDatagramBytes + 1);
  Client();
  TONVIFProbe probe;
  ASSERT_TRUE(probe.Execute(""));
  EXPECT_EQ(largest.Sent(), 1);
  EXPECT_EQ(larger.Sent(), 1);
  EXPECT_EQ(probe.GetProbeMatchXML(0).size(), kMaxDatagramBytes);
  EXPECT_EQ(probe.GetProbeMatchXML(1), "");
  EXPECT_EQ(probe.Count(), 1u);
}

TEST_F(SearchTest, NoCameraAtAll) {
  net->AddSegment();
  CameraSim& silent = Camera("silent", "198.51.100.11");
  Client();
  silent.Configure(R"({"probe_answer": "huge"})");
  TOnvifManager manager;
  std::mutex lock;
  std::vector<std::string> log;
  manager.OnvifProbe().OnLogMessage = [&](const std::string& m) {
    std::lock_guard<std::mutex> g(lock);
    log.push_back(m);
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(manager.SearchDeices());
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(5 * 1000));
  EXPECT_LT(elapsed, std::chrono::milliseconds(5 * 1000 + 3000));
  EXPECT_EQ(log, std::vector<std::string>(5, "TONVIFProbeThread: 1"));
  EXPECT_TRUE(manager.OnvifDevicesList().empty());
}

TEST_F(SearchTest, AFloodOfSpoofedMatchesIsCutShortAndReported) {
  // Thousands of padded matches, each naming a camera that is not there:
  // the probe keeps so many, the search ends by its deadline, and both say
  // what they left out.
  net->AddSegment();
  net->AddHost("flood", 0, "198.51.100.20");
  ProbeFlood flood(*net, "flood", "198.51.100.20", 3000, 8000);
  Client();
  TOnvifManager manager;
  manager.SearchDeadline = std::chrono::seconds(6);
  std::vector<std::string> log;
  manager.OnvifProbe().OnLogMessage = [&](const std::string& m) { log.push_back(m); };
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(manager.SearchDeices());
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, manager.SearchDeadline + std::chrono::milliseconds(1500));
  EXPECT_GT(flood.Sent(), static_cast<int>(kMaxProbeMatches));
  EXPECT_GT(manager.DroppedAnswers(), 0u);
  EXPECT_TRUE(manager.OnvifDevicesList().empty());
  EXPECT_EQ(manager.FailedDevicesList().size(), kMaxProbeMatches);
  EXPECT_GT(manager.UnqueriedDevices(), 0u);
  const size_t late =
      std::count_if(manager.FailedDevicesList().begin(), manager.FailedDevicesList().end(),
                    [](const TFailedDevice& f) {
                      return f.Message == "Камера не опрошена: время поиска истекло";
                    });
  EXPECT_EQ(late, manager.UnqueriedDevices());
  const std::string dropped = std::to_string(manager.DroppedAnswers());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "TONVIFProbeThread: " + dropped + " answers dropped (more than " +
                          std::to_string(kMaxProbeMatches) + " cameras or " +
                          std::to_string(kMaxProbeAnswers) + " answers)"),
            log.end());
  EXPECT_EQ(log.back(), "SearchDeices: " + dropped + " answers dropped, " +
                            std::to_string(manager.UnqueriedDevices()) +
                            " cameras not queried within 6 s");
}

TEST_F(SearchTest, TheProbeLeavesThroughTheChosenInterface) {
  net->AddSegment();
  net->AddSegment();
  net->AddHost("west", 0, "198.51.100.11", 25);
  net->AddHost("east", 1, "198.51.100.140", 25);
  for (const auto& [name, address] :
       {std::pair{"west", "198.51.100.11"}, std::pair{"east", "198.51.100.140"}}) {
    sims.push_back(std::make_unique<CameraSim>(
        std::vector<std::string>{"--discovery", address, "--model", name}, net->Namespace(name),
        address));
  }
  net->AddHost("client", 0, "198.51.100.2", 25);
  net->AddHost("client", 1, "198.51.100.130", 25);
  net->Enter("client");
  for (const auto& [local, found] : {std::pair{"198.51.100.130", "198.51.100.140"},
                                     std::pair{"198.51.100.2", "198.51.100.11"}}) {
    SCOPED_TRACE(local);
    TOnvifManager manager;
    manager.LocalIP = local;
    ASSERT_TRUE(manager.SearchDeices());
    ASSERT_EQ(manager.OnvifDevicesList().size(), 1u);
    EXPECT_EQ(manager.OnvifDevicesList()[0]->Host, found);
  }
}

TEST_F(SearchTest, ABackgroundProbeReportsOnTheServingThread) {
  net->AddSegment();
  Camera("cam1", "198.51.100.11");
  Client();
  TONVIFProbe probe;
  std::vector<std::string> xaddrs;
  int texts = 0;
  bool completed = false;
  const std::thread::id serving = std::this_thread::get_id();
  probe.OnProbeMath = [&](const TProbeMatch& m) {
    EXPECT_EQ(std::this_thread::get_id(), serving);
    xaddrs.push_back(m.XAddrs);
  };
  probe.OnProbeMathXML = [&](const std::string&) { ++texts; };
  probe.OnCompleted = [&](TONVIFProbe& p) {
    EXPECT_EQ(&p, &probe);
    completed = true;
  };
  EXPECT_TRUE(probe.ExecuteAsync());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!completed && std::chrono::steady_clock::now() < deadline) {
    probe.Queue().Serve(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(completed);
  EXPECT_EQ(texts, 2);  // the camera answers the transmitter and the device probe
  ASSERT_EQ(xaddrs.size(), 2u);
  EXPECT_EQ(xaddrs[0],
            "http://198.51.100.11:" + std::to_string(sims[0]->port()) + "/onvif/device_service");
  EXPECT_EQ(probe.Count(), 2u);
}

TEST_F(SearchTest, TheHostSearchCommandListsCamerasAndFailures) {
  net->AddSegment();
  Camera("gate", "198.51.100.11");
  Camera("locked", "198.51.100.12", {"--password", "other"});
  CameraSim& elsewhere = Camera("elsewhere", "198.51.100.13", {"--password", "other"});
  Client();
  // Its media service elsewhere, and its device information open to anyone.
  elsewhere.Configure(R"({"strict_paths": true, "media_paths": ["/onvif/media_service"],
                          "open_actions": ["GetDeviceInformation"]})");
  const zorvane::testing::RunResult r = zorvane::testing::RunProgram(
      "/bin/sh", {"-c", "ip netns exec " + net->Namespace("client") + " " + ZORVANE_HOST_PATH +
                            " search --login admin --password secret"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::string port = std::to_string(sims[0]->port());
  EXPECT_NE(r.output.find("camera gate на 198.51.100.11\n  xaddrs http://198.51.100.11:" + port +
                          "/onvif/device_service\n  host 198.51.100.11 port " + port +
                          "\n  snapshot http://198.51.100.11:" + port +
                          "/snapshot.jpg\n  profile Profile_1 \"mainStream\" H264 1920x1080\n"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("failed http://198.51.100.12:" + std::to_string(sims[1]->port()) +
                          "/onvif/device_service: Не удалось получить информацию об устройстве: "
                          "Sender not authorized\n"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("failed http://198.51.100.13:" + std::to_string(sims[2]->port()) +
                          "/onvif/device_service: Не удалось получить информацию о профилях: "
                          "Sender not authorized\n"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("found 1 camera(s), 2 failed\n"), std::string::npos);
}
