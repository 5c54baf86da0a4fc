#pragma once

// The menus of every top-level window, built here and nowhere else: File
// with the application's commands (New Mail Project, Open…, Open Recent,
// Close, Settings…, Quit) around the window's own items; Edit, whose
// standard items act on the window's focused widget; and Window. A sheet
// blocks its window's menu bar and keys, so the sheets that stay up while
// a send run goes on carry the application's File commands themselves:
// Quit is never out of reach.
//
// Main thread only.

class QMenu;
class QMenuBar;
class QWidget;

namespace ApplicationMenus {

// New Mail Project, Open…, Open Recent, then Close and the items the menu
// holds already (the window's own), then Settings… and Quit.
void fillFileMenu(QMenu *file, QWidget *window);
// After the Undo and Redo the menu holds (else the focused text's own):
// Cut, Copy, Paste, Delete and Select All for the window's focused widget.
void fillEditMenu(QMenu *edit, QWidget *window);
// Project Window and Table Files.
void fillWindowMenu(QMenu *menu);

// A window without menus of its own gets File, Edit and Window: a main
// window in its menu bar, any other above its layout.
QMenuBar *furnishWindow(QWidget *window);
// A sheet gets the File menu's application commands (no Close: the sheet
// has its own way out), their keys working while it is the active window.
void furnishSheet(QWidget *sheet);

} // namespace ApplicationMenus
