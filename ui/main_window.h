#pragma once
// The main window: four big buttons, the path box and the contact controls.
#include <windows.h>

// Control ids, by the names the controls have in the window's design.
enum MainControl {
  超级按钮2 = 101,  // support button
  超级按钮1,        // maker button
  超级链接框1,      // shop link
  装逼,             // joke button
  编辑框1,          // path box
  选择,             // choose button
  刷新,             // flash button
  驱动,             // driver button
};

extern const char kMainWindowClass[];

// Creates and shows the main window; its created event attaches the drop receiver.
HWND CreateMainWindow();

// The main window of this thread, or null when it is gone.
HWND MainWindow();
HWND MainControl(int id);
