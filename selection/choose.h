#pragma once
#include <windows.h>

// The choose button: the open-file dialog for a HEX file; the chosen path goes into the
// path box and enables the flash button.
void OnChooseClicked(HWND mainWindow);

// Called for each dropped item: a path ending in ".hex" goes into the path box and
// enables the flash button; anything else is refused with a message.
int DropCallback(const char* path);
