// GTK 3, bound at run time: the library keeps no window library among the
// ones it needs, so it loads on servers without any. Each entry is typed from
// GTK's own headers, so the compiler checks every call; only the functions
// listed here may be called (a direct call would not link).
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace zorvane {

#define ZORVANE_GTK_FUNCTIONS(X)                                                            \
  X(gtk_init_check) X(gtk_disable_setlocale) X(gtk_get_major_version)                       \
  X(gdk_display_get_default) X(gdk_display_flush)                                        \
  X(g_main_loop_new) X(g_main_loop_run) X(g_main_loop_quit) X(g_main_loop_unref)            \
  X(g_main_context_iteration) X(g_main_context_acquire) X(g_main_context_release) X(g_timeout_add) X(g_idle_add) X(g_source_remove)             \
  X(g_signal_connect_data) X(g_object_unref) X(g_object_get) X(g_free) X(g_list_free_full)  \
  X(g_bytes_new) X(g_bytes_unref) X(g_filename_to_uri) X(gdk_screen_get_default) X(gdk_screen_get_resolution) X(gdk_pixbuf_new_from_bytes) X(gdk_pixbuf_get_type)       \
  X(gtk_window_new) X(gtk_window_set_title) X(gtk_window_set_default_size)                  \
  X(gtk_window_set_position) X(gtk_window_set_modal) X(gtk_window_set_transient_for)        \
  X(gtk_window_set_icon) X(gtk_window_set_resizable) X(gtk_window_set_type_hint)            \
  X(gtk_window_present) X(gtk_widget_show_all) X(gtk_widget_hide) X(gtk_widget_destroy)     \
  X(gtk_widget_set_sensitive) X(gtk_widget_set_name) X(gtk_widget_set_size_request)         \
  X(gtk_widget_set_hexpand) X(gtk_widget_set_vexpand) X(gtk_widget_set_halign)              \
  X(gtk_widget_set_valign) X(gtk_widget_set_margin_start) X(gtk_widget_set_margin_end)      \
  X(gtk_widget_set_margin_top) X(gtk_widget_set_margin_bottom) X(gtk_widget_grab_focus)     \
  X(gtk_widget_set_tooltip_text) X(gtk_widget_set_visible)                                  \
  X(gtk_container_add) X(gtk_container_set_border_width) X(gtk_box_new)                     \
  X(gtk_box_pack_start) X(gtk_box_pack_end) X(gtk_grid_new) X(gtk_grid_attach)              \
  X(gtk_grid_set_row_spacing) X(gtk_grid_set_column_spacing) X(gtk_separator_new)           \
  X(gtk_scrolled_window_new) X(gtk_scrolled_window_set_policy)                              \
  X(gtk_scrolled_window_set_shadow_type) X(gtk_label_new) X(gtk_label_set_text)             \
  X(gtk_label_set_xalign) X(gtk_label_set_selectable) X(gtk_entry_new) X(gtk_entry_set_text) \
  X(gtk_entry_get_text) X(gtk_entry_set_width_chars) X(gtk_editable_set_editable)           \
  X(gtk_combo_box_text_new) X(gtk_combo_box_text_append_text)                               \
  X(gtk_combo_box_text_remove_all) X(gtk_combo_box_set_active) X(gtk_combo_box_get_active)  \
  X(gtk_combo_box_text_get_active_text) X(gtk_button_new_with_label) X(gtk_button_new)      \
  X(gtk_button_set_image) X(gtk_image_new_from_pixbuf) X(gtk_spinner_new)                   \
  X(gtk_spinner_start) X(gtk_spinner_stop) X(gtk_list_store_new) X(gtk_list_store_append)   \
  X(gtk_list_store_set) X(gtk_list_store_clear) X(gtk_icon_view_new_with_model)             \
  X(gtk_icon_view_set_pixbuf_column) X(gtk_icon_view_set_text_column)                       \
  X(gtk_icon_view_set_tooltip_column) X(gtk_icon_view_set_selection_mode)                   \
  X(gtk_icon_view_set_item_width) X(gtk_icon_view_get_selected_items)                       \
  X(gtk_tree_path_get_indices) X(gtk_tree_path_free) X(gtk_tree_path_new_first)             \
  X(gtk_message_dialog_new) X(gtk_message_dialog_set_image) X(gtk_tree_store_new) X(gtk_tree_store_append)                  \
  X(gtk_tree_store_set) X(gtk_tree_view_new_with_model) X(gtk_tree_view_set_headers_visible) \
  X(gtk_tree_view_insert_column_with_attributes) X(gtk_cell_renderer_text_new)              \
  X(gtk_tree_view_expand_row) X(gtk_text_view_new) X(gtk_text_view_get_buffer)              \
  X(gtk_text_view_set_editable) X(gtk_text_view_set_cursor_visible)                         \
  X(gtk_text_view_set_monospace) X(gtk_text_view_set_wrap_mode) X(gtk_text_buffer_set_text) \
  X(gtk_text_buffer_get_insert) X(gtk_text_buffer_get_iter_at_mark)                         \
  X(gtk_text_iter_get_offset) X(gtk_text_buffer_get_iter_at_offset)                         \
  X(gtk_text_buffer_place_cursor) X(gtk_text_view_scroll_to_mark)

// (A message box's picture is set with a function GTK 3.12 deprecated but keeps.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct TGtk {
#define ZORVANE_GTK_ENTRY(name) decltype(&::name) name = nullptr;
  ZORVANE_GTK_FUNCTIONS(ZORVANE_GTK_ENTRY)
#undef ZORVANE_GTK_ENTRY
};
#pragma GCC diagnostic pop

// GTK 3 bound and initialised on a display, for a window of that caption;
// throws Error with a message that says what is missing (the display, the
// package to install, a GTK 2 already in the process). Initialised once;
// never unloaded (GTK cannot be).
const TGtk& Gtk(const std::string& caption);

// One window call: GTK bound and initialised (as Gtk() does), and GTK's main
// context owned by the calling thread until the call ends, so that no other
// thread runs GTK meanwhile; throws Error when another thread holds it or
// when GTK was initialised here on another thread.
class TGtkCall {
 public:
  explicit TGtkCall(const std::string& caption);
  ~TGtkCall();
  TGtkCall(const TGtkCall&) = delete;
  TGtkCall& operator=(const TGtkCall&) = delete;
};

// Gives back the binding's memory at unload (the library stays loaded).
void ReleaseGtkBinding();

// The bound table, once Gtk() has succeeded.
const TGtk& BoundGtk();

// g_signal_connect for the table.
template <typename Handler>
gulong Connect(gpointer widget, const char* signal, Handler handler, gpointer data) {
  return BoundGtk().g_signal_connect_data(widget, signal, reinterpret_cast<GCallback>(handler),
                                          data, nullptr, GConnectFlags(0));
}

}  // namespace zorvane
