#include "tests/support/win32_driving.h"
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/windows/windows_text.h"

namespace zorvane::testing {

namespace {

// A message sent to a window of another thread, given up after 10 s so that
// a window that stopped answering fails the test instead of hanging it.
LRESULT Send(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, w, l, SMTO_NORMAL, 10000, &result)) {
    ADD_FAILURE() << "window " << window << " did not answer message 0x" << std::hex << message;
    return 0;
  }
  return static_cast<LRESULT>(result);
}

std::string TitleOf(HWND window) {
  wchar_t title[512] = L"";
  // Read by the window manager's side, never waiting on the window's thread.
  InternalGetWindowText(window, title, 512);
  return Narrow(title);
}

struct TFind {
  std::string Title;
  bool OwnProcess;
  std::vector<HWND> Found;
};

BOOL CALLBACK Collect(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<TFind*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (find->OwnProcess && process != GetCurrentProcessId()) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  if (!find->Title.empty() && TitleOf(window) != find->Title) return TRUE;
  find->Found.push_back(window);
  return TRUE;
}

std::vector<HWND> TopWindows(const std::string& title, bool ownProcess) {
  TFind find{title, ownProcess, {}};
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&find));
  return find.Found;
}

// Set while AsUser's action has returned: no window of this process will come.
std::atomic<bool> gActionReturned{false};

std::string ScreenshotPath(const std::string& name) {
  const std::filesystem::path dir(Wide(ZORVANE_SCREENSHOT_DIR));
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  return Narrow((dir / Wide(name + ".png")).wstring());
}

// ---- PNG ----------------------------------------------------------------------------

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t Adler32(const std::string& data) {
  uint32_t a = 1, b = 0;
  for (unsigned char c : data) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

void PutBig32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  PutBig32(png, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  PutBig32(png, Crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string StoredZlib(const std::string& raw) {
  std::string out = "\x78\x01";
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + n == raw.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(~n & 0xFF);
    out += static_cast<char>((~n >> 8) & 0xFF);
    out.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  PutBig32(out, Adler32(raw));
  return out;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::vector<HWND> ShownWindows() {
  return TopWindows("", true);
}

HWND ShownWindow(const std::string& title) {
  const std::vector<HWND> found = TopWindows(title, true);
  return found.empty() ? nullptr : found.front();
}

HWND WaitForWindow(const std::string& title, double seconds) {
  HWND window = nullptr;
  if (!WaitUntil([&] { return (window = ShownWindow(title)) != nullptr || gActionReturned; },
                 seconds) ||
      !window) {
    std::string shown;
    for (HWND w : ShownWindows()) shown += " «" + TitleOf(w) + "»";
    ADD_FAILURE() << "no window «" << title << "» within " << seconds << " s; shown:" << shown;
  }
  return window;
}

HWND WaitForAnyWindow(const std::string& title, double seconds) {
  HWND window = nullptr;
  WaitUntil(
      [&] {
        const std::vector<HWND> found = TopWindows(title, false);
        window = found.empty() ? nullptr : found.front();
        return window != nullptr;
      },
      seconds);
  return window;
}

bool WaitForClosed(HWND window, double seconds) {
  return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, seconds);
}

HWND Control(HWND window, int id) {
  HWND control = window ? GetDlgItem(window, id) : nullptr;
  if (!control) ADD_FAILURE() << "no control " << id << " in «" << TitleOf(window) << "»";
  return control;
}

std::string Text(HWND window) {
  if (!window) return "";
  const LRESULT length = Send(window, WM_GETTEXTLENGTH);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return Narrow(text);
}

void SetText(HWND control, const std::string& text) {
  if (!control) return;
  const std::wstring wide = Wide(text);
  Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

bool IsEnabled(HWND control) {
  return control && IsWindowEnabled(control);
}

std::pair<int, int> Selection(HWND edit) {
  DWORD from = 0, to = 0;
  if (edit) Send(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  return {static_cast<int>(from), static_cast<int>(to)};
}

void Select(HWND edit, int from, int to) {
  if (edit) Send(edit, EM_SETSEL, static_cast<WPARAM>(from), to);
}

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  if (!combo) return items;
  const LRESULT count = Send(combo, CB_GETCOUNT);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = Send(combo, CB_GETLBTEXTLEN, i);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = Send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    items.push_back(Narrow(text));
  }
  return items;
}

std::string ComboText(HWND combo) {
  if (!combo) return "";
  const LRESULT chosen = Send(combo, CB_GETCURSEL);
  if (chosen < 0) return "";
  const std::vector<std::string> items = ComboItems(combo);
  return static_cast<size_t>(chosen) < items.size() ? items[static_cast<size_t>(chosen)] : "";
}

void ChooseComboItem(HWND combo, int index) {
  if (!combo) return;
  Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
  // CB_SETCURSEL tells no one; the parent hears the choice as from the mouse.
  PostMessageW(GetParent(combo), WM_COMMAND,
               MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void DropDown(HWND combo) {
  if (!combo) return;
  Send(combo, CB_SHOWDROPDOWN, TRUE);
  Send(combo, CB_SHOWDROPDOWN, FALSE);
}

std::vector<std::string> ListItems(HWND list, int column) {
  std::vector<std::string> items;
  if (!list) return items;
  const LRESULT count = Send(list, LVM_GETITEMCOUNT);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[1024] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 1024;
    Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    items.push_back(Narrow(text));
  }
  return items;
}

void DoubleClickItem(HWND list, int index) {
  if (!list) return;
  // The caption, where a user aims: in a report view the row's other
  // columns are no hit for the item (without full-row selection).
  RECT box{};
  box.left = LVIR_LABEL;
  if (!Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&box))) {
    ADD_FAILURE() << "no item " << index << " in the list";
    return;
  }
  const LPARAM at = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
  // The messages a double click brings, in their order.
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
  PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
}

std::vector<std::string> TreeLines(HWND tree, bool all) {
  std::vector<std::string> lines;
  if (!tree) return lines;
  const std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
    for (; item; item = reinterpret_cast<HTREEITEM>(
                     Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
      wchar_t text[1024] = L"";
      TVITEMW data{};
      data.mask = TVIF_TEXT | TVIF_STATE | TVIF_HANDLE;
      data.hItem = item;
      data.stateMask = TVIS_EXPANDED;
      data.pszText = text;
      data.cchTextMax = 1024;
      Send(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
      lines.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + Narrow(text));
      if (all || (data.state & TVIS_EXPANDED)) {
        walk(reinterpret_cast<HTREEITEM>(
                 Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))),
             depth + 1);
      }
    }
  };
  walk(reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), 0);
  return lines;
}

