// Decoding PNG bytes into a bitmap (colour types, bit depths, transparency, interlace,
// damaged data) and the picture box that shows the result.
#include <windows.h>

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "services/forms.h"
#include "services/picture.h"
#include "tests/extras/extras_fixture.h"
#include "tests/support/harness.h"
#include "ui/guide_window.h"

namespace {

constexpr COLORREF kBackground = RGB(200, 100, 50);

// A PNG written by libpng from rows of samples as the colour type stores them.
struct PngShape {
  int width, height, colourType, bitDepth;
  bool interlaced;
  std::vector<std::vector<uint8_t>> rows;  // packed samples, 16-bit ones big-endian
  std::vector<png_color> palette;
  std::vector<uint8_t> paletteAlpha;
};

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

std::string EncodePng(const PngShape& shape) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendBytes, nullptr);
  png_set_IHDR(png, info, shape.width, shape.height, shape.bitDepth, shape.colourType,
               shape.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!shape.palette.empty())
    png_set_PLTE(png, info, shape.palette.data(), static_cast<int>(shape.palette.size()));
  if (!shape.paletteAlpha.empty())
    png_set_tRNS(png, info, shape.paletteAlpha.data(), static_cast<int>(shape.paletteAlpha.size()),
                 nullptr);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (auto& row : shape.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

ByteBlock Block(const std::string& bytes) {
  return {reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<uint32_t>(bytes.size())};
}

// The bitmap's pixels read back through GDI, as RGB.
std::vector<COLORREF> PixelsOf(const Picture& picture) {
  std::vector<uint32_t> bgra(static_cast<size_t>(picture.width) * picture.height);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  int lines = GetDIBits(screen, picture.bitmap.get(), 0, picture.height, bgra.data(), &info,
                        DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(lines, picture.height);
  std::vector<COLORREF> rgb;
  for (uint32_t p : bgra) rgb.push_back(RGB((p >> 16) & 255, (p >> 8) & 255, p & 255));
  return rgb;
}

struct Expected {
  int x, y;
  COLORREF colour;
  int tolerance;  // per channel, for mixed (half transparent) pixels
};

struct DecodeCase {
  const char* name;
  PngShape shape;
  std::vector<Expected> pixels;
};

bool Near(COLORREF a, COLORREF b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
         std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// A 9 x 9 colour pattern that no two Adam7 passes share by accident.
std::vector<std::vector<uint8_t>> PatternRows() {
  std::vector<std::vector<uint8_t>> rows;
  for (int y = 0; y < 9; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < 9; ++x) {
      row.insert(row.end(), {static_cast<uint8_t>(x * 28), static_cast<uint8_t>(y * 28),
                             static_cast<uint8_t>((x * 9 + y) * 3), 255});
    }
    rows.push_back(row);
  }
  return rows;
}

TEST(DecodePicture, ColourTypesDepthsTransparencyAndInterlace) {
  const COLORREF half = RGB((255 + 200 + 1) / 2, (255 + 100 + 1) / 2, (255 + 50 + 1) / 2);
  const DecodeCase cases[] = {
      {"RGBA 8-bit",
       {3, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8, false,
        {{255, 0, 0, 255, 12, 34, 56, 255, 0, 255, 0, 0},
         {255, 255, 255, 128, 1, 2, 3, 255, 9, 9, 9, 0}},
        {}, {}},
       {{0, 0, RGB(255, 0, 0), 0},
        {1, 0, RGB(12, 34, 56), 0},
        {2, 0, kBackground, 0},  // fully transparent: the background alone
        {0, 1, half, 1},
        {1, 1, RGB(1, 2, 3), 0},
        {2, 1, kBackground, 0}}},
      {"RGB 8-bit",
       {2, 1, PNG_COLOR_TYPE_RGB, 8, false, {{10, 20, 30, 250, 240, 230}}, {}, {}},
       {{0, 0, RGB(10, 20, 30), 0}, {1, 0, RGB(250, 240, 230), 0}}},
      {"palette 4-bit with transparency",
       {4, 1, PNG_COLOR_TYPE_PALETTE, 4, false, {{0x01, 0x23}},
        {{0, 0, 0}, {0, 0, 255}, {7, 8, 9}, {255, 255, 0}}, {0, 255}},
       {{0, 0, kBackground, 0},
        {1, 0, RGB(0, 0, 255), 0},
        {2, 0, RGB(7, 8, 9), 0},
        {3, 0, RGB(255, 255, 0), 0}}},
      {"grey 16-bit",
       {2, 1, PNG_COLOR_TYPE_GRAY, 16, false, {{0xFF, 0xFF, 0x80, 0x80}}, {}, {}},
       {{0, 0, RGB(255, 255, 255), 0}, {1, 0, RGB(128, 128, 128), 0}}},
      {"grey with alpha 8-bit",
       {2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {{77, 255, 77, 0}}, {}, {}},
       {{0, 0, RGB(77, 77, 77), 0}, {1, 0, kBackground, 0}}},
      {"RGBA interlaced",
       {9, 9, PNG_COLOR_TYPE_RGB_ALPHA, 8, true, PatternRows(), {}, {}},
       {{0, 0, RGB(0, 0, 0), 0},
        {4, 4, RGB(112, 112, 120), 0},
        {8, 1, RGB(224, 28, 219), 0},
        {3, 7, RGB(84, 196, 102), 0},
        {8, 8, RGB(224, 224, 240), 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string png = EncodePng(c.shape);
    ASSERT_FALSE(png.empty());
    Picture picture = DecodePicture(Block(png), kBackground);
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture.width, c.shape.width);
    ASSERT_EQ(picture.height, c.shape.height);
    std::vector<COLORREF> pixels = PixelsOf(picture);
    for (const auto& p : c.pixels) {
      COLORREF got = pixels[static_cast<size_t>(p.y) * picture.width + p.x];
      EXPECT_TRUE(Near(got, p.colour, p.tolerance))
          << "pixel " << p.x << "," << p.y << ": got " << std::hex << got << ", expected "
          << p.colour;
    }
  }
}

std::string SmallPng() {
  return EncodePng({5, 4, PNG_COLOR_TYPE_RGB_ALPHA, 8, false,
                    std::vector<std::vector<uint8_t>>(4, std::vector<uint8_t>(20, 0x5A)), {}, {}});
}

// Offset of the first byte after the chunk of that type (length, type, data, CRC).
size_t ChunkEnd(const std::string& png, const char* type) {
  size_t at = 8;
  while (at + 8 <= png.size()) {
    uint32_t length = (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
                      (uint32_t(uint8_t(png[at + 2])) << 8) | uint8_t(png[at + 3]);
    size_t end = at + 12 + length;
    if (png.compare(at + 4, 4, type) == 0) return end;
    at = end;
  }
  return std::string::npos;
}

TEST(DecodePicture, EveryCutBeforeTheImageDataEndsGivesNoPicture) {
  std::string png = SmallPng();
  ASSERT_TRUE(DecodePicture(Block(png), kBackground));
  size_t idatEnd = ChunkEnd(png, "IDAT");
  ASSERT_NE(idatEnd, std::string::npos);
  for (size_t length = 0; length < idatEnd; ++length) {
    std::string cut = png.substr(0, length);
    EXPECT_FALSE(DecodePicture(Block(cut), kBackground)) << "cut after " << length << " bytes";
  }
}

std::string WithHeaderSize(std::string png, uint32_t width, uint32_t height) {
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<char>(v >> (24 - 8 * i));
  };
  put(16, width);  // IHDR data starts after the signature, length and type
  put(20, height);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
  put(29, static_cast<uint32_t>(crc));
  return png;
}

TEST(DecodePicture, DamagedBytesGiveNoPicture) {
  std::string png = SmallPng();
  std::string flippedData = png;
  flippedData[ChunkEnd(png, "IHDR") + 10] ^= 0x40;  // inside the IDAT data: CRC mismatch
  std::string flippedHeader = png;
  flippedHeader[18] ^= 0x01;
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"signature only", png.substr(0, 8)},
      {"a bitmap file", std::string("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00", 14)},
      {"image data damaged", flippedData},
      {"header damaged", flippedHeader},
      {"header asks for 100000 x 100000 pixels", WithHeaderSize(png, 100000, 100000)},
      {"header with a zero width", WithHeaderSize(png, 0, 4)},
  };
  for (const auto& c : cases)
    EXPECT_FALSE(DecodePicture(Block(c.bytes), kBackground)) << c.name;
  EXPECT_FALSE(DecodePicture({nullptr, 100}, kBackground));
}

TEST(DecodePicture, TheStoredGuidePictureFillsItsBox) {
  Picture picture = DecodePicture(kGuidePicture, GetSysColor(COLOR_BTNFACE));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture.width, 712);
  EXPECT_EQ(picture.height, 1025);
}

// A small form holding only a picture box of 40 x 30.
LRESULT CALLBACK PlainFormProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  return FormProc(w, msg, wp, lp);
}
const ControlDesc kBox[] = {{7, kPictureBoxClass, "", 10, 10, 40, 30, 0, 0, kVisible, 0, false}};
const FormDesc kBoxForm = {"PictureBoxTest", "", WS_POPUP | WS_DLGFRAME, 0, 120, 90,
                           PlainFormProc, nullptr, kBox, 1};

