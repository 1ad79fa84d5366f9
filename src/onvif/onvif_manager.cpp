#include "onvif/onvif_manager.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "common/error.h"
#include "common/text.h"
#include "log/log_writer.h"
#include "onvif/call_deadline.h"
#include "onvif/messages.h"
#include "onvif/soap_transport.h"

namespace zorvane {

namespace {

// The message, followed by the reason the answer gives, if it gives one.
[[noreturn]] void Fail(const char* message, const TCameraAnswer& answer) {
  const std::string reason = FailureReason(answer.Http, *answer.Xml);
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

// Tells the log what a cure did; a log that cannot be written does not stop the photo.
void LogInfo(const std::string& text) {
  TryWriteLog(text, TLogLevel::llInfo);
}

// A refused password (401) is not a missing service: nothing to look for elsewhere.
bool IsMediaMissing(const TCameraAnswer& a) {
  return a.Http.Status != 401 &&
         (a.Http.Status == 404 || a.Http.Status == 405 || !IsSoapEnvelope(*a.Xml));
}

// Whether an answer is an image: by the first bytes of the formats cameras
// send (JPEG, PNG, GIF, BMP), whatever its media type says. A camera's error
// page is not one, even one sent as "image/jpeg".
bool LooksLikeImage(const std::string& body) {
  static constexpr std::string_view kMagic[] = {"\xFF\xD8\xFF", "\x89PNG", "GIF8", "BM"};
  for (std::string_view magic : kMagic) {
    if (body.compare(0, magic.size(), magic) == 0) return true;
  }
  return false;
}

// The first bytes of an answer as they may be shown in a message.
std::string FirstBytes(const std::string& body) {
  constexpr size_t kShown = 48;
  std::string text = EscapeControl(std::string_view(body).substr(0, kShown));
  if (body.size() > kShown) text += "…";
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The host of a URL as SplitUrl reads it, in lower case; empty for one it cannot read.
std::string HostOf(const std::string& url) {
  try {
    return Lower(SplitUrl(url).host);
  } catch (const Error&) {
    return {};
  }
}

// Why the camera's stream address cannot be used, or empty when it can:
// rtsp or rtsps, with a host.
std::string StreamUriProblem(const std::string& uri) {
  if (uri.empty()) return msg::WithReason(msg::kNoStreamUri, msg::kStreamUriEmpty);
  const std::string scheme = Lower(uri.substr(0, uri.find("://")));
  if (uri.find("://") == std::string::npos || (scheme != "rtsp" && scheme != "rtsps")) {
    return msg::StreamUriNotRtsp(PrintableUrl(uri));
  }
  if (HostOf(uri).empty()) {
    return msg::StreamUriWithoutHost(PrintableUrl(uri));
  }
  return {};
}

std::string Trim(const std::string& text) {
  const size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return text.substr(b, text.find_last_not_of(" \t\r\n") - b + 1);
}

}  // namespace

TCameraAnswer::TCameraAnswer(TSoapAnswer answer)
    : Http(std::move(answer)), Xml(std::make_unique<TXmlDocument>()) {
  LoadAnswer(*Xml, Http.Body);
  // Every question about the answer asks the document: the body may go
  // (swapped away: assigning an empty string would keep its block).
  std::string().swap(Http.Body);
}

TOnvifDevice::TOnvifDevice(const std::string& AXAddrs, const std::string& ALogin,
                           const std::string& APassword, std::optional<TDeadline> deadline)
    : Password(APassword), Login(ALogin), XAddrs(AXAddrs) {
  // One camera of a search: its own deadline, and the search's when that comes first.
  auto budget = std::chrono::duration_cast<std::chrono::milliseconds>(kDeviceQueryDeadline);
  if (deadline) budget = std::min(budget, std::chrono::milliseconds(deadline->RemainingMs()));
  const TCallDeadline scope(budget);
  const TUrlParts url = SplitUrl(AXAddrs);
  Host = url.host;
  Port = PortOf(url);
  GetDeviceInformation();
  SnapshotURI = GetSnapshotUri();
}

void TOnvifDevice::ResetLearned() {
  FSoapOptions = TSoapOptions{};
  FClockOffset = TClockOffset(0);
  FMediaXAddr.clear();
  FMedia2XAddr.clear();
  FServicesAsked = false;
  FMedia1Missing = false;
  if (FDefaultProfileAsked) Profiles.clear();
  FDefaultProfileAsked = false;
  FSnapshotURICache.clear();
  FHttp.Reset();
}

void TOnvifDevice::PrepareSession(const std::string& userSnapshotURI) {
  FHttp.SetCredentials(Login, Password);
  if (!XAddrs.empty()) FHttp.AllowCredentialsFor(XAddrs);
  if (!Host.empty()) FHttp.AllowCredentialsFor("http://" + Host + ":" + std::to_string(Port));
  if (!userSnapshotURI.empty()) FHttp.AllowCredentialsFor(userSnapshotURI);
}

std::string TOnvifDevice::DeviceServiceURL() const {
  return XAddrs.empty() ? "http://" + Host + ":" + std::to_string(Port) + "/onvif/device_service"
                        : XAddrs;
}

TCameraAnswer TOnvifDevice::Request(const std::string& url, const TBuild& build) {
  PrepareSession();
  // The token goes only where the password may go.
  const bool token = !Login.empty() && FHttp.MaySendCredentialsTo(url);
  const std::string none;
  auto post = [&] {
    return TCameraAnswer(
        PostSoap(FHttp, url, build(token ? Login : none, token ? Password : none, FClockOffset),
                 FSoapOptions.ContentType));
  };
  TCameraAnswer a = post();
  // A camera that takes SOAP 1.2 only by its own media type.
  if (FSoapOptions.ContentType == kSoap11ContentType &&
      (a.Http.Status == 415 || (a.Http.Status == 400 && !IsSoapEnvelope(*a.Xml)))) {
    FSoapOptions.ContentType = kSoap12ContentType;
    LogInfo("camera refused text/xml (HTTP " + a.Http.StatusText +
            "); request repeated as application/soap+xml");
    a = post();
  }
  // (HTTP Digest, when the camera asks for it, is answered by the session.)
  // A camera whose clock is not ours: its time for the token, once. The
  // fault says so whatever the status it comes with (some send it with 200).
  // Without a login no token went: the refusal is not about the time.
  if (token && IsNotAuthorizedFault(*a.Xml) && SyncClock()) {
    a = post();
  }
  if (!token && !Login.empty() && (a.Http.Status == 401 || IsNotAuthorizedFault(*a.Xml))) {
    throw Error(msg::ServiceElsewhereNeedsCredentials(FailureReason(a.Http, *a.Xml)) + ": " +
                PrintableUrl(url));
  }
  return a;
}

bool TOnvifDevice::SyncClock() {
  using namespace std::chrono;
  // Asked at most once per call: a camera that refuses every token does not
  // get its clock asked before each request.
  if (!TCallDeadline::FirstClockSync()) return false;
  // ONVIF cameras tell their time without a token; some want one all the same.
  system_clock::time_point camera;
  bool read = false;
  std::string failure;
  for (const bool withToken : {false, true}) {
    try {
      PrepareSession();
      const TSoapAnswer a =
          PostSoap(FHttp, DeviceServiceURL(), BuildGetSystemDateAndTime(withToken, Login, Password),
                   FSoapOptions.ContentType);
      read = ParseSystemDateAndTime(a.Body, camera);
    } catch (const std::exception& e) {
      read = false;
      failure = e.what();
    }
    if (read) break;
  }
  if (!read) {
    if (!failure.empty()) LogInfo("camera clock not read: " + failure);
    return false;
  }
  // The difference of the two instants in milliseconds, where it cannot overflow.
  const auto ms = [](system_clock::time_point t) {
    return duration_cast<milliseconds>(t.time_since_epoch());
  };
  const TClockOffset offset = ms(camera) - ms(system_clock::now());
  // Within a second of ours the clock was not the reason.
  if (std::chrono::abs(offset - FClockOffset) < seconds(1)) return false;
  FClockOffset = offset;
  LogInfo("camera clock differs by " + std::to_string(duration_cast<seconds>(offset).count()) +
          " s; request repeated with camera time");
  return true;
}

bool TOnvifDevice::FindMediaXAddr(std::optional<TCameraAnswer>& refusal) {
  const std::string device = DeviceServiceURL();
  const TBuild ask[] = {
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetCapabilities(l, p, o);
      },
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetServices(l, p, o);
      },
  };
  for (const TBuild& build : ask) {
    try {
      TCameraAnswer a = Request(device, build);
      // GetServices names the Media2 service too: kept for a camera without the other.
      if (&build == &ask[1]) FServicesAsked = true;
      if (FMedia2XAddr.empty() && ParseMedia2XAddr(*a.Xml, FMedia2XAddr))
        LogInfo("Media2 service found at " + PrintableUrl(FMedia2XAddr));
      std::string xaddr;
      if (ParseMediaXAddr(*a.Xml, xaddr)) {
        FMediaXAddr = xaddr;
        LogInfo("media service found at " + PrintableUrl(xaddr));
        return true;
      }
      // A token refused here is refused for every question: no use asking on.
      if (IsNotAuthorizedFault(*a.Xml)) {
        refusal = std::move(a);
        return false;
      }
    } catch (const std::exception&) {
      // GetServices is the next question.
    }
  }
  return false;
}

bool TOnvifDevice::FindMedia2XAddr() {
  if (!FMedia2XAddr.empty()) return true;
  if (FServicesAsked) return false;
  FServicesAsked = true;
  try {
    const TCameraAnswer a =
        Request(DeviceServiceURL(), [&](const std::string& l, const std::string& p,
                                        TClockOffset o) { return BuildGetServices(l, p, o); });
    if (ParseMedia2XAddr(*a.Xml, FMedia2XAddr))
      LogInfo("Media2 service found at " + PrintableUrl(FMedia2XAddr));
  } catch (const std::exception& e) {
    LogInfo(std::string("services not read: ") + e.what());
  }
  return !FMedia2XAddr.empty();
}

TCameraAnswer TOnvifDevice::MediaRequest(const std::string& url, const TBuild& build,
                                         const TBuild& build2) {
  if (FMedia1Missing) return Request(FMedia2XAddr, build2);
  const bool guessed = FMediaXAddr.empty();
  TCameraAnswer a = Request(guessed ? url : FMediaXAddr, build);
  // A camera with only the Media2 service answers the older questions with
  // a fault, or not at all where they are usually asked.
  bool noMedia1 = IsActionNotSupportedFault(*a.Xml);
  if (guessed && (noMedia1 || IsMediaMissing(a))) {
    std::optional<TCameraAnswer> refusal;
    if (FindMediaXAddr(refusal)) {
      if (FMediaXAddr != url) {
        a = Request(FMediaXAddr, build);
        noMedia1 = IsActionNotSupportedFault(*a.Xml);
      }
    } else if (refusal) {
      // The camera's own answer outweighs the status of an address we guessed.
      LogInfo("no media service at " + PrintableUrl(url) + " (" + FailureReason(a.Http, *a.Xml) +
              "); the device service refused the token: " +
              FailureReason(refusal->Http, *refusal->Xml));
      return std::move(*refusal);
    } else {
      noMedia1 = true;  // the device service names none
    }
  }
  if (!noMedia1 || !FindMedia2XAddr()) return a;
  LogInfo("no media service (" + FailureReason(a.Http, *a.Xml) +
          "); the Media2 service is asked from now on");
  FMedia1Missing = true;
  return Request(FMedia2XAddr, build2);
}

void TOnvifDevice::GetDeviceInformation() {
  FDeviceInformation = QueryDeviceInformation();
  Name = msg::CameraOnHost(FDeviceInformation.Model, Host);
  const TCameraAnswer profiles = MediaRequest(
      BuildServiceURL(XAddrs, TOnvifService::osMedia),
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetProfiles(l, p, o);
      },
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetProfiles2(l, p, o);
      });
  if (!ParseProfiles(*profiles.Xml, Profiles)) Fail(msg::kNoProfiles, profiles);
}

