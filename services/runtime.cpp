#include "services/runtime.h"

#include <memory>
#include <vector>

#include "services/files.h"
#include "services/forms.h"
#include "services/handles.h"

namespace {

constexpr char kToolWindowClass[] = "QuelvarToolWindow";

// The runtime's own resources for the whole run; the program's globals live in app/.
struct Runtime {
  std::unique_ptr<OleSession> ole;
  HWND toolWindow = nullptr;
  std::vector<void (*)()> exitRoutines;
};
Runtime runtime;

HWND CreateToolWindow() {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kToolWindowClass;
  RegisterClassExA(&wc);
  return CreateWindowExA(WS_EX_TOOLWINDOW, kToolWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                         nullptr, wc.hInstance, nullptr);
}

// The root window a keystroke belongs to, if it is one of the program's windows.
HWND FormOfMessage(const MSG& msg) {
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  return root && IsForm(root) ? root : nullptr;
}

}  // namespace

void InitRuntime() {
  runtime.ole = std::make_unique<OleSession>();
  SetCurrentDirectoryA(ProgramDirectory().c_str());
  if (!runtime.toolWindow) runtime.toolWindow = CreateToolWindow();
}

void ShutdownRuntime() {
  DestroyAllForms();
  // Routines registered while the list runs are not started: each runs once.
  std::vector<void (*)()> routines;
  routines.swap(runtime.exitRoutines);
  for (auto routine : routines) routine();
  if (runtime.toolWindow) DestroyWindow(runtime.toolWindow);
  runtime.toolWindow = nullptr;
  runtime.ole.reset();
}

HWND ToolWindow() { return runtime.toolWindow; }

void RegisterExitRoutine(void (*routine)()) {
  for (auto known : runtime.exitRoutines)
    if (known == routine) return;
  runtime.exitRoutines.push_back(routine);
}

bool PumpOneMessage() {
  MSG msg;
  if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  HWND form = FormOfMessage(msg);
  if (form && msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
    SendMessageA(form, WM_HELP, 0, 0);
    return true;
  }
  // Tab and arrow keys move between the controls as in a dialog.
  if (form && IsDialogMessageA(form, &msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void RunMessageLoop() {
  while (PumpOneMessage()) {
  }
  // Take the reposted WM_QUIT off the queue; the main loop is the outermost one.
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}
