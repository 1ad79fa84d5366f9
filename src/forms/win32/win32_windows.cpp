// The windows drawn with Win32 and comctl32: camera search, camera details,
// log viewer. Each view only shows its form's state and passes clicks on;
// what the window holds and does is the form's (forms/*_form.h).
#include <algorithm>
#include <string>
#include <vector>

#include "common/error.h"
#include "forms/device_form.h"
#include "forms/forms.h"
#include "forms/log_form.h"
#include "forms/messages.h"
#include "forms/pictures.h"
#include "forms/probe_form.h"
#include "forms/win32/browser_window.h"
#include "forms/win32/control_ids.h"
#include "forms/win32/win32_window.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

namespace win32 {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kSearchPollMs = 100;
constexpr UINT kLogCheckMs = 1000;

void SetText(HWND control, const std::string& text) {
  SetWindowTextW(control, ShownWide(text).c_str());
}

// ---- camera details ------------------------------------------------------------------

class TDetailsView : public TWindow {
 public:
  TDetailsView(const TWin32Call& call, HWND owner, const TOnvifDeviceForm& form)
      : TWindow(call, msg::kDeviceTitle, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, 568, 378, owner, true),
        FCamera(CameraPicture(64)) {
    HWND picture = AddControl(L"STATIC", "", SS_ICON | SS_CENTERIMAGE, 8, 8, 65, 65, kImgUser);
    SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(FCamera.Handle()), 0);
    struct TField {
      const char* Caption;
      int LabelTop;
      int BoxTop;
      int LabelId;
      int BoxId;
      const std::string& Value;
    };
    const TField fields[] = {
        {msg::kNameLabel, 11, 8, kLblName, kEdtName, form.edtName},
        {msg::kHostLabel, 38, 35, kLblHost, kEdtHost, form.edtHost},
        {msg::kPortLabel, 65, 62, kLblPort, kEdtPort, form.edtPort},
        {msg::kSnapshotUriLabel, 95, 92, kLblSnapshotURI, kEdtSnapshotURI, form.edtSnapshotURI},
    };
    for (const TField& f : fields) {
      AddControl(L"STATIC", f.Caption, SS_LEFT, 93, f.LabelTop, 118, 18, f.LabelId);
      AddControl(L"EDIT", f.Value, WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, 213, f.BoxTop, 344,
                 23, f.BoxId, WS_EX_CLIENTEDGE);
    }
    AddControl(L"STATIC", msg::kProfilesLabel, SS_LEFT, 93, 144, 118, 18, kLblProfiles);
    HWND tree = AddControl(WC_TREEVIEWW, "",
                           WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                               TVS_SHOWSELALWAYS,
                           213, 144, 344, 175, kTvProfiles, WS_EX_CLIENTEDGE);
    SendMessageW(tree, TVM_SETINDENT, static_cast<WPARAM>(Scaled(19)), 0);
    HTREEITEM root = AddTree(tree, TVI_ROOT, form.tvProfiles);
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    AddControl(L"STATIC", "", SS_ETCHEDHORZ, 0, 334, 568, 2, kBvl1);
    // Neither button is the window's Enter or Escape button.
    AddControl(L"BUTTON", msg::kOkButton, WS_TABSTOP | BS_PUSHBUTTON, 405, 344, 75, 25, kBtnOK);
    AddControl(L"BUTTON", msg::kCancelButton, WS_TABSTOP | BS_PUSHBUTTON, 486, 344, 75, 25,
               kBtnCancel);
  }
  ~TDetailsView() override { Destroy(); }

 private:
  static HTREEITEM AddTree(HWND tree, HTREEITEM parent, const TTreeItem& item) {
    std::wstring text = ShownWide(item.Text);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = text.data();
    auto* node = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    for (const TTreeItem& child : item.Children) AddTree(tree, node, child);
    return node;
  }

  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == kBtnOK || LOWORD(wParam) == kBtnCancel)) {
      Quit();
      return 0;
    }
    return TWindow::OnMessage(message, wParam, lParam);
  }

  TIcon FCamera;
};

