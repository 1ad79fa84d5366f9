// The log floor's words, and the texts every floor above shares.
//
// Which language: a text the user can see (what ПолучитьОшибку and the
// driver's error description return, a window, a message the 1C platform
// shows) is Russian: what failed and with which input, names in «», the
// system's own words after a colon. Texts fixed by the platform's interface
// or the driver protocol stay exactly as they are, in English; they are
// listed below as fixed. Lines that only go to the log file may stay
// English: the log's own diagnostics below are such lines.
#pragma once

#include <string>

#include "platform/messages.h"

namespace zorvane::msg {

// A failure that came without words of its own (not an exception of ours).
// Here, below every floor that catches one: the log, the add-in's interface
// layer and the driver all report it in these words.
inline constexpr const char* kUnknownFailure = "Неизвестная ошибка";

// Fixed: the log's own words, as readers of the log file know them.
inline constexpr const char* kStartLine = "============Start log=============";
inline constexpr const char* kStopLine = "============Stop log===============";
inline constexpr const char* kException = "Exception";       // a driver call that failed
inline constexpr const char* kTraceException = "EXCEPTION";  // a platform call that failed
inline constexpr const char* kHeaderOsVersion = "OS version:\t";
inline constexpr const char* kHeaderApplication = "Application:\t";
inline constexpr const char* kHeaderAppVersion = "App. version:\t";

// Log-only diagnostics: what the log says of itself.
inline constexpr const char* kLogFolder = "Log folder";
inline std::string SharedFolderUnusable(const std::string& folder, const std::string& why) {
  return folder + " (the shared folder cannot be used: " + why + ")";
}
inline constexpr const char* kLogLinesLost = "Log lines lost";

// The log file is held by another writer longer than a line may wait.
inline std::string LogFileBusy(const std::string& path) {
  return WithReason(CannotLockFile(path), kFileBusy);
}

}  // namespace zorvane::msg
