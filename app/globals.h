#pragma once
// The program's three globals, owned for its whole run.
#include <cstdint>

#include "services/text.h"

class DropReceiver;

// The firmware path last chosen in the open-file dialog; released by the exit routine.
extern Text g_firmwarePath;
// The joke window's tick counter.
extern int32_t g_jokeCounter;
// The drop receiver of the main window; created at start, destroyed by the exit routine.
extern DropReceiver* g_receiver;
