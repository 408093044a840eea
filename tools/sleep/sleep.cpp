// Pauses for a number of milliseconds: "sleep 100" waits 0.1 s. The reflash script calls
// it once per detection pass, so milliseconds keep a pass short.
#include <windows.h>

#include <cstdio>

int _dowildcard = 0;

namespace {

const char kUsage[] =
    "Usage: sleep MILLISECONDS\n"
    "Waits the given number of milliseconds (a whole number from 0 to 4294967294),\n"
    "for example \"sleep 100\" waits 0.1 seconds.\n";

// Plain decimal digits only; false for anything else or a value that does not fit.
bool ParseMilliseconds(const char* s, DWORD* out) {
  unsigned long long value = 0;
  if (!*s) return false;
  for (; *s; ++s) {
    if (*s < '0' || *s > '9') return false;
    value = value * 10 + static_cast<unsigned>(*s - '0');
    if (value >= INFINITE) return false;  // INFINITE would never return
  }
  *out = static_cast<DWORD>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  DWORD ms = 0;
  if (argc != 2 || !ParseMilliseconds(argv[1], &ms)) {
    fputs(kUsage, stderr);
    return 1;
  }
  Sleep(ms);
  return 0;
}
