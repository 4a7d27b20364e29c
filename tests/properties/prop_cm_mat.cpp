// prop_cm_mat.cpp: the C library's dense matrices (MAT, ZMAT), permutations, and real and
// complex LU, driven by random operands from the whole double range and random shapes
// (0 rows or columns and 1 x 1 included). Every operation is checked against a long double
// reference, against itself with its output aliasing an input, for "a refusal changes
// nothing" (records compared bitwise, fields and elements), and short of memory.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>
#include <numeric>
#include <vector>

#include "cmatrix/zlufctr.h"
#include "matrix.h"
#include "kvelosys.h"
#include "matwrap.h"
#include "msgcapture.h"
#include "prop_cm_mat_gen.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"
#include "zmatrix.h"

// clang-format off
KVELO_HOLDS(
    "_LM_m_get", "_LM_m_resize", "m_free", "_LM_m_get_vars", "_LM_m_resize_vars", "m_free_vars",
    "_LM_px_get", "_LM_px_resize", "px_free", "_LM_px_get_vars", "_LM_px_resize_vars", "px_free_vars",
    "_LM__m_copy", "_LM_px_copy", "_LM_m_move", "_LM_mv_move", "_LM_vm_move",
    "_LM_m_add", "_LM_m_sub", "_LM_sm_mlt", "_LM_m_mlt", "_LM_mmtr_mlt", "_LM_mtrm_mlt",
    "_LM_mv_mlt", "_LM_vm_mlt", "_LM_m_transp", "_LM_ms_mltadd", "_LM_m_mltadd",
    "_LM_mv_mltadd", "_LM_vm_mltadd", "_LM_m_norm1", "_LM_m_norm_inf", "_LM_m_norm_frob",
    "_LM_px_inv", "_LM_px_mlt", "_LM_px_vec", "_LM_pxinv_vec", "_LM_px_transp", "_LM_px_sign",
    "_LM_px_cols", "_LM_px_rows", "_LM_m_zero", "_LM_m_ident", "_LM_px_ident", "_LM_m_ones",
    "_LM_m_rand", "_LM_LUfactor", "_LM_LUsolve", "_LM_LUTsolve", "_LM_m_inverse",
    "_LM_LUcondest", "_LM_Usolve", "_LM_Lsolve", "_LM_UTsolve", "_LM_LTsolve", "_LM_Dsolve",
    "_LM_zm_get", "_LM_zm_resize", "zm_free", "_LM_zm_zero", "_LM_zm_get_vars",
    "_LM_zm_resize_vars", "zm_free_vars", "_LM__zm_copy", "_LM_zm_move", "_LM_zmv_move",
    "_LM_zvm_move", "_LM_zm_add", "_LM_zm_sub", "_LM_zsm_mlt", "_LM_zm_mlt", "_LM_zmma_mlt",
    "_LM_zmam_mlt", "_LM_zmv_mlt", "_LM_zvm_mlt", "_LM_zm_adjoint", "_LM_mz_mltadd",
    "_LM_zm_mltadd", "_LM_zmv_mltadd", "_LM_zvm_mltadd", "_LM_zm_rand", "_LM_zm_norm1",
    "_LM_zm_norm_inf", "_LM_zm_norm_frob", "_LM_px_zvec", "_LM_pxinv_zvec",
    "_LM_mat_get", "_LM_mat_resize", "mat_free", "_LM_mat_zero", "_LM_mat_copy", "_LM_mat_inverse",
    "_LM_mat_mlt");
// clang-format on

namespace {

using namespace cmm;
constexpr double kEps = DBL_EPSILON / 2;  // unit roundoff

template <class T>
bool SameOrBothNaN(T a, T b);
template <>
bool SameOrBothNaN(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || kvtest::SameBits(a, b);
}
template <>
bool SameOrBothNaN(C a, C b) {
  return SameOrBothNaN(a.real(), b.real()) && SameOrBothNaN(a.imag(), b.imag());
}
template <class V>
bool SameVals(const V& a, const V& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameOrBothNaN(a[i], b[i])) return false;
  return true;
}
bool SameM(const RM& a, const RM& b) { return a.m == b.m && a.n == b.n && SameVals(a.a, b.a); }
// A result takes the operands' shape, an empty one included.
bool SizedAs(const MAT* r, int m, int n) { return (int)r->m == m && (int)r->n == n; }
RM Cut(RM r, int m, int n) {
  RM o;
  o.m = m;
  o.n = n;
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) o.a.push_back(r.at(i, j));
  return o;
}
bool SameM(const ZM& a, const ZM& b) { return a.m == b.m && a.n == b.n && SameVals(a.a, b.a); }

struct Dims {
  int m, n;
};
rc::Gen<int> Size() { return rc::gen::weightedOneOf<int>({{1, rc::gen::just(0)}, {2, rc::gen::just(1)}, {5, rc::gen::inRange(2, 5)}}); }

// ---- Element-wise real operations: add, sub, s*A, A + s*B (two spellings). ----
RC_GTEST_PROP(CmMat, ElementWiseReal, ()) {
  kvtest::MsgCapture quiet;
  const int op = *rc::gen::inRange(0, 5);
  const int m = *Size(), n = *Size();
  const bool sameShape = *rc::gen::weightedOneOf<bool>({{5, rc::gen::just(true)}, {1, rc::gen::just(false)}});
  const int bm = sameShape ? m : *Size(), bn = sameShape ? n : *Size();
  const RM a = *GenRM(m, n, true);
  const RM b = *GenRM(bm, bn, true);
  const double s = *kvtest::AnyDouble();
  const int alias = *rc::gen::inRange(0, 4);  // 0 NULL, 1 other record, 2 out == A, 3 out == B
  RC_LOG() << "op " << op << " A " << m << "x" << n << " B " << bm << "x" << bn << " s " << s << " alias " << alias;
  auto call = [&](MAT* A, MAT* B, MAT* out, int* st) -> MAT* {
    switch (op) {
      case 0: return _LM_m_add(A, B, out, __LINE__, "p", st);
      case 1: return _LM_m_sub(A, B, out, __LINE__, "p", st);
      case 2: return _LM_sm_mlt(s, A, out, __LINE__, "p", st);
      case 3: return _LM_ms_mltadd(A, B, s, out, __LINE__, "p", st);
      default: return _LM_m_mltadd(A, B, s, out, __LINE__, "p", st);
    }
  };
  const bool accepted = op == 2 || (bm == m && bn == n);
  // The plain call into a new record.
  MAT* A = NewMAT(a);
  MAT* B = NewMAT(b);
  int st = 0;
  MAT* r = call(A, B, nullptr, &st);
  RC_ASSERT((r != nullptr) == accepted);
  RC_ASSERT(SameM(Of(A), a));
  RM want;
  if (r) {
    RC_ASSERT(SizedAs(r, m, n));
    want = Cut(Of(r), m, n);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j) {
        const double x = a.at(i, j);
        const double y = op == 2 ? 0.0 : b.at(i, j);
        const double g = want.at(i, j);
        LD ref, scale;
        double rel = kEps;
        if (op == 0) ref = (LD)x + y, scale = std::fabs((LD)x) + std::fabs((LD)y);
        else if (op == 1) ref = (LD)x - y, scale = std::fabs((LD)x) + std::fabs((LD)y);
        else if (op == 2) ref = (LD)s * x, scale = std::fabs(ref);
        else {
          ref = (LD)x + (LD)s * y, scale = std::fabs((LD)x) + std::fabs((LD)s * y), rel = 2 * kEps;
          if (s == 0.0 && SameOrBothNaN(g, x)) continue;  // as in the BLAS, s = 0 leaves B unread
          if (std::isinf(s * y) && std::isfinite((LD)s * y)) continue;  // s*y beyond the range
        }
        RC_LOG() << i << "," << j << " got " << g << " ref " << (double)ref;
        RC_ASSERT(Near(g, ref, scale, rel));
      }
    m_free(r);
  }
  // The same call into another record, or over an operand.
  MAT* other = alias == 1 ? NewMAT(*GenRM(*Size(), *Size(), true)) : nullptr;
  MAT* out = alias == 1 ? other : alias == 2 ? A : alias == 3 && op != 2 ? B : nullptr;
  const auto shotA = Shot(A), shotB = Shot(B), shotO = Shot(other);
  st = 0;
  MAT* r2 = call(A, B, out, &st);
  RC_ASSERT((r2 != nullptr) == accepted);
  if (!r2) {
    RC_ASSERT(st != 0);
    RC_ASSERT(Shot(A) == shotA);
    RC_ASSERT(Shot(B) == shotB);
    RC_ASSERT(Shot(other) == shotO);
  } else {
    RC_ASSERT(SizedAs(r2, m, n));
    RC_ASSERT(SameM(Cut(Of(r2), m, n), want));
    if (r2 == other) other = nullptr;
    if (r2 == A) A = nullptr;
    if (r2 == B) B = nullptr;
    m_free(r2);
  }
  m_free(A);
  m_free(B);
  m_free(other);
}

// ---- Products: A*B, A*B^T, A^T*B, A*x, x^T*A, x + s*A*y, x + s*A^T*y, transpose. ----
// The kernels skip zero weights (the row of A gathers the rows of B it weights), so a term
// 0 * inf or 0 * NaN may count as 0 or as NaN: both references are allowed.
struct Ref {
  LD full = 0, skip = 0, scale = 0;
  LD slack = 0;      // absolute: a sum that underflows before it is scaled
  bool out = false;  // a term beyond the double range: the kernel's sum may meet inf - inf
};
void Add(Ref& r, LD a, LD b) {
  if (std::isfinite(a * b) && std::fabs(a * b) > (LD)DBL_MAX) r.out = true;
  r.full += a * b;
  if (a != 0 && b != 0) r.skip += a * b;
  if (a != 0 && b != 0) r.scale += std::fabs(a * b);
}
bool Holds(double got, const Ref& r, int terms) {
  if (r.out) return true;
  const double rel = (terms + 2) * kEps;
  if (Near(got, r.full, r.scale, rel) || Near(got, r.skip, r.scale, rel)) return true;
  return std::isfinite(got) && std::isfinite(r.skip) && std::fabs(got - r.skip) <= rel * r.scale + r.slack;
}

