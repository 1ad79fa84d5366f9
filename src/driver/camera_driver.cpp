#include "driver/camera_driver.h"

#include <cstdio>

#include "common/error.h"
#include "driver/messages.h"
#include "forms/forms.h"
#include "log/log_writer.h"
#include "onvif/call_deadline.h"
#include "onvif/http_session.h"
#include "onvif/name_lookup.h"
#include "platform/files.h"
#include "platform/system_info.h"

namespace zorvane {

namespace {

const TMethodExport kMethods[] = {
    {u"Discover", u"ПоискКамеры", 0,
     &ExportedMethod<static_cast<bool (TDriver::*)(V8Variant*, V8Variant*, long)>(
         &TDriver::Discover)>},
};

const TPropertyExport kProperties[] = {
    FieldProperty<&TDriver::FHost>(u"Host", u"Адрес", msg::kHostCaption, ""),
    FieldProperty<&TDriver::FPort>(u"Port", u"Порт", msg::kPortCaption, "0"),
    FieldProperty<&TDriver::FLogin>(u"Login", u"Логин", msg::kLoginCaption, ""),
    FieldProperty<&TDriver::FPassword>(u"Password", u"Пароль", msg::kPasswordCaption, ""),
    FieldProperty<&TDriver::FProfile>(u"Profile", u"Профиль", msg::kProfileCaption, ""),
    FieldProperty<&TDriver::FSnapshotURI>(u"SnapshotURI", u"URIфотоснимка",
                                          msg::kSnapshotUriCaption, ""),
};

// The clip settings, after every property of the first version.
const TPropertyExport kLaterProperties[] = {
    FieldProperty<&TDriver::FVideoMaxSeconds>(u"VideoMaxSeconds", u"НаибольшаяДлительностьВидео",
                                              msg::kVideoMaxSecondsCaption, "600"),
    FieldProperty<&TDriver::FVideoMaxMegabytes>(u"VideoMaxMegabytes", u"НаибольшийРазмерВидео",
                                                msg::kVideoMaxMegabytesCaption, "1024"),
    FieldProperty<&TDriver::FVideoProfile>(u"VideoProfile", u"ПрофильВидео",
                                           msg::kVideoProfileCaption, ""),
};

const TActionExport kActions[] = {
    {"Discover", msg::kCameraSearchTitle,
     &ExportedAction<static_cast<void (TDriver::*)()>(&TDriver::Discover)>},
};

}  // namespace

const TClassInfo& TDriver::ClassInfo() {
  static const TClassInfo info{&TVideocameraDriver::ClassInfo(), kMethods, kProperties, kActions,
                               kLaterProperties};
  return info;
}

TDriver::TDriver() : FDevice(std::make_unique<TOnvifDevice>()) {}

TDriver::~TDriver() {
  FDevice.reset();
}

void TDriver::Open() {
  FDevice->Host = FHost;
  FDevice->Port = static_cast<uint32_t>(FPort);
  FDevice->Login = FLogin;
  FDevice->Password = FPassword;
  FDevice->Profile = FProfile;
  FDevice->ResetLearned();
}

void TDriver::RequireCameraAddress() const {
  if (FDevice->Host.empty()) throw Error(msg::kNoCameraHost);
  if (FDevice->Port == 0) throw Error(msg::kNoCameraPort);
}

void TDriver::CheckAddressSettings() const {
  if (!FHost.empty() && !IsValidUrlHost(FHost)) throw Error(msg::HostNotCameraAddress(FHost));
  if (FSnapshotURI.empty()) return;
  // Another scheme is refused by its name, whatever else the URL holds.
  RequireHttpScheme(FSnapshotURI);
  TUrlParts parts;
  try {
    parts = SplitUrl(FSnapshotURI);
  } catch (const Error& e) {
    throw Error(msg::SnapshotUriInvalid(e.what()) + msg::kEncodeCredentialsHint);
  }
  // An '@' in the path is where a password holding '/' ends: the host read
  // from such a URL is a piece of the password, and is never looked up.
  if ((parts.path + parts.document).find('@') != std::string::npos)
    throw Error(msg::SnapshotUriAtInPath(PrintableUrl(FSnapshotURI)) + msg::kEncodeCredentialsHint);
}

void TDriver::Snapshot(std::string& image) {
  const TCallDeadline deadline(kPhotoCallDeadline);
  CheckAddressSettings();
  if (FSnapshotURI.empty()) RequireCameraAddress();
  FDevice->GetSnapshotBytes(FSnapshotURI, image);
}

namespace {

std::string CameraName(const TDeviceInformation& info) {
  return msg::CameraName(info.Manufacturer, info.Model, info.FirmwareVersion);
}

}  // namespace

std::string TDriver::DescribeDevice() {
  const TCallDeadline deadline(kDeviceTestCallDeadline);
  CheckAddressSettings();
  if (!FSnapshotURI.empty()) {
    // Photos come from the snapshot address given, so the test is a photo
    // from it; the camera is not asked for an address it would not use.
    std::string image;
    FDevice->GetSnapshotBytes(FSnapshotURI, image);
    if (image.empty()) throw Error(msg::kEmptyPhoto);
    const std::string where = msg::PhotoFrom(PrintableUrl(FSnapshotURI), image.size());
    if (FDevice->Host.empty() || FDevice->Port == 0) return msg::PhotoTaken(where);
    // The camera's name, where it tells it; photos do not depend on it.
    try {
      return msg::CameraAndPhoto(CameraName(FDevice->QueryDeviceInformation()), where);
    } catch (const std::exception& e) {
      return msg::PhotoWithoutCamera(where, e.what());
    }
  }
  RequireCameraAddress();
  const TDeviceInformation info = FDevice->QueryDeviceInformation();
  const std::string uri = FDevice->AskSnapshotUri();
  return msg::CameraProfileSnapshot(CameraName(info), FDevice->ProfileInUse(), PrintableUrl(uri));
}

void TDriver::MakePhoto(const std::string& AFileName) {
  if (AFileName.empty()) throw Error(msg::kNoPhotoFileName);
  std::string image;
  Snapshot(image);
  if (image.empty()) throw Error(msg::kEmptyPhoto);
  ReplaceFileContents(AFileName, image);
}

void TDriver::GetPhoto(std::string& AImage) {
  Snapshot(AImage);
  if (AImage.empty()) throw Error(msg::kEmptyPhoto);
}

namespace {

// How long the stream's host may take to be looked up.
constexpr long kStreamLookupMs = 10000;

// A new clip's name when none is given: the date and time, in the user's
// own video folder; a number follows where a clip of that second is there.
std::string NewClipName() {
  const std::string folder = GetUserAppDataFolder() + "Telvask/zorvane/video";
  CreatePrivateFolders(folder);
  const TLocalTime now = LocalTimeNow();
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "/clip-%04d-%02d-%02d_%02d-%02d-%02d", now.Year, now.Month,
                now.Day, now.Hour, now.Minute, now.Second);
  std::string name = folder + stamp + ".mp4";
  for (int n = 2; FileInfoOf(name).Kind != TFileKind::Missing ||
                  FileInfoOf(name + ".part").Kind != TFileKind::Missing;
       ++n)
    name = folder + stamp + "-" + std::to_string(n) + ".mp4";
  return name;
}

}  // namespace