// ---- camera search -------------------------------------------------------------------

class TProbeView : public TWindow {
 public:
  explicit TProbeView(const TWin32Call& call)
      : TWindow(call, msg::kDevicesTitle, (WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX) | WS_CLIPCHILDREN,
                WS_EX_CONTROLPARENT, 608, 416, CallerWindow(), false),
        FCamera(CameraPicture(48)),
        FFailedCamera(CameraPicture(48, true)),
        FIcon(CameraPicture(32)),
        FSmallIcon(CameraPicture(16)) {
    SetIcon(FIcon, FSmallIcon);
    AddControl(L"STATIC", msg::kLoginLabel, SS_LEFT, 13, 8, 124, 18, kLblLogin);
    FUser = AddControl(L"EDIT", F.edtUser, WS_TABSTOP | ES_AUTOHSCROLL, 13, 27, 124, 23,
                       kEdtUser, WS_EX_CLIENTEDGE);
    AddControl(L"STATIC", msg::kPasswordLabel, SS_LEFT, 163, 8, 124, 18, kLblPassword);
    FPassword = AddControl(L"EDIT", F.edtPassword, WS_TABSTOP | ES_AUTOHSCROLL, 163, 27, 124, 23,
                           kEdtPassword, WS_EX_CLIENTEDGE);
    FLocalLabel =
        AddControl(L"STATIC", msg::kLocalInterfaceLabel, SS_LEFT, 433, 8, 163, 18, kLblLocalIP);
    FLocalIPs = AddControl(L"COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 433, 27,
                           163, 200, kCbbLocalIPs);
    for (const std::string& ip : F.cbbLocalIPs)
      SendMessageW(FLocalIPs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ShownWide(ip).c_str()));
    SendMessageW(FLocalIPs, CB_SETCURSEL, static_cast<WPARAM>(F.ItemIndex), 0);

    // Large icons, one item chosen at a time, captions not editable.
    FDevices = AddControl(WC_LISTVIEWW, "",
                          WS_TABSTOP | LVS_ICON | LVS_SINGLESEL | LVS_AUTOARRANGE |
                              LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                          0, 65, 608, 416 - 65 - 56, kLvDevices, WS_EX_CLIENTEDGE);
    SendMessageW(FDevices, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_INFOTIP, LVS_EX_INFOTIP);
    const TComCtl& c = call.ComCtl();
    FImages = c.ImageListCreate(48, 48, ILC_COLOR32 | ILC_MASK, 2, 0);
    if (FImages) {
      c.ImageListReplaceIcon(FImages, -1, FCamera.Handle());
      c.ImageListReplaceIcon(FImages, -1, FFailedCamera.Handle());
      SendMessageW(FDevices, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(FImages));
    }