RC_GTEST_PROP(CmMat, ProductsReal, ()) {
  kvtest::MsgCapture quiet;
  const int op = *rc::gen::inRange(0, 8);
  const int m = *Size(), k = *Size(), n = *Size();
  const bool fits = *rc::gen::weightedOneOf<bool>({{6, rc::gen::just(true)}, {1, rc::gen::just(false)}});
  const bool wild = *rc::gen::arbitrary<bool>();
  // Operand shapes for each op when they fit.
  int am = m, an = k, bm = k, bn = n;
  if (op == 1) bm = n, bn = k;               // A*B^T: B is n x k
  if (op == 2) am = k, an = m, bm = k, bn = n;  // A^T*B: A is k x m
  const RM a = *GenRM(am, an, wild);
  const RM b = *GenRM(fits ? bm : *Size(), fits ? bn : *Size(), wild);
  const std::vector<double> x = *rc::gen::container<std::vector<double>>(fits ? static_cast<size_t>(op == 4 || op == 6 ? am : an) : *Size(), Elem(wild));
  const std::vector<double> y0 = *rc::gen::container<std::vector<double>>(static_cast<size_t>(op == 5 ? am : op == 6 ? an : am), Elem(wild));
  const double s = *kvtest::AnyDouble();
  const int alias = *rc::gen::inRange(0, 3);  // 0 NULL, 1 other record, 2 out over an input
  RC_LOG() << "op " << op << " A " << a.m << "x" << a.n << " B " << b.m << "x" << b.n << " x " << x.size() << " alias " << alias << " s " << s << "\n";
  for (double v : a.a) RC_LOG() << "a " << v << "\n";
  for (double v : x) RC_LOG() << "x " << v << "\n";
  for (double v : y0) RC_LOG() << "y " << v << "\n";
  MAT* A = NewMAT(a);
  MAT* B = NewMAT(b);
  VEC* X = NewVEC(x);
  VEC* Y = NewVEC(y0);
  int st = 0;
  const auto shots = std::make_tuple(Shot(A), Shot(B), ShotV(X), ShotV(Y));
  auto unchanged = [&] { RC_ASSERT((std::make_tuple(Shot(A), Shot(B), ShotV(X), ShotV(Y)) == shots)); };
  if (op <= 2 || op == 7) {
    MAT* r = nullptr;
    MAT* other = alias == 1 ? NewMAT(*GenRM(*Size(), *Size(), true)) : nullptr;
    MAT* out = alias == 1 ? other : alias == 2 ? (op == 7 ? A : B) : nullptr;
    const auto shotO = Shot(other);
    if (op == 0) r = _LM_m_mlt(A, B, out, __LINE__, "p", &st);
    else if (op == 1) r = _LM_mmtr_mlt(A, B, out, __LINE__, "p", &st);
    else if (op == 2) r = _LM_mtrm_mlt(A, B, out, __LINE__, "p", &st);
    else r = _LM_m_transp(A, out, __LINE__, "p", &st);
    bool ok;
    if (op == 7) ok = out != A || a.m == a.n;
    else ok = (op == 0 ? b.m == a.n : op == 1 ? b.n == a.n : b.m == a.m) && out != B;
    RC_ASSERT((r != nullptr) == ok);
    if (!r) {
      RC_ASSERT(st != 0);
      if (out != A) unchanged();
      RC_ASSERT(Shot(other) == shotO);
    } else if (op == 7) {
      RC_ASSERT(SizedAs(r, a.n, a.m));
      for (int i = 0; i < a.n; ++i)
        for (int j = 0; j < a.m; ++j) RC_ASSERT(kvtest::SameBits(r->me[i][j], a.at(j, i)));
    } else {
      const int rm = op == 2 ? a.n : a.m;
      const int rn = op == 1 ? b.m : b.n;
      const int kk = op == 2 ? a.m : a.n;
      RC_ASSERT(SizedAs(r, rm, rn));
      for (int i = 0; i < rm; ++i)
        for (int j = 0; j < rn; ++j) {
          Ref ref;
          for (int t = 0; t < kk; ++t) {
            const LD av = op == 2 ? a.at(t, i) : a.at(i, t);
            const LD bv = op == 1 ? b.at(j, t) : b.at(t, j);
            Add(ref, av, bv);
          }
          RC_LOG() << i << "," << j << " got " << r->me[i][j] << " ref " << (double)ref.full;
          RC_ASSERT(Holds(r->me[i][j], ref, kk));
        }
      unchanged();
    }
    if (r && r != A && r != B && r != other) m_free(r);
    m_free(other);
  } else {
    // Matrix-vector: out may be x for the multiply-adds, never y (or b for the products).
    const bool mv = op == 3 || op == 5;
    VEC* other = alias == 1 ? NewVEC(std::vector<double>(*Size(), 7.0)) : nullptr;
    VEC* out = alias == 1 ? other : alias == 2 ? (op >= 5 ? Y : X) : nullptr;
    const auto shotO = ShotV(other);
    VEC* r = nullptr;
    // mv: A*x (x has A.n), vm: x^T*A (x has A.m); mltadd: y + s*A*x, y + s*A^T*x.
    if (op == 3) r = _LM_mv_mlt(A, X, out, __LINE__, "p", &st);
    else if (op == 4) r = _LM_vm_mlt(A, X, out, __LINE__, "p", &st);
    else if (op == 5) r = _LM_mv_mltadd(Y, X, A, s, out, __LINE__, "p", &st);
    else r = _LM_vm_mltadd(Y, X, A, s, out, __LINE__, "p", &st);
    const int need = mv ? a.n : a.m;
    const int outDim = mv ? a.m : a.n;
    const bool ok = (int)x.size() == need && out != X && (op < 5 || (int)y0.size() == outDim);
    RC_LOG() << "got " << (r != nullptr) << " want " << ok;
    RC_ASSERT((r != nullptr) == ok);
    if (!r) {
      RC_ASSERT(st != 0);
      unchanged();
      RC_ASSERT(ShotV(other) == shotO);
    } else {
      RC_ASSERT((int)r->dim == outDim);
      for (int i = 0; i < outDim; ++i) {
        Ref ref;
        for (int t = 0; t < need; ++t) Add(ref, mv ? a.at(i, t) : a.at(t, i), x[t]);
        if (op >= 5) {
          // y + s * (sum): the sum is formed first, then scaled (or each term scaled): allow both.
          Ref sc;
          sc.full = (LD)y0[i] + (LD)s * ref.full;
          sc.skip = (LD)y0[i] + (LD)s * ref.skip;
          sc.scale = std::fabs((LD)y0[i]) + std::fabs((LD)s) * ref.scale;
          sc.out = ref.out;
          sc.slack = (need + 1) * std::fabs((LD)s) * (LD)4.9406564584124654e-324;
          const double g = r->ve[i];
          if (s == 0.0 && SameOrBothNaN(g, y0[i])) continue;
          // Or the weights s*x[t] rounded first, zero weights skipped (y + (s x)^T A).
          Ref w;
          w.full = w.skip = y0[i];
          w.scale = std::fabs((LD)y0[i]);
          // A weight that overflows, or underflows to zero beside a non-zero s and x[t], does
          // not stand for its products: then only the sum formed first, then scaled, holds.
          bool weightLost = false;
          for (int t = 0; t < need; ++t) {
            const double wt = s * x[t];
            if (std::isinf(wt) && std::isfinite((LD)s * x[t])) weightLost = true;
            if (wt == 0.0 && s != 0.0 && x[t] != 0.0) weightLost = true;
            Add(w, wt, mv ? a.at(i, t) : a.at(t, i));
          }
          w.full = w.skip;
          RC_LOG() << i << " got " << g << " ref " << (double)sc.full << " or " << (double)w.skip;
          // An infinite s is not checked (s * 0 weights); a NaN s must give NaN.
          if (std::isnan(s)) RC_ASSERT(std::isnan(g) || (need == 0 && SameOrBothNaN(g, y0[i])));
          if (!std::isfinite(s)) continue;
          RC_ASSERT((Holds(g, sc, need + 2) || (!weightLost && Holds(g, w, need + 2))));
        } else {
          RC_LOG() << i << " got " << r->ve[i] << " ref " << (double)ref.full;
          RC_ASSERT(Holds(r->ve[i], ref, need));
        }
      }
    }
    if (r && r != X && r != Y && r != other) v_free(r);
    v_free(other);
  }
  m_free(A);
  m_free(B);
  v_free(X);
  v_free(Y);
}

// ---- Norms against long double. ----
RC_GTEST_PROP(CmMat, NormsReal, ()) {
  kvtest::MsgCapture quiet;
  const int m = *Size(), n = *Size();
  const RM a = *GenRM(m, n, true);
  MAT* A = NewMAT(a);
  int st = 0;
  LD one = 0, inf = 0, frob = 0;
  bool nan = false;
  for (int j = 0; j < n; ++j) {
    LD s = 0;
    for (int i = 0; i < m; ++i) s += std::fabs((LD)a.at(i, j));
    one = std::max(one, s);
  }
  for (int i = 0; i < m; ++i) {
    LD s = 0;
    for (int j = 0; j < n; ++j) s += std::fabs((LD)a.at(i, j)), frob += (LD)a.at(i, j) * a.at(i, j), nan |= std::isnan(a.at(i, j));
    inf = std::max(inf, s);
  }
  if (nan) one = inf = frob = NAN;
  const double g1 = _LM_m_norm1(A, __LINE__, "p", &st);
  const double gi = _LM_m_norm_inf(A, __LINE__, "p", &st);
  const double gf = _LM_m_norm_frob(A, __LINE__, "p", &st);
  RC_LOG() << g1 << " " << gi << " " << gf << " ref " << (double)one << " " << (double)inf << " " << (double)std::sqrt(frob);
  RC_ASSERT(Near(g1, one, one, (m + 1) * kEps));
  RC_ASSERT(Near(gi, inf, inf, (n + 1) * kEps));
  const LD f = std::sqrt(frob);
  RC_ASSERT(Near(gf, f, f, (m * n + 2) * kEps));
  RC_ASSERT(SameM(Of(A), a));
  m_free(A);
}

// ---- Permutations. ----
rc::Gen<std::vector<unsigned>> GenPerm(int n, bool trueOne) {
  if (trueOne) {
    return rc::gen::map(rc::gen::container<std::vector<int>>(static_cast<size_t>(n), rc::gen::inRange(0, 1000)), [n](std::vector<int> keys) {
      std::vector<unsigned> p(n);
      std::iota(p.begin(), p.end(), 0u);
      std::stable_sort(p.begin(), p.end(), [&](unsigned x, unsigned y) { return keys[x] < keys[y]; });
      return p;
    });
  }
  return rc::gen::container<std::vector<unsigned>>(static_cast<size_t>(n), rc::gen::map(rc::gen::inRange(0, n + 2), [](int v) { return static_cast<unsigned>(v); }));
}
bool IsPerm(const std::vector<unsigned>& p) {
  std::vector<char> seen(p.size(), 0);
  for (unsigned v : p) {
    if (v >= p.size() || seen[v]) return false;
    seen[v] = 1;
  }
  return true;
}

