// The window frame: message boxes, window creation, modal windows and their deferred
// destruction, timers, the end of the message loop and the exit routines.
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "services/forms.h"
#include "services/message_box.h"
#include "services/runtime.h"
#include "tests/support/harness.h"

namespace {

std::vector<std::string> events;
constexpr UINT kRunHandler = WM_APP + 1;

bool QuitPosted() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

void DrainQuit() {
  while (QuitPosted()) {
  }
}

LRESULT CALLBACK TestFormProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kRunHandler:  // a handler of the modal form that closes the form itself
      events.push_back("handler begins");
      DestroyForm(w);
      events.push_back(IsWindow(w) ? "form still there after destroy" : "form gone at once");
      PumpFor(50);  // even a nested loop inside the handler does not destroy it yet
      events.push_back(IsWindow(w) ? "form still there after pumping" : "form gone while pumping");
      events.push_back("handler ends");
      return 0;
    case WM_TIMER:
      if (wp == Timer::kId) events.push_back("tick");
      return 0;
    case WM_DESTROY: events.push_back("destroyed"); break;
  }
  return FormProc(w, msg, wp, lp);
}

void RecordCreated(HWND w) {
  events.push_back(IsWindowVisible(w) ? "created while visible" : "created before shown");
}

void CloseFromHandler(HWND w) {
  RecordCreated(w);
  PostMessageA(w, kRunHandler, 0, 0);
}

// clang-format off
const ControlDesc kButton[] = {
    {100, "BUTTON", "ok", 5, 6, 70, 20, BS_PUSHBUTTON, 0, kVisible | kDisabled | kTabStop, -15, false},
    {101, "BUTTON", "hidden", 5, 30, 70, 20, BS_PUSHBUTTON, 0, 0, 0, false},
};
// clang-format on

FormDesc TestForm(const char* cls, void (*created)(HWND)) {
  return {cls, "test", WS_POPUP | WS_DLGFRAME, 0, 300, 200, TestFormProc, created, kButton, 2};
}

class Frame : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitRuntime(); }
  void SetUp() override {
    events.clear();
    DrainQuit();
  }
  void TearDown() override {
    DestroyAllForms();
    PumpFor(20);
    DrainQuit();
  }
};

TEST_F(Frame, MessageBoxResultIsTheButtonCodeMinusOne) {
  struct Case {
    int kind, button, expected;
  } cases[] = {{kYesNo, IDYES, 5}, {kYesNo, IDNO, 6}, {kOk, IDOK, 0}};
  for (const auto& c : cases) {
    MessageBoxAnswerer answer({c.button});
    EXPECT_EQ(ShowMessage("是否继续？", c.kind), c.expected);
    auto texts = answer.Finish();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "是否继续？");
  }
}

TEST_F(Frame, FormIsCreatedHiddenWithItsControlsThenCentredAndShown) {
  HWND w = CreateForm(TestForm("FrameCreate", RecordCreated), nullptr);
  ASSERT_TRUE(w);
  ASSERT_EQ(events, std::vector<std::string>{"created before shown"});
  EXPECT_TRUE(IsWindowVisible(w));
  RECT r = WindowRect(w);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 300) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 200) / 2);
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_EQ(r.bottom - r.top, 200);
  HWND button = GetDlgItem(w, 100);
  EXPECT_FALSE(IsWindowEnabled(button));
  EXPECT_TRUE(GetWindowLongA(button, GWL_STYLE) & WS_TABSTOP);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, 101)));
  // A second creation only brings the existing form forward.
  EXPECT_EQ(CreateForm(TestForm("FrameCreate", RecordCreated), nullptr), w);
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(Frame, DestroyFromTheModalFormsOwnHandlerLetsTheHandlerFinishFirst) {
  HWND mainForm = CreateForm(TestForm("FrameMain", nullptr), nullptr);
  HWND disabledForm = CreateForm(TestForm("FrameOther", nullptr), nullptr);
  EnableWindow(disabledForm, FALSE);
  OpenModal(TestForm("FrameModal", [](HWND w) {
    CloseFromHandler(w);
    events.push_back(GetWindow(w, GW_OWNER) == ToolWindow() ? "owned by the tool window"
                                                            : "owned by another window");
  }));
  events.push_back("open-modal returned");
  EXPECT_EQ(FindForm("FrameModal"), nullptr);
  EXPECT_EQ(events, (std::vector<std::string>{"created before shown", "owned by the tool window",
                                              "handler begins", "form still there after destroy",
                                              "form still there after pumping", "handler ends",
                                              "destroyed", "open-modal returned"}));
  EXPECT_TRUE(IsWindowEnabled(mainForm));       // enabled again
  EXPECT_FALSE(IsWindowEnabled(disabledForm));  // back to its saved state
}

