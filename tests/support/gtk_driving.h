// Driving GTK windows from inside a test, as a user would: widgets found by
// name, texts typed, buttons clicked, keys pressed, contents read back, and
// screenshots of the window written to the build folder.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace zorvane::testing {

GtkWidget* FindWidget(void* window, const std::string& name);
// The widget of that name; fails the test (and returns null) without it.
GtkWidget* Widget(void* window, const std::string& name);

// Lets the window's loop run for ms milliseconds.
void Pump(int ms);
// Lets it run until done() (true) or seconds have passed (false).
bool PumpUntil(const std::function<bool()>& done, double seconds);

// A PNG of the window's contents into the build folder's screenshots/.
void Screenshot(void* window, const std::string& name);

std::string EntryText(GtkWidget* entry);
void SetEntryText(GtkWidget* entry, const std::string& text);
std::string LabelText(GtkWidget* label);
std::string ComboText(GtkWidget* combo);
std::vector<std::string> ComboItems(GtkWidget* combo);
// The text column of each row of a list (an icon view's model).
std::vector<std::string> ListColumn(GtkWidget* view, int column);
// The rows of a tree view, children indented by two blanks; collapsed rows'
// children are left out unless all is set.
std::vector<std::string> TreeLines(GtkWidget* tree, bool all);
// The text of a message box.
std::string MessageText(void* dialog);
void Click(GtkWidget* button);
void PressKey(void* window, guint keyval);
// As the window's close box does.
void CloseBox(void* window);

}  // namespace zorvane::testing
