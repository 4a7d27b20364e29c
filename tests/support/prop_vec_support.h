// prop_vec_support.h: what the vector and storage harnesses share: whole-range generators per
// element type, the code a call throws, files held in memory, byte images of the binary
// forms, and the tolerant comparisons of the arithmetic against long-double references.
#ifndef KVELO_TEST_PROP_VEC_SUPPORT_H
#define KVELO_TEST_PROP_VEC_SUPPORT_H

#include <rapidcheck.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "C_Communicator.h"
#include "C_KveloException.h"
#include "prop_support.h"
#include "thrown_code.h"

namespace pvec {

using Bytes = std::vector<unsigned char>;
using cd = std::complex<double>;
using cf = std::complex<float>;

// ---- Generators of every element type over its whole range. ----
template <class T>
rc::Gen<T> AnyOf();
template <>
inline rc::Gen<double> AnyOf<double>() { return kvtest::AnyDouble(); }
template <>
inline rc::Gen<cd> AnyOf<cd>() { return kvtest::AnyComplex(); }
template <>
inline rc::Gen<float> AnyOf<float>() {
  return rc::gen::map(kvtest::AnyDouble(), [](double d) { return static_cast<float>(d); });
}
template <>
inline rc::Gen<cf> AnyOf<cf>() {
  return rc::gen::map(kvtest::AnyComplex(), [](cd c) { return cf(static_cast<float>(c.real()), static_cast<float>(c.imag())); });
}
template <>
inline rc::Gen<int> AnyOf<int>() {
  return rc::gen::weightedOneOf<int>({{1, rc::gen::element(0, 1, -1, INT_MAX, INT_MIN, 46341)},
                                      {3, rc::gen::arbitrary<int>()}});
}
template <>
inline rc::Gen<long long> AnyOf<long long>() {
  return rc::gen::weightedOneOf<long long>({{1, rc::gen::element(0LL, 1LL, -1LL, LLONG_MAX, LLONG_MIN)},
                                            {3, rc::gen::arbitrary<long long>()}});
}

template <class T>
std::vector<T> Values(int n) {
  return n > 0 ? *rc::gen::container<std::vector<T>>(static_cast<size_t>(n), AnyOf<T>()) : std::vector<T>();
}

// ---- Element properties. ----
template <class T>
bool HasNaN(T v) {
  if constexpr (std::is_integral<T>::value)
    return false;
  else if constexpr (std::is_floating_point<T>::value)
    return v != v;
  else
    return v.real() != v.real() || v.imag() != v.imag();
}
template <class T>
bool AllFinite(T v) {
  if constexpr (std::is_integral<T>::value)
    return true;
  else if constexpr (std::is_floating_point<T>::value)
    return std::isfinite(v);
  else
    return std::isfinite(v.real()) && std::isfinite(v.imag());
}
template <class T>
bool AnyNaN(const std::vector<T>& v) {
  for (const T& x : v)
    if (HasNaN(x)) return true;
  return false;
}
template <class T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}
template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return kvtest::SameBits(a, b);
}
// Equal as values, NaN equal to NaN (each part on its own for complex values).
inline bool SameValue(double a, double b) { return (a != a && b != b) || a == b; }
inline bool SameValue(cd a, cd b) { return SameValue(a.real(), b.real()) && SameValue(a.imag(), b.imag()); }

// Long-double magnitude of an element (NaN when it holds one).
template <class T>
long double MagL(T v) {
  if constexpr (std::is_integral<T>::value || std::is_floating_point<T>::value) {
    return std::fabs(static_cast<long double>(v));
  } else {
    if (HasNaN(v)) return NAN;
    const long double r = v.real(), i = v.imag();
    if (std::isinf(r) || std::isinf(i)) return INFINITY;
    return std::sqrt(r * r + i * i);
  }
}

// d within rel * scale of the long-double reference ref, or both NaN, or both the same
// infinity; a reference beyond double must come out infinite (or, within the rounding of
// the last bit, DBL_MAX).
inline bool Near(double d, long double ref, long double scale, long double rel) {
  if (std::isnan(ref)) return std::isnan(d);
  if (std::isnan(d)) return false;
  if (std::isinf(ref)) return std::isinf(d) && (d > 0) == (ref > 0);
  if (std::fabs(ref) > static_cast<long double>(DBL_MAX) * (1 + rel)) return std::isinf(d) && (d > 0) == (ref > 0);
  if (std::isinf(d)) return std::fabs(ref) >= static_cast<long double>(DBL_MAX) * (1 - rel);
  // Subnormal results carry fewer bits: an absolute slack of a few of the smallest steps.
  return std::fabs(static_cast<long double>(d) - ref) <= rel * scale + 4 * static_cast<long double>(DBL_TRUE_MIN);
}

// ---- The code of what a call threw: 0 for nothing, -1 for std::bad_alloc (which the host is
// promised never to see), -2 for anything else. ----
template <class F>
int Code(F&& f) {
  try {
    return kvtest::ThrownCode(f);
  } catch (...) {
    return -2;
  }
}

