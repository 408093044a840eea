#include "services/picture.h"

#include <png.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "services/forms.h"

const char kPictureBoxClass[] = "QuelvarPictureBox";

namespace {

// Far above any picture of the program; keeps a damaged header from asking for gigabytes.
constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;

// libpng's simplified reader: it catches its own errors (truncated or damaged data)
// and reports them as a zero result, so no longjmp crosses our frames.
class PngReader {
 public:
  PngReader() {
    std::memset(&image_, 0, sizeof image_);
    image_.version = PNG_IMAGE_VERSION;
  }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  ~PngReader() { png_image_free(&image_); }
  png_image& image() { return image_; }

 private:
  png_image image_;
};

}  // namespace

Picture DecodePicture(const ByteBlock& png, COLORREF background) {
  Picture picture;
  if (!png.data || png.size == 0) return picture;
  PngReader reader;
  png_image& image = reader.image();
  if (!png_image_begin_read_from_memory(&image, png.data, png.size)) return picture;
  if (image.width == 0 || image.height == 0 ||
      uint64_t{image.width} * image.height > kMaxPixels)
    return picture;
  image.format = PNG_FORMAT_RGBA;
  // 16-bit samples without a gamma chunk are taken as sRGB, like 8-bit ones.
  image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  const size_t stride = size_t{image.width} * 4;
  std::unique_ptr<uint8_t[]> rgba(new (std::nothrow) uint8_t[stride * image.height]);
  if (!rgba) return picture;
  if (!png_image_finish_read(&image, nullptr, rgba.get(), static_cast<png_int_32>(stride),
                             nullptr))
    return picture;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(image.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(image.height);  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap.get() || !bits) return picture;

  const unsigned back[3] = {GetRValue(background), GetGValue(background), GetBValue(background)};
  auto* out = static_cast<uint8_t*>(bits);
  const uint8_t* in = rgba.get();
  for (size_t i = 0, n = size_t{image.width} * image.height; i < n; ++i, in += 4, out += 4) {
    unsigned a = in[3];
    for (int c = 0; c < 3; ++c) {
      unsigned mixed = (in[c] * a + back[c] * (255 - a) + 127) / 255;
      out[2 - c] = static_cast<uint8_t>(mixed);  // DIB order: blue, green, red
    }
    out[3] = 255;
  }
  GdiFlush();
  picture.bitmap = std::move(bitmap);
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  return picture;
}

namespace {

Picture* PictureOf(HWND box) {
  return reinterpret_cast<Picture*>(GetWindowLongPtrA(box, GWLP_USERDATA));
}

void PaintBox(HWND box) {
  PaintScope paint(box);
  RECT client;
  GetClientRect(box, &client);
  const Picture* picture = PictureOf(box);
  if (picture && *picture) {
    MemoryDc memory(paint.dc());
    SelectScope select(memory.get(), picture->bitmap.get());
    BitBlt(paint.dc(), 0, 0, picture->width, picture->height, memory.get(), 0, 0, SRCCOPY);
    ExcludeClipRect(paint.dc(), 0, 0, picture->width, picture->height);
  }
  FillRect(paint.dc(), &client, GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CALLBACK PictureBoxProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new Picture));
      break;
    case WM_NCDESTROY:
      delete PictureOf(w);
      SetWindowLongPtrA(w, GWLP_USERDATA, 0);
      break;
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers the whole box
    case WM_PAINT: PaintBox(w); return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

}  // namespace

void RegisterPictureBox() { RegisterControlClass(kPictureBoxClass, PictureBoxProc, IDC_ARROW); }

bool SetPicture(HWND box, const ByteBlock& png) {
  Picture* held = PictureOf(box);
  if (!held) return false;
  *held = DecodePicture(png, GetSysColor(COLOR_BTNFACE));
  InvalidateRect(box, nullptr, TRUE);
  UpdateWindow(box);
  return static_cast<bool>(*held);
}

SIZE PictureSize(HWND box) {
  const Picture* picture = PictureOf(box);
  if (!picture || !*picture) return {0, 0};
  return {picture->width, picture->height};
}
