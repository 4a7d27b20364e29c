// prop_cm_mat_gen.h: what the matrix and I/O harnesses of the C library share: plain value
// matrices (row-major std::vector) drawn from the whole double range or as small integers
// scaled by a power of two, their conversion to and from MAT / ZMAT / PERM records, bitwise
// snapshots of records for "a refusal changes nothing", and long double references.
#ifndef KVELO_TEST_PROP_CM_MAT_GEN_H
#define KVELO_TEST_PROP_CM_MAT_GEN_H

#include <rapidcheck.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <vector>

#include "matrix.h"
#include "prop_support.h"
#include "zmatrix.h"

namespace cmm {

using C = std::complex<double>;
using LD = long double;

struct RM {
  int m = 0, n = 0;
  std::vector<double> a;  // row-major
  double at(int i, int j) const { return a[static_cast<size_t>(i) * n + j]; }
};
struct ZM {
  int m = 0, n = 0;
  std::vector<C> a;
  C at(int i, int j) const { return a[static_cast<size_t>(i) * n + j]; }
};

// Element kinds: the whole range, or small integers (exact products and sums) scaled later.
inline rc::Gen<double> Elem(bool wild) {
  if (wild) return kvtest::AnyDouble();
  return rc::gen::map(rc::gen::inRange(-9, 10), [](int i) { return static_cast<double>(i); });
}

inline rc::Gen<RM> GenRM(int m, int n, bool wild) {
  return rc::gen::map(rc::gen::container<std::vector<double>>(static_cast<size_t>(m) * n, Elem(wild)),
                      [m, n](std::vector<double> v) {
                        RM r;
                        r.m = m;
                        r.n = n;
                        r.a = std::move(v);
                        return r;
                      });
}

inline rc::Gen<C> ZElem(bool wild) {
  if (!wild)
    return rc::gen::map(rc::gen::pair(rc::gen::inRange(-9, 10), rc::gen::inRange(-9, 10)),
                        [](std::pair<int, int> p) { return C(p.first, p.second); });
  // Beside the whole range: a product whose partial products overflow while its real part
  // (about 5e299) does not, and zeros (0 + s*y must be s*y).
  return rc::gen::weightedOneOf<C>({{5, kvtest::AnyComplex()},
                                    {2, rc::gen::element(C(1e200, 1e200), C(5e108, 5e108 * (1 - 1e-9)),
                                                         C(1e300, -1e300), C(4.9e-324, 1e-310), C(0, 0))}});
}

inline rc::Gen<ZM> GenZM(int m, int n, bool wild) {
  return rc::gen::map(rc::gen::container<std::vector<C>>(static_cast<size_t>(m) * n, ZElem(wild)),
                      [m, n](std::vector<C> v) {
                        ZM r;
                        r.m = m;
                        r.n = n;
                        r.a = std::move(v);
                        return r;
                      });
}

// Records. The harness makes them through the library's own allocators.
inline MAT* NewMAT(const RM& r) {
  int st = 0;
  MAT* A = _LM_m_get("p", 0, r.m, r.n, __LINE__, "p", &st);
  RC_ASSERT(A != nullptr);
  for (int i = 0; i < r.m; ++i)
    for (int j = 0; j < r.n; ++j) A->me[i][j] = r.at(i, j);
  return A;
}
inline RM Of(const MAT* A) {
  RM r;
  r.m = static_cast<int>(A->m);
  r.n = static_cast<int>(A->n);
  for (int i = 0; i < r.m; ++i)
    for (int j = 0; j < r.n; ++j) r.a.push_back(A->me[i][j]);
  return r;
}
inline ZMAT* NewZMAT(const ZM& r) {
  int st = 0;
  ZMAT* A = _LM_zm_get("p", 0, r.m, r.n, __LINE__, "p", &st);
  RC_ASSERT(A != nullptr);
  for (int i = 0; i < r.m; ++i)
    for (int j = 0; j < r.n; ++j) A->me[i][j] = zmake(r.at(i, j).real(), r.at(i, j).imag());
  return A;
}
inline ZM Of(const ZMAT* A) {
  ZM r;
  r.m = static_cast<int>(A->m);
  r.n = static_cast<int>(A->n);
  for (int i = 0; i < r.m; ++i)
    for (int j = 0; j < r.n; ++j) r.a.push_back(C(A->me[i][j].re, A->me[i][j].im));
  return r;
}
inline VEC* NewVEC(const std::vector<double>& v) {
  int st = 0;
  VEC* x = _LM_v_get("p", 0, static_cast<int>(v.size()), __LINE__, "p", &st);
  RC_ASSERT(x != nullptr);
  for (size_t i = 0; i < v.size(); ++i) x->ve[i] = v[i];
  return x;
}
inline std::vector<double> Of(const VEC* x) { return std::vector<double>(x->ve, x->ve + x->dim); }
inline ZVEC* NewZVEC(const std::vector<C>& v) {
  int st = 0;
  ZVEC* x = _LM_zv_get("p", 0, static_cast<int>(v.size()), __LINE__, "p", &st);
  RC_ASSERT(x != nullptr);
  for (size_t i = 0; i < v.size(); ++i) x->ve[i] = zmake(v[i].real(), v[i].imag());
  return x;
}
inline std::vector<C> Of(const ZVEC* x) {
  std::vector<C> r;
  for (unsigned i = 0; i < x->dim; ++i) r.push_back(C(x->ve[i].re, x->ve[i].im));
  return r;
}
inline PERM* NewPERM(const std::vector<unsigned>& p) {
  int st = 0;
  PERM* px = _LM_px_get("p", 0, static_cast<int>(p.size()), __LINE__, "p", &st);
  RC_ASSERT(px != nullptr);
  for (size_t i = 0; i < p.size(); ++i) px->pe[i] = p[i];
  return px;
}
inline std::vector<unsigned> Of(const PERM* px) { return std::vector<unsigned>(px->pe, px->pe + px->size); }

// Bitwise snapshots: the fields and every stored element within the capacity.
inline std::vector<unsigned char> Shot(const MAT* A) {
  std::vector<unsigned char> s;
  if (A == nullptr) return s;
  auto put = [&s](const void* p, size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    s.insert(s.end(), c, c + n);
  };
  put(&A->m, sizeof A->m);
  put(&A->n, sizeof A->n);
  put(&A->max_m, sizeof A->max_m);
  put(&A->max_n, sizeof A->max_n);
  put(&A->max_size, sizeof A->max_size);
  put(&A->base, sizeof A->base);
  for (unsigned i = 0; i < A->m; ++i) put(A->me[i], sizeof(double) * A->n);
  return s;
}
inline std::vector<unsigned char> Shot(const ZMAT* A) {
  std::vector<unsigned char> s;
  if (A == nullptr) return s;
  auto put = [&s](const void* p, size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    s.insert(s.end(), c, c + n);
  };
  put(&A->m, sizeof A->m);
  put(&A->n, sizeof A->n);
  put(&A->max_m, sizeof A->max_m);
  put(&A->max_n, sizeof A->max_n);
  put(&A->max_size, sizeof A->max_size);
  put(&A->base, sizeof A->base);
  for (unsigned i = 0; i < A->m; ++i) put(A->me[i], sizeof(::complex) * A->n);
  return s;
}
template <class V>
std::vector<unsigned char> ShotV(const V* x) {
  std::vector<unsigned char> s;
  if (x == nullptr) return s;
  auto put = [&s](const void* p, size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    s.insert(s.end(), c, c + n);
  };
  put(&x->dim, sizeof x->dim);
  put(&x->max_dim, sizeof x->max_dim);
  put(&x->ve, sizeof x->ve);
  put(x->ve, sizeof(x->ve[0]) * x->max_dim);
  return s;
}
inline std::vector<unsigned char> ShotP(const PERM* p) {
  std::vector<unsigned char> s;
  if (p == nullptr) return s;
  auto put = [&s](const void* q, size_t n) {
    const auto* c = static_cast<const unsigned char*>(q);
    s.insert(s.end(), c, c + n);
  };
  put(&p->size, sizeof p->size);
  put(&p->max_size, sizeof p->max_size);
  put(&p->pe, sizeof p->pe);
  put(p->pe, sizeof(unsigned) * p->max_size);
  return s;
}

// A double result against a long double reference: a NaN reference wants NaN, an infinite
// one the same infinity; a finite one whose scale (sum of the magnitudes that formed it)
// stays inside the double range wants a finite result within rel * scale (plus a few
// subnormal steps). Where the terms themselves leave the range (their scale beyond DBL_MAX)
// the kernels' partial sums may meet inf - inf: such results are not checked here, unless
// strict: a single product (or a sum of terms each in range) whose value is in range must
// come out finite and near, however large its partial products.
inline bool Near(double got, LD ref, LD scale, double rel, bool refNaN = false, bool strict = false) {
  if (refNaN || std::isnan(ref)) return std::isnan(got);
  if (std::isinf(ref)) return got == static_cast<double>(ref);
  if (!strict && !(scale <= static_cast<LD>(DBL_MAX))) return true;
  if (std::fabs(ref) > static_cast<LD>(DBL_MAX) * (1 - 1e-16L)) return !std::isnan(got);
  if (!std::isfinite(got)) return false;
  return std::fabs(static_cast<LD>(got) - ref) <= rel * scale + 8 * static_cast<LD>(4.9406564584124654e-324);
}

inline bool SameBitsC(C a, C b) { return kvtest::SameBits(a.real(), b.real()) && kvtest::SameBits(a.imag(), b.imag()); }

}  // namespace cmm

#endif
