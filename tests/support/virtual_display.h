// A private X display for window tests: Xvfb started by the test on a free
// display number and stopped at the end; DISPLAY points at it meanwhile.
// Also finds and closes windows from outside, as a user would.
#pragma once

#include <sys/types.h>

#include <string>

namespace zorvane::testing {

class VirtualDisplay {
 public:
  // Why a display cannot be had here (no Xvfb); empty when it can.
  static std::string CannotRun();

  // The display of this test program: started when first asked for and
  // stopped as the program ends (GTK keeps its connection open until then).
  static VirtualDisplay& Shared();

  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& Name() const { return FName; }  // ":N"

 private:
  pid_t FPid = -1;
  std::string FName;
  std::string FSavedDisplay;
  bool FHadDisplay = false;
};

// The id of a window of the display whose title is title, waiting up to
// timeout seconds for it to appear; 0 when none did.
unsigned long WaitForWindow(const std::string& display, const std::string& title, double timeout);
// Asks the window to close, as its close box does (WM_DELETE_WINDOW).
void CloseWindow(const std::string& display, unsigned long window);

}  // namespace zorvane::testing
