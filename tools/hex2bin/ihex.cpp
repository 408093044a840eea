#include "tools/hex2bin/ihex.h"

#include <algorithm>
#include <cstdio>

namespace hex2bin {
namespace {

// One data record: size bytes of the shared pool, from start on.
struct Chunk {
  uint64_t address;
  int line;
  size_t start, size;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Hex(uint64_t value, int digits) {
  char buf[24];
  snprintf(buf, sizeof(buf), "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return buf;
}

bool Fail(HexError* error, int line, const std::string& message) {
  error->line = line;
  error->message = message;
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\x1a'; }

}  // namespace

bool ParseIntelHex(const std::string& text, size_t maxSize, Image* image, HexError* error) {
  std::vector<Chunk> chunks;
  std::vector<uint8_t> pool;
  uint64_t base = 0;  // from the last 02 or 04 record
  bool ended = false;
  int line = 0;
  size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 mark, as Notepad writes
  while (pos < text.size() && !ended) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    size_t lineStart = pos, begin = pos, end = eol;
    pos = eol + 1;
    ++line;
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    if (begin == end) continue;
    if (text[begin] != ':') return Fail(error, line, "record does not begin with ':'");

    std::vector<uint8_t> rec;
    size_t digits = end - begin - 1;
    for (size_t i = 0; i < digits; ++i) {
      char c = text[begin + 1 + i];
      if (HexValue(c) < 0) {
        unsigned char u = static_cast<unsigned char>(c);
        char what[16];
        if (u >= 0x20 && u < 0x7f)
          snprintf(what, sizeof(what), "'%c'", c);
        else
          snprintf(what, sizeof(what), "byte 0x%02X", u);
        return Fail(error, line,
                    std::string("bad hex digit ") + what + " in column " +
                        std::to_string(begin - lineStart + i + 2));
      }
    }
    if (digits % 2) return Fail(error, line, "odd number of hex digits");
    for (size_t i = 0; i < digits; i += 2)
      rec.push_back(
          static_cast<uint8_t>(HexValue(text[begin + 1 + i]) * 16 + HexValue(text[begin + 2 + i])));
    if (rec.size() < 5) return Fail(error, line, "record too short");
    size_t count = rec[0];
    if (rec.size() < count + 5)
      return Fail(error, line,
                  "record too short: " + std::to_string(count) + " data bytes announced, " +
                      std::to_string(rec.size() - 5) + " present");
    if (rec.size() > count + 5)
      return Fail(error, line,
                  "record too long: " + std::to_string(count) + " data bytes announced, " +
                      std::to_string(rec.size() - 5) + " present");
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < rec.size(); ++i) sum += rec[i];
    uint8_t expected = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    if (rec.back() != expected)
      return Fail(
          error, line,
          "bad checksum: record has " + Hex(rec.back(), 2) + ", contents give " + Hex(expected, 2));

    unsigned offset = rec[1] * 256u + rec[2];
    uint8_t type = rec[3];
    const uint8_t* data = rec.data() + 4;
    auto needCount = [&](size_t n) {
      if (count == n) return true;
      Fail(error, line,
           "record type " + Hex(type, 2) + " needs " + std::to_string(n) + " data bytes, has " +
               std::to_string(count));
      return false;
    };
    switch (type) {
      case 0x00: {
        uint64_t address = base + offset;
        if (address + count > 0x100000000ull)
          return Fail(error, line, "data beyond the 4 GiB address space");
        if (count) {
          chunks.push_back({address, line, pool.size(), count});
          pool.insert(pool.end(), data, data + count);
        }
        break;
      }
      case 0x01:
        if (!needCount(0)) return false;
        ended = true;
        break;
      case 0x02:
        if (!needCount(2)) return false;
        base = (data[0] * 256u + data[1]) * 16u;
        break;
      case 0x04:
        if (!needCount(2)) return false;
        base = static_cast<uint64_t>(data[0] * 256u + data[1]) << 16;
        break;
      case 0x03:
      case 0x05:
        if (!needCount(4)) return false;
        break;
      default: return Fail(error, line, "unknown record type " + Hex(type, 2));
    }
  }
  if (!ended) return Fail(error, line, "file ends without an end-of-file record (type 01)");
  if (chunks.empty()) return Fail(error, line, "no data records before the end-of-file record");

  // Size check before any allocation, so a stray extended address cannot ask for gigabytes.
  auto low = std::min_element(chunks.begin(), chunks.end(),
                              [](const Chunk& a, const Chunk& b) { return a.address < b.address; });
  auto high = std::max_element(chunks.begin(), chunks.end(), [](const Chunk& a, const Chunk& b) {
    return a.address + a.size < b.address + b.size;
  });
  uint64_t first = low->address, last = high->address + high->size;
  if (last - first > maxSize)
    return Fail(error, high->line,
                "image from " + Hex(first, 8) + " (line " + std::to_string(low->line) + ") to " +
                    Hex(last - 1, 8) + " is larger than " + std::to_string(maxSize) + " bytes");

  std::vector<uint8_t> bytes(last - first, 0xFF);
  std::vector<bool> filled(bytes.size(), false);
  for (size_t c = 0; c < chunks.size(); ++c) {
    const Chunk& chunk = chunks[c];
    size_t at = chunk.address - first;
    const uint8_t* data = pool.data() + chunk.start;
    for (size_t i = 0; i < chunk.size; ++i) {
      if (filled[at + i] && bytes[at + i] != data[i]) {
        uint64_t address = chunk.address + i;
        int earlier = 0;
        for (size_t k = 0; k < c; ++k)
          if (chunks[k].address <= address && address < chunks[k].address + chunks[k].size)
            earlier = chunks[k].line;
        return Fail(error, chunk.line,
                    "data at " + Hex(address, 8) + " differ from the data line " +
                        std::to_string(earlier) + " gave for that address");
      }
      bytes[at + i] = data[i];
      filled[at + i] = true;
    }
  }
  image->base = static_cast<uint32_t>(first);
  image->bytes.swap(bytes);
  return true;
}

}  // namespace hex2bin
