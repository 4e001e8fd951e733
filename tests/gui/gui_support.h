// gui_support.h - helpers for driving the program's real windows in-process
// under Wine: pumping messages, answering modal boxes and menus from a
// watcher thread, and reading controls back.
#pragma once

#include "../../ui/ui.h"

#include <string>
#include <vector>

// The program's main window, made in this process as the entry makes it
// (shared resources, both classes, window, controls), or the existing one.
void EnsureMainWindow();
void DestroyMainWindow();

// A real item list, set up as the main window sets up its own, in a hidden
// parent: for filling with FillListView without the rest of the window.
HWND MakeHiddenItemList();

// Dispatches every queued message (posted commands, paints) of this thread.
void Pump();

// Sets every check box back to the stored state, so a test's unapplied
// changes raise no question in the next test's Refresh.
void DropPendingChecks();

// What a watcher saw of a modal window before it answered it.
struct Seen {
    bool found = false;
    std::string caption;
    std::string text;     // a message box's text
    std::string item4;    // a popup menu's item at position 4
    std::string greyed;   // the texts of its greyed items, each ended by ";"
    RECT where = {0, 0, 0, 0}; // a popup menu's place on the screen
    HWND owner = NULL;
    HICON icon = NULL;
};

// Watches for a message box (class "#32770") and presses button (IDOK,
// IDYES, IDNO...) in it. Start before the call that shows it, Finish after.
HANDLE WatchBox(int button, Seen *seen);
// The same for count boxes shown one after another; seen has count entries.
HANDLE WatchBoxes(int count, int button, Seen *seen);
// Boxes shown one after another, each answered with its own button; seen
// has as many entries.
HANDLE WatchBoxSequence(const std::vector<int> &buttons, Seen *seen);
// The same for a box that may or may not come, however late (up to two
// minutes); Stop ends the watch once the call that might show it returned.
HANDLE WatchBoxUntilStopped(int button, Seen *seen);
void Stop(HANDLE watcher);
// Watches for a popup menu and chooses the item at position (0 based,
// separators count) with the keyboard; -1 dismisses the menu.
HANDLE WatchMenu(int position, Seen *seen);
// Watches for the file dialog titled title, types name and presses OK.
HANDLE WatchFileDialog(const char *title, const std::string &name, Seen *seen);
void Finish(HANDLE watcher);

std::string ControlText(HWND control);
std::string ItemText(HWND list, int row, int column);
int CheckState(HWND list, int row); // 2 checked, 1 unchecked
void SelectRow(HWND list, int row);

// Points this program's import of dll!function at replacement and returns
// what it pointed at (null when there is no such import): the tests' own
// way to count or fail the system calls the program's code makes.
void *HookImport(const char *dll, const char *function, void *replacement);
