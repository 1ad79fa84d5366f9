#include "log/log_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "common/error.h"
#include "common/never_destroyed.h"
#include "common/text.h"
#include "log/messages.h"
#include "platform/files.h"
#include "platform/system_info.h"
#include "platform/user_locale.h"

namespace zorvane {

namespace {

constexpr const char* kLineBreak = "\r\n";

// Where the lines go: the folder every user shares, or the user's own when
// the shared one cannot be used.
enum class TLogPlace { Shared, Own };

struct LogState {
  // Changed under lock; read without it for the quick test of a level.
  std::atomic<TLogMode> mode{TLogMode::lmOff};
  std::mutex nameLock;  // guards name only
  std::string name;
  // Orders the log: held while the header, a line or the stop line is
  // stamped and appended, and while the mode changes. Guards what follows.
  std::mutex lock;
  bool headerWritten = false;
  bool lockHeldLately = false;  // the file lock stayed taken past the wait
  TLogPlace place = TLogPlace::Shared;
  std::string movedBecause;  // why the lines left the shared folder, until the own one says so
  uint64_t lost = 0;         // lines lost since the last one written
  std::string lostBecause;   // why the last of them was lost
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

std::string TimeStamp(const TLocalTime& t) {
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

// A line after its time stamp: level, message and details, each made one line.
std::string LineBody(TLogLevel Level, const std::string& Message, const std::string& Details) {
  // Texts may come from a camera or the network: whatever they hold, one line stays one line.
  std::string body =
      std::string("\t") + LevelText(Level) + "\t" + EscapeControl(TrimControl(Message));
  if (!Details.empty()) body += ": \t" + EscapeControl(TrimControl(Details));
  return body;
}

// Where today's line goes: the log folder, opened, and the file's name in it.
struct LogFile {
  TFolder folder;
  std::string name;
};

std::string LogBaseName() {
  const std::string name = GetLogName();
  return BaseNameOf(name.empty() ? GetModulePath() : name);
}

std::string LogFileName(const std::string& base, const TLocalTime& t) {
  char date[48];
  std::snprintf(date, sizeof date, "%04d.%02d.%02d", t.Year, t.Month, t.Day);
  return base + "_" + date + ".log";
}

LogFile OpenLogFolder(TLogPlace place, const TLocalTime& now) {
  const std::string base = LogBaseName();
  const std::string sub = std::string(LogCompanyFolder) + "/" + base;
  if (place == TLogPlace::Shared)
    return {TFolder(GetCommonAppDataFolder(), sub, TFolder::TAccess::Shared),
            LogFileName(base, now)};
  return {TFolder(GetUserAppDataFolder(), sub, TFolder::TAccess::Own), LogFileName(base, now)};
}

// Every process with this library holds the lock for one write only, so a
// lock held longer than kLockWait is not one of ours at work: the write
// fails rather than hang the call. Once that happened, later writes try only
// briefly (kLockWaitWhileHeld) until one gets through, so a call that writes
// several lines still never waits much longer than kLockWait.
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
      throw Error(msg::LogFileBusy(file.Path()));
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    pause = std::min<std::chrono::microseconds>(pause * 2, kLockRetryMax);
  }
}

std::string HeaderText() {
  const auto v = GetModuleVersion();
  char version[32];
  std::snprintf(version, sizeof version, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
  const std::string blanks(40, ' ');
  const std::string modulePath = GetModulePath();
  return blanks + kLineBreak + msg::kStartLine + kLineBreak + msg::kHeaderOsVersion +
         EscapeControl(GetOSDescription()) + kLineBreak + msg::kHeaderApplication +
         EscapeControl(modulePath.substr(modulePath.find_last_of(kPathSeparators) + 1)) +
         kLineBreak + msg::kHeaderAppVersion + version + kLineBreak + blanks + kLineBreak;
}

// How many lines of text are not empty.
uint64_t LineCount(const std::string& text) {
  uint64_t count = 0;
  for (size_t start = 0, end; (end = text.find(kLineBreak, start)) != std::string::npos;
       start = end + 2)
    count += end > start ? 1 : 0;
  return count;
}

// What goes into the file of folder before lines: the start header when it is
// due, then what the log has to say of itself (where it went and why, how
// many lines were lost and why), stamped at now.
std::string Preamble(const LogState& s, const TFolder& folder, const TLocalTime& now, bool header) {
  std::string text = header && !s.headerWritten ? HeaderText() : std::string();
  if (!s.movedBecause.empty() && s.place == TLogPlace::Own) {
    text += FormatLogLine(TimeStamp(now), TLogLevel::llInfo, msg::kLogFolder,
                          msg::SharedFolderUnusable(folder.Path(), s.movedBecause)) +
            kLineBreak;
  }
  if (s.lost > 0) {
    text += FormatLogLine(TimeStamp(now), TLogLevel::llError, msg::kLogLinesLost,
                          std::to_string(s.lost) + " (" + s.lostBecause + ")") +
            kLineBreak;
  }
  return text;
}

// Appends lines (whole, stamped at now) to today's file where the log goes,
// in one write, after the preamble. Where the shared folder fails and
// mayMove, the lines go to the user's own folder from then on, until the log
// is switched on or off; lines that cannot be written are lost and counted.
// The header comes first when header is set. Under s.lock.
void AppendUnderLock(LogState& s, const TLocalTime& now, const std::string& lines, bool header,
                     bool mayMove) noexcept {
  try {
    for (;;) {
      try {
        const LogFile file = OpenLogFolder(s.place, now);
        TFile log = TFile::OpenToAppend(file.folder, file.name);
        // Other processes with this library take the same lock: one writer at a time.
        LockForAppend(log, s.lockHeldLately);
        log.Write(Preamble(s, file.folder, now, header) + lines);
        s.headerWritten = s.headerWritten || header;
        s.movedBecause.clear();
        s.lost = 0;
        s.lostBecause.clear();
        return;
      } catch (const std::exception& e) {
        if (s.place == TLogPlace::Own || !mayMove) {
          s.lost += LineCount(lines);
          s.lostBecause = e.what();
          return;
        }
        // Whoever made the shared folder unusable, it stops neither the call nor the log.
        s.place = TLogPlace::Own;
        s.movedBecause = e.what();
        s.headerWritten = false;
      }
    }
  } catch (...) {
    // No memory even for the reason: the lines are counted all the same.
    s.lost += LineCount(lines);
  }
}

std::string PathOf(const LogFile& file, bool FolderOnly) {
  return FolderOnly ? file.folder.Path() : file.folder.Path() + file.name;
}

}  // namespace

std::string FormatLogLine(const std::string& timeStamp, TLogLevel Level, const std::string& Message,
                          const std::string& Details) {
  return timeStamp + LineBody(Level, Message, Details);
}

void WriteLog(const std::string& Message, const std::string& Details, TLogLevel Level) noexcept {
  LogState& s = State();
  if (!LevelPasses(s.mode, Level)) return;
  try {
    // The text is made before the lock; the stamp under it, so that the
    // lines stand in the order of their stamps.
    const std::string body = LineBody(Level, Message, Details) + kLineBreak;
    std::lock_guard<std::mutex> guard(s.lock);
    // Switched off meanwhile: the stop line is written already.
    if (!LevelPasses(s.mode, Level)) return;
    const TLocalTime now = LocalTimeNow();
    AppendUnderLock(s, now, TimeStamp(now) + body, true, true);
  } catch (const std::exception& e) {
    LogLineLost(e.what());
  } catch (...) {
    LogLineLost(msg::kUnknownFailure);
  }
}

void TryWriteLog(const std::string& Message, TLogLevel Level) noexcept {
  WriteLog(Message, "", Level);
}

void LogLineLost(const std::string& why) noexcept {
  LogState& s = State();
  try {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.mode == TLogMode::lmOff) return;
    ++s.lost;
    s.lostBecause = why;
  } catch (...) {
    // Nothing is left to count with.
  }
}

void WriteLogHeader() noexcept {
  LogState& s = State();
  try {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.mode == TLogMode::lmOff || s.headerWritten) return;
    AppendUnderLock(s, LocalTimeNow(), "", true, true);
  } catch (...) {
    // Written with the next line.
  }
}