RC_GTEST_PROP(CmMat, Permutations, ()) {
  kvtest::MsgCapture quiet;
  const int op = *rc::gen::inRange(0, 9);
  const int n = *rc::gen::inRange(1, 6);
  const bool good = *rc::gen::weightedOneOf<bool>({{4, rc::gen::just(true)}, {1, rc::gen::just(false)}});
  const std::vector<unsigned> p = *GenPerm(n, good);
  const int n2 = *rc::gen::weightedOneOf<int>({{5, rc::gen::just(n)}, {1, rc::gen::inRange(1, 6)}});
  const std::vector<unsigned> q = *GenPerm(n2, *rc::gen::arbitrary<bool>());
  const std::vector<double> xv = *rc::gen::container<std::vector<double>>(static_cast<size_t>(n2), kvtest::AnyDouble());
  const std::vector<C> zv = *rc::gen::container<std::vector<C>>(static_cast<size_t>(n2), kvtest::AnyComplex());
  const int alias = *rc::gen::inRange(0, 3);
  const RM a = *GenRM(n2, n2, true);
  const unsigned ti = *rc::gen::inRange(0, n + 2), tj = *rc::gen::inRange(0, n + 2);
  RC_LOG() << "op " << op << " n " << n << " n2 " << n2 << " alias " << alias;
  const bool pOk = IsPerm(p);
  PERM* P = NewPERM(p);
  PERM* Q = NewPERM(q);
  VEC* X = NewVEC(xv);
  ZVEC* Z = NewZVEC(zv);
  MAT* A = NewMAT(a);
  const auto shots = std::make_tuple(ShotP(P), ShotP(Q), ShotV(X), ShotV(Z), Shot(A));
  auto unchanged = [&] { RC_ASSERT((std::make_tuple(ShotP(P), ShotP(Q), ShotV(X), ShotV(Z), Shot(A)) == shots)); };
  int st = 0;
  switch (op) {
    case 0: {  // inverse, into NULL, a new record, or over px
      PERM* other = alias == 1 ? NewPERM(std::vector<unsigned>{0}) : nullptr;
      PERM* r = _LM_px_inv(P, alias == 2 ? P : other, __LINE__, "p", &st);
      RC_ASSERT((r != nullptr) == pOk);
      if (!r) unchanged();
      else {
        const auto got = Of(r);
        RC_ASSERT((int)got.size() == n);
        for (int i = 0; i < n; ++i) RC_ASSERT(got[p[i]] == (unsigned)i);
        if (r != P && r != other) px_free(r);
      }
      if (r != other || !r) px_free(other);
      else px_free(other);
      break;
    }
    case 1: {  // product
      PERM* r = _LM_px_mlt(P, Q, nullptr, __LINE__, "p", &st);
      const bool ok = pOk && IsPerm(q) && n == n2;
      RC_ASSERT((r != nullptr) == ok);
      if (!r) unchanged();
      else {
        for (int i = 0; i < n; ++i) RC_ASSERT(r->pe[i] == p[q[i]]);
        px_free(r);
      }
      break;
    }
    case 2:
    case 3: {  // permuting a vector, out NULL or over x
      VEC* r = op == 2 ? _LM_px_vec(P, X, alias == 2 ? X : nullptr, __LINE__, "p", &st)
                       : _LM_pxinv_vec(P, X, alias == 2 ? X : nullptr, __LINE__, "p", &st);
      const bool ok = pOk && n <= n2;
      RC_LOG() << "got " << (r != nullptr) << " want " << ok;
      RC_ASSERT((r != nullptr) == ok || (pOk && n != n2));
      if (!r) unchanged();
      else if (n == n2) {
        for (int i = 0; i < n; ++i) {
          if (op == 2) RC_ASSERT(kvtest::SameBits(r->ve[i], xv[p[i]]));
          else RC_ASSERT(kvtest::SameBits(r->ve[p[i]], xv[i]));
        }
      }
      if (r && r != X) v_free(r);
      break;
    }
    case 4: {  // complex vectors
      ZVEC* r = *rc::gen::arbitrary<bool>() ? _LM_px_zvec(P, Z, alias == 2 ? Z : nullptr, __LINE__, "p", &st)
                                            : _LM_pxinv_zvec(P, Z, alias == 2 ? Z : nullptr, __LINE__, "p", &st);
      if (!r) {
        RC_ASSERT(!pOk || n != n2);
        unchanged();
      } else {
        RC_ASSERT(pOk);
        RC_ASSERT((int)r->dim == n2);
      }
      if (r && r != Z) zv_free(r);
      break;
    }
    case 5: {  // transposition (entries not checked) and sign
      const int sign = _LM_px_sign(P, __LINE__, "p", &st);
      if (!pOk) {
        RC_ASSERT(sign == 0);
        unchanged();
      } else {
        int inv = 0;
        for (int i = 0; i < n; ++i)
          for (int j = i + 1; j < n; ++j) inv += p[i] > p[j];
        RC_ASSERT(sign == (inv % 2 ? -1 : 1));
      }
      std::vector<unsigned> want = p;
      if (ti < (unsigned)n && tj < (unsigned)n) std::swap(want[ti], want[tj]);
      RC_ASSERT(_LM_px_transp(P, ti, tj, __LINE__, "p", &st) == P);
      RC_ASSERT(Of(P) == want);
      break;
    }
    case 6:
    case 7: {  // rows and columns of a matrix
      MAT* other = alias == 1 ? NewMAT(*GenRM(*Size(), *Size(), true)) : nullptr;
      MAT* out = alias == 1 ? other : alias == 2 ? A : nullptr;
      const auto shotO = Shot(other);
      MAT* r = op == 6 ? _LM_px_rows(P, A, out, __LINE__, "p", &st) : _LM_px_cols(P, A, out, __LINE__, "p", &st);
      const bool ok = pOk && n == n2 && out != A;
      RC_LOG() << "got " << (r != nullptr) << " want " << ok;
      RC_ASSERT((r != nullptr) == ok);
      if (!r) {
        unchanged();
        RC_ASSERT(Shot(other) == shotO);
      } else {
        for (int i = 0; i < n; ++i)
          for (int j = 0; j < n; ++j) {
            if (op == 6) RC_ASSERT(kvtest::SameBits(r->me[i][j], a.at(p[i], j)));
            else RC_ASSERT(kvtest::SameBits(r->me[i][p[j]], a.at(i, j)));
          }
        if (r != other) m_free(r);
      }
      m_free(other);
      break;
    }
    default: {  // copy, identity, resize
      PERM* c = _LM_px_copy(P, alias == 1 ? Q : nullptr, __LINE__, "p", &st);
      RC_ASSERT(c != nullptr);
      RC_ASSERT(Of(c) == p);
      if (c == Q) Q = nullptr;
      RC_ASSERT(_LM_px_ident(c, __LINE__, "p", &st) == c);
      for (int i = 0; i < n; ++i) RC_ASSERT(c->pe[i] == (unsigned)i);
      const int ns = *rc::gen::inRange(0, 8);
      PERM* g = _LM_px_resize("p", 0, P, ns, __LINE__, "p", &st);
      RC_ASSERT(g != nullptr);
      RC_ASSERT((int)g->size == std::max(ns, 1));
      const auto got = Of(g);
      if (ns < n) {
        for (int i = 0; i < (int)g->size; ++i) RC_ASSERT(got[i] == (unsigned)i);
      } else {
        for (int i = 0; i < ns; ++i) RC_ASSERT(got[i] == (i < n ? p[i] : (unsigned)i));
      }
      P = g;
      px_free(c);
      break;
    }
  }
  px_free(P);
  px_free(Q);
  v_free(X);
  zv_free(Z);
  m_free(A);
}

