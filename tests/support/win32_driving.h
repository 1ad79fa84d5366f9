// Driving Win32 windows from a test thread, as a user would: windows found
// by title, controls by identifier, texts read and typed, combo items
// chosen, list items double-clicked, buttons clicked, keys pressed, contents
// read back, and screenshots of the window as the screen shows it, written
// as PNG files to the build folder's screenshots/.
//
// The window runs its modal loop on another thread (the one that called the
// action); everything here talks to it through window messages. A click or
// key whose handler opens a nested modal window is posted, never sent, so
// the test thread is free to drive that window too.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zorvane::testing {

// Lets time pass until done() (true) or seconds have passed (false).
bool WaitUntil(const std::function<bool()>& done, double seconds);

// A visible top-level window of this process with the title; null if none.
HWND ShownWindow(const std::string& title);
// The same waited for up to seconds, or until AsUser's action has returned;
// null (and a test failure) after.
HWND WaitForWindow(const std::string& title, double seconds = 30);
// A visible top-level window of any program of this wineserver with the
// title, waited for up to seconds; null after (no failure).
HWND WaitForAnyWindow(const std::string& title, double seconds = 30);
// Whether the window is gone (or hidden) within seconds.
bool WaitForClosed(HWND window, double seconds = 30);
// The visible top-level windows of this process.
std::vector<HWND> ShownWindows();

// The control with the identifier; null (and a test failure) without it.
HWND Control(HWND window, int id);
std::string Text(HWND window);
// WM_SETTEXT, as typing the whole text would leave it.
void SetText(HWND control, const std::string& text);
bool IsEnabled(HWND control);
// An edit control's selection (EM_GETSEL): the caret alone when both are equal.
std::pair<int, int> Selection(HWND edit);
void Select(HWND edit, int from, int to);

std::vector<std::string> ComboItems(HWND combo);
// The chosen item's text; empty with none chosen.
std::string ComboText(HWND combo);
// Chooses the item and tells the parent, as a choice with the mouse does.
void ChooseComboItem(HWND combo, int index);
// Drops the list down (the parent hears CBN_DROPDOWN) and closes it again.
void DropDown(HWND combo);

// The text of each item of a list view in that column (0: the caption).
std::vector<std::string> ListItems(HWND list, int column = 0);
// A double click on the item's middle, posted.
void DoubleClickItem(HWND list, int index);

// The items of a tree view, children indented by two blanks; children of
// collapsed items are left out unless all is set.
std::vector<std::string> TreeLines(HWND tree, bool all);

// The text of a message box (its static text).
std::string MessageText(HWND box);

// A click on the button, posted to its parent as the button itself tells it.
void Click(HWND button);
// A key pressed and released in the window's focused control, posted.
void PressKey(HWND window, UINT virtualKey);
// As the close box does (posted).
void Close(HWND window);

// What the screen shows of a window: 8-bit R, G, B per pixel, rows top down.
struct TPicture {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;
  uint32_t At(int x, int y) const;  // 0xRRGGBB
};
// The window's rectangle on screen, after it has had time to draw.
TPicture Capture(HWND window);
// Whether the part of the picture at the rectangle (in the picture's
// coordinates) has more than one colour: something is drawn there.
bool HasInk(const TPicture& picture, const RECT& part);
// Where the control lies in a picture of window.
RECT PlaceIn(HWND window, HWND control);

// The picture as a PNG file (stored deflate blocks, no compression).
std::string PngBytes(const TPicture& picture);
// A screenshot of the window into the build folder's screenshots/NAME.png;
// returns the picture for further checks.
TPicture Screenshot(HWND window, const std::string& name);

// Runs user() on a thread of its own while the calling thread runs action()
// (which shows modal windows and returns when they close). Once user() has
// ended, passed or failed, the windows of this process still shown are
// closed until action() returns, so a failed check never leaves the test
// waiting on an open window.
void AsUser(const std::function<void()>& user, const std::function<void()>& action);

}  // namespace zorvane::testing
