// The video floor's texts for the user: what a clip's recording answers
// when it cannot start, when it ends early, and what it tells the log.
//
// Which language: a text the user can see (what ПолучитьОшибку and the
// driver's error description return, a window, a message the 1C platform
// shows) is Russian: what failed and with which input, names in «», the
// system's own words after a colon. Texts fixed by the platform's interface
// or the driver protocol stay exactly as they are, in English; this floor
// has none. Lines that only go to the log file may stay English.
//
// FFmpeg's own words (its error texts, its log lines, the names of formats)
// are the system's words here: they come in as they are.
#pragma once

#include <string>

#include "log/messages.h"

namespace zorvane::msg {

// ---- the camera's stream ----

inline constexpr const char* kRecordingUnderway = "Запись видео уже идёт";
inline constexpr const char* kNoMemoryForClip = "Не хватает памяти для записи видео";
inline std::string InvalidStreamUrl(const std::string& url) {
  return "Недопустимый адрес видеопотока: " + url;
}
inline std::string NoVideoInStream(const std::string& url) {
  return "В потоке камеры нет видео: " + url;
}
inline std::string VideoFormatNotRecorded(const std::string& url) {
  return "Видео камеры в формате, который драйвер не записывает: " + url;
}
inline std::string UnknownFrameSize(const std::string& url) {
  return "Не удалось узнать размер кадра видео камеры: " + url;
}

// The steps that wait for the camera; a failure of one reads
// "<step>: <why>: <the stream's address>".
inline constexpr const char* kStreamNotGiven = "Камера не отдала видеопоток";
inline constexpr const char* kNoFirstFrame = "Камера не прислала первый кадр видео";
inline constexpr const char* kRecordingInterrupted = "Запись видео прервана";
inline std::string StepFailed(const std::string& step, const std::string& why,
                              const std::string& url) {
  return step + ": " + why + ": " + url;
}
// Why a step failed, where the camera's answer says it.
inline constexpr const char* kRtspUnauthorized = "камера не приняла логин и пароль (RTSP 401)";
inline constexpr const char* kRtspForbidden = "камера запретила доступ к видеопотоку (RTSP 403)";
inline constexpr const char* kRtspNotFound = "у камеры нет видеопотока по этому адресу (RTSP 404)";
inline constexpr const char* kCameraClosedConnection = "камера закрыла соединение";
inline constexpr const char* kCameraRefusedConnection =
    "камера не принимает соединения на этом порту";
inline constexpr const char* kCameraNoAnswer = "камера не ответила";
inline constexpr const char* kCameraUnreachable = "камера недоступна по сети";
inline constexpr const char* kStreamSchemeNotRecorded =
    "драйвер не записывает видеопоток с таким адресом";
// The library's error text, and the last line it logged where there is one.
inline std::string WithLibraryLine(const std::string& text, const std::string& line) {
  return line.empty() ? text : text + " (" + line + ")";
}

// Steps given up before the camera failed.
inline constexpr const char* kStoppedBeforeFirstFrame =
    "Запись видео остановлена до того, как камера прислала первый кадр";
inline std::string CameraSilent(const std::string& step, long long seconds,
                                const std::string& url) {
  return step + ": камера не присылает видео " + std::to_string(seconds) + " с (" + url + ")";
}
inline std::string StreamRedirected(const std::string& hostAndPort, const std::string& url) {
  return "Камера перенаправила видеопоток на другой адрес (" + hostAndPort +
         "); логин и пароль камеры туда не отправляются: " + url;
}

// ---- the clip's file ----

// A format of the library's name ("hevc") that the container ("MP4",
// "Matroska") cannot hold.
inline std::string VideoFormatNotInContainer(const std::string& format,
                                             const std::string& container,
                                             const std::string& fileName) {
  return "Видео камеры в формате " + format + " нельзя записать в файл " + container + ": " +
         Quoted(fileName);
}
inline std::string CannotStartClipFile(const std::string& fileName, const std::string& why) {
  return "Не удалось начать файл видео " + Quoted(fileName) + ": " + why;
}
inline std::string CannotWriteClip(const std::string& fileName, const std::string& why) {
  return "Не удалось записать видео в файл " + Quoted(fileName) + ": " + why;
}
inline std::string ClipAtMaxDuration(long long seconds) {
  return "Ролик достиг наибольшей длины (" + std::to_string(seconds) + " с) и закончен";
}
inline std::string ClipAtMaxSize(unsigned long long bytes) {
  return "Файл ролика достиг наибольшего размера (" + std::to_string(bytes) + " байт) и закончен";
}
// A file that could not be finished: why the clip ended (empty: it was
// stopped), why the file was not finished, and the part it stays in.
inline std::string ClipNotFinished(const std::string& failure, const std::string& why,
                                   const std::string& partName) {
  return (failure.empty() ? "" : failure + "; ") + "файл ролика не закончен (" + why +
         "), записанное осталось в " + Quoted(partName);
}

// Log lines: the container chosen for an unknown extension, the camera's
// sound left out of a container that does not take it (format: the
// library's names of the sound's format and of the container).
inline std::string ClipInMatroska(const std::string& fileName) {
  return Quoted(fileName) + ": расширение не .mp4 и не .mkv, ролик пишется в Matroska";
}
inline std::string AudioLeftOut(const std::string& audioFormat, const std::string& fileName,
                                const std::string& container) {
  return "Звук камеры (" + audioFormat + ") в файл " + Quoted(fileName) +
         " не пишется: " + container + " его не принимает; запишите ролик в .mkv";
}

}  // namespace zorvane::msg