// ---- Records: creation, resize, copies and moves, fills, several variables, want of memory.
RC_GTEST_PROP(CmMat, RecordsReal, ()) {
  kvtest::MsgCapture quiet;
  const int op = *rc::gen::inRange(0, 8);
  const int m = *Size(), n = *Size();
  const RM a = *GenRM(m, n, true);
  MAT* A = NewMAT(a);
  int st = 0;
  const int i0 = *rc::gen::inRange(-1, 5), j0 = *rc::gen::inRange(-1, 5);
  const int rows = *rc::gen::inRange(-1, 5), cols = *rc::gen::inRange(-1, 5);
  const int i1 = *rc::gen::inRange(-1, 5), j1 = *rc::gen::inRange(-1, 5);
  const RM o = *GenRM(*Size(), *Size(), true);
  MAT* O = NewMAT(o);
  const auto shotA = Shot(A), shotO = Shot(O);
  RC_LOG() << "op " << op << " " << m << "x" << n << " i0 " << i0 << " j0 " << j0 << " rows " << rows << " cols " << cols << " i1 " << i1 << " j1 " << j1;
  switch (op) {
    case 0: {  // resize: common part kept, new entries 0, 0 taken as 1
      const int nm = *rc::gen::inRange(-1, 6), nn = *rc::gen::inRange(-1, 6);
      MAT* r = _LM_m_resize("p", 0, A, nm, nn, __LINE__, "p", &st);
      if (nm < 0 || nn < 0) {
        RC_ASSERT(r == nullptr);
        RC_ASSERT(Shot(A) == shotA);
      } else {
        RC_ASSERT(r != nullptr);
        A = r;
        const int em = nm == 0 ? 1 : nm, en = nn == 0 ? 1 : nn;
        RC_LOG() << "got " << r->m << "x" << r->n;
        RC_ASSERT((int)r->m == em && (int)r->n == en);
        for (int i = 0; i < em; ++i)
          for (int j = 0; j < en; ++j)
            RC_ASSERT(kvtest::SameBits(r->me[i][j], i < m && j < n ? a.at(i, j) : 0.0));
      }
      break;
    }
    case 1: {  // copy from (i0, j0) into NULL or O
      const bool intoO = *rc::gen::arbitrary<bool>();
      MAT* r = _LM__m_copy(A, intoO ? O : nullptr, (unsigned)std::max(i0, 0), (unsigned)std::max(j0, 0), __LINE__, "p", &st);
      if (!r) {
        RC_ASSERT(st != 0);
        RC_ASSERT(Shot(A) == shotA);
        RC_ASSERT(Shot(O) == shotO);
      } else {
        RC_ASSERT(SizedAs(r, m, n));
        for (int i = std::max(i0, 0); i < m; ++i)
          for (int j = std::max(j0, 0); j < n; ++j) RC_ASSERT(kvtest::SameBits(r->me[i][j], a.at(i, j)));
        if (r == O) O = nullptr;
        m_free(r);
      }
      break;
    }
    case 2:
    case 3:
    case 4: {  // moves: block to block, block to vector, vector to block
      const std::vector<double> v = *rc::gen::container<std::vector<double>>(static_cast<size_t>(*Size() * 2), kvtest::AnyDouble());
      VEC* V = NewVEC(v);
      const auto shotV = ShotV(V);
      bool inside;
      if (op == 4) inside = i0 >= 0 && rows >= 0 && cols >= 0 && i0 + rows * cols <= (int)v.size() && i1 >= 0 && j1 >= 0;
      else inside = i0 >= 0 && j0 >= 0 && rows >= 0 && cols >= 0 && i0 + rows <= m && j0 + cols <= n && i1 >= 0 && (op == 3 || j1 >= 0);
      if (op == 2) {
        MAT* r = _LM_m_move(A, i0, j0, rows, cols, O, i1, j1, __LINE__, "p", &st);
        if (!r) {
          RC_ASSERT(Shot(A) == shotA);
          RC_ASSERT(Shot(O) == shotO);
        } else {
          RC_ASSERT(inside);
          for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) RC_ASSERT(kvtest::SameBits(r->me[i1 + i][j1 + j], a.at(i0 + i, j0 + j)));
          O = r;
        }
        if (!inside) RC_ASSERT(r == nullptr);
      } else if (op == 3) {
        VEC* r = _LM_mv_move(A, i0, j0, rows, cols, V, i1, __LINE__, "p", &st);
        if (!r) {
          RC_ASSERT(Shot(A) == shotA);
          RC_ASSERT(ShotV(V) == shotV);
        } else {
          RC_ASSERT(inside);
          for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) RC_ASSERT(kvtest::SameBits(r->ve[i1 + i * cols + j], a.at(i0 + i, j0 + j)));
          V = r;
        }
        if (!inside) RC_ASSERT(r == nullptr);
      } else {
        MAT* r = _LM_vm_move(V, i0, O, i1, j1, rows, cols, __LINE__, "p", &st);
        if (!r) {
          RC_ASSERT(ShotV(V) == shotV);
          RC_ASSERT(Shot(O) == shotO);
        } else {
          RC_ASSERT(inside);
          for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) RC_ASSERT(kvtest::SameBits(r->me[i1 + i][j1 + j], v[i0 + i * cols + j]));
          O = r;
        }
        if (!inside) RC_ASSERT(r == nullptr);
      }
      v_free(V);
      break;
    }
    case 5: {  // fills
      RC_ASSERT(_LM_m_zero(A, __LINE__, "p", &st) == A);
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) RC_ASSERT(kvtest::SameBits(A->me[i][j], 0.0));
      RC_ASSERT(_LM_m_ident(A, __LINE__, "p", &st) == A);
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) RC_ASSERT(A->me[i][j] == (i == j ? 1.0 : 0.0));
      RC_ASSERT(_LM_m_ones(A, __LINE__, "p", &st) == A);
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) RC_ASSERT(A->me[i][j] == 1.0);
      RC_ASSERT(_LM_m_rand(A, __LINE__, "p", &st) == A);
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) RC_ASSERT(A->me[i][j] >= 0.0 && A->me[i][j] < 1.0);
      RC_ASSERT(_LM_m_zero(nullptr, __LINE__, "p", &st) == nullptr);
      break;
    }
    case 6: {  // several variables
      MAT *x = nullptr, *y = nullptr;
      PERM *p = nullptr, *q = nullptr;
      RC_ASSERT(_LM_m_get_vars("p", 0, __LINE__, "p", &st, m, n, &x, &y, nullptr) == 2);
      RC_ASSERT(x && y && (int)x->m == m && (int)y->n == n);
      RC_ASSERT(_LM_m_resize_vars("p", 0, __LINE__, "p", &st, m + 1, n + 1, &x, &y, nullptr) == 2);
      RC_ASSERT((int)x->m == m + 1 && (int)y->n == n + 1);
      RC_ASSERT(_LM_px_get_vars("p", 0, __LINE__, "p", &st, n + 1, &p, &q, nullptr) == 2);
      RC_ASSERT(_LM_px_resize_vars("p", 0, __LINE__, "p", &st, n + 2, &p, &q, nullptr) == 2);
      RC_ASSERT((int)p->size == n + 2 && (int)q->size == n + 2);
      RC_ASSERT(m_free_vars(&x, &y, nullptr) == 2);
      RC_ASSERT(x == nullptr && y == nullptr);
      RC_ASSERT(px_free_vars(&p, &q, nullptr) == 2);
      RC_ASSERT(p == nullptr && q == nullptr);
      // Negative sizes are refused.
      RC_ASSERT(_LM_m_get("p", 0, -1, n, __LINE__, "p", &st) == nullptr);
      RC_ASSERT(_LM_px_get("p", 0, -1, __LINE__, "p", &st) == nullptr);
      RC_ASSERT(m_free(nullptr) == -1);
      RC_ASSERT(px_free(nullptr) == -1);
      break;
    }
    default: {  // want of memory: the k-th block refused
      const int k = *rc::gen::inRange(0, 4);
      const int kind = *rc::gen::inRange(0, 4);
      kvrt::SetHeapBlocksLeft(k);
      MAT* r = nullptr;
      if (kind == 0) r = _LM_m_resize("p", 0, A, m + 3, n + 3, __LINE__, "p", &st);
      else if (kind == 1) r = _LM__m_copy(A, nullptr, 0, 0, __LINE__, "p", &st);
      else if (kind == 2) r = _LM_m_add(A, A, nullptr, __LINE__, "p", &st);
      else r = _LM_m_get("p", 0, m + 2, n + 2, __LINE__, "p", &st);
      const bool ran = kvrt::HeapBlocksRanOut();
      kvrt::SetHeapBlocksLeft(-1);
      if (!r) {
        RC_ASSERT(ran);
        RC_ASSERT(st != 0);
        RC_ASSERT(Shot(A) == shotA);
      } else {
        if (kind == 0) A = r;
        else m_free(r);
      }
      break;
    }
  }
  m_free(A);
  m_free(O);
}

// ---- Real LU. A is drawn as small integers times a power of two from across the whole
// exponent range (so its factors may leave the range) or from the whole double range. ----
struct LUCase {
  RM a;
  int e;
};
RM Scaled(const RM& a, int e) {
  RM r = a;
  for (double& v : r.a) v = std::ldexp(v, e);
  return r;
}

// P*A = L*U within the bound of the factorisation, in long double.
void CheckFactors(const RM& a, const RM& lu, const std::vector<unsigned>& piv) {
  const int m = a.m, n = a.n;
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) {
      RC_ASSERT(std::isfinite(lu.at(i, j)));
      LD s = 0, sc = 0, uc = 1;
      for (int k = 0; k <= std::min(i, j) && k < std::min(m, n); ++k) {
        const LD l = k == i ? 1.0L : lu.at(i, k);
        s += l * lu.at(k, j);
        sc += std::fabs(l * lu.at(k, j));
        uc += std::fabs((LD)lu.at(k, j));
      }
      RC_LOG() << "PA-LU " << i << "," << j << " " << (double)(a.at(piv[i], j) - s) << " sc " << (double)sc << " a " << a.at(piv[i], j) << "\n";
      RC_ASSERT(std::fabs((LD)a.at(piv[i], j) - s) <= 4 * (n + 1) * kEps * sc + 4 * (n + 1) * uc * (LD)4.9406564584124654e-324);
    }
}

