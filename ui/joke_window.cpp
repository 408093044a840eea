#include "ui/joke_window.h"

#include <iterator>
#include <memory>

#include "app/globals.h"
#include "services/forms.h"
#include "services/message_box.h"
#include "services/process.h"
#include "services/text.h"
#include "ui/handlers.h"
#include "ui/main_window.h"

const char kJokeWindowClass[] = "QuelvarJokeWindow";

namespace {

constexpr COLORREF kLabelTextColour = RGB(13, 91, 162);
constexpr DWORD kLabel = SS_OWNERDRAW;
constexpr DWORD kButton = BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE;

// clang-format off
const ControlDesc kControls[] = {
    {joke::按钮1, "BUTTON", "逗你玩下！别生气！", 96, 112, 184, 32, kButton, 0, kTabStop, 0, false},
    {joke::标签2, "STATIC", "", 18, 40, 336, 80, kLabel, 0, kVisible, -20, false},
    {joke::标签1, "STATIC", "", 18, 40, 336, 80, kLabel, 0, kVisible, -20, false},
};
// clang-format on

struct JokeState : Form {
  Timer timer;
};

void JokeCreated(HWND w) {
  SetVisible(MainWindow(), false);
  JokeState* state = StateOf<JokeState>(w);
  state->timer.Attach(w);
  state->timer.SetPeriod(joke::kFastPeriod);
  g_jokeCounter = 0;
}

// Sets the result label's text and draws it before the thread blocks in a wait.
void ShowResult(HWND w, const char* text) {
  HWND label = GetDlgItem(w, joke::标签2);
  SetText(label, text);
  UpdateWindow(label);
}

// Each step ends early when the window has gone meanwhile (the message boxes run
// nested message loops).
void RunFinale(HWND w) {
  SetVisible(GetDlgItem(w, joke::标签1), false);
  SetVisible(GetDlgItem(w, joke::标签2), true);
  ShowMessage("开启超级装逼模式失败...正在偿试重试！！");
  if (!IsWindow(w)) return;
  ShowResult(w, "重启超级装逼模式.....");
  SleepMs(joke::kFinaleWaitMs);
  ShowMessage("出现错误，系统已经崩溃");
  if (!IsWindow(w)) return;
  ShowResult(w, "由于人品原因，开启超级装逼模式失败...正在加载逗逼模式！！");
  SleepMs(joke::kFinaleWaitMs);
  if (ShowMessage("是否进入逗逼模式", kYesNo) == kPressedYes) {
    if (!IsWindow(w)) return;
    ShowResult(w, "此时此刻逗逼的你，高处不胜寒！！");
  } else {
    ShowMessage("强行无理由进入逗逼模式！！");
    if (!IsWindow(w)) return;
    ShowResult(w, "哈哈哈哈哈哈！！让你装逼，被整了吧");
  }
  SetVisible(GetDlgItem(w, joke::按钮1), true);
}

void OnTick(HWND w) {
  int n = ++g_jokeCounter;
  Text progress = "正在开启超级装逼模式，请稍候..." + IntegerToText(n) + "%";
  if (n <= 90) {
    SetVisible(GetDlgItem(w, joke::标签2), false);
    SetText(GetDlgItem(w, joke::标签1), progress.c_str());
  } else {
    SetText(GetDlgItem(w, joke::标签1), progress.c_str());
    StateOf<JokeState>(w)->timer.SetPeriod(joke::kSlowPeriod);  // a no-op after tick 91
  }
  if (n == joke::kFinaleTick) RunFinale(w);
}

void OnApologyClicked(HWND w) {
  DestroyForm(w);
  SetVisible(MainWindow(), true);
}

void DrawLabel(const DRAWITEMSTRUCT& item) {
  RECT r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  int length = GetWindowTextLengthA(item.hwndItem);
  Text text(static_cast<size_t>(length) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(item.hwndItem, &text[0], length + 1)));
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0));
  SelectScope selectFont(item.hDC, font);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, kLabelTextColour);
  DrawTextA(item.hDC, text.c_str(), -1, &r, DT_CENTER | DT_NOCLIP | DT_WORDBREAK | DT_VCENTER);
}

LRESULT CALLBACK JokeProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TIMER:
      if (wp == Timer::kId) OnTick(w);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == joke::按钮1 && HIWORD(wp) == BN_CLICKED) OnApologyClicked(w);
      return 0;
    case WM_DRAWITEM: DrawLabel(*reinterpret_cast<DRAWITEMSTRUCT*>(lp)); return TRUE;
    case WM_CLOSE:
      // A keyboard close: the main window must not stay hidden with nothing left open.
      SetVisible(MainWindow(), true);
      break;
  }
  return FormProc(w, msg, wp, lp);
}

const FormDesc kJokeWindow = {
    kJokeWindowClass,
    "",
    WS_POPUP | WS_DLGFRAME,
    0,
    380,
    149,
    JokeProc,
    JokeCreated,
    kControls,
    static_cast<int>(std::size(kControls)),
};

}  // namespace

HWND JokeWindow() { return FindForm(kJokeWindowClass); }

int JokeTimerPeriod(HWND joke) {
  if (!joke || joke != JokeWindow()) return 0;
  return StateOf<JokeState>(joke)->timer.period();
}

void OnJokeClicked(HWND mainWindow) {
  SetAlwaysOnTop(mainWindow, false);
  if (ShowMessage("是否确定开启超级装逼模式？？？", kYesNo) == kPressedYes)
    OpenModal(kJokeWindow, std::make_unique<JokeState>());
  else
    ShowMessage("额，联今日状态欠佳，装逼不在线，改日再战！");
}
