#pragma once
// File and program services.
#include <string>

#include "services/handles.h"
#include "services/text.h"

// The folder of the program file without a trailing backslash ("C:" for a drive root).
Text ProgramDirectory();

// The first entry matching the path that is not a directory, with its name as stored on
// disk (name only). The search handle stays open as long as the result lives.
struct FoundFile {
  Text name;  // empty when nothing was found
  FindHandle search;
};
FoundFile FindFile(const char* path);

void DeleteFilePath(const char* path);

// Creates or truncates the file and writes the bytes; folders are not created. True
// only when everything succeeded; an empty path does nothing and gives false.
bool WriteFileBytes(const char* path, const std::string& bytes);
