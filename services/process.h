#pragma once
// Starting other programs and waiting.

// The shell's "open" on the path, in the program's current directory; never waits.
void StartFile(const char* path);

// The shell's "open" on a web address, owned by an Internet Explorer window if one is up.
void OpenUrl(const char* url);

// Blocks the thread: no messages are pumped meanwhile. Negative counts as 0.
void SleepMs(int ms);
