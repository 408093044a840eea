// The flash button: the reflash script written beside the program and started through
// the shell; what happens when it cannot be written; and the whole road from the
// button to a simulated keyboard being flashed by the faithful command processor.
#include "flashing/flash.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/globals.h"
#include "selection/drop_receiver.h"
#include "services/files.h"
#include "services/forms.h"
#include "services/runtime.h"
#include "tests/support/harness.h"
#include "tests/support/main_window_fixture.h"
#include "ui/handlers.h"
#include "ui/main_window.h"

namespace {

std::string programPath, standinPath, loggerPath;  // from the command line

std::string ReadAll(const std::string& path) {
  std::string data;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return data;
  char buf[8192];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) data.append(buf, got);
  CloseHandle(f);
  return data;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('\\')); }

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &d);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = d.cFileName;
      if (name == "." || name == "..") continue;
      std::string p = dir + "\\" + name;
      SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(p);
      else
        DeleteFileA(p.c_str());
    } while (FindNextFileA(h, &d));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

// The stored template, as the build made it.
std::string StoredTemplate() {
  return std::string(reinterpret_cast<const char*>(kScriptTemplate.data), kScriptTemplate.size);
}

// What the script must be for a path, worked out here independently of the handler:
// every "%~1" replaced by the path in which each '%' is doubled.
std::string Expected(const std::string& path) {
  std::string escaped;
  for (char c : path) escaped += c == '%' ? std::string("%%") : std::string(1, c);
  std::string text = StoredTemplate(), out;
  size_t from = 0, at;
  while ((at = text.find("%~1", from)) != std::string::npos) {
    out += text.substr(from, at - from) + escaped;
    from = at + 3;
  }
  return out + text.substr(from);
}

std::vector<std::string> LaunchLog() {
  std::vector<std::string> lines;
  std::string log = ReadAll(Folder(loggerPath) + "\\launch-log.txt");
  size_t from = 0, at;
  while ((at = log.find('\n', from)) != std::string::npos) {
    lines.push_back(log.substr(from, at - from));
    from = at + 1;
  }
  return lines;
}

TEST(StoredTemplate, IsGbkTextWithCrLfLinesAndTwoPlaceholders) {
  std::string t = StoredTemplate();
  ASSERT_GT(t.size(), 1000u);
  EXPECT_EQ(t.find('\0'), std::string::npos);
  EXPECT_NE(t.compare(0, 3, "\xEF\xBB\xBF"), 0);  // no byte-order mark
  EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\n') {
      ASSERT_EQ(t[i - 1], '\r') << "a bare line feed at byte " << i;
    }
  }
  size_t first = t.find("%~1");
  ASSERT_NE(first, std::string::npos);
  size_t second = t.find("%~1", first + 3);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(t.find("%~1", second + 3), std::string::npos);
  EXPECT_NE(t.find("\"%~1\""), std::string::npos);
  EXPECT_NE(t.find("set \"FilePath=%~1\""), std::string::npos);
}

class FlashButton : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    bin = ProgramDirectory() + "\\bin";
    RemoveTree(bin);
    CreateDirectoryA(bin.c_str(), nullptr);
    // The shell starts a batch file with the command processor named by COMSPEC.
    SetEnvironmentVariableA("COMSPEC", loggerPath.c_str());
    DeleteFileA((Folder(loggerPath) + "\\launch-log.txt").c_str());
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    RemoveTree(bin);
  }
  void Press(const char* path) {
    SetWindowTextA(MainControl(编辑框1), path);
    OnFlashClicked(main);
  }
  bool WaitForLaunches(size_t n) {
    return PumpUntil([&] { return LaunchLog().size() >= n; }, 10000);
  }
  std::string bin;
};

TEST_F(FlashButton, WritesTheTemplateWithThePathInBothPlacesAndStartsIt) {
  const char* paths[] = {
      "C:\\keyboards\\planck_rev6.hex",
      "D:\\固件 v2\\键盘(左手) & 灯.hex",  // GBK bytes go in unchanged
      "E:\\100% done\\a%PATH%b.hex",       // each '%' doubled for the command processor
      "",                                  // both placeholders simply removed
  };
  std::string script = bin + "\\Quelvar-reflash.bat";
  size_t launches = 0;
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    Press(path);
    std::string written = ReadAll(script);
    EXPECT_EQ(written, Expected(path));
    ASSERT_TRUE(WaitForLaunches(++launches));
    EXPECT_NE(LaunchLog().back().find(script), std::string::npos) << LaunchLog().back();
  }
  // A plain path of n bytes: the template less the two placeholders plus the path twice.
  Press(paths[0]);
  EXPECT_EQ(ReadAll(script).size(), kScriptTemplate.size - 6 + 2 * strlen(paths[0]));
  // Pressing again rewrites the same file and starts it once more.
  Press(paths[0]);
  ASSERT_TRUE(WaitForLaunches(launches + 2));
  EXPECT_EQ(LaunchLog().size(), launches + 2);
}

