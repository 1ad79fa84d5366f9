// The driver's texts: its name and description, its settings' captions, and
// what its calls answer when they fail.
//
// Which language: a text the user can see (what ПолучитьОшибку and the
// driver's error description return, a window, a message the 1C platform
// shows) is Russian: what failed and with which input, names in «», the
// system's own words after a colon. Texts fixed by the platform's interface
// or the driver protocol stay exactly as they are, in English; they are
// listed below as fixed. Lines that only go to the log file may stay
// English.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "forms/messages.h"
#include "markdown/messages.h"
#include "v8napi/messages.h"
#include "video/messages.h"

namespace zorvane::msg {

// ---- the driver as the platform lists it ----

inline constexpr const char* kDriverName = "Драйвер IP-видеокамеры ONVIF";
inline constexpr const char* kDriverDescription =
    "Драйвер IP-видеокамеры ONVIF 1С:Совместимо для 1С:БПО NativeAPI";
inline constexpr const char* kParametersPage = "Параметры";

// Captions of the settings (ПолучитьПараметры) and of the extra actions.
inline constexpr const char* kLogEnabledCaption = "Вести лог";
inline constexpr const char* kHostCaption = "IP-адрес камеры";
inline constexpr const char* kPortCaption = "ONVIF-порт камеры";
inline constexpr const char* kLoginCaption = "Имя пользователя";
inline constexpr const char* kPasswordCaption = "Пароль пользователя";
inline constexpr const char* kProfileCaption = "Профиль камеры";
inline constexpr const char* kSnapshotUriCaption = "URI фотоснимка";
inline constexpr const char* kPhotoFileNameCaption = "Имя Файла фотоснимка";
inline constexpr const char* kVideoFileNameCaption = "Имя Файла видеозаписи";
inline constexpr const char* kVideoCaptureDeviceCaption = "Устройство видеозахвата";
inline constexpr const char* kVideoCompressorFilterCaption = "Фильтр видеосжатия";
inline constexpr const char* kPhotoQualityCaption = "Качество фотоснимка";
inline constexpr const char* kVideoMaxSecondsCaption = "Наибольшая длительность ролика, с";
inline constexpr const char* kVideoMaxMegabytesCaption = "Наибольший размер файла ролика, МБ";
inline constexpr const char* kVideoProfileCaption = "Профиль видеопотока";
inline constexpr const char* kHelpCaption = "Справка";
// The camera search and the log viewer are named as their windows are:
// kCameraSearchTitle and kLogViewerTitle.

// ---- the settings ----

inline constexpr const char* kNoCameraHost =
    "Не задан адрес камеры (параметр Host); задайте его и вызовите «Подключить»";
inline constexpr const char* kNoCameraPort =
    "Не задан ONVIF-порт камеры (параметр Port); задайте его и вызовите «Подключить»";
inline std::string HostNotCameraAddress(const std::string& host) {
  return "Параметр Host (Адрес) " + Quoted(host) +
         " не является адресом камеры: ожидается IP-адрес или имя хоста "
         "(адрес IPv6 — в квадратных скобках)";
}
// After a message of a snapshot address that does not read as meant.
inline constexpr const char* kEncodeCredentialsHint =
    ". Символы / ? # @ : в логине и пароле записываются в URL в процентной кодировке: "
    "%2F, %3F, %23, %40, %3A";
inline std::string SnapshotUriInvalid(const std::string& why) {
  return "Параметр SnapshotURI (URIфотоснимка) не является допустимым URL: " + why;
}
inline std::string SnapshotUriAtInPath(const std::string& url) {
  return "Параметр SnapshotURI (URIфотоснимка): в пути URL есть «@» — похоже, пароль "
         "содержит «/» и адрес камеры прочитан неверно: " +
         url;
}

// ---- the photo and the device test ----

inline constexpr const char* kEmptyPhoto = "Получен снимок нулевого размера";
inline constexpr const char* kNoPhotoFileName = "Не задано имя файла фотоснимка";
inline constexpr const char* kNoMemoryForPhoto = "Не хватает памяти для снимка";
inline std::string CameraName(const std::string& manufacturer, const std::string& model,
                              const std::string& firmware) {
  std::string text = "Камера " + manufacturer + " " + model;
  if (!firmware.empty()) text += ", прошивка " + firmware;
  return text;
}
// "по адресу <url> (<size> байт)": where the device test's photo came from.
inline std::string PhotoFrom(const std::string& url, size_t bytes) {
  return "по адресу " + url + " (" + std::to_string(bytes) + " байт)";
}
inline std::string PhotoTaken(const std::string& where) {
  return "Снимок получен " + where;
}
inline std::string CameraAndPhoto(const std::string& camera, const std::string& where) {
  return camera + "; снимок получен " + where;
}
inline std::string PhotoWithoutCamera(const std::string& where, const std::string& why) {
  return "Снимок получен " + where + "; сведения о камере не получены: " + why;
}
inline std::string CameraProfileSnapshot(const std::string& camera, const std::string& profile,
                                         const std::string& url) {
  return camera + "; профиль " + profile + "; снимок: " + url;
}

// ---- the clips ----

inline constexpr const char* kClipAlreadyRecording =
    "Запись видео уже идёт; закончите её методом «СтопВидео»";
inline constexpr const char* kNoClipRecording =
    "Запись видео не идёт: её начинает «СтартВидеоЗаписи»";
inline constexpr const char* kClipLimitsNotPositive =
    "Параметры VideoMaxSeconds (НаибольшаяДлительностьВидео) и VideoMaxMegabytes "
    "(НаибольшийРазмерВидео) должны быть больше нуля";
inline std::string StreamNotRecordable(const std::string& url) {
  return "Камера отдаёт видеопоток по адресу, который драйвер не записывает (нужен rtsp://): " +
         url;
}
inline std::string StreamHostNotFound(const std::string& host, const std::string& url) {
  return "Не найден адрес узла видеопотока камеры " + Quoted(host) + ": " + url;
}
// The log's line of a clip started: where from, where to, and the call's
// arguments under their 1C names.
inline std::string ClipStarting(const std::string& url, const std::string& fileName,
                                bool showWindow, bool keepAudio) {
  return "Запись ролика: " + url + " -> " + Quoted(fileName) +
         "; ПоказатьОкно=" + (showWindow ? "Истина" : "Ложь") +
         "; звук=" + (keepAudio ? "да" : "нет");
}
// The log's line of a clip ended: its file, its length, frames and bytes, and
// why it ended early where it did.
inline std::string ClipEnded(const std::string& fileName, double seconds, unsigned long long frames,
                             unsigned long long bytes, const std::string& failure) {
  char figures[128];
  std::snprintf(figures, sizeof figures, "%.1f с, %llu кадров, %llu байт", seconds, frames, bytes);
  return "Ролик " + Quoted(fileName) + ": " + figures + (failure.empty() ? "" : "; " + failure);
}

// Fixed: the platform's words for a property or action call it cannot make.
inline constexpr const char* kPropertyNotFound = "Property not found: ";
inline constexpr const char* kPropertyReadOnly = "Property is read-only: ";
inline constexpr const char* kPropertyTypeUnacceptable = "Property type unacceptable";
inline constexpr const char* kValueTypeUnacceptable = "Value type unacceptable";
inline constexpr const char* kEnumValueUnacceptable = "Enum value unacceptable";
inline constexpr const char* kActionNotFound = "Action not found";
inline constexpr const char* kAbstractError = "Abstract Error";

}  // namespace zorvane::msg
