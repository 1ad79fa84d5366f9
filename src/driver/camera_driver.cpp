#include "driver/camera_driver.h"

#include "common/error.h"
#include "forms/forms.h"
#include "onvif/call_deadline.h"
#include "onvif/http_session.h"
#include "platform/files.h"

namespace zorvane {

namespace {

constexpr char kEmptyPhoto[] = "Получен снимок нулевого размера";

constexpr char kDriverName[] = "Драйвер IP-видеокамеры ONVIF";
constexpr char kDriverDescription[] =
    "Драйвер IP-видеокамеры ONVIF 1С:Совместимо для 1С:БПО NativeAPI";

const TMethodExport kMethods[] = {
    {u"Discover", u"ПоискКамеры", 0,
     &ExportedMethod<static_cast<bool (TDriver::*)(V8Variant*, V8Variant*, long)>(
         &TDriver::Discover)>},
};

const TPropertyExport kProperties[] = {
    FieldProperty<&TDriver::FHost>(u"Host", u"Адрес", "IP-адрес камеры", ""),
    FieldProperty<&TDriver::FPort>(u"Port", u"Порт", "ONVIF-порт камеры", "0"),
    FieldProperty<&TDriver::FLogin>(u"Login", u"Логин", "Имя пользователя", ""),
    FieldProperty<&TDriver::FPassword>(u"Password", u"Пароль", "Пароль пользователя", ""),
    FieldProperty<&TDriver::FProfile>(u"Profile", u"Профиль", "Профиль камеры", ""),
    FieldProperty<&TDriver::FSnapshotURI>(u"SnapshotURI", u"URIфотоснимка", "URI фотоснимка", ""),
};

const TActionExport kActions[] = {
    {"Discover", "Поиск камеры",
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
  if (FDevice->Host.empty())
    throw Error("Не задан адрес камеры (параметр Host); задайте его и вызовите «Подключить»");
  if (FDevice->Port == 0)
    throw Error("Не задан ONVIF-порт камеры (параметр Port); задайте его и вызовите «Подключить»");
}

void TDriver::CheckAddressSettings() const {
  if (!FHost.empty() && !IsValidUrlHost(FHost))
    throw Error("Параметр Host (Адрес) «" + FHost +
                "» не является адресом камеры: ожидается IP-адрес или имя хоста "
                "(адрес IPv6 — в квадратных скобках)");
  if (FSnapshotURI.empty()) return;
  // Another scheme is refused by its name, whatever else the URL holds.
  RequireHttpScheme(FSnapshotURI);
  static const std::string kEncodeHint =
      ". Символы / ? # @ : в логине и пароле записываются в URL в процентной кодировке: "
      "%2F, %3F, %23, %40, %3A";
  TUrlParts parts;
  try {
    parts = SplitUrl(FSnapshotURI);
  } catch (const Error& e) {
    throw Error("Параметр SnapshotURI (URIфотоснимка) не является допустимым URL: " +
                std::string(e.what()) + kEncodeHint);
  }
  // An '@' in the path is where a password holding '/' ends: the host read
  // from such a URL is a piece of the password, and is never looked up.
  if ((parts.path + parts.document).find('@') != std::string::npos)
    throw Error(
        "Параметр SnapshotURI (URIфотоснимка): в пути URL есть «@» — похоже, пароль "
        "содержит «/» и адрес камеры прочитан неверно: " +
        PrintableUrl(FSnapshotURI) + kEncodeHint);
}

void TDriver::Snapshot(std::string& image) {
  const TCallDeadline deadline(kPhotoCallDeadline);
  CheckAddressSettings();
  if (FSnapshotURI.empty()) RequireCameraAddress();
  FDevice->GetSnapshotBytes(FSnapshotURI, image);
}

namespace {

std::string CameraName(const TDeviceInformation& info) {
  std::string text = "Камера " + info.Manufacturer + " " + info.Model;
  if (!info.FirmwareVersion.empty()) text += ", прошивка " + info.FirmwareVersion;
  return text;
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
    if (image.empty()) throw Error(kEmptyPhoto);
    const std::string where =
        "по адресу " + PrintableUrl(FSnapshotURI) + " (" + std::to_string(image.size()) + " байт)";
    if (FDevice->Host.empty() || FDevice->Port == 0) return "Снимок получен " + where;
    // The camera's name, where it tells it; photos do not depend on it.
    try {
      return CameraName(FDevice->QueryDeviceInformation()) + "; снимок получен " + where;
    } catch (const std::exception& e) {
      return "Снимок получен " + where + "; сведения о камере не получены: " + e.what();
    }
  }
  RequireCameraAddress();
  const TDeviceInformation info = FDevice->QueryDeviceInformation();
  const std::string uri = FDevice->AskSnapshotUri();
  return CameraName(info) + "; профиль " + FDevice->ProfileInUse() +
         "; снимок: " + PrintableUrl(uri);
}

void TDriver::MakePhoto(const std::string& AFileName) {
  if (AFileName.empty()) throw Error("Не задано имя файла фотоснимка");
  std::string image;
  Snapshot(image);
  if (image.empty()) throw Error(kEmptyPhoto);
  ReplaceFileContents(AFileName, image);
}

void TDriver::GetPhoto(std::string& AImage) {
  Snapshot(AImage);
  if (AImage.empty()) throw Error(kEmptyPhoto);
}

bool TDriver::Discover(V8Variant* RetValue, V8Variant*, long) {
  return Handle(RetValue, [&] { Discover(); });
}

void TDriver::Discover() {
  ShowCameraSearch();
}

void RegisterCameraDriver(TClassRegList& registry) {
  TCommonDriver::RegisterDriver<TDriver>(registry, u"zorvane", kDriverName, kDriverDescription);
}

}  // namespace zorvane
