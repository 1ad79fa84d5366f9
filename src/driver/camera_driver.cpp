#include "driver/camera_driver.h"

namespace zorvane {

namespace {

constexpr char kDriverName[] = "Драйвер IP-видеокамеры ONVIF";
constexpr char kDriverDescription[] = "Драйвер IP-видеокамеры ONVIF 1С:Совместимо для 1С:БПО NativeAPI";

const TMethodExport kMethods[] = {
    {u"Discover", u"ПоискКамеры", 0,
     &ExportedMethod<static_cast<bool (TDriver::*)(V8Variant*, V8Variant*, long)>(&TDriver::Discover)>},
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
    {"Discover", "Поиск камеры", &ExportedAction<static_cast<void (TDriver::*)()>(&TDriver::Discover)>},
};

}  // namespace

const TClassInfo& TDriver::ClassInfo() {
  static const TClassInfo info{&TVideocameraDriver::ClassInfo(), kMethods, kProperties, kActions};
  return info;
}

bool TDriver::Discover(V8Variant* RetValue, V8Variant*, long) {
  return Handle(RetValue, [&] { Discover(); });
}

void TDriver::Discover() { ThrowWindowUnavailable("Поиск камеры"); }

void RegisterCameraDriver(TClassRegList& registry) {
  TCommonDriver::RegisterDriver<TDriver>(registry, u"zorvane", kDriverName, kDriverDescription);
}

}  // namespace zorvane
