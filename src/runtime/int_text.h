// int_text.h: the one reading of a decimal int from text in the runtime's own file formats
// (keyword values, message headers): what "%d" accepts, but a number beyond int is refused
// rather than converted with undefined or wrapped results.
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

}  // namespace kvrt

#endif