    // The bottom panel: progress on the left, the buttons kept at the right.
    FProgress = AddControl(L"STATIC", "", SS_LEFT | SS_ENDELLIPSIS, 13, 0, 300, 18, kLblProgress);
    FBar = AddControl(PROGRESS_CLASSW, "", PBS_MARQUEE, 323, 0, 107, 14, kPbSearching);
    ShowWindow(FBar, SW_HIDE);
    FSearch = AddControl(L"BUTTON", msg::kSearchButton, WS_TABSTOP | BS_PUSHBUTTON, 440, 0, 75, 25,
                         kButton2);
    FClose = AddControl(L"BUTTON", msg::kCloseButton, WS_TABSTOP | BS_PUSHBUTTON, 521, 0, 75, 25,
                        kButton1);
    RECT client;
    GetClientRect(Handle(), &client);
    Layout(client.right, client.bottom);
    SetTimer(Handle(), kRefreshTimer, kSearchPollMs, nullptr);
  }

  ~TProbeView() override {
    KillTimer(Handle(), kRefreshTimer);
    F.Cancel();
    Destroy();
    if (FImages) FCall.ComCtl().ImageListDestroy(FImages);
  }

  void Show() {
    if (!F.CreateError.empty()) ErrorBox(CallerWindow(), F.CreateError);
    RunModal();
  }

 private:
  // What is kept at the right and bottom edges follows them.
  void Layout(int width, int height) {
    const int top = Scaled(65);
    const int bottom = Scaled(56);
    const auto place = [](HWND control, int x, int y) {
      SetWindowPos(control, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(FLocalLabel, std::max(width - Scaled(608 - 433), Scaled(300)), Scaled(8));
    place(FLocalIPs, std::max(width - Scaled(608 - 433), Scaled(300)), Scaled(27));
    SetWindowPos(FDevices, nullptr, 0, top, width, std::max(height - top - bottom, 0),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const int panel = height - bottom;
    place(FProgress, Scaled(13), panel + Scaled(19));
    place(FBar, Scaled(323), panel + Scaled(20));
    place(FSearch, width - Scaled(608 - 440), panel + Scaled(14));
    place(FClose, width - Scaled(608 - 521), panel + Scaled(14));
  }

  void Close() {
    ShowWindow(Handle(), SW_HIDE);
    F.Cancel();  // the search stops within moments
    Quit();
  }

  void AddItem(const TFoundCamera& item, int index) {
    std::wstring caption = ShownWide(item.Caption);
    LVITEMW row{};
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    row.iItem = index;
    row.pszText = caption.data();
    row.iImage = item.Details ? 0 : 1;
    row.lParam = index;
    SendMessageW(FDevices, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
  }

  void Refresh() {
    if (FRefreshing || !F.Update()) return;
    FRefreshing = true;
    const std::vector<TFoundCamera>& items = F.Items();
    if (!F.Searching()) {
      // The final order.
      SendMessageW(FDevices, LVM_DELETEALLITEMS, 0, 0);
      FShown = 0;
    }
    for (; FShown < items.size(); ++FShown) AddItem(items[FShown], static_cast<int>(FShown));
    SetText(FProgress, F.Progress());
    if (!F.Searching()) {
      SendMessageW(FBar, PBM_SETMARQUEE, FALSE, 0);
      ShowWindow(FBar, SW_HIDE);
      EnableWindow(FSearch, TRUE);
      const std::string message = F.TakeMessage();
      if (!message.empty()) ErrorBox(Handle(), message);
    }
    FRefreshing = false;
  }

  void Search() {
    if (F.Searching()) return;
    SendMessageW(FDevices, LVM_DELETEALLITEMS, 0, 0);
    FShown = 0;
    UpdateWindow(FDevices);
    F.Button2Click(TextOf(FUser), TextOf(FPassword), TextOf(FLocalIPs));
    EnableWindow(FSearch, FALSE);
    ShowWindow(FBar, SW_SHOW);
    SendMessageW(FBar, PBM_SETMARQUEE, TRUE, 30);
    SetText(FProgress, F.Progress());
  }

  // A double click: the details of a camera, the reason of a failed one.
  void Open(int clicked) {
    const int index = clicked >= 0 ? clicked
                                   : static_cast<int>(SendMessageW(FDevices, LVM_GETNEXTITEM,
                                                                   static_cast<WPARAM>(-1),
                                                                   LVNI_SELECTED));
    if (index < 0 || static_cast<size_t>(index) >= F.Items().size()) return;
    // A copy: the search may go on while the details are shown.
    const TFoundCamera item = F.Items()[static_cast<size_t>(index)];
    if (item.Details) {
      TDetailsView details(FCall, Handle(), *item.Details);
      details.RunModal();
    } else {
      ErrorBox(Handle(), msg::CameraFailed(item.Caption, item.Error));
    }
  }

  // The list's tooltip: where the camera is, or why its queries failed.
  void FillTip(NMLVGETINFOTIPW& tip) const {
    if (tip.iItem < 0 || static_cast<size_t>(tip.iItem) >= F.Items().size() || !tip.pszText ||
        tip.cchTextMax <= 0)
      return;
    const TFoundCamera& item = F.Items()[static_cast<size_t>(tip.iItem)];
    const std::wstring text = ShownWide(
        item.Details ? item.Details->edtHost + ":" + item.Details->edtPort : item.Error);
    const size_t n = std::min(text.size(), static_cast<size_t>(tip.cchTextMax - 1));
    text.copy(tip.pszText, n);
    tip.pszText[n] = L'\0';
  }

  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) break;
        if (LOWORD(wParam) == kButton2) Search();
        // Escape arrives as the Cancel button's command.
        if (LOWORD(wParam) == kButton1) Close();
        return 0;
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != kLvDevices) break;
        if (header->code == NM_DBLCLK)
          Open(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem);
        if (header->code == LVN_GETINFOTIPW) FillTip(*reinterpret_cast<NMLVGETINFOTIPW*>(lParam));
        return 0;
      }
      case WM_TIMER:
        if (wParam == kRefreshTimer) Refresh();
        return 0;
      case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
      case WM_SETCURSOR:
        // The search runs behind the window: the pointer says so, the window works.
        if (F.Searching() && LOWORD(lParam) == HTCLIENT) {
          SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
          return TRUE;
        }
        break;
      case WM_CLOSE:
        Close();
        return 0;
    }
    return TWindow::OnMessage(message, wParam, lParam);
  }

  TOnvifProbeForm F;
  TIcon FCamera, FFailedCamera, FIcon, FSmallIcon;
  HIMAGELIST FImages = nullptr;
  HWND FUser = nullptr;
  HWND FPassword = nullptr;
  HWND FLocalLabel = nullptr;
  HWND FLocalIPs = nullptr;
  HWND FDevices = nullptr;
  HWND FProgress = nullptr;
  HWND FBar = nullptr;
  HWND FSearch = nullptr;
  HWND FClose = nullptr;
  size_t FShown = 0;
  bool FRefreshing = false;
};

