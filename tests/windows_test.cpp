// The windows: what each holds and does (without a display), then the real
// windows on a private X display, driven through their controls, with a
// screenshot of each state in the build folder's screenshots/.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "driver/camera_driver.h"
#include "forms/device_form.h"
#include "forms/forms.h"
#include "forms/log_form.h"
#include "forms/probe_form.h"
#include "log/log_writer.h"
#include "tests/support/camera_sim.h"
#include "tests/support/checks.h"
#include "tests/support/gtk_driving.h"
#include "tests/support/host_runner.h"
#include "tests/support/process.h"
#include "tests/support/test_network.h"
#include "tests/support/virtual_display.h"

namespace zorvane {
namespace {

using testing::CameraSim;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TestNetwork;
using testing::VirtualDisplay;

std::vector<std::string> Lines(const TTreeItem& item, int depth = 0) {
  std::vector<std::string> out{std::string(static_cast<size_t>(depth) * 2, ' ') + item.Text};
  for (const TTreeItem& child : item.Children) {
    const std::vector<std::string> sub = Lines(child, depth + 1);
    out.insert(out.end(), sub.begin(), sub.end());
  }
  return out;
}

// ---- camera details ------------------------------------------------------------------

TOnvifDevice SampleDevice() {
  TOnvifDevice d;
  d.Name = "Вход 2";
  d.Host = "198.51.100.7";
  d.Port = 8080;
  d.SnapshotURI = "http://198.51.100.7/snap.jpg";
  TProfile p;
  p.fixed = true;
  p.token = "prof1";
  p.Name = "main";
  p.VideoSourceConfiguration.Name = "src";
  p.VideoSourceConfiguration.token = "vs1";
  p.VideoSourceConfiguration.UseCount = 2;
  p.VideoSourceConfiguration.SourceToken = "vsrc";
  p.VideoSourceConfiguration.Bounds = {0, 0, 1920, 1080};
  TVideoEncoderConfiguration& e = p.VideoEncoderConfiguration;
  e.Name = "enc";
  e.token = "ve1";
  e.UseCount = 1;
  e.Encoding = "H264";
  e.Resolution = {1920, 1080};
  e.Quality = 4.5;
  e.RateControl = {25, 1, 4096};
  e.H264 = {50, "Main"};
  e.Multicast.Address.IPv4Address = "";
  e.Multicast.Port = 0;
  e.Multicast.TTL = 1;
  e.SessionTimeout = "PT60S";
  d.Profiles.push_back(p);
  TProfile second;
  second.token = "prof2";
  d.Profiles.push_back(second);
  return d;
}

TEST(DeviceFormTest, FieldsAndTheProfileTreeAsListed) {
  const TOnvifDeviceForm form(SampleDevice(), ",");
  EXPECT_EQ(form.edtName, "Вход 2");
  EXPECT_EQ(form.edtHost, "198.51.100.7");
  EXPECT_EQ(form.edtPort, "8080");
  EXPECT_EQ(form.edtSnapshotURI, "http://198.51.100.7/snap.jpg");
  const std::vector<std::string> lines = Lines(form.tvProfiles);
  const std::vector<std::string> first = {
      "Profiles",
      "  Name: main",
      "    fixed: -1",
      "    token: prof1",
      "    VideoSourceConfiguration",
      "      Name: src",
      "      token: vs1",
      "      UseCount: 2",
      "      SourceToken: vsrc",
      "      Bounds: (x:0, y:0, width:1920, height:1080)",
      "    VideoEncoderConfiguration",
      "      Name: enc",
      "      token: ve1",
      "      UseCount: 1",
      "      Encoding: H264",
      "      Resolution: (width:1920, height:1080)",
      "      Quality: 4,5",
      "      RateControl",
      "        FrameRateLimit: 25",
      "        EncodingInterval: 1",
      "        BitrateLimit: 4096",
      "      H264",
      "        GovLength: 50",
      "        H264Profile: Main",
      "      Multicast",
      "        Address type: ",
      "        Address IPv4Address: ",
      "        Port: 0",
      "        TTL: 1",
      "        AutoStart: 0",
      "      SessionTimeout: PT60S",
      "  Name: ",
      "    fixed: 0",
      "    token: prof2",
  };
  ASSERT_GE(lines.size(), first.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + first.size()), first);
  EXPECT_EQ(form.tvProfiles.Children.size(), 2u);

