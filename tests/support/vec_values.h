/* vec_values.h: element-type helpers of the vector tests: the type of an element's parts,
 * and any element as a complex<double> to compare against. */
#ifndef KVELO_TEST_VEC_VALUES_H
#define KVELO_TEST_VEC_VALUES_H

#include <complex>

namespace kvtest {

// The type of T's parts.
template <class T>
struct RealOf {
  using type = T;
};
template <class R>
struct RealOf<std::complex<R>> {
  using type = R;
};

// An element of any vector instance as a complex<double>.
template <class T>
inline std::complex<double> AsC(T v) {
  return std::complex<double>(static_cast<double>(v), 0.0);
}
template <>
inline std::complex<double> AsC<std::complex<float>>(std::complex<float> v) {
  return std::complex<double>(v.real(), v.imag());
}
template <>
inline std::complex<double> AsC<std::complex<double>>(std::complex<double> v) {
  return v;
}

}  // namespace kvtest

#endif
