#include "app/entry.h"

#include "app/globals.h"
#include "selection/drop_receiver.h"
#include "services/runtime.h"
#include "ui/main_window.h"

Text g_firmwarePath;
int32_t g_jokeCounter = 0;
DropReceiver* g_receiver = nullptr;

int EntryRoutine() {
  InitRuntime();  // from here on the current directory is the program directory
  g_receiver = new DropReceiver();
  RegisterExitRoutine(ExitRoutine);
  CreateMainWindow();  // its created event attaches the receiver
  RunMessageLoop();
  return 0;
}

void ExitRoutine() {
  Text().swap(g_firmwarePath);
  delete g_receiver;  // its destructor detaches it from the window
  g_receiver = nullptr;
}

int RunProgram() {
  int code = EntryRoutine();
  ShutdownRuntime();
  return code;
}
