// The driver button and its guide window, run for real: the installer started, the
// window's frame, the picture on screen, the close question, free moving and damaged
// pictures.
#include <windows.h>

#include <png.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "services/files.h"
#include "services/picture.h"
#include "services/runtime.h"
#include "tests/extras/extras_fixture.h"
#include "tests/support/harness.h"
#include "ui/guide_window.h"
#include "ui/main_window.h"

namespace {

constexpr char kFirstTime[] = "仅第一次需要安装，后面都不用再安装";
constexpr char kCloseQuestion[] = "机智如我，早已经看透一切？";

HWND GuideControl(int id) { return GetDlgItem(GuideWindow(), id); }

// What the answering thread saw while the one-time message was open.
struct FirstBoxView {
  bool guideExists = false, guideVisible = true, mainVisible = true;
  SIZE picture{};
};

BoxAnswer AnswerFirstBox(FirstBoxView* view) {
  return {IDOK, 0, [view](HWND) {
            HWND guide = FindWindowA(kGuideWindowClass, nullptr);
            view->guideExists = guide != nullptr;
            view->guideVisible = guide && IsWindowVisible(guide);
            view->mainVisible = IsWindowVisible(MainWindow());
            view->picture = PictureSize(GetDlgItem(guide, guide::图片框1));
          }};
}

// The guide picture decoded independently, as RGBA rows.
struct Rgba {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  const uint8_t* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * 4]; }
};

Rgba ReadRgba(const ByteBlock& block) {
  Rgba out;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, block.data, block.size)) return out;
  image.format = PNG_FORMAT_RGBA;
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return {};
  }
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  return out;
}

// Opaque and fully transparent points of the picture that lie on the screen while the
// picture box is where it is now, on a grid over the whole picture.
struct Probe {
  int x, y;
  COLORREF expected;
};

std::vector<Probe> ProbesOnScreen(const Rgba& picture, HWND box) {
  std::vector<Probe> probes;
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  for (int gy = 1; gy < 40; ++gy)
    for (int gx = 1; gx < 12; ++gx) {
      int x = picture.width * gx / 12, y = picture.height * gy / 40;
      POINT screen = {x, y};
      ClientToScreen(box, &screen);
      if (screen.y < 0 || screen.y >= GetSystemMetrics(SM_CYSCREEN)) continue;
      const uint8_t* p = picture.at(x, y);
      if (p[3] == 255)
        probes.push_back({x, y, RGB(p[0], p[1], p[2])});
      else if (p[3] == 0)
        probes.push_back({x, y, face});
    }
  return probes;
}

class Guide : public ExtrasTest {};

