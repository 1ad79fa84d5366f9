// The add-in interface layer's texts for the user: what the 1C platform
// shows when a call into the add-in fails.
//
// Which language: a text the user can see (what ПолучитьОшибку and the
// driver's error description return, a window, a message the 1C platform
// shows) is Russian: what failed and with which input, names in «», the
// system's own words after a colon. Texts fixed by the platform's interface
// or the driver protocol stay exactly as they are, in English; they are
// listed below as fixed. Lines that only go to the log file may stay
// English.
#pragma once

#include <string>

#include "log/messages.h"

namespace zorvane::msg {

// The source the platform names beside an error of the add-in.
inline constexpr const char16_t* kErrorSource = u"Внешняя компонента";

// Fixed: the interface's own words for values it cannot carry.
inline constexpr const char* kUnsupportedDataType = "Unsupported data type";
inline constexpr const char* kInvalidDateEncode = "Invalid argument to date encode";
inline constexpr const char* kInvalidTimeEncode = "Invalid argument to time encode";

// A call the platform made that does not fit what the add-in declared.
inline std::string PropertyIndexOutOfRange(long index) {
  return "Номер свойства " + std::to_string(index) + " вне списка свойств";
}
inline std::string NoValueForProperty(const std::string& property) {
  return "Не передано значение свойства " + Quoted(property);
}
inline std::string MethodIndexOutOfRange(long index) {
  return "Номер метода " + std::to_string(index) + " вне списка методов";
}
inline std::string MethodWithoutParameters(const std::string& method) {
  return "Метод " + Quoted(method) + " вызван без параметров";
}
inline std::string TooFewParameters(const std::string& method, long declared, long given) {
  return "Методу " + Quoted(method) + " нужно параметров: " + std::to_string(declared) +
         ", передано: " + std::to_string(given);
}

// Log words of the call trace.
inline constexpr const char* kTraceParams = "Params: ";

}  // namespace zorvane::msg