RC_GTEST_PROP(CmMat, LUReal, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::weightedOneOf<int>({{1, rc::gen::just(1)}, {4, rc::gen::inRange(2, 5)}});
  const bool wild = *rc::gen::weightedOneOf<bool>({{1, rc::gen::just(true)}, {3, rc::gen::just(false)}});
  const RM base = *GenRM(n, n, wild);
  const int e = *rc::gen::weightedOneOf<int>({{2, rc::gen::just(0)}, {3, rc::gen::inRange(-1075, 1021)}, {1, rc::gen::element(1017, 1018, 1019, -1070, -1060)}});
  const bool by1e308 = *rc::gen::weightedOneOf<bool>({{1, rc::gen::just(true)}, {7, rc::gen::just(false)}});
  RM a = Scaled(base, e);
  if (by1e308)
    for (size_t i = 0; i < a.a.size(); ++i) a.a[i] = base.a[i] * 1e308;
  const std::vector<double> bv = *rc::gen::container<std::vector<double>>(static_cast<size_t>(n), Elem(false));
  const bool xIsB = *rc::gen::arbitrary<bool>();
  RC_LOG() << "n " << n << " e " << e << (by1e308 ? " by 1e308" : "");
  int st = 0;
  MAT* A = NewMAT(a);
  PERM* P = _LM_px_get("p", 0, n, __LINE__, "p", &st);
  const auto shotA = Shot(A), shotP = ShotP(P);
  MAT* f = _LM_LUfactor(A, P, __LINE__, "p", &st);
  LD luSize = -1;  // the largest entry of |L||U|: scaled pivoting does not bound L by 1
  bool finiteIn = true;
  for (double v : a.a) finiteIn &= std::isfinite(v);
  if (!f) {
    RC_ASSERT(st != 0);
    RC_ASSERT(Shot(A) == shotA);
    RC_ASSERT(ShotP(P) == shotP);
    RC_ASSERT(!finiteIn || std::abs(e) > 900 || wild || by1e308);  // only factors beyond the range may refuse
  } else {
    RC_ASSERT(finiteIn);
    const RM lu = Of(A);
    const auto piv = Of(P);
    RC_ASSERT(IsPerm(piv));
    CheckFactors(a, lu, piv);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        LD t = 0;
        for (int k = 0; k <= std::min(i, j); ++k) t += std::fabs((LD)(k == i ? 1.0 : lu.at(i, k))) * std::fabs((LD)lu.at(k, j));
        luSize = std::max(luSize, t);
      }
    // Solve A x = b (x may be b), and A^T x = b: residual within the backward bound.
    bool singular = false;
    for (int i = 0; i < n; ++i) singular |= lu.at(i, i) == 0.0;
    for (int t = 0; t < 2; ++t) {
      VEC* B = NewVEC(bv);
      VEC* X = xIsB ? B : nullptr;
      const auto shotB = ShotV(B);
      VEC* x = t == 0 ? _LM_LUsolve(A, P, B, X, __LINE__, "p", &st) : _LM_LUTsolve(A, P, B, X, __LINE__, "p", &st);
      if (!x) {
        RC_ASSERT(singular);
        RC_ASSERT(ShotV(B) == shotB);
      } else {
        bool fin = true;
        for (unsigned i = 0; i < x->dim; ++i) fin &= std::isfinite(x->ve[i]);
        // The solution of a nonsingular A with finite factors is finite unless it truly
        // overflows: then |x| beyond DBL_MAX somewhere, which the residual cannot show.
        if (fin) {
          for (int i = 0; i < n; ++i) {
            LD r = 0, sc = 0;
            for (int j = 0; j < n; ++j) {
              const LD aij = t == 0 ? a.at(i, j) : a.at(j, i);
              r += aij * x->ve[j];
              sc += std::fabs(aij * x->ve[j]);
            }
            // |b - A x| <= c n u |L||U||x|, bounded through the growth of U.
            LD growth = 0, amax = 0;
            for (double v : lu.a) growth = std::max(growth, (LD)std::fabs(v));
            for (double v : a.a) amax = std::max(amax, (LD)std::fabs(v));
            LD xn = 0;
            for (unsigned j = 0; j < x->dim; ++j) xn += std::fabs((LD)x->ve[j]);
            const LD bound = 8 * n * n * kEps * (growth * n * xn + sc) + std::fabs((LD)bv[i]) * kEps;
            RC_LOG() << "residual " << (double)(r - bv[i]) << " bound " << (double)bound;
            RC_ASSERT(std::fabs(r - bv[i]) <= bound);
          }
        } else {
          RC_LOG() << "solution not finite";
          RC_ASSERT(std::abs(e) > 900 || wild);
        }
      }
      if (x && x != B) v_free(x);
      v_free(B);
    }
    // The condition estimate is the same for A and for A times a power of two.
    const double c = _LM_LUcondest(A, P, __LINE__, "p", &st);
    RC_LOG() << "condest " << c;
    RC_ASSERT(!std::isnan(c));
    if (!wild && !singular) RC_ASSERT(c >= 1.0 && std::isfinite(c));
    // The same factors with U times a power of two (the factors of A times that power).
    const int k = *rc::gen::inRange(-1100, 1100);
    RM scaledU = lu;
    bool exact = true;
    for (int i = 0; i < n; ++i)
      for (int j = i; j < n; ++j) {
        const double v = std::ldexp(lu.at(i, j), k);
        exact &= std::isfinite(v) && std::ldexp(v, -k) == lu.at(i, j);
        scaledU.a[static_cast<size_t>(i) * n + j] = v;
      }
    if (exact) {
      MAT* U = NewMAT(scaledU);
      const double ck = _LM_LUcondest(U, P, __LINE__, "p", &st);
      RC_LOG() << "condest of U * 2^" << k << ": " << ck;
      // Where the condition number lies beyond the range the estimate may overflow at one
      // scale and not at another (see the report); elsewhere it is the same to the bit.
      if (std::isfinite(ck) && std::isfinite(c) && c < 1e300 && ck < 1e300) RC_ASSERT(SameOrBothNaN(ck, c));
      else RC_ASSERT(!std::isnan(ck));
      m_free(U);
    }
  }
  // The inverse: refused (out as it was) or A X = I within the bound.
  {
    MAT* A2 = NewMAT(a);
    MAT* out = *rc::gen::arbitrary<bool>() ? NewMAT(*GenRM(*Size(), *Size(), true)) : nullptr;
    const auto shotO = Shot(out);
    MAT* X = _LM_m_inverse(A2, out, __LINE__, "p", &st);
    RC_ASSERT(SameM(Of(A2), a));
    if (X && luSize < 0) {  // accepted where the plain factorisation refused: finite only
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) RC_ASSERT(std::isfinite(X->me[i][j]));
      if (X != out) m_free(X);
    } else if (!X) {
      RC_ASSERT(Shot(out) == shotO);
    } else {
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
          RC_ASSERT(std::isfinite(X->me[i][j]));
          LD s = 0, sc = 0;
          for (int k = 0; k < n; ++k) s += (LD)a.at(i, k) * X->me[k][j], sc += std::fabs((LD)a.at(i, k) * X->me[k][j]);
          LD amax = 0, xsum = 0;
          for (double v : a.a) amax = std::max(amax, (LD)std::fabs(v));
          for (int k = 0; k < n; ++k) xsum += std::fabs((LD)X->me[k][j]);
          // Each column is a solve: |A x - e_j| <= c n u (growth |A| |x| + |A||x|).
          const LD bound = 8 * n * n * kEps * (std::max((LD)(1 << n) * amax, luSize) * n * xsum + sc) + kEps;
          RC_LOG() << "AX-I " << i << "," << j << " " << (double)(s - (i == j)) << " bound " << (double)bound;
          RC_ASSERT(std::fabs(s - (i == j ? 1 : 0)) <= bound);
        }
      if (X != out) m_free(X);
    }
    m_free(out);
    m_free(A2);
  }
  m_free(A);
  px_free(P);
}

// ---- Complex: element-wise, products, multiply-adds, adjoint, norms. A complex product is
// checked part by part against long double (where the partial products of doubles cannot
// overflow): a part whose scale stays in range must come out finite and near. ----
struct ZRef {
  LD re = 0, im = 0, sre = 0, sim = 0;
  bool outRe = false, outIm = false;  // a term's part beyond the double range
  bool loose = false;                 // a zero weight beside an infinite or NaN factor
};
void ZAdd(ZRef& r, C a, C b) {
  const LD ar = a.real(), ai = a.imag(), br = b.real(), bi = b.imag();
  const LD tre = ar * br - ai * bi, tim = ar * bi + ai * br;
  r.outRe |= !(std::fabs(tre) <= (LD)DBL_MAX);
  r.outIm |= !(std::fabs(tim) <= (LD)DBL_MAX);
  r.re += tre;
  r.im += tim;
  r.sre += std::fabs(ar * br) + std::fabs(ai * bi);
  r.sim += std::fabs(ar * bi) + std::fabs(ai * br);
}
bool ZHolds(C got, const ZRef& r, int terms) {
  const double rel = 4 * (terms + 2) * kEps;
  // NaN or infinite parts in the operands: only "NaN in, something not finite or NaN out".
  if (std::isnan(r.re) || std::isnan(r.im) || std::isinf(r.re) || std::isinf(r.im)) return true;
  if (r.loose) return true;
  // A part whose every term is in range is held strictly, however large the partial
  // products: the kernels form each term as zmlt does.
  return Near(got.real(), r.re, r.sre, rel, false, !r.outRe) && Near(got.imag(), r.im, r.sim, rel, false, !r.outIm);
}
bool AnyNaN(const std::vector<C>& v) {
  for (C c : v)
    if (std::isnan(c.real()) || std::isnan(c.imag())) return true;
  return false;
}