class PictureBox : public ExtrasTest {};

TEST_F(PictureBox, DrawsThePictureAtItsSizeAndADamagedOneLeavesItEmpty) {
  RegisterPictureBox();
  HWND form = CreateForm(kBoxForm, nullptr);
  ASSERT_TRUE(form);
  HWND box = GetDlgItem(form, 7);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  std::vector<std::vector<uint8_t>> rows(10);
  for (auto& row : rows)
    for (int x = 0; x < 20; ++x) row.insert(row.end(), {0, 160, 90});
  std::string png = EncodePng({20, 10, PNG_COLOR_TYPE_RGB, 8, false, rows, {}, {}});

  EXPECT_TRUE(SetPicture(box, Block(png)));
  EXPECT_EQ(PictureSize(box).cx, 20);
  EXPECT_EQ(PictureSize(box).cy, 10);
  const struct {
    int x, y;
    COLORREF picture;  // with the picture in place
  } points[] = {{0, 0, RGB(0, 160, 90)}, {19, 9, RGB(0, 160, 90)}, {20, 5, face},
                {5, 10, face},           {39, 29, face}};
  for (const auto& p : points)
    EXPECT_EQ(ClientPixel(box, p.x, p.y), p.picture) << p.x << "," << p.y;

  std::string damaged = png.substr(0, png.size() / 2);
  EXPECT_FALSE(SetPicture(box, Block(damaged)));
  EXPECT_EQ(PictureSize(box).cx, 0);
  for (const auto& p : points) EXPECT_EQ(ClientPixel(box, p.x, p.y), face) << p.x << "," << p.y;
  DestroyWindow(form);
}

}  // namespace
