// The choose button's open-file dialog, driven for real from a helper thread: what it
// shows, what a choice or a cancel leaves in the main window, the firmware path and the
// current directory.
#include <windows.h>

#include <commdlg.h>

#include <dlgs.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "app/globals.h"
#include "tests/selection/selection_fixture.h"
#include "tests/support/harness.h"
#include "ui/main_window.h"

namespace {

// What the helper thread saw of one opening of the dialog.
struct DialogVisit {
  bool found = false;
  std::string nameField;    // when it opened
  std::string folder;       // the folder it opened in
  std::string fileType;     // the file-type combo's text
  bool stayedOpen = false;  // Open was pressed but the dialog did not close
};

HWND OwnedDialog(HWND owner) {
  return FindTopLevelWindow(GetCurrentProcessId(), "#32770",
                            [owner](HWND w) { return GetWindow(w, GW_OWNER) == owner; });
}

// The edit control of the name field (a combo box holding an edit in the explorer-style
// dialog, a plain edit in older layouts).
HWND NameField(HWND dialog) {
  HWND combo = GetDlgItem(dialog, cmb13);
  if (combo) {
    HWND inner = FindWindowExA(combo, nullptr, "ComboBox", nullptr);
    HWND edit = FindWindowExA(inner ? inner : combo, nullptr, "Edit", nullptr);
    if (edit) return edit;
  }
  return GetDlgItem(dialog, edt1);
}

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool WaitGone(HWND w, int ms) {
  for (int waited = 0; IsWindow(w) && IsWindowVisible(w); waited += 10) {
    if (waited >= ms) return false;
    Sleep(10);
  }
  return true;
}

// Clicks the choose button and, from a helper thread, answers the dialog it opens: with a
// name typed into the name field and Open, or with Cancel when name is null.
DialogVisit RunChooseDialog(HWND main, const char* name) {
  DialogVisit visit;
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int waited = 0; !(dialog = OwnedDialog(main)) && waited < 10000; waited += 20) Sleep(20);
    if (!dialog) return;
    visit.found = true;
    Sleep(100);  // let it finish filling its controls
    HWND field = NameField(dialog);
    visit.nameField = WindowText(field);
    visit.fileType = WindowText(GetDlgItem(dialog, cmb1));
    char folder[MAX_PATH * 2] = {};
    SendMessageA(dialog, CDM_GETFOLDERPATH, sizeof folder, reinterpret_cast<LPARAM>(folder));
    visit.folder = folder;
    if (!name) {
      Press(dialog, IDCANCEL);
      return;
    }
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
    Press(dialog, IDOK);
    if (WaitGone(dialog, 2000)) return;
    visit.stayedOpen = true;
    if (HWND warning = OwnedDialog(dialog)) {  // the dialog's own complaint
      Press(warning, IDOK);
      WaitGone(warning, 2000);
    }
    Press(dialog, IDCANCEL);
  });
  SendMessageA(GetDlgItem(main, 选择), BM_CLICK, 0, 0);  // returns when the dialog has closed
  helper.join();
  return visit;
}

std::string CurrentDirectory() {
  char dir[MAX_PATH * 2] = {};
  GetCurrentDirectoryA(sizeof dir, dir);
  return dir;
}

class ChooseDialog : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    startDirectory_ = CurrentDirectory();
  }
  void TearDown() override {
    SetCurrentDirectoryA(startDirectory_.c_str());  // the folder can go only once left
    MainWindowTest::TearDown();
  }
  std::string startDirectory_;
  TempFolder folder_{"选择 测试(固件)"};
};

const std::string kFilter = "hex文件(*.hex)";

TEST_F(ChooseDialog, ChoiceThenCancelKeepsTheFirstPath) {
  const std::string firmware = folder_.AddFile("键盘 固件_v1.hex");
  ASSERT_NE(CurrentDirectory(), folder_.path());

  DialogVisit first = RunChooseDialog(main_, firmware.c_str());
  ASSERT_TRUE(first.found);
  EXPECT_EQ(first.fileType, kFilter);
  EXPECT_EQ(first.nameField, "");
  EXPECT_FALSE(first.stayedOpen);
  EXPECT_EQ(PathBox(), firmware);
  EXPECT_TRUE(FlashEnabled());
  EXPECT_EQ(g_firmwarePath, firmware);
  EXPECT_EQ(CurrentDirectory(), folder_.path());

  // The second opening starts on the first choice: its folder, its name in the name field.
  DialogVisit second = RunChooseDialog(main_, nullptr);
  ASSERT_TRUE(second.found);
  EXPECT_EQ(second.folder, folder_.path());
  EXPECT_EQ(second.nameField, "键盘 固件_v1.hex");
  EXPECT_EQ(second.fileType, kFilter);
  EXPECT_EQ(PathBox(), firmware);
  EXPECT_TRUE(FlashEnabled());
  EXPECT_EQ(g_firmwarePath, firmware);
}

TEST_F(ChooseDialog, DropAfterAChoiceReachesOnlyThePathBox) {
  const std::string firmware = folder_.AddFile("a.hex");
  ASSERT_FALSE(RunChooseDialog(main_, firmware.c_str()).stayedOpen);
  ASSERT_EQ(g_firmwarePath, firmware);

  EXPECT_TRUE(Drop({"C:\\fw\\dropped.hex"}).empty());
  EXPECT_EQ(PathBox(), "C:\\fw\\dropped.hex");
  EXPECT_EQ(g_firmwarePath, firmware);
  // The dialog still starts with the file chosen in it, not with the dropped one.
  DialogVisit again = RunChooseDialog(main_, nullptr);
  EXPECT_EQ(again.folder, folder_.path());
  EXPECT_EQ(again.nameField, "a.hex");
  EXPECT_EQ(PathBox(), "C:\\fw\\dropped.hex");
}

TEST_F(ChooseDialog, ExtensionOfAChosenFileIsNotLookedAt) {
  const std::string notes = folder_.AddFile("说明 notes.txt", "not a hex file");
  DialogVisit visit = RunChooseDialog(main_, notes.c_str());
  EXPECT_FALSE(visit.stayedOpen);
  EXPECT_EQ(PathBox(), notes);
  EXPECT_TRUE(FlashEnabled());
  EXPECT_EQ(g_firmwarePath, notes);
}

TEST_F(ChooseDialog, MissingFileIsNotTaken) {
  const std::string missing = folder_.path() + "\\不存在.hex";
  DialogVisit visit = RunChooseDialog(main_, missing.c_str());
  ASSERT_TRUE(visit.found);
  EXPECT_TRUE(visit.stayedOpen) << "the dialog let a missing file through";
  EXPECT_EQ(PathBox(), kPathBoxStartText);
  EXPECT_FALSE(FlashEnabled());
  EXPECT_TRUE(g_firmwarePath.empty());
}

}  // namespace