TEST_F(FlashButton, AScriptThatCannotBeWrittenIsNotStartedAndTheUserIsTold) {
  std::string script = bin + "\\Quelvar-reflash.bat";
  const std::string earlier = "@echo an earlier firmware\r\n";
  struct Case {
    const char* what;
    void (*prepare)(const std::string& bin, const std::string& script, const std::string& earlier);
    bool keepsEarlier;
  } cases[] = {
      {"no bin folder",
       [](const std::string& b, const std::string&, const std::string&) { RemoveTree(b); }, false},
      // (A read-only file is no obstacle here: Wine runs as root, which may write it.)
      {"a folder where the script belongs",
       [](const std::string&, const std::string& s, const std::string&) {
         CreateDirectoryA(s.c_str(), nullptr);
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveTree(bin);
    CreateDirectoryA(bin.c_str(), nullptr);
    c.prepare(bin, script, earlier);
    MessageBoxAnswerer answer({IDOK});
    Press("C:\\fw\\new.hex");
    auto texts = answer.Finish();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("无法写入刷新脚本"), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find(script), std::string::npos) << texts[0];
    if (c.keepsEarlier) {
      EXPECT_EQ(ReadAll(script), earlier);
    }
    PumpFor(300);
    EXPECT_TRUE(LaunchLog().empty());
    RemoveDirectoryA(script.c_str());
  }
  // Locked by another program (opened without sharing): not written, not started.
  RemoveTree(bin);
  CreateDirectoryA(bin.c_str(), nullptr);
  WriteFileBytes(script.c_str(), earlier);
  HANDLE lock = CreateFileA(script.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  MessageBoxAnswerer answer({IDOK});
  Press("C:\\fw\\new.hex");
  EXPECT_EQ(answer.Finish().size(), 1u);
  CloseHandle(lock);
  EXPECT_EQ(ReadAll(script), earlier);
  PumpFor(300);
  EXPECT_TRUE(LaunchLog().empty());
}

// --- the built program, started as a user starts it --------------------------------

struct Running {
  PROCESS_INFORMATION pi = {};
  HWND main = nullptr;
};

bool Start(const std::string& exe, Running& r) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  std::string command = "\"" + exe + "\"";
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &r.pi))
    return false;
  return PumpUntil(
      [&] { return (r.main = FindProcessWindow(r.pi.dwProcessId, kMainWindowClass)) != nullptr; },
      20000);
}

