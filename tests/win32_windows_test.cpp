// The Win32 windows on a virtual display, as a user meets them: the action
// runs on the test's main thread (each window modal there) while a user
// thread finds the window by its title, reads and changes its controls,
// clicks, presses keys and takes screenshots into the build folder's
// screenshots/. with_wine_display.py gives the program its display, and the
// private network with its cameras where a test needs one.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "driver/camera_driver.h"
#include "forms/win32/control_ids.h"
#include "log/log_writer.h"
#include "platform/windows/windows_text.h"
#include "tests/support/checks.h"
#include "tests/support/host_runner.h"
#include "tests/support/process.h"
#include "tests/support/win32_driving.h"

namespace zorvane {
namespace {

using namespace testing;
using namespace win32;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Sets an environment variable (of the C runtime and of the process) for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value) : FName(name) {
    FHad = std::getenv(name.c_str()) != nullptr;
    FOld = Environment(name.c_str());
    Put(value);
  }
  ~ScopedEnv() { Put(FHad ? FOld : ""); }

 private:
  void Put(const std::string& value) { _wputenv(Wide(FName + "=" + value).c_str()); }
  std::string FName, FOld;
  bool FHad = false;
};

struct TCamera {
  std::string Name, Address, Port;
};

// The cameras with_wine_display.py started: "NAME=ADDRESS:PORT;...".
std::vector<TCamera> Cameras() {
  std::vector<TCamera> cameras;
  std::stringstream list(Environment("ZORVANE_TEST_CAMERAS"));
  for (std::string entry; std::getline(list, entry, ';');) {
    const size_t eq = entry.find('='), colon = entry.rfind(':');
    if (eq == std::string::npos || colon == std::string::npos) continue;
    cameras.push_back({entry.substr(0, eq), entry.substr(eq + 1, colon - eq - 1),
                       entry.substr(colon + 1)});
  }
  return cameras;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text, bool append = false) {
  std::ofstream out(std::filesystem::path(Wide(path)),
                    std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out << text;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string display = Environment("ZORVANE_TEST_DISPLAY");
    if (display.empty() || display == "none")
      GTEST_SKIP() << "skipped: needs the virtual display of tests/with_wine_display.py";
  }
};

// On the private network's client host, with the cameras the wrapper named.
class SearchWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (IsSkipped()) return;
    if (Environment("ZORVANE_TEST_NETWORK") != "198.51.100.2")
      GTEST_SKIP() << "skipped: needs the private network (with_wine_display.py --network)";
    cameras = Cameras();
  }
  std::vector<TCamera> cameras;
};

