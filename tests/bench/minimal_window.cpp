// The smallest one-window Win32 program: the start-up baseline for the benchmark.
#include <windows.h>

static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(w, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = "MinimalWindow";
  RegisterClassA(&wc);
  CreateWindowExA(0, "MinimalWindow", "minimal", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 263, 424,
                  241, nullptr, nullptr, instance, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
