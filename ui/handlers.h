#pragma once
// The clicked handlers of the main window's buttons that live in other windows' files.
#include <windows.h>

void OnFlashClicked(HWND mainWindow);    // flashing/flash.cpp
void OnDriverClicked(HWND mainWindow);   // ui/guide_window.cpp
void OnJokeClicked(HWND mainWindow);     // ui/joke_window.cpp
void OnSupportClicked(HWND mainWindow);  // ui/links.cpp
void OnMakerClicked(HWND mainWindow);    // ui/links.cpp
void OnShopLinkPressed(HWND link);       // ui/links.cpp