std::string MessageText(HWND box) {
  if (!box) return "";
  // The message is the box's static control with text; the icon's has none.
  std::string text;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[32] = L"";
    GetClassNameW(child, kind, 32);
    if (lstrcmpiW(kind, L"Static") != 0) continue;
    const std::string t = Text(child);
    if (t.size() > text.size()) text = t;
  }
  return text;
}

void Click(HWND button) {
  if (!button) return;
  PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

void PressKey(HWND window, UINT virtualKey) {
  if (!window) return;
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  HWND target = window;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) && gui.hwndFocus &&
      (gui.hwndFocus == window || IsChild(window, gui.hwndFocus))) {
    target = gui.hwndFocus;
  }
  const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

void Close(HWND window) {
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
}

uint32_t TPicture::At(int x, int y) const {
  const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)) * 3;
  return (uint32_t{Rgb[i]} << 16) | (uint32_t{Rgb[i + 1]} << 8) | Rgb[i + 2];
}

TPicture Capture(HWND window) {
  TPicture picture;
  if (!window) return picture;
  // Drawn, and the drawing on the display: Wine sends its window surfaces to
  // the X server a moment after the painting.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN |
                                             RDW_UPDATENOW);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  RECT box{};
  GetWindowRect(window, &box);
  picture.Width = box.right - box.left;
  picture.Height = box.bottom - box.top;
  if (picture.Width <= 0 || picture.Height <= 0) return TPicture{};
  // What the screen shows there: under Wine, PrintWindow gives the
  // window's background alone, without its frame and controls.
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.Width;
  info.bmiHeader.biHeight = -picture.Height;  // rows top down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, picture.Width, picture.Height, screen, box.left, box.top, SRCCOPY);
  GdiFlush();
  const auto* bgra = static_cast<const uint8_t*>(bits);
  const size_t pixels = static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height);
  picture.Rgb.resize(pixels * 3);
  for (size_t i = 0; i < pixels; ++i) {
    picture.Rgb[i * 3] = bgra[i * 4 + 2];
    picture.Rgb[i * 3 + 1] = bgra[i * 4 + 1];
    picture.Rgb[i * 3 + 2] = bgra[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return picture;
}

bool HasInk(const TPicture& picture, const RECT& part) {
  const int left = std::max<int>(part.left, 0), top = std::max<int>(part.top, 0);
  const int right = std::min<int>(part.right, picture.Width);
  const int bottom = std::min<int>(part.bottom, picture.Height);
  if (left >= right || top >= bottom) return false;
  const uint32_t first = picture.At(left, top);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (picture.At(x, y) != first) return true;
    }
  }
  return false;
}

RECT PlaceIn(HWND window, HWND control) {
  RECT outer{}, inner{};
  GetWindowRect(window, &outer);
  GetWindowRect(control, &inner);
  return RECT{inner.left - outer.left, inner.top - outer.top, inner.right - outer.left,
              inner.bottom - outer.top};
}

std::string PngBytes(const TPicture& picture) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBig32(header, static_cast<uint32_t>(picture.Width));
  PutBig32(header, static_cast<uint32_t>(picture.Height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
  Chunk(png, "IHDR", header);
  const size_t row = static_cast<size_t>(picture.Width) * 3;
  std::string raw;
  raw.reserve((row + 1) * static_cast<size_t>(picture.Height));
  for (int y = 0; y < picture.Height; ++y) {
    raw += '\0';  // no filter
    raw.append(reinterpret_cast<const char*>(picture.Rgb.data()) + row * static_cast<size_t>(y),
               row);
  }
  Chunk(png, "IDAT", StoredZlib(raw));
  Chunk(png, "IEND", "");
  return png;
}

TPicture Screenshot(HWND window, const std::string& name) {
  const TPicture picture = Capture(window);
  EXPECT_GT(picture.Width, 0) << name;
  if (picture.Width == 0) return picture;
  const std::string path = ScreenshotPath(name);
  std::ofstream out(std::filesystem::path(Wide(path)), std::ios::binary);
  out << PngBytes(picture);
  EXPECT_TRUE(out.good()) << path;
  return picture;
}

void AsUser(const std::function<void()>& user, const std::function<void()>& action) {
  gActionReturned = false;
  std::thread driver([&] {
    user();
    while (!gActionReturned) {
      for (HWND w : ShownWindows()) Close(w);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });
  action();
  gActionReturned = true;
  driver.join();
  gActionReturned = false;
}

}  // namespace zorvane::testing
