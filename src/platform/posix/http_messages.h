// The texts of the Linux HTTP backend that name its library; the rest of the
// platform's texts, and the rule for their language, are in platform/messages.h.
#pragma once

#include <string>

namespace zorvane::msg {

inline constexpr const char* kCurlNotStarted = "Библиотека HTTP (libcurl) не запустилась";
inline constexpr const char* kCurlNoVersion = "Библиотека HTTP (libcurl) не сообщает свою версию";
inline std::string CurlTooOld(const std::string& version) {
  return "libcurl " + version + " слишком старая; нужна 7.61 или новее";
}
// An option the HTTP library would not take: its name as the library spells it.
inline std::string CurlRefused(const std::string& version, const std::string& option) {
  return "libcurl " + version + " не приняла " + option;
}

}  // namespace zorvane::msg
