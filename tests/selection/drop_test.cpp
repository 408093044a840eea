// Drops onto the real main window: real drop handles sent as WM_DROPFILES, the HEX check
// of each dropped path, and the message boxes answered for real.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/globals.h"
#include "selection/drop_receiver.h"
#include "tests/selection/selection_fixture.h"

namespace {

struct DropCase {
  const char* name;
  std::vector<std::string> paths;
  std::string pathBox;                     // afterwards
  std::vector<std::string> messages;       // the boxes shown, in order
  std::vector<std::string> boxWhileShown;  // the path box while each box was up
  bool flashEnabled;
};

const std::string kWrong = kWrongDropMessage;
const std::string kStart = kPathBoxStartText;

// clang-format off
const DropCase kDropCases[] = {
    {"ThreeFilesSecondNotHex",
     {"C:\\fw\\first.hex", "C:\\fw\\readme.txt", "C:\\fw\\third.hex"},
     "C:\\fw\\third.hex", {kWrong}, {"C:\\fw\\first.hex"}, true},
    {"CapitalHexRefused", {"C:\\fw\\KEYBOARD.HEX"}, kStart, {kWrong}, {kStart}, false},
    {"MixedCaseHexRefused", {"C:\\fw\\keyboard.Hex"}, kStart, {kWrong}, {kStart}, false},
    {"FolderRefused", {"C:\\windows"}, kStart, {kWrong}, {kStart}, false},
    {"HexWithoutDotRefused", {"C:\\fw\\firmwarehex"}, kStart, {kWrong}, {kStart}, false},
    {"ShorterThanTheEndingRefused", {"hex"}, kStart, {kWrong}, {kStart}, false},
    {"GbkPathKeptByteForByte", {"C:\\奎尔瓦 固件(1)\\俓淺表 键盘_v2.hex"},
     "C:\\奎尔瓦 固件(1)\\俓淺表 键盘_v2.hex", {}, {}, true},
    {"ZeroItemsShowNothing", {}, kStart, {}, {}, false},
};
// clang-format on

void PrintTo(const DropCase& c, std::ostream* os) { *os << c.name; }

class DropOnMainWindow : public MainWindowTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DropOnMainWindow, PathBoxMessagesAndFlashButton) {
  const DropCase& c = GetParam();
  HDROP drop = MakeDrop(c.paths);
  ASSERT_FALSE(HandleFreed(drop));
  BoxWatcher watcher([this] { return PathBox(); });
  LRESULT result = SendMessageA(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  watcher.Stop();

  EXPECT_EQ(result, 0);
  EXPECT_EQ(watcher.texts, c.messages);
  EXPECT_EQ(watcher.looks, c.boxWhileShown);
  EXPECT_EQ(PathBox(), c.pathBox);
  EXPECT_EQ(FlashEnabled(), c.flashEnabled);
  EXPECT_TRUE(HandleFreed(drop)) << "the drop handle was not finished";
  EXPECT_TRUE(g_firmwarePath.empty()) << "a drop reached the firmware path: " << g_firmwarePath;
}

INSTANTIATE_TEST_SUITE_P(Cases, DropOnMainWindow, ::testing::ValuesIn(kDropCases),
                         [](const auto& info) { return std::string(info.param.name); });

using MainWindowDrops = MainWindowTest;

TEST_F(MainWindowDrops, LaterWrongDropLeavesPathAndFlashButton) {
  EXPECT_TRUE(Drop({"C:\\fw\\good.hex"}).empty());
  ASSERT_TRUE(FlashEnabled());
  for (const char* wrong : {"C:\\fw\\GOOD.HEX", "C:\\fw\\notes.txt", "C:\\windows"}) {
    SCOPED_TRACE(wrong);
    EXPECT_EQ(Drop({wrong}), std::vector<std::string>{kWrong});
    EXPECT_EQ(PathBox(), "C:\\fw\\good.hex");
    EXPECT_TRUE(FlashEnabled());
  }
}

TEST_F(MainWindowDrops, OverlongPathIsCutWithoutSplittingACharacter) {
  // 1000 bytes and more: the path box never gets a half character or bytes beyond the cut.
  std::string longPath = "C:\\x";
  while (longPath.size() < 1200) longPath += "表";
  longPath += ".hex";
  std::vector<std::string> shown;
  EXPECT_EQ(Drop({longPath, "C:\\fw\\after.hex"}, &shown), std::vector<std::string>{kWrong});
  EXPECT_EQ(shown, std::vector<std::string>{kStart});
  EXPECT_EQ(PathBox(), "C:\\fw\\after.hex");
}

TEST_F(MainWindowDrops, ExitRoutineRestoresTheWindowProcedure) {
  ASSERT_TRUE(g_receiver->attached());
  WNDPROC previous = g_receiver->previousProcedure();
  ASSERT_NE(previous, nullptr);
  EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(main_, GWLP_WNDPROC)), previous);
  EXPECT_TRUE(GetWindowLongPtrA(main_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

  ExitRoutine();
  EXPECT_EQ(g_receiver, nullptr);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(main_, GWLP_WNDPROC)), previous);
  EXPECT_FALSE(GetWindowLongPtrA(main_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  // The window still works without the receiver; a drop is no longer taken.
  SetWindowTextA(pathBox_, "still here");
  EXPECT_EQ(PathBox(), "still here");
  HDROP drop = MakeDrop({"C:\\fw\\late.hex"});
  SendMessageA(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  EXPECT_EQ(PathBox(), "still here");
  GlobalFree(drop);
}

}  // namespace
