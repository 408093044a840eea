#pragma once
// Text services. A text is a byte string in the ANSI code page (GBK); a null pointer and
// "" are the same empty text. Positions are 1-based byte positions, and scanning steps
// over a two-byte character whole, so a match is only tried where a character begins.
#include <string>

#include "services/bytes.h"

using Text = std::string;

// The block's bytes up to, not including, the first zero byte.
Text BytesToText(const ByteBlock& block);
// Exactly the text's bytes, without the terminator.
std::string TextToBytes(const Text& text);

// Position of the first occurrence at or after start, counted from the beginning of the
// whole text; -1 when there is none. A start below 1 counts as 1; beyond the end gives -1.
// ignoreCase folds ASCII letters only.
int FindText(const char* text, const char* sought, int start = 1, bool ignoreCase = false);

// Replaces, left to right from start, each occurrence of sought, at most count times. A
// replaced occurrence is skipped whole and the replacement is never rescanned.
Text ReplaceText(const char* text, const char* sought, const char* replacement, int start,
                 int count, bool caseSensitive);

// The last n bytes (the whole text if shorter, empty for n <= 0).
Text RightPart(const char* text, int n);

// Byte-wise, unsigned, case-sensitive; 0 means equal; null equals "".
int CompareText(const char* a, const char* b);

// Plain signed decimal, as "%d" formats it.
Text IntegerToText(int value);
