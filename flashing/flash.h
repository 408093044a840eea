#pragma once
// The flash button: writes the reflash script with the firmware path into the bin
// folder beside the program and starts it.
#include "services/bytes.h"
#include "services/text.h"

extern const ByteBlock kScriptTemplate;

// The script text for a firmware path: both placeholders replaced by the path, with
// every '%' doubled so that the command processor reads it back as one '%'.
Text FillScriptTemplate(const char* firmwarePath);

// The program directory followed by "\bin\Quelvar-reflash.bat".
Text ReflashScriptPath();

// Replaces the reflash script on disk; false when it could not be written.
bool WriteReflashScript(const char* firmwarePath);
