#pragma once
// Intel HEX to a raw image in memory. The image starts at the lowest address that a data
// record fills; gaps are 0xFF.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hex2bin {

struct Image {
  uint32_t base = 0;  // address of bytes[0]
  std::vector<uint8_t> bytes;
};

struct HexError {
  int line = 0;  // 1-based line of the file the error is about
  std::string message;
};

// Parses the whole file text. Records 00 (data), 01 (end of file), 02 (extended segment
// address), 04 (extended linear address) are used; 03 and 05 (start address) are checked
// and ignored. Text after the end-of-file record is not read. Fails, without touching
// *image, on any bad record, on a file without data or end-of-file record, on bytes
// given twice with different values, and on an image larger than maxSize bytes.
bool ParseIntelHex(const std::string& text, size_t maxSize, Image* image, HexError* error);

}  // namespace hex2bin
