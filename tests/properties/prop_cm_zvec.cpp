// prop_cm_zvec.cpp: the complex side of the C matrix library's vectors: the complex scalar
// functions, the element kernels on raw complex arrays and every ZVEC operation, each drawn
// over the whole double range against a long double reference. A refused call must leave
// every record it was handed as it was; an output that is one of the inputs must give what
// the call with a separate output gives; finite operands give a finite result wherever the
// exact result fits in a double, and a NaN operand a NaN; memory running out refuses and
// changes nothing; the memory accounting of every record made returns to zero.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <complex>
#include <vector>

#include "matrix.h"
#include "meminfo.h"
#include "msgcapture.h"
#include "prop_cm_vec.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"
#include "zmatrix.h"

// clang-format off
KVELO_HOLDS(
    "zmake", "zneg", "zconj", "zadd", "zsub", "zsmlt", "zmlt", "zinv", "zdiv", "zsqrt", "zexp",
    "zlog", "zabs",
    "__zconj__", "__zip__", "__zmltadd__", "__zmlt__", "__zadd__", "__zsub__", "__zzero__",
    "_LM__zin_prod", "_LM_zv_mlt", "_LM_zv_add", "_LM_zv_sub", "_LM_zv_mltadd", "_LM_zv_map",
    "_LM__zv_map", "_LM_zv_lincomb", "_LM_zv_linlist", "_LM_zv_star", "_LM_zv_slash",
    "_LM_zv_sum", "_LM_zv_sort", "_LM_px_zvec", "_LM_pxinv_zvec", "_LM_zv_rand", "_LM_zv_zero",
    "_LM__zv_norm1", "_LM__zv_norm2", "_LM__zv_norm_inf", "_LM_zv_zabs",
    "_LM_zv_get", "_LM_zv_resize", "zv_free", "_LM__zv_copy", "_LM_zv_move", "_LM_zv_get_vars",
    "_LM_zv_resize_vars", "zv_free_vars");
// clang-format on

namespace {

using namespace cmvtest;
using C = std::complex<double>;
using CL = std::complex<LD>;
using kvtest::SameBits;

C FromZ(::complex z) { return C(z.re, z.im); }
::complex ToZ(C z) { return zmake(z.real(), z.imag()); }
CL Wide(C z) { return CL(z.real(), z.imag()); }
LD AbsL(C z) { return std::hypot(static_cast<LD>(z.real()), static_cast<LD>(z.imag())); }

// ---- The product and quotient as the reference takes them ----

// Exact-range product in long double, with the componentwise bound of a double evaluation:
// each part is within 4 eps of the sum of its two partial products' magnitudes.
struct Prod {
  CL ref;
  LD tolRe, tolIm;
};
Prod Product(C a, C b) {
  const LD ar = a.real(), ai = a.imag(), br = b.real(), bi = b.imag();
  Prod p;
  p.ref = CL(ar * br - ai * bi, ai * br + ar * bi);
  p.tolRe = 4 * static_cast<LD>(kEps) * (std::fabs(ar * br) + std::fabs(ai * bi));
  p.tolIm = 4 * static_cast<LD>(kEps) * (std::fabs(ai * br) + std::fabs(ar * bi));
  return p;
}
bool ProductClose(C got, C a, C b) {
  const Prod p = Product(a, b);
  return Close(got.real(), p.ref.real(), p.tolRe) && Close(got.imag(), p.ref.imag(), p.tolIm);
}
// Normwise: both parts within k eps |ref| of the reference (quotients, roots, exp, log).
bool NormClose(C got, CL ref, LD k) {
  const LD tol = k * static_cast<LD>(kEps) * std::hypot(ref.real(), ref.imag());
  return Close(got.real(), ref.real(), tol) && Close(got.imag(), ref.imag(), tol);
}

// y + s*x as a double evaluation takes it: the product rounded as zmlt gives it (an infinite
// part where the exact part is beyond the range of double), then added part by part. A part
// whose product is finite is held to the long double y + s*x.
bool MltAddClose(C got, C y, C s, C x) {
  const Prod p = Product(s, x);
  const double pr = static_cast<double>(p.ref.real()), pi = static_cast<double>(p.ref.imag());
  auto part = [](double g, double yv, double pv, LD exact, LD tol) {
    if (std::isinf(pv)) return SameBits(g, yv + pv) || (std::isinf(g) && (g > 0) == (pv > 0));
    // The product may round to DBL_MAX or to infinity at the edge of the range.
    return Close(g, static_cast<LD>(yv) + exact, tol + 2 * static_cast<LD>(kEps) * std::fabs(static_cast<LD>(yv) + exact));
  };
  return part(got.real(), y.real(), pr, p.ref.real(), p.tolRe) &&
         part(got.imag(), y.imag(), pi, p.ref.imag(), p.tolIm);
}


// Bitwise equal parts; two NaNs count as equal whatever their payloads (the hardware picks
// which operand's payload a sum carries).
bool SamePart(double a, double b) { return SameBits(a, b) || (std::isnan(a) && std::isnan(b)); }
bool SameZ(C a, C b) { return SamePart(a.real(), b.real()) && SamePart(a.imag(), b.imag()); }
bool SameZ(const std::vector<C>& a, const std::vector<C>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameZ(a[i], b[i])) return false;
  return true;
}

bool AllFiniteZ(std::initializer_list<C> zs) {
  for (C z : zs)
    if (!Finite(z)) return false;
  return true;
}
bool AnyNaNZ(std::initializer_list<C> zs) {
  for (C z : zs)
    if (HasNaN(z)) return true;
  return false;
}
bool AnyInfZ(std::initializer_list<C> zs) {
  for (C z : zs)
    if (std::isinf(z.real()) || std::isinf(z.imag())) return true;
  return false;
}

// ---- Complex scalars ----

