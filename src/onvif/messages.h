// The camera floor's texts for the user: the HTTP exchange, the SOAP calls,
// the camera search.
//
// Which language: a text the user can see (what ПолучитьОшибку and the
// driver's error description return, a window, a message the 1C platform
// shows) is Russian: what failed and with which input, names in «», the
// system's own words after a colon. Texts fixed by the platform's interface
// or the driver protocol stay exactly as they are, in English; they are
// listed below as fixed. Lines that only go to the log file may stay
// English.
//
// A failure without words of its own is msg::kUnknownFailure ("Неизвестная
// ошибка"), from the log floor's catalog: the floors below this one report
// such failures too.
#pragma once

#include <cstddef>
#include <string>

#include "log/messages.h"
#include "xml/messages.h"

namespace zorvane::msg {

// ---- the call and the search ----

// The message of work given up because its owner cancelled it.
inline constexpr const char* kSearchCancelled = "Поиск прерван";
inline constexpr const char* kNotQueriedInTime = "Камера не опрошена: время поиска истекло";
// What an exchange is for, named when time runs out.
inline constexpr const char* kStepExchange = "обмен с камерой";
inline constexpr const char* kStepSnapshot = "загрузка снимка";
// "; не завершён шаг: <step>" ends every message of time run out.
inline std::string UnfinishedStep(const std::string& step) {
  return "; не завершён шаг: " + step;
}
inline std::string CallDeadlineExpired(long long seconds, const std::string& step) {
  return "Камера не ответила за отведённое вызову время (" + std::to_string(seconds) + " с)" +
         UnfinishedStep(step);
}

// ---- the HTTP exchange ----

// "«10.0.0.5», порт 80": where an exchange was going.
inline std::string HostAndPort(const std::string& host, int port) {
  return Quoted(host) + ", порт " + std::to_string(port);
}
inline std::string NameNotResolved(const std::string& host) {
  return "Не удалось разрешить имя " + Quoted(host) + " в адрес";
}
inline std::string CannotConnect(const std::string& where) {
  return "Не удалось подключиться к " + where;
}
inline std::string ConnectTimedOut(const std::string& seconds, const std::string& step) {
  return "Камера не приняла соединение за отведённое время (" + seconds + " с)" +
         UnfinishedStep(step);
}
inline std::string ExchangeTimedOut(const std::string& seconds, const std::string& step) {
  return "Камера не ответила за отведённое обмену время (" + seconds + " с)" + UnfinishedStep(step);
}
inline std::string ExchangeTooSlow(long bytesPerSecond, long seconds, const std::string& step) {
  return "Обмен с камерой остановился: меньше " + std::to_string(bytesPerSecond) +
         " байт/с в течение " + std::to_string(seconds) + " с" + UnfinishedStep(step);
}
inline std::string NameLookupTimedOut(const std::string& seconds, const std::string& step) {
  return "Имя камеры не разрешено в адрес за отведённое время (" + seconds + " с)" +
         UnfinishedStep(step);
}
inline std::string TlsFailed(const std::string& where) {
  return "Не удалось установить соединение TLS с " + where;
}
inline std::string ConnectionLost(const std::string& where, size_t receivedBytes) {
  return "Соединение с " + where + " прервалось после " + std::to_string(receivedBytes) +
         " байт ответа";
}
inline std::string AnswerTooLarge(size_t mebibytes) {
  return "Ответ камеры больше " + std::to_string(mebibytes) + " МиБ";
}
inline std::string ExchangeFailed(const std::string& where) {
  return "Обмен по HTTP с " + where + " не удался";
}
inline std::string TooManyRedirects(int limit) {
  return "Слишком много перенаправлений (больше " + std::to_string(limit) + ")";
}
inline constexpr const char* kUrlNoScheme = "Недопустимый URL (нет схемы)";
inline constexpr const char* kUrlNoHost = "Недопустимый URL (нет узла)";
inline constexpr const char* kUrlBadHost = "Недопустимый URL (неверный узел)";
inline constexpr const char* kUrlBadPort = "Недопустимый URL (неверный порт)";
inline std::string UnsupportedScheme(const std::string& scheme) {
  return "Схема URL " + Quoted(scheme) + " не поддерживается (только http и https)";
}
inline std::string CannotStartNameLookup(const std::string& host) {
  return "Не удалось начать разрешение имени " + Quoted(host);
}
inline constexpr const char* kLoginHasControlCharacters =
    "Логин камеры содержит управляющие символы";
inline std::string CredentialsNotSentElsewhere(const std::string& where, bool redirected) {
  return "Запрос с логином и паролем камеры не отправлен на другой адрес (" + where + ")" +
         (redirected ? ", куда камера его перенаправила" : "");
}
inline constexpr const char* kCredentialsOnlyToCamera =
    " (логин и пароль отправляются только камере, заданной в настройках)";

// ---- the SOAP calls ----

inline constexpr const char* kNoDeviceInformation = "Не удалось получить информацию об устройстве";
inline constexpr const char* kNoProfiles = "Не удалось получить информацию о профилях";
inline constexpr const char* kNoSnapshotInformation = "Не удалось получить информацию о фотоснимке";
inline constexpr const char* kNoStreamUri = "Камера не сообщила адрес видеопотока";
// The stream address the camera gave, unfit to record from; the empty one
// after kNoStreamUri, by WithReason.
inline constexpr const char* kStreamUriEmpty = "в ответе камеры адрес пуст";
inline std::string StreamUriNotRtsp(const std::string& url) {
  return "Камера сообщила адрес видеопотока не по протоколу RTSP: " + Quoted(url);
}
inline std::string StreamUriWithoutHost(const std::string& url) {
  return "В адресе видеопотока, который сообщила камера, нет узла или он записан с ошибкой: " +
         Quoted(url);
}
inline std::string ServiceElsewhereNeedsCredentials(const std::string& reason) {
  return "Камера назвала адрес службы на другом узле; логин и пароль туда не отправляются, "
         "а служба их требует (" +
         reason + ")";
}
inline std::string NotAnImage(const std::string& contentType, size_t size,
                              const std::string& firstBytes) {
  return "Камера вернула вместо снимка не изображение (Content-Type: " +
         (contentType.empty() ? std::string("не указан") : contentType) + ", " +
         std::to_string(size) + " байт, начало: «" + firstBytes + "»)";
}
// "M на 10.0.0.5": a camera's name in the search, its model and its address.
inline std::string CameraOnHost(const std::string& model, const std::string& host) {
  return model + " на " + host;
}
// What a camera's answer may not have more of, counted: "больше 64 профилей".
inline constexpr const char* kAnswerProfiles = "профилей";
inline constexpr const char* kAnswerXmlNodes = "узлов XML";
inline constexpr const char* kAnswerXmlAttributes = "атрибутов XML";
inline std::string AnswerOverLimit(size_t limit, const std::string& what) {
  return "В ответе камеры больше " + std::to_string(limit) + " " + what;
}
inline constexpr const char* kNoSha1 = "Хеш-функция SHA-1 недоступна";
inline std::string CameraClockOutOfRange(long long offsetSeconds, int firstYear, int lastYear) {
  return "Часы камеры отличаются от наших на " + std::to_string(offsetSeconds) +
         " с: это время вне " + std::to_string(firstYear) + ".." + std::to_string(lastYear) +
         " годов";
}

// Fixed: the conversion errors' words as the driver has always given them.
inline std::string NotValidInteger(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}
inline std::string NotValidBoolean(const std::string& text) {
  return "'" + text + "' is not a valid boolean value";
}
inline std::string NotValidFloat(const std::string& text) {
  return "'" + text + "' is not a valid floating point value";
}
inline std::string NotValidDateTime(const std::string& text) {
  return "'" + text + "' is not a valid date and time";
}
// Log-only: a camera clock that cannot be (it is read only to sign requests).
inline std::string ClockYearsOutside(const std::string& text, int firstYear, int lastYear) {
  return "'" + text + "' is outside the years " + std::to_string(firstYear) + ".." +
         std::to_string(lastYear) + " of a camera clock";
}

// ---- the camera search (WS-Discovery) ----

inline constexpr const char* kCannotReadHostName = "Не удалось узнать имя этого компьютера";
inline constexpr const char* kCannotListInterfaces =
    "Не удалось получить список сетевых интерфейсов";
inline std::string NotIPv4Address(const std::string& text) {
  return "Не адрес IPv4: " + Quoted(text);
}
inline constexpr const char* kCannotOpenUdpSocket = "Не удалось открыть сокет UDP";
inline std::string CannotBindTo(const std::string& address) {
  return "Не удалось привязать сокет к адресу " + address;
}
inline std::string CannotSendMulticastThrough(const std::string& address) {
  return "Не удалось отправить групповой запрос через " + address;
}
inline constexpr const char* kCannotSendProbe = "Не удалось отправить запрос поиска камер";

// Fixed: the search's log words, as readers of the log know them.
inline constexpr const char* kProbeThread = "TONVIFProbeThread: ";
inline constexpr const char* kProbeThreadError = "TONVIFProbeThread ERROR: ";
inline constexpr const char* kProbeAnswerRead = "UDPServerUDPRead: OK";

}  // namespace zorvane::msg
