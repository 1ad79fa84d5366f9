#include "forms/win32/win32_window.h"

#include <mutex>
#include <vector>

#include "common/error.h"
#include "forms/messages.h"
#include "forms/shown_text.h"
#include "log/log_writer.h"
#include "platform/windows/windows_text.h"

namespace zorvane::win32 {

namespace {

constexpr wchar_t kClassName[] = L"zorvane.Window";
// The manifest resource that asks for comctl32 version 6.
constexpr WORD kManifestResource = 2;
constexpr int kDesignDpi = 120;

// What every window action shares, made by the first.
struct TShared {
  std::mutex Lock;
  bool Tried = false;
  std::string Failure;
  HANDLE Context = INVALID_HANDLE_VALUE;
  HMODULE Library = nullptr;
  TComCtl Table;
  ATOM Class = 0;
  // Wine without a display fails each window (after trying for one anew):
  // found out once, with a window never shown.
  bool NoDisplay = false;
};

TShared& Shared() {
  static TShared* shared = new TShared;  // used at unload, after statics may be gone
  return *shared;
}

// A service's window station has no desktop anybody sees: a modal window
// there would wait for ever.
bool DesktopIsVisible() {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
    return true;  // cannot tell: let the window try
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

template <typename T>
bool BindComCtl(HMODULE library, T& entry, const char* name) {
  entry = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return entry != nullptr;
}

// With the context active: comctl32 version 6, its controls, our class.
std::string Prepare(TShared& s) {
  s.Library = LoadLibraryW(L"comctl32.dll");
  if (!s.Library) return "comctl32.dll: " + WindowsErrorText(GetLastError());
  decltype(&InitCommonControlsEx) init = nullptr;
  if (!(BindComCtl(s.Library, init, "InitCommonControlsEx") &&
        BindComCtl(s.Library, s.Table.ImageListCreate, "ImageList_Create") &&
        BindComCtl(s.Library, s.Table.ImageListReplaceIcon, "ImageList_ReplaceIcon") &&
        BindComCtl(s.Library, s.Table.ImageListDestroy, "ImageList_Destroy")))
    return msg::kComctlUnfit;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                     ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                     ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
  if (!init(&controls)) return msg::kComctlUnavailable;
  return {};
}

}  // namespace

// ---- the frame of an action ----------------------------------------------------------

TWin32Call::TWin32Call(const std::string& caption) : FCaption(caption) {
  if (!DesktopIsVisible()) Fail(msg::kNoVisibleDesktop);
  TShared& s = Shared();
  const std::lock_guard<std::mutex> lock(s.Lock);
  if (!s.Tried) {
    s.Tried = true;
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(ThisModule(), path, MAX_PATH * 4);
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = ThisModule();
    context.lpSource = length ? path : nullptr;
    context.lpResourceName = MAKEINTRESOURCEW(kManifestResource);
    s.Context = CreateActCtxW(&context);
    if (s.Context == INVALID_HANDLE_VALUE) {
      s.Failure = msg::NoLibraryManifest(WindowsErrorText(GetLastError()));
    } else {
      ULONG_PTR cookie = 0;
      ActivateActCtx(s.Context, &cookie);
      s.Failure = Prepare(s);
      DeactivateActCtx(0, cookie);
    }
    if (s.Failure.empty()) {
      WNDCLASSEXW c{};
      c.cbSize = sizeof c;
      c.style = CS_DBLCLKS;
      c.lpfnWndProc = &DefWindowProcW;  // each window sets its own procedure
      c.hInstance = ThisModule();
      c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      c.lpszClassName = kClassName;
      s.Class = RegisterClassExW(&c);
      if (!s.Class) s.Failure = WindowsErrorText(GetLastError());
    }
    if (s.Failure.empty()) {
      SetLastError(0);
      HWND probe = CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   ThisModule(), nullptr);
      if (probe) {
        DestroyWindow(probe);
      } else {
        s.NoDisplay = GetLastError() == 0;
      }
    }
  }
  if (!s.Failure.empty()) Fail(s.Failure);
  if (s.NoDisplay) Fail(msg::kNoDisplay);
  ActivateActCtx(s.Context, &FCookie);
}

TWin32Call::~TWin32Call() {
  DeactivateActCtx(0, FCookie);
}

const TComCtl& TWin32Call::ComCtl() const {
  return Shared().Table;
}

void TWin32Call::Fail(const std::string& why) const {
  throw Error(msg::WindowCannotBeShown(FCaption, why));
}

void ReleaseWin32Windows() {
  TShared& s = Shared();
  const std::lock_guard<std::mutex> lock(s.Lock);
  if (s.Class) UnregisterClassW(kClassName, ThisModule());
  if (s.Context != INVALID_HANDLE_VALUE) ReleaseActCtx(s.Context);
  if (s.Library) FreeLibrary(s.Library);
  s.Class = 0;
  s.Context = INVALID_HANDLE_VALUE;
  s.Library = nullptr;
  s.Table = TComCtl{};
  s.Tried = false;
  s.NoDisplay = false;
  std::string().swap(s.Failure);
}

// ---- pictures and boxes -------------------------------------------------------------

TIcon::TIcon(const TPicture& picture) {
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = picture.Width;
  header.bV5Height = -picture.Height;  // top row first
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                    DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!colour) return;
  auto* out = static_cast<unsigned char*>(bits);
  for (size_t i = 0; i + 3 < picture.Rgba.size(); i += 4) {
    out[i] = picture.Rgba[i + 2];
    out[i + 1] = picture.Rgba[i + 1];
    out[i + 2] = picture.Rgba[i];
    out[i + 3] = picture.Rgba[i + 3];
  }
  // The mask is left clear: the alpha says what is drawn.
  const std::vector<unsigned char> clear(static_cast<size_t>((picture.Width + 15) / 16 * 2) *
                                         static_cast<size_t>(picture.Height));
  HBITMAP mask = CreateBitmap(picture.Width, picture.Height, 1, 1, clear.data());
  ICONINFO info{TRUE, 0, 0, mask, colour};
  FIcon = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(colour);
}