RC_GTEST_PROP(ZvecProps, ScalarFunctionsMatchLongDouble, ()) {
  kvtest::MsgCapture quiet;
  const C a = *ZOperand(), b = *ZOperand();
  const double x = *kvtest::AnyDouble();
  RC_LOG() << "a=" << a << " b=" << b << " x=" << x;
  // Exact part by part.
  RC_ASSERT(SameZ(FromZ(zmake(a.real(), a.imag())), a));
  RC_ASSERT(SameZ(FromZ(zneg(ToZ(a))), C(-a.real(), -a.imag())));
  RC_ASSERT(SameZ(FromZ(zconj(ToZ(a))), C(a.real(), -a.imag())));
  RC_ASSERT(SameZ(FromZ(zadd(ToZ(a), ToZ(b))), C(a.real() + b.real(), a.imag() + b.imag())));
  RC_ASSERT(SameZ(FromZ(zsub(ToZ(a), ToZ(b))), C(a.real() - b.real(), a.imag() - b.imag())));
  RC_ASSERT(SameZ(FromZ(zsmlt(ToZ(a), x)), C(x * a.real(), x * a.imag())));

  const C m = FromZ(zmlt(ToZ(a), ToZ(b)));
  const double r = zabs(ToZ(a));
  const bool nanIn = AnyNaNZ({a, b}) && !AnyInfZ({a, b});
  if (AllFiniteZ({a, b})) {
    RC_ASSERT(ProductClose(m, a, b));
    RC_ASSERT(Close(r, AbsL(a), 2 * static_cast<LD>(kEps) * AbsL(a)));
  }
  if (nanIn) RC_ASSERT(HasNaN(m));
  if (HasNaN(a) && !AnyInfZ({a})) RC_ASSERT(std::isnan(r));
  if (AnyInfZ({a})) RC_ASSERT(std::isinf(r));

  // Quotient and reciprocal: a zero divisor is reported through the status word.
  _LM_err_status = 0;
  const C q = FromZ(zdiv(ToZ(a), ToZ(b)));
  const bool zeroB = b.real() == 0.0 && b.imag() == 0.0;
  RC_ASSERT((_LM_err_status == -1) == zeroB);
  _LM_err_status = 0;
  const C inv = FromZ(zinv(ToZ(b)));
  RC_ASSERT((_LM_err_status == -1) == zeroB);
  _LM_err_status = 0;
  if (AllFiniteZ({a, b}) && !zeroB) {
    const CL wa = Wide(a), wb = Wide(b);
    const LD d = wb.real() * wb.real() + wb.imag() * wb.imag();
    const CL ref((wa.real() * wb.real() + wa.imag() * wb.imag()) / d,
                 (wa.imag() * wb.real() - wa.real() * wb.imag()) / d);
    // Normwise, against |a|/|b| (the quotient's size whatever cancels in its parts).
    const LD tol = 8 * static_cast<LD>(kEps) * AbsL(a) / AbsL(b);
    RC_LOG() << "zdiv=" << q << " ref=(" << static_cast<double>(ref.real()) << ","
             << static_cast<double>(ref.imag()) << ")";
    RC_ASSERT(Close(q.real(), ref.real(), tol) && Close(q.imag(), ref.imag(), tol));
    const CL iref(wb.real() / d, -wb.imag() / d);
    RC_LOG() << "zinv=" << inv;
    RC_ASSERT(NormClose(inv, iref, 8));
  }
  if (nanIn) RC_ASSERT(HasNaN(q));

  // Root, exponential, logarithm against the long double functions.
  const C sq = FromZ(zsqrt(ToZ(a)));
  const C ex = FromZ(zexp(ToZ(a)));
  const C lg = FromZ(zlog(ToZ(a)));
  RC_LOG() << "zsqrt=" << sq << " zexp=" << ex << " zlog=" << lg;
  if (Finite(a)) {
    RC_ASSERT(NormClose(sq, std::sqrt(Wide(a)), 4));
    RC_ASSERT(NormClose(ex, std::exp(Wide(a)), 16));
    if (a != C(0, 0)) RC_ASSERT(NormClose(lg, std::log(Wide(a)), 8));
  }
  if (HasNaN(a) && !AnyInfZ({a})) {
    RC_ASSERT(HasNaN(sq));
    RC_ASSERT(HasNaN(lg));
    if (a.imag() != 0.0) RC_ASSERT(HasNaN(ex));
  }
}

// The instances that must keep their values exactly: the product's finite part beside an
// overflowing one, and the quotient whose imaginary part cancels.
TEST(ZvecFixtures, ProductAndQuotientNearTheTopOfTheRange) {
  const C s(1e200, 1e200), y(5e108, 5e108 * (1 - 1e-9));
  const C p = FromZ(zmlt(ToZ(s), ToZ(y)));
  EXPECT_TRUE(ProductClose(p, s, y)) << p;
  EXPECT_TRUE(std::isinf(p.imag()) && p.imag() > 0);
  const C q = FromZ(zdiv(zmake(1e308, 1e308), zmake(1, 1)));
  EXPECT_EQ(q.real(), 1e308);
  EXPECT_EQ(q.imag(), 0.0);
}

