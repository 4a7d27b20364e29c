// edge_values.h: the doubles at the edges of the format, for tests that write values and read
// them back bit for bit: signed zeros, subnormals, the ends of the normal range, infinities,
// quiet and signalling NaNs of both signs with payloads, and values no short text holds.
#ifndef KVELO_TEST_EDGE_VALUES_H
#define KVELO_TEST_EDGE_VALUES_H

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kvtest {

// The double of the given bits.
inline double FromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

inline std::vector<double> EdgeDoubles() {
  return {0.0,
          -0.0,
          FromBits(0x0000000000000001ull),
          FromBits(0x000FFFFFFFFFFFFFull),
          DBL_MIN,
          -DBL_MIN,
          DBL_MAX,
          -DBL_MAX,
          HUGE_VAL,
          -HUGE_VAL,
          FromBits(0x7FF8000000000000ull),
          FromBits(0xFFF8000000000000ull),
          FromBits(0x7FF0000000000001ull),
          FromBits(0x7FF4DEADBEEF0001ull),
          FromBits(0xFFF7FFFFFFFFFFFFull),
          1.0 / 3.0,
          -123456.789e-300};
}

}  // namespace kvtest

#endif
