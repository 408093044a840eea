#pragma once
// Matching of device instance IDs against a find pattern: ASCII letter case is ignored,
// "*" stands for any run of characters (also none), "?" for exactly one character.

namespace devcon {

inline char FoldCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Left to right with one back-tracking point: the last "*" seen takes one more character
// whenever the rest fails, so a pattern with many stars stays linear in practice.
inline bool MatchInstanceId(const char* pattern, const char* id) {
  const char* star = nullptr;    // position after the last "*"
  const char* resume = nullptr;  // where the id goes on when that star grows
  while (*id) {
    if (*pattern == '*') {
      star = ++pattern;
      resume = id;
    } else if (*pattern && (*pattern == '?' || FoldCase(*pattern) == FoldCase(*id))) {
      ++pattern;
      ++id;
    } else if (star) {
      pattern = star;
      id = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace devcon