// 0 + s*y through every complex multiply-add must give zmlt's s*y: a finite real part beside
// an imaginary part that overflows.
TEST(ZvecFixtures, MultiplyAddsOfZeroGiveTheProduct) {
  kvtest::MsgCapture quiet;
  const C s(1e200, 1e200), y(5e108, 5e108 * (1 - 1e-9));
  const C p = FromZ(zmlt(ToZ(s), ToZ(y)));
  ASSERT_TRUE(ProductClose(p, s, y)) << p;
  auto same = [&](C got) { return SamePart(got.real(), p.real()) && SamePart(got.imag(), p.imag()); };
  int st = 0;
  ZVEC* zero = MakeZVec({C(0, 0)});
  ZVEC* yv = MakeZVec({y});
  ZVEC* out = _LM_zv_mltadd(zero, yv, ToZ(s), nullptr, __LINE__, "p", &st);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(same(FromZ(out->ve[0]))) << FromZ(out->ve[0]);
  ZVEC* v[2] = {zero, yv};
  ::complex a[2] = {zmake(1, 0), ToZ(s)};
  ZVEC* lc = _LM_zv_lincomb(2, v, a, nullptr, __LINE__, "p", &st);
  ASSERT_NE(lc, nullptr);
  EXPECT_TRUE(same(FromZ(lc->ve[0]))) << FromZ(lc->ve[0]);
  ZVEC* ll = _LM_zv_linlist(__LINE__, "p", &st, nullptr, zero, zmake(1, 0), yv, ToZ(s), static_cast<ZVEC*>(nullptr));
  ASSERT_NE(ll, nullptr);
  EXPECT_TRUE(same(FromZ(ll->ve[0]))) << FromZ(ll->ve[0]);
  for (int flag = 0; flag < 2; ++flag) {
    ::complex acc[1] = {zmake(0, 0)};
    const ::complex x[1] = {flag ? zconj(ToZ(y)) : ToZ(y)};
    __zmltadd__(acc, x, ToZ(s), 1, flag);
    EXPECT_TRUE(same(FromZ(acc[0]))) << "flag " << flag << ": " << FromZ(acc[0]);
  }
  for (ZVEC* r : {zero, yv, out, lc, ll}) zv_free(r);
}

// ---- Element kernels on raw arrays, with sentinels around them and every aliasing ----

RC_GTEST_PROP(ZvecProps, KernelsMatchTheScalarArithmetic, ()) {
  const int n = *rc::gen::inRange(0, 6);
  const std::vector<C> x = *AnyZValues(n), y = *AnyZValues(n);
  const C s = *ZOperand();
  const int flag = *rc::gen::inRange(0, 2);
  const int how = *rc::gen::inRange(0, 7);
  const int alias = *rc::gen::inRange(0, 3);  // output: separate, on x, on y
  RC_LOG() << "kernel " << how << " flag " << flag << " alias " << alias << " s=" << s;
  // Arrays with one sentinel element at each end.
  auto framed = [&](const std::vector<C>& v) {
    std::vector<::complex> a(v.size() + 2, zmake(kSentinel, -kSentinel));
    for (size_t i = 0; i < v.size(); ++i) a[i + 1] = ToZ(v[i]);
    return a;
  };
  std::vector<::complex> X = framed(x), Y = framed(y), O = framed(std::vector<C>(n, C(3, 4)));
  ::complex* out = alias == 1 ? X.data() + 1 : alias == 2 ? Y.data() + 1 : O.data() + 1;
  auto at = [&](int i) { return FromZ(out[i]); };
  switch (how) {
    case 0: {
      __zadd__(X.data() + 1, Y.data() + 1, out, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(at(i), C(x[i].real() + y[i].real(), x[i].imag() + y[i].imag())));
      break;
    }
    case 1: {
      __zsub__(X.data() + 1, Y.data() + 1, out, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(at(i), C(x[i].real() - y[i].real(), x[i].imag() - y[i].imag())));
      break;
    }
    case 2: {
      __zmlt__(X.data() + 1, ToZ(s), out, n);
      for (int i = 0; i < n; ++i) {
        if (AllFiniteZ({x[i], s})) RC_ASSERT(ProductClose(at(i), x[i], s));
        if (AnyNaNZ({x[i], s}) && !AnyInfZ({x[i], s})) RC_ASSERT(HasNaN(at(i)));
      }
      break;
    }
    case 3: {
      // y + s*x (or s*conj(x)) in place in y.
      __zmltadd__(Y.data() + 1, X.data() + 1, ToZ(s), n, flag);
      for (int i = 0; i < n; ++i) {
        const C xi = flag ? std::conj(x[i]) : x[i];
        const C got = FromZ(Y[i + 1]);
        RC_LOG() << i << ": " << got;
        if (AllFiniteZ({x[i], y[i], s})) RC_ASSERT(MltAddClose(got, y[i], s, xi));
        if (AnyNaNZ({x[i], y[i], s}) && !AnyInfZ({x[i], y[i], s})) RC_ASSERT(HasNaN(got));
      }
      out = Y.data() + 1;
      break;
    }
    case 4: {
      const C got = FromZ(__zip__(X.data() + 1, Y.data() + 1, n, flag));
      CL ref(0, 0);
      LD absRe = 0, absIm = 0;
      bool fin = true, nan = false, inf = false;
      for (int i = 0; i < n; ++i) {
        const C xi = flag ? std::conj(x[i]) : x[i];
        const Prod p = Product(xi, y[i]);
        ref += p.ref;
        absRe += p.tolRe / (4 * static_cast<LD>(kEps));
        absIm += p.tolIm / (4 * static_cast<LD>(kEps));
        fin = fin && AllFiniteZ({x[i], y[i]});
        nan = nan || AnyNaNZ({x[i], y[i]});
        inf = inf || AnyInfZ({x[i], y[i]});
      }
      RC_LOG() << "zip=" << got;
      if (fin) RC_ASSERT(SumClose(got.real(), ref.real(), absRe, n) && SumClose(got.imag(), ref.imag(), absIm, n));
      if (nan && !inf) RC_ASSERT(HasNaN(got));
      out = O.data() + 1;  // nothing written
      for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(FromZ(O[i + 1]), C(3, 4)));
      break;
    }
    case 5: {
      __zconj__(X.data() + 1, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(FromZ(X[i + 1]), C(x[i].real(), -x[i].imag())));
      out = X.data() + 1;
      break;
    }
    default: {
      __zzero__(out, n);
      for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(at(i), C(0.0, 0.0)));
      break;
    }
  }
  // Nothing outside the n elements changes.
  for (auto* a : {&X, &Y, &O}) {
    RC_ASSERT(SameZ(FromZ(a->front()), C(kSentinel, -kSentinel)));
    RC_ASSERT(SameZ(FromZ(a->back()), C(kSentinel, -kSentinel)));
  }
  (void)out;
}

