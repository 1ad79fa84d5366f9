// The daily diagnostic log: one file a day under the machine's data folder,
// shared by every driver object of the loaded library, off until switched on.
// Each line is appended with open/write/close, so readers see it at once.
// The log never changes what a call answers: a line that cannot be written
// is lost and counted, and where the shared folder cannot be used (another
// user's folder or file, a link, a lock held for good) the lines go to the
// user's own data folder instead.
#pragma once

#include <string>

namespace zorvane {

enum class TLogLevel : unsigned char { llInfo = 0, llDebug = 1, llError = 2 };
enum class TLogMode : unsigned char { lmOff = 0, lmErrors = 1, lmInfoAndErrors = 2, lmAll = 3 };

// Folder between the data folder and the log folder.
inline constexpr const char* LogCompanyFolder = "Telvask";

// Appends one line if the mode lets the level through; writes the start header
// first when it is due. A line that cannot be written is lost: the next line
// written says how many were lost and why.
void WriteLog(const std::string& Message, const std::string& Details, TLogLevel Level) noexcept;

// The same without details.
void TryWriteLog(const std::string& Message, TLogLevel Level) noexcept;

// Counts a line that could not even be made (why: the reason), while the log is on.
void LogLineLost(const std::string& why) noexcept;

// Switching off writes the stop line when a header was written.
void SetLogMode(TLogMode Mode) noexcept;
TLogMode GetLogMode();

// The log folder (with its trailing separator) or today's log file: in the
// shared folder, or in the user's own when the shared one cannot be used;
// the folder exists afterwards. Fails when neither can be made.
std::string GetLogPath(bool FolderOnly);

// Writes the start header if the log is on and the header is not written yet.
void WriteLogHeader() noexcept;

// Base name of the log folder and files ("zorvane"); empty means the library file's name.
void SetLogName(const std::string& name);
std::string GetLogName();

// At unload: the stop line if a header was written while the log is on.
void LogUnload();

// The line text (without CR LF) for the given time stamp, level, message and details.
std::string FormatLogLine(const std::string& timeStamp, TLogLevel Level, const std::string& Message,
                          const std::string& Details);

}  // namespace zorvane
