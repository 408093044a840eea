// Writes what is on screen: every visible top-level window with its title, class,
// frame and client rectangles in screen pixels, and its visible child controls with
// their texts. Only reads; the acceptance driver clicks through the X display.
// Usage: screen_reader OUTPUT.txt
//        screen_reader OUTPUT.txt HWND   the rows of the console shown in window HWND:
//   L text full     (full: the row's last cell is taken, the line wraps into the next row)
// Lines (tab-separated, texts as "x" and the hex digits of their UTF-8):
//   W hwnd pid class title wx wy ww wh cx cy cw ch image   (image: the owner's exe path)
//   C hwnd id class text x y w h enabled     (a child of the W line before)
#include <windows.h>

#include <tlhelp32.h>

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

// Attaches to each process in turn until one shares the console that the window shows.
bool AttachConsoleOf(HWND window) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snap, &entry); more && !found;
       more = Process32NextW(snap, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    FreeConsole();
    found = AttachConsole(entry.th32ProcessID) && GetConsoleWindow() == window;
  }
  CloseHandle(snap);
  if (!found) FreeConsole();
  return found;
}

bool WriteConsoleText(HWND window) {
  if (!AttachConsoleOf(window)) return false;
  HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(screen, &info)) return false;
  std::wstring line(info.dwSize.X, L' ');
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, &line[0], info.dwSize.X, {0, y}, &read);
    std::wstring text = line.substr(0, read);
    bool full = !text.empty() && text.back() != L' ';  // the line goes on in the next row
    while (!text.empty() && text.back() == L' ') text.pop_back();
    fprintf(out, "L\t%s\t%d\n", Hex(text).c_str(), full ? 1 : 0);
  }
  CloseHandle(screen);
  FreeConsole();
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring tmp = std::wstring(argv[1]) + L".part";
  out = _wfopen(tmp.c_str(), L"wb");
  if (!out) return 1;
  bool ok = true;
  if (argc > 2)
    ok = WriteConsoleText(reinterpret_cast<HWND>(static_cast<UINT_PTR>(_wtoi64(argv[2]))));
  else
    EnumWindows(Top, 0);
  fclose(out);
  if (!ok) return 1;
  // Whole or nothing for the reader on the other side.
  return MoveFileExW(tmp.c_str(), argv[1], MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