// ---- ZVEC operations ----

// An operand or output of a call: its values and the records made for it.
struct Recs {
  std::vector<ZVEC*> made;
  ZVEC* Make(const std::vector<C>& v, unsigned spare = 0) {
    made.push_back(MakeZVec(v, spare));
    return made.back();
  }
  void Keep(ZVEC* r) {
    if (r != nullptr && std::find(made.begin(), made.end(), r) == made.end()) made.push_back(r);
  }
  ~Recs() {
    for (ZVEC* r : made) zv_free(r);
  }
};

C Doubler(void* p, C z) { return z * *static_cast<double*>(p); }
::complex DoublerZ(void* p, ::complex z) { return ToZ(Doubler(p, FromZ(z))); }

// One operation on (x, y) with scalar s into out; gives the result record (null: refused).
enum Op { kMlt, kAdd, kSub, kMltAdd, kMap, kMapP, kLincomb, kLinlist, kStar, kSlash, kOpCount };
const char* const kOpNames[] = {"zv_mlt", "zv_add", "zv_sub", "zv_mltadd", "zv_map", "_zv_map",
                                "zv_lincomb", "zv_linlist", "zv_star", "zv_slash"};

ZVEC* Run(Op op, ZVEC* x, ZVEC* y, C s, C t, ZVEC* out, int* st) {
  double two = 2.0;
  switch (op) {
    case kMlt: return _LM_zv_mlt(ToZ(s), x, out, __LINE__, "p", st);
    case kAdd: return _LM_zv_add(x, y, out, __LINE__, "p", st);
    case kSub: return _LM_zv_sub(x, y, out, __LINE__, "p", st);
    case kMltAdd: return _LM_zv_mltadd(x, y, ToZ(s), out, __LINE__, "p", st);
    case kMap: return _LM_zv_map(zconj, x, out, __LINE__, "p", st);
    case kMapP: return _LM__zv_map(DoublerZ, &two, x, out, __LINE__, "p", st);
    case kLincomb: {
      ZVEC* v[2] = {x, y};
      ::complex a[2] = {ToZ(t), ToZ(s)};
      return _LM_zv_lincomb(2, v, a, out, __LINE__, "p", st);
    }
    case kLinlist: return _LM_zv_linlist(__LINE__, "p", st, out, x, ToZ(t), y, ToZ(s), static_cast<ZVEC*>(nullptr));
    case kStar: return _LM_zv_star(x, y, out, __LINE__, "p", st);
    default: return _LM_zv_slash(x, y, out, __LINE__, "p", st);
  }
}

// Element i of the result against the reference.
void CheckElement(Op op, C xi, C yi, C s, C t, C got) {
  const bool fin = AllFiniteZ({xi, yi, s, t});
  const bool nan = AnyNaNZ({xi, yi, s, t}) && !AnyInfZ({xi, yi, s, t});
  RC_LOG() << "x=" << xi << " y=" << yi << " got=" << got;
  switch (op) {
    case kMlt:
      if (s == C(0, 0)) return RC_ASSERT(SameZ(got, C(0, 0)));
      if (s == C(1, 0)) return RC_ASSERT(SameZ(got, xi));
      if (AllFiniteZ({xi, s})) RC_ASSERT(ProductClose(got, s, xi));
      if (AnyNaNZ({xi, s}) && !AnyInfZ({xi, s})) RC_ASSERT(HasNaN(got));
      return;
    case kAdd: return RC_ASSERT(SameZ(got, C(xi.real() + yi.real(), xi.imag() + yi.imag())));
    case kSub: return RC_ASSERT(SameZ(got, C(xi.real() - yi.real(), xi.imag() - yi.imag())));
    case kMap: return RC_ASSERT(SameZ(got, C(xi.real(), -xi.imag())));
    case kMapP: return RC_ASSERT(SameZ(got, C(xi.real() * 2.0, xi.imag() * 2.0)));
    case kMltAdd:
    case kLincomb:
    case kLinlist: {
      // lincomb and linlist scale x by t first (zv_mlt: 0 and 1 exact), then add s*y
      // (linlist adds y for 1 and subtracts it for -1; lincomb's -1 is a general mltadd).
      bool exactBase = true;
      C base = xi;
      if (op != kMltAdd) {
        if (t == C(0, 0)) base = C(0, 0);
        else if (t != C(1, 0)) exactBase = false;
      }
      if (exactBase) {
        if (s == C(0, 0)) return RC_ASSERT(SameZ(got, base));
        if (s == C(1, 0)) return RC_ASSERT(SameZ(got, C(base.real() + yi.real(), base.imag() + yi.imag())));
        if (op == kLinlist && s == C(-1, 0))
          return RC_ASSERT(SameZ(got, C(base.real() - yi.real(), base.imag() - yi.imag())));
        if (AllFiniteZ({base, yi, s})) RC_ASSERT(MltAddClose(got, base, s, yi));
        if (AnyNaNZ({base, yi, s}) && !AnyInfZ({base, yi, s})) RC_ASSERT(HasNaN(got));
        return;
      }
      if (s == C(0, 0)) {
        if (AllFiniteZ({xi, t})) RC_ASSERT(ProductClose(got, t, xi));
        if (AnyNaNZ({xi, t}) && !AnyInfZ({xi, t})) RC_ASSERT(HasNaN(got));
        return;
      }
      if (nan) RC_ASSERT(HasNaN(got));
      if (!fin) return;
      // Two rounded products added: held to the exact sum while both products are finite.
      const Prod p = Product(t, xi), q = Product(s, yi);
      const double pr = static_cast<double>(p.ref.real()), pi = static_cast<double>(p.ref.imag());
      const double qr = static_cast<double>(q.ref.real()), qi = static_cast<double>(q.ref.imag());
      if (!(std::isfinite(pr) && std::isfinite(pi) && std::isfinite(qr) && std::isfinite(qi))) return;
      const LD tr = p.tolRe + q.tolRe + 4 * static_cast<LD>(kEps) * std::fabs(p.ref.real() + q.ref.real());
      const LD ti = p.tolIm + q.tolIm + 4 * static_cast<LD>(kEps) * std::fabs(p.ref.imag() + q.ref.imag());
      RC_ASSERT(Close(got.real(), p.ref.real() + q.ref.real(), tr));
      RC_ASSERT(Close(got.imag(), p.ref.imag() + q.ref.imag(), ti));
      return;
    }
    case kStar:
      if (AllFiniteZ({xi, yi})) RC_ASSERT(ProductClose(got, yi, xi));
      if (AnyNaNZ({xi, yi}) && !AnyInfZ({xi, yi})) RC_ASSERT(HasNaN(got));
      return;
    default: {
      if (AllFiniteZ({xi, yi})) {
        const CL wx = Wide(xi), wy = Wide(yi);
        const LD d = wx.real() * wx.real() + wx.imag() * wx.imag();
        const CL ref((wy.real() * wx.real() + wy.imag() * wx.imag()) / d,
                     (wy.imag() * wx.real() - wy.real() * wx.imag()) / d);
        const LD tol = 8 * static_cast<LD>(kEps) * AbsL(yi) / AbsL(xi);
        RC_ASSERT(Close(got.real(), ref.real(), tol) && Close(got.imag(), ref.imag(), tol));
      }
      if (AnyNaNZ({xi, yi}) && !AnyInfZ({xi, yi})) RC_ASSERT(HasNaN(got));
      return;
    }
  }
}

