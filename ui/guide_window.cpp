#include "ui/guide_window.h"

#include <iterator>
#include <memory>

#include "services/files.h"
#include "services/forms.h"
#include "services/message_box.h"
#include "services/picture.h"
#include "services/process.h"
#include "ui/handlers.h"
#include "ui/main_window.h"

const char kGuideWindowClass[] = "QuelvarGuideWindow";

namespace {

constexpr DWORD kButton = BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE;

// clang-format off
const ControlDesc kControls[] = {
    {guide::按钮1, "BUTTON", "关闭说明", -8, 0, 736, 33, kButton, 0, kVisible | kTabStop, -23, false},
    {guide::图片框1, kPictureBoxClass, "", 8, 31, 712, 1025, 0, 0, kVisible, 0, false},
};
// clang-format on

struct GuideState : Form {
  ByteBlock picture{nullptr, 0};
};

void GuideCreated(HWND w) {
  SetPicture(GetDlgItem(w, guide::图片框1), StateOf<GuideState>(w)->picture);
  SetVisible(MainWindow(), false);
  ShowMessage("仅第一次需要安装，后面都不用再安装");
}

void OnCloseGuideClicked(HWND w) {
  if (ShowMessage("机智如我，早已经看透一切？", kYesNo) != kPressedYes) return;
  DestroyForm(w);
  SetVisible(MainWindow(), true);
}

// Dragging by any point of the window, as if by a title bar.
void StartMove(HWND w) {
  ReleaseCapture();
  SendMessageA(w, WM_NCLBUTTONDOWN, HTCAPTION, static_cast<LPARAM>(GetMessagePos()));
}

LRESULT CALLBACK GuideProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == guide::按钮1 && HIWORD(wp) == BN_CLICKED) OnCloseGuideClicked(w);
      return 0;
    case WM_LBUTTONDOWN:  // the picture box lets presses through to here
      StartMove(w);
      return 0;
    case WM_CLOSE:
      // A keyboard close: the main window must not stay hidden with nothing left open.
      SetVisible(MainWindow(), true);
      break;
  }
  return FormProc(w, msg, wp, lp);
}

const FormDesc kGuideWindow = {
    kGuideWindowClass,
    "",
    WS_POPUP | WS_DLGFRAME,
    0,
    732,
    1069,
    GuideProc,
    GuideCreated,
    kControls,
    static_cast<int>(std::size(kControls)),
};

}  // namespace

void OpenGuideWindow(const ByteBlock& picture) {
  RegisterPictureBox();
  auto state = std::make_unique<GuideState>();
  state->picture = picture;
  OpenModal(kGuideWindow, std::move(state));
}

HWND GuideWindow() { return FindForm(kGuideWindowClass); }

void OnDriverClicked(HWND) {
  StartFile((ProgramDirectory() + kDriverInstaller).c_str());
  OpenGuideWindow(kGuidePicture);
}
