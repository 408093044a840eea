#pragma once
// Entry and exit routines of the program.

// Starts the runtime, creates the drop receiver and the main window, and runs the
// message loop until the last window is gone. Returns the process exit code, 0.
int EntryRoutine();

// Releases the firmware path and destroys the drop receiver; registered at start.
void ExitRoutine();

// The whole run as the program file does it: entry routine, then the runtime's shut-down.
int RunProgram();
