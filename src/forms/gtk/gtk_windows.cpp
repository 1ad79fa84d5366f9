// The windows drawn with GTK 3: camera search, camera details, log viewer.
// Each view only shows its form's state and passes clicks on; what the
// window holds and does is the form's (forms/*_form.h).
#include <algorithm>
#include <memory>
#include <string>

#include "common/error.h"
#include "common/never_destroyed.h"
#include "forms/device_form.h"
#include "forms/forms.h"
#include "forms/gtk/gtk_api.h"
#include "forms/gtk/webkit_api.h"
#include "forms/log_form.h"
#include "forms/messages.h"
#include "forms/pictures.h"
#include "forms/probe_form.h"
#include "forms/shown_text.h"
#include "log/log_writer.h"
#include "platform/shell.h"
#include "xml/xml_document.h"

namespace zorvane {

namespace {

constexpr guint kSearchPollMs = 100;
constexpr guint kLogCheckMs = 1000;

TWindowShownHook& ShownHook() {
  static NeverDestroyed<TWindowShownHook> hook;
  return hook.get();
}

template <typename T>
T* As(gpointer p) {
  return static_cast<T*>(p);
}

// Work done inside a GTK callback: nothing may leave it for GTK's C frames.
template <typename Work>
void Guarded(Work work) noexcept {
  try {
    work();
  } catch (const std::exception& e) {
    TryWriteLog(std::string("window: ") + e.what(), TLogLevel::llError);
  } catch (...) {
    TryWriteLog("window: unknown error", TLogLevel::llError);
  }
}

// A picture for GTK; the caller owns the reference.
GdkPixbuf* NewPixbuf(const TPicture& picture) {
  const TGtk& G = BoundGtk();
  GBytes* bytes = G.g_bytes_new(picture.Rgba.data(), picture.Rgba.size());
  GdkPixbuf* pixbuf = G.gdk_pixbuf_new_from_bytes(bytes, GDK_COLORSPACE_RGB, TRUE, 8,
                                                  picture.Width, picture.Height, picture.Width * 4);
  G.g_bytes_unref(bytes);
  return pixbuf;
}

struct TPixbuf {
  explicit TPixbuf(const TPicture& picture) : P(NewPixbuf(picture)) {}
  ~TPixbuf() {
    if (P) BoundGtk().g_object_unref(P);
  }
  TPixbuf(const TPixbuf&) = delete;
  TPixbuf& operator=(const TPixbuf&) = delete;
  GdkPixbuf* P;
};

// A window's own main loop: Run returns once Quit is called (by a button,
// the close box or Escape); the window is destroyed with the owner.
class TModal {
 public:
  TModal(GtkWidget* window, std::string title) : FWindow(window), FTitle(std::move(title)) {}
  ~TModal() {
    const TGtk& G = BoundGtk();
    G.gtk_widget_destroy(FWindow);
    // Gone from the screen now, even where the caller runs no GTK loop.
    if (GdkDisplay* display = G.gdk_display_get_default()) G.gdk_display_flush(display);
  }
  TModal(const TModal&) = delete;
  TModal& operator=(const TModal&) = delete;

  GtkWidget* Window() const { return FWindow; }

  void Run() {
    const TGtk& G = BoundGtk();
    FLoop = G.g_main_loop_new(nullptr, FALSE);
    G.gtk_window_set_modal(As<GtkWindow>(FWindow), TRUE);
    Connect(FWindow, "delete-event", &TModal::OnDelete, this);
    G.gtk_widget_show_all(FWindow);
    if (ShownHook()) FShownSource = G.g_idle_add(&TModal::OnShown, this);
    if (!FQuit) G.g_main_loop_run(FLoop);
    G.g_main_loop_unref(FLoop);
    FLoop = nullptr;
    if (FShownSource) G.g_source_remove(FShownSource);
    FShownSource = 0;
    G.gtk_widget_hide(FWindow);
  }
  void Quit() {
    FQuit = true;
    if (FLoop) BoundGtk().g_main_loop_quit(FLoop);
  }
  // What the close box does; quitting by default.
  std::function<void()> OnClose;

 private:
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    Guarded([&] {
      TModal& m = *As<TModal>(self);
      if (m.OnClose) {
        m.OnClose();
      } else {
        m.Quit();
      }
    });
    return TRUE;  // the window is destroyed by its owner, not here
  }
  static gboolean OnShown(gpointer self) {
    Guarded([&] {
      TModal& m = *As<TModal>(self);
      m.FShownSource = 0;
      if (const TWindowShownHook hook = ShownHook()) hook(m.FWindow, m.FTitle);
    });
    return G_SOURCE_REMOVE;
  }