TDeviceInformation TOnvifDevice::QueryDeviceInformation() {
  const TCameraAnswer answer =
      Request(DeviceServiceURL(), [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetDeviceInformation(l, p, o);
      });
  TDeviceInformation info;
  if (!ParseDeviceInformation(*answer.Xml, info)) Fail(msg::kNoDeviceInformation, answer);
  return info;
}

std::string TOnvifDevice::AskSnapshotUri() {
  FSnapshotURICache = GetSnapshotUri();
  return FSnapshotURICache;
}

std::string TOnvifDevice::GuessedMediaURL() const {
  return "http://" + Host + ":" + std::to_string(Port) + "/onvif/Media";
}

void TOnvifDevice::ReadDefaultProfile(const char* message) {
  if (!Profiles.empty() || !Profile.empty() || FDefaultProfileAsked) return;
  FDefaultProfileAsked = true;
  const TCameraAnswer answer = MediaRequest(
      GuessedMediaURL(),
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetProfiles(l, p, o);
      },
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetProfiles2(l, p, o);
      });
  // A refused token ends it here: the address asked next would be refused too.
  if (IsNotAuthorizedFault(*answer.Xml)) Fail(message, answer);
  try {
    if (ParseProfiles(*answer.Xml, Profiles))
      LogInfo("no profile set; the camera's first profile " + Profiles.front().token + " is used");
  } catch (const TAnswerLimitError&) {
    // An answer no camera gives is not passed over in silence.
    throw;
  } catch (const std::exception&) {
    Profiles.clear();
  }
}

