// Brings the program to a scene for a screenshot and back: starts it, presses the
// buttons and answers the boxes from outside (as a user would), then writes the ready
// file and waits until the screenshot taker has deleted it.
//   extras_shooter guide|joke PROGRAM READY-FILE
// Exit code 0 when every step happened as expected.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "tests/support/harness.h"
#include "ui/guide_window.h"
#include "ui/joke_window.h"
#include "ui/main_window.h"

namespace {

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  for (DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs); !condition();) {
    if (static_cast<LONG>(end - GetTickCount()) < 0) return false;
    Sleep(50);
  }
  return true;
}

bool Visible(HWND w) { return w && IsWindowVisible(w); }

int Fail(const char* step) {
  std::fprintf(stderr, "shooter: %s\n", step);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Fail("usage: extras_shooter guide|joke PROGRAM READY-FILE");
  const std::string scene = argv[1], ready = argv[3];
  std::string command = "\"" + std::string(argv[2]) + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return Fail("the program did not start");
  const DWORD pid = pi.dwProcessId;
  HWND main = nullptr;
  if (!WaitFor([&] { return Visible(main = FindWindowA(kMainWindowClass, nullptr)); }, 30000))
    return Fail("no main window");
  Sleep(500);

  HWND modal = nullptr;
  if (scene == "joke") {
    MessageBoxAnswerer answers({IDYES, IDOK, IDOK, IDYES}, 300, pid);
    PostMessageA(GetDlgItem(main, 装逼), BM_CLICK, 0, 0);
    if (!WaitFor([&] { return Visible(GetDlgItem(modal = FindWindowA(kJokeWindowClass, nullptr), joke::按钮1)); },
                 60000))
      return Fail("the joke did not reach its end");
  } else {
    MessageBoxAnswerer answers({IDOK}, 300, pid);
    PostMessageA(GetDlgItem(main, 驱动), BM_CLICK, 0, 0);
    if (!WaitFor([&] { return Visible(modal = FindWindowA(kGuideWindowClass, nullptr)) && !FindMessageBox(pid); },
                 30000))
      return Fail("no guide window");
  }
  Sleep(800);  // let it paint

  HANDLE file = CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("cannot write the ready file");
  CloseHandle(file);
  if (!WaitFor([&] { return GetFileAttributesA(ready.c_str()) == INVALID_FILE_ATTRIBUTES; }, 60000))
    return Fail("no screenshot was taken");

  if (scene == "joke") {
    PostMessageA(GetDlgItem(modal, joke::按钮1), BM_CLICK, 0, 0);
  } else {
    MessageBoxAnswerer answers({IDYES}, 0, pid);
    PostMessageA(GetDlgItem(modal, guide::按钮1), BM_CLICK, 0, 0);
    answers.Finish(10000);
  }
  if (!WaitFor([&] { return Visible(main) && !IsWindow(modal); }, 10000))
    return Fail("the main window did not come back");
  PostMessageA(main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) return Fail("the program did not end");
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}