// Whether the operation must refuse (x, y) and whether it may.
bool MustRefuse(Op op, const std::vector<C>& x, const std::vector<C>& y, C s, C t) {
  const bool binary = op != kMlt && op != kMap && op != kMapP;
  if (op == kLinlist && s == C(0, 0)) return false;  // a zero pair is skipped unchecked
  if (binary && x.size() != y.size()) return true;
  if (op == kSlash)
    for (C z : x)
      if (z == C(0, 0)) return true;
  (void)t;
  return false;
}

RC_GTEST_PROP(ZvecProps, OperationsMatchReferenceAndAliasingAndRefusals, ()) {
  kvtest::MsgCapture quiet;
  const Op op = static_cast<Op>(*rc::gen::inRange(0, static_cast<int>(kOpCount)));
  const int n = *rc::gen::inRange(0, 6);
  const int ny = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(n)}, {1, rc::gen::inRange(0, 6)}});
  const std::vector<C> x = *AnyZValues(n), y = *AnyZValues(ny);
  auto scalar = rc::gen::weightedOneOf<C>({{4, ZOperand()},
                                           {1, rc::gen::element(C(0, 0), C(1, 0), C(-1, 0), C(-0.0, 0))}});
  const C s = *scalar, t = *scalar;
  // Output: 0 none, 1 a record of the same dim with spare capacity, 2 one of another dim,
  // 3 x itself, 4 y itself.
  const int outMode = *rc::gen::inRange(0, 5);
  const int otherDim = *rc::gen::inRange(0, 8);
  RC_LOG() << kOpNames[op] << " n=" << n << " ny=" << ny << " s=" << s << " t=" << t << " out=" << outMode;

  Recs r;
  // The call with an output of its own: the reference call.
  ZVEC* x0 = r.Make(x);
  ZVEC* y0 = r.Make(y);
  const RecordBytes sx = Snap(x0), sy = Snap(y0);
  int st0 = 0;
  ZVEC* res0 = Run(op, x0, y0, s, t, nullptr, &st0);
  r.Keep(res0);
  const bool refused0 = res0 == nullptr;
  RC_ASSERT(refused0 == (st0 != 0));
  RC_ASSERT(Snap(x0) == sx);
  RC_ASSERT(Snap(y0) == sy);
  const bool must = MustRefuse(op, x, y, s, t);
  if (op != kSlash) RC_ASSERT(refused0 == must);
  if (op == kSlash && must) RC_ASSERT(refused0);
  if (!refused0) {
    RC_ASSERT(res0->dim == x.size());
    const std::vector<C> got = Vals(res0);
    for (size_t i = 0; i < x.size(); ++i)
      CheckElement(op, x[i], i < y.size() ? y[i] : C(0, 0), s, t, got[i]);
  }

  // The same call into the drawn output.
  ZVEC* x1 = r.Make(x, 2);
  ZVEC* y1 = r.Make(y, 2);
  ZVEC* out = nullptr;
  if (outMode == 1) out = r.Make(std::vector<C>(n, C(9, 9)), 3);
  if (outMode == 2) out = r.Make(std::vector<C>(otherDim, C(9, 9)), otherDim % 3);
  if (outMode == 3) out = x1;
  if (outMode == 4) out = y1;
  const bool lincombOnY = (op == kLincomb) && out == y1;
  const bool linlistOnY = (op == kLinlist) && out == y1 && s != C(0, 0);
  const RecordBytes bx = Snap(x1), by = Snap(y1);
  const RecordBytes bo = out ? Snap(out) : RecordBytes{};
  int st1 = 0;
  ZVEC* res1 = Run(op, x1, y1, s, t, out, &st1);
  r.Keep(res1);
  RC_ASSERT((res1 == nullptr) == (st1 != 0));
  if (lincombOnY || linlistOnY) {
    // y cannot be the output of a sum that reads it after out is first written.
    RC_ASSERT((res1 == nullptr));
  } else {
    RC_ASSERT((res1 == nullptr) == refused0);
  }
  if (res1 == nullptr) {
    // Refused: every record handed in is as it was.
    RC_ASSERT(Snap(x1) == bx);
    RC_ASSERT(Snap(y1) == by);
    if (out) RC_ASSERT(Snap(out) == bo);
    return;
  }
  if (out != nullptr) RC_ASSERT((res1 == out) || out->max_dim == 0);
  RC_ASSERT(SameZ(Vals(res1), Vals(res0)));
  // Spare capacity of the output beyond the result keeps its sentinels.
  if (outMode == 1 || outMode == 3 || outMode == 4) RC_ASSERT(SentinelsFrom(res1, static_cast<unsigned>(std::max(n, outMode == 4 ? ny : n))));
  // Inputs that are not the output are untouched.
  if (out != x1) RC_ASSERT(Snap(x1) == bx);
  if (out != y1) RC_ASSERT(Snap(y1) == by);
}