TIcon::~TIcon() {
  if (FIcon) DestroyIcon(FIcon);
}

void ErrorBox(HWND owner, const std::string& text) {
  MessageBoxW(owner, ShownWide(text).c_str(), Wide(msg::kErrorTitle).c_str(),
              MB_OK | MB_ICONERROR | (owner ? 0 : MB_TASKMODAL));
}

HWND CallerWindow() {
  return GetActiveWindow();
}

std::wstring ShownWide(const std::string& text) {
  return Wide(ShownText(text));
}

std::string TextOf(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
  return Narrow(text);
}

// ---- the window ----------------------------------------------------------------------

TWindow::TWindow(const TWin32Call& call, const std::string& title, DWORD style, DWORD exStyle,
                 int clientWidth, int clientHeight, HWND owner, bool centreOnOwner)
    : FCall(call), FOwner(owner) {
  HDC screen = GetDC(nullptr);
  if (screen) {
    FDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (FDpi <= 0) FDpi = 96;
  RECT frame{0, 0, Scaled(clientWidth), Scaled(clientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT area{};
  if (centreOnOwner && owner) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    area = monitor.rcWork;
  }
  const int x = area.left + (area.right - area.left - width) / 2;
  const int y = area.top + (area.bottom - area.top - height) / 2;
  // Without a display Wine fails the call without saying why.
  SetLastError(0);
  FWindow = CreateWindowExW(exStyle, kClassName, Wide(title).c_str(), style, x, y, width, height,
                            owner, nullptr, ThisModule(), nullptr);
  if (!FWindow) {
    const DWORD error = GetLastError();
    call.Fail(error ? WindowsErrorText(error) : msg::kNoDisplay);
  }
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(FWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWindow::Procedure));
  FFont = CreateFontW(-Scaled(13), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                      DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

TWindow::~TWindow() {
  Destroy();
  if (FFont) DeleteObject(FFont);
}

void TWindow::Destroy() {
  if (!FWindow) return;
  SetWindowLongPtrW(FWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
  DestroyWindow(FWindow);
  FWindow = nullptr;
}

int TWindow::Scaled(int designPixels) const {
  return MulDiv(designPixels, FDpi, kDesignDpi);
}

HWND TWindow::AddControl(const wchar_t* className, const std::string& text, DWORD style, int x,
                         int y, int width, int height, int id, DWORD exStyle) {
  HWND control = CreateWindowExW(exStyle, className, ShownWide(text).c_str(),
                                 WS_CHILD | WS_VISIBLE | style, Scaled(x), Scaled(y),
                                 Scaled(width), Scaled(height), FWindow,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(),
                                 nullptr);
  if (!control) FCall.Fail(WindowsErrorText(GetLastError()));
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  return control;
}

void TWindow::SetIcon(const TIcon& big, const TIcon& small) {
  SendMessageW(FWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.Handle()));
  SendMessageW(FWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.Handle()));
}

void TWindow::RunModal() {
  const bool ownerEnabled = FOwner && IsWindowEnabled(FOwner);
  if (ownerEnabled) EnableWindow(FOwner, FALSE);
  ShowWindow(FWindow, SW_SHOWNORMAL);
  UpdateWindow(FWindow);
  SetForegroundWindow(FWindow);
  if (HWND first = GetNextDlgTabItem(FWindow, nullptr, FALSE)) SetFocus(first);
  bool quitSeen = false;
  WPARAM quitCode = 0;
  MSG message;
  while (!FQuit) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      quitSeen = true;
      quitCode = message.wParam;
      break;
    }
    if (got < 0) break;
    if (!IsDialogMessageW(FWindow, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  // The owner first, so that it takes the activation back.
  if (ownerEnabled) EnableWindow(FOwner, TRUE);
  ShowWindow(FWindow, SW_HIDE);
  if (quitSeen) PostQuitMessage(static_cast<int>(quitCode));
}

void TWindow::Quit() {
  FQuit = true;
  // GetMessage returns only for a posted message: a click sent from another
  // thread is handled inside it and would leave it waiting.
  if (FWindow) PostMessageW(FWindow, WM_NULL, 0, 0);
}

LRESULT TWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Quit();
      return 0;
    case WM_ACTIVATE:
      // The control that had the keys gets them back (after a message box).
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(FWindow, focus)) FFocus = focus;
      } else if (FFocus && IsWindow(FFocus) && !HIWORD(wParam)) {
        SetFocus(FFocus);
        return 0;
      }
      break;
  }
  return Default(message, wParam, lParam);
}

LRESULT CALLBACK TWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
  auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  // Nothing may leave for the system's frames.
  try {
    return self->OnMessage(message, wParam, lParam);
  } catch (const std::exception& e) {
    TryWriteLog(std::string("window: ") + e.what(), TLogLevel::llError);
  } catch (...) {
    TryWriteLog("window: unknown error", TLogLevel::llError);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace zorvane::win32
