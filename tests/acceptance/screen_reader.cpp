// Writes what is on screen: every visible top-level window with its title, class,
// frame and client rectangles in screen pixels, and its visible child controls with
// their texts. Only reads; the acceptance driver clicks through the X display.
// Usage: screen_reader OUTPUT.txt
// Lines (tab-separated, texts as "x" and the hex digits of their UTF-8):
//   W hwnd pid class title wx wy ww wh cx cy cw ch image   (image: the owner's exe path)
//   C hwnd id class text x y w h enabled     (a child of the W line before)
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

FILE* out = nullptr;

std::string Hex(const std::wstring& w) {
  std::string s = "x";
  if (w.empty()) return s;
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string u(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &u[0], n, nullptr, nullptr);
  static const char digits[] = "0123456789abcdef";
  for (unsigned char c : u) {
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

std::wstring Text(HWND h) {
  wchar_t buf[4096] = {};
  // WM_GETTEXT reaches edit controls of other processes too.
  SendMessageTimeoutW(h, WM_GETTEXT, 4096, (LPARAM)buf, SMTO_ABORTIFHUNG, 1000, nullptr);
  return buf;
}

std::wstring Image(DWORD pid) {
  wchar_t buf[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (p) {
    if (!QueryFullProcessImageNameW(p, 0, buf, &size)) buf[0] = 0;
    CloseHandle(p);
  }
  return buf;
}

std::wstring Class(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

BOOL CALLBACK Child(HWND h, LPARAM) {
  if (!IsWindowVisible(h)) return TRUE;
  RECT r;
  GetWindowRect(h, &r);
  fprintf(out, "C\t%llu\t%d\t%s\t%s\t%ld\t%ld\t%ld\t%ld\t%d\n", (unsigned long long)(UINT_PTR)h,
          GetDlgCtrlID(h), Hex(Class(h)).c_str(), Hex(Text(h)).c_str(), r.left, r.top,
          r.right - r.left, r.bottom - r.top, IsWindowEnabled(h) ? 1 : 0);
  return TRUE;
}

BOOL CALLBACK Top(HWND h, LPARAM) {
  if (!IsWindowVisible(h)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  RECT w, c;
  GetWindowRect(h, &w);
  GetClientRect(h, &c);
  POINT origin = {0, 0};
  ClientToScreen(h, &origin);
  fprintf(out, "W\t%llu\t%lu\t%s\t%s\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%s\n",
          (unsigned long long)(UINT_PTR)h, pid, Hex(Class(h)).c_str(), Hex(Text(h)).c_str(), w.left,
          w.top, w.right - w.left, w.bottom - w.top, origin.x, origin.y, c.right, c.bottom, Hex(Image(pid)).c_str());
  EnumChildWindows(h, Child, 0);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring tmp = std::wstring(argv[1]) + L".part";
  out = _wfopen(tmp.c_str(), L"wb");
  if (!out) return 1;
  EnumWindows(Top, 0);
  fclose(out);
  // Whole or nothing for the reader on the other side.
  return MoveFileExW(tmp.c_str(), argv[1], MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
