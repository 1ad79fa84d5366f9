// The windows' texts: titles, labels, buttons, and why a window cannot be
// shown.
//
// Which language: a text the user can see (what ПолучитьОшибку and the
// driver's error description return, a window, a message the 1C platform
// shows) is Russian: what failed and with which input, names in «», the
// system's own words after a colon. Texts fixed by the platform's interface
// or the driver protocol stay exactly as they are, in English: here, the
// profile tree of the camera details window, which names each field as the
// camera's protocol does (device_form.cpp). Lines that only go to the log
// file may stay English.
#pragma once

#include <cstddef>
#include <string>

#include "onvif/messages.h"

namespace zorvane::msg {

// ---- titles ----

inline constexpr const char* kCameraSearchTitle = "Поиск камеры";
inline constexpr const char* kLogViewerTitle = "Просмотр лога";
inline constexpr const char* kDeviceTitle = "ONVIF устройство";
inline constexpr const char* kDevicesTitle = "ONVIF устройства";
inline constexpr const char* kDocumentTitle = "Документ";
inline constexpr const char* kErrorTitle = "Ошибка";

// ---- labels and buttons ----

inline constexpr const char* kNameLabel = "Имя:";
inline constexpr const char* kHostLabel = "Адрес:";
inline constexpr const char* kPortLabel = "Порт:";
inline constexpr const char* kSnapshotUriLabel = "URI фотоснимка:";
inline constexpr const char* kProfilesLabel = "Профили:";
inline constexpr const char* kLocalInterfaceLabel = "Сетевой интерфейс:";
inline constexpr const char* kLoginLabel = "Пользователь:";
inline constexpr const char* kPasswordLabel = "Пароль:";
inline constexpr const char* kOkButton = "ОК";
inline constexpr const char* kCancelButton = "Отмена";
inline constexpr const char* kSearchButton = "Поиск";
inline constexpr const char* kCloseButton = "Закрыть";
inline constexpr const char* kOpenLogFolderTip = "Открыть папку логов";

// ---- the camera search ----

inline constexpr const char* kNoNetworkInterface = "Сетевой интерфейс отсутствует";
inline constexpr const char* kNoDevicesFound = "Устройства не найдены";
inline constexpr const char* kSearching = "Поиск камер…";
inline std::string QueryProgress(size_t done, size_t total) {
  return "Опрос камер: " + std::to_string(done) + " из " + std::to_string(total);
}
inline std::string CamerasFound(size_t found, size_t failed) {
  return "Найдено камер: " + std::to_string(found) +
         (failed ? ", с ошибкой: " + std::to_string(failed) : std::string());
}
// The message box of a camera whose queries failed.
inline std::string CameraFailed(const std::string& camera, const std::string& why) {
  return "Камера " + camera + ": " + why;
}

// ---- the log viewer ----

inline std::string LogTailShown(size_t mebibytes, const std::string& file) {
  return "Показаны последние " + std::to_string(mebibytes) + " МиБ файла " + file;
}

// ---- a window that cannot be shown ----

inline std::string WindowCannotBeShown(const std::string& caption, const std::string& why) {
  return "Окно " + Quoted(caption) + " не может быть показано: " + why;
}
// Why; after WindowCannotBeShown's colon, so in lower case.
inline constexpr const char* kNoWindowsInThisBuild = "окна недоступны в этой сборке драйвера";
inline constexpr const char* kGtk2Loaded =
    "в процессе уже загружена библиотека GTK 2, а окнам драйвера нужна GTK 3";
inline constexpr const char* kGtk4Loaded =
    "в процессе уже загружена библиотека GTK 4, а окнам драйвера нужна GTK 3";
inline constexpr const char* kNoDisplayVariable =
    "нет графического дисплея (переменная DISPLAY не задана)";
inline std::string NoGtk3(const std::string& tried) {
  return "не найдена библиотека GTK 3 (libgtk-3.so.0); установите пакет libgtk-3-0 (" + tried + ")";
}
inline std::string LibraryUnfitLower(const std::string& library, const std::string& why) {
  return "библиотека " + library + " не подходит: " + why;
}
inline std::string NotGtk3(const std::string& library) {
  return "библиотека " + library + " не является GTK 3";
}
inline std::string CannotOpenDisplay(const std::string& display) {
  return "не удалось открыть графический дисплей " + Quoted(display);
}
inline constexpr const char* kNotGtkThread =
    "вызов пришёл не из того потока приложения, в котором работает GTK";
inline constexpr const char* kLibsoup2WithoutWebKit40 =
    "в процессе уже есть libsoup 2, а WebKitGTK 4.0 (пакет libwebkit2gtk-4.0-37) не установлен";
inline constexpr const char* kLibsoup3WithoutWebKit41 =
    "в процессе уже есть libsoup 3, а WebKitGTK 4.1 (пакет libwebkit2gtk-4.1-0) не установлен";
inline std::string NoWebKit(const std::string& tried) {
  return "не найдена библиотека WebKitGTK; установите пакет libwebkit2gtk-4.0-37 или "
         "libwebkit2gtk-4.1-0 (" +
         tried + ")";
}
inline constexpr const char* kNoDisplay = "нет графического дисплея";
inline constexpr const char* kComctlUnfit = "comctl32.dll не подходит: нет нужных функций";
inline constexpr const char* kComctlUnavailable = "элементы управления comctl32 недоступны";
inline constexpr const char* kNoVisibleDesktop = "нет рабочего стола, видимого пользователю";
inline std::string NoLibraryManifest(const std::string& why) {
  return "нет манифеста библиотеки: " + why;
}
inline std::string NotAbsoluteFileName(const std::string& path) {
  return "Имя файла " + Quoted(path) + " не полное (нет пути от корня)";
}

}  // namespace zorvane::msg
