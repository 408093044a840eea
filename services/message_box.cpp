#include "services/message_box.h"

#include <windows.h>

int ShowMessage(const char* text, int kind) {
  return MessageBoxA(nullptr, text ? text : "", "信息：", static_cast<UINT>(kind) | MB_TASKMODAL) -
         1;
}
