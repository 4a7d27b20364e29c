// prop_cm_vec.cpp: the real vectors of the C matrix library: the element kernels, every VEC
// operation, the norms, the fills and the random stream, views, the error handler and the
// memory accounting with its registry of static work. Operands are drawn over the whole
// double range and held to a long double reference; a refused call must leave every record
// it was handed as it was; an output that is one of the inputs must give what the call with
// a separate output gives; finite operands give a finite result wherever the exact result
// fits a double, a NaN operand a NaN; memory running out refuses and changes nothing; the
// accounting of every record made returns to zero.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kvelosys.h"
#include "matrix.h"
#include "matwrap.h"
#include "meminfo.h"
#include "msgcapture.h"
#include "prop_cm_vec.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"

// clang-format off
KVELO_HOLDS(
    "__add__", "__sub__", "__ip__", "__mltadd__", "__smlt__", "__zero__", "__izero__",
    "_LM__in_prod", "_LM_sv_mlt", "_LM_v_add", "_LM_v_sub", "_LM_v_mltadd", "_LM_v_map",
    "_LM__v_map", "_LM_v_lincomb", "_LM_v_star", "_LM_v_slash", "_LM_v_min", "_LM_v_max",
    "_LM_v_sum", "_LM_v_sort", "_LM_v_zero", "_LM_v_ones", "_LM_v_rand", "_LM__v_norm1",
    "_LM__v_norm2", "_LM__v_norm_inf", "_LM_v_get", "_LM_v_resize", "v_free", "_LM__v_copy",
    "_LM_v_move", "_LM_v_get_vars", "_LM_v_resize_vars", "v_free_vars", "_LM_sub_vec",
    "mrand", "mrandlist", "smrand", "_LM_error",
    "mem_info_on", "mem_info_is_on", "mem_attach_list", "mem_free_vars", "mem_is_list_attached",
    "mem_bytes_list", "mem_numvar_list", "mem_info_bytes", "mem_info_numvar", "mem_info_file",
    "mem_dump_list", "mem_stat_mark", "mem_stat_show_mark", "mem_stat_reg_list",
    "mem_stat_reg_vars", "mem_stat_free_list", "mem_stat_dump",
    "_LM_vec_get", "_LM_vec_resize", "_LM_vec_zero", "_LM_vec_copy", "kvelo_vec_free",
    "_LM_v_finput", "v_foutput");
// clang-format on

namespace {

using namespace cmvtest;
using kvtest::SameBits;

bool Same(double a, double b) { return SameBits(a, b) || (std::isnan(a) && std::isnan(b)); }
bool Same(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!Same(a[i], b[i])) return false;
  return true;
}

struct Recs {
  std::vector<VEC*> made;
  VEC* Make(const std::vector<double>& v, unsigned spare = 0) {
    made.push_back(MakeVec(v, spare));
    return made.back();
  }
  void Keep(VEC* r) {
    if (r != nullptr && std::find(made.begin(), made.end(), r) == made.end()) made.push_back(r);
  }
  ~Recs() {
    for (VEC* r : made) v_free(r);
  }
};

// y + s*x as a double evaluation takes it (with or without a fused multiply-add): a product
// beyond the range of double gives the infinity of its sign; otherwise within the rounding
// of the product and the sum of the exact y + s*x.
bool MltAddClose(double got, double y, double s, double x) {
  const LD p = static_cast<LD>(s) * x;
  if (std::isinf(static_cast<double>(p))) return Same(got, y + static_cast<double>(p)) || (std::isinf(got) && (got > 0) == (p > 0));
  const LD exact = y + p;
  return Close(got, exact, 2 * static_cast<LD>(kEps) * (std::fabs(p) + std::fabs(exact)));
}

// ---- Kernels ----

