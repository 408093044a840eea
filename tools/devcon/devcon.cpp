// Device finder for the reflash script: "find @PATTERN..." lists the present devices
// whose instance ID matches one of the patterns.
//
// Standard output is read by the script: a matching device gives a line that begins with
// its instance ID; no match gives the single line "No matching devices found.". Errors go
// to standard error only, so that the script never takes an error text for a device.
#include <windows.h>

#include <cstdio>
#include <setupapi.h>
#include <string>
#include <vector>

#include "tools/devcon/match.h"

// No wildcard expansion of the arguments: "*" in a pattern must reach the matcher.
int _dowildcard = 0;

namespace {

const char kUsage[] =
    "Usage: devcon find @PATTERN [@PATTERN...]\n"
    "Lists the present devices whose instance ID matches a pattern. Letter case is\n"
    "ignored; * matches any run of characters, ? matches one character.\n"
    "Example: devcon find @usb\\vid_03eb&pid_2ff4*\n";

int Usage() {
  fputs(kUsage, stderr);
  return 1;
}

bool IsFindCommand(const char* s) { return lstrcmpiA(s, "find") == 0; }

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA* info) {
  std::vector<char> buf(256);  // IDs are at most 200 characters
  DWORD needed = 0;
  if (!SetupDiGetDeviceInstanceIdA(set, info, buf.data(), static_cast<DWORD>(buf.size()),
                                   &needed)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    buf.resize(needed + 1);
    if (!SetupDiGetDeviceInstanceIdA(set, info, buf.data(), static_cast<DWORD>(buf.size()),
                                     nullptr))
      return {};
  }
  return buf.data();
}

// The friendly name when the device has one, else its description; "" when neither.
std::string Description(HDEVINFO set, SP_DEVINFO_DATA* info) {
  for (DWORD property :
       {static_cast<DWORD>(SPDRP_FRIENDLYNAME), static_cast<DWORD>(SPDRP_DEVICEDESC)}) {
    std::vector<BYTE> buf(512);
    DWORD type = 0, needed = 0;
    BOOL ok = SetupDiGetDeviceRegistryPropertyA(set, info, property, &type, buf.data(),
                                                static_cast<DWORD>(buf.size()), &needed);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      buf.resize(needed + 1);
      ok = SetupDiGetDeviceRegistryPropertyA(set, info, property, &type, buf.data(),
                                             static_cast<DWORD>(buf.size()), nullptr);
    }
    if (ok && type == REG_SZ) {
      buf.push_back(0);
      std::string text(reinterpret_cast<const char*>(buf.data()));
      if (!text.empty()) return text;
    }
  }
  return {};
}

int Find(const std::vector<const char*>& patterns) {
  HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "devcon: cannot list the devices (error %lu)\n", GetLastError());
    return 2;
  }
  unsigned found = 0;
  SP_DEVINFO_DATA info;
  info.cbSize = sizeof(info);
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
    std::string id = InstanceId(set, &info);
    if (id.empty()) continue;
    bool match = false;
    for (const char* p : patterns) match = match || devcon::MatchInstanceId(p, id.c_str());
    if (!match) continue;
    std::string desc = Description(set, &info);
    if (desc.empty())
      printf("%s\n", id.c_str());
    else
      printf("%s: %s\n", id.c_str(), desc.c_str());
    ++found;
  }
  DWORD error = GetLastError();
  SetupDiDestroyDeviceInfoList(set);
  if (error != ERROR_NO_MORE_ITEMS) {
    fflush(stdout);
    fprintf(stderr, "devcon: listing the devices failed (error %lu)\n", error);
    return 2;
  }
  if (found)
    printf("%u matching device(s) found.\n", found);
  else
    printf("No matching devices found.\n");
  return fflush(stdout) == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || !IsFindCommand(argv[1])) return Usage();
  std::vector<const char*> patterns;
  for (int i = 2; i < argc; ++i) {
    if (argv[i][0] != '@' || argv[i][1] == '\0') return Usage();
    patterns.push_back(argv[i] + 1);
  }
  return Find(patterns);
}