// ---- Files in memory. ----
inline Bytes Drain(FILE* f) {
  std::fflush(f);
  Bytes out;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<unsigned char>(c));
  return out;
}
// A temporary stream holding bytes, rewound (the caller closes it).
inline FILE* StreamOf(const Bytes& b) {
  FILE* f = std::tmpfile();
  if (!f) return nullptr;
  if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
  std::fflush(f);
  std::rewind(f);
  return f;
}
// What write(FILE*) puts into a fresh stream, and the code it threw.
template <class W>
Bytes Written(W&& write, int* code = nullptr) {
  FILE* f = std::tmpfile();
  RC_ASSERT(f != nullptr);
  const int c = Code([&] { write(f); });
  if (code) *code = c;
  Bytes b = Drain(f);
  std::fclose(f);
  return b;
}
// Whole file at path.
inline Bytes FileBytes(const char* path) {
  Bytes out;
  FILE* f = std::fopen(path, "rb");
  if (!f) return out;
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<unsigned char>(c));
  std::fclose(f);
  return out;
}

// Big- and little-endian images of one value (complex: real part first).
template <class T>
void PutBE(Bytes& b, T v) {
  if constexpr (std::is_same<T, cd>::value || std::is_same<T, cf>::value) {
    PutBE(b, v.real());
    PutBE(b, v.imag());
  } else {
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &v, sizeof(T));
    for (size_t i = sizeof(T); i-- > 0;) b.push_back(raw[i]);
  }
}
template <class T>
void PutLE(Bytes& b, T v) {
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, &v, sizeof(T));
  for (size_t i = 0; i < sizeof(T); ++i) b.push_back(raw[i]);
}

// ---- A communicator that carries messages within the process. ----
class Loopback : public C_Communicator {
 public:
  std::deque<Bytes> queue;
  template <class T>
  void Put(const T* p, int count) {
    Bytes b(static_cast<size_t>(count > 0 ? count : 0) * sizeof(T));
    if (count > 0) std::memcpy(b.data(), p, b.size());
    queue.push_back(b);
  }
  template <class T>
  void Pop(T* p, int count) {
    if (queue.empty()) KVELO_THROW(21);
    Bytes b = queue.front();
    queue.pop_front();
    if (b.size() != static_cast<size_t>(count > 0 ? count : 0) * sizeof(T)) KVELO_THROW(21);
    if (count > 0) std::memcpy(p, b.data(), b.size());
  }
  void send(int, int, std::complex<double>* p, int c) override { Put(p, c); }
  void send(int, int, std::complex<float>* p, int c) override { Put(p, c); }
  void send(int, int, double* p, int c) override { Put(p, c); }
  void send(int, int, float* p, int c) override { Put(p, c); }
  void send(int, int, long long* p, int c) override { Put(p, c); }
  void send(int, int, int* p, int c) override { Put(p, c); }
  void recv(int, int, std::complex<double>* p, int c) override { Pop(p, c); }
  void recv(int, int, std::complex<float>* p, int c) override { Pop(p, c); }
  void recv(int, int, double* p, int c) override { Pop(p, c); }
  void recv(int, int, float* p, int c) override { Pop(p, c); }
  void recv(int, int, long long* p, int c) override { Pop(p, c); }
  void recv(int, int, int* p, int c) override { Pop(p, c); }
};

// ---- One element scaled: a x as the BLAS scaling must give it. ----
// Integers wrap; real elements are the one IEEE product; complex elements the textbook product
// within a few roundings where that is finite and no part overflows, and a NaN wherever an
// operand holds one or a zero meets an infinity (a zero factor must not hide NaN or inf).
template <class T>
bool ScaledOk(T got, T x, T a) {
  if constexpr (std::is_integral<T>::value) {
    using U = typename std::make_unsigned<T>::type;
    return got == static_cast<T>(static_cast<U>(a) * static_cast<U>(x));
  } else if constexpr (std::is_floating_point<T>::value) {
    const T r = a * x;
    return (r != r && got != got) || got == r;
  } else {
    using R = typename T::value_type;
    if (HasNaN(x) || HasNaN(a)) return HasNaN(got);
    const T zero(0, 0);
    if ((a == zero && !AllFinite(x)) || (x == zero && !AllFinite(a))) return HasNaN(got);
    if (!AllFinite(x) || !AllFinite(a)) return true;
    const long double ar = a.real(), ai = a.imag(), xr = x.real(), xi = x.imag();
    const long double top = static_cast<long double>(std::numeric_limits<R>::max());
    const long double t1 = ar * xr, t2 = ai * xi, t3 = ar * xi, t4 = ai * xr;
    if (std::fabs(t1) > top || std::fabs(t2) > top || std::fabs(t3) > top || std::fabs(t4) > top) return true;
    const long double eps = 4 * static_cast<long double>(std::numeric_limits<R>::epsilon());
    const long double tiny = 4 * static_cast<long double>(std::numeric_limits<R>::denorm_min());
    auto near = [&](R g, long double ref, long double scale) {
      if (std::fabs(ref) > top) return true;
      return std::fabs(static_cast<long double>(g) - ref) <= eps * scale + tiny;
    };
    return near(got.real(), t1 - t2, std::fabs(t1) + std::fabs(t2)) && near(got.imag(), t3 + t4, std::fabs(t3) + std::fabs(t4));
  }
}

}  // namespace pvec

#endif
