#include "selection/choose.h"

#include <commdlg.h>

#include "app/globals.h"
#include "services/forms.h"
#include "services/message_box.h"
#include "services/text.h"
#include "ui/main_window.h"

namespace {

constexpr char kHexFilter[] = "hex文件(*.hex)|*.hex";
constexpr char kHexEnding[] = ".hex";

// The dialog's DLL is loaded on the first choice, not at start: linked at start, it and
// the printing DLLs it pulls in made the main window appear a quarter later. Once loaded
// it stays, as a linked DLL would.
BOOL OpenFileDialog(OPENFILENAMEA* ofn) {
  using Dialog = BOOL(WINAPI*)(OPENFILENAMEA*);
  static const auto dialog = reinterpret_cast<Dialog>(reinterpret_cast<void*>(
      GetProcAddress(LoadLibraryA("comdlg32.dll"), "GetOpenFileNameA")));
  return dialog ? dialog(ofn) : FALSE;
}

// "description|pattern" to the NUL-separated pairs Windows expects: trailing blanks
// trimmed, "||" appended unless it ends so, then every '|' turned into a NUL.
Text FilterPairs(const char* filter) {
  Text pairs = filter;
  while (!pairs.empty() && pairs.back() == ' ') pairs.pop_back();
  if (RightPart(pairs.c_str(), 2) != "||") pairs += "||";
  for (char& c : pairs)
    if (c == '|') c = '\0';
  return pairs;
}

// The folder of a chosen path whose name starts at nameOffset, without the separator
// (a drive's root keeps its backslash).
Text FolderOf(const char* path, WORD nameOffset) {
  Text folder(path, nameOffset);
  if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

UINT_PTR CALLBACK DialogHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

void ShowChosen(const char* path) {
  SetText(MainControl(编辑框1), path);
  SetEnabled(MainControl(刷新), true);
}

}  // namespace

void OnChooseClicked(HWND mainWindow) {
  Text filter = FilterPairs(kHexFilter);
  // The dialog starts with the file chosen last time, as a control that keeps its value.
  char file[MAX_PATH] = {};
  lstrcpynA(file, g_firmwarePath.c_str(), sizeof file);
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = mainWindow;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_EXPLORER | OFN_ENABLESIZING |
              OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  ofn.lpfnHook = DialogHook;
  if (OpenFileDialog(&ofn) != TRUE) return;  // cancelled: nothing changes
  // The chosen file's folder becomes the current directory, as the dialog's switches ask;
  // not every dialog does this itself.
  if (!(ofn.Flags & OFN_NOCHANGEDIR)) SetCurrentDirectoryA(FolderOf(file, ofn.nFileOffset).c_str());
  g_firmwarePath = file;
  ShowChosen(g_firmwarePath.c_str());
}

int DropCallback(const char* path) {
  Text copy = path ? path : "";
  if (CompareText(RightPart(copy.c_str(), 4).c_str(), kHexEnding) == 0) {
    ShowChosen(copy.c_str());
    return 0;
  }
  return ShowMessage("请拖入正确的hex固件", kOk);
}
