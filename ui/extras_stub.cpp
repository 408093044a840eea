#include "ui/handlers.h"
void OnDriverClicked(HWND) {}
void OnJokeClicked(HWND) {}
void OnSupportClicked(HWND) {}
void OnMakerClicked(HWND) {}
void OnShopLinkPressed(HWND) {}