  GtkWidget* FWindow;
  std::string FTitle;
  GMainLoop* FLoop = nullptr;
  bool FQuit = false;
  guint FShownSource = 0;
};

GtkWidget* NewWindow(const char* title, int width, int height, GtkWindow* owner) {
  const TGtk& G = BoundGtk();
  GtkWidget* w = G.gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = As<GtkWindow>(w);
  G.gtk_window_set_title(window, title);
  G.gtk_window_set_default_size(window, width, height);
  if (owner) {
    G.gtk_window_set_transient_for(window, owner);
    G.gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    G.gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  }
  return w;
}

GtkWidget* Named(GtkWidget* widget, const char* name) {
  BoundGtk().gtk_widget_set_name(widget, name);
  return widget;
}

GtkWidget* Label(const char* text, const char* name) {
  const TGtk& G = BoundGtk();
  GtkWidget* label = Named(G.gtk_label_new(text), name);
  G.gtk_label_set_xalign(As<GtkLabel>(label), 0.0f);
  return label;
}

GtkWidget* Button(const char* text, const char* name, int width) {
  const TGtk& G = BoundGtk();
  GtkWidget* button = Named(G.gtk_button_new_with_label(text), name);
  G.gtk_widget_set_size_request(button, width, -1);
  return button;
}

void SetMargins(GtkWidget* w, int start, int end, int top, int bottom) {
  const TGtk& G = BoundGtk();
  G.gtk_widget_set_margin_start(w, start);
  G.gtk_widget_set_margin_end(w, end);
  G.gtk_widget_set_margin_top(w, top);
  G.gtk_widget_set_margin_bottom(w, bottom);
}

// A message box with the error icon and an OK button, modal to owner.
void MessageBox(GtkWindow* owner, const std::string& text, const char* title) {
  const TGtk& G = BoundGtk();
  GtkWidget* dialog = G.gtk_message_dialog_new(
      owner, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_MESSAGE_ERROR,
      GTK_BUTTONS_OK, "%s", ShownText(text).c_str());
  G.gtk_window_set_title(As<GtkWindow>(dialog), title);
  const TPixbuf picture(ErrorPicture(32));
  GtkWidget* image = G.gtk_image_new_from_pixbuf(picture.P);
  G.gtk_widget_set_valign(image, GTK_ALIGN_START);
  G.gtk_message_dialog_set_image(As<GtkMessageDialog>(dialog), image);
  G.gtk_window_set_position(As<GtkWindow>(dialog),
                            owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  TModal modal(dialog, title);
  Connect(dialog, "response", +[](GtkDialog*, gint, gpointer m) { As<TModal>(m)->Quit(); },
          &modal);
  modal.Run();
}

// ---- camera details ------------------------------------------------------------------

void AddTree(GtkTreeStore* store, GtkTreeIter* parent, const TTreeItem& item) {
  const TGtk& G = BoundGtk();
  GtkTreeIter it;
  G.gtk_tree_store_append(store, &it, parent);
  G.gtk_tree_store_set(store, &it, 0, ShownText(item.Text).c_str(), -1);
  for (const TTreeItem& child : item.Children) AddTree(store, &it, child);
}

void ShowDeviceDetails(GtkWindow* owner, const TOnvifDeviceForm& form) {
  const TGtk& G = BoundGtk();
  TModal modal(NewWindow(msg::kDeviceTitle, 568, 378, owner), msg::kDeviceTitle);
  GtkWindow* window = As<GtkWindow>(modal.Window());
  G.gtk_window_set_resizable(window, FALSE);
  G.gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  const TPixbuf camera(CameraPicture(64));

  GtkWidget* grid = G.gtk_grid_new();
  G.gtk_grid_set_row_spacing(As<GtkGrid>(grid), 6);
  G.gtk_grid_set_column_spacing(As<GtkGrid>(grid), 12);
  SetMargins(grid, 8, 10, 8, 8);
  GtkWidget* picture = Named(G.gtk_image_new_from_pixbuf(camera.P), "imgUser");
  G.gtk_widget_set_valign(picture, GTK_ALIGN_START);
  G.gtk_widget_set_size_request(picture, 65, 65);
  G.gtk_grid_attach(As<GtkGrid>(grid), picture, 0, 0, 1, 5);
  struct TField {
    const char* Caption;
    const char* LabelName;
    const char* BoxName;
    const std::string& Value;
  };
  const TField fields[] = {
      {msg::kNameLabel, "lblName", "edtName", form.edtName},
      {msg::kHostLabel, "lblHost", "edtHost", form.edtHost},
      {msg::kPortLabel, "lblPort", "edtPort", form.edtPort},
      {msg::kSnapshotUriLabel, "lblSnapshotURI", "edtSnapshotURI", form.edtSnapshotURI},
  };
  int row = 0;
  for (const TField& f : fields) {
    G.gtk_grid_attach(As<GtkGrid>(grid), Label(f.Caption, f.LabelName), 1, row, 1, 1);
    GtkWidget* box = Named(G.gtk_entry_new(), f.BoxName);
    G.gtk_entry_set_text(As<GtkEntry>(box), ShownText(f.Value).c_str());
    G.gtk_editable_set_editable(As<GtkEditable>(box), FALSE);
    G.gtk_widget_set_hexpand(box, TRUE);
    G.gtk_widget_set_size_request(box, 344, -1);
    G.gtk_grid_attach(As<GtkGrid>(grid), box, 2, row++, 1, 1);
  }
  GtkWidget* profilesLabel = Label(msg::kProfilesLabel, "lblProfiles");
  G.gtk_widget_set_valign(profilesLabel, GTK_ALIGN_START);
  G.gtk_widget_set_margin_top(profilesLabel, 12);
  G.gtk_grid_attach(As<GtkGrid>(grid), profilesLabel, 1, row, 1, 1);

  GtkTreeStore* store = G.gtk_tree_store_new(1, G_TYPE_STRING);
  AddTree(store, nullptr, form.tvProfiles);
  GtkWidget* tree = Named(G.gtk_tree_view_new_with_model(As<GtkTreeModel>(store)), "tvProfiles");
  G.g_object_unref(store);
  G.gtk_tree_view_set_headers_visible(As<GtkTreeView>(tree), FALSE);
  G.gtk_tree_view_insert_column_with_attributes(As<GtkTreeView>(tree), -1, "",
                                                G.gtk_cell_renderer_text_new(), "text", 0,
                                                nullptr);
  GtkTreePath* root = G.gtk_tree_path_new_first();
  G.gtk_tree_view_expand_row(As<GtkTreeView>(tree), root, FALSE);
  G.gtk_tree_path_free(root);
  GtkWidget* scroll = G.gtk_scrolled_window_new(nullptr, nullptr);
  G.gtk_scrolled_window_set_shadow_type(As<GtkScrolledWindow>(scroll), GTK_SHADOW_IN);
  G.gtk_scrolled_window_set_policy(As<GtkScrolledWindow>(scroll), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
  G.gtk_widget_set_size_request(scroll, 344, 175);
  G.gtk_widget_set_vexpand(scroll, TRUE);
  G.gtk_widget_set_margin_top(scroll, 12);
  G.gtk_container_add(As<GtkContainer>(scroll), tree);
  G.gtk_grid_attach(As<GtkGrid>(grid), scroll, 2, row, 1, 1);

  GtkWidget* buttons = G.gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  SetMargins(buttons, 8, 8, 8, 8);
  GtkWidget* cancel = Button(msg::kCancelButton, "btnCancel", 75);
  GtkWidget* ok = Button(msg::kOkButton, "btnOK", 75);
  G.gtk_box_pack_end(As<GtkBox>(buttons), cancel, FALSE, FALSE, 0);
  G.gtk_box_pack_end(As<GtkBox>(buttons), ok, FALSE, FALSE, 0);
  const auto close = +[](GtkButton*, gpointer m) { As<TModal>(m)->Quit(); };
  Connect(ok, "clicked", close, &modal);
  Connect(cancel, "clicked", close, &modal);

  GtkWidget* page = G.gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  G.gtk_box_pack_start(As<GtkBox>(page), grid, TRUE, TRUE, 0);
  G.gtk_box_pack_start(As<GtkBox>(page), Named(G.gtk_separator_new(GTK_ORIENTATION_HORIZONTAL),
                                               "bvl1"),
                       FALSE, FALSE, 0);
  G.gtk_box_pack_start(As<GtkBox>(page), buttons, FALSE, FALSE, 0);
  G.gtk_container_add(As<GtkContainer>(window), page);
  modal.Run();
}

// ---- camera search -------------------------------------------------------------------

enum { kColPicture, kColCaption, kColTooltip, kColumns };

class TProbeView {
 public:
  TProbeView()
      : FModal(NewWindow(msg::kDevicesTitle, 608, 416, nullptr), msg::kDevicesTitle),
        FCamera(CameraPicture(48)),
        FFailedCamera(CameraPicture(48, true)),
        FIcon(CameraPicture(32)) {
    const TGtk& G = BoundGtk();
    GtkWindow* window = As<GtkWindow>(FModal.Window());
    G.gtk_window_set_icon(window, FIcon.P);
    FModal.OnClose = [this] { Close(); };

    // The top panel: credentials on the left, the interface kept at the right.
    GtkWidget* top = Named(G.gtk_grid_new(), "pnlTop");
    G.gtk_grid_set_column_spacing(As<GtkGrid>(top), 26);
    G.gtk_grid_set_row_spacing(As<GtkGrid>(top), 4);
    SetMargins(top, 13, 12, 8, 8);
    FUser = Named(G.gtk_entry_new(), "edtUser");
    FPassword = Named(G.gtk_entry_new(), "edtPassword");
    G.gtk_entry_set_text(As<GtkEntry>(FUser), F.edtUser.c_str());
    G.gtk_entry_set_text(As<GtkEntry>(FPassword), F.edtPassword.c_str());
    G.gtk_widget_set_size_request(FUser, 124, -1);
    G.gtk_widget_set_size_request(FPassword, 124, -1);
    G.gtk_entry_set_width_chars(As<GtkEntry>(FUser), 12);
    G.gtk_entry_set_width_chars(As<GtkEntry>(FPassword), 12);
    FLocalIPs = Named(G.gtk_combo_box_text_new(), "cbbLocalIPs");
    for (const std::string& ip : F.cbbLocalIPs)
      G.gtk_combo_box_text_append_text(As<GtkComboBoxText>(FLocalIPs), ip.c_str());
    G.gtk_combo_box_set_active(As<GtkComboBox>(FLocalIPs), F.ItemIndex);
    G.gtk_widget_set_size_request(FLocalIPs, 163, -1);
    GtkWidget* localBox = G.gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    G.gtk_widget_set_hexpand(localBox, TRUE);
    G.gtk_widget_set_halign(localBox, GTK_ALIGN_END);
    G.gtk_box_pack_start(As<GtkBox>(localBox), Label(msg::kLocalInterfaceLabel, "lblLocalIP"),
                         FALSE, FALSE, 0);
    G.gtk_box_pack_start(As<GtkBox>(localBox), FLocalIPs, FALSE, FALSE, 0);
    G.gtk_grid_attach(As<GtkGrid>(top), Label(msg::kLoginLabel, "lblLogin"), 0, 0, 1, 1);
    G.gtk_grid_attach(As<GtkGrid>(top), FUser, 0, 1, 1, 1);
    G.gtk_grid_attach(As<GtkGrid>(top), Label(msg::kPasswordLabel, "lblPassword"), 1, 0, 1, 1);
    G.gtk_grid_attach(As<GtkGrid>(top), FPassword, 1, 1, 1, 1);
    G.gtk_grid_attach(As<GtkGrid>(top), localBox, 2, 0, 1, 2);

    // The list: large icons, whole items selected, captions not editable.
    FStore = G.gtk_list_store_new(kColumns, G.gdk_pixbuf_get_type(), G_TYPE_STRING, G_TYPE_STRING);
    FDevices = Named(G.gtk_icon_view_new_with_model(As<GtkTreeModel>(FStore)), "lvDevices");
    GtkIconView* icons = As<GtkIconView>(FDevices);
    G.gtk_icon_view_set_pixbuf_column(icons, kColPicture);
    G.gtk_icon_view_set_text_column(icons, kColCaption);
    G.gtk_icon_view_set_tooltip_column(icons, kColTooltip);
    G.gtk_icon_view_set_selection_mode(icons, GTK_SELECTION_SINGLE);
    G.gtk_icon_view_set_item_width(icons, 110);
    Connect(FDevices, "item-activated", &TProbeView::OnActivated, this);
    GtkWidget* scroll = G.gtk_scrolled_window_new(nullptr, nullptr);
    G.gtk_scrolled_window_set_shadow_type(As<GtkScrolledWindow>(scroll), GTK_SHADOW_IN);
    G.gtk_scrolled_window_set_policy(As<GtkScrolledWindow>(scroll), GTK_POLICY_NEVER,
                                     GTK_POLICY_AUTOMATIC);
    G.gtk_widget_set_vexpand(scroll, TRUE);
    G.gtk_container_add(As<GtkContainer>(scroll), FDevices);

    // The bottom panel: progress on the left, the buttons kept at the right.
    GtkWidget* bottom = G.gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    SetMargins(bottom, 13, 12, 14, 14);
    FSpinner = Named(G.gtk_spinner_new(), "spnSearch");
    FProgress = Label("", "lblProgress");
    FSearch = Button(msg::kSearchButton, "Button2", 75);
    FClose = Button(msg::kCloseButton, "Button1", 75);
    G.gtk_box_pack_start(As<GtkBox>(bottom), FSpinner, FALSE, FALSE, 0);
    G.gtk_box_pack_start(As<GtkBox>(bottom), FProgress, TRUE, TRUE, 0);
    G.gtk_box_pack_end(As<GtkBox>(bottom), FClose, FALSE, FALSE, 0);
    G.gtk_box_pack_end(As<GtkBox>(bottom), FSearch, FALSE, FALSE, 0);
    Connect(FSearch, "clicked", &TProbeView::OnSearch, this);
    Connect(FClose, "clicked", &TProbeView::OnClose, this);
    Connect(FModal.Window(), "key-press-event", &TProbeView::OnKey, this);

    GtkWidget* page = G.gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    G.gtk_box_pack_start(As<GtkBox>(page), top, FALSE, FALSE, 0);
    G.gtk_box_pack_start(As<GtkBox>(page), scroll, TRUE, TRUE, 0);
    G.gtk_box_pack_start(As<GtkBox>(page), bottom, FALSE, FALSE, 0);
    G.gtk_container_add(As<GtkContainer>(window), page);
    FTimer = G.g_timeout_add(kSearchPollMs, &TProbeView::OnTimer, this);
  }

  ~TProbeView() {
    const TGtk& G = BoundGtk();
    G.g_source_remove(FTimer);
    F.Cancel();
    G.g_object_unref(FStore);
  }
  TProbeView(const TProbeView&) = delete;
  TProbeView& operator=(const TProbeView&) = delete;

  void Show() {
    if (!F.CreateError.empty()) MessageBox(nullptr, F.CreateError, msg::kErrorTitle);
    FModal.Run();
  }

 private:
  void Close() {
    BoundGtk().gtk_widget_hide(FModal.Window());
    F.Cancel();  // the search stops within moments
    FModal.Quit();
  }

  void AddItem(const TFoundCamera& item) {
    const TGtk& G = BoundGtk();
    GtkTreeIter it;
    G.gtk_list_store_append(FStore, &it);
    const std::string tooltip =
        item.Details ? item.Details->edtHost + ":" + item.Details->edtPort
                     : item.Error;
    G.gtk_list_store_set(FStore, &it, kColPicture, item.Details ? FCamera.P : FFailedCamera.P,
                         kColCaption, ShownText(item.Caption).c_str(), kColTooltip,
                         TXmlDocument::Escape(ShownText(tooltip)).c_str(), -1);
  }

  void Refresh() {
    const TGtk& G = BoundGtk();
    if (!F.Update()) return;
    const std::vector<TFoundCamera>& items = F.Items();
    if (F.Searching()) {
      for (; FShown < items.size(); ++FShown) AddItem(items[FShown]);
    } else {
      // The final order.
      G.gtk_list_store_clear(FStore);
      for (const TFoundCamera& item : items) AddItem(item);
      FShown = items.size();
    }
    G.gtk_label_set_text(As<GtkLabel>(FProgress), ShownText(F.Progress()).c_str());
    if (!F.Searching()) {
      G.gtk_spinner_stop(As<GtkSpinner>(FSpinner));
      G.gtk_widget_set_sensitive(FSearch, TRUE);
      const std::string message = F.TakeMessage();
      if (!message.empty()) MessageBox(As<GtkWindow>(FModal.Window()), message, msg::kErrorTitle);
    }
  }

  static void OnSearch(GtkButton*, gpointer self) {
    Guarded([&] {
      TProbeView& v = *As<TProbeView>(self);
      const TGtk& G = BoundGtk();
      if (v.F.Searching()) return;
      G.gtk_list_store_clear(v.FStore);
      v.FShown = 0;
      gchar* ip = G.gtk_combo_box_text_get_active_text(As<GtkComboBoxText>(v.FLocalIPs));
      const std::string localIP = ip ? ip : "";
      G.g_free(ip);
      v.F.Button2Click(G.gtk_entry_get_text(As<GtkEntry>(v.FUser)),
                       G.gtk_entry_get_text(As<GtkEntry>(v.FPassword)), localIP);
      G.gtk_widget_set_sensitive(v.FSearch, FALSE);
      G.gtk_spinner_start(As<GtkSpinner>(v.FSpinner));
      G.gtk_label_set_text(As<GtkLabel>(v.FProgress), v.F.Progress().c_str());
    });
  }

  static void OnClose(GtkButton*, gpointer self) {
    Guarded([&] { As<TProbeView>(self)->Close(); });
  }

  static gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer self) {
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    Guarded([&] { As<TProbeView>(self)->Close(); });
    return TRUE;
  }

  static gboolean OnTimer(gpointer self) {
    Guarded([&] { As<TProbeView>(self)->Refresh(); });
    return G_SOURCE_CONTINUE;
  }

  static void OnActivated(GtkIconView*, GtkTreePath* path, gpointer self) {
    Guarded([&] {
      TProbeView& v = *As<TProbeView>(self);
      const gint* indices = BoundGtk().gtk_tree_path_get_indices(path);
      if (!indices || indices[0] < 0 || static_cast<size_t>(indices[0]) >= v.F.Items().size())
        return;
      // A copy: the search may go on while the details are shown.
      const TFoundCamera item = v.F.Items()[static_cast<size_t>(indices[0])];
      GtkWindow* window = As<GtkWindow>(v.FModal.Window());
      if (item.Details) {
        ShowDeviceDetails(window, *item.Details);
      } else {
        MessageBox(window, msg::CameraFailed(item.Caption, item.Error), msg::kErrorTitle);
      }
    });
  }

  TOnvifProbeForm F;
  TModal FModal;
  TPixbuf FCamera, FFailedCamera, FIcon;
  GtkWidget* FUser = nullptr;
  GtkWidget* FPassword = nullptr;
  GtkWidget* FLocalIPs = nullptr;
  GtkWidget* FDevices = nullptr;
  GtkWidget* FSpinner = nullptr;
  GtkWidget* FProgress = nullptr;
  GtkWidget* FSearch = nullptr;
  GtkWidget* FClose = nullptr;
  GtkListStore* FStore = nullptr;
  size_t FShown = 0;
  guint FTimer = 0;
};

// ---- log viewer ----------------------------------------------------------------------

class TLogView {
 public:
  TLogView()
      : FModal(NewWindow(msg::kLogViewerTitle, 633, 293, nullptr), msg::kLogViewerTitle),
        FFolder(FolderPicture()),
        FIcon(CameraPicture(32)) {
    const TGtk& G = BoundGtk();
    GtkWindow* window = As<GtkWindow>(FModal.Window());
    G.gtk_window_set_icon(window, FIcon.P);

    GtkWidget* bar = Named(G.gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2), "ctrlbrControl");
    SetMargins(bar, 2, 2, 2, 2);
    FFiles = Named(G.gtk_combo_box_text_new(), "cbbLogFiles");
    G.gtk_widget_set_size_request(FFiles, 257, 24);
    FillFiles();
    GtkWidget* open = Named(G.gtk_button_new(), "btnOpenDir");
    G.gtk_button_set_image(As<GtkButton>(open), G.gtk_image_new_from_pixbuf(FFolder.P));
    G.gtk_widget_set_size_request(open, 23, 24);
    G.gtk_widget_set_tooltip_text(open, msg::kOpenLogFolderTip);
    G.gtk_box_pack_start(As<GtkBox>(bar), FFiles, FALSE, FALSE, 0);
    G.gtk_box_pack_start(As<GtkBox>(bar), open, FALSE, FALSE, 0);
    Connect(FFiles, "changed", &TLogView::OnChanged, this);
    Connect(FFiles, "notify::popup-shown", &TLogView::OnPopup, this);
    Connect(open, "clicked", &TLogView::OnOpenDir, this);

    FText = Named(G.gtk_text_view_new(), "mmoLog");
    G.gtk_text_view_set_editable(As<GtkTextView>(FText), FALSE);
    G.gtk_text_view_set_cursor_visible(As<GtkTextView>(FText), TRUE);
    G.gtk_text_view_set_monospace(As<GtkTextView>(FText), TRUE);
    G.gtk_text_view_set_wrap_mode(As<GtkTextView>(FText), GTK_WRAP_NONE);
    GtkWidget* scroll = G.gtk_scrolled_window_new(nullptr, nullptr);
    G.gtk_scrolled_window_set_policy(As<GtkScrolledWindow>(scroll), GTK_POLICY_ALWAYS,
                                     GTK_POLICY_ALWAYS);
    G.gtk_scrolled_window_set_shadow_type(As<GtkScrolledWindow>(scroll), GTK_SHADOW_IN);
    G.gtk_widget_set_vexpand(scroll, TRUE);
    G.gtk_container_add(As<GtkContainer>(scroll), FText);
    FStatus = Label("", "lblStatus");
    SetMargins(FStatus, 4, 4, 2, 2);

    GtkWidget* page = G.gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    G.gtk_box_pack_start(As<GtkBox>(page), bar, FALSE, FALSE, 0);
    G.gtk_box_pack_start(As<GtkBox>(page), scroll, TRUE, TRUE, 0);
    G.gtk_box_pack_start(As<GtkBox>(page), FStatus, FALSE, FALSE, 0);
    G.gtk_container_add(As<GtkContainer>(window), page);
    ShowText(false);
    FTimer = G.g_timeout_add(kLogCheckMs, &TLogView::OnTimer, this);
  }
  ~TLogView() { BoundGtk().g_source_remove(FTimer); }
  TLogView(const TLogView&) = delete;
  TLogView& operator=(const TLogView&) = delete;

  void Show() { FModal.Run(); }

 private:
  void FillFiles() {
    const TGtk& G = BoundGtk();
    FUpdating = true;
    G.gtk_combo_box_text_remove_all(As<GtkComboBoxText>(FFiles));
    for (const std::string& name : F.cbbLogFiles)
      G.gtk_combo_box_text_append_text(As<GtkComboBoxText>(FFiles), ShownText(name).c_str());
    G.gtk_combo_box_set_active(As<GtkComboBox>(FFiles), F.ItemIndex);
    FUpdating = false;
  }

  // The form's text into the box; with keepCaret the caret stays at its
  // character position and in sight, and the box takes the focus.
  void ShowText(bool keepCaret) {
    const TGtk& G = BoundGtk();
    GtkTextBuffer* buffer = G.gtk_text_view_get_buffer(As<GtkTextView>(FText));
    GtkTextIter at;
    G.gtk_text_buffer_get_iter_at_mark(buffer, &at, G.gtk_text_buffer_get_insert(buffer));
    const gint offset = G.gtk_text_iter_get_offset(&at);
    G.gtk_text_buffer_set_text(buffer, F.mmoLog.data(), static_cast<gint>(F.mmoLog.size()));
    if (keepCaret) {
      G.gtk_text_buffer_get_iter_at_offset(buffer, &at, offset);
      G.gtk_text_buffer_place_cursor(buffer, &at);
      G.gtk_text_view_scroll_to_mark(As<GtkTextView>(FText), G.gtk_text_buffer_get_insert(buffer),
                                     0.0, FALSE, 0.0, 0.0);
      G.gtk_widget_grab_focus(FText);
    }
    G.gtk_label_set_text(As<GtkLabel>(FStatus), ShownText(F.Status).c_str());
  }

  static void OnChanged(GtkComboBox* box, gpointer self) {
    Guarded([&] {
      TLogView& v = *As<TLogView>(self);
      if (v.FUpdating) return;
      const gint index = BoundGtk().gtk_combo_box_get_active(box);
      if (index < 0) return;
      v.F.cbbLogFilesChange(index);
      v.ShowText(false);
    });
  }

  static void OnPopup(GObject* box, GParamSpec*, gpointer self) {
    Guarded([&] {
      TLogView& v = *As<TLogView>(self);
      gboolean shown = FALSE;
      BoundGtk().g_object_get(box, "popup-shown", &shown, nullptr);
      if (!shown) return;
      // Files begun since the window opened show up; the choice is cleared.
      v.F.RefreshFileList();
      v.FillFiles();
    });
  }

  static void OnOpenDir(GtkButton*, gpointer self) {
    Guarded([&] {
      TLogView& v = *As<TLogView>(self);
      try {
        v.F.btnOpenDirClick();
      } catch (const std::exception& e) {
        BoundGtk().gtk_label_set_text(As<GtkLabel>(v.FStatus), ShownText(e.what()).c_str());
      }
    });
  }

  static gboolean OnTimer(gpointer self) {
    Guarded([&] {
      TLogView& v = *As<TLogView>(self);
      if (v.F.tmrCheckFileTimer()) v.ShowText(true);
    });
    return G_SOURCE_CONTINUE;
  }

  TLogForm F;
  TModal FModal;
  TPixbuf FFolder, FIcon;
  GtkWidget* FFiles = nullptr;
  GtkWidget* FText = nullptr;
  GtkWidget* FStatus = nullptr;
  bool FUpdating = false;
  guint FTimer = 0;
};

// ---- a document ------------------------------------------------------------------------

// The file:// address of an absolute path.
std::string FileUri(const std::string& path) {
  const TGtk& G = BoundGtk();
  gchar* uri = G.g_filename_to_uri(path.c_str(), nullptr, nullptr);
  const std::string text = uri ? uri : "";
  G.g_free(uri);
  if (text.rfind("file:///", 0) != 0) throw Error(msg::NotAbsoluteFileName(path));
  return text;
}

// A local page in a browser view; links that lead away from its folder open
// in the user's browser instead.
class TDocView {
 public:
  TDocView(const std::string& htmlPath, const std::string& caption, const TWebKit& webkit)
      : FModal(NewWindow(msg::kDocumentTitle, 633, 425, nullptr), caption),
        FWebKit(webkit),
        FIcon(CameraPicture(32)) {
    const TGtk& G = BoundGtk();
    GtkWindow* window = As<GtkWindow>(FModal.Window());
    // 633 x 425 at 120 pixels per inch, in this screen's pixels.
    GdkScreen* screen = G.gdk_screen_get_default();
    double dpi = screen ? G.gdk_screen_get_resolution(screen) : -1;
    if (dpi <= 0) dpi = 96;
    G.gtk_window_set_default_size(window, static_cast<int>(633 * dpi / 120),
                                  static_cast<int>(425 * dpi / 120));
    G.gtk_window_set_title(window, caption.c_str());
    G.gtk_window_set_icon(window, FIcon.P);
    const std::string page = FileUri(htmlPath);
    FFolderUri = page.substr(0, page.rfind('/') + 1);
    // Named wbBrowser once the page has been shown.
    FBrowser = Named(FWebKit.webkit_web_view_new(), "wbBrowserLoading");
    Connect(FBrowser, "decide-policy", &TDocView::OnDecide, this);
    Connect(FBrowser, "load-changed", &TDocView::OnLoad, this);
    G.gtk_container_add(As<GtkContainer>(window), FBrowser);
    FWebKit.webkit_web_view_load_uri(As<WebKitWebView>(FBrowser), page.c_str());
  }
  TDocView(const TDocView&) = delete;
  TDocView& operator=(const TDocView&) = delete;

