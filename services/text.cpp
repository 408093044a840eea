#include "services/text.h"

#include <cstring>

namespace {

const char* OrEmpty(const char* s) { return s ? s : ""; }

bool IsLeadByte(char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesAt(const char* at, const char* sought, size_t length, bool ignoreCase) {
  for (size_t i = 0; i < length; ++i) {
    if (at[i] == '\0') return false;
    if (ignoreCase ? FoldAscii(at[i]) != FoldAscii(sought[i]) : at[i] != sought[i]) return false;
  }
  return true;
}

// Byte offset of the character boundary at or after the 1-based start position: a start
// that falls on the trail byte of a two-byte character moves to the next character.
size_t BoundaryFrom(const char* text, size_t length, int start) {
  size_t from = start < 1 ? 0 : static_cast<size_t>(start - 1);
  size_t i = 0;
  while (i < from && i < length) i += (IsLeadByte(text[i]) && i + 1 < length) ? 2 : 1;
  return i;
}

// Offset of the next match at or after the boundary `from`, or npos.
size_t FindFrom(const char* text, size_t length, size_t from, const char* sought,
                size_t soughtLength, bool ignoreCase) {
  for (size_t i = from; i + soughtLength <= length;) {
    if (MatchesAt(text + i, sought, soughtLength, ignoreCase)) return i;
    i += (IsLeadByte(text[i]) && i + 1 < length) ? 2 : 1;
  }
  return std::string::npos;
}

}  // namespace

Text BytesToText(const ByteBlock& block) {
  const void* zero = std::memchr(block.data, 0, block.size);
  size_t length = zero ? static_cast<const unsigned char*>(zero) - block.data : block.size;
  return Text(reinterpret_cast<const char*>(block.data), length);
}

std::string TextToBytes(const Text& text) { return std::string(text.data(), text.size()); }

int FindText(const char* text, const char* sought, int start, bool ignoreCase) {
  text = OrEmpty(text);
  sought = OrEmpty(sought);
  size_t length = std::strlen(text);
  size_t soughtLength = std::strlen(sought);
  if (start < 1) start = 1;
  if (static_cast<size_t>(start) > length || soughtLength == 0) return -1;
  size_t at =
      FindFrom(text, length, BoundaryFrom(text, length, start), sought, soughtLength, ignoreCase);
  return at == std::string::npos ? -1 : static_cast<int>(at + 1);
}

Text ReplaceText(const char* text, const char* sought, const char* replacement, int start,
                 int count, bool caseSensitive) {
  text = OrEmpty(text);
  sought = OrEmpty(sought);
  size_t length = std::strlen(text);
  size_t soughtLength = std::strlen(sought);
  if (start < 1) start = 1;
  if (soughtLength == 0 || count <= 0 || static_cast<size_t>(start) > length) return text;

  Text result;
  size_t copied = 0;
  size_t at = BoundaryFrom(text, length, start);
  for (int done = 0; done < count; ++done) {
    at = FindFrom(text, length, at, sought, soughtLength, !caseSensitive);
    if (at == std::string::npos) break;
    result.append(text + copied, at - copied).append(OrEmpty(replacement));
    at += soughtLength;
    copied = at;
  }
  return result.append(text + copied, length - copied);
}

Text RightPart(const char* text, int n) {
  text = OrEmpty(text);
  size_t length = std::strlen(text);
  if (n <= 0) return Text();
  size_t take = static_cast<size_t>(n) < length ? static_cast<size_t>(n) : length;
  return Text(text + length - take, take);
}

int CompareText(const char* a, const char* b) {
  return std::strcmp(OrEmpty(a), OrEmpty(b));  // strcmp compares as unsigned char
}

Text IntegerToText(int value) { return std::to_string(value); }
