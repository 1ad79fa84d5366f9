#include "onvif/onvif_manager.h"

#include <atomic>
#include <optional>
#include <thread>

#include "common/error.h"
#include "onvif/soap_transport.h"

namespace zorvane {

namespace {

constexpr char kNoDeviceInformation[] = "Не удалось получить информацию об устройстве";
constexpr char kNoProfiles[] = "Не удалось получить информацию о профилях";
constexpr char kNoSnapshotInformation[] = "Не удалось получить информацию о фотоснимке";

// The message, followed by the reason the answer gives, if it gives one.
[[noreturn]] void Fail(const char* message, const TSoapAnswer& answer) {
  const std::string reason = FailureReason(answer);
  throw Error(reason.empty() ? std::string(message) : std::string(message) + ": " + reason);
}

uint32_t PortOf(const TUrlParts& url) {
  if (url.port.empty()) return 80;
  uint32_t port = 0;
  for (char c : url.port) {
    if (c < '0' || c > '9' || port > 429496729) return 0;
    port = port * 10 + static_cast<uint32_t>(c - '0');
  }
  return port;
}

}  // namespace

TOnvifDevice::TOnvifDevice(const std::string& AXAddrs, const std::string& ALogin, const std::string& APassword)
    : Password(APassword), Login(ALogin), XAddrs(AXAddrs) {
  const TUrlParts url = SplitUrl(AXAddrs);
  Host = url.host;
  Port = PortOf(url);
  GetDeviceInformation();
  SnapshotURI = GetSnapshotUri();
}

void TOnvifDevice::GetDeviceInformation() {
  const TSoapAnswer info = PostSoap(XAddrs, BuildGetDeviceInformation(Login, Password));
  if (!ParseDeviceInformation(info.Body, FDeviceInformation)) Fail(kNoDeviceInformation, info);
  Name = FDeviceInformation.Model + " на " + Host;
  const TSoapAnswer profiles = PostSoap(BuildServiceURL(XAddrs, TOnvifService::osMedia), BuildGetProfiles(Login, Password));
  if (!ParseProfiles(profiles.Body, Profiles)) Fail(kNoProfiles, profiles);
}

std::string TOnvifDevice::GetSnapshotUri() {
  const std::string token = Profiles.empty() ? Profile : Profiles.front().token;
  const std::string url = "http://" + Host + ":" + std::to_string(Port) + "/onvif/Media";
  const TSoapAnswer answer = PostSoap(url, BuildGetSnapshotUri(Login, Password, token));
  TSnapshotUri uri;
  if (!ParseSnapshotUri(answer.Body, uri)) Fail(kNoSnapshotInformation, answer);
  return uri.Uri;
}

void TOnvifDevice::GetSnapshotImg(TStream& AImgStream, const std::string& ASnapshotURI) {
  std::string image;
  GetSnapshotBytes(ASnapshotURI, image);
  AImgStream.Write(image.data(), image.size());
}

void TOnvifDevice::GetSnapshotBytes(const std::string& ASnapshotURI, std::string& image) {
  const std::string url = ASnapshotURI.empty() ? GetSnapshotUri() : ASnapshotURI;
  HttpGetBytes(url, Login, Password, image);
}

TOnvifManager::TOnvifManager() { FOnvifProbe.Timeout = 1000; }

bool TOnvifManager::SearchDeices() {
  FOnvifDevicesList.clear();
  FFailedDevicesList.clear();
  for (int attempt = 0; attempt < AttemptCnt; ++attempt) {
    if (FOnvifProbe.Execute(LocalIP)) {
      FillDevicesList();
      return true;
    }
  }
  return false;
}

void TOnvifManager::FillDevicesList() {
  const std::vector<TProbeMatch> matches = UniqueProbeMatch(FOnvifProbe.ProbeMatchArray());
  // Query the cameras a few at a time; the lists keep the order of the matches.
  std::vector<std::unique_ptr<TOnvifDevice>> devices(matches.size());
  std::vector<std::optional<std::string>> failures(matches.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next++) < matches.size();) {
      try {
        devices[i] = std::make_unique<TOnvifDevice>(matches[i].XAddrs, Login, Password);
      } catch (const std::exception& e) {
        failures[i] = e.what();
      } catch (...) {
        failures[i] = "Unknown error";
      }
    }
  };
  std::vector<std::thread> pool;
  for (size_t k = 0; k < std::min(kMaxConcurrentQueries, matches.size()); ++k) pool.emplace_back(work);
  for (std::thread& t : pool) t.join();
  for (size_t i = 0; i < matches.size(); ++i) {
    if (devices[i]) {
      FOnvifDevicesList.push_back(std::move(devices[i]));
    } else {
      FFailedDevicesList.push_back({matches[i].XAddrs, failures[i].value_or("")});
    }
  }
}

}  // namespace zorvane
