// The window-driving helpers against a window of the test's own: what they
// read, type, click and capture is what the window holds and shows.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>
#include <wincodec.h>

#include "platform/windows/windows_text.h"
#include "tests/support/win32_driving.h"

namespace zorvane {
namespace {

using namespace testing;

enum { kEdit = 11, kList = 12, kLabel = 13, kCombo = 14, kTree = 15, kBoxButton = 16 };

struct TSample {
  std::vector<std::string> Heard;  // what the window was told, in order
};

LRESULT CALLBACK SampleProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* sample = reinterpret_cast<TSample*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(w) == kBoxButton && HIWORD(w) == BN_CLICKED) {
        sample->Heard.push_back("box");
        MessageBoxW(window, L"Сообщение для проверки", L"Ошибка", MB_OK | MB_ICONERROR);
        sample->Heard.push_back("box closed");
      } else if (LOWORD(w) == kCombo && HIWORD(w) == CBN_SELCHANGE) {
        sample->Heard.push_back("choice " + std::to_string(SendMessageW(
                                               reinterpret_cast<HWND>(l), CB_GETCURSEL, 0, 0)));
      } else if (LOWORD(w) == kCombo && HIWORD(w) == CBN_DROPDOWN) {
        sample->Heard.push_back("dropdown");
      } else if (LOWORD(w) == IDCANCEL) {
        sample->Heard.push_back("cancel");
        DestroyWindow(window);
      }
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(l);
      if (header->idFrom == kList && header->code == NM_DBLCLK) {
        sample->Heard.push_back("double click " +
                                std::to_string(reinterpret_cast<const NMITEMACTIVATE*>(l)->iItem));
      }
      return 0;
    }
    case WM_CLOSE:
      sample->Heard.push_back("close");
      DestroyWindow(window);
      return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

HWND Child(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, int id, int x,
           int y, int width, int height) {
  HWND child = CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                               nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  return child;
}

