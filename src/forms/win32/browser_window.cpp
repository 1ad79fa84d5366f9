#include "forms/win32/browser_window.h"

#include <exdisp.h>
#include <ole2.h>

#include "log/log_writer.h"
#include "platform/shell.h"
#include "platform/windows/windows_text.h"

namespace zorvane::win32 {

namespace {

// A COM reference, given back when it goes.
template <typename T>
class TRef {
 public:
  TRef() = default;
  ~TRef() { Reset(); }
  TRef(const TRef&) = delete;
  TRef& operator=(const TRef&) = delete;
  T* operator->() const { return FPtr; }
  T* Get() const { return FPtr; }
  T** Put() {
    Reset();
    return &FPtr;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  void Reset() {
    if (FPtr) FPtr->Release();
    FPtr = nullptr;
  }

 private:
  T* FPtr = nullptr;
};

std::string HresultText(const char* step, HRESULT result) {
  return std::string(step) + ": " + WindowsErrorText(static_cast<unsigned long>(result));
}

// The browser control's site: the least an in-place container answers. It
// lives on the window's stack frame, so the counts only keep COM content.
class TBrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit TBrowserSite(HWND window) : FWindow(window) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(id, IID_IOleWindow) || IsEqualIID(id, IID_IOleInPlaceSite)) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(id, IID_IOleInPlaceUIWindow) || IsEqualIID(id, IID_IOleInPlaceFrame)) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = FWindow;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !doc || !position || !clip || !info) return E_POINTER;
    *frame = this;
    *doc = nullptr;
    GetClientRect(FWindow, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = FWindow;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }

  // IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  HWND FWindow;
};

// OLE for the thread while the window lives; the control needs a
// single-threaded apartment.
class TOle {
 public:
  TOle() : FResult(OleInitialize(nullptr)) {}
  ~TOle() {
    if (SUCCEEDED(FResult)) OleUninitialize();
  }
  TOle(const TOle&) = delete;
  TOle& operator=(const TOle&) = delete;
  HRESULT Result() const { return FResult; }

 private:
  HRESULT FResult;
};

class TDocView : public TWindow {
 public:
  TDocView(const TWin32Call& call, const TIcon& icon, const TIcon& smallIcon)
      : TWindow(call, call.Caption(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 633, 425,
                CallerWindow(), false),
        FSite(Handle()) {
    SetIcon(icon, smallIcon);
  }
  ~TDocView() override {
    if (FObject.Get()) {
      FObject->Close(OLECLOSE_NOSAVE);
      FObject->SetClientSite(nullptr);
    }
    FPlace.Reset();
    FBrowser.Reset();
    FObject.Reset();
    Destroy();
  }

  // The control in the window, on its way to the page; empty when it is,
  // else why not.
  std::string Embed(const std::wstring& page) {
    if (FAILED(FOle.Result())) return HresultText("OleInitialize", FOle.Result());
    // The page's engine first: without it (Wine without mshtml) the control
    // still embeds, but every page fails after Navigate2 and the window stays blank.
    {
      static const CLSID kHtmlDocument = {
          0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};
      TRef<IUnknown> engine;
      const HRESULT e = CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IUnknown, engine.PutVoid());
      if (FAILED(e)) return HresultText("HTMLDocument", e);
    }
    HRESULT r = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                 FObject.PutVoid());
    if (FAILED(r)) return HresultText("WebBrowser", r);
    r = FObject->SetClientSite(&FSite);
    if (FAILED(r)) return HresultText("SetClientSite", r);
    OleSetContainedObject(FObject.Get(), TRUE);
    RECT area;
    GetClientRect(Handle(), &area);
    r = FObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &FSite, -1, Handle(), &area);
    if (FAILED(r)) return HresultText("DoVerb", r);
    r = FObject->QueryInterface(IID_IWebBrowser2, FBrowser.PutVoid());
    if (FAILED(r)) return HresultText("IWebBrowser2", r);
    FObject->QueryInterface(IID_IOleInPlaceObject, FPlace.PutVoid());
    VARIANT url;
    VariantInit(&url);
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocString(page.c_str());
    VARIANT none;
    VariantInit(&none);
    r = FBrowser->Navigate2(&url, &none, &none, &none, &none);
    VariantClear(&url);
    if (FAILED(r)) return HresultText("Navigate2", r);
    return {};
  }

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SIZE && FPlace.Get()) {
      RECT area{0, 0, LOWORD(lParam), HIWORD(lParam)};
      FPlace->SetObjectRects(&area, &area);
      return 0;
    }
    return TWindow::OnMessage(message, wParam, lParam);
  }

  TOle FOle;
  TBrowserSite FSite;
  TRef<IOleObject> FObject;
  TRef<IWebBrowser2> FBrowser;
  TRef<IOleInPlaceObject> FPlace;
};

}  // namespace

bool ShowInBrowserWindow(const TWin32Call& call, const std::string& htmlPath) {
  std::string path = htmlPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  std::string why;
  {
    const TIcon icon(CameraPicture(32));
    const TIcon smallIcon(CameraPicture(16));
    TDocView view(call, icon, smallIcon);
    why = view.Embed(Wide(path));
    if (why.empty()) {
      view.RunModal();
      return true;
    }
  }
  TryWriteLog("no browser view for «" + call.Caption() + "» (" + why +
                  "); the page is opened in the user's browser: " + path,
              TLogLevel::llInfo);
  OpenWithDesktop(path);
  return false;
}

}  // namespace zorvane::win32
