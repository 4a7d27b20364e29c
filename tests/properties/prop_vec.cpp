// prop_vec.cpp: the abstract vector C_Vec<T,I> and C_BaseVec<I> for all twelve instances (T in
// int, float, double, long long, complex<float>, complex<double>; I in int, long long), through
// vectors derived the way a host derives them: contiguous ones, and ones whose values are
// reached only through Extract or GetVal. The generic binary form against its byte layout,
// norms against long-double references, arithmetic with the operand the result itself against
// the unaliased call, the default bodies, transfers, the counters; also the random fill and the
// release of a wrapped C vector.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <cfloat>
#include <complex>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "C_Communicator.h"
#include "C_Vec.h"
#include "C_VecPi.h"
#include "C_VecRand.h"
#include "derived_vec.h"
#include "kvelosys.h"
#include "matwrap.h"
#include "prop_support.h"
#include "prop_vec_support.h"
#include "runtime/heap_limit.h"

// clang-format off
KVELO_HOLDS(
    "C_BaseVec::C_BaseVec", "C_BaseVec::~C_BaseVec", "C_BaseVec::operator=", "C_BaseVec::AffType",
    "C_BaseVec::Type", "C_BaseVec::Write", "C_BaseVec::Read", "C_BaseVec::WriteMatlab",
    "C_BaseVec::Print", "C_BaseVec::Zero", "C_BaseVec::Release", "C_BaseVec::Resize",
    "C_BaseVec::Dim", "C_Counter::C_Counter", "C_Counter::operator=", "C_Counter::~C_Counter",
    "C_Vec::C_Vec", "C_Vec::~C_Vec", "C_Vec::operator=", "C_Vec::Read", "C_Vec::Adr",
    "C_Vec::SetVal", "C_Vec::operator[]", "C_Vec::FirstVal", "C_Vec::NextVal", "C_Vec::Extract",
    "C_Vec::Init", "C_Vec::Attach", "C_Vec::Copy", "C_Vec::operator*=", "C_Vec::operator+=",
    "C_Vec::operator-=", "C_Vec::operator*", "C_Vec::Axpy", "C_Vec::Diff", "C_Vec::Nrm",
    "C_Vec::Nrm2", "C_Vec::NrmInf", "C_Vec::Normalize", "C_Vec::IMin", "C_Vec::IMax",
    "C_Vec::SearchExtreme", "C_Vec::Send", "C_Vec::Recv", "C_Vec_Send", "C_Vec_Recv",
    "C_Vec::AffType", "C_Vec::Type", "C_Vec::Write", "C_Vec::WriteMatlab", "C_Vec::Print",
    "C_Vec::GetVal", "InitRand", "kvelo_vec_free");
// clang-format on

