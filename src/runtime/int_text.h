// int_text.h: the one reading of a decimal int from text in the runtime's own file formats
// and settings (keyword values, message headers, environment variables): what "%d" and atoi
// accept, but a number beyond int is refused rather than converted with undefined or wrapped
// results.
#ifndef KVELO_RUNTIME_INT_TEXT_H
#define KVELO_RUNTIME_INT_TEXT_H

#include <cctype>
#include <climits>

namespace kvrt {

// An int at *p (leading white space, an optional sign, digits); *p moves past it. False, *p
// and value untouched, when there are no digits or the number lies beyond int, whose ends
// (-2147483648 and 2147483647) are the last numbers read. The digits are accumulated here
// against the bounds of int itself: the width of long and errno play no part, and errno is
// left as the caller had it.
inline bool ReadIntText(const char*& p, int& value) {
  const char* s = p;
  while (std::isspace(static_cast<unsigned char>(*s))) ++s;
  const bool negative = (*s == '-');
  if (*s == '+' || *s == '-') ++s;
  if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
  // The magnitude of INT_MIN is one more than INT_MAX.
  const unsigned long long limit = static_cast<unsigned long long>(INT_MAX) + (negative ? 1u : 0u);
  unsigned long long magnitude = 0;
  for (; std::isdigit(static_cast<unsigned char>(*s)); ++s) {
    magnitude = magnitude * 10u + static_cast<unsigned>(*s - '0');
    if (magnitude > limit) return false;  // stays far below the range of the accumulator
  }
  value = negative ? static_cast<int>(-static_cast<long long>(magnitude)) : static_cast<int>(magnitude);
  p = s;
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
