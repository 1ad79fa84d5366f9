#include "tests/support/gtk_driving.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

namespace zorvane::testing {

namespace {

void Collect(GtkWidget* w, const std::string& name, GtkWidget*& found) {
  if (found) return;
  if (name == gtk_widget_get_name(w)) {
    found = w;
    return;
  }
  if (GTK_IS_CONTAINER(w)) {
    struct Search {
      const std::string* Name;
      GtkWidget** Found;
    } search{&name, &found};
    gtk_container_forall(
        GTK_CONTAINER(w),
        [](GtkWidget* child, gpointer data) {
          auto* s = static_cast<Search*>(data);
          Collect(child, *s->Name, *s->Found);
        },
        &search);
  }
}

void AddRows(GtkTreeModel* model, GtkTreeView* view, GtkTreeIter* parent, int depth, bool all,
             std::vector<std::string>& lines) {
  GtkTreeIter it;
  if (!gtk_tree_model_iter_children(model, &it, parent)) return;
  do {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &it, 0, &text, -1);
    lines.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + (text ? text : ""));
    g_free(text);
    GtkTreePath* path = gtk_tree_model_get_path(model, &it);
    const bool open = gtk_tree_view_row_expanded(view, path);
    gtk_tree_path_free(path);
    if (all || open) AddRows(model, view, &it, depth + 1, all, lines);
  } while (gtk_tree_model_iter_next(model, &it));
}

}  // namespace

GtkWidget* FindWidget(void* window, const std::string& name) {
  GtkWidget* found = nullptr;
  Collect(GTK_WIDGET(window), name, found);
  return found;
}

GtkWidget* Widget(void* window, const std::string& name) {
  GtkWidget* w = FindWidget(window, name);
  EXPECT_NE(w, nullptr) << "no widget " << name;
  return w;
}

void Pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_usleep(10000);
  }
}

bool PumpUntil(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    Pump(20);
  }
  return true;
}

void Screenshot(void* window, const std::string& name) {
  Pump(300);  // drawn
  GtkWidget* w = GTK_WIDGET(window);
  GdkWindow* gw = gtk_widget_get_window(w);
  ASSERT_NE(gw, nullptr);
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gw, 0, 0, gtk_widget_get_allocated_width(w),
                                               gtk_widget_get_allocated_height(w));
  ASSERT_NE(shot, nullptr);
  const std::string dir = ZORVANE_SCREENSHOT_DIR;
  mkdir(dir.c_str(), 0777);
  GError* error = nullptr;
  const std::string file = dir + "/" + name + ".png";
  EXPECT_TRUE(gdk_pixbuf_save(shot, file.c_str(), "png", &error, nullptr)) << file;
  if (error) g_error_free(error);
  g_object_unref(shot);
}

std::string EntryText(GtkWidget* entry) {
  return entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : "";
}

void SetEntryText(GtkWidget* entry, const std::string& text) {
  if (entry) gtk_entry_set_text(GTK_ENTRY(entry), text.c_str());
}

std::string LabelText(GtkWidget* label) {
  return label ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

std::string ComboText(GtkWidget* combo) {
  if (!combo) return "";
  gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(combo));
  std::string out = text ? text : "";
  g_free(text);
  return out;
}

std::vector<std::string> ComboItems(GtkWidget* combo) {
  return combo ? ListColumn(combo, 0) : std::vector<std::string>{};
}

std::vector<std::string> ListColumn(GtkWidget* view, int column) {
  std::vector<std::string> out;
  if (!view) return out;
  GtkTreeModel* model = GTK_IS_ICON_VIEW(view) ? gtk_icon_view_get_model(GTK_ICON_VIEW(view))
                                               : gtk_combo_box_get_model(GTK_COMBO_BOX(view));
  GtkTreeIter it;
  if (!model || !gtk_tree_model_get_iter_first(model, &it)) return out;
  do {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &it, column, &text, -1);
    out.push_back(text ? text : "");
    g_free(text);
  } while (gtk_tree_model_iter_next(model, &it));
  return out;
}

std::vector<std::string> TreeLines(GtkWidget* tree, bool all) {
  std::vector<std::string> lines;
  if (!tree) return lines;
  GtkTreeView* view = GTK_TREE_VIEW(tree);
  AddRows(gtk_tree_view_get_model(view), view, nullptr, 0, all, lines);
  return lines;
}

std::string MessageText(void* dialog) {
  gchar* text = nullptr;
  g_object_get(G_OBJECT(dialog), "text", &text, nullptr);
  std::string out = text ? text : "";
  g_free(text);
  return out;
}

void Click(GtkWidget* button) {
  if (button) gtk_button_clicked(GTK_BUTTON(button));
}

void PressKey(void* window, guint keyval) {
  GtkWidget* w = GTK_WIDGET(window);
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(w)));
  event->key.send_event = TRUE;
  event->key.time = GDK_CURRENT_TIME;
  event->key.keyval = keyval;
  GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(w));
  gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
  gtk_widget_event(w, event);
  gdk_event_free(event);
}

void CloseBox(void* window) {
  gtk_window_close(GTK_WINDOW(window));
}

}  // namespace zorvane::testing
