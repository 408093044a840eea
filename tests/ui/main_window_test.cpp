// The main window as the built program shows it, and the program's start and end.
#include "ui/main_window.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "app/entry.h"
#include "app/globals.h"
#include "selection/drop_receiver.h"
#include "services/forms.h"
#include "services/runtime.h"
#include "tests/support/harness.h"
#include "tests/support/main_window_fixture.h"
#include "ui/link_box.h"

namespace {

std::string programPath;  // the built program, from the command line

struct ExpectedControl {
  int id;
  int left, top, width, height;
  const char* text;
  bool enabled;
  int fontHeight;
  bool underline;
};

// clang-format off
const ExpectedControl kExpected[] = {
    {超级按钮2, 106, 178, 94, 24, "联系专业客服", true, -15, false},
    {超级按钮1, 14, 178, 81, 24, "联系奎尔瓦", true, -15, false},
    {超级链接框1, 279, 178, 132, 24, "打开淘宝店铺首页", true, -15, true},
    {装逼, 216, 10, 189, 56, "开启超级装逼模式", true, -20, false},
    {编辑框1, 107, 83, 203, 80, "可直接拖放到此处.....", true, -18, false},
    {选择, 12, 83, 85, 80, "选择固件", true, -27, false},
    {刷新, 320, 83, 85, 80, "刷新固件", false, -27, false},
    {驱动, 12, 10, 188, 56, "安装驱动", true, -20, false},
};
// clang-format on

RECT ClientRelative(HWND control) {
  RECT r = WindowRect(control);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The built program, started as a user starts it, looked at from outside.
TEST(Program, ShowsTheMainWindowAsDesignedAndEndsWithCodeZeroWhenClosed) {
  ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string command = "\"" + programPath + "\"";
  ASSERT_TRUE(
      CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      << programPath;
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  HWND main = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] { return (main = FindProcessWindow(pi.dwProcessId, kMainWindowClass)) != nullptr; },
      20000));

  RECT outer = WindowRect(main);
  EXPECT_EQ(outer.left, 300);
  EXPECT_EQ(outer.top, 263);
  EXPECT_EQ(outer.right - outer.left, 424);
  EXPECT_EQ(outer.bottom - outer.top, 241);
  EXPECT_EQ(WindowText(main), "奎尔瓦固件刷新器");
  LONG style = GetWindowLongA(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(GetWindow(main, GW_OWNER), nullptr);

  for (const auto& c : kExpected) {
    SCOPED_TRACE(c.text);
    HWND control = GetDlgItem(main, c.id);
    ASSERT_TRUE(control);
    RECT r = ClientRelative(control);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.top, c.top);
    EXPECT_EQ(r.right - r.left, c.width);
    EXPECT_EQ(r.bottom - r.top, c.height);
    EXPECT_EQ(WindowText(control), c.text);
    EXPECT_EQ(IsWindowEnabled(control) != FALSE, c.enabled);
    EXPECT_TRUE(IsWindowVisible(control));
  }
  // Nothing else is a window of its own: the dialog and the drop object are not shown.
  int children = 0;
  for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    ++children;
  EXPECT_EQ(children, static_cast<int>(std::size(kExpected)));

  PostMessageA(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0u);
}

// The whole run in this process: the exit routine releases the globals at the end.
TEST(Program, RunEndsWhenTheMainWindowClosesAndTheExitRoutineReleasesTheGlobals) {
  g_firmwarePath = "C:\\固件\\old.hex";
  std::thread closer([] {
    HWND main = nullptr;
    for (int i = 0; i < 500 && !(main = FindProcessWindow(GetCurrentProcessId(), kMainWindowClass));
         ++i)
      Sleep(20);
    // The receiver is attached by the time the window can be seen.
    if (main && g_receiver && g_receiver->attached() && g_receiver->window() == main)
      g_firmwarePath += "|attached";
    PostMessageA(main, WM_CLOSE, 0, 0);
  });
  std::string pathBeforeExit;
  RegisterExitRoutine([] {});  // registered after the program's own: runs after it
  EXPECT_EQ(RunProgram(), 0);
  closer.join();
  EXPECT_EQ(g_receiver, nullptr);
  EXPECT_TRUE(g_firmwarePath.empty());
  EXPECT_EQ(MainWindow(), nullptr);
}

using MainWindowInProcess = MainWindowFixture;

TEST_F(MainWindowInProcess, FontsStylesAndIcon) {
  for (const auto& c : kExpected) {
    SCOPED_TRACE(c.text);
    LOGFONTA font = {};
    HFONT handle = reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(main, c.id), WM_GETFONT, 0, 0));
    ASSERT_TRUE(GetObjectA(handle, sizeof font, &font));
    EXPECT_EQ(font.lfHeight, c.fontHeight);
    EXPECT_EQ(font.lfUnderline != 0, c.underline);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_STREQ(font.lfFaceName, "方正准圆简体");
  }
  LONG box = GetWindowLongA(GetDlgItem(main, 编辑框1), GWL_STYLE);
  for (LONG flag : {ES_MULTILINE, ES_READONLY, ES_AUTOVSCROLL, ES_WANTRETURN})
    EXPECT_TRUE(box & flag);
  EXPECT_FALSE(box & (WS_VSCROLL | WS_HSCROLL));
  EXPECT_TRUE(GetWindowLongA(GetDlgItem(main, 编辑框1), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  for (int id : {装逼, 选择, 刷新, 驱动}) {
    LONG button = GetWindowLongA(GetDlgItem(main, id), GWL_STYLE);
    EXPECT_TRUE(button & BS_MULTILINE);
    EXPECT_EQ(button & BS_TYPEMASK, BS_PUSHBUTTON);  // none is the default button
  }
  for (int id : {超级按钮1, 超级按钮2})
    EXPECT_EQ(GetWindowLongA(GetDlgItem(main, id), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);

  // The icon resource holds a 128 x 128 picture, and the window uses the program's icon.
  HICON icon = static_cast<HICON>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1), IMAGE_ICON, 128, 128, 0));
  ASSERT_TRUE(icon);
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP bits = {};
  GetObjectA(info.hbmColor, sizeof bits, &bits);
  EXPECT_EQ(bits.bmWidth, 128);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  EXPECT_TRUE(GetClassLongPtrA(main, GCLP_HICON));
}

TEST_F(MainWindowInProcess, PathBoxAndShopLinkColours) {
  HDC dc = CreateCompatibleDC(nullptr);
  LRESULT brush = SendMessageA(main, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(GetDlgItem(main, 编辑框1)));
  EXPECT_EQ(GetTextColor(dc), RGB(13, 91, 162));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(COLOR_BTNFACE));
  DeleteDC(dc);

  HWND link = GetDlgItem(main, 超级链接框1);
  EXPECT_EQ(LinkTextColour(link), RGB(176, 0, 0));
  SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(LinkTextColour(link), RGB(255, 0, 255));
  SendMessageA(link, WM_MOUSELEAVE, 0, 0);
  MarkLinkVisited(link);
  EXPECT_EQ(LinkTextColour(link), RGB(0, 96, 192));
  SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(LinkTextColour(link), RGB(255, 0, 255));  // hover wins over visited
  SendMessageA(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_HAND));
  EXPECT_EQ(GetLinkTarget(link).web, "");  // empty until pressed
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) programPath = WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
