#include "services/files.h"

Text ProgramDirectory() {
  char path[MAX_PATH * 2] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  // The last backslash, found character by character: a GBK trail byte may equal '\'.
  DWORD cut = 0;
  for (DWORD i = 0; i < length; i = static_cast<DWORD>(CharNextA(path + i) - path)) {
    if (path[i] == '\\') cut = i;
  }
  return Text(path, cut);
}

FoundFile FindFile(const char* path) {
  FoundFile found;
  if (!path || !*path) return found;
  WIN32_FIND_DATAA data;
  FindHandle search(FindFirstFileA(path, &data));
  if (!search) return found;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      found.name = data.cFileName;
      found.search = std::move(search);
      return found;
    }
  } while (FindNextFileA(search.get(), &data));
  return found;
}

void DeleteFilePath(const char* path) { DeleteFileA(path); }

bool WriteFileBytes(const char* path, const std::string& bytes) {
  if (!path || !*path) return false;
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  UniqueHandle file(CreateFileA(path, GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  if (bytes.empty()) return true;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}
