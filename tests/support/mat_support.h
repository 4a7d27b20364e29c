// mat_support.h: helpers of the matrix tests: the exception code a call throws, a
// temporary text file written by a callback (big-endian byte images come from binfile.h), and the
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

}  // namespace kvtest

typedef std::complex<double> zc;
typedef C_VecPi<double, int, C_PtrInCore<double, int>> DVec;
typedef C_VecPi<zc, int, C_PtrInCore<zc, int>> ZVec;
typedef C_VecPi<int, int, C_PtrInCore<int, int>> IVec;
using kvtest::Bytes;
using kvtest::MakeBytes;
using kvtest::ThrownCode;

#endif
