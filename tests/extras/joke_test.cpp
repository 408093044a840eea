// The joke window, run for real: the question, the progress ticks, the finale's boxes
// (answered from another thread while the timer keeps ticking inside them) and the way
// back to the main window.
#include <windows.h>

#include <gtest/gtest.h>
#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/globals.h"
#include "services/forms.h"
#include "tests/extras/extras_fixture.h"
#include "tests/support/harness.h"
#include "ui/joke_window.h"
#include "ui/main_window.h"

namespace {

constexpr char kQuestion[] = "是否确定开启超级装逼模式？？？";
constexpr char kNotToday[] = "额，联今日状态欠佳，装逼不在线，改日再战！";
constexpr char kProgress[] = "正在开启超级装逼模式，请稍候...";
constexpr char kFailed[] = "开启超级装逼模式失败...正在偿试重试！！";
constexpr char kCrashed[] = "出现错误，系统已经崩溃";
constexpr char kEnterSilly[] = "是否进入逗逼模式";
constexpr char kForced[] = "强行无理由进入逗逼模式！！";
constexpr char kRestarting[] = "重启超级装逼模式.....";
constexpr char kLoadingSilly[] = "由于人品原因，开启超级装逼模式失败...正在加载逗逼模式！！";
constexpr char kColdAtTheTop[] = "此时此刻逗逼的你，高处不胜寒！！";
constexpr char kGotYou[] = "哈哈哈哈哈哈！！让你装逼，被整了吧";

HWND JokeControl(int id) { return GetDlgItem(FindWindowA(kJokeWindowClass, nullptr), id); }
bool Shown(HWND control) { return (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0; }

// The counter as the progress label shows it (it keeps counting while hidden).
int CounterShown() {
  std::string text = WindowText(JokeControl(joke::标签1));
  if (text.compare(0, sizeof kProgress - 1, kProgress) != 0) return -1;
  return std::atoi(text.c_str() + sizeof kProgress - 1);
}

// The joke window's state as seen from the answering thread while a finale box is open.
struct FinaleView {
  std::string result;
  bool resultShown, progressShown, apologyShown, mainVisible;
  bool operator==(const FinaleView& o) const {
    return result == o.result && resultShown == o.resultShown &&
           progressShown == o.progressShown && apologyShown == o.apologyShown &&
           mainVisible == o.mainVisible;
  }
};
std::ostream& operator<<(std::ostream& out, const FinaleView& v) {
  return out << "{\"" << v.result << "\" result " << v.resultShown << " progress "
             << v.progressShown << " apology " << v.apologyShown << " main " << v.mainVisible
             << "}";
}
FinaleView ViewNow() {
  return {WindowText(JokeControl(joke::标签2)), Shown(JokeControl(joke::标签2)),
          Shown(JokeControl(joke::标签1)), Shown(JokeControl(joke::按钮1)),
          IsWindowVisible(MainWindow()) != 0};
}

// What each tick found when it began: the counter, the progress text, the timer period
// and whether the result label was shown, recorded before the tick's WM_TIMER runs.
struct TickView {
  int counter;
  std::string progress;
  int period;
  bool resultShown;
};
std::vector<TickView> ticks;

LRESULT CALLBACK RecordTicks(int code, WPARAM wp, LPARAM lp) {
  const MSG* msg = reinterpret_cast<const MSG*>(lp);
  if (code == HC_ACTION && wp == PM_REMOVE && msg->message == WM_TIMER &&
      msg->wParam == Timer::kId && msg->hwnd == JokeWindow()) {
    char progress[256] = {};
    GetWindowTextA(GetDlgItem(msg->hwnd, joke::标签1), progress, sizeof progress);
    ticks.push_back({g_jokeCounter, progress, JokeTimerPeriod(msg->hwnd),
                     Shown(GetDlgItem(msg->hwnd, joke::标签2))});
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

class Joke : public ExtrasTest {
 protected:
  void SetUp() override {
    ExtrasTest::SetUp();
    ticks.clear();
    hook_ = SetWindowsHookExA(WH_GETMESSAGE, RecordTicks, nullptr, GetCurrentThreadId());
  }
  void TearDown() override {
    UnhookWindowsHookEx(hook_);
    ExtrasTest::TearDown();
  }
  HHOOK hook_ = nullptr;
};

TEST_F(Joke, NoToTheQuestionOpensNothing) {
  HWND main = MainWindow();
  SetWindowPos(main, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  bool topmostAtQuestion = true, jokeAtAnswer = true;
  auto answers = MessageBoxAnswerer::Scripted(
      {{IDNO, 0,
        [&](HWND) { topmostAtQuestion = GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST; }},
       {IDOK, 0, [&](HWND) { jokeAtAnswer = FindWindowA(kJokeWindowClass, nullptr); }}});
  Click(MainControl(装逼));
  EXPECT_EQ(answers.Finish(), (std::vector<std::string>{kQuestion, kNotToday}));
  EXPECT_FALSE(topmostAtQuestion);  // taken off always-on-top before asking
  EXPECT_FALSE(jokeAtAnswer);
  EXPECT_TRUE(ticks.empty());
  EXPECT_TRUE(IsWindowVisible(main));
}

struct FinaleCase {
  const char* name;
  int lastAnswer;
  bool holdFirstBox;  // keep the first finale box open for three seconds
  std::vector<std::string> boxes;
  std::vector<FinaleView> views;  // at each finale box, then at the end
};

TEST_F(Joke, ProgressThenTheFinaleInOrderThenTheApologyLeadsBack) {
  const FinaleView failed{"", true, false, false, false};
  const FinaleView restarting{kRestarting, true, false, false, false};
  const FinaleView loading{kLoadingSilly, true, false, false, false};
  const FinaleCase cases[] = {
      {"Yes to silly mode", IDYES, true, {kQuestion, kFailed, kCrashed, kEnterSilly},
       {failed, restarting, loading, {kColdAtTheTop, true, false, true, false}}},
      {"No to silly mode", IDNO, false, {kQuestion, kFailed, kCrashed, kEnterSilly, kForced},
       {failed, restarting, loading, loading, {kGotYou, true, false, true, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ticks.clear();
    std::vector<FinaleView> views;
    int heldFrom = 0, heldTo = 0, afterFirstBox = 0, atSecondBox = 0;
    DWORD firstAnswered = 0, secondSeen = 0;
    std::vector<BoxAnswer> script = {{IDYES, 0, nullptr}};
    script.push_back({IDOK, 0, [&](HWND) {
                        views.push_back(ViewNow());
                        heldFrom = CounterShown();
                        if (c.holdFirstBox) Sleep(3000);
                        heldTo = afterFirstBox = CounterShown();
                        firstAnswered = GetTickCount();
                      }});
    script.push_back({IDOK, 0, [&](HWND) {
                        secondSeen = GetTickCount();
                        atSecondBox = CounterShown();
                        views.push_back(ViewNow());
                      }});
    script.push_back({c.lastAnswer, 0, [&](HWND) { views.push_back(ViewNow()); }});
    if (c.lastAnswer == IDNO) script.push_back({IDOK, 0, [&](HWND) { views.push_back(ViewNow()); }});
    auto answers = MessageBoxAnswerer::Scripted(script);
    const size_t boxCount = script.size();

    // On the program's thread: once the apology button shows, look and press it.
    bool done = false;
    int extraBoxes = 0;
    std::function<void()> poll = [&] {
      if (done) return;
      if (HWND box = answers.answered() == static_cast<int>(boxCount) ? FindMessageBox() : nullptr) {
        ++extraBoxes;  // nothing more may ask; answer it so the run can end
        PostMessageA(box, WM_COMMAND, GetDlgItem(box, IDOK) ? IDOK : IDNO, 0);
      }
      if (JokeWindow() && Shown(JokeControl(joke::按钮1))) {
        done = true;
        views.push_back(ViewNow());
        Click(JokeControl(joke::按钮1));
        return;
      }
      RunInLoop(poll, 100);
    };
    RunInLoop(poll, 100);
    Click(MainControl(装逼));  // returns when the joke window is gone

    EXPECT_EQ(answers.Finish(), c.boxes);
    EXPECT_EQ(extraBoxes, 0);
    EXPECT_EQ(views, c.views);
    EXPECT_EQ(JokeWindow(), nullptr);
    EXPECT_TRUE(IsWindowVisible(MainWindow()));
    EXPECT_TRUE(IsWindowEnabled(MainWindow()));

    // Every tick up to the finale, none skipped or counted twice.
    std::map<int, TickView> first;
    for (const TickView& t : ticks) first.emplace(t.counter, t);
    for (int n = 0; n <= 98; ++n) EXPECT_EQ(first.count(n), 1u) << "tick " << n + 1;
    ASSERT_TRUE(first.count(7));
    EXPECT_EQ(first[7].progress, "正在开启超级装逼模式，请稍候...7%");
    for (const auto& [n, t] : first) {
      if (n >= 1) {
        EXPECT_EQ(t.progress, kProgress + std::to_string(n) + "%");
      }
      EXPECT_EQ(t.period, n <= 90 ? joke::kFastPeriod : joke::kSlowPeriod) << "after tick " << n;
      if (n >= 1 && n <= 90) {
        EXPECT_FALSE(t.resultShown) << "after tick " << n;
      }
    }
    // Inside the finale's boxes the timer goes on, past 99.
    if (c.holdFirstBox) {
      EXPECT_GE(heldFrom, 99);
      EXPECT_GE(heldTo - heldFrom, 5);   // about ten at 300 ms
      EXPECT_LE(heldTo - heldFrom, 20);  // far from the 60 that 50 ms would give
    }
    // The wait between the first two boxes blocks the thread: no ticks, no repaint.
    EXPECT_GE(static_cast<LONG>(secondSeen - firstAnswered), 2400);
    EXPECT_LE(atSecondBox - afterFirstBox, 3);  // a pumping wait would give eight
  }
}

TEST_F(Joke, AKeyboardCloseBringsTheMainWindowBack) {
  MessageBoxAnswerer answers({IDYES});
  RunWhenShown(JokeWindow, [] { PostMessageA(JokeWindow(), WM_CLOSE, 0, 0); });
  Click(MainControl(装逼));
  EXPECT_EQ(answers.Finish(), std::vector<std::string>{kQuestion});
  EXPECT_EQ(JokeWindow(), nullptr);
  EXPECT_TRUE(IsWindowVisible(MainWindow()));
  EXPECT_TRUE(IsWindowEnabled(MainWindow()));
}

}  // namespace
