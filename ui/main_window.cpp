#include "ui/main_window.h"

#include "app/globals.h"
#include "selection/choose.h"
#include "selection/drop_receiver.h"
#include "services/files.h"
#include "services/forms.h"
#include "ui/handlers.h"
#include "ui/link_box.h"

const char kMainWindowClass[] = "QuelvarMainWindow";

namespace {

constexpr COLORREF kPathTextColour = RGB(13, 91, 162);
constexpr DWORD kBigButton = BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE;
constexpr DWORD kSuperButton = BS_OWNERDRAW;
constexpr DWORD kPathBox = ES_LEFT | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | ES_READONLY;

// clang-format off
const ControlDesc kControls[] = {
    {超级按钮2, "BUTTON", "联系专业客服", 106, 178, 94, 24, kSuperButton, 0, kVisible | kTabStop, -15, false},
    {超级按钮1, "BUTTON", "联系奎尔瓦", 14, 178, 81, 24, kSuperButton, 0, kVisible | kTabStop, -15, false},
    {超级链接框1, kLinkBoxClass, "打开淘宝店铺首页", 279, 178, 132, 24, 0, 0, kVisible, -15, true},
    {装逼, "BUTTON", "开启超级装逼模式", 216, 10, 189, 56, kBigButton, 0, kVisible | kTabStop, -20, false},
    {编辑框1, "EDIT", "可直接拖放到此处.....", 107, 83, 203, 80, kPathBox, WS_EX_CLIENTEDGE, kVisible | kTabStop, -18, false},
    {选择, "BUTTON", "选择固件", 12, 83, 85, 80, kBigButton, 0, kVisible | kTabStop, -27, false},
    {刷新, "BUTTON", "刷新固件", 320, 83, 85, 80, kBigButton, 0, kVisible | kDisabled | kTabStop, -27, false},
    {驱动, "BUTTON", "安装驱动", 12, 10, 188, 56, kBigButton, 0, kVisible | kTabStop, -20, false},
};
// clang-format on

void MainWindowCreated(HWND w) { g_receiver->Attach(w, DropCallback); }

// A flat button: a thin frame, sunken while pressed, and no focus rectangle.
void DrawSuperButton(const DRAWITEMSTRUCT& item) {
  RECT r = item.rcItem;
  bool pressed = item.itemState & ODS_SELECTED;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  DrawEdge(item.hDC, &r, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  char caption[128] = {};
  GetWindowTextA(item.hwndItem, caption, sizeof caption);
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0));
  SelectScope selectFont(item.hDC, font);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC,
               GetSysColor(item.itemState & ODS_DISABLED ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  if (pressed) OffsetRect(&r, 1, 1);
  DrawTextA(item.hDC, caption, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// F1: the help file named like the program file, with ".HLP", in the current directory.
void ShowHelp(HWND w) {
  char module[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, module, sizeof module);
  Text name = module + ProgramDirectory().size() + 1;
  size_t dot = name.rfind('.');
  if (dot != Text::npos) name.resize(dot);
  name += ".HLP";
  if (!FindFile(name.c_str()).name.empty()) WinHelpA(w, name.c_str(), HELP_FINDER, 0);
}

void OnCommand(HWND w, int id, int code) {
  switch (id) {
    case 选择: OnChooseClicked(w); break;
    case 刷新: OnFlashClicked(w); break;
    case 驱动: OnDriverClicked(w); break;
    case 装逼: OnJokeClicked(w); break;
    case 超级按钮2: OnSupportClicked(w); break;
    case 超级按钮1: OnMakerClicked(w); break;
    case 超级链接框1:
      if (code == kLinkPressed) OnShopLinkPressed(GetDlgItem(w, id));
      break;
  }
}

LRESULT CALLBACK MainWindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND: OnCommand(w, LOWORD(wp), HIWORD(wp)); return 0;
    case WM_DRAWITEM: DrawSuperButton(*reinterpret_cast<DRAWITEMSTRUCT*>(lp)); return TRUE;
    case WM_CTLCOLORSTATIC:  // a read-only edit control asks with this message
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lp)) == 编辑框1) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, kPathTextColour);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_HELP: ShowHelp(w); return TRUE;
  }
  return FormProc(w, msg, wp, lp);
}

const FormDesc kMainWindow = {
    kMainWindowClass,
    "奎尔瓦固件刷新器",
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    WS_EX_APPWINDOW | WS_EX_CONTROLPARENT,
    424,
    241,
    MainWindowProc,
    MainWindowCreated,
    kControls,
    static_cast<int>(std::size(kControls)),
};

}  // namespace

HWND CreateMainWindow() {
  RegisterLinkBox();
  return CreateForm(kMainWindow, nullptr);
}

HWND MainWindow() { return FindForm(kMainWindowClass); }

HWND MainControl(int id) { return GetDlgItem(MainWindow(), id); }
