// The daily log: header, line layout, levels and modes, switching on and off,
// folder and file rights, and the failure when the file cannot be written.
#include "common/log_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <regex>

#include "common/error.h"
#include "common/system_info.h"
#include "tests/support/process.h"

using namespace zorvane;
using zorvane::testing::ReadFile;
using zorvane::testing::TempDir;

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
                               "\tDEBUG\ttwo\nlines: \ta\r\nb\r\n";
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
  const mode_t old = umask(077);
  SetLogMode(TLogMode::lmAll);
  WriteLog("x", "", TLogLevel::llDebug);
  umask(old);
  struct stat st {};
  for (const std::string& folder : {dir.path() + "/Telvask", Folder()}) {
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u) << folder;
  }
  ASSERT_EQ(stat(GetLogPath(false).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  EXPECT_EQ(GetLogPath(true), Folder());
}

TEST_F(LogWriterTest, ExistingFolderIsLeftAsItIs) {
  ASSERT_EQ(mkdir((dir.path() + "/Telvask").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(Folder().c_str(), 0700), 0);
  SetLogMode(TLogMode::lmAll);
  WriteLog("x", "", TLogLevel::llDebug);
  struct stat st {};
  ASSERT_EQ(stat(Folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
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