  TOnvifDevice bare;
  EXPECT_EQ(Lines(TOnvifDeviceForm(bare, ".").tvProfiles), std::vector<std::string>{"Profiles"});
}

TEST(DeviceFormTest, RealNumbersInTheGeneralForm) {
  const struct {
    double Value;
    const char* Separator;
    const char* Text;
  } cases[] = {
      {4.5, ",", "4,5"}, {4.5, ".", "4.5"},  {25, ",", "25"},       {0, ",", "0"},
      {0.1 + 0.2, ".", "0.3"}, {-1.25, ",", "-1,25"}, {123456789012345678.0, ".", "1.23456789012346e+17"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.Value, c.Separator), c.Text) << c.Value;
}

// ---- log viewer ----------------------------------------------------------------------

void Write(const std::string& path, const std::string& text, bool append = false) {
  std::ofstream out(path, append ? std::ios::app | std::ios::binary : std::ios::binary);
  out << text;
}

// The file's modification time moved on, as the next write a second later would.
void Touch(const std::string& path, int secondsLater) {
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + secondsLater, st.st_mtim.tv_nsec}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(LogFormTest, LogFilesSortedTheNewestChosenAndFollowed) {
  TempDir dir;
  const std::string folder = dir.path() + "/";
  Write(folder + "zorvane_2026.12.10.log", "today\n");
  Write(folder + "zorvane_2026.12.09.log", "yesterday\n");
  Write(folder + "A.LOG", "upper\n");
  Write(folder + "a.log.bak", "");
  Write(folder + "notes.txt", "");
  mkdir((folder + "old.log").c_str(), 0777);

  TLogForm form(folder);
  EXPECT_EQ(form.cbbLogFiles, (std::vector<std::string>{"A.LOG", "zorvane_2026.12.09.log",
                                                         "zorvane_2026.12.10.log"}));
  EXPECT_EQ(form.ItemIndex, 2);
  EXPECT_EQ(form.mmoLog, "today\n");
  EXPECT_FALSE(form.tmrCheckFileTimer());  // unchanged

  Write(folder + "zorvane_2026.12.10.log", "more\n", true);
  Touch(folder + "zorvane_2026.12.10.log", 1);
  EXPECT_TRUE(form.tmrCheckFileTimer());
  EXPECT_EQ(form.mmoLog, "today\nmore\n");

  form.cbbLogFilesChange(0);
  EXPECT_EQ(form.mmoLog, "upper\n");
  // The list opened again: no choice, the text stays and is no longer followed.
  Write(folder + "zorvane_2026.12.11.log", "tomorrow\n");
  form.RefreshFileList();
  EXPECT_EQ(form.cbbLogFiles.size(), 4u);
  EXPECT_EQ(form.ItemIndex, -1);
  Write(folder + "A.LOG", "changed\n");
  Touch(folder + "A.LOG", 2);
  EXPECT_FALSE(form.tmrCheckFileTimer());
  EXPECT_EQ(form.mmoLog, "upper\n");

  TempDir empty;
  const TLogForm none(empty.path() + "/");
  EXPECT_TRUE(none.cbbLogFiles.empty());
  EXPECT_EQ(none.ItemIndex, -1);
  EXPECT_EQ(none.mmoLog, "");
}

TEST(LogFormTest, WhatCannotBeShownAsItIs) {
  TempDir dir;
  const std::string folder = dir.path() + "/";
  // Malformed UTF-8 and a NUL become U+FFFD: the text box takes only valid text.
  Write(folder + "a.log", std::string("ok \xff\xfe end\0x\n", 12));
  // What others may leave in the shared folder under a log's name.
  Write(dir.path() + "/secret.txt", "secret\n");
  ASSERT_EQ(symlink((dir.path() + "/secret.txt").c_str(), (folder + "b.log").c_str()), 0);
  ASSERT_EQ(mkfifo((folder + "c.log").c_str(), 0666), 0);
  ASSERT_EQ(link((dir.path() + "/secret.txt").c_str(), (folder + "d.log").c_str()), 0);
  Write(folder + "e.log", "soon a FIFO\n");
  TLogForm form(folder);
  EXPECT_EQ(form.cbbLogFiles, (std::vector<std::string>{"a.log", "d.log", "e.log"}));
  form.cbbLogFilesChange(0);
  EXPECT_EQ(form.mmoLog, "ok \xEF\xBF\xBD\xEF\xBF\xBD end\xEF\xBF\xBDx\n");
  EXPECT_EQ(form.Status, "");

  const struct {
    int Index;
    const char* Status;
  } refused[] = {{1, "У файла есть другие имена"}, {2, "Не обычный файл"}};
  ASSERT_EQ(unlink((folder + "e.log").c_str()), 0);
  ASSERT_EQ(mkfifo((folder + "e.log").c_str(), 0666), 0);  // replaced after the listing
  for (const auto& r : refused) {
    form.cbbLogFilesChange(r.Index);
    EXPECT_NE(form.Status.find(r.Status), std::string::npos) << form.Status;
    EXPECT_EQ(form.mmoLog, "");  // nothing of another file under this name
  }

  // A huge log shows its last lines whole, and says so; a huge line is cut.
  std::string big;
  for (int i = 0; big.size() <= kMaxShownLogBytes + 100; ++i)
    big += "line " + std::to_string(i) + " " + std::string(100, 'x') + "\n";
  Write(folder + "f.log", big);
  Write(folder + "g.log", "short\n" + std::string(10000, 'y') + "\nend\n");
  form.RefreshFileList();
  const auto indexOf = [&](const std::string& name) {
    return static_cast<int>(std::find(form.cbbLogFiles.begin(), form.cbbLogFiles.end(), name) -
                            form.cbbLogFiles.begin());
  };
  EXPECT_EQ(indexOf("e.log"), static_cast<int>(form.cbbLogFiles.size()));  // a FIFO now
  form.cbbLogFilesChange(indexOf("f.log"));
  EXPECT_LE(form.mmoLog.size(), kMaxShownLogBytes);
  EXPECT_EQ(form.mmoLog.substr(0, 5), "line ");
  EXPECT_EQ(big.substr(big.size() - form.mmoLog.size()), form.mmoLog);
  EXPECT_NE(form.Status.find("Показаны последние 2 МиБ"), std::string::npos) << form.Status;
  form.cbbLogFilesChange(indexOf("g.log"));
  EXPECT_EQ(form.mmoLog, "short\n" + std::string(4096, 'y') + " …\nend\n");
}

TEST(LogFormTest, TheFolderIsMadeOpenToAllEvenWithTheLogOff) {
  TempDir data;
  const ScopedEnv env("ZORVANE_DATA_DIR", data.path());
  SetLogMode(TLogMode::lmOff);
  const TLogForm form;
  EXPECT_EQ(form.FLogDirectory.rfind(data.path() + "/Telvask/", 0), 0u) << form.FLogDirectory;
  struct stat st {};
  ASSERT_EQ(stat(form.FLogDirectory.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 01777u);
  EXPECT_TRUE(form.cbbLogFiles.empty());
}

// Where the shared folder cannot be used (here a file stands in its way), the
// viewer shows the user's own folder, the one the lines go to.
TEST(LogFormTest, WithoutTheSharedFolderTheUsersOwnIsShown) {
  TempDir data;
  Write(data.path() + "/Telvask", "not a folder");
  const ScopedEnv env("ZORVANE_DATA_DIR", data.path());
  const ScopedEnv own("ZORVANE_USER_DATA_DIR", data.path() + "/user");
  SetLogMode(TLogMode::lmAll);
  WriteLog("a line", "", TLogLevel::llDebug);
  SetLogMode(TLogMode::lmOff);
  const TLogForm form;
  EXPECT_EQ(form.FLogDirectory.rfind(data.path() + "/user/Telvask/", 0), 0u) << form.FLogDirectory;
  ASSERT_EQ(form.cbbLogFiles.size(), 1u);
  EXPECT_NE(form.mmoLog.find("\tDEBUG\ta line\r\n"), std::string::npos) << form.mmoLog;
}

TEST(LogFormTest, TheFolderOpensInTheFileManagerWithoutWaiting) {
  TempDir bin;
  const std::string seen = bin.path() + "/seen";
  // A descriptor of the host's that is not closed on exec: the opener must not get it.
  // (Numbered away from the shell's own: dash reads its script on 10.)
  const int opened = open(bin.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(opened, 0);
  const int inherited = fcntl(opened, F_DUPFD, 123);
  close(opened);
  ASSERT_GE(inherited, 123);
  // An opener that stays open, as a file manager does.
  const std::string fd = std::to_string(inherited);
  // It notes a descriptor it should not have, and signals it ignores or blocks.
  Write(bin.path() + "/xdg-open",
        "#!/bin/sh\n[ -e /proc/$$/fd/" + fd + " ] && echo leaked >> " + seen +
            // (read by the shell itself: a child of it would see the shell mid-fork)
            "\nwhile read -r k v; do case \"$k\" in SigIgn:|SigBlk:) case \"$v\" in "
            "*[!0]*) echo \"$k $v\" >> " + seen + ";; esac;; esac; done < /proc/$$/status" +
            "\necho \"$@\" >> " + seen + "\n/bin/sleep 30\n");
  chmod((bin.path() + "/xdg-open").c_str(), 0755);
  TempDir folder;
  const TLogForm form(folder.path() + "/");
  {
    const ScopedEnv path("PATH", bin.path());
    const auto start = std::chrono::steady_clock::now();
    form.btnOpenDirClick();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
  for (int i = 0; i < 200 && testing::ReadFile(seen).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  EXPECT_EQ(testing::ReadFile(seen), folder.path() + "/\n");
  close(inherited);

  TempDir nothing;
  const ScopedEnv path("PATH", nothing.path());
  EXPECT_NE(testing::ErrorOf([&] { form.btnOpenDirClick(); }).find("xdg-utils"),
            std::string::npos);
}

// ---- camera search, without a window -------------------------------------------------

TEST(ProbeFormTest, TheFirstAddressIsChosenAndNoneIsAnError) {
  const TOnvifProbeForm two({"198.51.100.2", "203.0.113.5"});
  EXPECT_EQ(two.edtUser, "admin");
  EXPECT_EQ(two.edtPassword, "kqzvt");
  EXPECT_EQ(two.ItemIndex, 0);
  EXPECT_EQ(two.CreateError, "");
  const TOnvifProbeForm none(std::vector<std::string>{});
  EXPECT_EQ(none.ItemIndex, -1);
  EXPECT_EQ(none.CreateError, "Сетевой интерфейс отсутствует");
  // The host's own addresses never include loopback.
  for (const std::string& a : TOnvifProbeForm().cbbLocalIPs) EXPECT_NE(a.rfind("127.", 0), 0u);
}

TEST(ProbeFormTest, ASearchThatHearsNothingSaysSo) {
  // Through loopback only: no datagram leaves the machine.
  TOnvifProbeForm form({"127.0.0.1"});
  form.AttemptCnt = 1;
  form.Button2Click("admin", "secret", "127.0.0.1");
  EXPECT_TRUE(form.Searching());
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((form.Update(), form.Searching()) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_FALSE(form.Searching());
  EXPECT_TRUE(form.Items().empty());
  EXPECT_EQ(form.TakeMessage(), "Устройства не найдены");
  EXPECT_EQ(form.TakeMessage(), "");  // shown once
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// ---- the windows on a private display ------------------------------------------------

// Runs body on the window, then makes sure the window is closed, so that a
// failed check never leaves the test waiting on an open window.
void Then(void* window, const std::function<void()>& body) {
  body();
  if (gtk_widget_get_visible(GTK_WIDGET(window))) testing::CloseBox(window);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string reason = VirtualDisplay::CannotRun();
    if (!reason.empty()) GTEST_SKIP() << "skipped: " << reason;
    display = &VirtualDisplay::Shared();
  }
  void TearDown() override { SetWindowShownHook(nullptr); }
  VirtualDisplay* display = nullptr;
};

class SearchWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (IsSkipped()) return;
    const std::string reason = TestNetwork::CannotRun();
    if (!reason.empty()) GTEST_SKIP() << "skipped: " << reason;
    home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    net = std::make_unique<TestNetwork>();
    net->AddSegment();
  }
  void TearDown() override {
    // Back to the machine's network: the next test's programs start from here.
    if (home >= 0) {
      setns(home, CLONE_NEWNET);
      close(home);
    }
    WindowTest::TearDown();
  }
  int home = -1;
  CameraSim& Camera(const std::string& name, const std::string& address,
                    const std::vector<std::string>& extra = {}) {
    sims.push_back(testing::DiscoverableCamera(*net, name, address, extra));
    return *sims.back();
  }
  void Client() {
    net->AddHost("client", 0, "198.51.100.2");
    net->Enter("client");
  }
  std::unique_ptr<TestNetwork> net;
  std::vector<std::unique_ptr<CameraSim>> sims;
};

bool SearchEnded(void* window) {
  return gtk_widget_get_sensitive(testing::FindWidget(window, "Button2"));
}

TEST_F(SearchWindowTest, CamerasFoundFailedAndShownInDetail) {
  Camera("cam1", "198.51.100.11");
  Camera("cam2", "198.51.100.12");
  CameraSim& locked = Camera("locked", "198.51.100.13", {"--password", "other"});
  Client();
  // Its media service elsewhere, its device information open to anyone: the
  // refused password is still told in the camera's words.
  locked.Configure(R"({"strict_paths": true, "media_paths": ["/onvif/media_service"],
                       "open_actions": ["GetDeviceInformation"]})");
  std::vector<std::string> seen;
  std::vector<std::string> details;
  std::string failure;
  SetWindowShownHook([&](void* window, const std::string& title) {
    seen.push_back(title);
    using namespace testing;
    if (title == "ONVIF устройства") {
      Then(window, [&] {
        EXPECT_EQ(EntryText(Widget(window, "edtUser")), "admin");
        EXPECT_EQ(EntryText(Widget(window, "edtPassword")), "kqzvt");
        EXPECT_EQ(ComboItems(Widget(window, "cbbLocalIPs")),
                  std::vector<std::string>{"198.51.100.2"});
        EXPECT_EQ(ComboText(Widget(window, "cbbLocalIPs")), "198.51.100.2");
        Screenshot(window, "search-window");
        SetEntryText(Widget(window, "edtPassword"), "secret");
        Click(Widget(window, "Button2"));
        EXPECT_FALSE(SearchEnded(window));  // "Поиск" waits for the search to end
        Pump(50);
        EXPECT_EQ(LabelText(Widget(window, "lblProgress")).rfind("Поиск камер", 0), 0u);
        Screenshot(window, "search-window-searching");
        ASSERT_TRUE(PumpUntil([&] { return SearchEnded(window); }, 60));
        GtkWidget* list = Widget(window, "lvDevices");
        EXPECT_EQ(ListColumn(list, 1), (std::vector<std::string>{"cam1 на 198.51.100.11",
                                                                 "cam2 на 198.51.100.12",
                                                                 "198.51.100.13:" +
                                                                     std::to_string(
                                                                         sims[2]->port())}));
        const std::vector<std::string> tips = ListColumn(list, 2);
        ASSERT_EQ(tips.size(), 3u);
        EXPECT_EQ(tips[0], "198.51.100.11:" + std::to_string(sims[0]->port()));
        EXPECT_NE(tips[2].find("Sender not authorized"), std::string::npos) << tips[2];
        EXPECT_EQ(LabelText(Widget(window, "lblProgress")), "Найдено камер: 2, с ошибкой: 1");
        Screenshot(window, "search-window-found");
        // A double click: the details of a camera, the reason of a failed one.
        GtkTreePath* first = gtk_tree_path_new_from_indices(1, -1);
        gtk_icon_view_item_activated(GTK_ICON_VIEW(list), first);
        gtk_tree_path_free(first);
        GtkTreePath* third = gtk_tree_path_new_from_indices(2, -1);
        gtk_icon_view_item_activated(GTK_ICON_VIEW(list), third);
        gtk_tree_path_free(third);
        // The list is still there; a second search empties it first.
        EXPECT_EQ(ListColumn(list, 1).size(), 3u);
        Click(Widget(window, "Button2"));
        EXPECT_TRUE(ListColumn(list, 1).empty());
        PressKey(window, GDK_KEY_Escape);  // closes, the search cancelled
      });
    } else if (title == "ONVIF устройство") {
      Then(window, [&] {
        EXPECT_EQ(EntryText(Widget(window, "edtName")), "cam2 на 198.51.100.12");
        EXPECT_EQ(EntryText(Widget(window, "edtHost")), "198.51.100.12");
        EXPECT_EQ(EntryText(Widget(window, "edtPort")), std::to_string(sims[1]->port()));
        EXPECT_NE(EntryText(Widget(window, "edtSnapshotURI")).find("198.51.100.12"),
                  std::string::npos);
        EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
        // Only the root is expanded.
        details = TreeLines(Widget(window, "tvProfiles"), false);
        Screenshot(window, "camera-details");
        PressKey(window, GDK_KEY_Escape);  // not bound: the window stays
        Pump(50);
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
        Click(Widget(window, "btnOK"));
      });
    } else if (title == "Ошибка") {
      Then(window, [&] {
        failure = MessageText(window);
        Screenshot(window, "search-failed-camera");
      });
    }
  });
  TDriver driver;
  EXPECT_NO_THROW(driver.RunAdditionalAction("Discover"));
  EXPECT_EQ(seen, (std::vector<std::string>{"ONVIF устройства", "ONVIF устройство", "Ошибка"}));
  ASSERT_EQ(details.size(), 3u);
  EXPECT_EQ(details[0], "Profiles");
  EXPECT_EQ(details[1].rfind("  Name: ", 0), 0u);
  EXPECT_NE(failure.find("Sender not authorized"), std::string::npos) << failure;
}

TEST_F(SearchWindowTest, NoCameraAnswersAndTheWindowClosesWithItsButton) {
  Client();
  std::string message;
  SetWindowShownHook([&](void* window, const std::string& title) {
    using namespace testing;
    if (title == "Ошибка") {
      message = MessageText(window);
      Screenshot(window, "search-no-devices");
      Then(window, [] {});
      return;
    }
    Then(window, [&] {
      Click(Widget(window, "Button2"));
      ASSERT_TRUE(PumpUntil([&] { return SearchEnded(window); }, 60));
      EXPECT_TRUE(ListColumn(Widget(window, "lvDevices"), 1).empty());
      Click(Widget(window, "Button1"));
    });
  });
  TDriver driver;
  EXPECT_NO_THROW(driver.RunAdditionalAction("Discover"));
  EXPECT_EQ(message, "Устройства не найдены");
}

TEST_F(SearchWindowTest, ClosingDuringASearchOfSlowCamerasEndsItAtOnce) {
  const int cameras = 20;
  for (int i = 0; i < cameras; ++i)
    Camera("slow" + std::to_string(i), "198.51.100." + std::to_string(20 + i));
  Client();
  for (const auto& sim : sims) sim->Configure(R"({"fault": "hang", "fault_paths": ["/onvif"]})");
  std::chrono::steady_clock::time_point closed;
  std::string progress;
  SetWindowShownHook([&](void* window, const std::string& title) {
    using namespace testing;
    if (title != "ONVIF устройства") return Then(window, [] {});
    Then(window, [&] {
      SetEntryText(Widget(window, "edtPassword"), "secret");
      Click(Widget(window, "Button2"));
      // Every camera answered the probe and is being asked, none has answered.
      EXPECT_TRUE(PumpUntil(
          [&] {
            return LabelText(Widget(window, "lblProgress")) ==
                   "Опрос камер: 0 из " + std::to_string(cameras);
          },
          30));
      Pump(1000);
      progress = LabelText(Widget(window, "lblProgress"));
      Screenshot(window, "search-window-slow-cameras");
      closed = std::chrono::steady_clock::now();
      Click(Widget(window, "Button1"));
    });
  });
  TDriver driver;
  EXPECT_NO_THROW(driver.RunAdditionalAction("Discover"));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - closed);
  EXPECT_EQ(progress, "Опрос камер: 0 из " + std::to_string(cameras));
  std::printf("from \"Закрыть\" to the call's return: %lld ms (%d cameras being asked)\n",
              static_cast<long long>(took.count()), cameras);
  // A hang check only; the figure itself is printed above.
  EXPECT_LT(took, std::chrono::seconds(10));
}

TEST_F(WindowTest, AHostWithoutAnAddressSaysSoAndStillOpensTheWindow) {
  // A network of the test's own that has only loopback, left at the end.
  const int home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (home < 0 || unshare(CLONE_NEWNET) != 0) {
    if (home >= 0) close(home);
    GTEST_SKIP() << "skipped: needs root for a network namespace";
  }
  struct Return {
    int Fd;
    ~Return() {
      setns(Fd, CLONE_NEWNET);
      close(Fd);
    }
  } back{home};
  std::vector<std::string> seen;
  std::string message;
  std::vector<std::string> interfaces{"not read"};
  SetWindowShownHook([&](void* window, const std::string& title) {
    seen.push_back(title);
    Then(window, [&] {
      if (title == "Ошибка") message = testing::MessageText(window);
      if (title == "ONVIF устройства")
        interfaces = testing::ComboItems(testing::Widget(window, "cbbLocalIPs"));
    });
  });
  TDriver driver;
  EXPECT_NO_THROW(driver.RunAdditionalAction("Discover"));
  EXPECT_EQ(seen, (std::vector<std::string>{"Ошибка", "ONVIF устройства"}));
  EXPECT_EQ(message, "Сетевой интерфейс отсутствует");
  EXPECT_TRUE(interfaces.empty());
}

TEST_F(WindowTest, TheLogViewerFollowsTheFileAndKeepsTheCaret) {
  TempDir data;
  const ScopedEnv env("ZORVANE_DATA_DIR", data.path());
  const std::string folder = GetLogPath(true);
  std::string text;
  for (int i = 0; i < 60; ++i) text += "10:00:" + std::to_string(i) + " строка журнала\n";
  Write(folder + "zorvane_2026.12.09.log", "вчера\n");
  Write(folder + "zorvane_2026.12.10.log", text);
  std::vector<std::string> files;
  std::string shown, grown, status;
  int caret = -1;
  SetWindowShownHook([&](void* window, const std::string& title) {
    using namespace testing;
    ASSERT_EQ(title, "Просмотр лога");
    Then(window, [&] {
      GtkWidget* combo = Widget(window, "cbbLogFiles");
      files = ComboItems(combo);
      EXPECT_EQ(ComboText(combo), "zorvane_2026.12.10.log");
      GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(Widget(window, "mmoLog")));
      const auto bufferText = [&] {
        GtkTextIter a, b;
        gtk_text_buffer_get_bounds(buffer, &a, &b);
        gchar* t = gtk_text_buffer_get_text(buffer, &a, &b, FALSE);
        std::string out = t;
        g_free(t);
        return out;
      };
      shown = bufferText();
      GtkTextIter at;
      gtk_text_buffer_get_iter_at_offset(buffer, &at, 25);
      gtk_text_buffer_place_cursor(buffer, &at);
      Screenshot(window, "log-viewer");
      // The writer appends; within about a second the text follows.
      Write(folder + "zorvane_2026.12.10.log", "10:01:00 новая строка\n", true);
      Touch(folder + "zorvane_2026.12.10.log", 1);
      EXPECT_TRUE(PumpUntil([&] { return bufferText() != shown; }, 5));
      grown = bufferText();
      gtk_text_buffer_get_iter_at_mark(buffer, &at, gtk_text_buffer_get_insert(buffer));
      caret = gtk_text_iter_get_offset(&at);
      // A file begun since the window opened appears when the list opens.
      Write(folder + "zorvane_2026.12.11.log", "завтра\n");
      gtk_combo_box_popup(GTK_COMBO_BOX(combo));
      Pump(200);
      EXPECT_EQ(ComboItems(combo).size(), 3u);
      gtk_combo_box_popdown(GTK_COMBO_BOX(combo));
      // A file that cannot be read: the reason in the status line.
      gtk_combo_box_set_active(GTK_COMBO_BOX(combo), 2);
      Pump(50);
      EXPECT_NE(ComboText(combo), "");
      unlink((folder + "zorvane_2026.12.11.log").c_str());
      ASSERT_EQ(mkfifo((folder + "zorvane_2026.12.11.log").c_str(), 0666), 0);
      EXPECT_TRUE(PumpUntil([&] { return !LabelText(Widget(window, "lblStatus")).empty(); }, 5));
      status = LabelText(Widget(window, "lblStatus"));
      Screenshot(window, "log-viewer-status");
      CloseBox(window);
    });
  });
  TDriver driver;
  EXPECT_NO_THROW(driver.RunAdditionalAction("ViewLog"));
  EXPECT_EQ(files, (std::vector<std::string>{"zorvane_2026.12.09.log", "zorvane_2026.12.10.log"}));
  EXPECT_EQ(shown, text);
  EXPECT_EQ(grown, text + "10:01:00 новая строка\n");
  EXPECT_EQ(caret, 25);
  EXPECT_NE(status.find("Не обычный файл"), std::string::npos) << status;
}

TEST_F(WindowTest, TheHelpIsShownStyledAndItsFolderGoes) {
  TempDir tmp;
  const ScopedEnv env("TMPDIR", tmp.path());
  std::string title;
  bool loaded = false;
  size_t folders = 0;
  SetWindowShownHook([&](void* window, const std::string& t) {
    title = t;
    Then(window, [&] {
      loaded = testing::PumpUntil([&] { return testing::FindWidget(window, "wbBrowser"); }, 60);
      testing::Pump(500);
      testing::Screenshot(window, "help");
      folders = testing::ListDir(tmp.path()).size();
    });
  });
  TDriver driver;
  EXPECT_NO_THROW(driver.RunAdditionalAction("ShowHelp"));
  EXPECT_EQ(title, "Справка");
  EXPECT_TRUE(loaded);
  EXPECT_EQ(folders, 1u);  // the page's own folder, while it is shown
  EXPECT_TRUE(testing::ListDir(tmp.path()).empty());
}

TEST_F(WindowTest, WithoutABrowserViewTheHelpGoesToTheUsersBrowser) {
  // WebKitGTK made unloadable for one host, in a mount namespace of its own.
  if (geteuid() != 0) GTEST_SKIP() << "skipped: needs root for a mount namespace";
  TempDir bin;
  TempDir tmp;
  const std::string seen = bin.path() + "/seen";
  Write(bin.path() + "/xdg-open", "#!/bin/sh\necho \"$@\" >> " + seen + "\n");
  chmod((bin.path() + "/xdg-open").c_str(), 0755);
  testing::HostRunner host(ZORVANE_LIB_PATH);
  std::string hide;
  for (const char* lib : {"/usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.1.so.0",
                          "/usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.0.so.37"}) {
    if (Exists(lib)) hide += std::string("mount --bind /dev/null ") + lib + " && ";
  }
  const testing::RunResult r = testing::RunProgram(
      "/usr/bin/unshare",
      {"-m", "/bin/sh", "-c", hide + "exec \"$@\"", "sh", ZORVANE_HOST_PATH, "set", "LogEnabled",
       "b:true", "--", "call", "ВыполнитьДополнительноеДействие", "s:ShowHelp"},
      {"PATH=" + bin.path() + ":/usr/bin:/bin", "TMPDIR=" + tmp.path(),
       "ZORVANE_DATA_DIR=" + host.DataDir()},
      60);
  EXPECT_TRUE(testing::Has(r.output, "result: b:true")) << r.output;
  // The page's address, for the browser to read while the driver object lives.
  const std::string opened = testing::ReadFile(seen);
  EXPECT_EQ(opened.rfind("file://" + tmp.path() + "/%7B", 0), 0u) << opened;
  EXPECT_NE(opened.find("/md.html\n"), std::string::npos) << opened;
  bool logged = false;
  for (const std::string& line : host.LogLines("zorvane"))
    logged = logged || testing::Has(line, "no browser view for «Справка»");
  EXPECT_TRUE(logged);
  EXPECT_TRUE(testing::ListDir(tmp.path()).empty());  // gone with the object
}

// ---- through the command-line host, as the platform calls -----------------------------

TEST_F(WindowTest, TheActionsOpenTheirWindowsThroughTheHost) {
  testing::HostRunner host(ZORVANE_LIB_PATH);
  TempDir tmp;
  for (const auto& [action, title] :
       {std::pair<std::string, std::string>{"Discover", "ONVIF устройства"},
        {"ViewLog", "Просмотр лога"},
        {"ShowHelp", "Справка"}}) {
    testing::RunResult result;
    std::thread call([&] {
      result = testing::RunProgram(
          ZORVANE_HOST_PATH,
          {"call", "ВыполнитьДополнительноеДействие", "s:" + action, "--", "call",
           "ПолучитьОшибку", "s:"},
          {"ZORVANE_DATA_DIR=" + host.DataDir(), "TMPDIR=" + tmp.path()}, 60);
    });
    const unsigned long window = testing::WaitForWindow(display->Name(), title, 30);
    EXPECT_NE(window, 0u) << title;
    if (window) testing::CloseWindow(display->Name(), window);
    call.join();
    EXPECT_FALSE(result.timedOut) << action;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(testing::Has(result.output, "result: b:true")) << result.output;
  }
  EXPECT_TRUE(testing::ListDir(tmp.path()).empty());  // the help's folder is gone
  // A library built without the help: the message, and no folder made.
  const testing::RunResult bare = testing::RunProgram(
      ZORVANE_HOST_PATH,
      {"--lib", ZORVANE_NOPARAMS_LIB_PATH, "call", "ВыполнитьДополнительноеДействие",
       "s:ShowHelp", "--", "call", "ПолучитьОшибку", "s:"},
      {"ZORVANE_DATA_DIR=" + host.DataDir(), "TMPDIR=" + tmp.path()}, 60);
  EXPECT_TRUE(testing::Has(bare.output, "param 0: s:File not found: help\n")) << bare.output;
  EXPECT_TRUE(testing::ListDir(tmp.path()).empty());
  // Without a display: the clear message, and the host goes on.
  const testing::RunResult headless = testing::RunProgram(
      ZORVANE_HOST_PATH,
      {"call", "ВыполнитьДополнительноеДействие", "s:Discover", "--", "call", "ПолучитьОшибку",
       "s:"},
      {"DISPLAY=", "WAYLAND_DISPLAY=", "ZORVANE_DATA_DIR=" + host.DataDir()}, 60);
  EXPECT_EQ(headless.exitCode, 0) << headless.output;
  EXPECT_TRUE(testing::Has(headless.output, "result: b:false")) << headless.output;
  EXPECT_TRUE(testing::Has(headless.output,
                           "Окно «Поиск камеры» не может быть показано: нет графического дисплея"))
      << headless.output;
}

}  // namespace
}  // namespace zorvane
