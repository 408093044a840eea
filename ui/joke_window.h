#pragma once
// The joke window: a fake progress count up to 99 %, a chain of mock failures, and a
// button that ends the joke.
#include <windows.h>

extern const char kJokeWindowClass[];

namespace joke {
// Control ids, by the names the controls have in the window's design.
enum Control {
  按钮1 = 301,  // apology button
  标签2,        // result label
  标签1,        // progress label
};
constexpr int kFastPeriod = 50;    // ms, up to 90 %
constexpr int kSlowPeriod = 300;   // ms, from 91 % on
constexpr int kFinaleTick = 99;
constexpr int kFinaleWaitMs = 2500;
}  // namespace joke

// The joke window, or null when none is open.
HWND JokeWindow();

// The period the joke window's tick timer runs with now; 0 when it is stopped.
int JokeTimerPeriod(HWND joke);
