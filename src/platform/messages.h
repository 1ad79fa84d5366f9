// The platform floor's texts for the user.
//
// Which language: a text the user can see (what ПолучитьОшибку and the
// driver's error description return, a window, a message the 1C platform
// shows) is Russian. It says what failed and with which input, names in
// guillemets: «…»; the system's own words for the failure follow after a
// colon, as the system gives them. Texts that the platform's interface or the
// driver protocol fix stay as they are, in English; each catalog lists its
// own. Lines that only go to the log file may stay English.
//
// The messages the platform floor throws (files, folders, threads, the HTTP
// exchange, the shell). ThrowSystemError, ThrowNetError and their Windows
// kin append ": <the system's text>" to these.
#pragma once

#include <string>

namespace zorvane::msg {

// ---- files and folders ----

inline std::string Quoted(const std::string& name) {
  return "«" + name + "»";
}

inline std::string CannotOpenFile(const std::string& path) {
  return "Не удалось открыть файл " + Quoted(path);
}
inline std::string CannotReadFile(const std::string& path) {
  return "Не удалось прочитать файл " + Quoted(path);
}
inline std::string CannotWriteFile(const std::string& path) {
  return "Не удалось записать файл " + Quoted(path);
}
inline std::string CannotCreateFile(const std::string& path) {
  return "Не удалось создать файл " + Quoted(path);
}
inline std::string CannotLockFile(const std::string& path) {
  return "Не удалось заблокировать файл " + Quoted(path);
}
inline std::string CannotFollowLink(const std::string& path) {
  return "Не удалось пройти по ссылке " + Quoted(path);
}
inline std::string CannotCreateFolder(const std::string& path) {
  return "Не удалось создать папку " + Quoted(path);
}
inline std::string CannotOpenFolder(const std::string& path) {
  return "Не удалось открыть папку " + Quoted(path);
}
inline std::string CannotShareFolder(const std::string& path) {
  return "Не удалось открыть папку " + Quoted(path) + " всем пользователям";
}
inline std::string CannotUseFolder(const std::string& path) {
  return "Нельзя использовать папку " + Quoted(path);
}
// A file written through a symbolic link: the file and the link it was named by.
inline std::string FileThroughLink(const std::string& target, const std::string& link) {
  return Quoted(target) + " (ссылка " + Quoted(link) + ")";
}
inline std::string CannotCreateFileShown(const std::string& shown) {
  return "Не удалось создать файл " + shown;
}
inline std::string CannotWriteFileShown(const std::string& shown) {
  return "Не удалось записать файл " + shown;
}
inline std::string CannotSeekInFile(const std::string& path) {
  return "Не удалось перейти к месту в файле " + Quoted(path);
}
// A file written beside its place under a part's name, then put in place;
// the place as FileThroughLink or Quoted shows it.
inline std::string CannotPutFileInPlace(const std::string& part, const std::string& shown) {
  return "Не удалось поставить файл " + Quoted(part) + " на место " + shown;
}

// Why a file or folder is not taken; after "<what failed>: ".
inline constexpr const char* kNotRegularFile = "это не обычный файл";
inline constexpr const char* kHasOtherNames = "у файла есть другие имена (жёсткие ссылки)";
inline constexpr const char* kOwnedByAnotherUser = "её владелец — другой пользователь";
inline constexpr const char* kFileOwnedByAnotherUser = "его владелец — другой пользователь";
inline constexpr const char* kOthersMayReplace =
    "другие пользователи могут подменить то, что в ней лежит";
inline constexpr const char* kNotFolderOfItsOwn =
    "это не папка сама по себе (ссылка или точка соединения)";
inline constexpr const char* kFileBusy = "файл занят другим процессом";
inline constexpr const char* kFolderNameTaken = "такое имя уже занято";

inline std::string WithReason(const std::string& what, const std::string& why) {
  return what + ": " + why;
}

// A small file read whole (a photo, a settings file).
inline std::string CannotOpenSmallFile(const std::string& path) {
  return "Не удалось открыть " + path;
}
inline std::string CannotReadSmallFile(const std::string& path) {
  return "Не удалось прочитать " + path;
}
inline std::string NotRegularFile(const std::string& path) {
  return "Не обычный файл: " + path;
}
inline std::string FileHasOtherNames(const std::string& path) {
  return "У файла есть другие имена (жёсткие ссылки): " + path;
}

// ---- the user's folders ----

inline constexpr const char* kNoHomeFolder = "У пользователя нет домашней папки";
inline constexpr const char* kNoDataFolder = "У пользователя нет своей папки данных";

// ---- threads, programs, the shell ----

inline constexpr const char* kCannotStartThread = "Не удалось запустить поток";
inline std::string CannotStartProgram(const std::string& program) {
  return "Не удалось запустить " + Quoted(program);
}
inline std::string CannotOpenInShell(const std::string& target, const std::string& why) {
  return "Не удалось открыть " + Quoted(target) + ": " + why;
}
inline constexpr const char* kNoOpener =
    "Не найдены программы xdg-open и gio, которыми открываются папки и страницы; "
    "установите пакет xdg-utils";

// ---- libraries bound at run time ----

inline std::string LibraryUnfit(const std::string& library, const std::string& why) {
  return "Библиотека " + library + " не подходит: " + why;
}
inline std::string NoSymbol(const std::string& library, const std::string& symbol) {
  return library + ": нет функции " + symbol;
}
inline std::string NoLibcrypto(const std::string& tried) {
  return "Не найдена библиотека libcrypto (OpenSSL 3 или 1.1); установите пакет "
         "libssl3 или libssl1.1 (" +
         tried + ")";
}
inline std::string NoHashFunction(const std::string& where) {
  return "Хеш-функция недоступна в " + where;
}
inline std::string NoRandomBytes(const std::string& from) {
  return "Нет случайных байтов от " + from;
}

// ---- the HTTP exchange ----

inline constexpr const char* kCannotStartHttp = "Не удалось начать обмен по HTTP";
inline constexpr const char* kCannotStartWinHttp = "Не удалось начать обмен по HTTP (WinHTTP)";
// The Linux backend's own texts, which name its library: posix/http_messages.h.
inline std::string WinHttpRefused(const std::string& option) {
  return "WinHTTP не принял " + option;
}
inline constexpr const char* kWinHttpRefusedTls12 = "WinHTTP не принял TLS 1.2";
inline constexpr const char* kWinHttpRefusedTimeLimits = "WinHTTP не принял пределы времени";
inline constexpr const char* kRequestTooLargeForWinHttp = "Тело запроса слишком велико для WinHTTP";

// The system gave no words for an error code.
inline std::string ErrorCodeOnly(long long code) {
  return "ошибка " + std::to_string(code);
}

}  // namespace zorvane::msg