TEST_F(Guide, DriverButtonShowsTheGuideWithItsPictureUntilYes) {
  LoggerCopy installer("driver\\zadig.exe");
  HWND main = MainWindow();
  FirstBoxView first;
  struct Seen {
    RECT rect{}, button{}, box{};
    POINT client{};
    LONG style = 0;
    HWND owner = nullptr;
    bool mainVisible = true, mainEnabled = true, guideVisible = false;
    bool afterNoGuideOpen = false, afterNoMainVisible = true, afterYesMainVisible = false;
    SIZE picture{};
    std::vector<Probe> probes;
    std::vector<COLORREF> drawn, onScreen;
  } seen;
  Rgba decoded = ReadRgba(kGuidePicture);
  ASSERT_EQ(decoded.width, 712);

  auto answers = MessageBoxAnswerer::Scripted(
      {AnswerFirstBox(&first), {IDNO, 0, nullptr}, {IDYES, 0, nullptr}});
  RunWhenShown(GuideWindow, [&] {
        HWND guide = GuideWindow();
        ASSERT_TRUE(guide);
        UpdateWindow(guide);
        seen.rect = WindowRect(guide);
        ClientToScreen(guide, &seen.client);
        seen.style = GetWindowLongA(guide, GWL_STYLE);
        seen.owner = GetWindow(guide, GW_OWNER);
        seen.guideVisible = IsWindowVisible(guide);
        seen.mainVisible = IsWindowVisible(main);
        seen.mainEnabled = IsWindowEnabled(main);
        HWND box = GuideControl(guide::图片框1);
        seen.picture = PictureSize(box);
        seen.box = WindowRect(box);
        seen.button = WindowRect(GuideControl(guide::按钮1));
        seen.probes = ProbesOnScreen(decoded, box);
        for (const Probe& p : seen.probes) {
          seen.drawn.push_back(ClientPixel(box, p.x, p.y));
          POINT screen = {p.x, p.y};
          ClientToScreen(box, &screen);
          seen.onScreen.push_back(ScreenPixel(screen.x, screen.y));
        }
        Click(GuideControl(guide::按钮1));  // answered No
        seen.afterNoGuideOpen = GuideWindow() && IsWindowVisible(GuideWindow());
        seen.afterNoMainVisible = IsWindowVisible(main);
        Click(GuideControl(guide::按钮1));  // answered Yes
        seen.afterYesMainVisible = IsWindowVisible(main);
      });
  Click(MainControl(驱动));  // returns when the guide window is gone

  EXPECT_EQ(answers.Finish(),
            (std::vector<std::string>{kFirstTime, kCloseQuestion, kCloseQuestion}));
  // The one-time message comes from the created event, after the picture is in place and
  // the main window hidden: the guide exists, and nothing shows.
  EXPECT_TRUE(first.guideExists);
  EXPECT_EQ(first.picture.cx, 712);
  EXPECT_FALSE(first.guideVisible);
  EXPECT_FALSE(first.mainVisible);

  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(seen.rect.left, (sw - 732) / 2);
  EXPECT_EQ(seen.rect.top, (sh - 1069) / 2);  // above the screen's top edge on a 768 screen
  EXPECT_EQ(seen.rect.right - seen.rect.left, 732);
  EXPECT_EQ(seen.rect.bottom - seen.rect.top, 1069);
  EXPECT_EQ(seen.style & (WS_POPUP | WS_DLGFRAME | WS_CAPTION | WS_SYSMENU),
            LONG(WS_POPUP | WS_DLGFRAME));
  EXPECT_EQ(seen.owner, ToolWindow());
  EXPECT_TRUE(seen.guideVisible);
  EXPECT_FALSE(seen.mainVisible);
  EXPECT_FALSE(seen.mainEnabled);

  EXPECT_EQ(seen.button.left - seen.client.x, -8);
  EXPECT_EQ(seen.button.top - seen.client.y, 0);
  EXPECT_EQ(seen.button.right - seen.button.left, 736);
  EXPECT_EQ(seen.button.bottom - seen.button.top, 33);
  EXPECT_EQ(seen.box.left - seen.client.x, 8);
  EXPECT_EQ(seen.box.top - seen.client.y, 31);
  EXPECT_EQ(seen.box.right - seen.box.left, 712);
  EXPECT_EQ(seen.box.bottom - seen.box.top, 1025);
  EXPECT_EQ(seen.picture.cx, 712);
  EXPECT_EQ(seen.picture.cy, 1025);

  ASSERT_GE(seen.probes.size(), 50u);
  for (size_t i = 0; i < seen.probes.size(); ++i) {
    const Probe& p = seen.probes[i];
    EXPECT_EQ(seen.drawn[i], p.expected) << "picture pixel " << p.x << "," << p.y;
    EXPECT_EQ(seen.onScreen[i], p.expected) << "screen pixel of " << p.x << "," << p.y;
  }

  EXPECT_TRUE(seen.afterNoGuideOpen);  // No leaves everything as it was
  EXPECT_FALSE(seen.afterNoMainVisible);
  EXPECT_TRUE(seen.afterYesMainVisible);
  EXPECT_EQ(GuideWindow(), nullptr);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(installer.WaitForStarts(1).size(), 1u);
}

// Opens the guide by the driver button and closes it again with Yes, doing nothing else.
void PressDriverAndClose() {
  MessageBoxAnswerer answers({IDOK, IDYES});
  RunWhenShown(GuideWindow, [] { Click(GuideControl(guide::按钮1)); });
  Click(MainControl(驱动));
  answers.Finish();
}

TEST_F(Guide, EachPressStartsTheInstallerAgainInTheCurrentFolder) {
  LoggerCopy installer("driver\\zadig.exe");
  char before[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof before, before);
  LoggerCopy elsewhere("chosen folder\\marker.exe");  // a folder as the file dialog leaves it
  const std::string folders[] = {before, ProgramDirectory() + "\\chosen folder"};
  for (const std::string& folder : folders) {
    SetCurrentDirectoryA(folder.c_str());
    PressDriverAndClose();
  }
  SetCurrentDirectoryA(before);
  auto starts = installer.WaitForStarts(2);
  ASSERT_EQ(starts.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NE(starts[i].commandLine.find(ProgramDirectory() + "\\driver\\zadig.exe"),
              std::string::npos)
        << starts[i].commandLine;
    EXPECT_EQ(starts[i].folder, folders[i]);
  }
}

