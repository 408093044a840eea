// Prints timings (it asserts nothing):
//   bench startup PROGRAM BASELINE   start until the first visible window, median of runs
//   bench generate                   writing the reflash script vs copying a file as big
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "flashing/flash.h"
#include "services/files.h"

namespace {

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND w, LPARAM lp) {
  auto& s = *reinterpret_cast<Search*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  if (owner == s.pid && IsWindowVisible(w) && !GetWindow(w, GW_OWNER) &&
      GetWindowTextLengthA(w) > 0) {
    s.found = w;
    return FALSE;
  }
  return TRUE;
}

HWND VisibleWindowOf(DWORD pid) {
  Search s{pid, nullptr};
  EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

double StartUntilVisible(const std::string& exe) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string command = "\"" + exe + "\"";
  double start = Now();
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return -1;
  HWND w = nullptr;
  while (!(w = VisibleWindowOf(pi.dwProcessId)) && Now() - start < 30000) Sleep(1);
  double took = Now() - start;
  PostMessageA(w, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return w ? took : -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int Startup(const std::string& program, const std::string& baseline) {
  const int runs = 11;
  std::vector<double> a, b;
  StartUntilVisible(program);  // the first start of a run warms Wine's caches for both
  StartUntilVisible(baseline);
  for (int i = 0; i < runs; ++i) {
    a.push_back(StartUntilVisible(program));
    b.push_back(StartUntilVisible(baseline));
  }
  double ma = Median(a), mb = Median(b);
  std::printf(
      "start to visible window, median of %d: program %.1f ms, minimal window %.1f ms, ratio "
      "%.2f\n",
      runs, ma, mb, mb > 0 ? ma / mb : 0.0);
  return 0;
}

int Generate() {
  Text bin = ProgramDirectory() + "\\bin";
  CreateDirectoryA(bin.c_str(), nullptr);
  const char* firmware = "C:\\Users\\me\\Desktop\\固件\\planck_rev6_default.hex";
  const int runs = 200;
  double t0 = Now();
  for (int i = 0; i < runs; ++i) WriteReflashScript(firmware);
  double generate = (Now() - t0) / runs;
  Text script = ReflashScriptPath(), copy = bin + "\\copy.bat";
  t0 = Now();
  for (int i = 0; i < runs; ++i) CopyFileA(script.c_str(), copy.c_str(), FALSE);
  double plainCopy = (Now() - t0) / runs;
  std::printf(
      "generate and write the script (%lu bytes): %.3f ms; plain copy of it: %.3f ms; ratio %.2f\n",
      GetFileSize(CreateFileA(script.c_str(), 0, 7, nullptr, OPEN_EXISTING, 0, nullptr), nullptr),
      generate, plainCopy, plainCopy > 0 ? generate / plainCopy : 0.0);
  DeleteFileA(copy.c_str());
  DeleteFileA(script.c_str());
  RemoveDirectoryA(bin.c_str());
  return 0;
}

std::string WindowsPath(std::string p) {
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "startup" && argc > 3) return Startup(WindowsPath(argv[2]), WindowsPath(argv[3]));
  if (mode == "generate") return Generate();
  std::fprintf(stderr, "usage: bench startup PROGRAM BASELINE | bench generate\n");
  return 1;
}