// The sample window, shown until it is destroyed, with a dialog's keyboard.
void ShowSample(TSample& sample) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW kind{};
  kind.lpfnWndProc = SampleProc;
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  kind.lpszClassName = L"ZorvaneSample";
  RegisterClassW(&kind);
  HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, L"ZorvaneSample",
                                L"Проба окна", WS_CAPTION | WS_SYSMENU, 100, 100, 480, 360,
                                nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&sample));
  Child(window, L"Static", L"Подпись окна", 0, kLabel, 10, 10, 200, 20);
  Child(window, L"Edit", L"начало", WS_BORDER | WS_TABSTOP, kEdit, 10, 35, 200, 22);
  HWND combo = Child(window, L"ComboBox", L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kCombo,
                     220, 35, 200, 200);
  for (const wchar_t* item : {L"первый", L"второй"})
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  HWND list = Child(window, WC_LISTVIEWW, L"", LVS_REPORT | LVS_SINGLESEL | WS_BORDER, kList, 10,
                    65, 200, 150);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = 90;
  SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
  for (int i = 0; i < 2; ++i) {
    std::wstring caption = L"камера " + std::to_wstring(i + 1);
    std::wstring tip = L"адрес " + std::to_wstring(i + 1);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = caption.data();
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 1;
    item.pszText = tip.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  HWND tree = Child(window, WC_TREEVIEWW, L"", TVS_HASLINES | TVS_HASBUTTONS | WS_BORDER, kTree,
                    220, 65, 200, 150);
  const auto add = [&](HTREEITEM parent, const wchar_t* text) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(text);
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  };
  HTREEITEM root = add(TVI_ROOT, L"Корень");
  HTREEITEM branch = add(root, L"Ветка");
  add(branch, L"Лист");
  SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
  Child(window, L"Button", L"Сообщение", BS_PUSHBUTTON | WS_TABSTOP, kBoxButton, 10, 230, 120, 28);
  Child(window, L"Button", L"Закрыть", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 140, 230, 120, 28);
  ShowWindow(window, SW_SHOW);
  SetFocus(GetDlgItem(window, kEdit));
  MSG msg;
  while (IsWindow(window) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

TEST(Win32Driving, ReadsDrivesAndCapturesAWindow) {
  TSample sample;
  std::vector<std::string> items, tree, allTree, combo;
  std::string edit, box, chosen;
  bool inked = false, blankIsBlank = false;
  AsUser(
      [&] {
        HWND window = WaitForWindow("Проба окна");
        ASSERT_NE(window, nullptr);
        edit = Text(Control(window, kEdit));
        SetText(Control(window, kEdit), "новый текст");
        EXPECT_EQ(Text(Control(window, kEdit)), "новый текст");
        combo = ComboItems(Control(window, kCombo));
        ChooseComboItem(Control(window, kCombo), 1);
        EXPECT_TRUE(WaitUntil([&] { return ComboText(Control(window, kCombo)) == "второй"; }, 5));
        DropDown(Control(window, kCombo));
        items = ListItems(Control(window, kList), 0);
        EXPECT_EQ(ListItems(Control(window, kList), 1),
                  (std::vector<std::string>{"адрес 1", "адрес 2"}));
        tree = TreeLines(Control(window, kTree), false);
        allTree = TreeLines(Control(window, kTree), true);
        const TPicture shot = Screenshot(window, "driving-sample");
        inked = HasInk(shot, PlaceIn(window, Control(window, kLabel)));
        RECT blank = PlaceIn(window, Control(window, kLabel));
        blank.left = blank.right - 20;  // past the label's words
        blankIsBlank = !HasInk(shot, blank);
        DoubleClickItem(Control(window, kList), 1);
        Click(Control(window, kBoxButton));
        HWND message = WaitForWindow("Ошибка");
        box = MessageText(message);
        Screenshot(message, "driving-message-box");
        Click(Control(message, IDOK));
        EXPECT_TRUE(WaitForClosed(message));
        PressKey(window, VK_ESCAPE);
        EXPECT_TRUE(WaitForClosed(window));
      },
      [&] { ShowSample(sample); });
  EXPECT_EQ(edit, "начало");
  EXPECT_EQ(combo, (std::vector<std::string>{"первый", "второй"}));
  EXPECT_EQ(items, (std::vector<std::string>{"камера 1", "камера 2"}));
  EXPECT_EQ(tree, (std::vector<std::string>{"Корень", "  Ветка"}));
  EXPECT_EQ(allTree, (std::vector<std::string>{"Корень", "  Ветка", "    Лист"}));
  EXPECT_EQ(box, "Сообщение для проверки");
  EXPECT_TRUE(inked) << "the label's words are not on the screen";
  EXPECT_TRUE(blankIsBlank);
  EXPECT_EQ(sample.Heard, (std::vector<std::string>{"choice 1", "dropdown", "double click 1", "box",
                                                    "box closed", "cancel"}));
}

// The screenshots' PNG files as the system's own decoder reads them: a
// picture of several stored deflate blocks, every pixel back as written.
TEST(Win32Driving, ScreenshotFilesDecodeToTheirPixels) {
  TPicture picture;
  picture.Width = 301;  // rows of 904 bytes: blocks end inside rows
  picture.Height = 250;
  for (int y = 0; y < picture.Height; ++y) {
    for (int x = 0; x < picture.Width; ++x) {
      picture.Rgb.push_back(static_cast<uint8_t>(x));
      picture.Rgb.push_back(static_cast<uint8_t>(y * 2));
      picture.Rgb.push_back(static_cast<uint8_t>(x ^ y));
    }
  }
  const std::string png = PngBytes(picture);
  ASSERT_GT(png.size(), 2u * 65535);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  IWICImagingFactory* factory = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(&factory)),
            S_OK);
  IWICStream* stream = nullptr;
  ASSERT_EQ(factory->CreateStream(&stream), S_OK);
  ASSERT_EQ(stream->InitializeFromMemory(
                reinterpret_cast<BYTE*>(const_cast<char*>(png.data())), static_cast<DWORD>(png.size())),
            S_OK);
  IWICBitmapDecoder* decoder = nullptr;
  ASSERT_EQ(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                             &decoder),
            S_OK);
  IWICBitmapFrameDecode* frame = nullptr;
  ASSERT_EQ(decoder->GetFrame(0, &frame), S_OK);
  UINT width = 0, height = 0;
  frame->GetSize(&width, &height);
  EXPECT_EQ(width, 301u);
  EXPECT_EQ(height, 250u);
  IWICFormatConverter* converter = nullptr;
  ASSERT_EQ(factory->CreateFormatConverter(&converter), S_OK);
  ASSERT_EQ(converter->Initialize(frame, GUID_WICPixelFormat24bppRGB, WICBitmapDitherTypeNone,
                                  nullptr, 0, WICBitmapPaletteTypeCustom),
            S_OK);
  std::vector<uint8_t> back(picture.Rgb.size());
  ASSERT_EQ(converter->CopyPixels(nullptr, 301 * 3, static_cast<UINT>(back.size()), back.data()),
            S_OK);
  EXPECT_TRUE(back == picture.Rgb);
  converter->Release();
  frame->Release();
  decoder->Release();
  stream->Release();
  factory->Release();
  CoUninitialize();
}

}  // namespace
}  // namespace zorvane
