#pragma once
// Test helpers that drive the program's real windows and message boxes.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Runs the thread's messages for about ms milliseconds.
void PumpFor(int ms);

// Pumps messages until the condition holds or the time is up; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Waits on another thread for the program's message boxes (caption "信息：") and answers
// them in order with the given buttons (IDOK, IDYES, IDNO ...), recording each text, so
// that the program's own modal loops run for real.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(std::vector<int> buttons, int delayMs = 0, DWORD processId = 0);
  ~MessageBoxAnswerer();
  // Waits until every box has been answered (or the time is up); the texts seen so far.
  std::vector<std::string> Finish(int timeoutMs = 10000);
  int answered() const { return answered_; }

 private:
  void Run();
  std::vector<int> buttons_;
  int delayMs_;
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
