// Converts an Intel HEX file to the raw image that the STM32 flashing tools take:
// "hex2bin FILE.hex" writes FILE.bin beside it (the last extension replaced, ".bin"
// appended to a name without one). Gaps are 0xFF; the image starts at the lowest address
// used. A bad file writes nothing: the image is built in memory, written to a temporary
// file in the same folder and renamed only when complete. Names are ANSI (GBK) paths.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/hex2bin/ihex.h"

int _dowildcard = 0;

namespace {

const size_t kMaxImage = 16u << 20;  // more is no firmware, but a stray address
const DWORD kMaxInput = 128u << 20;  // text of a full 16 MiB image, with room to spare

const char kUsage[] =
    "Usage: hex2bin FILE.hex\n"
    "Writes the raw image of an Intel HEX file beside it, as FILE.bin: from the lowest\n"
    "address used, gaps filled with 0xFF, at most 16 MiB.\n";

// Byte position where the file name begins, stepping over two-byte characters whole,
// so that a GBK trail byte 0x5C is not taken for a backslash.
size_t NameStart(const std::string& path, size_t* lastDot) {
  size_t name = 0;
  *lastDot = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      name = i + 1;
      *lastDot = std::string::npos;
    } else if (c == '.') {
      *lastDot = i;
    }
  }
  return name;
}

std::string ImageName(const std::string& input) {
  size_t dot;
  NameStart(input, &dot);
  return (dot == std::string::npos ? input : input.substr(0, dot)) + ".bin";
}

std::string FolderOf(const std::string& path) {
  size_t dot;
  size_t name = NameStart(path, &dot);
  if (name == 0) return ".";
  return path.substr(0, name);
}

std::string LastError() {
  DWORD code = GetLastError();
  char* text = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string s = text ? text : "";
  if (text) LocalFree(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s + " (error " + std::to_string(code) + ")";
}

int Error(const std::string& file, const std::string& message) {
  fprintf(stderr, "hex2bin: %s: %s\n", file.c_str(), message.c_str());
  return 2;
}

bool ReadWhole(const std::string& path, std::string* out, std::string* why) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *why = "cannot open: " + LastError();
    return false;
  }
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(h, &size);
  if (!ok) {
    *why = "cannot read: " + LastError();
  } else if (size.QuadPart > kMaxInput) {
    *why = "file larger than " + std::to_string(kMaxInput) + " bytes";
    ok = false;
  } else {
    out->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = out->empty() || (ReadFile(h, &(*out)[0], static_cast<DWORD>(out->size()), &got, nullptr) &&
                          got == out->size());
    if (!ok) *why = "cannot read: " + LastError();
  }
  CloseHandle(h);
  return ok;
}

bool WriteImage(const std::string& target, const std::vector<uint8_t>& bytes, std::string* why) {
  char temp[MAX_PATH];
  if (!GetTempFileNameA(FolderOf(target).c_str(), "h2b", 0, temp)) {
    *why = "cannot create a temporary file beside it: " + LastError();
    return false;
  }
  HANDLE h =
      CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = h != INVALID_HANDLE_VALUE;
  if (ok) {
    DWORD put = 0;
    ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == bytes.size();
    if (!ok) *why = "cannot write: " + LastError();
    if (!CloseHandle(h) && ok) {
      *why = "cannot write: " + LastError();
      ok = false;
    }
  } else {
    *why = "cannot write: " + LastError();
  }
  if (ok && !MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    *why = "cannot replace it: " + LastError();
    ok = false;
  }
  if (!ok) DeleteFileA(temp);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    fputs(kUsage, stderr);
    return 1;
  }
  const std::string input = argv[1];
  const std::string output = ImageName(input);
  if (lstrcmpiA(input.c_str(), output.c_str()) == 0)
    return Error(input, "the image would replace the input file; give a .hex file");

  std::string text, why;
  if (!ReadWhole(input, &text, &why)) return Error(input, why);
  hex2bin::Image image;
  hex2bin::HexError error;
  if (!hex2bin::ParseIntelHex(text, kMaxImage, &image, &error))
    return Error(input, "line " + std::to_string(error.line) + ": " + error.message);
  if (!WriteImage(output, image.bytes, &why)) return Error(output, why);
  printf("hex2bin: %s: %zu bytes from 0x%08lX\n", output.c_str(), image.bytes.size(),
         static_cast<unsigned long>(image.base));
  return 0;
}