RC_GTEST_PROP(CmMat, ComplexMatrices, ()) {
  kvtest::MsgCapture quiet;
  const int op = *rc::gen::inRange(0, 13);
  const int m = *Size(), k = *Size(), n = *Size();
  const bool fits = *rc::gen::weightedOneOf<bool>({{6, rc::gen::just(true)}, {1, rc::gen::just(false)}});
  const bool wild = *rc::gen::weightedOneOf<bool>({{3, rc::gen::just(true)}, {1, rc::gen::just(false)}});
  // Shapes: 0 add, 1 sub, 2 s*A, 3 zm_mltadd, 4 mz_mltadd (A, B m x k); 5 A*B (m x k, k x n);
  // 6 A*B^H (B n x k); 7 A^H*B (A k x m, B k x n); 8 A*x; 9 A^H*x; 10 x + s*A*y;
  // 11 x + s*A^H*y; 12 adjoint.
  int am = m, an = k, bm = m, bn = k;
  if (op == 5) bm = k, bn = n;
  if (op == 6) bm = n, bn = k;
  if (op == 7) am = k, an = m, bm = k, bn = n;
  ZM a = *GenZM(am, an, wild);
  // A multiply-add over zeros gives the products alone.
  if ((op == 3 || op == 4) && *rc::gen::inRange(0, 3) == 0)
    for (C& c : a.a) c = C(0, 0);
  const ZM b = *GenZM(fits ? bm : *Size(), fits ? bn : *Size(), wild);
  const C s = *ZElem(true);
  const int ydim = fits ? (op == 8 || op == 10 ? an : am) : *Size();
  const std::vector<C> y = *rc::gen::container<std::vector<C>>(static_cast<size_t>(ydim), ZElem(wild));
  const std::vector<C> x = *rc::gen::container<std::vector<C>>(static_cast<size_t>(op == 10 ? am : an), ZElem(wild));
  const int alias = *rc::gen::inRange(0, 3);
  RC_LOG() << "op " << op << " A " << a.m << "x" << a.n << " B " << b.m << "x" << b.n << " y " << y.size() << " alias " << alias << " s " << s << "\n";
  for (C c : a.a) RC_LOG() << "a " << c << "\n";
  for (C c : b.a) RC_LOG() << "b " << c << "\n";
  ZMAT* A = NewZMAT(a);
  ZMAT* B = NewZMAT(b);
  ZVEC* Y = NewZVEC(y);
  ZVEC* X = NewZVEC(x);
  const auto shots = std::make_tuple(Shot(A), Shot(B), ShotV(Y), ShotV(X));
  auto unchanged = [&] { RC_ASSERT((std::make_tuple(Shot(A), Shot(B), ShotV(Y), ShotV(X)) == shots)); };
  int st = 0;
  if (op <= 7 || op == 12) {
    auto call = [&](ZMAT* out) -> ZMAT* {
      switch (op) {
        case 0: return _LM_zm_add(A, B, out, __LINE__, "p", &st);
        case 1: return _LM_zm_sub(A, B, out, __LINE__, "p", &st);
        case 2: return _LM_zsm_mlt(zmake(s.real(), s.imag()), A, out, __LINE__, "p", &st);
        case 3: return _LM_zm_mltadd(A, B, zmake(s.real(), s.imag()), out, __LINE__, "p", &st);
        case 4: return _LM_mz_mltadd(A, B, zmake(s.real(), s.imag()), out, __LINE__, "p", &st);
        case 5: return _LM_zm_mlt(A, B, out, __LINE__, "p", &st);
        case 6: return _LM_zmma_mlt(A, B, out, __LINE__, "p", &st);
        case 7: return _LM_zmam_mlt(A, B, out, __LINE__, "p", &st);
        default: return _LM_zm_adjoint(A, out, __LINE__, "p", &st);
      }
    };
    bool ok;
    int rm, rn;
    if (op <= 4) ok = op == 2 || (b.m == a.m && b.n == a.n), rm = a.m, rn = a.n;
    else if (op == 5) ok = b.m == a.n, rm = a.m, rn = b.n;
    else if (op == 6) ok = b.n == a.n, rm = a.m, rn = b.m;
    else if (op == 7) ok = b.m == a.m, rm = a.n, rn = b.n;
    else ok = true, rm = a.n, rn = a.m;
    ZMAT* r = call(nullptr);
    RC_ASSERT((r != nullptr) == ok);
    ZM want;
    if (r) {
      RC_ASSERT((int)r->m == rm && (int)r->n == rn);
      want = Of(r);
      for (int i = 0; i < rm; ++i)
        for (int j = 0; j < rn; ++j) {
          ZRef ref;
          int terms = 1;
          const C g = want.at(i, j);
          if (op == 0) ref.re = (LD)a.at(i, j).real() + b.at(i, j).real(), ref.im = (LD)a.at(i, j).imag() + b.at(i, j).imag();
          else if (op == 1) ref.re = (LD)a.at(i, j).real() - b.at(i, j).real(), ref.im = (LD)a.at(i, j).imag() - b.at(i, j).imag();
          else if (op == 2) ZAdd(ref, s, a.at(i, j));
          else if (op <= 4) {
            ZAdd(ref, s, b.at(i, j));
            ref.re += a.at(i, j).real();
            ref.im += a.at(i, j).imag();
            ref.sre += std::fabs((LD)a.at(i, j).real());
            ref.sim += std::fabs((LD)a.at(i, j).imag());
            if (s == C(0, 0) && SameOrBothNaN(g, a.at(i, j))) continue;  // s = 0 leaves B unread
          } else if (op == 12) {
            RC_ASSERT(SameOrBothNaN(g, std::conj(a.at(j, i))));
            continue;
          } else {
            const int kk = op == 7 ? a.m : a.n;
            terms = kk;
            for (int t = 0; t < kk; ++t) {
              const C av = op == 7 ? std::conj(a.at(t, i)) : a.at(i, t);
              const C bv = op == 6 ? std::conj(b.at(j, t)) : b.at(t, j);
              if (av == C(0, 0)) {  // a zero weight may be skipped, or meet a NaN or inf in B
                if (!std::isfinite(bv.real()) || !std::isfinite(bv.imag())) ref.loose = true;
                continue;
              }
              ZAdd(ref, av, bv);
            }
          }
          if (op <= 1) {
            ref.sre = std::fabs((LD)a.at(i, j).real()) + std::fabs((LD)b.at(i, j).real());
            ref.sim = std::fabs((LD)a.at(i, j).imag()) + std::fabs((LD)b.at(i, j).imag());
          }
          RC_LOG() << i << "," << j << " got " << g << " ref (" << (double)ref.re << "," << (double)ref.im << ")";
          RC_ASSERT(ZHolds(g, ref, terms));
        }
      unchanged();
      zm_free(r);
    }
    // Into another record, or over an operand where allowed.
    ZMAT* other = alias == 1 ? NewZMAT(*GenZM(*Size(), *Size(), true)) : nullptr;
    const bool overOk = op <= 4 || (op == 12 && a.m == a.n);
    ZMAT* out = alias == 1 ? other : alias == 2 ? A : nullptr;
    const auto shotO = Shot(other);
    ZMAT* r2 = call(out);
    const bool ok2 = ok && (alias != 2 || overOk);
    RC_ASSERT((r2 != nullptr) == ok2);
    if (!r2) {
      RC_ASSERT(st != 0);
      unchanged();
      RC_ASSERT(Shot(other) == shotO);
    } else {
      RC_ASSERT(SameM(Of(r2), want));
      if (r2 == A) A = nullptr;
      if (r2 == other) other = nullptr;
      zm_free(r2);
    }
    zm_free(other);
  } else {
    // Vectors: A*x (x of A.n), A^H*x (x of A.m) into y-shaped outputs.
    const bool adj = op == 9 || op == 11;
    const int need = adj ? a.m : a.n, outDim = adj ? a.n : a.m;
    ZVEC* vin = op <= 9 ? Y : X;  // the vector multiplied
    const std::vector<C>& vv = op <= 9 ? y : x;
    ZVEC* r = nullptr;
    ZVEC* out = alias == 2 && op >= 10 ? Y : nullptr;
    if (op == 8) r = _LM_zmv_mlt(A, vin, nullptr, __LINE__, "p", &st);
    else if (op == 9) r = _LM_zvm_mlt(A, vin, nullptr, __LINE__, "p", &st);
    else if (op == 10) r = _LM_zmv_mltadd(Y, X, A, zmake(s.real(), s.imag()), out, __LINE__, "p", &st);
    else r = _LM_zvm_mltadd(Y, X, A, zmake(s.real(), s.imag()), out, __LINE__, "p", &st);
    const bool ok = (int)vv.size() == need && (op <= 9 || (int)y.size() == outDim);
    RC_LOG() << "got " << (r != nullptr) << " want " << ok;
    RC_ASSERT((r != nullptr) == ok);
    if (!r) unchanged();
    else {
      RC_ASSERT((int)r->dim == outDim);
      for (int i = 0; i < outDim; ++i) {
        ZRef ref;
        for (int t = 0; t < need; ++t) {
          const C av = adj ? std::conj(a.at(t, i)) : a.at(i, t);
          if (av == C(0, 0)) {
            if (!std::isfinite(vv[t].real()) || !std::isfinite(vv[t].imag())) ref.loose = true;
            continue;
          }
          ZAdd(ref, av, vv[t]);
        }
        const C g(r->ve[i].re, r->ve[i].im);
        if (op >= 10) {
          if (std::isnan(ref.re) || std::isnan(ref.im) || std::isinf(ref.re) || std::isinf(ref.im) || ref.loose) continue;
          if (AnyNaN(a.a) || !std::isfinite(std::abs(s))) continue;
          bool finA = true;
          for (C c : a.a) finA &= std::isfinite(c.real()) && std::isfinite(c.imag());
          if (!finA) continue;
          // y + s * sum: the sum rounded first (its scale carries over), then scaled.
          ZRef t2;
          const C sum(static_cast<double>(ref.re), static_cast<double>(ref.im));
          if (!std::isfinite(sum.real()) || !std::isfinite(sum.imag())) {
            // The sum beyond the range while every term is in it: the weighted value may
            // still be finite (a weight below 1), and must then come out near y + s*sum.
            if (ref.outRe || ref.outIm) continue;
            const LD sr = s.real(), si = s.imag();
            const LD wr = y[i].real() + sr * ref.re - si * ref.im;
            const LD wi = y[i].imag() + sr * ref.im + si * ref.re;
            const LD sc = (std::fabs(sr) + std::fabs(si)) * (ref.sre + ref.sim);
            RC_LOG() << i << " got " << g << " ref (" << (double)wr << "," << (double)wi << ") over a sum beyond the range";
            RC_ASSERT(Near(g.real(), wr, std::fabs((LD)y[i].real()) + sc, 8 * (need + 2) * kEps, false, true));
            RC_ASSERT(Near(g.imag(), wi, std::fabs((LD)y[i].imag()) + sc, 8 * (need + 2) * kEps, false, true));
            continue;
          }
          ZAdd(t2, s, sum);
          t2.re += y[i].real();
          t2.im += y[i].imag();
          t2.sre += std::fabs((LD)y[i].real()) + std::fabs((LD)s.real() * ref.sre) + std::fabs((LD)s.imag() * ref.sim);
          t2.sim += std::fabs((LD)y[i].imag()) + std::fabs((LD)s.real() * ref.sim) + std::fabs((LD)s.imag() * ref.sre);
          if (s == C(0, 0) && SameOrBothNaN(g, y[i])) continue;
          // Weights s * y[t] formed first may underflow: a slack of a few subnormal steps
          // times the sum's size.
          const LD slack = (need + 2) * (std::fabs((LD)s.real()) + std::fabs((LD)s.imag())) * (ref.sre + ref.sim + 1) * (LD)4.9406564584124654e-324 * 1e16L;
          if (std::isfinite(g.real()) && std::isfinite(g.imag()) && std::fabs(g.real() - t2.re) <= slack + 8 * kEps * t2.sre &&
              std::fabs(g.imag() - t2.im) <= slack + 8 * kEps * t2.sim)
            continue;
          RC_LOG() << i << " got " << g << " ref (" << (double)t2.re << "," << (double)t2.im << ")";
          RC_ASSERT(ZHolds(g, t2, need + 2));
        } else {
          RC_LOG() << i << " got " << g << " ref (" << (double)ref.re << "," << (double)ref.im << ")";
          RC_ASSERT(ZHolds(g, ref, need));
        }
      }
      if (r == Y) Y = nullptr;
      zv_free(r);
    }
  }
  // Norms: long double sums of moduli; a NaN modulus makes NaN.
  {
    LD one = 0, inf = 0, frob = 0;
    for (int j = 0; j < a.n; ++j) {
      LD t = 0;
      for (int i = 0; i < a.m; ++i) t += std::hypot((LD)a.at(i, j).real(), (LD)a.at(i, j).imag());
      one = std::max(one, t);
    }
    for (int i = 0; i < a.m; ++i) {
      LD t = 0;
      for (int j = 0; j < a.n; ++j) {
        t += std::hypot((LD)a.at(i, j).real(), (LD)a.at(i, j).imag());
        frob += (LD)a.at(i, j).real() * a.at(i, j).real() + (LD)a.at(i, j).imag() * a.at(i, j).imag();
      }
      inf = std::max(inf, t);
    }
    // The modulus of an infinite part beside a NaN is +inf (C99's cabs, as zabs has it):
    // only a modulus that is NaN makes the 1- and inf-norms NaN.
    bool nanModulus = false;
    for (C c : a.a) nanModulus |= std::isnan(std::hypot((LD)c.real(), (LD)c.imag()));
    if (nanModulus) one = inf = NAN;
    if (AnyNaN(a.a)) frob = NAN;
    ZMAT* A2 = NewZMAT(a);
    const double g1 = _LM_zm_norm1(A2, __LINE__, "p", &st), gi = _LM_zm_norm_inf(A2, __LINE__, "p", &st),
                 gf = _LM_zm_norm_frob(A2, __LINE__, "p", &st);
    RC_LOG() << "norms " << g1 << " " << gi << " " << gf << " ref " << (double)one << " " << (double)inf;
    RC_ASSERT(Near(g1, one, one, (a.m + 2) * 2 * kEps));
    RC_ASSERT(Near(gi, inf, inf, (a.n + 2) * 2 * kEps));
    const LD f = std::sqrt(frob);
    RC_ASSERT(Near(gf, f, f, (a.m * a.n + 2) * 2 * kEps));
    zm_free(A2);
  }
  zm_free(A);
  zm_free(B);
  zv_free(X);
  zv_free(Y);
}

