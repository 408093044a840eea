#pragma once
// Shared pieces of the selection tests: drop handles as the shell makes them, the real
// main window created the way the entry routine creates it, and a message-box answerer
// that also looks at the main window while the box is up.
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

constexpr char kWrongDropMessage[] = "请拖入正确的hex固件";
constexpr char kPathBoxStartText[] = "可直接拖放到此处.....";

// A drop handle: a DROPFILES block in moveable global memory followed by the ANSI paths,
// each NUL-terminated, and the closing NUL (fWide = FALSE).
HDROP MakeDrop(const std::vector<std::string>& paths);

// True when the global memory handle has been freed.
bool HandleFreed(HDROP drop);

// The runtime is started once for the whole test program.
void StartRuntimeOnce();

// Drops the WM_QUIT that the runtime posts when the last window goes.
void DrainQuit();

// The main window with a fresh receiver, as the entry routine makes them; torn down
// with the program's own exit routine.
class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRuntimeOnce(); }
  void SetUp() override;
  void TearDown() override;

  // Sends the drop to the main window; the message boxes it raises are answered with OK.
  // Returns the texts of those boxes; each entry of pathBoxWhileShown (if given) is the
  // path box's text while the matching box was up.
  std::vector<std::string> Drop(const std::vector<std::string>& paths,
                                std::vector<std::string>* pathBoxWhileShown = nullptr);

  std::string PathBox() const;
  bool FlashEnabled() const { return IsWindowEnabled(flash_) != FALSE; }

  HWND main_ = nullptr;
  HWND pathBox_ = nullptr;
  HWND flash_ = nullptr;
};

// Answers every message box of the process with OK until stopped, recording its text
// and, when a look is given, what the look returns while the box is on screen.
class BoxWatcher {
 public:
  explicit BoxWatcher(std::function<std::string()> look = nullptr);
  ~BoxWatcher();
  // Stops watching; call it once the call that raised the boxes has returned.
  void Stop();
  std::vector<std::string> texts, looks;

 private:
  std::function<std::string()> look_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A folder of its own under the temporary folder, removed with everything in it.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name);
  ~TempFolder();
  const std::string& path() const { return path_; }
  // Creates a small file in the folder and returns its full path.
  std::string AddFile(const std::string& name, const std::string& content = ":00000001FF\r\n");

 private:
  std::string path_;
  std::vector<std::string> files_;
};
