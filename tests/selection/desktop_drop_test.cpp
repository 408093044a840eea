// A drag from the desktop: a native X drag source (xdnd_drag, built beside this program)
// drops a file on the main window through Wine's XDND support, as a file manager would,
// and the path arrives in the path box through the real drop handle of the shell.
#include <gtest/gtest.h>
#include <string>

#include "app/globals.h"
#include "tests/selection/selection_fixture.h"
#include "tests/support/harness.h"

namespace {

std::wstring Wide(const std::string& text, UINT codePage) {
  int n = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(codePage, 0, text.c_str(), -1, &wide[0], n);
  return wide;
}

// The Unix path (UTF-8) of a Windows path, as Wine maps it; empty outside Wine.
std::string UnixPath(const std::string& windowsPath) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return "";
  char* unix = toUnix(Wide(windowsPath, CP_ACP).c_str());
  std::string result = unix ? unix : "";
  if (unix) HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

std::string ReadFirstLine(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  char text[256] = {};
  DWORD read = 0;
  ReadFile(h, text, sizeof text - 1, &read, nullptr);
  CloseHandle(h);
  std::string line = text;
  return line.substr(0, line.find('\n'));
}

// Starts the drag source onto the window's X window at the point with the given files
// (Unix paths, UTF-8); it reports how the drag ended in the result file. Naming the X
// window keeps the drag on this window even when another program's window covers it.
bool StartDrag(const std::string& source, const std::string& result, HWND window, POINT at,
               const std::vector<std::string>& files) {
  auto xWindow = reinterpret_cast<ULONG_PTR>(GetPropA(window, "__wine_x11_whole_window"));
  std::wstring command = L"\"" + Wide(source, CP_ACP) + L"\" \"" + Wide(result, CP_UTF8) + L"\" " +
                         std::to_wstring(xWindow) + L" " + std::to_wstring(at.x) + L" " +
                         std::to_wstring(at.y);
  for (const auto& f : files) command += L" \"" + Wide(f, CP_UTF8) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

struct DesktopCase {
  const char* name;
  std::vector<std::string> files;  // in the folder, in the order dragged
  size_t shownInPathBox;           // the file that ends in the path box
  std::vector<std::string> messages;
};

void PrintTo(const DesktopCase& c, std::ostream* os) { *os << c.name; }

// clang-format off
const DesktopCase kDesktopCases[] = {
    {"OneFileWithAChineseName", {"拖放 测试(桌面)_v3.hex"}, 0, {}},
    {"ThreeFilesSecondNotHex", {"一.hex", "说明.txt", "三 (3).hex"}, 2, {kWrongDropMessage}},
};
// clang-format on

class DesktopDrop : public MainWindowTest, public ::testing::WithParamInterface<DesktopCase> {};

TEST_P(DesktopDrop, FilesDraggedOntoTheWindowReachThePathBox) {
  const DesktopCase& c = GetParam();
  char exe[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string source = exe;
  source = source.substr(0, source.rfind('\\')) + "\\xdnd_drag";
  if (GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "the drag source was not built (no host C compiler or X headers)";
  if (UnixPath(source).empty()) GTEST_SKIP() << "not running under Wine";

  TempFolder folder("桌面拖放");
  std::vector<std::string> files, unixFiles;
  for (const auto& name : c.files) {
    files.push_back(folder.AddFile(name));
    unixFiles.push_back(UnixPath(files.back()));
  }
  const std::string& expected = files[c.shownInPathBox];
  const std::string result = folder.path() + "\\drag-result.txt";
  RECT box = WindowRect(pathBox_);
  POINT centre = {(box.left + box.right) / 2, (box.top + box.bottom) / 2};
  SetForegroundWindow(main_);
  PumpFor(300);  // the window is mapped on the X display before the drag begins

  BoxWatcher watcher;
  ASSERT_TRUE(StartDrag(source, UnixPath(result), main_, centre, unixFiles));
  std::string outcome;
  PumpUntil(
      [&] {
        outcome = ReadFirstLine(result);
        return !outcome.empty() && (outcome != "finished" || PathBox() == expected);
      },
      15000);
  PumpFor(100);  // a message for a later item would come now
  watcher.Stop();
  DeleteFileA(result.c_str());
  EXPECT_EQ(outcome, "finished");
  EXPECT_EQ(PathBox(), expected);
  EXPECT_EQ(watcher.texts, c.messages);
  EXPECT_TRUE(FlashEnabled());
  EXPECT_TRUE(g_firmwarePath.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, DesktopDrop, ::testing::ValuesIn(kDesktopCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
