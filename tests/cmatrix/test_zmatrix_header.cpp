// Tests that the complex matrix header coexists with std::complex: a C++ host that says
// `using namespace std` before the umbrella header, and a C host that includes <complex.h>.
#include <complex>
using namespace std;  // the situation under test

#include <gtest/gtest.h>

#include "kvelo.h"

extern "C" double zmatrix_header_c_probe(void);

TEST(ZHeader, CppHostWithStdComplexInScope) {
  ::complex z = zmake(3.0, -4.0);
  std::complex<double> c(3.0, -4.0);
  EXPECT_EQ(zabs(z), std::abs(c));
  kvelo_complex k = zconj(z);
  EXPECT_EQ(k.im, 4.0);
}

TEST(ZHeader, CHostWithComplexMacro) { EXPECT_EQ(zmatrix_header_c_probe(), 5.0); }
