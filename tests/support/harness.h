#pragma once
// Test helpers that drive the program's real windows and message boxes.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Runs the thread's messages for about ms milliseconds.
void PumpFor(int ms);

// Pumps messages until the condition holds or the time is up; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// One box to answer: the button, how long to leave the box open first, and an optional
// look at the program while the box is open (run on the answering thread before the wait).
struct BoxAnswer {
  int button;
  int delayMs;
  std::function<void(HWND box)> observe;
};

// Waits on another thread for the program's message boxes (caption "信息：") and answers
// them in order with the given buttons (IDOK, IDYES, IDNO ...), recording each text, so
// that the program's own modal loops run for real.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(std::vector<int> buttons, int delayMs = 0, DWORD processId = 0);
  // Each box with its own delay and look; a named maker, so that a braced list of buttons
  // still means the constructor above.
  static MessageBoxAnswerer Scripted(std::vector<BoxAnswer> answers, DWORD processId = 0) {
    return MessageBoxAnswerer(std::move(answers), processId, 0);
  }
  ~MessageBoxAnswerer();
  // Waits until every box has been answered (or the time is up); the texts seen so far.
  std::vector<std::string> Finish(int timeoutMs = 10000);
  int answered() const { return answered_; }

 private:
  MessageBoxAnswerer(std::vector<BoxAnswer> answers, DWORD processId, int);
  void Run();
  std::vector<BoxAnswer> answers_;
  DWORD processId_;
  std::vector<std::string> texts_;
  std::atomic<int> answered_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The open message box of the process, or null.
HWND FindMessageBox(DWORD processId = 0);
std::string MessageBoxText(HWND box);

std::string WindowText(HWND w);
RECT WindowRect(HWND w);

// A visible top-level window of that class belonging to the process, for which `also`
// holds when given, or null.
HWND FindTopLevelWindow(DWORD processId, const char* windowClass,
                        const std::function<bool(HWND)>& also = {});
// A visible top-level window of that class belonging to the process, or null.
HWND FindProcessWindow(DWORD processId, const char* windowClass);

// The Windows name of a path handed over from the build: a Unix path gets drive Z:.
std::string WindowsPath(std::string path);

// Runs the function once on this thread after about delayMs, inside whichever message
// loop is running then (a modal window's or a message box's).
void RunInLoop(std::function<void()> function, int delayMs = 0);
