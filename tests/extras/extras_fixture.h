#pragma once
// What the extras tests share: the program's frame and main window as the entry routine
// makes them, a logging stand-in for outside programs, and a private classes root.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// Ends a test that hangs in a modal loop: once the time is up it answers every open
// message box and closes the guide and joke windows, over and over, until it is destroyed.
class Watchdog {
 public:
  explicit Watchdog(int timeoutMs);
  ~Watchdog();
  bool fired() const { return fired_; }

 private:
  std::atomic<bool> fired_{false}, stop_{false};
  std::thread thread_;
};

// The runtime, the drop receiver and the main window, made once; each test starts with
// the main window shown and enabled and no modal window open, and fails rather than
// hangs when a modal loop never ends.
class ExtrasTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  std::unique_ptr<Watchdog> watchdog_;
};

// Runs the function inside the running message loop once the window is shown and no
// message box is open.
void RunWhenShown(HWND (*window)(), std::function<void()> function);

// Closes the main window and makes a new one, with a new drop receiver, as at start.
void RestartMainWindow();

// Presses a button of the main window as a click does; returns when its handler is done.
void Click(HWND button);

std::string ReadFileBytes(const std::string& path);

// A copy of the logging stand-in (tests/extras/logger.cpp) at a path relative to the test
// program's folder; every start of it adds a line "command line<TAB>current folder".
// The copy, its log and the folders made for it go when it goes.
class LoggerCopy {
 public:
  explicit LoggerCopy(const std::string& relativePath);
  ~LoggerCopy();
  const std::string& path() const { return path_; }
  std::string Quoted() const { return "\"" + path_ + "\""; }
  struct Start {
    std::string commandLine, folder;
  };
  std::vector<Start> Starts() const;
  // Waits (pumping messages) until at least n starts are logged.
  std::vector<Start> WaitForStarts(size_t n, int timeoutMs = 5000) const;

 private:
  std::string path_, log_;
  std::vector<std::string> madeFolders_;
};

// Points this process's HKEY_CLASSES_ROOT at an empty key of its own under
// HKEY_CURRENT_USER\Software\Classes for as long as it lives, so that the shell and the
// program see only the classes a test registers. Everything is removed afterwards.
class PrivateClasses {
 public:
  PrivateClasses();
  ~PrivateClasses();
  // The default value of a key below the private root.
  void SetDefault(const std::string& key, const std::string& value);

 private:
  HKEY root_ = nullptr;
};

// The pixel at a point of a window's client area, as drawn (BGR as COLORREF).
COLORREF ClientPixel(HWND w, int x, int y);
// The pixel at a point of the screen.
COLORREF ScreenPixel(int x, int y);

// Drags with the real mouse: press at the screen point, move by (dx, dy), release.
void MouseDrag(POINT from, int dx, int dy);
