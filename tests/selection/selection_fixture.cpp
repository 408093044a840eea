#include "tests/selection/selection_fixture.h"

#include <cstring>
#include <shlobj.h>

#include "app/entry.h"
#include "app/globals.h"
#include "selection/drop_receiver.h"
#include "services/forms.h"
#include "services/runtime.h"
#include "tests/support/harness.h"
#include "ui/main_window.h"

HDROP MakeDrop(const std::vector<std::string>& paths) {
  size_t size = sizeof(DROPFILES) + 2;
  for (const auto& p : paths) size += p.size() + 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  auto* block = static_cast<DROPFILES*>(GlobalLock(memory));
  block->pFiles = sizeof(DROPFILES);
  block->pt = {20, 20};
  block->fNC = FALSE;
  block->fWide = FALSE;
  char* out = reinterpret_cast<char*>(block + 1);
  for (const auto& p : paths) {
    memcpy(out, p.data(), p.size());
    out += p.size() + 1;  // the NUL comes from the zero-filled block
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

bool HandleFreed(HDROP drop) {
  return GlobalSize(drop) == 0 && GlobalFlags(drop) == GMEM_INVALID_HANDLE;
}

void StartRuntimeOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  InitRuntime();
}

void DrainQuit() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void MainWindowTest::SetUp() {
  DrainQuit();
  g_receiver = new DropReceiver();
  main_ = CreateMainWindow();
  ASSERT_TRUE(main_);
  pathBox_ = GetDlgItem(main_, 编辑框1);
  flash_ = GetDlgItem(main_, 刷新);
  PumpFor(20);
}

void MainWindowTest::TearDown() {
  DestroyAllForms();
  PumpFor(20);
  DrainQuit();
  ExitRoutine();  // frees the firmware path and destroys the receiver
}

std::vector<std::string> MainWindowTest::Drop(const std::vector<std::string>& paths,
                                              std::vector<std::string>* pathBoxWhileShown) {
  HWND box = pathBox_;
  BoxWatcher watcher([box] { return WindowText(box); });
  SendMessageA(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
  watcher.Stop();
  if (pathBoxWhileShown) *pathBoxWhileShown = watcher.looks;
  return watcher.texts;
}

std::string MainWindowTest::PathBox() const {
  char text[2048] = {};
  GetWindowTextA(pathBox_, text, sizeof text);
  return text;
}

BoxWatcher::BoxWatcher(std::function<std::string()> look)
    : look_(std::move(look)), thread_([this] {
        while (!stop_) {
          HWND box = FindMessageBox();
          if (!box) {
            Sleep(10);
            continue;
          }
          texts.push_back(MessageBoxText(box));
          if (look_) looks.push_back(look_());
          PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
          while (IsWindow(box)) Sleep(10);
        }
      }) {}

BoxWatcher::~BoxWatcher() { Stop(); }

void BoxWatcher::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  thread_.join();
}

TempFolder::TempFolder(const std::string& name) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  path_ = std::string(temp) + name;
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  for (const auto& f : files_) DeleteFileA(f.c_str());
  RemoveDirectoryA(path_.c_str());
}

std::string TempFolder::AddFile(const std::string& name, const std::string& content) {
  std::string file = path_ + "\\" + name;
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(h);
  files_.push_back(file);
  return file;
}
