// The XML floor's texts for the user.
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

namespace zorvane::msg {

// Fixed: the list error's words as the driver has always given them.
inline std::string ListIndexOutOfBounds(size_t index) {
  return "List index out of bounds (" + std::to_string(index) + ")";
}

// What a document may not have more of, counted: "больше 100 узлов".
inline constexpr const char* kXmlNodes = "узлов";
inline constexpr const char* kXmlAttributes = "атрибутов";
inline std::string XmlDocumentOverLimit(size_t limit, const char* what) {
  return "В XML-документе больше " + std::to_string(limit) + " " + what;
}

inline constexpr const char* kStreamWriteError = "Ошибка записи в поток: поток только для чтения";

}  // namespace zorvane::msg