std::string TOnvifDevice::GetSnapshotUri() {
  ReadDefaultProfile(msg::kNoSnapshotInformation);
  const std::string token = ProfileInUse();
  const TCameraAnswer answer = MediaRequest(
      GuessedMediaURL(),
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetSnapshotUri(l, p, token, o);
      },
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetSnapshotUri2(l, p, token, o);
      });
  TSnapshotUri uri;
  if (!ParseSnapshotUri(*answer.Xml, uri)) Fail(msg::kNoSnapshotInformation, answer);
  // Cameras pretty-print addresses: the URL is what stands between the blanks.
  return Trim(uri.Uri);
}

std::string TOnvifDevice::AskStreamUri(const std::string& profile) {
  if (profile.empty()) ReadDefaultProfile(msg::kNoStreamUri);
  const std::string token = profile.empty() ? ProfileInUse() : profile;
  const TCameraAnswer answer = MediaRequest(
      GuessedMediaURL(),
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetStreamUri(l, p, token, o);
      },
      [&](const std::string& l, const std::string& p, TClockOffset o) {
        return BuildGetStreamUri2(l, p, token, o);
      });
  TStreamUri uri;
  if (!ParseStreamUri(*answer.Xml, uri)) Fail(msg::kNoStreamUri, answer);
  const std::string address = Trim(uri.Uri);
  if (const std::string problem = StreamUriProblem(address); !problem.empty()) throw Error(problem);
  return address;
}