TEST_F(Guide, AMissingInstallerIsNotReported) {
  ASSERT_EQ(GetFileAttributesA((ProgramDirectory() + "\\driver").c_str()), INVALID_FILE_ATTRIBUTES);
  bool guideShown = false;
  MessageBoxAnswerer answers({IDOK, IDYES});
  RunWhenShown(GuideWindow, [&] {
    guideShown = true;
    Click(GuideControl(guide::按钮1));
  });
  Click(MainControl(驱动));
  EXPECT_TRUE(guideShown);
  EXPECT_EQ(answers.Finish(), (std::vector<std::string>{kFirstTime, kCloseQuestion}));
}

TEST_F(Guide, APressOnThePictureOrTheBareClientAreaMovesTheWindow) {
  struct Drag {
    const char* where;
    int control;  // the press lands on this control, or on the client area for 0
    POINT at;     // relative to it
    int dx, dy;
  } drags[] = {{"picture", guide::图片框1, {300, 400}, 40, 30},
               {"left edge of the client area", 0, {3, 500}, 25, 45}};
  std::vector<RECT> before, after;
  MessageBoxAnswerer answers({IDOK, IDYES});
  std::function<void(size_t)> next = [&](size_t i) {
    if (i > 0) after.push_back(WindowRect(GuideWindow()));
    if (i == std::size(drags)) {
      Click(GuideControl(guide::按钮1));
      return;
    }
    HWND target = drags[i].control ? GuideControl(drags[i].control) : GuideWindow();
    POINT p = drags[i].at;
    ClientToScreen(target, &p);
    before.push_back(WindowRect(GuideWindow()));
    MouseDrag(p, drags[i].dx, drags[i].dy);
    RunInLoop([&next, i] { next(i + 1); }, 600);
  };
  RunWhenShown(GuideWindow, [&] { next(0); });
  Click(MainControl(驱动));
  answers.Finish();
  ASSERT_EQ(after.size(), std::size(drags));
  for (size_t i = 0; i < std::size(drags); ++i) {
    EXPECT_EQ(after[i].left - before[i].left, drags[i].dx) << drags[i].where;
    EXPECT_EQ(after[i].top - before[i].top, drags[i].dy) << drags[i].where;
  }
}

ByteBlock Block(const std::string& bytes) {
  return {reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<uint32_t>(bytes.size())};
}

TEST_F(Guide, ADamagedPictureOpensTheWindowWithoutOne) {
  std::string stored(reinterpret_cast<const char*>(kGuidePicture.data), kGuidePicture.size);
  std::string flipped = stored;
  flipped[stored.size() / 2] ^= 0x5A;
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {{"cut in half", stored.substr(0, stored.size() / 2)},
               {"a byte changed in the image data", flipped},
               {"no bytes", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool shown = false;
    SIZE picture{-1, -1};
    MessageBoxAnswerer answers({IDOK, IDYES});
    RunWhenShown(GuideWindow, [&] {
      shown = true;
      picture = PictureSize(GuideControl(guide::图片框1));
      Click(GuideControl(guide::按钮1));
    });
    OpenGuideWindow(Block(c.bytes));
    EXPECT_EQ(answers.Finish(), (std::vector<std::string>{kFirstTime, kCloseQuestion}));
    EXPECT_TRUE(shown);
    EXPECT_EQ(picture.cx, 0);
    EXPECT_EQ(picture.cy, 0);
    EXPECT_EQ(GuideWindow(), nullptr);
  }
}

TEST_F(Guide, AKeyboardCloseBringsTheMainWindowBack) {
  MessageBoxAnswerer answers({IDOK});
  RunWhenShown(GuideWindow, [] { PostMessageA(GuideWindow(), WM_CLOSE, 0, 0); });
  Click(MainControl(驱动));
  EXPECT_EQ(answers.Finish(), std::vector<std::string>{kFirstTime});
  EXPECT_EQ(GuideWindow(), nullptr);
  EXPECT_TRUE(IsWindowVisible(MainWindow()));
  EXPECT_TRUE(IsWindowEnabled(MainWindow()));
}

}  // namespace
