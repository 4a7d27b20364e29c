// int_text.h: the one reading of a decimal int from text in the runtime's own file formats
// and settings (keyword values, message headers, environment variables): what "%d" and atoi
// accept, but a number beyond int is refused rather than converted with undefined or wrapped
// results.
#ifndef KVELO_RUNTIME_INT_TEXT_H
#define KVELO_RUNTIME_INT_TEXT_H

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace kvrt {

// An int at *p (leading blanks, an optional sign, digits); *p moves past it. False, *p and
// value untouched, when there are no digits or the number lies beyond int.
inline bool ReadIntText(const char*& p, int& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(p, &end, 10);
  if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  p = end;
  return true;
}

// The int that atoi makes of text (0 when it starts with no number), except that a number
// beyond int also gives 0 instead of an undefined result.
inline int IntOrZero(const char* text) {
  int value = 0;
  return ReadIntText(text, value) ? value : 0;
}

}  // namespace kvrt

#endif
