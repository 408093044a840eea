// Stands in for the command processor that the shell starts a batch file with: appends
// its command line to launch-log.txt beside itself and ends.
#include <windows.h>

#include <string>

int main() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string log = self;
  log = log.substr(0, log.rfind('\\') + 1) + "launch-log.txt";
  HANDLE file = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string line = std::string(GetCommandLineA()) + "\n";
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
