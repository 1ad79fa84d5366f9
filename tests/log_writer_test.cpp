// The daily log: header, line layout, levels and modes, switching on and off,
// folder and file rights, lines that cannot be written (lost and counted, never
// a failure), threads switching the log, and what other users of the machine
// may put in the shared folder.
#include "log/log_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <thread>
#include <vector>

#include "common/error.h"
#include "common/text.h"
#include "platform/system_info.h"
#include "tests/support/camera_sim.h"
#include "tests/support/checks.h"
#include "tests/support/host_runner.h"
#include "tests/support/process.h"

using namespace zorvane;
using namespace zorvane::testing;

namespace {

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZORVANE_DATA_DIR", dir.path().c_str(), 1);
    setenv("ZORVANE_USER_DATA_DIR", (dir.path() + "/user").c_str(), 1);
    SetLogName("zorvane");
  }
  void TearDown() override {
    try {
      SetLogMode(TLogMode::lmOff);
    } catch (...) {
    }
    unsetenv("ZORVANE_DATA_DIR");
    unsetenv("ZORVANE_USER_DATA_DIR");
  }
  std::string Folder() const { return dir.path() + "/Telvask/zorvane/"; }
  // The user's own log folder, where the lines go when the shared one cannot be used.
  std::string OwnFolder() const { return dir.path() + "/user/Telvask/zorvane/"; }
  std::string Log() const { return ReadFile(GetLogPath(false)); }
  std::string TodaysName() const {
    const std::string path = GetLogPath(false);
    return path.substr(path.rfind('/') + 1);
  }

  TempDir dir;
};

const std::string kBlanks(40, ' ');
const std::string kStamp = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3})";

// text as a regular expression that matches just it.
std::string Literal(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

std::string HeaderPattern() {
  return kBlanks +
         "\r\n============Start log=============\r\nOS version:\t[^\r\n]+ \\([^)]*\\)\r\n"
         "Application:\t[^/\r\n]+\r\nApp\\. version:\t1\\.1\\.3\\.5\r\n" +
         kBlanks + "\r\n";
}

}  // namespace

TEST_F(LogWriterTest, HeaderThenLinesInTodaysFile) {
  SetLogMode(TLogMode::lmAll);
  WriteLog("  > GetVersion \t", " Params: []\r\n", TLogLevel::llDebug);
  WriteLog("EXCEPTION", "", TLogLevel::llError);
  WriteLog("note", "   ", TLogLevel::llInfo);
  WriteLog("two\nlines", "a\r\nb", TLogLevel::llDebug);

  const std::string path = GetLogPath(false);
  EXPECT_TRUE(std::regex_match(path, std::regex(Folder() + R"(zorvane_\d{4}\.\d\d\.\d\d\.log)")));
  const std::string expected = HeaderPattern() + kStamp +
                               "\tDEBUG\t> GetVersion: \tParams: \\[\\]\r\n" + kStamp +
                               "\tERROR\tEXCEPTION\r\n" + kStamp + "\tINFO\tnote: \t\r\n" + kStamp +
                               "\tDEBUG\ttwo\\\\nlines: \ta\\\\r\\\\nb\r\n";
  EXPECT_TRUE(std::regex_match(Log(), std::regex(expected))) << Log();
}