HWND observed;
bool mainEnabledDuring;

void CALLBACK LookFromInsideTheModalLoop(HWND form, UINT, UINT_PTR id, DWORD) {
  KillTimer(form, id);
  mainEnabledDuring = IsWindowEnabled(observed);
  DestroyForm(form);
}

TEST_F(Frame, ModalFormDisablesTheOtherWindowsWhileOpen) {
  HWND mainForm = CreateForm(TestForm("FrameMain", nullptr), nullptr);
  ShowWindow(mainForm, SW_HIDE);  // hidden windows are disabled too
  observed = mainForm;
  OpenModal(TestForm("FrameModal", [](HWND w) { SetTimer(w, 7, 20, LookFromInsideTheModalLoop); }));
  EXPECT_FALSE(mainEnabledDuring);
  EXPECT_TRUE(IsWindowEnabled(mainForm));
}

TEST_F(Frame, TimerPeriodRule) {
  HWND w = CreateForm(TestForm("FrameTimer", nullptr), nullptr);
  Timer timer(w);
  // Writing the same period over and over, more often than the period, keeps the phase:
  // the ticks still come. A restart on every write would never let one through.
  timer.SetPeriod(100);
  for (int i = 0; i < 20; ++i) {
    timer.SetPeriod(100);
    PumpFor(30);
  }
  EXPECT_GE(std::count(events.begin(), events.end(), "tick"), 3);

  timer.SetPeriod(-20);  // counts as 0: stopped
  EXPECT_EQ(timer.period(), 0);
  PumpFor(20);
  events.clear();
  PumpFor(250);
  EXPECT_TRUE(events.empty());

  timer.SetPeriod(40);
  PumpFor(300);
  EXPECT_GE(std::count(events.begin(), events.end(), "tick"), 3);
}

TEST_F(Frame, QuitIsPostedWhenTheLastFormIsGoneEvenIfOneWasHidden) {
  HWND a = CreateForm(TestForm("FrameA", nullptr), nullptr);
  HWND b = CreateForm(TestForm("FrameB", nullptr), nullptr);
  ShowWindow(b, SW_HIDE);
  DestroyForm(a);
  PumpFor(50);
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(QuitPosted());  // the hidden form still counts
  SendMessageA(b, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(b));
  EXPECT_TRUE(QuitPosted());
}

std::vector<std::string> exitOrder;
void ExitFirst() { exitOrder.push_back("first"); }
void ExitSecond() { exitOrder.push_back("second"); }

TEST_F(Frame, ExitRoutinesRunOnceInOrderOfRegistrationAfterTheWindowsAreGone) {
  static HWND form;
  form = CreateForm(TestForm("FrameExit", nullptr), nullptr);
  RegisterExitRoutine(ExitFirst);
  RegisterExitRoutine(ExitSecond);
  RegisterExitRoutine(ExitFirst);  // already registered: nothing changes
  RegisterExitRoutine([] { exitOrder.push_back(IsWindow(form) ? "form alive" : "forms gone"); });
  ShutdownRuntime();
  EXPECT_EQ(exitOrder, (std::vector<std::string>{"first", "second", "forms gone"}));
  EXPECT_EQ(ToolWindow(), nullptr);
  exitOrder.clear();
  ShutdownRuntime();  // the list has run: nothing runs twice
  EXPECT_TRUE(exitOrder.empty());
  InitRuntime();
}

}  // namespace