TEST_F(SearchWindowTest, CamerasFoundFailedAndShownInDetail) {
  ASSERT_EQ(cameras.size(), 3u) << "cam1, cam2 and locked (another password)";
  std::vector<std::string> progress, found, details, allDetails, again;
  std::string failure, finalProgress;
  bool searchDisabled = false, escapeIgnored = false, inked = false;
  AsUser(
      [&] {
        HWND window = WaitForWindow("ONVIF устройства");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(Text(Control(window, kEdtUser)), "admin");
        EXPECT_EQ(Text(Control(window, kEdtPassword)), "kqzvt");
        HWND interfaces = Control(window, kCbbLocalIPs);
        EXPECT_EQ(ComboItems(interfaces), std::vector<std::string>{"198.51.100.2"});
        EXPECT_EQ(ComboText(interfaces), "198.51.100.2");
        Screenshot(window, "search-window");
        SetText(Control(window, kEdtPassword), "secret");
        HWND search = Control(window, kButton2);
        HWND label = Control(window, kLblProgress);
        Click(search);
        searchDisabled = WaitUntil([&] { return !IsEnabled(search); }, 5);
        // What the progress line says until the search ends.
        bool shot = false;
        WaitUntil(
            [&] {
              const std::string now = Text(label);
              if (progress.empty() || progress.back() != now) progress.push_back(now);
              if (!shot && now.rfind("Поиск камер", 0) == 0) {
                Screenshot(window, "search-window-searching");
                shot = true;
              }
              return IsEnabled(search);
            },
            60);
        HWND list = Control(window, kLvDevices);
        found = ListItems(list);
        finalProgress = Text(label);
        const TPicture picture = Screenshot(window, "search-window-found");
        inked = HasInk(picture, PlaceIn(window, label)) && HasInk(picture, PlaceIn(window, list));

        // A double click: the details of a camera.
        DoubleClickItem(list, 1);
        if (HWND detail = WaitForWindow("ONVIF устройство")) {
          EXPECT_EQ(Text(Control(detail, kEdtName)), "cam2 на 198.51.100.12");
          EXPECT_EQ(Text(Control(detail, kEdtHost)), "198.51.100.12");
          EXPECT_EQ(Text(Control(detail, kEdtPort)), cameras[1].Port);
          EXPECT_NE(Text(Control(detail, kEdtSnapshotURI)).find("198.51.100.12"),
                    std::string::npos);
          details = TreeLines(Control(detail, kTvProfiles), false);
          allDetails = TreeLines(Control(detail, kTvProfiles), true);
          Screenshot(detail, "camera-details");
          PressKey(detail, VK_ESCAPE);  // not bound: the window stays
          escapeIgnored = !WaitForClosed(detail, 1);
          Click(Control(detail, kBtnOK));
          EXPECT_TRUE(WaitForClosed(detail));
        }
        // ... and the reason of a failed one.
        DoubleClickItem(list, 2);
        if (HWND box = WaitForWindow("Ошибка")) {
          failure = MessageText(box);
          Screenshot(box, "search-failed-camera");
          Click(Control(box, IDOK));
          EXPECT_TRUE(WaitForClosed(box));
        }
        // The list is still there; a second search empties it first.
        EXPECT_EQ(ListItems(list).size(), 3u);
        Click(search);
        EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(search); }, 5));
        again = ListItems(list);
        PressKey(window, VK_ESCAPE);  // closes, the search cancelled
        EXPECT_TRUE(WaitForClosed(window, 60));
      },
      [] {
        TDriver driver;
        EXPECT_NO_THROW(driver.RunAdditionalAction("Discover"));
      });
  EXPECT_TRUE(searchDisabled) << "«Поиск» stays enabled during the search";
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front().rfind("Поиск камер", 0), 0u) << progress.front();
  EXPECT_EQ(found, (std::vector<std::string>{"cam1 на 198.51.100.11", "cam2 на 198.51.100.12",
                                             "198.51.100.13:" + cameras[2].Port}));
  EXPECT_EQ(finalProgress, "Найдено камер: 2, с ошибкой: 1");
  EXPECT_TRUE(inked) << "the progress line or the list shows nothing on screen";
  // Only the root is expanded.
  ASSERT_EQ(details.size(), 3u);
  EXPECT_EQ(details[0], "Profiles");
  EXPECT_EQ(details[1].rfind("  Name: ", 0), 0u) << details[1];
  EXPECT_GT(allDetails.size(), details.size());
  EXPECT_TRUE(escapeIgnored) << "Escape closed the camera details";
  EXPECT_NE(failure.find("Sender not authorized"), std::string::npos) << failure;
  EXPECT_TRUE(again.empty()) << again.size() << " items left from the first search";
}

TEST_F(SearchWindowTest, NoCameraAnswersAndTheWindowClosesWithItsButton) {
  std::string message;
  std::vector<std::string> found{"not read"};
  AsUser(
      [&] {
        HWND window = WaitForWindow("ONVIF устройства");
        ASSERT_NE(window, nullptr);
        Click(Control(window, kButton2));
        if (HWND box = WaitForWindow("Ошибка", 60)) {
          message = MessageText(box);
          Screenshot(box, "search-no-devices");
          Click(Control(box, IDOK));
          EXPECT_TRUE(WaitForClosed(box));
        }
        EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Control(window, kButton2)); }, 60));
        found = ListItems(Control(window, kLvDevices));
        Click(Control(window, kButton1));
        EXPECT_TRUE(WaitForClosed(window));
      },
      [] {
        TDriver driver;
        EXPECT_NO_THROW(driver.RunAdditionalAction("Discover"));
      });
  EXPECT_EQ(message, "Устройства не найдены");
  EXPECT_TRUE(found.empty());
}

TEST_F(SearchWindowTest, ClosingDuringASearchOfSlowCamerasEndsIt) {
  ASSERT_GE(cameras.size(), 2u) << "cameras that never answer their questions";
  const std::string asking = "Опрос камер: 0 из " + std::to_string(cameras.size());
  std::chrono::steady_clock::time_point closed{};
  std::string progress;
  bool reached = false;
  AsUser(
      [&] {
        HWND window = WaitForWindow("ONVIF устройства");
        ASSERT_NE(window, nullptr);
        SetText(Control(window, kEdtPassword), "secret");
        Click(Control(window, kButton2));
        // Every camera answered the probe and is being asked, none has answered.
        HWND label = Control(window, kLblProgress);
        reached = WaitUntil([&] { return Text(label) == asking; }, 30);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        progress = Text(label);
        Screenshot(window, "search-window-slow-cameras");
        closed = std::chrono::steady_clock::now();
        Click(Control(window, kButton1));
        EXPECT_TRUE(WaitForClosed(window, 60));
      },
      [] {
        TDriver driver;
        EXPECT_NO_THROW(driver.RunAdditionalAction("Discover"));
      });
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - closed);
  EXPECT_TRUE(reached) << "never «" << asking << "»";
  EXPECT_EQ(progress, asking);
  std::printf("from \"Закрыть\" to the call's return: %lld ms (%zu cameras being asked)\n",
              static_cast<long long>(took.count()), cameras.size());
  // WinHTTP ends an exchange that hangs only at its time limits: a hang check only.
  EXPECT_LT(took, std::chrono::seconds(60));
}

