// mat_support.h: helpers of the matrix tests: the exception code a call throws, a
// temporary text file written by a callback, big-endian byte images of values, and the
// shorthand names of the element and vector types every matrix test uses.
#ifndef KVELO_TEST_MAT_SUPPORT_H
#define KVELO_TEST_MAT_SUPPORT_H

#include <complex>
#include <cstdio>
#include <cstring>
#include <string>

#include "C_VecPi.h"
#include "binfile.h"
#include "thrown_code.h"

namespace kvtest {

// What f(FILE*) writes to a fresh temporary text file.
template <class F>
std::string TextOf(const std::string& tag, F f) {
  TempPath path(tag);
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file) return "<no file>";
  f(file);
  std::fclose(file);
  return ReadFileText(path.str());
}

// Appends the 4 big-endian bytes of an int, the 8 of a double.
inline void PutInt(Bytes& b, int v) {
  unsigned u = static_cast<unsigned>(v);
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>((u >> s) & 0xFF));
}
inline void PutDouble(Bytes& b, double v) {
  unsigned long long u;
  std::memcpy(&u, &v, sizeof u);
  for (int s = 56; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>((u >> s) & 0xFF));
}

}  // namespace kvtest

typedef std::complex<double> zc;
typedef C_VecPi<double, int, C_PtrInCore<double, int>> DVec;
typedef C_VecPi<zc, int, C_PtrInCore<zc, int>> ZVec;
typedef C_VecPi<int, int, C_PtrInCore<int, int>> IVec;
using kvtest::Bytes;
using kvtest::MakeBytes;
using kvtest::ThrownCode;

#endif