// ---- Complex records: resize, copy, moves, fills, several variables, want of memory. ----
RC_GTEST_PROP(CmMat, ComplexRecords, ()) {
  kvtest::MsgCapture quiet;
  const int op = *rc::gen::inRange(0, 6);
  const int m = *Size(), n = *Size();
  const ZM a = *GenZM(m, n, true);
  ZMAT* A = NewZMAT(a);
  ZMAT* O = NewZMAT(*GenZM(*Size(), *Size(), true));
  const auto shotA = Shot(A), shotO = Shot(O);
  const int i0 = *rc::gen::inRange(-1, 4), j0 = *rc::gen::inRange(-1, 4), rows = *rc::gen::inRange(-1, 4),
            cols = *rc::gen::inRange(-1, 4), i1 = *rc::gen::inRange(-1, 4), j1 = *rc::gen::inRange(-1, 4);
  int st = 0;
  RC_LOG() << "op " << op << " " << m << "x" << n << " i0 " << i0 << " j0 " << j0 << " rows " << rows << " cols " << cols << " i1 " << i1 << " j1 " << j1;
  switch (op) {
    case 0: {
      const int nm = *rc::gen::inRange(-1, 6), nn = *rc::gen::inRange(-1, 6);
      ZMAT* r = _LM_zm_resize("p", 0, A, nm, nn, __LINE__, "p", &st);
      if (!r) {
        RC_ASSERT(nm < 0 || nn < 0);
        RC_ASSERT(Shot(A) == shotA);
      } else {
        A = r;
        RC_LOG() << "got " << r->m << "x" << r->n;
        for (int i = 0; i < std::min<int>(r->m, m); ++i)
          for (int j = 0; j < std::min<int>(r->n, n); ++j) RC_ASSERT(SameOrBothNaN(C(r->me[i][j].re, r->me[i][j].im), a.at(i, j)));
        for (int i = 0; i < (int)r->m; ++i)
          for (int j = 0; j < (int)r->n; ++j)
            if (i >= m || j >= n) RC_ASSERT(r->me[i][j].re == 0.0 && r->me[i][j].im == 0.0);
      }
      break;
    }
    case 1: {
      ZMAT* r = _LM__zm_copy(A, *rc::gen::arbitrary<bool>() ? O : nullptr, (unsigned)std::max(i0, 0), (unsigned)std::max(j0, 0), __LINE__, "p", &st);
      if (!r) {
        RC_ASSERT(Shot(A) == shotA);
        RC_ASSERT(Shot(O) == shotO);
      } else {
        RC_ASSERT((int)r->m == m && (int)r->n == n);
        for (int i = std::max(i0, 0); i < m; ++i)
          for (int j = std::max(j0, 0); j < n; ++j) RC_ASSERT(SameOrBothNaN(C(r->me[i][j].re, r->me[i][j].im), a.at(i, j)));
        if (r == O) O = nullptr;
        zm_free(r);
      }
      break;
    }
    case 2:
    case 3:
    case 4: {
      const std::vector<C> v = *rc::gen::container<std::vector<C>>(static_cast<size_t>(*Size() * 2), kvtest::AnyComplex());
      ZVEC* V = NewZVEC(v);
      const auto shotV = ShotV(V);
      bool inside;
      if (op == 4) inside = i0 >= 0 && rows >= 0 && cols >= 0 && i0 + rows * cols <= (int)v.size() && i1 >= 0 && j1 >= 0;
      else inside = i0 >= 0 && j0 >= 0 && rows >= 0 && cols >= 0 && i0 + rows <= m && j0 + cols <= n && i1 >= 0 && (op == 3 || j1 >= 0);
      if (op == 2) {
        ZMAT* r = _LM_zm_move(A, i0, j0, rows, cols, O, i1, j1, __LINE__, "p", &st);
        if (!r) {
          RC_ASSERT(Shot(A) == shotA && Shot(O) == shotO);
        } else {
          RC_ASSERT(inside);
          for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) RC_ASSERT(SameOrBothNaN(C(r->me[i1 + i][j1 + j].re, r->me[i1 + i][j1 + j].im), a.at(i0 + i, j0 + j)));
          O = r;
        }
        if (!inside) RC_ASSERT(r == nullptr);
      } else if (op == 3) {
        ZVEC* r = _LM_zmv_move(A, i0, j0, rows, cols, V, i1, __LINE__, "p", &st);
        if (!r) {
          RC_ASSERT(Shot(A) == shotA && ShotV(V) == shotV);
        } else {
          RC_ASSERT(inside);
          for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) RC_ASSERT(SameOrBothNaN(C(r->ve[i1 + i * cols + j].re, r->ve[i1 + i * cols + j].im), a.at(i0 + i, j0 + j)));
          V = r;
        }
        if (!inside) RC_ASSERT(r == nullptr);
      } else {
        ZMAT* r = _LM_zvm_move(V, i0, O, i1, j1, rows, cols, __LINE__, "p", &st);
        if (!r) {
          RC_ASSERT(ShotV(V) == shotV && Shot(O) == shotO);
        } else {
          RC_ASSERT(inside);
          for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) RC_ASSERT(SameOrBothNaN(C(r->me[i1 + i][j1 + j].re, r->me[i1 + i][j1 + j].im), v[i0 + i * cols + j]));
          O = r;
        }
        if (!inside) RC_ASSERT(r == nullptr);
      }
      zv_free(V);
      break;
    }
    default: {
      RC_ASSERT(_LM_zm_zero(A, __LINE__, "p", &st) == A);
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) RC_ASSERT(A->me[i][j].re == 0.0 && A->me[i][j].im == 0.0);
      RC_ASSERT(_LM_zm_rand(A, __LINE__, "p", &st) == A);
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) RC_ASSERT(A->me[i][j].re >= 0.0 && A->me[i][j].re < 1.0 && A->me[i][j].im >= 0.0 && A->me[i][j].im < 1.0);
      ZMAT *x = nullptr, *y = nullptr;
      RC_ASSERT(_LM_zm_get_vars("p", 0, __LINE__, "p", &st, m, n, &x, &y, nullptr) == 2);
      RC_ASSERT(_LM_zm_resize_vars("p", 0, __LINE__, "p", &st, m + 1, n + 1, &x, &y, nullptr) == 2);
      RC_ASSERT((int)x->m == m + 1 && (int)y->n == n + 1);
      RC_ASSERT(zm_free_vars(&x, &y, nullptr) == 2);
      RC_ASSERT(zm_free(nullptr) == -1);
      // Want of memory: a refused block refuses the resize, the record as it was.
      const auto before = Shot(A);
      kvrt::SetHeapBlocksLeft(*rc::gen::inRange(0, 3));
      ZMAT* r = _LM_zm_resize("p", 0, A, m + 3, n + 3, __LINE__, "p", &st);
      kvrt::SetHeapBlocksLeft(-1);
      if (!r) RC_ASSERT(Shot(A) == before);
      else A = r;
      break;
    }
  }
  zm_free(A);
  zm_free(O);
}

// ---- Complex LU: factors, solve (x may be b; x shorter than b is grown), inverse. ----
RC_GTEST_PROP(CmMat, LUComplex, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::inRange(1, 5);
  const bool wild = *rc::gen::weightedOneOf<bool>({{1, rc::gen::just(true)}, {3, rc::gen::just(false)}});
  const ZM base = *GenZM(n, n, wild);
  const int e = *rc::gen::weightedOneOf<int>({{2, rc::gen::just(0)}, {3, rc::gen::inRange(-1075, 1021)}});
  ZM a = base;
  for (C& c : a.a) c = C(std::ldexp(c.real(), e), std::ldexp(c.imag(), e));
  const std::vector<C> bv = *rc::gen::container<std::vector<C>>(static_cast<size_t>(n), ZElem(false));
  const int xmode = *rc::gen::inRange(0, 3);  // 0 NULL, 1 x == b, 2 a shorter x
  RC_LOG() << "n " << n << " e " << e << " xmode " << xmode;
  int st = 0;
  ZMAT* A = NewZMAT(a);
  PERM* P = _LM_px_get("p", 0, n, __LINE__, "p", &st);
  const auto shotA = Shot(A), shotP = ShotP(P);
  ZMAT* f = zLUfactor(A, P, __LINE__, "p", &st);
  LD luSize = -1;
  bool finiteIn = true;
  for (C c : a.a) finiteIn &= std::isfinite(c.real()) && std::isfinite(c.imag());
  if (!f) {
    RC_ASSERT(Shot(A) == shotA && ShotP(P) == shotP);
    RC_ASSERT(!finiteIn || std::abs(e) > 900 || wild);
  } else {
    RC_ASSERT(finiteIn);
    const ZM lu = Of(A);
    for (C c : lu.a) RC_ASSERT(std::isfinite(c.real()) && std::isfinite(c.imag()));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        LD t = 0;
        for (int k = 0; k <= std::min(i, j); ++k) t += (k == i ? 1.0L : std::abs((std::complex<LD>)lu.at(i, k))) * std::abs((std::complex<LD>)lu.at(k, j));
        luSize = std::max(luSize, t);
      }
    const auto piv = Of(P);
    RC_ASSERT(IsPerm(piv));
    bool singular = false;
    for (int i = 0; i < n; ++i) singular |= lu.at(i, i) == C(0, 0);
    ZVEC* B = NewZVEC(bv);
    ZVEC* X = xmode == 1 ? B : xmode == 2 ? NewZVEC(std::vector<C>(n > 1 ? n - 1 : 0, C(7, 7))) : nullptr;
    const auto shotB = ShotV(B), shotX = ShotV(X);
    ZVEC* x = zLUsolve(A, P, B, X, __LINE__, "p", &st);
    if (!x) {
      RC_ASSERT(singular);
      RC_ASSERT(ShotV(B) == shotB && ShotV(X) == shotX);
    } else {
      RC_ASSERT((int)x->dim == n);
      bool fin = true;
      for (int i = 0; i < n; ++i) fin &= std::isfinite(x->ve[i].re) && std::isfinite(x->ve[i].im);
      if (fin) {
        LD amax = 0, xs = 0;
        for (C c : a.a) amax = std::max<LD>(amax, std::abs(c));
        for (int j = 0; j < n; ++j) xs += std::hypot((LD)x->ve[j].re, (LD)x->ve[j].im);
        for (int i = 0; i < n; ++i) {
          ZRef r;
          for (int j = 0; j < n; ++j) ZAdd(r, a.at(i, j), C(x->ve[j].re, x->ve[j].im));
          const LD bound = 16 * n * n * kEps * (std::max((LD)(1 << n) * amax, luSize) * n * xs) + std::abs(bv[i]) * kEps +
                           16 * n * xs * (LD)4.9406564584124654e-324 * (1 << n);
          const LD res = std::hypot(r.re - bv[i].real(), r.im - bv[i].imag());
          RC_LOG() << "residual " << (double)res << " bound " << (double)bound;
          RC_ASSERT(res <= bound);
        }
      } else {
        RC_ASSERT(std::abs(e) > 900 || wild);
      }
      if (x == X) X = nullptr;
      if (x == B) B = nullptr;
      zv_free(x);
    }
    if (X == B) X = nullptr;
    zv_free(B);
    zv_free(X);
  }
  // Inverse, through the generic wrapper too.
  ZMAT* A2 = NewZMAT(a);
  ZMAT* Xi = _LM_zm_inverse(A2, nullptr, __LINE__, "p", &st);
  RC_ASSERT(SameM(Of(A2), a));
  if (Xi && luSize >= 0) {
    LD amax = 0;
    for (C c : a.a) amax = std::max<LD>(amax, std::abs(c));
    for (int j = 0; j < n; ++j) {
      LD xs = 0;
      for (int k = 0; k < n; ++k) xs += std::hypot((LD)Xi->me[k][j].re, (LD)Xi->me[k][j].im);
      for (int i = 0; i < n; ++i) {
        ZRef r;
        for (int k = 0; k < n; ++k) ZAdd(r, a.at(i, k), C(Xi->me[k][j].re, Xi->me[k][j].im));
        const LD res = std::hypot(r.re - (i == j), r.im);
        const LD bound = 16 * n * n * kEps * (std::max((LD)(1 << n) * amax, luSize) * n * xs) + kEps +
                         16 * n * xs * (LD)4.9406564584124654e-324 * (1 << n);
        RC_LOG() << "AX-I " << (double)res << " bound " << (double)bound;
        RC_ASSERT(res <= bound);
      }
    }
  }
  zm_free(Xi);
  zm_free(A2);
  zm_free(A);
  px_free(P);
}