// ---- log viewer ----------------------------------------------------------------------

// Line breaks as the edit control shows them.
std::wstring WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return Wide(out);
}

class TLogView : public TWindow {
 public:
  explicit TLogView(const TWin32Call& call)
      : TWindow(call, msg::kLogViewerTitle,
                (WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX) | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 633,
                293, CallerWindow(), false),
        FFolder(FolderPicture()),
        FIcon(CameraPicture(32)),
        FSmallIcon(CameraPicture(16)) {
    SetIcon(FIcon, FSmallIcon);
    FFiles = AddControl(L"COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 4, 4, 257,
                        300, kCbbLogFiles);
    HWND open = AddControl(L"BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, 263, 4, 23, 24,
                           kBtnOpenDir);
    SendMessageW(open, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(FFolder.Handle()));
    FTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0,
                           0, 0, Handle(), nullptr, nullptr, nullptr);
    if (FTip) {
      std::wstring tipText = Wide(msg::kOpenLogFolderTip);
      TOOLINFOW tool{};
      tool.cbSize = sizeof tool;
      tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tool.hwnd = Handle();
      tool.uId = reinterpret_cast<UINT_PTR>(open);
      tool.lpszText = tipText.data();
      SendMessageW(FTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    FText = AddControl(L"EDIT", "",
                       WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                           ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_NOHIDESEL,
                       0, 32, 633, 293 - 32 - 20, kMmoLog, WS_EX_CLIENTEDGE);
    SendMessageW(FText, EM_SETLIMITTEXT, 0, 0);
    FStatus = AddControl(L"STATIC", "", SS_LEFT | SS_ENDELLIPSIS | SS_NOPREFIX, 4, 293 - 18,
                         625, 18, kLblStatus);
    FillFiles();
    ShowText(false);
    RECT client;
    GetClientRect(Handle(), &client);
    Layout(client.right, client.bottom);
    SetTimer(Handle(), kRefreshTimer, kLogCheckMs, nullptr);
  }
  ~TLogView() override {
    KillTimer(Handle(), kRefreshTimer);
    Destroy();
  }

  void Show() { RunModal(); }

 private:
  void Layout(int width, int height) {
    const int bar = Scaled(32);
    const int status = Scaled(20);
    SetWindowPos(FText, nullptr, 0, bar, width, std::max(height - bar - status, 0),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(FStatus, nullptr, Scaled(4), height - status + Scaled(2),
                 std::max(width - Scaled(8), 0), Scaled(18), SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void FillFiles() {
    SendMessageW(FFiles, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : F.cbbLogFiles)
      SendMessageW(FFiles, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ShownWide(name).c_str()));
    SendMessageW(FFiles, CB_SETCURSEL, static_cast<WPARAM>(F.ItemIndex), 0);
  }

  // The form's text into the box; with keepCaret the caret stays at its
  // character position and in sight, and the box takes the focus.
  void ShowText(bool keepCaret) {
    DWORD start = 0, end = 0;
    SendMessageW(FText, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    SendMessageW(FText, WM_SETREDRAW, FALSE, 0);
    SetWindowTextW(FText, WithCrLf(F.mmoLog).c_str());
    if (keepCaret) {
      SendMessageW(FText, EM_SETSEL, start, end);
      SendMessageW(FText, EM_SCROLLCARET, 0, 0);
    }
    SendMessageW(FText, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(FText, nullptr, TRUE);
    if (keepCaret) SetFocus(FText);
    SetText(FStatus, F.Status);
  }

  void OpenFolder() {
    try {
      F.btnOpenDirClick();
    } catch (const std::exception& e) {
      SetText(FStatus, e.what());
    }
  }

  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_COMMAND:
        if (LOWORD(wParam) == kCbbLogFiles && HIWORD(wParam) == CBN_DROPDOWN) {
          // Files begun since the window opened show up; the choice is cleared.
          F.RefreshFileList();
          FillFiles();
        } else if (LOWORD(wParam) == kCbbLogFiles && HIWORD(wParam) == CBN_SELCHANGE) {
          const auto index = static_cast<int>(SendMessageW(FFiles, CB_GETCURSEL, 0, 0));
          if (index >= 0) {
            F.cbbLogFilesChange(index);
            ShowText(false);
          }
        } else if (LOWORD(wParam) == kBtnOpenDir && HIWORD(wParam) == BN_CLICKED) {
          OpenFolder();
        }
        return 0;
      case WM_TIMER:
        if (wParam == kRefreshTimer && F.tmrCheckFileTimer()) ShowText(true);
        return 0;
      case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
      case WM_CTLCOLORSTATIC:
        // The read-only text on white, as a text to read.
        if (reinterpret_cast<HWND>(lParam) == FText) {
          SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
          return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    }
    return TWindow::OnMessage(message, wParam, lParam);
  }

  TLogForm F;
  TIcon FFolder, FIcon, FSmallIcon;
  HWND FFiles = nullptr;
  HWND FText = nullptr;
  HWND FStatus = nullptr;
  HWND FTip = nullptr;
};

}  // namespace

}  // namespace win32

void ShowCameraSearch() {
  const win32::TWin32Call call(msg::kCameraSearchTitle);
  win32::TProbeView view(call);
  view.Show();
}

void ShowLogViewer() {
  const win32::TWin32Call call(msg::kLogViewerTitle);
  win32::TLogView view(call);
  view.Show();
}

// Checked before the page is made: where no window can be shown (a
// service's desktop, Wine without a display) no browser can be either.
void RequireDocumentWindow(const std::string& caption) {
  const win32::TWin32Call call(caption);
}

bool ShowDocument(const std::string& htmlPath, const std::string& caption) {
  const win32::TWin32Call call(caption);
  return win32::ShowInBrowserWindow(call, htmlPath);
}

// The tests of the Win32 windows find them by their titles.
void SetWindowShownHook(TWindowShownHook) {}

void ReleaseWindowBindings() {
  win32::ReleaseWin32Windows();
}

}  // namespace zorvane