RC_GTEST_PROP(VecProps, KernelsMatchTheScalarArithmetic, ()) {
  const int n = *rc::gen::inRange(0, 7);
  const std::vector<double> x = *AnyValues(n), y = *AnyValues(n);
  const double s = *kvtest::AnyDouble();
  const int how = *rc::gen::inRange(0, 7);
  const int alias = *rc::gen::inRange(0, 3);
  RC_LOG() << "kernel " << how << " alias " << alias << " s=" << s;
  auto framed = [&](const std::vector<double>& v) {
    std::vector<double> a(v.size() + 2, kSentinel);
    std::copy(v.begin(), v.end(), a.begin() + 1);
    return a;
  };
  std::vector<double> X = framed(x), Y = framed(y), O = framed(std::vector<double>(n, 3.0));
  double* out = alias == 1 ? X.data() + 1 : alias == 2 ? Y.data() + 1 : O.data() + 1;
  std::vector<int> I(n + 2, -77);
  switch (how) {
    case 0:
      __add__(X.data() + 1, Y.data() + 1, out, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(Same(out[i], x[i] + y[i]));
      break;
    case 1:
      __sub__(X.data() + 1, Y.data() + 1, out, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(Same(out[i], x[i] - y[i]));
      break;
    case 2:
      __smlt__(X.data() + 1, s, out, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(Same(out[i], s * x[i]));
      break;
    case 3:
      __mltadd__(Y.data() + 1, X.data() + 1, s, n);
      for (int i = 0; i < n; ++i) {
        RC_LOG() << i << ": " << Y[i + 1];
        // A zero multiplier leaves y as it is (the BLAS's quick return), NaN in x or not.
        if (s == 0.0) {
          RC_ASSERT(SameBits(Y[i + 1], y[i]));
          continue;
        }
        if (std::isfinite(x[i]) && std::isfinite(y[i]) && std::isfinite(s)) RC_ASSERT(MltAddClose(Y[i + 1], y[i], s, x[i]));
        if (std::isnan(x[i]) || std::isnan(y[i]) || std::isnan(s)) RC_ASSERT(std::isnan(Y[i + 1]));
      }
      break;
    case 4: {
      const double got = __ip__(X.data() + 1, Y.data() + 1, n);
      LD ref = 0, abs = 0;
      for (int i = 0; i < n; ++i) {
        ref += static_cast<LD>(x[i]) * y[i];
        abs += std::fabs(static_cast<LD>(x[i]) * y[i]);
      }
      RC_LOG() << "ip=" << got;
      if (AllFinite(x) && AllFinite(y)) RC_ASSERT(SumClose(got, ref, abs, n));
      if (AnyNaN(x) || AnyNaN(y)) RC_ASSERT(std::isnan(got));
      break;
    }
    case 5:
      __zero__(out, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(SameBits(out[i], 0.0));
      break;
    default:
      __izero__(I.data() + 1, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(I[i + 1] == 0);
      RC_ASSERT(I.front() == -77 && I.back() == -77);
      break;
  }
  for (auto* a : {&X, &Y, &O}) RC_ASSERT(SameBits(a->front(), kSentinel) && SameBits(a->back(), kSentinel));
}

// ---- Operations producing a vector ----

enum Op { kMlt, kAdd, kSub, kMltAdd, kMap, kMapP, kLincomb, kStar, kSlash, kCopy, kOpCount };
const char* const kOpNames[] = {"sv_mlt", "v_add", "v_sub", "v_mltadd", "v_map", "_v_map",
                                "v_lincomb", "v_star", "v_slash", "_v_copy"};

double Twice(void* p, double v) { return v * *static_cast<double*>(p); }
double Negate(double v) { return -v; }

VEC* Run(Op op, VEC* x, VEC* y, double s, double t, VEC* out, int* st) {
  double two = 2.0;
  switch (op) {
    case kMlt: return _LM_sv_mlt(s, x, out, __LINE__, "p", st);
    case kAdd: return _LM_v_add(x, y, out, __LINE__, "p", st);
    case kSub: return _LM_v_sub(x, y, out, __LINE__, "p", st);
    case kMltAdd: return _LM_v_mltadd(x, y, s, out, __LINE__, "p", st);
    case kMap: return _LM_v_map(Negate, x, out, __LINE__, "p", st);
    case kMapP: return _LM__v_map(Twice, &two, x, out, __LINE__, "p", st);
    case kLincomb: {
      VEC* v[2] = {x, y};
      double a[2] = {t, s};
      return _LM_v_lincomb(2, v, a, out, __LINE__, "p", st);
    }
    case kStar: return _LM_v_star(x, y, out, __LINE__, "p", st);
    case kSlash: return _LM_v_slash(x, y, out, __LINE__, "p", st);
    default: return _LM__v_copy(x, out, 0, __LINE__, "p", st);
  }
}

void CheckElement(Op op, double xi, double yi, double s, double t, double got) {
  RC_LOG() << "x=" << xi << " y=" << yi << " got=" << got;
  switch (op) {
    case kMlt:
      if (s == 0.0) return RC_ASSERT(SameBits(got, 0.0));
      if (s == 1.0) return RC_ASSERT(SameBits(got, xi));
      return RC_ASSERT(Same(got, s * xi));
    case kAdd: return RC_ASSERT(Same(got, xi + yi));
    case kSub: return RC_ASSERT(Same(got, xi - yi));
    case kMap: return RC_ASSERT(Same(got, -xi));
    case kMapP: return RC_ASSERT(Same(got, xi * 2.0));
    case kStar: return RC_ASSERT(Same(got, xi * yi));
    case kSlash: return RC_ASSERT(Same(got, yi / xi));
    case kCopy: return RC_ASSERT(SameBits(got, xi));
    default: {
      double base = xi;
      if (op == kLincomb) base = t == 0.0 ? 0.0 : t == 1.0 ? xi : t * xi;
      if (s == 0.0) return RC_ASSERT(Same(got, base));
      if (s == 1.0) return RC_ASSERT(Same(got, base + yi));
      if (std::isfinite(base) && std::isfinite(yi) && std::isfinite(s)) RC_ASSERT(MltAddClose(got, base, s, yi));
      if (std::isnan(base) || std::isnan(yi) || std::isnan(s)) RC_ASSERT(std::isnan(got));
      return;
    }
  }
}

bool MustRefuse(Op op, const std::vector<double>& x, const std::vector<double>& y) {
  const bool binary = op != kMlt && op != kMap && op != kMapP && op != kCopy;
  if (binary && x.size() != y.size()) return true;
  if (op == kSlash)
    for (double d : x)
      if (d == 0.0) return true;
  return false;
}

RC_GTEST_PROP(VecProps, OperationsMatchReferenceAndAliasingAndRefusals, ()) {
  kvtest::MsgCapture quiet;
  const Op op = static_cast<Op>(*rc::gen::inRange(0, static_cast<int>(kOpCount)));
  const int n = *rc::gen::inRange(0, 7);
  const int ny = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(n)}, {1, rc::gen::inRange(0, 7)}});
  const std::vector<double> x = *AnyValues(n), y = *AnyValues(ny);
  auto scalar = rc::gen::weightedOneOf<double>({{4, kvtest::AnyDouble()}, {1, rc::gen::element(0.0, 1.0, -1.0, -0.0)}});
  const double s = *scalar, t = *scalar;
  const int outMode = *rc::gen::inRange(0, 5);
  const int otherDim = *rc::gen::inRange(0, 9);
  RC_LOG() << kOpNames[op] << " n=" << n << " ny=" << ny << " s=" << s << " t=" << t << " out=" << outMode;

  Recs r;
  VEC* x0 = r.Make(x);
  VEC* y0 = r.Make(y);
  const RecordBytes sx = Snap(x0), sy = Snap(y0);
  int st0 = 0;
  VEC* res0 = Run(op, x0, y0, s, t, nullptr, &st0);
  r.Keep(res0);
  RC_ASSERT((res0 == nullptr) == (st0 != 0));
  RC_ASSERT(Snap(x0) == sx);
  RC_ASSERT(Snap(y0) == sy);
  RC_ASSERT((res0 == nullptr) == MustRefuse(op, x, y));
  if (res0 != nullptr) {
    // An output sized for an empty operand holds one element: the real resize makes a dim of
    // 0 into 1.
    RC_ASSERT(res0->dim == x.size() || (x.empty() && res0->dim == 1));
    for (size_t i = 0; i < x.size(); ++i) CheckElement(op, x[i], i < y.size() ? y[i] : 0.0, s, t, res0->ve[i]);
  }

  VEC* x1 = r.Make(x, 2);
  VEC* y1 = r.Make(y, 2);
  VEC* out = nullptr;
  if (outMode == 1) out = r.Make(std::vector<double>(n, 9.0), 3);
  if (outMode == 2) out = r.Make(std::vector<double>(otherDim, 9.0), otherDim % 3);
  if (outMode == 3) out = x1;
  if (outMode == 4) out = y1;
  const bool lincombOnY = op == kLincomb && out == y1;
  const RecordBytes bx = Snap(x1), by = Snap(y1);
  const RecordBytes bo = out ? Snap(out) : RecordBytes{};
  int st1 = 0;
  VEC* res1 = Run(op, x1, y1, s, t, out, &st1);
  r.Keep(res1);
  RC_ASSERT((res1 == nullptr) == (st1 != 0));
  if (lincombOnY) RC_ASSERT((res1 == nullptr));
  else RC_ASSERT((res1 == nullptr) == (res0 == nullptr));
  if (res1 == nullptr) {
    RC_ASSERT(Snap(x1) == bx);
    RC_ASSERT(Snap(y1) == by);
    if (out) RC_ASSERT(Snap(out) == bo);
    return;
  }
  if (out != nullptr) RC_ASSERT((res1 == out));
  if (!x.empty()) RC_ASSERT(Same(Vals(res1), Vals(res0)));
  // (An empty result still takes one element: see above.)
  if (outMode == 1 || outMode == 3) RC_ASSERT(SentinelsFrom(res1, static_cast<unsigned>(std::max(n, 1))));
  if (outMode == 4) RC_ASSERT(SentinelsFrom(res1, static_cast<unsigned>(std::max({n, ny, 1}))));
  if (out != x1) RC_ASSERT(Snap(x1) == bx);
  if (out != y1) RC_ASSERT(Snap(y1) == by);
}

// ---- Reductions, sort, fills ----

RC_GTEST_PROP(VecProps, ReductionsSortAndFills, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::inRange(0, 7);
  const int nb = *rc::gen::weightedOneOf<int>({{4, rc::gen::just(n)}, {1, rc::gen::inRange(0, 7)}});
  const std::vector<double> a = *AnyValues(n), b = *AnyValues(nb);
  const unsigned i0 = *rc::gen::inRange(0, 8);
  const bool scaled = *rc::gen::arbitrary<bool>();
  const int ns = *rc::gen::weightedOneOf<int>({{4, rc::gen::just(n)}, {1, rc::gen::inRange(0, 8)}});
  const std::vector<double> sc = *AnyValues(ns);
  Recs r;
  VEC* A = r.Make(a, 1);
  VEC* B = r.Make(b, 1);
  VEC* S = scaled ? r.Make(sc, 1) : nullptr;
  const RecordBytes sa = Snap(A), sb = Snap(B);
  const RecordBytes ss = S ? Snap(S) : RecordBytes{};
  int st = 0;

  const unsigned m = static_cast<unsigned>(std::min(n, nb));
  const double ip = _LM__in_prod(A, B, i0, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == (i0 > m));
  if (st == 0) {
    LD ref = 0, abs = 0;
    bool fin = true, nan = false;
    for (unsigned i = i0; i < m; ++i) {
      ref += static_cast<LD>(a[i]) * b[i];
      abs += std::fabs(static_cast<LD>(a[i]) * b[i]);
      fin = fin && std::isfinite(a[i]) && std::isfinite(b[i]);
      nan = nan || std::isnan(a[i]) || std::isnan(b[i]);
    }
    RC_LOG() << "in_prod=" << ip;
    if (fin) RC_ASSERT(SumClose(ip, ref, abs, n));
    if (nan) RC_ASSERT(std::isnan(ip));
  } else {
    RC_ASSERT(SameBits(ip, 0.0));
  }

  const double sum = _LM_v_sum(A, __LINE__, "p", &st);
  RC_ASSERT(st == 0);
  {
    LD ref = 0, abs = 0;
    for (double d : a) ref += d, abs += std::fabs(static_cast<LD>(d));
    RC_LOG() << "sum=" << sum;
    if (AllFinite(a)) RC_ASSERT(SumClose(sum, ref, abs, n));
    if (AnyNaN(a)) RC_ASSERT(std::isnan(sum));
  }

  // Extremes: the first index of the smallest (largest) entry; an empty vector is refused.
  int imin = -5, imax = -5;
  const double vmin = _LM_v_min(A, &imin, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == (n == 0));
  const double vmax = _LM_v_max(A, &imax, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == (n == 0));
  if (n == 0) {
    RC_ASSERT(imin == -5 && imax == -5);
  } else if (AnyNaN(a)) {
    RC_ASSERT(std::isnan(vmin) && std::isnan(vmax));
  } else {
    const auto lo = std::min_element(a.begin(), a.end()), hi = std::max_element(a.begin(), a.end());
    RC_ASSERT(vmin == *lo && imin == lo - a.begin());
    RC_ASSERT(vmax == *hi && imax == hi - a.begin());
  }

  // Norms with a scale that must cover x.
  const bool scaleShort = S != nullptr && S->dim < A->dim;
  const double n1 = _LM__v_norm1(A, S, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == scaleShort);
  const double n2 = _LM__v_norm2(A, S, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == scaleShort);
  const double ni = _LM__v_norm_inf(A, S, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == scaleShort);
  if (!scaleShort) {
    LD r1 = 0, r2 = 0, ri = 0;
    bool fin = true, nan = false;
    for (int i = 0; i < n; ++i) {
      const double s = S ? sc[i] : 0.0;
      fin = fin && std::isfinite(a[i]) && (!S || std::isfinite(s));
      nan = nan || std::isnan(a[i]) || (S && std::isnan(s));
      const LD q = S && s != 0.0 ? static_cast<LD>(static_cast<double>(a[i] / s)) : static_cast<LD>(a[i]);
      const LD mod = std::fabs(q);
      r1 += mod;
      r2 += mod * mod;
      ri = std::max(ri, mod);
    }
    RC_LOG() << "norms " << n1 << " " << n2 << " " << ni;
    if (fin) {
      RC_ASSERT(Close(n1, r1, (n + 3) * static_cast<LD>(kEps) * r1));
      RC_ASSERT(Close(n2, std::sqrt(r2), (n + 3) * static_cast<LD>(kEps) * std::sqrt(r2)));
      RC_ASSERT(Close(ni, ri, 0));
    }
    if (nan) {
      RC_ASSERT(std::isnan(n1));
      RC_ASSERT(std::isnan(n2));
      RC_ASSERT(std::isnan(ni));
    }
  }
  RC_ASSERT(Snap(A) == sa);
  RC_ASSERT(Snap(B) == sb);
  if (S) RC_ASSERT(Snap(S) == ss);

  // Sort, with the permutation telling where each entry came from.
  {
    VEC* X = r.Make(a, 1);
    PERM* order = *rc::gen::arbitrary<bool>() ? _LM_px_get("p", 0, n + 1, __LINE__, "p", &st) : nullptr;
    RC_ASSERT((_LM_v_sort(X, order, __LINE__, "p", &st) == X));
    RC_ASSERT(st == 0);
    RC_ASSERT(SentinelsFrom(X, n));
    if (!AnyNaN(a))
      for (int i = 0; i + 1 < n; ++i) RC_ASSERT(X->ve[i] <= X->ve[i + 1]);
    if (order) {
      for (int i = 0; i < n; ++i) RC_ASSERT(SameBits(X->ve[i], a[order->pe[i]]));
      px_free(order);
    }
    std::vector<double> got = Vals(X), want = a;
    auto key = [](double d) { return std::make_pair(std::isnan(d), std::isnan(d) ? 0.0 : d); };
    auto less = [&](double p, double q) { return key(p) < key(q) || (key(p) == key(q) && std::signbit(p) > std::signbit(q)); };
    std::sort(got.begin(), got.end(), less);
    std::sort(want.begin(), want.end(), less);
    RC_ASSERT(Same(got, want));
  }
  // Fills.
  {
    VEC* X = r.Make(a, 2);
    RC_ASSERT((_LM_v_zero(X, __LINE__, "p", &st) == X));
    for (int i = 0; i < n; ++i) RC_ASSERT(SameBits(X->ve[i], 0.0));
    RC_ASSERT((_LM_v_ones(X, __LINE__, "p", &st) == X));
    for (int i = 0; i < n; ++i) RC_ASSERT(X->ve[i] == 1.0);
    smrand(*rc::gen::inRange(0, 1 << 30));
    RC_ASSERT((_LM_v_rand(X, __LINE__, "p", &st) == X));
    for (int i = 0; i < n; ++i) RC_ASSERT(X->ve[i] >= 0.0 && X->ve[i] < 1.0);
    RC_ASSERT(SentinelsFrom(X, n));
    for (auto f : {_LM_v_zero, _LM_v_ones, _LM_v_rand}) {
      RC_ASSERT((f(nullptr, __LINE__, "p", &st) == nullptr));
      RC_ASSERT(st != 0);
    }
    double d[8];
    mrandlist(d, 8);
    for (double v : d) RC_ASSERT(v >= 0.0 && v < 1.0);
    const double one = mrand();
    RC_ASSERT(one >= 0.0 && one < 1.0);
  }
}

// ---- Records: make, resize, copy, move, views, several variables ----

RC_GTEST_PROP(VecProps, RecordsCopiesMovesAndViews, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::inRange(0, 7);
  const std::vector<double> x = *AnyValues(n);
  Recs r;
  int st = 0;
  VEC* X = r.Make(x, 1);
  const RecordBytes sx = Snap(X);
  // Copy from i0 into a record of any dim: entries below i0 keep the output's.
  {
    const unsigned i0 = *rc::gen::inRange(0, n + 2);
    const std::vector<double> o = std::vector<double>(*rc::gen::inRange(0, 9), 5.0);
    VEC* out = r.Make(o, 1);
    const RecordBytes so = Snap(out);
    VEC* c = _LM__v_copy(X, out, i0, __LINE__, "p", &st);
    // A start beyond the source may be refused; then out is as it was.
    unsigned used = i0;
    if (st != 0) {
      RC_ASSERT(i0 > static_cast<unsigned>(n));
      RC_ASSERT((c == nullptr));
      RC_ASSERT(Snap(out) == so);
      used = 0;
      c = _LM__v_copy(X, out, 0, __LINE__, "p", &st);
      RC_ASSERT(st == 0);
    }
    RC_ASSERT((c == out));
    RC_ASSERT(c->dim == static_cast<unsigned>(n) || (n == 0 && c->dim == 1));
    for (int i = 0; i < n; ++i)
      RC_ASSERT(SameBits(c->ve[i], static_cast<unsigned>(i) >= used ? x[i] : (i < static_cast<int>(o.size()) ? 5.0 : 0.0)));
    RC_ASSERT((_LM__v_copy(X, X, 0, __LINE__, "p", &st) == X));
    RC_ASSERT((_LM__v_copy(nullptr, out, 0, __LINE__, "p", &st) == nullptr) && st != 0);
  }
  // Move of a block; refused for negative or out-of-range offsets, changing nothing.
  {
    const int i1 = *rc::gen::inRange(-1, n + 2), len = *rc::gen::inRange(-1, n + 2), j1 = *rc::gen::inRange(-1, 4);
    const std::vector<double> d0(*rc::gen::inRange(0, 6), 7.0);
    VEC* dst = r.Make(d0, 1);
    const RecordBytes sd = Snap(dst);
    VEC* mv = _LM_v_move(X, i1, len, dst, j1, __LINE__, "p", &st);
    const bool ok = i1 >= 0 && len >= 0 && j1 >= 0 && i1 + len <= n;
    RC_ASSERT((st == 0) == ok);
    if (ok) {
      RC_ASSERT((mv == dst));
      for (int k = 0; k < len; ++k) RC_ASSERT(SameBits(mv->ve[j1 + k], x[i1 + k]));
      for (int k = 0; k < static_cast<int>(d0.size()); ++k)
        if (k < j1 || k >= j1 + len) RC_ASSERT(SameBits(mv->ve[k], 7.0));
    } else {
      RC_ASSERT((mv == nullptr));
      RC_ASSERT(Snap(dst) == sd);
    }
  }
  // Resize keeps values and zeroes new places.
  {
    const int nd = *rc::gen::inRange(-1, 10);
    VEC* Y = r.Make(x, *rc::gen::inRange(0, 3));
    const RecordBytes sy = Snap(Y);
    VEC* rz = _LM_v_resize("p", 0, Y, nd, __LINE__, "p", &st);
    if (nd < 0) {
      RC_ASSERT((rz == nullptr) && st != 0);
      RC_ASSERT(Snap(Y) == sy);
    } else {
      RC_ASSERT((rz == Y));
      RC_ASSERT(Y->dim >= static_cast<unsigned>(nd) && Y->dim <= static_cast<unsigned>(std::max(nd, 1)));
      for (int i = 0; i < nd; ++i) RC_ASSERT(SameBits(Y->ve[i], i < n ? x[i] : 0.0));
    }
    RC_ASSERT((_LM_v_get("p", 0, -1, __LINE__, "p", &st) == nullptr) && st != 0);
  }
  // Views share the entries; a refused view changes nothing.
  if (n > 0) {
    const int a = *rc::gen::inRange(-1, n + 1), b = *rc::gen::inRange(-1, n + 1);
    VEC* view = _LM_sub_vec(X, a, b, nullptr, __LINE__, "p", &st);
    const bool ok = a >= 0 && a <= b && b < n;
    RC_ASSERT((view != nullptr) == ok);
    if (view) {
      RC_ASSERT(view->dim == static_cast<unsigned>(b - a + 1));
      RC_ASSERT((view->ve == X->ve + a));
      VEC* again = _LM_sub_vec(X, 0, 0, view, __LINE__, "p", &st);
      RC_ASSERT((again == view) && view->dim == 1);
      RC_ASSERT(v_free(view) == 0);
    }
    VEC* owner = r.Make({1.0, 2.0});
    const RecordBytes so = Snap(owner);
    RC_ASSERT((_LM_sub_vec(X, 0, 0, owner, __LINE__, "p", &st) == nullptr));
    RC_ASSERT(Snap(owner) == so);
  }
  RC_ASSERT(Snap(X) == sx);
  // Several variables at once.
  {
    VEC *p = nullptr, *q = nullptr;
    RC_ASSERT(_LM_v_get_vars("p", 0, __LINE__, "p", &st, n, &p, &q, static_cast<VEC**>(nullptr)) == 2);
    RC_ASSERT(st == 0 && p && q);
    RC_ASSERT(_LM_v_resize_vars("p", 0, __LINE__, "p", &st, n + 2, &p, &q, static_cast<VEC**>(nullptr)) == 2);
    RC_ASSERT(p->dim == static_cast<unsigned>(n + 2) && q->dim == static_cast<unsigned>(n + 2));
    RC_ASSERT(v_free_vars(&p, &q, static_cast<VEC**>(nullptr)) == 2);
    RC_ASSERT((p == nullptr && q == nullptr));
    RC_ASSERT(v_free(nullptr) == -1);
  }
}

// ---- Want of memory; accounting of everything made returns to zero ----

RC_GTEST_PROP(VecProps, WantOfMemoryAndAccounting, ()) {
  kvtest::MsgCapture quiet;
  const int wasOn = mem_info_on(1);
  RC_ASSERT(mem_info_is_on() == 1);
  const long long bytes0 = mem_info_bytes(3, 0);
  const int num0 = mem_info_numvar(3, 0);
  {
    const Op op = static_cast<Op>(*rc::gen::inRange(0, static_cast<int>(kOpCount)));
    const int n = *rc::gen::inRange(0, 6);
    const std::vector<double> x = *AnyValues(n), y = *AnyValues(n);
    const double s = *kvtest::TameDouble(), t = *kvtest::TameDouble();
    Recs r;
    VEC* X = r.Make(x);
    VEC* Y = r.Make(y);
    VEC* O = r.Make(std::vector<double>(n + 1, 1.0));
    const RecordBytes sx = Snap(X), sy = Snap(Y), so = Snap(O);
    int st = 0;
    kvrt::SetHeapBlocksLeft(0);
    VEC* got = Run(op, X, Y, s, t, nullptr, &st);
    const int st1 = st;
    VEC* made = _LM_v_get("p", 0, n, __LINE__, "p", &st);
    const int st2 = st;
    VEC* view = _LM_sub_vec(O, 0, 0, nullptr, __LINE__, "p", &st);
    const int st3 = st;
    kvrt::SetHeapBlocksLeft(-1);
    r.Keep(got);
    r.Keep(made);
    RC_LOG() << kOpNames[op] << " n=" << n;
    RC_ASSERT((got == nullptr) && st1 != 0);
    RC_ASSERT((made == nullptr) && st2 != 0);
    RC_ASSERT((view == nullptr) && st3 != 0);
    RC_ASSERT(Snap(X) == sx);
    RC_ASSERT(Snap(Y) == sy);
    // Into an output whose capacity suffices: nothing to allocate.
    kvrt::SetHeapBlocksLeft(0);
    VEC* into = Run(op, X, Y, s, t, O, &st);
    kvrt::SetHeapBlocksLeft(-1);
    if (into == nullptr) {
      RC_ASSERT(MustRefuse(op, x, y));
      RC_ASSERT(Snap(O) == so);
    } else {
      RC_ASSERT((into == O));
    }
    RC_ASSERT(Snap(X) == sx);
    RC_ASSERT(Snap(Y) == sy);
  }
  RC_ASSERT(mem_info_bytes(3, 0) == bytes0);
  RC_ASSERT(mem_info_numvar(3, 0) == num0);
  RC_ASSERT(mem_info_on(wasOn) == 1);
}

// The error handler: any code leaves -1 in the status word.
RC_GTEST_PROP(VecProps, ErrorHandlerSetsTheStatusWord, ()) {
  kvtest::MsgCapture quiet;
  const int code = *rc::gen::element(1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 18, 20, 21);
  _LM_err_status = 0;
  _LM_error("vecop", code, 10, "v_add", 0, 20, "p");
  RC_ASSERT(_LM_err_status == -1);
  int st = -1;
  VEC* v = _LM_v_get("p", 0, 1, __LINE__, "p", &st);
  RC_ASSERT(st == 0 && _LM_err_status == 0);
  v_free(v);
}

// ---- Accounting lists and the registry of static work ----

int CountingFree(void* p) {
  ++*static_cast<int*>(p);
  return 0;
}

RC_GTEST_PROP(VecProps, AccountingListsAndStaticRegistry, ()) {
  kvtest::MsgCapture quiet;
  const int list = *rc::gen::inRange(1, 5);
  const int types = *rc::gen::inRange(1, 4);
  char name0[] = "A", name1[] = "B", name2[] = "C";
  char* names[3] = {name0, name1, name2};
  MEM_FREE_FN fns[3] = {CountingFree, CountingFree, nullptr};
  MEM_COUNTS counts[3] = {};
  const int wasOn = mem_info_on(1);
  RC_ASSERT(mem_attach_list(5, types, names, fns, counts) == -1);
  RC_ASSERT(mem_attach_list(list, types, names, fns, counts) == 0);
  RC_ASSERT(mem_is_list_attached(list) == 1);
  // Counts move by exactly what is booked, and only for types with a free function.
  const int type = *rc::gen::inRange(-1, 4);
  const int bytes = *rc::gen::inRange(0, 1000), num = *rc::gen::inRange(0, 5);
  mem_bytes_list(type, 0, bytes, list);
  mem_numvar_list(type, num, list);
  const bool known = type >= 0 && type < types && fns[type] != nullptr;
  RC_ASSERT(mem_info_bytes(type, list) == (known ? bytes : 0));
  RC_ASSERT(mem_info_numvar(type, list) == (known ? num : 0));
  FILE* sink = std::tmpfile();
  mem_info_file(sink, list);
  mem_dump_list(sink, list);
  mem_bytes_list(type, bytes, 0, list);
  mem_numvar_list(type, -num, list);
  RC_ASSERT(mem_info_bytes(type, list) == 0);
  RC_ASSERT(mem_info_numvar(type, list) == 0);
  // Registry: variables registered under a mark are freed by it and set to null.
  int freed = 0;
  void* v1 = &freed;
  void* v2 = &freed;
  const int mark = *rc::gen::inRange(1, 50);
  RC_ASSERT(mem_stat_reg_list(&v1, 0, list) == 0);  // no mark: not registered
  RC_ASSERT(mem_stat_mark(mark) == mark);
  RC_ASSERT(mem_stat_show_mark() == mark);
  RC_ASSERT(mem_stat_reg_list(&v1, 0, list) == mark);
  RC_ASSERT(mem_stat_reg_vars(list, 0, &v2, static_cast<void**>(nullptr)) == 1);
  RC_ASSERT(mem_stat_reg_list(&v1, types, list) == -1);
  mem_stat_dump(sink, list);
  std::fclose(sink);
  RC_ASSERT(mem_stat_free_list(mark, list) == 0);
  RC_ASSERT(freed == 2);
  RC_ASSERT((v1 == nullptr && v2 == nullptr));
  RC_ASSERT(mem_stat_show_mark() == 0);
  RC_ASSERT(mem_stat_mark(-1) == -1);
  RC_ASSERT(mem_free_vars(list) == 0);
  RC_ASSERT(mem_is_list_attached(list) == 0);
  RC_ASSERT(mem_free_vars(7) == -1);
  RC_ASSERT(mem_info_on(wasOn) == 1);
  RC_ASSERT(mem_info_bytes(3, 0) == 0 || wasOn);
}

// ---- Generic vector wrappers: a real or complex vector behind one record ----

// The wrapped vector's elements as doubles (two per complex element).
std::vector<double> WrapVals(GVEC* w) {
  const unsigned n = *w->pdim * (w->type == 8 ? 2 : 1);
  const double* d = static_cast<const double*>(w->type == 8 ? static_cast<void*>(static_cast<ZVEC*>(w->vec)->ve)
                                                             : static_cast<void*>(static_cast<VEC*>(w->vec)->ve));
  return std::vector<double>(d, d + n);
}

void FreeWrap(GVEC* w) {
  if (w == nullptr) return;
  RC_ASSERT(kvelo_vec_free(w) == 0);
  kvelomem_free(w, __FILE__, __LINE__);
}

RC_GTEST_PROP(VecProps, GenericWrappersHoldTheirVector, ()) {
  kvtest::MsgCapture quiet;
  const int kind = *rc::gen::element(5, 6);
  const int n = *rc::gen::inRange(0, 6);
  const int per = kind == 6 ? 2 : 1;
  const std::vector<double> vals = *AnyValues(n * per);
  int st = 0;
  RC_ASSERT((_LM_vec_get("p", 0, 7, n, __LINE__, "p", &st) == nullptr) && st != 0);
  RC_ASSERT((_LM_vec_get("p", 0, kind, -1, __LINE__, "p", &st) == nullptr) && st != 0);
  GVEC* w = _LM_vec_get("p", 0, kind, n, __LINE__, "p", &st);
  RC_ASSERT(st == 0);
  RC_ASSERT(w != nullptr);
  RC_ASSERT(w->type == (kind == 5 ? 3 : 8));
  RC_ASSERT(*w->pdim == static_cast<unsigned>(n));
  RC_ASSERT(WrapVals(w) == std::vector<double>(n * per, 0.0));
  std::copy(vals.begin(), vals.end(), static_cast<double*>(w->data));
  RC_ASSERT(Same(WrapVals(w), vals));
  // A copy into a new wrapper, into one of the other type (refused, unchanged), onto itself.
  GVEC* c = _LM_vec_copy(w, nullptr, __LINE__, "p", &st);
  RC_ASSERT(st == 0);
  RC_ASSERT(c != nullptr);
  RC_ASSERT(Same(WrapVals(c), vals));
  GVEC* other = _LM_vec_get("p", 0, kind == 5 ? 6 : 5, n + 1, __LINE__, "p", &st);
  const std::vector<double> before = WrapVals(other);
  RC_ASSERT((_LM_vec_copy(w, other, __LINE__, "p", &st) == nullptr) && st != 0);
  RC_ASSERT(WrapVals(other) == before);
  RC_ASSERT((_LM_vec_copy(w, w, __LINE__, "p", &st) == w));
  // Resize keeps the values and zeroes new places; a kind of the other type is refused.
  const int nd = *rc::gen::inRange(0, 8);
  RC_ASSERT((_LM_vec_resize("p", 0, w, kind == 5 ? 6 : 5, nd, __LINE__, "p", &st) == nullptr) && st != 0);
  RC_ASSERT(Same(WrapVals(w), vals));
  GVEC* r = _LM_vec_resize("p", 0, w, kind, nd, __LINE__, "p", &st);
  RC_ASSERT((r == w) && st == 0);
  const std::vector<double> got = WrapVals(w);
  RC_ASSERT(got.size() >= static_cast<size_t>(nd * per));
  for (int i = 0; i < nd * per; ++i) RC_ASSERT(Same(got[i], i < n * per ? vals[i] : 0.0));
  // Zero fill; a null wrapper refused.
  RC_ASSERT((_LM_vec_zero(w, __LINE__, "p", &st) == w));
  for (double d : WrapVals(w)) RC_ASSERT(SameBits(d, 0.0));
  RC_ASSERT((_LM_vec_zero(nullptr, __LINE__, "p", &st) == nullptr) && st != 0);
  // Want of memory: no new wrapper, nothing changed.
  kvrt::SetHeapBlocksLeft(0);
  GVEC* none = _LM_vec_get("p", 0, kind, n, __LINE__, "p", &st);
  const int stNone = st;
  GVEC* none2 = _LM_vec_copy(c, nullptr, __LINE__, "p", &st);
  kvrt::SetHeapBlocksLeft(-1);
  RC_ASSERT((none == nullptr && none2 == nullptr));
  RC_ASSERT(stNone != 0 && st != 0);
  RC_ASSERT(Same(WrapVals(c), vals));
  RC_ASSERT(kvelo_vec_free(nullptr) == -1);
  FreeWrap(w);
  FreeWrap(c);
  FreeWrap(other);
}

// ---- Text form: the reader takes back what the writer writes (to its nine digits), and the
// vector read writes the same text again ----

std::string VecText(VEC* v) {
  FILE* f = std::tmpfile();
  v_foutput(f, v);
  std::fflush(f);
  std::rewind(f);
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<char>(c));
  std::fclose(f);
  return out;
}

VEC* VecRead(const std::string& text, int* st) {
  FILE* f = std::tmpfile();
  std::fputs(text.c_str(), f);
  std::rewind(f);
  VEC* r = _LM_v_finput(f, nullptr, __LINE__, "p", st);
  std::fclose(f);
  return r;
}

RC_GTEST_PROP(VecProps, TextFormReadsBack, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::inRange(0, 12);
  const std::vector<double> x = *AnyValues(n);
  Recs r;
  VEC* X = r.Make(x);
  const std::string text = VecText(X);
  int st = 0;
  VEC* back = VecRead(text, &st);
  RC_ASSERT(st == 0);
  RC_ASSERT(back != nullptr);
  r.Keep(back);
  // An empty vector reads back with the one element a resize gives a dim of 0.
  RC_ASSERT(back->dim == static_cast<unsigned>(n) || (n == 0 && back->dim == 1));
  for (int i = 0; i < n; ++i) {
    const double g = back->ve[i];
    RC_LOG() << x[i] << " -> " << g;
    if (std::isnan(x[i])) {
      RC_ASSERT(std::isnan(g));
    } else if (std::isinf(x[i])) {
      RC_ASSERT(g == x[i]);
    } else {
      RC_ASSERT(std::fabs(g - x[i]) <= 6e-9 * std::fabs(x[i]) + DBL_TRUE_MIN);
      RC_ASSERT(std::signbit(g) == std::signbit(x[i]));
    }
  }
  if (n > 0) RC_ASSERT(VecText(back) == text);
  // A text cut inside its values is refused.
  if (n > 0) {
    VEC* bad = VecRead(text.substr(0, text.find('\n') + 1), &st);
    RC_ASSERT((bad == nullptr) && st != 0);
  }
}

}  // namespace