namespace {

using namespace pvec;

template <class T, class I>
ArrayVec<T, I> Filled(const std::vector<T>& v) {
  ArrayVec<T, I> a(static_cast<I>(v.size()));
  a.v = v;
  return a;
}

// Element-wise equal within the type's precision (NaN where the other has NaN).
template <class T>
bool Close(T a, T b) {
  if constexpr (std::is_integral<T>::value) {
    return a == b;
  } else if constexpr (std::is_floating_point<T>::value) {
    if (a != a || b != b) return a != a && b != b;
    if (std::isinf(a) || std::isinf(b)) return a == b;
    const long double eps = 8 * static_cast<long double>(std::numeric_limits<T>::epsilon());
    return std::fabs(static_cast<long double>(a) - b) <=
           eps * (std::fabs(static_cast<long double>(a)) + std::fabs(static_cast<long double>(b))) +
               4 * static_cast<long double>(std::numeric_limits<T>::denorm_min());
  } else {
    if (HasNaN(a) || HasNaN(b)) return HasNaN(a) && HasNaN(b);
    return Close(a.real(), b.real()) && Close(a.imag(), b.imag());
  }
}

template <class T>
long double MagnitudeSumRef(const std::vector<T>& v, int type, bool& nan, bool& inf) {
  nan = inf = false;
  long double r = 0;
  for (const T& x : v) {
    const long double m = MagL(x);
    if (std::isnan(m)) nan = true;
    if (std::isinf(m)) inf = true;
    if (!std::isfinite(m)) continue;
    r = type == 0 ? std::max(r, m) : type == 1 ? r + m : r + m * m;
  }
  return type == 2 ? std::sqrt(r) : r;
}

template <class T, class I>
void InstanceProperty() {
  const int n = *rc::gen::inRange(0, 10);
  const std::vector<T> vals = Values<T>(n);
  ArrayVec<T, I> x = Filled<T, I>(vals);
  const std::vector<T> before = x.v;
  const int what = *rc::gen::inRange(0, 9);
  switch (what) {
    case 0: {  // the generic binary form, contiguous and element by element
      Bytes want;
      PutLE(want, static_cast<I>(n));
      for (const T& v : vals) PutBE(want, v);
      RC_ASSERT(Written([&](FILE* f) { x.Write(f); }) == want);
      ChunkVec<T, I> c(static_cast<I>(n));
      for (int i = 0; i < n; ++i) c[static_cast<I>(i)] = vals[static_cast<size_t>(i)];
      RC_ASSERT(Written([&](FILE* f) { c.Write(f); }) == want);
      // The reader takes the dimension back (values are not read by this form).
      ArrayVec<T, I> r;
      FILE* f = StreamOf(want);
      RC_ASSERT(Code([&] { r.Read(f, 0); }) == 0);
      std::fclose(f);
      RC_ASSERT(r.Dim() == static_cast<I>(n));
      // A short file: 21, the dimension as it was; a null stream: 12.
      Bytes cut(want.begin(), want.begin() + sizeof(I) - 1);
      f = StreamOf(cut);
      RC_ASSERT(Code([&] { x.Read(f); }) == 21);
      std::fclose(f);
      RC_ASSERT(x.Dim() == static_cast<I>(n));
      RC_ASSERT(Code([&] { x.Read(static_cast<FILE*>(nullptr)); }) == 12);
      RC_ASSERT(Code([&] { x.Write(nullptr); }) == 12);
      break;
    }
    case 1: {  // norms: 0 for empty; against the reference
      for (int type = 0; type < 3; ++type) {
        const double got = x.Nrm(static_cast<E_NrmType>(type));
        bool nan = false, inf = false;
        const long double r = MagnitudeSumRef(vals, type, nan, inf);
        RC_LOG() << "type " << type << " got " << got << " ref " << static_cast<double>(r) << "\n";
        if (nan) {
          RC_ASSERT(std::isnan(got));
        } else if (inf) {
          RC_ASSERT(std::isinf(got));
        } else if (type == 0 && (std::is_same<T, cd>::value || std::is_same<T, cf>::value)) {
          RC_ASSERT(got <= static_cast<double>(r) * (1 + 1e-6));
          RC_ASSERT(got >= static_cast<double>(r) / std::sqrt(2.0) * (1 - 1e-6));
        } else {
          RC_ASSERT(Near(got, r, r, (n + 4) * 4 * DBL_EPSILON));
        }
      }
      RC_ASSERT(SameBits(x.Nrm2(), x.Nrm(NRM_TWO)));
      RC_ASSERT(SameBits(x.NrmInf(), x.Nrm(NRM_INF)));
      if (n > 0) RC_ASSERT(Code([&] { x.Nrm(static_cast<E_NrmType>(5)); }) == 3);
      RC_ASSERT(SameBits(x.v, before));
      break;
    }
    case 2: {  // y := y + a y with y itself, against the unaliased call; += and -= the same way
      const T a = *rc::gen::weightedOneOf<T>({{1, rc::gen::just(T())}, {3, AnyOf<T>()}});
      ArrayVec<T, I> cx = Filled<T, I>(vals), cy = Filled<T, I>(vals);
      x.Axpy(x, a);
      cx.Axpy(cy, a);
      for (int i = 0; i < n; ++i) {
        RC_LOG() << "i " << i << " got " << x.v[static_cast<size_t>(i)] << " unaliased " << cy.v[static_cast<size_t>(i)] << "\n";
        RC_ASSERT(Close(x.v[static_cast<size_t>(i)], cy.v[static_cast<size_t>(i)]));
      }
      ArrayVec<T, I> p = Filled<T, I>(vals), q = Filled<T, I>(vals), r = Filled<T, I>(vals);
      p += p;
      q.Axpy(r, T(1));
      for (int i = 0; i < n; ++i) RC_ASSERT(Close(p.v[static_cast<size_t>(i)], r.v[static_cast<size_t>(i)]));
      p.v = vals;
      p -= p;
      for (int i = 0; i < n; ++i) {
        const T e = vals[static_cast<size_t>(i)];
        if (AllFinite(e)) RC_ASSERT(p.v[static_cast<size_t>(i)] == T());
      }
      ArrayVec<T, I> shorter(static_cast<I>(n + 1));
      RC_ASSERT(Code([&] { x.Axpy(shorter, a); }) == 2872);
      break;
    }
    case 3: {  // dot products: contiguous, and with roles exchanged through Extract blocks
      const std::vector<T> other = Values<T>(n);
      ArrayVec<T, I> y = Filled<T, I>(other);
      ChunkVec<T, I> c(static_cast<I>(n));
      for (int i = 0; i < n; ++i) c[static_cast<I>(i)] = other[static_cast<size_t>(i)];
      const T d1 = x * y;
      const T d2 = x * c;
      RC_LOG() << "dot " << d1 << " through blocks " << d2 << "\n";
      bool nan = false;
      for (int i = 0; i < n; ++i) nan = nan || HasNaN(vals[static_cast<size_t>(i)]) || HasNaN(other[static_cast<size_t>(i)]);
      if (nan) RC_ASSERT(HasNaN(d1) && HasNaN(d2));
      if constexpr (std::is_integral<T>::value) RC_ASSERT(d1 == d2);
      ArrayVec<T, I> shorter(static_cast<I>(n + 1));
      RC_ASSERT(Code([&] { (void)(x * shorter); }) == 2872);
      double dd = -1;
      RC_ASSERT(x.Diff(x, dd) == 0);
      RC_ASSERT(dd == 0.0);
      RC_ASSERT(Code([&] { x.Diff(shorter, dd); }) == 2872);
      RC_ASSERT(SameBits(x.v, before));
      break;
    }
    case 4: {  // scaling (a zero factor keeps NaN and infinities as NaN), adding a scalar
      const T a = *rc::gen::weightedOneOf<T>({{1, rc::gen::just(T())}, {3, AnyOf<T>()}});
      x *= a;
      for (int i = 0; i < n; ++i) {
        RC_LOG() << "x " << vals[static_cast<size_t>(i)] << " a " << a << " got " << x.v[static_cast<size_t>(i)] << "\n";
        RC_ASSERT(ScaledOk(x.v[static_cast<size_t>(i)], vals[static_cast<size_t>(i)], a));
      }
      ChunkVec<T, I> c(static_cast<I>(n));
      if (n > 0) RC_ASSERT(Code([&] { c *= a; }) == 38);
      break;
    }
    case 5: {  // extreme positions of the whole range
      const I lo = x.IMin(0, -1), hi = x.IMax(0, -1);
      const bool blas = !std::is_integral<T>::value && std::is_same<I, int>::value;
      if (n == 0) {
        RC_ASSERT(lo == (blas ? -1 : -2));
        RC_ASSERT(hi == (blas ? -1 : -2));
        break;
      }
      RC_ASSERT(lo >= 0 && lo < static_cast<I>(n));
      RC_ASSERT(hi >= 0 && hi < static_cast<I>(n));
      int nan = -1;
      for (int i = 0; i < n && nan < 0; ++i)
        if (HasNaN(vals[static_cast<size_t>(i)])) nan = i;
      if (nan >= 0) RC_ASSERT(lo == static_cast<I>(nan) && hi == static_cast<I>(nan));
      ChunkVec<T, I> c(static_cast<I>(n));
      RC_ASSERT(Code([&] { c.IMin(0, -1); }) == 38);
      break;
    }
    case 6: {  // Copy from contiguous and block sources; Normalize
      ArrayVec<T, I> y;
      RC_ASSERT(y.Copy(x) == 0);
      RC_ASSERT(SameBits(y.v, vals));
      RC_ASSERT(x.Copy(x) == 0);
      RC_ASSERT(SameBits(x.v, vals));
      ChunkVec<T, I> c(static_cast<I>(n));
      RC_ASSERT(Code([&] { y.Copy(c); }) == 38);
      if constexpr (!std::is_integral<T>::value) {
        double norm = -1;
        RC_ASSERT(x.Normalize(NRM_TWO, &norm) == 0);
        for (int i = 0; i < n; ++i)
          if (HasNaN(vals[static_cast<size_t>(i)])) RC_ASSERT(HasNaN(x.v[static_cast<size_t>(i)]));
      }
      break;
    }
    case 7: {  // text forms and string accessors
      std::string s = "<";
      for (int i = 0; i < n; ++i) x.GetVal(static_cast<I>(i), s);
      RC_ASSERT(s.size() >= 1 + static_cast<size_t>(n));
      const Bytes head = Written([&](FILE* f) { x.Print(f); });
      const std::string text(head.begin(), head.end());
      RC_ASSERT(text.find("- Object : C_Vec\n") == 0);
      RC_ASSERT(text.find("- Dim : " + std::to_string(n) + "\n") != std::string::npos);
      const Bytes m = Written([&](FILE* f) { x.WriteMatlab(f); });
      RC_ASSERT(std::string(m.begin(), m.end()).find("C_Vec\n") == 0);
      RC_ASSERT(Code([&] { x.WriteMatlab(static_cast<FILE*>(nullptr)); }) == 12);
      // A vector that is not full delivers its values through its cursor.
      ChunkVec<T, I> c(static_cast<I>(n));
      c.full = 0;
      for (int i = 0; i < n; i += 2) c.stored.emplace_back(static_cast<I>(i), vals[static_cast<size_t>(i)]);
      std::string t;
      I at = c.FirstVal(t);
      int seen = 0;
      while (at != -1) {
        RC_ASSERT(at == static_cast<I>(2 * seen));
        ++seen;
        at = c.NextVal(t);
      }
      RC_ASSERT(seen == (n + 1) / 2);
      RC_ASSERT(std::string(x.AffType()) == "C_Vec");
      RC_ASSERT(x.Type() == kvelo_vec::Kernel<T>::kType);
      break;
    }
    default: {  // transfers through the installed communicator
      Loopback lb;
      C_Communicator::setInstance(&lb);
      ArrayVec<T, I> r(3);
      const int sent = Code([&] { x.Send(1, 2); });
      const int got = Code([&] { r.Recv(1, 2); });
      C_Communicator::setInstance(nullptr);
      RC_ASSERT(sent == 0 && got == 0);
      RC_ASSERT(r.Dim() == static_cast<I>(n));
      RC_ASSERT(SameBits(r.v, vals));
      RC_ASSERT(Code([&] { x.Send(1, 2); }) == 2871);
    }
  }
}

RC_GTEST_PROP(CVec, IntInt, ()) { InstanceProperty<int, int>(); }
RC_GTEST_PROP(CVec, IntLong, ()) { InstanceProperty<int, long long>(); }
RC_GTEST_PROP(CVec, FloatInt, ()) { InstanceProperty<float, int>(); }
RC_GTEST_PROP(CVec, FloatLong, ()) { InstanceProperty<float, long long>(); }
RC_GTEST_PROP(CVec, DoubleInt, ()) { InstanceProperty<double, int>(); }
RC_GTEST_PROP(CVec, DoubleLong, ()) { InstanceProperty<double, long long>(); }
RC_GTEST_PROP(CVec, HyperInt, ()) { InstanceProperty<long long, int>(); }
RC_GTEST_PROP(CVec, HyperLong, ()) { InstanceProperty<long long, long long>(); }
RC_GTEST_PROP(CVec, ComplexFloatInt, ()) { InstanceProperty<cf, int>(); }
RC_GTEST_PROP(CVec, ComplexFloatLong, ()) { InstanceProperty<cf, long long>(); }
RC_GTEST_PROP(CVec, ComplexInt, ()) { InstanceProperty<cd, int>(); }
RC_GTEST_PROP(CVec, ComplexLong, ()) { InstanceProperty<cd, long long>(); }

// ---- The default bodies of C_Vec and C_BaseVec, and the counters. ----
template <class T, class I>
int Alive() {
  return C_Counter<C_Vec<T, I>>::objects_alive;
}
template <class T, class I>
int Created() {
  return C_Counter<C_Vec<T, I>>::objects_created;
}

template <class T, class I>
void DefaultsProperty() {
  const I n = static_cast<I>(*rc::gen::inRange(-2, 6));
  const int alive = Alive<T, I>();
  const int created = Created<T, I>();
  {
    BareVec<T, I> b(n);
    BareVec<T, I> c(b);
    RC_ASSERT((Alive<T, I>()) == alive + 2);
    RC_ASSERT((Created<T, I>()) == created + 2);
    c = b;  // copies the dimension, counts unchanged
    RC_ASSERT(c.Dim() == n);
    RC_ASSERT((Alive<T, I>()) == alive + 2);
    C_Counter<C_Vec<T, I>> k1, k2;
    k1 = k2;
    T v = T();
    RC_ASSERT(b.Adr(0) == nullptr);
    RC_ASSERT(Code([&] { b.SetVal(0, T()); }) == 2871);
    RC_ASSERT(Code([&] { b[0]; }) == 2871);
    RC_ASSERT(Code([&] { b.FirstVal(v); }) == 2871);
    RC_ASSERT(Code([&] { b.NextVal(v); }) == 2871);
    RC_ASSERT(Code([&] { b.Extract(0, 0, nullptr); }) == 2871);
    RC_ASSERT(Code([&] { b.Init(T(), 0, -1); }) == 2871);
    RC_ASSERT(Code([&] { b.Attach(1, &v); }) == 2871);
    RC_ASSERT(Code([&] { b.Zero(0, -1); }) == 2871);
    RC_ASSERT(b.Dim() == n);
    // The element-free base: its own answers.
    C_BaseVec<I>& base = b;
    RC_ASSERT(std::string(base.C_BaseVec<I>::AffType()) == "C_BaseVec");
    RC_ASSERT(base.C_BaseVec<I>::Type() == C_Type::TypeNone);
    RC_ASSERT(Code([&] { base.C_BaseVec<I>::WriteMatlab(static_cast<FILE*>(nullptr)); }) == 2871);
    // An unopenable path hands a null stream to the class's own WriteMatlab(FILE*) (12 here).
    RC_ASSERT(Code([&] { base.C_BaseVec<I>::WriteMatlab("/nonexistent-dir/x"); }) == 12);
    RC_ASSERT(base.C_BaseVec<I>::Print(static_cast<const char*>(nullptr), false) == 0);
    RC_ASSERT(base.C_BaseVec<I>::Print("/nonexistent-dir/x", true) == 0);
    base.C_BaseVec<I>::Release();
    RC_ASSERT(b.Dim() == n);
    const I m = static_cast<I>(*rc::gen::inRange(-3, 9));
    RC_ASSERT(base.C_BaseVec<I>::Resize(m) == 0);
    RC_ASSERT(b.Dim() == m);
    // The dimension alone, little-endian, and back.
    Bytes want;
    PutLE(want, m);
    RC_ASSERT(Written([&](FILE* f) { base.C_BaseVec<I>::Write(f); }) == want);
    BareVec<T, I> r(0);
    FILE* f = StreamOf(want);
    RC_ASSERT(r.C_BaseVec<I>::Read(f) == 0);
    std::fclose(f);
    RC_ASSERT(r.Dim() == m);
    RC_ASSERT(Code([&] { r.C_BaseVec<I>::Read(nullptr); }) == 12);
    C_BaseVec<I>* copy = &c;
    *copy = base;
    RC_ASSERT(c.Dim() == m);
  }
  RC_ASSERT((Alive<T, I>()) == alive);
}

RC_GTEST_PROP(CVecDefaults, Double, ()) { DefaultsProperty<double, int>(); }
RC_GTEST_PROP(CVecDefaults, ComplexLong, ()) { DefaultsProperty<cd, long long>(); }
RC_GTEST_PROP(CVecDefaults, IntLong, ()) { DefaultsProperty<int, long long>(); }

// ---- Random fill: the same seed gives the same values, all in (0, 1); a refused seed changes
// nothing; a vector that is not full is refused. ----
template <class T>
void RandProperty() {
  const int n = *rc::gen::inRange(0, 12);
  const unsigned seed = *rc::gen::inRange(1u, 100000u);
  C_VecPi<T, int> a(n), b(n);
  InitRand(a, E_SeedGiven, seed);
  InitRand(b, E_SeedGiven, seed);
  for (int i = 0; i < n; ++i) {
    RC_ASSERT(SameBits(a[i], b[i]));
    const double parts[2] = {std::real(a[i]), std::imag(a[i])};
    RC_ASSERT(parts[0] > 0 && parts[0] < 1);
    if (std::is_same<T, cd>::value) RC_ASSERT(parts[1] > 0 && parts[1] < 1);
  }
  std::vector<T> keep(a.Adr(0) ? a.Adr(0) : nullptr, a.Adr(0) ? a.Adr(0) + n : nullptr);
  InitRand(a, E_SeedGiven, 0u);  // refused seed: nothing drawn
  for (int i = 0; i < n; ++i) RC_ASSERT(SameBits(a[i], keep[static_cast<size_t>(i)]));
  ArrayVec<T, int> nf(2);
  nf.full = 0;
  RC_ASSERT(Code([&] { InitRand(nf, E_SeedGiven, seed); }) == 2870);
}

RC_GTEST_PROP(VecRand, Double, ()) { RandProperty<double>(); }
RC_GTEST_PROP(VecRand, Complex, ()) { RandProperty<cd>(); }

// ---- A wrapped C vector given back: its record goes, the wrapper stays the host's. ----
RC_GTEST_PROP(VecWrap, FreeReleasesTheWrappedVector, ()) {
  const int kind = *rc::gen::element(5, 6);
  const int dim = *rc::gen::inRange(0, 20);
  int status = 0;
  GVEC* w = _LM_vec_get("prop_vec", 0, kind, dim, __LINE__, "prop_vec", &status);
  RC_ASSERT(status == 0 && w != nullptr);
  RC_ASSERT(kvelo_vec_free(w) == 0);
  RC_ASSERT((w->vec == nullptr && w->data == nullptr && w->pdim == nullptr));
  kvelomem_free(w, __FILE__, __LINE__);
  RC_ASSERT(kvelo_vec_free(nullptr) == -1);
}

}  // namespace
