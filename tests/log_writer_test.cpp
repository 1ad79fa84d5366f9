// The daily log: header, line layout, levels and modes, switching on and off,
// folder and file rights, the failure when the file cannot be written, and what
// other users of the machine may put in the shared folder.
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
    SetLogName("zorvane");
  }
  void TearDown() override {
    try {
      SetLogMode(TLogMode::lmOff);
    } catch (...) {
    }
    unsetenv("ZORVANE_DATA_DIR");
  }
  std::string Folder() const { return dir.path() + "/Telvask/zorvane/"; }
  std::string Log() const { return ReadFile(GetLogPath(false)); }

  TempDir dir;
};

const std::string kBlanks(40, ' ');
const std::string kStamp = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3})";

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

TEST_F(LogWriterTest, NewFoldersAndFilesAreOpenToEveryone) {
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
  ASSERT_EQ(stat(GetLogPath(false).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
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

TEST_F(LogWriterTest, UnwritableFileFailsTheCallWithTheFileSystemError) {
  // A folder where today's file should be: no user, root included, can open it for writing.
  ASSERT_EQ(mkdir(GetLogPath(false).c_str(), 0777), 0);
  SetLogMode(TLogMode::lmAll);
  try {
    WriteLog("x", "", TLogLevel::llDebug);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open file \"" + GetLogPath(false) + "\""),
              std::string::npos)
        << e.what();
  }
  // The lock was released: a later line in a writable place works.
  TempDir other;
  setenv("ZORVANE_DATA_DIR", other.path().c_str(), 1);
  WriteLog("y", "", TLogLevel::llDebug);
  EXPECT_NE(ReadFile(GetLogPath(false)).find("\tDEBUG\ty"), std::string::npos);
}

TEST_F(LogWriterTest, ALockHeldElsewhereFailsTheLineWithinABound) {
  SetLogMode(TLogMode::lmAll);
  WriteLog("before", "", TLogLevel::llDebug);
  const std::string path = GetLogPath(false);
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

  // A lock that is not let go fails the line within the bound, the file's error
  // named; the lines after it do not wait that long again.
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  const auto [error, first] = timed("held");
  EXPECT_EQ(error, "Cannot lock file \"" + path + "\". Resource temporarily unavailable");
  EXPECT_LT(first, 1.0);
  const auto [againError, again] = timed("held again");
  EXPECT_EQ(againError, error);
  EXPECT_LT(again, 0.15);
  std::printf("held lock: first line failed after %.3f s, the next after %.3f s\n", first, again);

  ASSERT_EQ(flock(holder, LOCK_UN), 0);
  EXPECT_EQ(timed("after").first, "(no error)");
  close(holder);
  const std::string log = ReadFile(path);
  for (const char* line : {"\tbefore\r\n", "\tbrief\r\n", "\tafter\r\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  EXPECT_EQ(log.find("held"), std::string::npos);
}

namespace {

// A log folder of a test's own, as the library lays it out, with a file of
// someone else's beside it.
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
  TempDir dir;
  std::string log, folder;
  std::string victim = dir.path() + "/victim.txt";
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
                           {"ZORVANE_DATA_DIR=" + place.dir.path()}, 30);
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

}  // namespace

// Today's log file (or its folder) as another user of the machine may leave it,
// met by the real library in the host. Each time the calls fail with the file's
// error, as with any log that cannot be written, none waits much, and what the
// name leads to is not touched.
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
    std::function<std::string(const LogPlace&)> error;  // the AddError description
  };
  const auto fileError = [](const char* reason) {
    return [reason](const LogPlace& p) { return "Cannot open file \"" + p.log + "\". " + reason; };
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
       fileError("The file has other names (hard links)")},
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
       fileError("Not a regular file")},
      {"a file locked for good by another process",
       [&reader](LogPlace& p) {
         WriteFile(p.log, "");
         reader = open(p.log.c_str(), O_RDONLY | O_CLOEXEC);
         EXPECT_EQ(flock(reader, LOCK_EX), 0);
         return [&p] { return ReadFile(p.log); };
       },
       [](const LogPlace& p) {
         return "Cannot lock file \"" + p.log + "\". Resource temporarily unavailable";
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
         return "Cannot create folder \"" + p.folder + "\". Not a directory";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
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
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Has(r.output, "description=" + c.error(place) + " scode=")) << r.output;
    EXPECT_TRUE(Has(r.output, "memory: ok\n")) << r.output;
    EXPECT_EQ(untouched(), before);
    // Three calls, none of them held up by the log for a second.
    EXPECT_LT(seconds, healthy + 1.0) << "healthy run: " << healthy << " s";
    std::printf("%s: %.3f s (healthy run %.3f s)\n", c.what, seconds, healthy);
  }
}

// Another user's log file in the shared folder: appended to when it is open to
// all (as the library creates it), refused with the file's error when it is not.
TEST(HostileLogTest, AnotherUsersFile) {
  if (geteuid() != 0) GTEST_SKIP() << "running the host as a second user needs root";
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is missing";
  const std::vector<std::string> nobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                           "--clear-groups"};
  const std::string first = "root's line\r\n";
  for (const mode_t mode : {0600, 0666}) {
    SCOPED_TRACE(mode);
    LogPlace place;
    ASSERT_EQ(chmod(place.dir.path().c_str(), 0755), 0);
    WriteFile(place.log, first);
    ASSERT_EQ(chmod(place.log.c_str(), mode), 0);
    double seconds = 0;
    const RunResult r = RunCalls(place, seconds, nobody);
    ASSERT_FALSE(r.timedOut) << "the calls hang";
    EXPECT_TRUE(Has(r.output, "memory: ok\n")) << r.output;
    const std::string log = ReadFile(place.log);
    if (mode == 0600) {
      EXPECT_EQ(r.exitCode, 1) << r.output;
      EXPECT_TRUE(Has(
          r.output, "description=Cannot open file \"" + place.log + "\". Permission denied scode="))
          << r.output;
      EXPECT_EQ(log, first);
    } else {
      EXPECT_EQ(r.exitCode, 0) << r.output;
      EXPECT_TRUE(log.starts_with(first) && Has(log, "\tDEBUG\t> GetVersion: \tParams: []\r\n"))
          << log;
    }
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
