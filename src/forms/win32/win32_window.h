// What the Win32 windows share: the frame of a window action (a desktop to
// show on, comctl32 version 6 through the DLL's own manifest, the window
// class), a modal top-level window with its controls laid out in design
// pixels, icons made of the drawn pictures, and the error box.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "forms/pictures.h"

namespace zorvane::win32 {

// The comctl32 functions the windows call; the rest of the controls' work
// goes through messages.
struct TComCtl {
  decltype(&ImageList_Create) ImageListCreate = nullptr;
  decltype(&ImageList_ReplaceIcon) ImageListReplaceIcon = nullptr;
  decltype(&ImageList_Destroy) ImageListDestroy = nullptr;
};

// Held for the whole of a window action: throws Error "Окно «caption» не
// может быть показано: …" when no window can be shown here (a service's
// desktop, no display under Wine, comctl32 missing); else keeps the DLL's
// activation context active, so that the controls made meanwhile are those
// of comctl32 version 6.
class TWin32Call {
 public:
  explicit TWin32Call(const std::string& caption);
  ~TWin32Call();
  TWin32Call(const TWin32Call&) = delete;
  TWin32Call& operator=(const TWin32Call&) = delete;

  const std::string& Caption() const { return FCaption; }
  const TComCtl& ComCtl() const;
  // Throws the action's error for a window that could not be made.
  [[noreturn]] void Fail(const std::string& why) const;

 private:
  std::string FCaption;
  ULONG_PTR FCookie = 0;
};

// At unload: the window class and the activation context given back.
void ReleaseWin32Windows();

// An icon of the picture, its alpha kept; null when the system refuses.
class TIcon {
 public:
  explicit TIcon(const TPicture& picture);
  ~TIcon();
  TIcon(const TIcon&) = delete;
  TIcon& operator=(const TIcon&) = delete;
  HICON Handle() const { return FIcon; }

 private:
  HICON FIcon = nullptr;
};

// The error box ("Ошибка", the error icon, OK), modal to owner or, without
// one, to the thread's windows.
void ErrorBox(HWND owner, const std::string& text);

// The thread's active window (the platform's), which the windows are modal to.
HWND CallerWindow();

// A top-level window of the class every view shares, shown modally. Sizes
// and places are given at 120 pixels per inch and scaled to the screen's.
class TWindow {
 public:
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  HWND Handle() const { return FWindow; }
  HWND Item(int id) const { return GetDlgItem(FWindow, id); }

  // Shows the window and runs its loop until Quit(); the owner is disabled
  // meanwhile. A WM_QUIT met on the way ends the loop and is posted again
  // for the caller's loop.
  void RunModal();
  // Ends RunModal; also from a message sent by another thread.
  void Quit();

 protected:
  // A window of clientWidth x clientHeight design pixels, centred on its
  // owner when centreOnOwner, else on the screen.
  TWindow(const TWin32Call& call, const std::string& title, DWORD style, DWORD exStyle,
          int clientWidth, int clientHeight, HWND owner, bool centreOnOwner);
  virtual ~TWindow();

  // A child control at design pixels, with the window's font.
  HWND AddControl(const wchar_t* className, const std::string& text, DWORD style, int x, int y,
                  int width, int height, int id, DWORD exStyle = 0);
  // Design pixels in screen pixels.
  int Scaled(int designPixels) const;
  void SetIcon(const TIcon& big, const TIcon& small);
  // Destroys the window now (before the view's own members go).
  void Destroy();

  // The view's messages; what it leaves goes to DefWindowProc. The default
  // closes on WM_CLOSE.
  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) const {
    return DefWindowProcW(FWindow, message, wParam, lParam);
  }

  const TWin32Call& FCall;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept;

  HWND FWindow = nullptr;
  HWND FOwner;
  HFONT FFont = nullptr;
  HWND FFocus = nullptr;
  int FDpi = 96;
  bool FQuit = false;
};

// Text for the wide functions, shown as a control shows one line.
std::wstring ShownWide(const std::string& text);
// A control's text as UTF-8.
std::string TextOf(HWND control);

}  // namespace zorvane::win32