// Inner product, sum, norms and moduli: scalar results.
RC_GTEST_PROP(ZvecProps, ReductionsMatchLongDouble, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::inRange(0, 6);
  const int nb = *rc::gen::weightedOneOf<int>({{4, rc::gen::just(n)}, {1, rc::gen::inRange(0, 6)}});
  const std::vector<C> a = *AnyZValues(n), b = *AnyZValues(nb);
  const unsigned i0 = *rc::gen::inRange(0, 7);
  const int flag = *rc::gen::inRange(0, 2);
  const bool scaled = *rc::gen::arbitrary<bool>();
  const int ns = *rc::gen::weightedOneOf<int>({{4, rc::gen::just(n)}, {1, rc::gen::inRange(0, 7)}});
  const std::vector<double> sc = *rc::gen::container<std::vector<double>>(ns, kvtest::AnyDouble());
  Recs r;
  ZVEC* A = r.Make(a, 1);
  ZVEC* B = r.Make(b, 1);
  VEC* S = scaled ? MakeVec(sc, 1) : nullptr;
  const RecordBytes sa = Snap(A), sb = Snap(B);
  const RecordBytes ss = S ? Snap(S) : RecordBytes{};
  int st = 0;

  // Inner product from i0 on.
  const unsigned m = static_cast<unsigned>(std::min(n, nb));
  const C ip = FromZ(_LM__zin_prod(A, B, i0, flag, __LINE__, "p", &st));
  RC_ASSERT((st != 0) == (i0 > m));
  if (st == 0) {
    CL ref(0, 0);
    LD ar = 0, ai = 0;
    bool fin = true, nan = false, inf = false;
    for (unsigned i = i0; i < m; ++i) {
      const C ai_ = flag ? std::conj(a[i]) : a[i];
      const Prod p = Product(ai_, b[i]);
      ref += p.ref;
      ar += p.tolRe / (4 * static_cast<LD>(kEps));
      ai += p.tolIm / (4 * static_cast<LD>(kEps));
      fin = fin && AllFiniteZ({a[i], b[i]});
      nan = nan || AnyNaNZ({a[i], b[i]});
      inf = inf || AnyInfZ({a[i], b[i]});
    }
    RC_LOG() << "zin_prod=" << ip;
    if (fin) RC_ASSERT(SumClose(ip.real(), ref.real(), ar, n) && SumClose(ip.imag(), ref.imag(), ai, n));
    if (nan && !inf) RC_ASSERT(HasNaN(ip));
  } else {
    RC_ASSERT(SameZ(ip, C(0, 0)));
  }

  // Sum, part by part.
  const C sum = FromZ(_LM_zv_sum(A, __LINE__, "p", &st));
  RC_ASSERT(st == 0);
  {
    std::vector<double> re, im;
    for (C z : a) re.push_back(z.real()), im.push_back(z.imag());
    for (int part = 0; part < 2; ++part) {
      const std::vector<double>& v = part ? im : re;
      LD ref = 0, abs = 0;
      for (double d : v) ref += d, abs += std::fabs(static_cast<LD>(d));
      const double g = part ? sum.imag() : sum.real();
      if (AllFinite(v)) RC_ASSERT(SumClose(g, ref, abs, n));
      if (AnyNaN(v)) RC_ASSERT(std::isnan(g));
    }
  }

  // Norms, with a scale that must cover x.
  const bool scaleShort = S != nullptr && S->dim < A->dim;
  const double n1 = _LM__zv_norm1(A, S, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == scaleShort);
  const double n2 = _LM__zv_norm2(A, S, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == scaleShort);
  const double ni = _LM__zv_norm_inf(A, S, __LINE__, "p", &st);
  RC_ASSERT((st != 0) == scaleShort);
  if (!scaleShort) {
    LD r1 = 0, r2 = 0, ri = 0;
    bool fin = true, nan = false;
    for (int i = 0; i < n; ++i) {
      const double s = S ? sc[i] : 0.0;
      fin = fin && Finite(a[i]) && (!S || std::isfinite(s));
      nan = nan || HasNaN(a[i]) || (S && std::isnan(s));
      const LD mod = AbsL(a[i]) / (S && s != 0.0 ? std::fabs(static_cast<LD>(s)) : 1.0L);
      r1 += mod;
      r2 += mod * mod;
      ri = std::max(ri, mod);
    }
    RC_LOG() << "norms " << n1 << " " << n2 << " " << ni;
    if (fin) {
      RC_ASSERT(Close(n1, r1, (n + 3) * static_cast<LD>(kEps) * r1));
      RC_ASSERT(Close(n2, std::sqrt(r2), (n + 3) * static_cast<LD>(kEps) * std::sqrt(r2)));
      RC_ASSERT(Close(ni, ri, 3 * static_cast<LD>(kEps) * ri));
    }
    if (nan) {
      RC_ASSERT(std::isnan(n1) || std::isinf(n1));
      RC_ASSERT(std::isnan(n2) || std::isinf(n2));
    }
  }

  // Moduli into a real vector; an empty x is refused.
  VEC* mods = MakeVec({1.0, 2.0});
  const RecordBytes sm = Snap(mods);
  VEC* got = _LM_zv_zabs(A, mods, __LINE__, "p", &st);
  if (n == 0) {
    RC_ASSERT((got == nullptr) && st != 0);
    RC_ASSERT(Snap(mods) == sm);
  } else {
    RC_ASSERT(st == 0);
    RC_ASSERT(got != nullptr);
    mods = got;
    RC_ASSERT(mods->dim == static_cast<unsigned>(n));
    for (int i = 0; i < n; ++i) RC_ASSERT(SameBits(mods->ve[i], zabs(ToZ(a[i]))));
  }
  v_free(mods);
  RC_ASSERT(Snap(A) == sa);
  RC_ASSERT(Snap(B) == sb);
  if (S) {
    RC_ASSERT(Snap(S) == ss);
    v_free(S);
  }
}

