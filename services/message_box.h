#pragma once
// Message boxes with the caption "信息：", task-modal, without owner.

enum MessageBoxKind { kOk = 0, kYesNo = 4 };
// Results: the pressed button, as the Win32 code minus one.
enum MessageBoxResult { kPressedOk = 0, kPressedCancel = 1, kPressedYes = 5, kPressedNo = 6 };

int ShowMessage(const char* text, int kind = kOk);
