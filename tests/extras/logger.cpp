// A stand-in for the outside programs the extras start (browser, mail client, driver
// installer): it appends one line to <its own name>.log beside itself, holding its
// command line and current folder as raw bytes, separated by a tab, and exits.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char self[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string log(self, n);
  size_t dot = log.rfind('.');
  if (dot != std::string::npos && dot > log.rfind('\\')) log.resize(dot);
  log += ".log";
  char folder[MAX_PATH * 2] = {};
  DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
  std::string line = std::string(GetCommandLineA()) + "\t" + std::string(folder, length) + "\n";
  // Two starts close together may meet here; the retry waits for the other one.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      Sleep(10);
      continue;
    }
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
  }
  return 1;
}
