#include "tests/extras/extras_fixture.h"

#include <fstream>
#include <sstream>

#include "app/globals.h"
#include "selection/drop_receiver.h"
#include "services/files.h"
#include "services/forms.h"
#include "services/runtime.h"
#include "tests/support/harness.h"
#include "ui/guide_window.h"
#include "ui/joke_window.h"
#include "ui/main_window.h"

namespace {

constexpr char kClassesRoot[] = "Software\\Classes\\QuelvarExtrasTestClasses";

void EnsureProgram() {
  static bool started = false;
  if (!started) {
    started = true;
    InitRuntime();
    g_receiver = new DropReceiver();
  }
  if (!MainWindow()) CreateMainWindow();
}

void CloseLeftovers() {
  for (HWND w : {GuideWindow(), JokeWindow()})
    if (w) DestroyWindow(w);
  while (HWND box = FindMessageBox()) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    PumpFor(50);
  }
}

}  // namespace

Watchdog::Watchdog(int timeoutMs)
    : thread_([this, timeoutMs] {
        for (DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
             static_cast<LONG>(end - GetTickCount()) > 0;)
          if (stop_) return;
          else Sleep(50);
        fired_ = true;
        while (!stop_) {
          if (HWND box = FindMessageBox()) PostMessageA(box, WM_COMMAND, IDOK, 0);
          for (const char* cls : {kGuideWindowClass, kJokeWindowClass})
            if (HWND w = FindWindowA(cls, nullptr)) PostMessageA(w, WM_CLOSE, 0, 0);
          Sleep(200);
        }
      }) {}

Watchdog::~Watchdog() {
  stop_ = true;
  thread_.join();
}

void ExtrasTest::SetUp() {
  watchdog_ = std::make_unique<Watchdog>(90000);
  EnsureProgram();
  HWND main = MainWindow();
  ASSERT_TRUE(main);
  SetWindowPos(main, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EnableWindow(main, TRUE);
  ShowWindow(main, SW_SHOW);
  UpdateWindow(main);
}

void ExtrasTest::TearDown() {
  EXPECT_FALSE(watchdog_->fired()) << "a modal loop did not end: the watchdog closed it";
  watchdog_.reset();
  CloseLeftovers();
  PumpFor(20);
}

void RunWhenShown(HWND (*window)(), std::function<void()> function) {
  struct Wait {
    static void Poll(HWND (*window)(), std::function<void()> function, DWORD end) {
      HWND w = window();
      if (w && IsWindowVisible(w) && !FindMessageBox()) {
        UpdateWindow(w);
        function();
      } else if (static_cast<LONG>(end - GetTickCount()) < 0) {
        ADD_FAILURE() << "the window did not show";
        if (w) DestroyWindow(w);  // lets the test go on
      } else {
        RunInLoop([=] { Poll(window, function, end); }, 50);
      }
    }
  };
  Wait::Poll(window, std::move(function), GetTickCount() + 10000);
}

void RestartMainWindow() {
  if (HWND main = MainWindow()) DestroyWindow(main);
  delete g_receiver;
  g_receiver = new DropReceiver();
  MSG quit;  // posted when the last window went
  while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  CreateMainWindow();
  UpdateWindow(MainWindow());
}

void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

LoggerCopy::LoggerCopy(const std::string& relativePath) {
  std::string dir = ProgramDirectory();
  path_ = dir + "\\" + relativePath;
  log_ = path_.substr(0, path_.rfind('.')) + ".log";
  for (size_t cut = relativePath.find('\\'); cut != std::string::npos;
       cut = relativePath.find('\\', cut + 1)) {
    std::string folder = dir + "\\" + relativePath.substr(0, cut);
    if (CreateDirectoryA(folder.c_str(), nullptr)) madeFolders_.push_back(folder);
  }
  CopyFileA((dir + "\\extras_logger.exe").c_str(), path_.c_str(), FALSE);
  DeleteFileA(log_.c_str());
}

LoggerCopy::~LoggerCopy() {
  DeleteFileA(path_.c_str());
  DeleteFileA(log_.c_str());
  for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it)
    RemoveDirectoryA(it->c_str());
}

std::vector<LoggerCopy::Start> LoggerCopy::Starts() const {
  std::vector<Start> starts;
  std::istringstream lines(ReadFileBytes(log_));
  for (std::string line; std::getline(lines, line);) {
    size_t tab = line.rfind('\t');
    if (tab == std::string::npos) continue;
    starts.push_back({line.substr(0, tab), line.substr(tab + 1)});
  }
  return starts;
}

std::vector<LoggerCopy::Start> LoggerCopy::WaitForStarts(size_t n, int timeoutMs) const {
  PumpUntil([&] { return Starts().size() >= n; }, timeoutMs);
  return Starts();
}

PrivateClasses::PrivateClasses() {
  RegDeleteTreeA(HKEY_CURRENT_USER, kClassesRoot);
  RegCreateKeyExA(HKEY_CURRENT_USER, kClassesRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                  nullptr);
  EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, root_), ERROR_SUCCESS);
}

PrivateClasses::~PrivateClasses() {
  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  RegCloseKey(root_);
  RegDeleteTreeA(HKEY_CURRENT_USER, kClassesRoot);
}

void PrivateClasses::SetDefault(const std::string& key, const std::string& value) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root_, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
}

COLORREF ClientPixel(HWND w, int x, int y) {
  HDC dc = GetDC(w);
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(w, dc);
  return colour;
}

COLORREF ScreenPixel(int x, int y) { return ClientPixel(nullptr, x, y); }

namespace {

INPUT MouseAt(POINT p, DWORD flags) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dx = p.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = p.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags;
  return in;
}

}  // namespace

void MouseDrag(POINT from, int dx, int dy) {
  POINT half = {from.x + dx / 2, from.y + dy / 2}, to = {from.x + dx, from.y + dy};
  INPUT steps[] = {MouseAt(from, 0), MouseAt(from, MOUSEEVENTF_LEFTDOWN), MouseAt(half, 0),
                   MouseAt(to, 0), MouseAt(to, MOUSEEVENTF_LEFTUP)};
  SendInput(static_cast<UINT>(std::size(steps)), steps, sizeof(INPUT));
}
