// The cameras the rest of the add-in talks to: TOnvifDevice (one camera, its
// settings and what it reported, its queries and the snapshot download) and
// TOnvifManager (the camera search: probe, then one queried device per answer).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "onvif/onvif_requests.h"
#include "onvif/soap_transport.h"
#include "onvif/ws_discovery.h"
#include "platform/cancel.h"
#include "xml/xml_document.h"
#include "xml/xml_stream.h"

namespace zorvane {

// Cameras queried at once during a search.
inline constexpr size_t kMaxConcurrentQueries = 8;
// A whole search, probes and queries, ends by then: no exchange runs past it,
// and cameras not queried by then are listed as failed with that reason.
inline constexpr std::chrono::seconds kSearchDeadline{60};

// A camera's answer, its body read once (LoadAnswer) for every question asked
// of it and then let go. Reading throws when the answer passes a limit.
struct TCameraAnswer {
  explicit TCameraAnswer(TSoapAnswer answer);
  TSoapAnswer Http;  // its Body is empty
  std::unique_ptr<TXmlDocument> Xml;
};

class TOnvifDevice {
 public:
  // An empty device: its owner sets Host, Port, Login, Password and Profile.
  TOnvifDevice() = default;
  // A device made from a probe match's address and queried at once; throws
  // when the camera does not answer as expected. With a deadline, no
  // exchange runs past it.
  TOnvifDevice(const std::string& AXAddrs, const std::string& ALogin, const std::string& APassword,
               std::optional<TDeadline> deadline = std::nullopt);

  std::string Password;
  std::string Login;
  std::string XAddrs;
  std::string Host;
  uint32_t Port = 0;
  std::string Name;
  TDeviceInformation FDeviceInformation;
  std::vector<TProfile> Profiles;
  std::string Profile;
  std::string SnapshotURI;

  // Device information, then the media profiles (appended).
  void GetDeviceInformation();
  // Forgets what was learned about the camera (clock, media address, request
  // style, profiles read for the default profile, the snapshot address, the
  // open connection): new settings, new camera.
  void ResetLearned();
  // One snapshot into the stream; with an empty URI the camera's own address
  // is used, asked once and then remembered (asked again when a download from
  // it fails, as some cameras hand out addresses that expire).
  void GetSnapshotImg(TStream& AImgStream, const std::string& ASnapshotURI);
  // The same, the image bytes put into image (whose capacity is reused).
  void GetSnapshotBytes(const std::string& ASnapshotURI, std::string& image);
  // The camera's maker, model and firmware, asked now.
  TDeviceInformation QueryDeviceInformation();
  // The snapshot address of the profile in use, asked of the camera now (and
  // remembered for the next photo).
  std::string AskSnapshotUri();
  // The RTSP address of the profile in use, asked of the camera now, as the
  // camera gave it (without the blanks around it): rtsp:// or rtsps:// with a
  // host, anything else is an error. Asked of the Media2 service on a camera
  // that has no other.
  // profile: the profile's token; empty: the profile in use.
  std::string AskStreamUri(const std::string& profile = "");
  // Whether the camera's login and password may go to url. An http or https
  // address: the rule of the camera's own requests (its origins). An rtsp or
  // rtsps address: the camera's host, as set up or as named by its device
  // address, or an address that name was looked up to, on any port. Any other
  // scheme, or an address that cannot be read: no.
  bool MaySendCredentialsTo(const std::string& url) const;
  // The profile whose snapshots are taken: the one set, else the camera's first.
  std::string ProfileInUse() const { return Profiles.empty() ? Profile : Profiles.front().token; }