// Sort by modulus, permutations, random fill, zeroing, records: make, resize, copy, move,
// the several-variable forms, and want of memory.
RC_GTEST_PROP(ZvecProps, RecordsSortsAndPermutations, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::inRange(0, 7);
  const std::vector<C> x = *AnyZValues(n);
  Recs r;
  int st = 0;
  // Sort: a permutation of the values in ascending modulus, order telling where each came from.
  {
    ZVEC* X = r.Make(x, 1);
    PERM* order = *rc::gen::arbitrary<bool>() ? _LM_px_get("p", 0, std::max(n + 1, 1), __LINE__, "p", &st) : nullptr;
    ZVEC* s = _LM_zv_sort(X, order, __LINE__, "p", &st);
    RC_ASSERT(st == 0);
    RC_ASSERT((s == X));
    RC_ASSERT(SentinelsFrom(X, n));
    bool nan = false;
    for (C z : x) nan = nan || std::isnan(zabs(ToZ(z)));
    for (int i = 0; i + 1 < n && !nan; ++i) RC_ASSERT(zabs(X->ve[i]) <= zabs(X->ve[i + 1]));
    if (order) {
      RC_ASSERT(order->size == static_cast<unsigned>(n) || (n == 0 && order->size <= 1));
      for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(FromZ(X->ve[i]), x[order->pe[i]]));
      px_free(order);
    } else {
      std::vector<C> a = Vals(X), b = x;
      auto less = [](C p, C q) {
        return std::make_tuple(p.real(), p.imag()) < std::make_tuple(q.real(), q.imag());
      };
      if (!nan) {
        std::sort(a.begin(), a.end(), less);
        std::sort(b.begin(), b.end(), less);
        for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(a[i], b[i]) || (HasNaN(a[i]) && HasNaN(b[i])));
      }
    }
  }
  // Permutation of the entries and its inverse.
  {
    std::vector<unsigned> p(n);
    for (int i = 0; i < n; ++i) p[i] = i;
    for (int i = n - 1; i > 0; --i) std::swap(p[i], p[*rc::gen::inRange(0, i + 1)]);
    PERM* px = _LM_px_get("p", 0, std::max(n, 1), __LINE__, "p", &st);
    px->size = n;
    for (int i = 0; i < n; ++i) px->pe[i] = p[i];
    ZVEC* X = r.Make(x, 1);
    const RecordBytes sx = Snap(X);
    const bool inPlace = *rc::gen::arbitrary<bool>();
    ZVEC* o = _LM_px_zvec(px, X, inPlace ? X : nullptr, __LINE__, "p", &st);
    RC_ASSERT(st == 0);
    r.Keep(o);
    for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(FromZ(o->ve[i]), x[p[i]]));
    if (!inPlace) RC_ASSERT(Snap(X) == sx);
    ZVEC* back = _LM_pxinv_zvec(px, o, inPlace ? o : nullptr, __LINE__, "p", &st);
    RC_ASSERT(st == 0);
    r.Keep(back);
    RC_ASSERT(SameZ(Vals(back), x));
    // A vector shorter than the permutation is refused and changes nothing.
    ZVEC* Y = r.Make(std::vector<C>(std::max(n - 1, 0), C(1, 2)));
    const RecordBytes sy = Snap(Y);
    if (n > 0) {
      RC_ASSERT((_LM_px_zvec(px, Y, nullptr, __LINE__, "p", &st) == nullptr) && st != 0);
      RC_ASSERT((_LM_pxinv_zvec(px, Y, Y, __LINE__, "p", &st) == nullptr) && st != 0);
    }
    RC_ASSERT(Snap(Y) == sy);
    px_free(px);
  }
  // Random fill: uniform values in [0, 1) in both parts (the generator's indices are not reset
  // by seeding, so a fill is not replayed by seeding again).
  {
    const int seed = *rc::gen::inRange(0, 100000);
    ZVEC* X = r.Make(x, 1);
    smrand(seed);
    RC_ASSERT((_LM_zv_rand(X, __LINE__, "p", &st) == X));
    for (int i = 0; i < n; ++i) {
      RC_ASSERT(X->ve[i].re >= 0.0 && X->ve[i].re < 1.0);
      RC_ASSERT(X->ve[i].im >= 0.0 && X->ve[i].im < 1.0);
    }
    RC_ASSERT(SentinelsFrom(X, n));
    RC_ASSERT((_LM_zv_zero(X, __LINE__, "p", &st) == X));
    for (int i = 0; i < n; ++i) RC_ASSERT(SameZ(FromZ(X->ve[i]), C(0, 0)));
    RC_ASSERT(SentinelsFrom(X, n));
    RC_ASSERT((_LM_zv_zero(nullptr, __LINE__, "p", &st) == nullptr) && st != 0);
    RC_ASSERT((_LM_zv_rand(nullptr, __LINE__, "p", &st) == nullptr) && st != 0);
  }
  // Copy from i0, move of a block, resizes.
  {
    ZVEC* X = r.Make(x, 1);
    const RecordBytes sx = Snap(X);
    const unsigned i0 = *rc::gen::inRange(0, n + 2);
    ZVEC* out = r.Make(std::vector<C>(*rc::gen::inRange(0, 8), C(5, 6)), 1);
    const std::vector<C> before = Vals(out);
    ZVEC* c = _LM__zv_copy(X, out, i0, __LINE__, "p", &st);
    if (st == 0) {
      r.Keep(c);
      RC_ASSERT(c->dim == static_cast<unsigned>(n));
      for (int i = 0; i < n; ++i)
        if (static_cast<unsigned>(i) >= i0) RC_ASSERT(SameZ(FromZ(c->ve[i]), x[i]));
    }
    const int i1 = *rc::gen::inRange(-1, n + 2), len = *rc::gen::inRange(-1, n + 2), j1 = *rc::gen::inRange(-1, 4);
    ZVEC* dst = r.Make(std::vector<C>(*rc::gen::inRange(0, 6), C(7, 8)), 1);
    const RecordBytes sd = Snap(dst);
    const std::vector<C> d0 = Vals(dst);
    ZVEC* mv = _LM_zv_move(X, i1, len, dst, j1, __LINE__, "p", &st);
    const bool ok = i1 >= 0 && len >= 0 && j1 >= 0 && i1 + len <= n;
    RC_ASSERT((st == 0) == ok);
    if (ok) {
      RC_ASSERT((mv == dst));
      RC_ASSERT(mv->dim == std::max<unsigned>(d0.size(), j1 + len));
      for (int k = 0; k < len; ++k) RC_ASSERT(SameZ(FromZ(mv->ve[j1 + k]), x[i1 + k]));
      for (int k = 0; k < static_cast<int>(d0.size()); ++k)
        if (k < j1 || k >= j1 + len) RC_ASSERT(SameZ(FromZ(mv->ve[k]), d0[k]));
    } else {
      RC_ASSERT(Snap(dst) == sd);
    }
    RC_ASSERT(Snap(X) == sx);
    // Resize: kept values, zeros after.
    const int nd = *rc::gen::inRange(-1, 9);
    ZVEC* Y = r.Make(x, *rc::gen::inRange(0, 3));
    const RecordBytes sy = Snap(Y);
    st = 0;
    ZVEC* rz = _LM_zv_resize("p", 0, Y, nd, __LINE__, "p", &st);
    if (nd < 0) {
      RC_ASSERT((rz == nullptr) && st != 0);
      RC_ASSERT(Snap(Y) == sy);
    } else {
      RC_ASSERT((rz == Y));
      RC_ASSERT(Y->dim == static_cast<unsigned>(nd));
      for (int i = 0; i < nd; ++i) RC_ASSERT(SameZ(FromZ(Y->ve[i]), i < n ? x[i] : C(0, 0)));
    }
  }
  // Several variables at once.
  {
    ZVEC *a = nullptr, *b = nullptr;
    st = 0;
    RC_ASSERT(_LM_zv_get_vars("p", 0, __LINE__, "p", &st, n, &a, &b, static_cast<ZVEC**>(nullptr)) == 2);
    RC_ASSERT(st == 0 && a && b && a->dim == static_cast<unsigned>(n) && b->dim == static_cast<unsigned>(n));
    RC_ASSERT(_LM_zv_resize_vars("p", 0, __LINE__, "p", &st, n + 2, &a, &b, static_cast<ZVEC**>(nullptr)) == 2);
    RC_ASSERT(st == 0 && a->dim == static_cast<unsigned>(n + 2) && b->dim == static_cast<unsigned>(n + 2));
    RC_ASSERT(zv_free_vars(&a, &b, static_cast<ZVEC**>(nullptr)) == 2);
    RC_ASSERT((a == nullptr && b == nullptr));
  }
}

