#pragma once
// PNG pictures: decoding into a bitmap, and the picture box control that shows one.
#include <windows.h>

#include "services/bytes.h"
#include "services/handles.h"

// A decoded picture: a 32-bit top-down DIB section, opaque (alpha already composited).
struct Picture {
  Bitmap bitmap;
  int width = 0;
  int height = 0;
  explicit operator bool() const { return bitmap.get() != nullptr; }
};

// Decodes PNG bytes with libpng and composites their alpha over the background colour.
// Bytes that are not one whole, valid PNG give an empty picture.
Picture DecodePicture(const ByteBlock& png, COLORREF background);

// A picture box: no border, draws its picture at its own size from the top-left corner
// and leaves the rest in COLOR_BTNFACE. Mouse presses pass through to the window below.
extern const char kPictureBoxClass[];
void RegisterPictureBox();

// Decodes the bytes over COLOR_BTNFACE, replaces the box's picture and draws it at once.
// Bytes that do not decode leave the box without a picture; the result says which.
bool SetPicture(HWND box, const ByteBlock& png);

// The size of the picture the box holds; 0 x 0 when it has none.
SIZE PictureSize(HWND box);
