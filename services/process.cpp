#include "services/process.h"

#include <windows.h>

#include <shellapi.h>

void StartFile(const char* path) {
  ShellExecuteA(nullptr, "open", path, nullptr, "", SW_SHOWNORMAL);
}

void OpenUrl(const char* url) {
  HWND owner = FindWindowExA(nullptr, nullptr, nullptr, "Microsoft Internet Explorer");
  ShellExecuteA(owner, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

void SleepMs(int ms) { Sleep(ms < 0 ? 0 : static_cast<DWORD>(ms)); }