bool TOnvifDevice::MaySendCredentialsTo(const std::string& url) const {
  TUrlParts parts;
  try {
    parts = SplitUrl(url);
  } catch (const Error&) {
    return false;
  }
  const std::string scheme = Lower(parts.scheme);
  if (scheme == "http" || scheme == "https") return FHttp.MaySendCredentialsTo(url);
  if (scheme != "rtsp" && scheme != "rtsps") return false;
  // The stream has a port of its own (554, 8554 ...) that none of the
  // camera's HTTP addresses names, so the host alone decides: the camera's
  // name or address as set up, or as its device address gives it, or an
  // address that name was looked up to.
  const std::string host = Lower(parts.host);
  for (const std::string& own : {Lower(Host), XAddrs.empty() ? std::string() : HostOf(XAddrs)}) {
    if (own.empty()) continue;
    // An IPv6 address set up without brackets, as a URL writes it.
    const bool bare6 = own.find(':') != std::string::npos && own.front() != '[';
    if ((bare6 ? "[" + own + "]" : own) == host || FHttp.ResolvedTo(own, host)) return true;
  }
  return false;
}

void TOnvifDevice::GetSnapshotImg(TStream& AImgStream, const std::string& ASnapshotURI) {
  std::string image;
  GetSnapshotBytes(ASnapshotURI, image);
  AImgStream.Write(image.data(), image.size());
}

std::string TOnvifDevice::DownloadSnapshot(const std::string& url, std::string& image) {
  const THttpAnswer answer = GetSnapshot(FHttp, url, image);
  if (image.empty() || LooksLikeImage(image)) return {};
  return msg::NotAnImage(answer.ContentType, image.size(), FirstBytes(image)) + ": " +
         PrintableUrl(url);
}

