#include "tests/support/harness.h"

#include <chrono>
#include <map>

void PumpFor(int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;  // the tests look for WM_QUIT themselves
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

bool PumpUntil(const std::function<bool()>& condition, int timeoutMs) {
  DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
  while (!condition()) {
    if (static_cast<LONG>(end - GetTickCount()) <= 0) return condition();
    PumpFor(10);
  }
  return true;
}

namespace {

struct TopLevelSearch {
  DWORD pid;
  const char* cls;
  const std::function<bool(HWND)>* also;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND w, LPARAM lp) {
  auto& s = *reinterpret_cast<TopLevelSearch*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (owner == s.pid && lstrcmpA(cls, s.cls) == 0 && IsWindowVisible(w) &&
      (!*s.also || (*s.also)(w))) {
    s.found = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindTopLevelWindow(DWORD processId, const char* windowClass,
                        const std::function<bool(HWND)>& also) {
  TopLevelSearch search{processId, windowClass, &also, nullptr};
  EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindMessageBox(DWORD processId) {
  return FindTopLevelWindow(processId ? processId : GetCurrentProcessId(), "#32770",
                            [](HWND w) { return WindowText(w) == "信息："; });
}

std::string MessageBoxText(HWND box) {
  return WindowText(GetDlgItem(box, 0xFFFF));  // the static control that holds the text
}

std::string WindowText(HWND w) {
  char text[4096] = {};
  // WM_GETTEXT works across processes; GetWindowText does not for other processes' controls.
  SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      2000, nullptr);
  return text;
}

RECT WindowRect(HWND w) {
  RECT r = {};
  GetWindowRect(w, &r);
  return r;
}

namespace {

std::vector<BoxAnswer> SameDelay(const std::vector<int>& buttons, int delayMs) {
  std::vector<BoxAnswer> answers;
  for (int button : buttons) answers.push_back({button, delayMs, nullptr});
  return answers;
}

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<int> buttons, int delayMs, DWORD processId)
    : MessageBoxAnswerer(SameDelay(buttons, delayMs), processId, 0) {}

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<BoxAnswer> answers, DWORD processId, int)
    : answers_(std::move(answers)),
      processId_(processId ? processId : GetCurrentProcessId()),
      thread_([this] { Run(); }) {}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void MessageBoxAnswerer::Run() {
  for (const BoxAnswer& answer : answers_) {
    int button = answer.button;
    HWND box = nullptr;
    while (!stop_ && !(box = FindMessageBox(processId_))) Sleep(20);
    if (stop_) return;
    if (answer.observe) answer.observe(box);
    Sleep(static_cast<DWORD>(answer.delayMs));
    texts_.push_back(MessageBoxText(box));
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    while (!stop_ && IsWindow(box)) Sleep(10);
    ++answered_;
  }
}

std::vector<std::string> MessageBoxAnswerer::Finish(int timeoutMs) {
  DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
  while (answered_ < static_cast<int>(answers_.size()) &&
         static_cast<LONG>(end - GetTickCount()) > 0)
    PumpFor(20);
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return texts_;
}

namespace {

std::map<UINT_PTR, std::function<void()>>& PendingRuns() {
  static std::map<UINT_PTR, std::function<void()>> runs;
  return runs;
}

void CALLBACK RunPending(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  auto& runs = PendingRuns();
  auto found = runs.find(id);
  if (found == runs.end()) return;
  std::function<void()> function = std::move(found->second);
  runs.erase(found);
  function();
}

}  // namespace

void RunInLoop(std::function<void()> function, int delayMs) {
  UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(delayMs > 0 ? delayMs : 1), RunPending);
  if (id) PendingRuns()[id] = std::move(function);
}

HWND FindProcessWindow(DWORD processId, const char* windowClass) {
  return FindTopLevelWindow(processId, windowClass);
}

std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}
