#include "common/log_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

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
  std::mutex lock;              // serialises appending
  bool lockHeldLately = false;  // the file lock stayed taken past the wait; under lock
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

// Where today's line goes: the log folder, opened, and the file's name in it.
struct LogFile {
  FileDescriptor folder;
  std::string name;
  std::string path;  // for messages
};

std::string LogBaseName() {
  const std::string name = GetLogName();
  return BaseNameOf(name.empty() ? GetModulePath() : name);
}

std::string LogFileName(const std::string& base) {
  int msec = 0;
  const struct tm t = LocalNow(msec);
  char date[48];
  std::snprintf(date, sizeof date, "%04d.%02d.%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return base + "_" + date + ".log";
}

LogFile OpenLogFolder() {
  const std::string base = LogBaseName();
  const std::string root = GetCommonAppDataFolder();
  const std::string shared = std::string(LogCompanyFolder) + "/" + base;
  LogFile file{OpenSharedFolder(root, shared), LogFileName(base), ""};
  file.path = root + shared + "/" + file.name;
  return file;
}

// The folder is open to every user of the machine, so whatever stands under
// today's name may have been put there by someone else: a symbolic link is not
// followed, a FIFO does not block the open, and only a plain file with no other
// name is written to (O_APPEND keeps each line at the end).
FileDescriptor OpenForAppend(const LogFile& file) {
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  const int at = file.folder.Get();
  const char* name = file.name.c_str();
  for (int attempt = 0;; ++attempt) {
    // Created by us: readable and writable by all, whatever the umask.
    FileDescriptor fd(openat(at, name, kFlags | O_CREAT | O_EXCL, 0666));
    if (fd.Get() >= 0) {
      fchmod(fd.Get(), 0666);
      return fd;
    }
    // Without O_CREAT, so that a file of another user in a folder with the sticky
    // bit may still be opened where the system protects such files from O_CREAT.
    if (errno == EEXIST) fd = FileDescriptor(openat(at, name, kFlags));
    if (fd.Get() >= 0) {
      struct stat st {};
      if (fstat(fd.Get(), &st) != 0)
        ThrowSystemError("Cannot open file \"" + file.path + "\"", errno);
      if (!S_ISREG(st.st_mode))
        throw Error("Cannot open file \"" + file.path + "\". Not a regular file");
      if (st.st_nlink != 1)
        throw Error("Cannot open file \"" + file.path +
                    "\". The file has other names (hard links)");
      return fd;
    }
    // Removed between the two opens: try again.
    if (errno != ENOENT || attempt == 3)
      ThrowSystemError("Cannot open file \"" + file.path + "\"", errno);
  }
}

// Every process with this library holds the lock for one line's write only, so
// a lock held longer than kLockWait is not one of ours at work: the line fails
// rather than hang the call. Once that happened, later lines try only briefly
// (kLockWaitWhileHeld) until one gets through, so a call that writes several
// lines still never waits much longer than kLockWait.
constexpr auto kLockWait = std::chrono::milliseconds(250);
constexpr auto kLockWaitWhileHeld = std::chrono::milliseconds(10);
constexpr auto kLockRetryMax = std::chrono::milliseconds(10);

void LockForAppend(int fd, const std::string& path, bool& heldLately) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + (heldLately ? kLockWaitWhileHeld : kLockWait);
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      heldLately = false;
      return;
    }
    if (errno == EINTR) continue;
    // A file system without these locks: the line goes out unlocked, as it always has.
    if (errno != EWOULDBLOCK) return;
    const auto now = Clock::now();
    if (now >= deadline) {
      heldLately = true;
      ThrowSystemError("Cannot lock file \"" + path + "\"", EWOULDBLOCK);
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    pause = std::min<std::chrono::microseconds>(pause * 2, kLockRetryMax);
  }
}

void AppendLogLine(const std::string& text) {
  const LogFile file = OpenLogFolder();
  const std::string bytes = text + kLineBreak;
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  const FileDescriptor fd = OpenForAppend(file);
  // Other processes with this library take the same lock: one writer at a time.
  LockForAppend(fd.Get(), file.path, s.lockHeldLately);
  WriteAll(fd.Get(), bytes, file.path);
}

}  // namespace

std::string FormatLogLine(const std::string& timeStamp, TLogLevel Level, const std::string& Message,
                          const std::string& Details) {
  // Texts may come from a camera or the network: whatever they hold, one line stays one line.
  std::string line =
      timeStamp + "\t" + LevelText(Level) + "\t" + EscapeControl(TrimControl(Message));
  if (!Details.empty()) line += ": \t" + EscapeControl(TrimControl(Details));
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
  AppendLogLine("OS version:\t" + EscapeControl(GetOSDescription()));
  AppendLogLine("Application:\t" +
                EscapeControl(modulePath.substr(modulePath.find_last_of('/') + 1)));
  AppendLogLine(std::string("App. version:\t") + version);
  AppendLogLine(blanks);
  s.headerWritten = true;
}

void TryWriteLog(const std::string& Message, TLogLevel Level) noexcept {
  try {
    WriteLog(Message, "", Level);
  } catch (...) {
  }
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
  const LogFile file = OpenLogFolder();
  return FolderOnly ? file.path.substr(0, file.path.size() - file.name.size()) : file.path;
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