// Memory running out: refused, nothing changed; with an output already of the right size
// nothing needs allocating. Accounting of every ZVEC returns to where it started.
RC_GTEST_PROP(ZvecProps, WantOfMemoryAndAccounting, ()) {
  kvtest::MsgCapture quiet;
  const int wasOn = mem_info_on(1);
  const long long bytes0 = mem_info_bytes(8, 0);
  const int num0 = mem_info_numvar(8, 0);
  {
    const Op op = static_cast<Op>(*rc::gen::inRange(0, static_cast<int>(kOpCount)));
    const int n = *rc::gen::inRange(0, 6);
    const std::vector<C> x = *AnyZValues(n), y = *AnyZValues(n);
    const C s = *kvtest::TameComplex(), t = *kvtest::TameComplex();
    Recs r;
    ZVEC* X = r.Make(x);
    ZVEC* Y = r.Make(y);
    ZVEC* O = r.Make(std::vector<C>(n + 1, C(1, 1)));  // of another dim: must be resized
    const RecordBytes sx = Snap(X), sy = Snap(Y), so = Snap(O);
    int st = 0;
    kvrt::SetHeapBlocksLeft(0);
    ZVEC* got = Run(op, X, Y, s, t, nullptr, &st);
    const int st1 = st;
    ZVEC* made = _LM_zv_get("p", 0, n, __LINE__, "p", &st);
    const int st2 = st;
    kvrt::SetHeapBlocksLeft(-1);
    r.Keep(got);
    r.Keep(made);
    RC_LOG() << kOpNames[op] << " n=" << n;
    const bool slashZero = op == kSlash && MustRefuse(op, x, y, s, t);
    RC_ASSERT((got == nullptr) && st1 != 0);
    RC_ASSERT((made == nullptr) && st2 != 0);
    RC_ASSERT(Snap(X) == sx);
    RC_ASSERT(Snap(Y) == sy);
    // Into O: a vector that must grow cannot, when n + 1 > its capacity is never the case here
    // (it shrinks within its capacity), so the call goes through unless it refuses on its own.
    kvrt::SetHeapBlocksLeft(0);
    ZVEC* into = Run(op, X, Y, s, t, O, &st);
    kvrt::SetHeapBlocksLeft(-1);
    if (into == nullptr) {
      RC_ASSERT(slashZero);
      RC_ASSERT(Snap(O) == so);
    } else {
      RC_ASSERT((into == O));
    }
    RC_ASSERT(Snap(X) == sx);
    RC_ASSERT(Snap(Y) == sy);
  }
  RC_ASSERT(mem_info_bytes(8, 0) == bytes0);
  RC_ASSERT(mem_info_numvar(8, 0) == num0);
  mem_info_on(wasOn);
}

}  // namespace
