#pragma once
// The process-wide frame: start-up, the message loop, exit routines and shut-down.
#include <windows.h>

// Start-up: OLE, the program directory as the current directory, and the hidden tool
// window that owns modal windows. Call once, first.
void InitRuntime();

// After the main loop: destroys the windows that are left, runs the exit routines in
// the order of their registration (each once), then releases the runtime's own resources.
void ShutdownRuntime();

// The hidden tool window of start-up; modal windows are owned by it.
HWND ToolWindow();

// Registering a routine that is already in the list changes nothing.
void RegisterExitRoutine(void (*routine)());

// Waits for and handles one message; false when it was WM_QUIT (which is posted
// again, so that every nested loop ends too).
bool PumpOneMessage();

// The main loop: runs until WM_QUIT.
void RunMessageLoop();