void TOnvifDevice::GetSnapshotBytes(const std::string& ASnapshotURI, std::string& image) {
  PrepareSession(ASnapshotURI);
  // What is not an image is never handed on as a photo.
  const auto download = [&](const std::string& url) {
    const std::string notAnImage = DownloadSnapshot(url, image);
    if (notAnImage.empty()) return;
    image.clear();
    throw Error(notAnImage);
  };
  if (!ASnapshotURI.empty()) {
    download(ASnapshotURI);
    return;
  }
  if (FSnapshotURICache.empty()) {
    download(AskSnapshotUri());
    return;
  }
  try {
    // An empty answer from a remembered address is asked again too.
    if (DownloadSnapshot(FSnapshotURICache, image).empty() && !image.empty()) return;
    LogInfo("the remembered snapshot address gave no image; the camera is asked again");
  } catch (const std::exception& e) {
    LogInfo(std::string("snapshot from the remembered address failed (") + e.what() +
            "); the camera is asked again");
  }
  FSnapshotURICache.clear();  // forgotten also when asking again fails
  download(AskSnapshotUri());
}

TOnvifManager::TOnvifManager() {
  FOnvifProbe.Timeout = 1000;
  FOnvifProbe.Cancel = FCancel;
}

bool TOnvifManager::SearchDeices() {
  const TDeadline deadline(SearchDeadline);
  FOnvifDevicesList.clear();
  FFailedDevicesList.clear();
  FDroppedAnswers = 0;
  FUnqueriedDevices = 0;
  for (int attempt = 0; attempt < AttemptCnt && !deadline.Passed() && !Cancelled(); ++attempt) {
    if (FOnvifProbe.Execute(LocalIP)) {
      FDroppedAnswers = FOnvifProbe.DroppedAnswers();
      FillDevicesList(deadline);
      if ((FDroppedAnswers > 0 || FUnqueriedDevices > 0) && FOnvifProbe.OnLogMessage) {
        FOnvifProbe.OnLogMessage(
            "SearchDeices: " + std::to_string(FDroppedAnswers) + " answers dropped, " +
            std::to_string(FUnqueriedDevices) + " cameras not queried within " +
            std::to_string(
                std::chrono::duration_cast<std::chrono::seconds>(SearchDeadline).count()) +
            " s");
      }
      return true;
    }
  }
  return false;
}

void TOnvifManager::FillDevicesList(const TDeadline& deadline) {
  const std::vector<TProbeMatch> matches = UniqueProbeMatch(FOnvifProbe.ProbeMatchArray());
  // Query the cameras a few at a time; the lists keep the order of the matches.
  std::vector<std::unique_ptr<TOnvifDevice>> devices(matches.size());
  std::vector<std::optional<std::string>> failures(matches.size());
  std::atomic<size_t> next{0};
  std::atomic<size_t> late{0};
  std::mutex progressLock;
  size_t done = 0;
  // A listener's failure is its own: the search goes on.
  auto tell = [this](const TSearchProgress& progress) {
    try {
      if (OnProgress) OnProgress(progress);
    } catch (...) {
    }
  };
  tell(TSearchProgress{matches.size(), 0, 0, nullptr, nullptr});
  auto work = [&] {
    const TCallCancel cancel(FCancel);
    for (size_t i; (i = next++) < matches.size();) {
      if (Cancelled()) {
        failures[i] = msg::kSearchCancelled;
      } else if (deadline.Passed()) {
        failures[i] = msg::kNotQueriedInTime;
        ++late;
      } else {
        try {
          devices[i] = std::make_unique<TOnvifDevice>(matches[i].XAddrs, Login, Password, deadline);
        } catch (const std::exception& e) {
          failures[i] = Cancelled() ? msg::kSearchCancelled : e.what();
        } catch (...) {
          failures[i] = msg::kUnknownFailure;
        }
      }
      const std::lock_guard<std::mutex> lock(progressLock);
      const TFailedDevice failed{matches[i].XAddrs, failures[i].value_or("")};
      tell(TSearchProgress{matches.size(), ++done, i, devices[i].get(),
                           devices[i] ? nullptr : &failed});
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(kMaxConcurrentQueries);
  for (size_t k = 0; k < std::min(kMaxConcurrentQueries, matches.size()); ++k) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      // No more threads to be had: those that started do the work.
      if (pool.empty()) work();
      break;
    }
  }
  for (std::thread& t : pool) t.join();
  FUnqueriedDevices = late;
  for (size_t i = 0; i < matches.size(); ++i) {
    if (devices[i]) {
      FOnvifDevicesList.push_back(std::move(devices[i]));
    } else {
      FFailedDevicesList.push_back({matches[i].XAddrs, failures[i].value_or("")});
    }
  }
}

}  // namespace zorvane
