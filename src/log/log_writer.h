// The daily diagnostic log: one file a day under the machine's data folder,
// shared by every driver object of the loaded library, off until switched on.
// Each line is appended with open/write/close, so readers see it at once.
#pragma once

#include <string>

namespace zorvane {

enum class TLogLevel : unsigned char { llInfo = 0, llDebug = 1, llError = 2 };
enum class TLogMode : unsigned char { lmOff = 0, lmErrors = 1, lmInfoAndErrors = 2, lmAll = 3 };

// Folder between the data folder and the log folder.
inline constexpr const char* LogCompanyFolder = "Telvask";

// Appends one line if the mode lets the level through; writes the start header
// first when it is due. Fails with the file system's error.
void WriteLog(const std::string& Message, const std::string& Details, TLogLevel Level);

// The same for work that goes on whether or not the line could be written.
void TryWriteLog(const std::string& Message, TLogLevel Level) noexcept;

void SetLogMode(TLogMode Mode);
TLogMode GetLogMode();

// The log folder (with trailing "/") or today's log file; the folder exists afterwards.
std::string GetLogPath(bool FolderOnly);

// Writes the start header if the log is on and the header is not written yet.
void WriteLogHeader();

// Base name of the log folder and files ("zorvane"); empty means the library file's name.
void SetLogName(const std::string& name);
std::string GetLogName();

// At unload: the stop line if a header was written while the log is on.
void LogUnload();

// The line text (without CR LF) for the given time stamp, level, message and details.
std::string FormatLogLine(const std::string& timeStamp, TLogLevel Level, const std::string& Message,
                          const std::string& Details);

}  // namespace zorvane
