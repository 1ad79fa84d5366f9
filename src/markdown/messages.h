// The help floor's texts for the user.
//
// Which language: a text the user can see (what ПолучитьОшибку and the
// driver's error description return, a window, a message the 1C platform
// shows) is Russian: what failed and with which input, names in «», the
// system's own words after a colon. Texts fixed by the platform's interface
// or the driver protocol stay exactly as they are, in English; they are
// listed below as fixed. Lines only for the log file may stay English.
#pragma once

#include <cstddef>
#include <string>

#include "platform/messages.h"

namespace zorvane::msg {

// Fixed: the words the driver has always answered with for a missing help
// file, kept letter for letter (the misspelling included).
inline constexpr const char* kFileNotFound = "File not found: ";
inline constexpr const char* kMarkdownNotFound = "Mardown file not found";

inline std::string UnsafeArchiveName(const std::string& name) {
  return "Недопустимое имя в архиве справки: «" + name + "»";
}
inline std::string HelpArchiveTooLarge(size_t mebibytes) {
  return "Архив справки распаковывается больше чем в " + std::to_string(mebibytes) + " МиБ";
}
inline constexpr const char* kHelpNotConverted = "Не удалось преобразовать текст справки в HTML";
inline std::string HelpFolderTaken(const std::string& path) {
  return WithReason(CannotCreateFolder(path), kFolderNameTaken);
}

inline std::string NoLibzip(const std::string& tried) {
  return "Не найдена библиотека libzip; установите пакет libzip4 (" + tried + ")";
}
inline std::string NoMd4c(const std::string& tried) {
  return "Не найдена библиотека md4c-html; установите пакет libmd4c-html0 (" + tried + ")";
}

}  // namespace zorvane::msg
