#include "driver/camera_driver.h"

#include "common/error.h"
#include "driver/messages.h"
#include "forms/forms.h"
#include "onvif/call_deadline.h"
#include "onvif/http_session.h"
#include "platform/files.h"

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

const TActionExport kActions[] = {
    {"Discover", msg::kCameraSearchTitle,
     &ExportedAction<static_cast<void (TDriver::*)()>(&TDriver::Discover)>},
};

}  // namespace

const TClassInfo& TDriver::ClassInfo() {
  static const TClassInfo info{&TVideocameraDriver::ClassInfo(), kMethods, kProperties, kActions};
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