void TDriver::StartVideoRecordImpl(bool AShowWindow, const std::string& AFileName) {
  StartClip(AShowWindow, AFileName, true);
}

void TDriver::StartVideoCaptureImpl(bool AShowWindow, const std::string& AFileName,
                                    bool AKeepAudio) {
  StartClip(AShowWindow, AFileName, AKeepAudio);
}

void TDriver::StartClip(bool showWindow, const std::string& fileName, bool keepAudio) {
  if (FClip.IsStarted()) throw Error(msg::kClipAlreadyRecording);
  if (FVideoMaxSeconds <= 0 || FVideoMaxMegabytes <= 0) throw Error(msg::kClipLimitsNotPositive);
  TClipSettings settings;
  // A name of our own making is not taken again: the next clip without a
  // name gets a new one instead of replacing the last.
  const bool named =
      !fileName.empty() || (!FVideoFileName.empty() && FVideoFileName != FMadeClipName);
  settings.FileName = !fileName.empty() ? fileName : named ? FVideoFileName : NewClipName();
  settings.KeepAudio = keepAudio;
  settings.MaxDuration = std::chrono::seconds(FVideoMaxSeconds);
  settings.MaxBytes = static_cast<uint64_t>(FVideoMaxMegabytes) << 20;
  {
    // The stream's address, asked of the camera at every start.
    const TCallDeadline deadline(kPhotoCallDeadline);
    CheckAddressSettings();
    RequireCameraAddress();
    const std::string uri = FDevice->AskStreamUri(FVideoProfile);
    const TUrlParts parts = SplitUrl(uri);
    if (parts.scheme != "rtsp") throw Error(msg::StreamNotRecordable(PrintableUrl(uri)));
    // The client is given the address to connect to, found within a limit:
    // its own lookup could not be interrupted.
    const THostLookup lookup = ResolveWithin(parts.host, kStreamLookupMs);
    if (lookup.Outcome != TLookupOutcome::Found)
      throw Error(msg::StreamHostNotFound(parts.host, PrintableUrl(uri)));
    std::string host = parts.host;
    if (!lookup.Addresses.empty()) {
      const THostAddress& address = lookup.Addresses.front();
      host = address.IPv6 ? "[" + address.Text + "]" : address.Text;
    }
    settings.Url = "rtsp://" + host + (parts.port.empty() ? "" : ":" + parts.port) + parts.path +
                   parts.document + (parts.query.empty() ? "" : "?" + parts.query);
    settings.ShownUrl = PrintableUrl(uri);
    // The login goes only to the camera's own host.
    if (FDevice->MaySendCredentialsTo(uri)) {
      settings.Login = FDevice->Login;
      settings.Password = FDevice->Password;
    }
  }
  WriteLog("Video", msg::ClipStarting(settings.ShownUrl, settings.FileName, showWindow, keepAudio),
           TLogLevel::llInfo);
  FClip.Start(settings);
  FVideoFileName = settings.FileName;
  FMadeClipName = named ? "" : settings.FileName;
}

void TDriver::StopVideoImpl() {
  if (!FClip.IsStarted()) throw Error(msg::kNoClipRecording);
  const TClipOutcome outcome = FClip.Stop();
  WriteLog("Video",
           msg::ClipEnded(outcome.FileName, outcome.Seconds, outcome.VideoFrames, outcome.Bytes,
                          outcome.Failure),
           outcome.Failure.empty() ? TLogLevel::llInfo : TLogLevel::llError);
  if (!outcome.Failure.empty()) throw Error(outcome.Failure);
}

bool TDriver::Discover(V8Variant* RetValue, V8Variant*, long) {
  return Handle(RetValue, [&] { Discover(); });
}

void TDriver::Discover() {
  ShowCameraSearch();
}

void RegisterCameraDriver(TClassRegList& registry) {
  TCommonDriver::RegisterDriver<TDriver>(registry, u"zorvane", msg::kDriverName,
                                         msg::kDriverDescription);
}

}  // namespace zorvane
