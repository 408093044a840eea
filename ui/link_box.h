#pragma once
// A custom-drawn text link: centred caption, hand cursor, and a colour that shows hover
// and whether a navigation has succeeded. A left press is reported to the parent as
// WM_COMMAND with the code kLinkPressed.
#include <windows.h>

#include "services/text.h"

extern const char kLinkBoxClass[];
constexpr WORD kLinkPressed = 1;

enum LinkKind { kEmailLink = 0, kWebLink = 1 };

struct LinkTarget {
  int kind;  // LinkKind
  Text email;
  Text web;
};

void RegisterLinkBox();
LinkTarget GetLinkTarget(HWND link);
// Kinds outside 0..1 are clamped.
void SetLinkTarget(HWND link, int kind, const char* email, const char* web);
void MarkLinkVisited(HWND link);
bool IsLinkVisited(HWND link);
// The colour the caption is drawn in now.
COLORREF LinkTextColour(HWND link);