// ---- The generic wrappers: real or complex through one path. ----
RC_GTEST_PROP(CmMat, GenericWrappers, ()) {
  kvtest::MsgCapture quiet;
  const bool cplx = *rc::gen::arbitrary<bool>();
  const int kind = cplx ? 6 : 5;
  const int n = *rc::gen::inRange(1, 4);
  const RM base = *GenRM(n, n, false);
  int st = 0;
  GMAT* w = _LM_mat_get("p", 0, kind, n, n, __LINE__, "p", &st);
  RC_ASSERT(w != nullptr);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      if (cplx) static_cast<ZMAT*>(w->mat)->me[i][j] = zmake(base.at(i, j), -base.at(i, j));
      else static_cast<MAT*>(w->mat)->me[i][j] = base.at(i, j);
    }
  GMAT* c = _LM_mat_copy(w, nullptr, __LINE__, "p", &st);
  RC_ASSERT(c != nullptr);
  GMAT* p = _LM_mat_mlt(w, c, nullptr, __LINE__, "p", &st);
  RC_ASSERT(p != nullptr);
  RC_ASSERT(_LM_mat_mlt(w, c, w, __LINE__, "p", &st) == nullptr);  // out equal to an operand
  GMAT* inv = _LM_mat_inverse(w, nullptr, __LINE__, "p", &st);
  // Against the direct call.
  if (cplx) {
    ZMAT* d = _LM_zm_inverse(static_cast<ZMAT*>(w->mat), nullptr, __LINE__, "p", &st);
    RC_ASSERT((d == nullptr) == (inv == nullptr));
    if (d) RC_ASSERT(SameM(Of(d), Of(static_cast<ZMAT*>(inv->mat))));
    zm_free(d);
  } else {
    MAT* d = _LM_m_inverse(static_cast<MAT*>(w->mat), nullptr, __LINE__, "p", &st);
    RC_ASSERT((d == nullptr) == (inv == nullptr));
    if (d) RC_ASSERT(SameM(Of(d), Of(static_cast<MAT*>(inv->mat))));
    m_free(d);
  }
  RC_ASSERT(_LM_mat_zero(c, __LINE__, "p", &st) == c);
  GMAT* r = _LM_mat_resize("p", 0, c, kind, n + 1, n + 2, __LINE__, "p", &st);
  RC_ASSERT(r == c);
  RC_ASSERT(*r->pm == (unsigned)n + 1 && *r->pn == (unsigned)n + 2);
  RC_ASSERT(_LM_mat_resize("p", 0, c, cplx ? 5 : 6, 1, 1, __LINE__, "p", &st) == nullptr);
  for (GMAT* g : {w, c, p, inv}) {
    if (!g) continue;
    RC_ASSERT(mat_free(g) == 0);
    kvelomem_free(g, __FILE__, __LINE__);
  }
  RC_ASSERT(mat_free(nullptr) == -1);
}

// ---- Matrix-vector multiply-adds whose weights s*y[t] or row products leave the range of
// double while the weighted sums do not (y near the top of the range, A down to the
// subnormals), or whose weights underflow to zero beside an infinite entry (s and y near the
// bottom): real and complex, against long double, where no term leaves the range. ----
// A non-zero double m * 2^e, |m| in (0, 1], e in [lo, hi] (below the normal range rounded to
// the subnormal grid; what rounds to zero is taken as the least subnormal).
rc::Gen<double> Ranged(int lo, int hi) {
  return rc::gen::apply(
      [](int m, bool neg, int e) {
        const double v = std::ldexp(static_cast<double>(m) / (1 << 20), e);
        const double nz = v != 0.0 ? v : std::numeric_limits<double>::denorm_min();
        return neg ? -nz : nz;
      },
      rc::gen::inRange(1, (1 << 20) + 1), rc::gen::arbitrary<bool>(), rc::gen::inRange(lo, hi + 1));
}

RC_GTEST_PROP(CmMat, MultiplyAddsBeyondTheWeightsRange, ()) {
  kvtest::MsgCapture quiet;
  const int m = *rc::gen::inRange(1, 4), n = *rc::gen::inRange(1, 4);
  const bool low = *rc::gen::weightedOneOf<bool>({{3, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  const bool cplx = *rc::gen::arbitrary<bool>();
  const bool adj = *rc::gen::arbitrary<bool>();  // x + s*A^T*y (A^H) or x + s*A*y
  const int need = adj ? m : n, outDim = adj ? n : m;
  // high: y in [2^900, 2^1023], A in [2^-1074, 2^0], s in [2^-1074, 2^200].
  // low: y and s in [2^-1074, 2^-900], A in [2^-10, 2^10] with one infinite entry.
  const auto yG = low ? Ranged(-1074, -900) : Ranged(900, 1023);
  const auto aG = low ? Ranged(-10, 10) : Ranged(-1074, 0);
  const auto sG = low ? Ranged(-1074, -900) : Ranged(-1074, 200);
  auto zOf = [&](const rc::Gen<double>& g) {
    const double re = *g;
    return C(re, cplx ? *g : 0.0);
  };
  std::vector<C> a(static_cast<size_t>(m) * n), y(need), x(outDim);
  for (C& c : a) c = zOf(aG);
  for (C& c : y) c = zOf(yG);
  for (C& c : x) c = zOf(Ranged(-4, 4));
  const C s = zOf(sG);
  int infAt = -1;
  if (low) {
    infAt = *rc::gen::inRange(0, m * n);
    a[infAt] = C(*rc::gen::element(-HUGE_VAL, HUGE_VAL), 0.0);
  }
  RC_LOG() << "m " << m << " n " << n << " cplx " << cplx << " adj " << adj << " s " << s << "\n";
  for (C c : a) RC_LOG() << "a " << c << "\n";
  for (C c : y) RC_LOG() << "y " << c << "\n";
  for (C c : x) RC_LOG() << "x " << c << "\n";
  auto A = [&](int i, int j) { return a[static_cast<size_t>(i) * n + j]; };
  std::vector<C> got(outDim);
  int st = 0;
  if (cplx) {
    ZM za;
    za.m = m, za.n = n, za.a = a;
    ZMAT* ZA = NewZMAT(za);
    ZVEC* X = NewZVEC(x);
    ZVEC* Y = NewZVEC(y);
    ZVEC* r = adj ? _LM_zvm_mltadd(X, Y, ZA, zmake(s.real(), s.imag()), nullptr, __LINE__, "p", &st)
                  : _LM_zmv_mltadd(X, Y, ZA, zmake(s.real(), s.imag()), nullptr, __LINE__, "p", &st);
    RC_ASSERT(r != nullptr);
    got = Of(r);
    zv_free(r);
    zv_free(X);
    zv_free(Y);
    zm_free(ZA);
  } else {
    RM ra;
    ra.m = m, ra.n = n;
    std::vector<double> rx, ry;
    for (C c : a) ra.a.push_back(c.real());
    for (C c : x) rx.push_back(c.real());
    for (C c : y) ry.push_back(c.real());
    MAT* RA = NewMAT(ra);
    VEC* X = NewVEC(rx);
    VEC* Y = NewVEC(ry);
    VEC* r = adj ? _LM_vm_mltadd(X, Y, RA, s.real(), nullptr, __LINE__, "p", &st)
                 : _LM_mv_mltadd(X, Y, RA, s.real(), nullptr, __LINE__, "p", &st);
    RC_ASSERT(r != nullptr);
    for (int i = 0; i < outDim; ++i) got[i] = C(r->ve[i], 0.0);
    v_free(r);
    v_free(X);
    v_free(Y);
    m_free(RA);
  }
  for (int i = 0; i < outDim; ++i) {
    // x + s * sum over t of conj?(A) y in long double, with the sum of the moduli of the real
    // triple products as the scale.
    LD re = x[i].real(), im = x[i].imag(), sc = 0;
    bool hasInf = false;
    LD infSign = 0;
    for (int t = 0; t < need; ++t) {
      const C av = adj ? std::conj(A(t, i)) : A(i, t);
      const LD ar = av.real(), ai = cplx ? (LD)av.imag() : 0, yr = y[t].real(), yi = y[t].imag();
      const LD sr = s.real(), si = s.imag();
      if (std::isinf(ar)) {
        hasInf = true;
        // s*y real and positive or negative (low draws have real y and s only for the
        // infinite entry's sign to be plain; complex parts beside it may make NaN parts).
        infSign = (LD)(sr * yr) * ar;
        continue;
      }
      const LD wr = sr * yr - si * yi, wi = sr * yi + si * yr;
      re += wr * ar - wi * ai;
      im += wr * ai + wi * ar;
      sc += (std::fabs(sr) + std::fabs(si)) * (std::fabs(yr) + std::fabs(yi)) * (std::fabs(ar) + std::fabs(ai));
    }
    const C g = got[i];
    RC_LOG() << i << " got " << g << " ref (" << (double)re << "," << (double)im << ") diff ("
             << (double)(g.real() - re) << "," << (double)(g.imag() - im) << ") scale " << (double)sc;
    if (hasInf) {
      // A weight that underflows to zero must not drop the infinite entry it weights.
      if (!cplx) RC_ASSERT(g.real() == (double)infSign);
      else RC_ASSERT(std::isinf(g.real()) || std::isnan(g.real()) || std::isinf(g.imag()) || std::isnan(g.imag()));
      continue;
    }
    const double rel = 16 * (need + 2) * kEps;
    RC_ASSERT(Near(g.real(), re, std::fabs((LD)x[i].real()) + sc, rel, false, true));
    RC_ASSERT(Near(g.imag(), im, std::fabs((LD)x[i].imag()) + sc, rel, false, true));
  }
}

}  // namespace