 private:
  // An envelope for the login and password given (empty: no token).
  using TBuild = std::function<std::string(const std::string& login, const std::string& password,
                                           TClockOffset)>;
  std::string GetSnapshotUri();
  // Where media questions go before the camera says where its media service
  // is: the usual path on the camera's host and port.
  std::string GuessedMediaURL() const;
  // With no profile set, the camera's profiles, asked once: the first is then
  // the profile in use. A refused token fails with message.
  void ReadDefaultProfile(const char* message);
  // One SOAP request with the cures for cameras that need them: the SOAP 1.2
  // media type, HTTP Digest, and the camera's clock; each repeats it once.
  // A service the camera names on another host is asked without the token.
  TCameraAnswer Request(const std::string& url, const TBuild& build);
  // A media request: at the media address found earlier, else at url; when
  // that is not the media service, found through the device service, once.
  // A camera that has no such service (the device service names only a
  // Media2 service, or the media service does not know the action) is asked
  // build2 of its Media2 service, then and from then on.
  TCameraAnswer MediaRequest(const std::string& url, const TBuild& build, const TBuild& build2);
  bool SyncClock();
  // Asks the device service where the media service is; false when it does
  // not say, with its answer in refusal when it refused the token.
  bool FindMediaXAddr(std::optional<TCameraAnswer>& refusal);
  // Whether the camera has a Media2 service: named earlier, else asked of the
  // device service (GetServices) once.
  bool FindMedia2XAddr();
  std::string DeviceServiceURL() const;
  // The login and password, and the camera they may be sent to: its device
  // address, and the snapshot address the user gave.
  void PrepareSession(const std::string& userSnapshotURI = "");
  // Downloads from url; the reason, when the answer is not empty and not an
  // image, else empty.
  std::string DownloadSnapshot(const std::string& url, std::string& image);

  THttpSession FHttp;
  std::string FSnapshotURICache;
  TSoapOptions FSoapOptions;
  TClockOffset FClockOffset{0};
  std::string FMediaXAddr;
  std::string FMedia2XAddr;
  bool FServicesAsked = false;  // GetServices asked: FMedia2XAddr is what it named
  bool FMedia1Missing = false;  // media questions go to FMedia2XAddr
  bool FDefaultProfileAsked = false;
};

// A camera that answered the probe but whose queries failed.
struct TFailedDevice {
  std::string XAddrs;
  std::string Message;
};

// How far a search has come: told once when the cameras that answered are
// about to be queried (Device and Failure null), then once per camera as its
// queries end (Index into the probe's distinct answers; Device or Failure set).
struct TSearchProgress {
  size_t Total = 0;
  size_t Done = 0;
  size_t Index = 0;
  const TOnvifDevice* Device = nullptr;
  const TFailedDevice* Failure = nullptr;
};

class TOnvifManager {
 public:
  TOnvifManager();

  TONVIFProbe& OnvifProbe() { return FOnvifProbe; }
  uint8_t AttemptCnt = 5;
  std::string Password;
  std::string Login;
  std::string LocalIP;
  std::chrono::milliseconds SearchDeadline = kSearchDeadline;
  // Called on the querying threads, one call at a time.
  std::function<void(const TSearchProgress&)> OnProgress;

  const std::vector<std::unique_ptr<TOnvifDevice>>& OnvifDevicesList() const {
    return FOnvifDevicesList;
  }
  const std::vector<TFailedDevice>& FailedDevicesList() const { return FFailedDevicesList; }
  // What the last search left out: answers the probe dropped beyond its
  // limits (kMaxProbeMatches, kMaxProbeAnswers), and cameras not queried
  // before SearchDeadline (also in FailedDevicesList).
  size_t DroppedAnswers() const { return FDroppedAnswers; }
  size_t UnqueriedDevices() const { return FUnqueriedDevices; }

  // Probes (up to AttemptCnt attempts) and queries every camera that answered,
  // all within SearchDeadline; true when any answer arrived. What was left
  // out is also told to the probe's OnLogMessage.
  bool SearchDeices();
  // From any thread: the running search (and any later one) stops within
  // moments, its transfers aborted; cameras not queried are failed with
  // kSearchCancelled.
  void Cancel() { FCancel->Cancel(); }
  bool Cancelled() const { return FCancel->Cancelled(); }

 private:
  void FillDevicesList(const TDeadline& deadline);

  std::shared_ptr<TCancelSource> FCancel = std::make_shared<TCancelSource>();
  TONVIFProbe FOnvifProbe;
  std::vector<std::unique_ptr<TOnvifDevice>> FOnvifDevicesList;
  std::vector<TFailedDevice> FFailedDevicesList;
  size_t FDroppedAnswers = 0;
  size_t FUnqueriedDevices = 0;
};

}  // namespace zorvane