TEST_F(LogWriterTest, ModesFilterLevels) {
  struct Case {
    TLogMode mode;
    std::string levels;  // levels that reach the file, in writing order D, I, E
  };
  const Case cases[] = {{TLogMode::lmOff, ""},
                        {TLogMode::lmErrors, "E"},
                        {TLogMode::lmInfoAndErrors, "IE"},
                        {TLogMode::lmAll, "DIE"},
                        {static_cast<TLogMode>(7), ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    TempDir own;
    setenv("ZORVANE_DATA_DIR", own.path().c_str(), 1);
    SetLogMode(c.mode);
    WriteLog("d", "", TLogLevel::llDebug);
    WriteLog("i", "", TLogLevel::llInfo);
    WriteLog("e", "", TLogLevel::llError);
    const std::string log = ReadFile(GetLogPath(false));
    std::string seen;
    if (log.find("\tDEBUG\td") != std::string::npos) seen += "D";
    if (log.find("\tINFO\ti") != std::string::npos) seen += "I";
    if (log.find("\tERROR\te") != std::string::npos) seen += "E";
    EXPECT_EQ(seen, c.levels);
    // The header comes only with the first line that passes.
    EXPECT_EQ(log.find("Start log") != std::string::npos, !c.levels.empty());
    SetLogMode(TLogMode::lmOff);
  }
}

TEST_F(LogWriterTest, SwitchingOnOffOnWritesStopLineAndNewHeader) {
  SetLogMode(TLogMode::lmAll);
  SetLogMode(TLogMode::lmAll);  // the same again changes nothing
  WriteLog("first", "", TLogLevel::llDebug);
  SetLogMode(TLogMode::lmOff);
  WriteLog("dropped", "", TLogLevel::llError);
  SetLogMode(TLogMode::lmAll);
  WriteLog("second", "", TLogLevel::llDebug);
  const std::string expected = HeaderPattern() + kStamp + "\tDEBUG\tfirst\r\n" +
                               "============Stop log===============\r\n\r\n" + HeaderPattern() +
                               kStamp + "\tDEBUG\tsecond\r\n";
  EXPECT_TRUE(std::regex_match(Log(), std::regex(expected))) << Log();

  // Switched on and off without a line in between: no header, so no stop line.
  SetLogMode(TLogMode::lmOff);
  TempDir quiet;
  setenv("ZORVANE_DATA_DIR", quiet.path().c_str(), 1);
  SetLogMode(TLogMode::lmAll);
  SetLogMode(TLogMode::lmOff);
  EXPECT_EQ(ReadFile(GetLogPath(false)), "");
}

TEST_F(LogWriterTest, NewFoldersAreOpenToEveryoneAndFilesWritableByTheirOwnerAlone) {
  // The data folder is created too when missing, and shared the same way.
  setenv("ZORVANE_DATA_DIR", (dir.path() + "/data").c_str(), 1);
  const mode_t old = umask(077);
  SetLogMode(TLogMode::lmAll);
  WriteLog("x", "", TLogLevel::llDebug);
  umask(old);
  struct stat st {};
  for (const std::string& folder :
       {dir.path() + "/data", dir.path() + "/data/Telvask", dir.path() + "/data/Telvask/zorvane"}) {
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << folder;
    // Everyone may add a file; nobody may remove or replace another user's.
    EXPECT_EQ(st.st_mode & 07777, 01777u) << folder;
  }
  // Every user reads the log; only its owner writes to it.
  ASSERT_EQ(stat(GetLogPath(false).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(GetLogPath(true), dir.path() + "/data/Telvask/zorvane/");
}

TEST_F(LogWriterTest, ExistingFoldersKeepTheirModeButGainTheStickyBitWhenOpenToAll) {
  // A private log folder stays private; a company folder an older version left
  // open to all without the sticky bit gets it. The data folder is not ours to change.
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  ASSERT_EQ(mkdir((dir.path() + "/Telvask").c_str(), 0700), 0);
  ASSERT_EQ(chmod((dir.path() + "/Telvask").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(Folder().c_str(), 0700), 0);
  SetLogMode(TLogMode::lmAll);
  WriteLog("x", "", TLogLevel::llDebug);
  const std::pair<std::string, mode_t> expected[] = {
      {dir.path(), 0777}, {dir.path() + "/Telvask", 01777}, {Folder(), 0700}};
  for (const auto& [folder, mode] : expected) {
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode) << folder;
  }
}

TEST(EscapeControlTest, OneLineOfValidUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain text, Камера 1", "plain text, Камера 1"},
      {"fault\r\nforged line", "fault\\r\\nforged line"},
      {"a\tb", "a\\tb"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"\x1b[31mred\x7f", "\\x1B[31mred\\x7F"},
      // NEL, line and paragraph separators: line breaks to some readers.
      {"a\xC2\x85"
       "b\xE2\x80\xA8"
       "c\xE2\x80\xA9",
       "a\\u0085b\\u2028c\\u2029"},
      // Malformed UTF-8 (a lone continuation, a cut sequence, an overlong slash, an encoded
      // surrogate) byte by byte; a real U+FFFD and backslashes stay.
      {"\x80|\xE2\x80|\xC0\xAF|\xED\xA0\x80|\xEF\xBF\xBD|C:\\dir\\n",
       "\\x80|\\xE2\\x80|\\xC0\\xAF|\\xED\\xA0\\x80|\xEF\xBF\xBD|C:\\dir\\n"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(EscapeControl(text), expected) << text;

  // In the log line: trimmed at both ends, then escaped.
  EXPECT_EQ(
      FormatLogLine("T", TLogLevel::llError, " \r\nEXCEPTION\n", "Camera\r\nT\tERROR\tforged\r\n"),
      "T\tERROR\tEXCEPTION: \tCamera\\r\\nT\\tERROR\\tforged");
}

// The lines of a log's text, without their CR LF.
std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

TEST_F(LogWriterTest, ALineThatCannotBeWrittenIsLostAndCountedNeverThrown) {
  // A folder where today's file should be (no user, root included, can open
  // it for writing), and no folder of the user's own either: a file stands in its way.
  const std::string shared = GetLogPath(false);
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  WriteFile(dir.path() + "/blocked", "");
  setenv("ZORVANE_USER_DATA_DIR", (dir.path() + "/blocked/user").c_str(), 1);
  const mode_t old = umask(0);
  SetLogMode(TLogMode::lmAll);
  for (const char* text : {"one", "two", "three"})
    EXPECT_EQ(ErrorOf([&] { WriteLog(text, "", TLogLevel::llDebug); }), "(no error)");

  // With a folder of its own again, its first line says where the log went,
  // and how many lines were lost and why.
  setenv("ZORVANE_USER_DATA_DIR", (dir.path() + "/user").c_str(), 1);
  EXPECT_EQ(ErrorOf([&] { WriteLog("four", "", TLogLevel::llDebug); }), "(no error)");
  umask(old);
  const std::string own = ReadFile(OwnFolder() + TodaysName());
  const std::string expected =
      HeaderPattern() + kStamp + "\tINFO\tLog folder: \t" + Literal(OwnFolder()) +
      Literal(" (the shared folder cannot be used: Не удалось открыть файл «" + shared +
              "»: Is a directory)") +
      "\r\n" + kStamp + "\tERROR\tLog lines lost: \t3 " +
      Literal("(Не удалось создать папку «" + dir.path() + "/blocked»: Not a directory)") + "\r\n" +
      kStamp + "\tDEBUG\tfour\r\n";
  EXPECT_TRUE(std::regex_match(own, std::regex(expected))) << own;
  EXPECT_EQ(GetLogPath(true), OwnFolder());
  // Only this user may enter the folders made there or write the file, whatever the umask.
  struct stat st {};
  for (const std::string& folder :
       {dir.path() + "/user", dir.path() + "/user/Telvask", OwnFolder()}) {
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << folder;
  }
  ASSERT_EQ(lstat((OwnFolder() + TodaysName()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(LogWriterTest, ALockHeldElsewhereCostsABoundedWaitNeverAnError) {
  SetLogMode(TLogMode::lmAll);
  WriteLog("before", "", TLogLevel::llDebug);
  const std::string path = GetLogPath(false);
  const std::string name = TodaysName();
  // Another open file: to the lock it is another writer, as another process would be.
  const int holder = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  using Clock = std::chrono::steady_clock;
  const auto timed = [](const char* text) {
    const auto start = Clock::now();
    const std::string error = ErrorOf([&] { WriteLog(text, "", TLogLevel::llDebug); });
    return std::pair(error, std::chrono::duration<double>(Clock::now() - start).count());
  };

  // A writer busy for a moment is waited for.
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    flock(holder, LOCK_UN);
  });
  EXPECT_EQ(timed("brief").first, "(no error)");
  release.join();

  // A lock that is not let go: within the bound the line goes to the user's
  // own folder, and so do the lines after it, without waiting.
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  const auto [error, first] = timed("held");
  EXPECT_EQ(error, "(no error)");
  EXPECT_LT(first, 1.0);
  const auto [againError, again] = timed("held again");
  EXPECT_EQ(againError, "(no error)");
  EXPECT_LT(again, 0.15);
  EXPECT_EQ(GetLogPath(true), OwnFolder());

  // That file locked for good too: the line is lost within the bound and
  // counted in the next one written.
  const int ownHolder = open((OwnFolder() + name).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(ownHolder, 0);
  ASSERT_EQ(flock(ownHolder, LOCK_EX), 0);
  const auto [lostError, lost] = timed("lost");
  EXPECT_EQ(lostError, "(no error)");
  EXPECT_LT(lost, 1.0);
  close(ownHolder);
  EXPECT_EQ(timed("after").first, "(no error)");
  std::printf("held lock: the line moved after %.3f s, the next took %.3f s, a lost one %.3f s\n",
              first, again, lost);
  close(holder);

  const std::string log = ReadFile(path);
  for (const char* line : {"\tbefore\r\n", "\tbrief\r\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  EXPECT_EQ(log.find("held"), std::string::npos) << log;
  std::vector<std::string> own = LinesOf(ReadFile(OwnFolder() + name));
  ASSERT_GT(own.size(), 6u);
  own.erase(own.begin(), own.begin() + 6);  // the header
  for (std::string& line : own) line.erase(0, 24);
  const std::vector<std::string> expected = {
      "INFO\tLog folder: \t" + OwnFolder() +
          " (the shared folder cannot be used: Не удалось заблокировать файл «" + path +
          "»: файл занят другим процессом)",
      "DEBUG\theld",
      "DEBUG\theld again",
      "ERROR\tLog lines lost: \t1 (Не удалось заблокировать файл «" + OwnFolder() + name +
          "»: файл занят другим процессом)",
      "DEBUG\tafter",
  };
  EXPECT_EQ(own, expected);
}

// Threads that switch the log on and off while they write: each start gets
// one whole header and one stop line, nothing comes between a stop and the
// next header, and the time stamps never go back.
TEST_F(LogWriterTest, ThreadsSwitchingTheLogKeepHeadersLinesAndStopsInOrder) {
  constexpr int kThreads = 16;
  const long rounds = Rounds(300, 60);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, rounds] {
      for (long i = 0; i < rounds; ++i) {
        SetLogMode(TLogMode::lmAll);
        WriteLog("thread " + std::to_string(t), "round " + std::to_string(i), TLogLevel::llDebug);
        SetLogMode(TLogMode::lmOff);
      }
    });
  }
  for (std::thread& t : threads) t.join();

  const std::vector<std::string> lines = LinesOf(Log());
  const std::string header[] = {kBlanks,           "============Start log=============",
                                "OS version:\t",   "Application:\t",
                                "App. version:\t", kBlanks};
  const std::regex traced(kStamp + "\tDEBUG\tthread \\d+: \tround \\d+");
  size_t headers = 0, stops = 0, written = 0;
  std::vector<std::string> faults;
  bool on = false;
  std::string lastStamp;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::string at = " (line " + std::to_string(i + 1) + ")";
    if (line == header[0] && i + 1 < lines.size() && lines[i + 1] == header[1]) {
      if (on) faults.push_back("a header after a header" + at);
      for (size_t k = 2; k < std::size(header); ++k) {
        if (i + k >= lines.size() || lines[i + k].rfind(header[k], 0) != 0)
          faults.push_back("a header cut by \"" + (i + k < lines.size() ? lines[i + k] : "") +
                           "\"" + at);
      }
      ++headers;
      on = true;
      i += std::size(header) - 1;
    } else if (line == "============Stop log===============") {
      if (!on) faults.push_back("a stop line without a start" + at);
      ++stops;
      on = false;
    } else if (!on) {
      // A stop line is followed by an empty one.
      if (!line.empty()) faults.push_back("a line after a stop: " + line + at);
    } else if (!std::regex_match(line, traced)) {
      faults.push_back("not a whole line: " + line + at);
    } else {
      ++written;
      if (line.substr(0, 23) < lastStamp) faults.push_back("the time went back: " + line + at);
      lastStamp = line.substr(0, 23);
    }
  }
  std::printf("%d threads switching the log: %zu headers, %zu stop lines, %zu lines\n", kThreads,
              headers, stops, written);
  EXPECT_EQ(headers, stops);
  EXPECT_GT(written, 0u);
  EXPECT_FALSE(on);
  EXPECT_TRUE(faults.empty()) << faults.size()
                              << " faults, the first: " << (faults.empty() ? "" : faults[0]);
}

namespace {

// A log folder of a test's own, as the library lays it out, with a file of
// someone else's beside it; the user's own data folder is "user" beside them.
struct LogPlace {
  LogPlace() {
    setenv("ZORVANE_DATA_DIR", dir.path().c_str(), 1);
    SetLogName("zorvane");
    log = GetLogPath(false);
    folder = GetLogPath(true);
    folder.pop_back();
    unsetenv("ZORVANE_DATA_DIR");
    WriteFile(victim, "someone else's text\n");
  }
  // Today's file in the user's own log folder, and its text ("" when none).
  std::string OwnLog() const { return ReadFile(own + log.substr(log.rfind('/'))); }
  TempDir dir;
  std::string log, folder;
  std::string victim = dir.path() + "/victim.txt";
  std::string own = dir.path() + "/user/Telvask/zorvane";
};

constexpr const char* kCallScript =
    "set LogEnabled b:true\n"
    "call ПолучитьНомерВерсии\n"
    "call ПолучитьНомерВерсии\n"
    "call ПолучитьНомерВерсии\n";

// Three traced calls on the real library in the host, optionally as another
// user (prefix: the program and arguments that run the host); seconds taken.
RunResult RunCalls(const LogPlace& place, double& seconds,
                   const std::vector<std::string>& prefix = {}) {
  const std::string script = place.dir.path() + "/calls.txt";
  WriteFile(script, kCallScript);
  std::vector<std::string> args(prefix.begin() + (prefix.empty() ? 0 : 1), prefix.end());
  if (!prefix.empty()) args.push_back(ZORVANE_HOST_PATH);
  args.insert(args.end(), {"--lib", ZORVANE_LIB_PATH, "script", script});
  const auto start = std::chrono::steady_clock::now();
  // A hang is cut off long before ctest's own limit.
  RunResult r = RunProgram(prefix.empty() ? ZORVANE_HOST_PATH : prefix[0], args,
                           {"ZORVANE_DATA_DIR=" + place.dir.path(),
                            "ZORVANE_USER_DATA_DIR=" + place.dir.path() + "/user"},
                           30);
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

// What lies in a folder, one "name=text" a file.
std::string FolderText(const std::string& path) {
  std::string text;
  for (const std::string& name : ListDir(path))
    text += name + "=" + ReadFile(path + "/" + name) + ";";
  return text;
}

// The calls of RunCalls answered as their work did, with the log written to
// the user's own folder, which says why the shared one was left.
void ExpectCallsLoggedInOwnFolder(const RunResult& r, const LogPlace& place,
                                  const std::string& why) {
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_FALSE(Has(r.output, "description=")) << r.output;
  EXPECT_TRUE(Has(r.output, "memory: ok\n")) << r.output;
  const std::string own = place.OwnLog();
  EXPECT_TRUE(Has(own, "\tINFO\tLog folder: \t" + place.own +
                           "/ (the shared folder cannot be used: " + why + ")\r\n"))
      << own;
  size_t traced = 0;
  for (size_t at = 0; (at = own.find("\tDEBUG\t< GetVersion: \t", at)) != std::string::npos; ++at)
    ++traced;
  EXPECT_EQ(traced, 3u) << own;
}

}  // namespace

// Today's log file (or a folder on its way) as another user of the machine
// may leave it, met by the real library in the host. Each time the calls
// answer as their work did, none waits much, what the name leads to is not
// touched, and the lines go to the user's own folder, which says why.
TEST(HostileLogTest, TodaysFileReplacedByAnotherUser) {
  double healthy = 0;
  {
    LogPlace place;
    const RunResult r = RunCalls(place, healthy);
    ASSERT_EQ(r.exitCode, 0) << r.output;
  }
  struct Case {
    const char* what;
    // Puts the hostile thing in place; returns the view of what must stay untouched.
    std::function<std::function<std::string()>(LogPlace&)> plant;
    std::function<std::string(const LogPlace&)> why;  // why the shared folder was left
    bool needsRoot = false;                           // to give a file to another user
  };
  const auto fileError = [](const char* reason) {
    return [reason](const LogPlace& p) {
      return "Не удалось открыть файл «" + p.log + "»: " + reason;
    };
  };
  int reader = -1;
  const Case cases[] = {
      {"a symbolic link to another file",
       [](LogPlace& p) {
         EXPECT_EQ(symlink(p.victim.c_str(), p.log.c_str()), 0);
         return [&p] { return ReadFile(p.victim); };
       },
       fileError("Too many levels of symbolic links")},
      {"a second name of another file",
       [](LogPlace& p) {
         EXPECT_EQ(link(p.victim.c_str(), p.log.c_str()), 0);
         return [&p] { return ReadFile(p.victim); };
       },
       fileError("у файла есть другие имена (жёсткие ссылки)")},
      {"a FIFO nobody reads",
       [](LogPlace& p) {
         EXPECT_EQ(mkfifo(p.log.c_str(), 0666), 0);
         return [] { return std::string(); };
       },
       fileError("No such device or address")},
      {"a FIFO someone reads",
       [&reader](LogPlace& p) {
         EXPECT_EQ(mkfifo(p.log.c_str(), 0666), 0);
         reader = open(p.log.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         EXPECT_GE(reader, 0);
         return [&reader] {
           char buf[256];
           const ssize_t n = read(reader, buf, sizeof buf);
           return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
         };
       },
       fileError("это не обычный файл")},
      {"a file locked for good by another process",
       [&reader](LogPlace& p) {
         WriteFile(p.log, "");
         reader = open(p.log.c_str(), O_RDONLY | O_CLOEXEC);
         EXPECT_EQ(flock(reader, LOCK_EX), 0);
         return [&p] { return ReadFile(p.log); };
       },
       [](const LogPlace& p) {
         return "Не удалось заблокировать файл «" + p.log + "»: файл занят другим процессом";
       }},
      {"the log folder a symbolic link to another folder",
       [](LogPlace& p) {
         const std::string elsewhere = p.dir.path() + "/elsewhere";
         EXPECT_EQ(mkdir(elsewhere.c_str(), 0777), 0);
         EXPECT_EQ(rmdir(p.folder.c_str()), 0);
         EXPECT_EQ(symlink(elsewhere.c_str(), p.folder.c_str()), 0);
         return [elsewhere] { return FolderText(elsewhere); };
       },
       [](const LogPlace& p) {
         return "Не удалось создать папку «" + p.folder + "»: Not a directory";
       }},
      {"another user's file, open to all",
       [](LogPlace& p) {
         WriteFile(p.log, "their line\r\n");
         EXPECT_EQ(chmod(p.log.c_str(), 0666), 0);
         EXPECT_EQ(chown(p.log.c_str(), 65534, 65534), 0);
         return [&p] { return ReadFile(p.log); };
       },
       fileError("его владелец — другой пользователь"), true},
      {"the company folder another user's, with the sticky bit (its owner may move what is in it)",
       [](LogPlace& p) {
         const std::string company = p.dir.path() + "/Telvask";
         EXPECT_EQ(chown(company.c_str(), 65534, 65534), 0);
         return [company] { return FolderText(company); };
       },
       [](const LogPlace& p) {
         return "Нельзя использовать папку «" + p.dir.path() +
                "/Telvask»: её владелец — другой пользователь";
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsRoot && geteuid() != 0) {
      std::printf("skipped \"%s\": giving a file to another user needs root\n", c.what);
      continue;
    }
    LogPlace place;
    const auto untouched = c.plant(place);
    const std::string before = untouched();
    double seconds = 0;
    const RunResult r = RunCalls(place, seconds);
    if (reader >= 0) close(reader);
    reader = -1;
    if (r.timedOut) {
      ADD_FAILURE() << "the calls hang";
      continue;
    }
    ExpectCallsLoggedInOwnFolder(r, place, c.why(place));
    EXPECT_EQ(untouched(), before);
    // Three calls, none of them held up by the log for a second.
    EXPECT_LT(seconds, healthy + 1.0) << "healthy run: " << healthy << " s";
    std::printf("%s: %.3f s (healthy run %.3f s)\n", c.what, seconds, healthy);
  }
}

// As a second user: what the first left in the shared place (a file private
// to its owner or open to all, a company folder closed to others) stops
// neither the calls nor their log, which goes to the second user's own
// folder; the first user's file is not written to.
TEST(HostileLogTest, AnotherUsersFileOrFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "running the host as a second user needs root";
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is missing";
  const std::vector<std::string> nobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                           "--clear-groups"};
  const std::string first = "root's line\r\n";
  struct Case {
    const char* what;
    std::function<void(LogPlace&)> plant;
    std::function<std::string(const LogPlace&)> why;
  };
  const auto rootsFile = [&first](mode_t mode) {
    return [&first, mode](LogPlace& p) {
      WriteFile(p.log, first);
      ASSERT_EQ(chmod(p.log.c_str(), mode), 0);
    };
  };
  const Case cases[] = {
      {"root's file, private", rootsFile(0600),
       [](const LogPlace& p) {
         return "Не удалось открыть файл «" + p.log + "»: Permission denied";
       }},
      {"root's file, open to all", rootsFile(0666),
       [](const LogPlace& p) {
         return "Не удалось открыть файл «" + p.log + "»: его владелец — другой пользователь";
       }},
      {"the company folder made first by root, closed to others",
       [](LogPlace& p) {
         ASSERT_EQ(rmdir(p.folder.c_str()), 0);
         ASSERT_EQ(chmod((p.dir.path() + "/Telvask").c_str(), 0755), 0);
       },
       [](const LogPlace& p) {
         return "Не удалось создать папку «" + p.folder + "»: Permission denied";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogPlace place;
    ASSERT_EQ(chmod(place.dir.path().c_str(), 0755), 0);
    const std::string user = place.dir.path() + "/user";
    ASSERT_EQ(mkdir(user.c_str(), 0700), 0);
    ASSERT_EQ(chown(user.c_str(), 65534, 65534), 0);
    c.plant(place);
    const std::string before = FolderText(place.folder);
    double seconds = 0;
    const RunResult r = RunCalls(place, seconds, nobody);
    ASSERT_FALSE(r.timedOut) << "the calls hang";
    ExpectCallsLoggedInOwnFolder(r, place, c.why(place));
    EXPECT_EQ(FolderText(place.folder), before);
  }
}

// A camera's fault text with line breaks and tabs of its own, in the log: one
// line, the breaks written as \r \n \t, and nothing but CR LF ends a line.
TEST(HostileLogTest, ACameraFaultWithLineBreaksStaysOneLine) {
  CameraSim sim;
  sim.Configure(R"({"fault": "soap500", "fault_reason": )"
                R"("Camera on fire\r\n2030.01.01 00:00:00.000\tERROR\tforged line"})");
  HostRunner runner(ZORVANE_LIB_PATH);
  const RunResult r = runner.Script(
      "set LogEnabled b:true\n"
      "call УстановитьПараметр s:Host s:127.0.0.1\n"
      "call УстановитьПараметр s:Port i:" +
          std::to_string(sim.port()) +
          "\n"
          "call Подключить out\n"
          "call ПолучитьФотоснимок out\n",
      "zorvane");
  EXPECT_TRUE(Has(r.output, "memory: ok\n")) << r.output;
  const std::string folder = runner.DataDir() + "/Telvask/zorvane/";
  std::string log;
  for (const std::string& name : ListDir(folder)) log += ReadFile(folder + name);
  EXPECT_TRUE(Has(log, "Camera on fire\\r\\n2030.01.01 00:00:00.000\\tERROR\\tforged line")) << log;
  std::string bare = log;
  for (size_t at; (at = bare.find("\r\n")) != std::string::npos;) bare.erase(at, 2);
  EXPECT_EQ(bare.find_first_of("\r\n"), std::string::npos) << log;
  EXPECT_FALSE(Has(log, "\nforged")) << log;
}

TEST(SystemInfoTest, OSDescription) {
  struct Case {
    const char* osRelease;
    const char* expected;
  };
  const Case cases[] = {
      {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
       "Debian GNU/Linux 12 (bookworm) (6.1.0-18-amd64)"},
      {"PRETTY_NAME=Alpine\n", "Alpine (6.1.0-18-amd64)"},
      {"NAME=Something\n", "Linux (6.1.0-18-amd64)"},
      {"", "Linux (6.1.0-18-amd64)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatOSDescription(c.osRelease, "6.1.0-18-amd64"), c.expected);
  EXPECT_FALSE(GetOSDescription().empty());
  const auto v = GetModuleVersion();
  EXPECT_EQ(std::vector<int>(v.begin(), v.end()), std::vector<int>({1, 1, 3, 5}));
}

TEST(SystemInfoTest, DataFolder) {
  setenv("ZORVANE_DATA_DIR", "/srv/data", 1);
  EXPECT_EQ(GetCommonAppDataFolder(), "/srv/data/");
  unsetenv("ZORVANE_DATA_DIR");
  EXPECT_EQ(GetCommonAppDataFolder(), "/var/tmp/");
}
