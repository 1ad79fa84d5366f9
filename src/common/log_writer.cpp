#include "common/log_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>

#include "common/error.h"
#include "common/file_io.h"
#include "common/folder_access.h"
#include "common/never_destroyed.h"
#include "common/system_info.h"
#include "common/text.h"
#include "v8napi/user_locale.h"

namespace zorvane {

namespace {

constexpr const char* kStartLine = "============Start log=============";
constexpr const char* kStopLine = "============Stop log===============";
constexpr const char* kLineBreak = "\r\n";

struct LogState {
  std::atomic<TLogMode> mode{TLogMode::lmOff};
  std::atomic<bool> headerWritten{false};
  std::mutex nameLock;  // guards name only
  std::string name;
  std::mutex lock;  // serialises appending
};

LogState& State() {
  static NeverDestroyed<LogState> state;
  return state.get();
}

bool LevelPasses(TLogMode mode, TLogLevel level) {
  switch (mode) {
    case TLogMode::lmErrors:
      return level == TLogLevel::llError;
    case TLogMode::lmInfoAndErrors:
      return level == TLogLevel::llError || level == TLogLevel::llInfo;
    case TLogMode::lmAll:
      return level == TLogLevel::llError || level == TLogLevel::llInfo ||
             level == TLogLevel::llDebug;
    default:
      return false;
  }
}

const char* LevelText(TLogLevel level) {
  switch (level) {
    case TLogLevel::llInfo:
      return "INFO";
    case TLogLevel::llDebug:
      return "DEBUG";
    case TLogLevel::llError:
      return "ERROR";
  }
  return "";
}

// File name without folder and without extension.
std::string BaseNameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  if (const size_t dot = name.find_last_of('.'); dot != std::string::npos) name.resize(dot);
  return name;
}

struct tm LocalNow(int& msec) {
  struct timeval tv {};
  gettimeofday(&tv, nullptr);
  struct tm local {};
  const time_t seconds = tv.tv_sec;
  localtime_r(&seconds, &local);
  msec = static_cast<int>(tv.tv_usec / 1000);
  return local;
}

std::string TimeStamp() {
  int msec = 0;
  const struct tm t = LocalNow(msec);
  const std::string& sep = UserLocale().TimeSeparator;
  char date[48];
  std::snprintf(date, sizeof date, "%04d.%02d.%02d ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  char part[32];
  std::string stamp = date;
  std::snprintf(part, sizeof part, "%02d", t.tm_hour);
  stamp += part + sep;
  std::snprintf(part, sizeof part, "%02d", t.tm_min);
  stamp += part + sep;
  std::snprintf(part, sizeof part, "%02d.%03d", t.tm_sec, msec);
  return stamp + part;
}

// Opens the log file for appending, creating it readable and writable by all.
int OpenForAppend(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    fchmod(fd, 0666);  // whatever the umask
    return fd;
  }
  if (errno == EEXIST) fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) ThrowSystemError("Cannot open file \"" + path + "\"", errno);
  return fd;
}

void AppendLogLine(const std::string& text) {
  const std::string path = GetLogPath(false);
  const std::string bytes = text + kLineBreak;
  std::lock_guard<std::mutex> guard(State().lock);
  const int fd = OpenForAppend(path);
  // Other processes with this library take the same lock: one writer at a time.
  flock(fd, LOCK_EX);
  try {
    WriteAll(fd, bytes, path);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
}

}  // namespace

std::string FormatLogLine(const std::string& timeStamp, TLogLevel Level, const std::string& Message,
                          const std::string& Details) {
  std::string line = timeStamp + "\t" + LevelText(Level) + "\t" + TrimControl(Message);
  if (!Details.empty()) line += ": \t" + TrimControl(Details);
  return line;
}

void WriteLog(const std::string& Message, const std::string& Details, TLogLevel Level) {
  if (!LevelPasses(State().mode, Level)) return;
  WriteLogHeader();
  AppendLogLine(FormatLogLine(TimeStamp(), Level, Message, Details));
}

void WriteLogHeader() {
  LogState& s = State();
  if (s.mode == TLogMode::lmOff || s.headerWritten) return;
  const auto v = GetModuleVersion();
  char version[32];
  std::snprintf(version, sizeof version, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
  const std::string blanks(40, ' ');
  const std::string modulePath = GetModulePath();
  AppendLogLine(blanks);
  AppendLogLine(kStartLine);
  AppendLogLine("OS version:\t" + GetOSDescription());
  AppendLogLine("Application:\t" + modulePath.substr(modulePath.find_last_of('/') + 1));
  AppendLogLine(std::string("App. version:\t") + version);
  AppendLogLine(blanks);
  s.headerWritten = true;
}

void SetLogMode(TLogMode Mode) {
  LogState& s = State();
  const TLogMode old = s.mode;
  const bool switchingOff = old != TLogMode::lmOff && Mode == TLogMode::lmOff;
  if (switchingOff && s.headerWritten) {
    // The stop line goes out while the log is still on; if it cannot be
    // written the log is switched off all the same.
    try {
      AppendLogLine(std::string(kStopLine) + kLineBreak);
    } catch (...) {
      s.mode = Mode;
      s.headerWritten = false;
      throw;
    }
  }
  s.mode = Mode;
  if (switchingOff) s.headerWritten = false;
}

TLogMode GetLogMode() {
  return State().mode;
}

void SetLogName(const std::string& name) {
  std::lock_guard<std::mutex> guard(State().nameLock);
  State().name = name;
}

std::string GetLogName() {
  std::lock_guard<std::mutex> guard(State().nameLock);
  return State().name;
}

std::string GetLogPath(bool FolderOnly) {
  const std::string name = GetLogName();
  const std::string base = BaseNameOf(name.empty() ? GetModulePath() : name);
  const std::string folder = GetCommonAppDataFolder() + LogCompanyFolder + "/" + base + "/";
  CreateSharedFolders(folder);
  if (FolderOnly) return folder;
  int msec = 0;
  const struct tm t = LocalNow(msec);
  char date[48];
  std::snprintf(date, sizeof date, "%04d.%02d.%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return folder + base + "_" + date + ".log";
}

void LogUnload() {
  try {
    SetLogMode(TLogMode::lmOff);
  } catch (...) {
    // Nobody is left to tell at unload.
  }
  std::lock_guard<std::mutex> guard(State().nameLock);
  ResetAndRelease(State().name);
}

}  // namespace zorvane