  void Show() { FModal.Run(); }

 private:
  static gboolean OnDecide(WebKitWebView*, WebKitPolicyDecision* decision,
                           WebKitPolicyDecisionType type, gpointer self) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
      return FALSE;
    gboolean handled = FALSE;
    Guarded([&] {
      TDocView& v = *As<TDocView>(self);
      const TWebKit& w = v.FWebKit;
      WebKitNavigationAction* action = w.webkit_navigation_policy_decision_get_navigation_action(
          As<WebKitNavigationPolicyDecision>(decision));
      const gchar* raw = w.webkit_uri_request_get_uri(w.webkit_navigation_action_get_request(action));
      const std::string uri = raw ? raw : "";
      if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
          uri.rfind(v.FFolderUri, 0) == 0)
        return;  // the help's own pages
      if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION ||
          w.webkit_navigation_action_get_navigation_type(action) ==
              WEBKIT_NAVIGATION_TYPE_LINK_CLICKED) {
        try {
          OpenWithDesktop(uri);
        } catch (const std::exception& e) {
          TryWriteLog(std::string("help: ") + e.what(), TLogLevel::llError);
        }
      }
      w.webkit_policy_decision_ignore(decision);
      handled = TRUE;
    });
    return handled;
  }

  static void OnLoad(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
    if (event == WEBKIT_LOAD_FINISHED) BoundGtk().gtk_widget_set_name(As<GtkWidget>(view), "wbBrowser");
  }

  TModal FModal;
  const TWebKit& FWebKit;
  TPixbuf FIcon;
  GtkWidget* FBrowser = nullptr;
  std::string FFolderUri;
};

}  // namespace

void ShowCameraSearch() {
  const TGtkCall call(msg::kCameraSearchTitle);
  TProbeView view;
  view.Show();
}

void ShowLogViewer() {
  const TGtkCall call(msg::kLogViewerTitle);
  TLogView view;
  view.Show();
}

// Without a display or GTK the page still goes to the user's browser.
void RequireDocumentWindow(const std::string&) {}

bool ShowDocument(const std::string& htmlPath, const std::string& caption) {
  const TGtkCall call(caption);
  std::string why;
  const TWebKit* webkit = WebKit(why);
  if (!webkit) {
    TryWriteLog("no browser view for «" + caption + "» (" + why +
                    "); the page is opened in the user's browser: " + htmlPath,
                TLogLevel::llInfo);
    OpenWithDesktop(FileUri(htmlPath));
    return false;
  }
  TDocView view(htmlPath, caption, *webkit);
  view.Show();
  return true;
}

void SetWindowShownHook(TWindowShownHook hook) {
  ShownHook() = std::move(hook);
}

void ReleaseWindowBindings() {
  ResetAndRelease(ShownHook());
  ReleaseGtkBinding();
  ReleaseWebKitBinding();
}

}  // namespace zorvane