// What a user does after choosing a file: the path is in the box, the button enabled.
void PressFlash(HWND main, const std::string& path) {
  SendMessageA(GetDlgItem(main, 编辑框1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  EnableWindow(GetDlgItem(main, 刷新), TRUE);
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(刷新, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(main, 刷新)));
}

DWORD Close(Running& r) {
  PostMessageA(r.main, WM_CLOSE, 0, 0);
  DWORD code = 1;
  if (WaitForSingleObject(r.pi.hProcess, 20000) == WAIT_OBJECT_0)
    GetExitCodeProcess(r.pi.hProcess, &code);
  CloseHandle(r.pi.hProcess);
  CloseHandle(r.pi.hThread);
  return code;
}

// The test's command maps drive Q: to an empty folder, so the program lies in a root.
TEST(FlashFromADriveRoot, WritesToTheRootsBinFolder) {
  if (!Exists("Q:\\")) GTEST_SKIP() << "drive Q: is not mapped by the test's command";
  ASSERT_TRUE(CopyFileA(programPath.c_str(), "Q:\\QuelvarRefresher.exe", FALSE));
  CreateDirectoryA("Q:\\bin", nullptr);
  DeleteFileA("Q:\\bin\\Quelvar-reflash.bat");
  SetEnvironmentVariableA("COMSPEC", loggerPath.c_str());
  DeleteFileA((Folder(loggerPath) + "\\launch-log.txt").c_str());
  Running r;
  ASSERT_TRUE(Start("Q:\\QuelvarRefresher.exe", r));
  PressFlash(r.main, "C:\\fw\\root.hex");
  EXPECT_TRUE(PumpUntil([] { return !LaunchLog().empty(); }, 10000));
  EXPECT_EQ(ReadAll("Q:\\bin\\Quelvar-reflash.bat"), Expected("C:\\fw\\root.hex"));
  ASSERT_FALSE(LaunchLog().empty());
  EXPECT_NE(LaunchLog().back().find("Q:\\bin\\Quelvar-reflash.bat"), std::string::npos);
  EXPECT_EQ(LaunchLog().back().find("Q:\\\\"), std::string::npos);
  EXPECT_EQ(Close(r), 0u);
}

// Log lines of the stand-ins: tab-separated, the arguments as UTF-8 in "x"+hex fields.
struct ToolCall {
  std::string name;
  std::vector<std::string> args;  // UTF-8
};

std::string Unhex(const std::string& field) {
  std::string out;
  for (size_t i = 1; i + 1 < field.size(); i += 2)
    out += static_cast<char>(std::stoi(field.substr(i, 2), nullptr, 16));
  return out;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t from = 0, at;
  while ((at = s.find(sep, from)) != std::string::npos) {
    parts.push_back(s.substr(from, at - from));
    from = at + 1;
  }
  parts.push_back(s.substr(from));
  return parts;
}

std::vector<ToolCall> ToolCalls(const std::string& log) {
  std::vector<ToolCall> calls;
  for (const auto& line : Split(log, '\n')) {
    auto f = Split(line, '\t');
    if (f.size() < 6) continue;
    ToolCall call{f[0], {}};
    if (!f[5].empty())
      for (const auto& a : Split(f[5], ',')) call.args.push_back(Unhex(a));
    calls.push_back(call);
  }
  return calls;
}

std::string GbkToUtf8(const std::string& gbk) {
  wchar_t wide[1024];
  int n = MultiByteToWideChar(936, 0, gbk.c_str(), -1, wide, 1024);
  char utf8[4096];
  WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

// The program, its bin folder of stand-ins that play a keyboard waiting in the DFU
// bootloader, and the faithful command processor as the shell's batch handler.
TEST(EndToEnd, TheButtonFlashesASimulatedKeyboardThroughTheScript) {
  ASSERT_FALSE(standinPath.empty());
  std::string root = ProgramDirectory() + "\\e2e 程序 (x86)";
  RemoveTree(root);
  std::string bin = root + "\\bin";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA(bin.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(programPath.c_str(), (root + "\\QuelvarRefresher.exe").c_str(), FALSE));
  for (const char* tool : {"devcon32", "devcon64", "mode", "sleep", "dfu-programmer",
                           "dfu-programmer-libusb", "avrdude", "hid_bootloader_cli", "bootloadHID",
                           "HIDBootFlash", "hex2bin", "dfu-util", "hid-flash"})
    ASSERT_TRUE(CopyFileA(standinPath.c_str(), (bin + "\\" + tool + ".exe").c_str(), FALSE));
  // In the bootloader on the first pass only; the name ends in "factory.hex", so after
  // flashing the script goes back to waiting, and the third pass ends the run.
  WriteFileBytes((bin + "\\standin-scenario.txt").c_str(),
                 "device id=USB\\VID_03EB&PID_2FF4\\5&11223344&0&1 passes=1-1\r\n"
                 "say tool=dfu-programmer arg=get text=Bootloader Version: 0x22 (34)\r\n"
                 "stop pass=3\r\n");
  std::string folder = root + "\\固件 100% (a&b)";
  std::string firmware = folder + "\\键盘 50%_factory.hex";
  CreateDirectoryA(folder.c_str(), nullptr);
  WriteFileBytes(firmware.c_str(), ":00000001FF\r\n");

  char comspec[MAX_PATH] = {};
  GetEnvironmentVariableA("QUELVAR_FAITHFUL_CMD", comspec, sizeof comspec);
  ASSERT_TRUE(*comspec) << "QUELVAR_FAITHFUL_CMD names the faithful command processor";
  for (char* c = comspec; *c; ++c)
    if (*c == '/') *c = '\\';
  SetEnvironmentVariableA("COMSPEC", comspec);
  Running r;
  ASSERT_TRUE(Start(root + "\\QuelvarRefresher.exe", r));
  PressFlash(r.main, firmware);

  std::string log;
  auto launched = [&] {
    log = ReadAll(bin + "\\standin-log.txt");
    for (const auto& call : ToolCalls(log))
      if (call.name == "dfu-programmer" && call.args.size() > 1 && call.args[1] == "launch")
        return true;
    return false;
  };
  EXPECT_TRUE(PumpUntil(launched, 60000)) << log;
  std::vector<std::string> flashing;
  std::string path = GbkToUtf8(firmware);
  for (const auto& call : ToolCalls(log)) {
    if (call.name != "dfu-programmer") continue;
    std::string line;
    for (const auto& a : call.args) line += (line.empty() ? "" : " ") + a;
    flashing.push_back(line);
  }
  EXPECT_EQ(flashing, (std::vector<std::string>{
                          "atmega32u4 get", "atmega32u4 get", "atmega32u4 erase --force",
                          "atmega32u4 flash " + path, "atmega32u4 launch --no-reset"}));
  EXPECT_EQ(Close(r), 0u);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) programPath = WindowsPath(argv[1]);
  if (argc > 2) loggerPath = WindowsPath(argv[2]);
  if (argc > 3) standinPath = WindowsPath(argv[3]);
  return RUN_ALL_TESTS();
}
