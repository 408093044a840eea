#pragma once
// The driver button's guide window: a picture of the steps to take in the driver
// installer, with a button along the top that closes it.
#include <windows.h>

#include "services/bytes.h"

// The stored guide picture (PNG).
extern const ByteBlock kGuidePicture;

extern const char kGuideWindowClass[];

namespace guide {
// Control ids, by the names the controls have in the window's design.
enum Control {
  按钮1 = 201,  // close-guide button
  图片框1,      // guide picture box
};
}  // namespace guide

// The installer beside the program: the program directory and "\driver\zadig.exe".
constexpr char kDriverInstaller[] = "\\driver\\zadig.exe";

// Opens the guide window modal with that picture; returns when it has been destroyed.
void OpenGuideWindow(const ByteBlock& picture);

// The guide window, or null when none is open.
HWND GuideWindow();
