#include "tests/support/virtual_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace zorvane::testing {

namespace {

std::string FindProgram(const std::string& name) {
  for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
    const std::string path = std::string(dir) + "/" + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

std::string TitleOf(Display* d, Window w) {
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return title;
}

bool Shown(Display* d, Window w) {
  XWindowAttributes a{};
  return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

Window Find(Display* d, Window w, const std::string& title) {
  if (TitleOf(d, w) == title && Shown(d, w)) return w;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
  Window found = 0;
  for (unsigned int i = 0; i < n && !found; ++i) found = Find(d, children[i], title);
  if (children) XFree(children);
  return found;
}

}  // namespace

std::string VirtualDisplay::CannotRun() {
  if (FindProgram("Xvfb").empty()) return "Xvfb is not installed (Debian package xvfb)";
  return {};
}

VirtualDisplay& VirtualDisplay::Shared() {
  static VirtualDisplay* shared = [] {
    auto* display = new VirtualDisplay();
    std::atexit([] { delete shared; });
    return display;
  }();
  return *shared;
}

VirtualDisplay::VirtualDisplay() {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  const std::string xvfb = FindProgram("Xvfb");
  FPid = fork();
  if (FPid == 0) {
    dup2(pipeFds[1], 3);
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execl(xvfb.c_str(), "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten",
          "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  std::string number;
  pollfd p{pipeFds[0], POLLIN, 0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
    if (poll(&p, 1, 200) <= 0) continue;
    char buffer[32];
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  if (number.find('\n') == std::string::npos) {
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
    throw std::runtime_error("Xvfb did not start");
  }
  FName = ":" + number.substr(0, number.find('\n'));
  if (const char* old = std::getenv("DISPLAY")) {
    FHadDisplay = true;
    FSavedDisplay = old;
  }
  setenv("DISPLAY", FName.c_str(), 1);
}

VirtualDisplay::~VirtualDisplay() {
  if (FHadDisplay) {
    setenv("DISPLAY", FSavedDisplay.c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
  if (FPid > 0) {
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
  }
}

unsigned long WaitForWindow(const std::string& display, const std::string& title,
                            double timeout) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return 0;
  Window found = 0;
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long>(timeout * 1000));
  while (!found && std::chrono::steady_clock::now() < end) {
    found = Find(d, DefaultRootWindow(d), title);
    if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  XCloseDisplay(d);
  return found;
}

void CloseWindow(const std::string& display, unsigned long window) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window, False, NoEventMask, &e);
  XFlush(d);
  XCloseDisplay(d);
}

}  // namespace zorvane::testing