void SetLogMode(TLogMode Mode) noexcept {
  LogState& s = State();
  try {
    std::lock_guard<std::mutex> guard(s.lock);
    const TLogMode old = s.mode;
    const bool switchingOff = old != TLogMode::lmOff && Mode == TLogMode::lmOff;
    const bool switchingOn = old == TLogMode::lmOff && Mode != TLogMode::lmOff;
    // The stop line goes where the header went, while the log is still on;
    // if it cannot be written it is lost, and the log is switched off all the same.
    if (switchingOff && s.headerWritten)
      AppendUnderLock(s, LocalTimeNow(), std::string(msg::kStopLine) + kLineBreak + kLineBreak,
                      false, false);
    s.mode = Mode;
    // Each start tries the shared folder again.
    if (switchingOff || switchingOn) {
      s.headerWritten = false;
      s.place = TLogPlace::Shared;
      s.movedBecause.clear();
      s.lockHeldLately = false;
    }
  } catch (...) {
    // Only a lock the system refuses: the mode stays as it was.
  }
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
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  const TLocalTime now = LocalTimeNow();
  if (s.place == TLogPlace::Shared) {
    try {
      const LogFile file = OpenLogFolder(TLogPlace::Shared, now);
      // Today's file, when there already, must be one the lines can go to.
      TFile::OpenToAppend(file.folder, file.name, false);
      return PathOf(file, FolderOnly);
    } catch (const std::exception&) {
      // The lines would go to the user's own folder, as below.
    }
  }
  return PathOf(OpenLogFolder(TLogPlace::Own, now), FolderOnly);
}

void LogUnload() {
  SetLogMode(TLogMode::lmOff);
  LogState& s = State();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    ResetAndRelease(s.movedBecause);
    ResetAndRelease(s.lostBecause);
    s.lost = 0;
  }
  std::lock_guard<std::mutex> guard(s.nameLock);
  ResetAndRelease(s.name);
}

}  // namespace zorvane
