#include "log/log_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "common/error.h"
#include "common/never_destroyed.h"
#include "common/text.h"
#include "platform/files.h"
#include "platform/system_info.h"
#include "platform/user_locale.h"

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
  std::string name = path.substr(path.find_last_of(kPathSeparators) + 1);
  if (const size_t dot = name.find_last_of('.'); dot != std::string::npos) name.resize(dot);
  return name;
}

std::string TimeStamp() {
  const TLocalTime t = LocalTimeNow();
  const std::string& sep = UserLocale().TimeSeparator;
  char date[48];
  std::snprintf(date, sizeof date, "%04d.%02d.%02d ", t.Year, t.Month, t.Day);
  char part[32];
  std::string stamp = date;
  std::snprintf(part, sizeof part, "%02d", t.Hour);
  stamp += part + sep;
  std::snprintf(part, sizeof part, "%02d", t.Minute);
  stamp += part + sep;
  std::snprintf(part, sizeof part, "%02d.%03d", t.Second, t.Millisecond);
  return stamp + part;
}

// Where today's line goes: the log folder, opened, and the file's name in it.
struct LogFile {
  TSharedFolder folder;
  std::string name;
  std::string path;  // for messages
};

std::string LogBaseName() {
  const std::string name = GetLogName();
  return BaseNameOf(name.empty() ? GetModulePath() : name);
}

std::string LogFileName(const std::string& base) {
  const TLocalTime t = LocalTimeNow();
  char date[48];
  std::snprintf(date, sizeof date, "%04d.%02d.%02d", t.Year, t.Month, t.Day);
  return base + "_" + date + ".log";
}

LogFile OpenLogFolder() {
  const std::string base = LogBaseName();
  const std::string root = GetCommonAppDataFolder();
  const std::string shared = std::string(LogCompanyFolder) + "/" + base;
  LogFile file{TSharedFolder(root, shared), LogFileName(base), ""};
  file.path = file.folder.Path() + file.name;
  return file;
}

// Every process with this library holds the lock for one line's write only, so
// a lock held longer than kLockWait is not one of ours at work: the line fails
// rather than hang the call. Once that happened, later lines try only briefly
// (kLockWaitWhileHeld) until one gets through, so a call that writes several
// lines still never waits much longer than kLockWait.
constexpr auto kLockWait = std::chrono::milliseconds(250);
constexpr auto kLockWaitWhileHeld = std::chrono::milliseconds(10);
constexpr auto kLockRetryMax = std::chrono::milliseconds(10);

void LockForAppend(TFile& file, bool& heldLately) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + (heldLately ? kLockWaitWhileHeld : kLockWait);
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    const TFile::TLock lock = file.TryLock();
    if (lock == TFile::TLock::Taken) {
      heldLately = false;
      return;
    }
    // A file system without these locks: the line goes out unlocked, as it always has.
    if (lock == TFile::TLock::Unsupported) return;
    const auto now = Clock::now();
    if (now >= deadline) {
      heldLately = true;
      throw Error("Cannot lock file \"" + file.Path() + "\". Resource temporarily unavailable");
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
  TFile log = TFile::OpenToAppend(file.folder, file.name);
  // Other processes with this library take the same lock: one writer at a time.
  LockForAppend(log, s.lockHeldLately);
  log.Write(bytes);
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
                EscapeControl(modulePath.substr(modulePath.find_last_of(kPathSeparators) + 1)));
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