TEST_F(WindowTest, AHostWithoutAnAddressSaysSoAndStillOpensTheWindow) {
  if (Environment("ZORVANE_TEST_NETWORK") != "loopback")
    GTEST_SKIP() << "skipped: needs a network with loopback alone (with_wine_display.py "
                    "--no-address, root)";
  std::string message;
  std::vector<std::string> interfaces{"not read"};
  AsUser(
      [&] {
        if (HWND box = WaitForWindow("Ошибка")) {
          message = MessageText(box);
          Screenshot(box, "search-no-interface");
          Click(Control(box, IDOK));
          EXPECT_TRUE(WaitForClosed(box));
        }
        HWND window = WaitForWindow("ONVIF устройства");
        ASSERT_NE(window, nullptr);
        interfaces = ComboItems(Control(window, kCbbLocalIPs));
        Screenshot(window, "search-window-no-interface");
        Close(window);
        EXPECT_TRUE(WaitForClosed(window));
      },
      [] {
        TDriver driver;
        EXPECT_NO_THROW(driver.RunAdditionalAction("Discover"));
      });
  EXPECT_EQ(message, "Сетевой интерфейс отсутствует");
  EXPECT_TRUE(interfaces.empty());
}

TEST_F(WindowTest, TheLogViewerFollowsTheFileAndKeepsTheCaret) {
  TempDir data;
  const ScopedEnv env("ZORVANE_DATA_DIR", data.path());
  const std::string folder = GetLogPath(true);
  ASSERT_NE(folder.find("Telvask"), std::string::npos) << folder;
  std::string text;
  for (int i = 0; i < 60; ++i) text += "10:00:" + std::to_string(i) + " строка журнала\r\n";
  WriteText(folder + "zorvane_2026.12.09.log", "вчера\r\n");
  WriteText(folder + "zorvane_2026.12.10.log", text);
  const std::string later = folder + "zorvane_2026.12.11.log";
  std::vector<std::string> files, filesLater;
  std::string chosen, shown, grown, status;
  std::pair<int, int> caret{-1, -1};
  bool inked = false;
  HANDLE held = INVALID_HANDLE_VALUE;
  AsUser(
      [&] {
        HWND window = WaitForWindow("Просмотр лога");
        ASSERT_NE(window, nullptr);
        HWND combo = Control(window, kCbbLogFiles);
        HWND log = Control(window, kMmoLog);
        files = ComboItems(combo);
        chosen = ComboText(combo);
        shown = Text(log);
        Select(log, 25, 25);
        const TPicture picture = Screenshot(window, "log-viewer");
        inked = HasInk(picture, PlaceIn(window, log));
        // The writer appends; within a second or two the text follows.
        WriteText(folder + "zorvane_2026.12.10.log", "10:01:00 новая строка\r\n", true);
        EXPECT_TRUE(WaitUntil([&] { return Text(log) != shown; }, 5));
        grown = Text(log);
        caret = Selection(log);
        // A file begun since the window opened appears when the list drops down.
        WriteText(later, "завтра\r\n");
        DropDown(combo);
        WaitUntil([&] { return ComboItems(combo).size() == 3; }, 5);
        filesLater = ComboItems(combo);
        // A file that cannot be read (another program holds it): the reason below.
        held = CreateFileW(std::filesystem::path(Wide(later)).c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
        ChooseComboItem(combo, 2);
        HWND line = Control(window, kLblStatus);
        EXPECT_TRUE(WaitUntil([&] { return !Text(line).empty(); }, 5));
        status = Text(line);
        Screenshot(window, "log-viewer-status");
        Close(window);
        EXPECT_TRUE(WaitForClosed(window));
      },
      [] {
        TDriver driver;
        EXPECT_NO_THROW(driver.RunAdditionalAction("ViewLog"));
      });
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  EXPECT_EQ(files, (std::vector<std::string>{"zorvane_2026.12.09.log", "zorvane_2026.12.10.log"}));
  EXPECT_EQ(chosen, "zorvane_2026.12.10.log");
  EXPECT_EQ(shown, text);
  EXPECT_TRUE(inked) << "the log's text is not on the screen";
  EXPECT_EQ(grown, text + "10:01:00 новая строка\r\n");
  EXPECT_EQ(caret, std::make_pair(25, 25));
  EXPECT_EQ(filesLater.size(), 3u);
  EXPECT_FALSE(status.empty());
  std::printf("the status line for a file held by another program: %s\n", status.c_str());
}

// Under Wine there is no HTML engine: the page goes to the user's browser
// (the wrapper's stand-in xdg-open, through winebrowser).
TEST_F(WindowTest, TheHelpGoesToTheUsersBrowserAndItsFolderStaysWithTheDriver) {
  TempDir tmp;
  const ScopedEnv tmpEnv("TMP", tmp.path()), tempEnv("TEMP", tmp.path());
  const std::string browserLog = Environment("ZORVANE_TEST_BROWSER_LOG");
  std::string opened;
  size_t folders = 0;
  {
    TDriver driver;
    EXPECT_NO_THROW(driver.RunAdditionalAction("ShowHelp"));
    EXPECT_TRUE(WaitUntil([&] { return !(opened = ReadText(browserLog)).empty(); }, 20));
    folders = ListDir(tmp.path()).size();
  }
  std::printf("the user's browser was given: %s", opened.c_str());
  const std::string name = std::filesystem::path(Wide(tmp.path())).filename().string();
  EXPECT_NE(opened.find(name + "/"), std::string::npos) << opened;
  EXPECT_NE(opened.find("/md.html\n"), std::string::npos) << opened;
  EXPECT_EQ(folders, 1u);  // the page's own folder, for the browser to read
  EXPECT_TRUE(ListDir(tmp.path()).empty());  // gone with the driver object
}

// ---- through the command-line host, as the platform calls -----------------------------

TEST_F(WindowTest, TheActionsOpenTheirWindowsThroughTheHost) {
  HostRunner host(ZORVANE_LIB_PATH);
  TempDir tmp;
  const std::vector<std::string> env{"ZORVANE_DATA_DIR=" + host.DataDir(), "TMP=" + tmp.path(),
                                     "TEMP=" + tmp.path()};
  const auto action = [&](const std::string& name) {
    return std::vector<std::string>{"call", "ВыполнитьДополнительноеДействие", "s:" + name, "--",
                                    "call", "ПолучитьОшибку", "s:"};
  };
  for (const auto& [name, title, shot] :
       {std::tuple<std::string, std::string, std::string>{"Discover", "ONVIF устройства",
                                                          "host-search-window"},
        {"ViewLog", "Просмотр лога", "host-log-viewer"}}) {
    RunResult result;
    std::thread caller([&] { result = RunProgram(ZORVANE_HOST_PATH, action(name), env, 60); });
    HWND window = WaitForAnyWindow(title, 30);
    EXPECT_NE(window, nullptr) << title;
    if (window) {
      Screenshot(window, shot);
      Close(window);
    }
    caller.join();
    EXPECT_FALSE(result.timedOut) << name;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(Has(result.output, "result: b:true")) << result.output;
  }
  // The help: to the browser, true, and its folder gone when the host ends.
  // (winebrowser starts on its own and may look for the page after the host
  // has removed it: then it passes the Windows name on as it is.)
  const std::string browserLog = Environment("ZORVANE_TEST_BROWSER_LOG");
  WriteText(browserLog, "");
  const RunResult help = RunProgram(ZORVANE_HOST_PATH, action("ShowHelp"), env, 60);
  EXPECT_TRUE(Has(help.output, "result: b:true")) << help.output;
  EXPECT_TRUE(WaitUntil([&] { return Has(ReadText(browserLog), "md.html\n"); }, 20))
      << ReadText(browserLog);
  EXPECT_TRUE(ListDir(tmp.path()).empty());
}

// Wine started without a display (a program of a wineserver that has one
// shows its windows there whatever its own DISPLAY says).
TEST(NoDisplayTest, TheWindowsAreRefusedAndTheHostGoesOn) {
  if (Environment("ZORVANE_TEST_DISPLAY") != "none")
    GTEST_SKIP() << "skipped: needs Wine without a display (with_wine_display.py --no-display)";
  for (const auto& [action, caption] : {std::pair<std::string, std::string>{"Discover", "Поиск камеры"},
                                        {"ViewLog", "Просмотр лога"}}) {
    const std::string error = ErrorOf([&] { TDriver().RunAdditionalAction(action); });
    EXPECT_EQ(error.rfind("Окно «" + caption + "» не может быть показано: ", 0), 0u) << error;
  }
  HostRunner host(ZORVANE_LIB_PATH);
  const RunResult result = host.Host({"call", "ВыполнитьДополнительноеДействие", "s:Discover",
                                      "--", "call", "ПолучитьОшибку", "s:"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_TRUE(Has(result.output, "result: b:false")) << result.output;
  EXPECT_TRUE(Has(result.output, "Окно «Поиск камеры» не может быть показано: ")) << result.output;
}

}  // namespace
}  // namespace zorvane
