// prop_vecpi.cpp: the concrete vector C_VecPi<T,int> (T = double, complex<double>, int) driven
// by random command sequences over its whole public interface: shape changes, ranges,
// arithmetic (with operands that are the same vector, a Lnk view of it, or another vector),
// norms and searches against long-double references, copies and assignments, views and
// Attach, the binary and text forms, transfers through a communicator, and memory running out.
// After every command the vector must hold the values the shadow says, with the dimension and
// capacity the model predicts; a refusal changes nothing.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <complex>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "C_Communicator.h"
#include "C_Ptr.h"
#include "C_Vec.h"
#include "C_VecPi.h"
#include "failing_new.h"
#include "prop_support.h"
#include "prop_vec_support.h"
#include "runtime/heap_limit.h"

// clang-format off
KVELO_HOLDS(
    "C_VecPi::C_VecPi", "C_VecPi::~C_VecPi", "C_VecPi::operator=", "C_VecPi::AssignValues",
    "C_VecPi::MemSize", "C_VecPi::InCore", "C_VecPi::Full", "C_VecPi::AffType", "C_VecPi::Write",
    "C_VecPi::Read", "C_VecPi::ReadValues", "C_VecPi::TakeValues", "C_VecPi::WriteMatlab",
    "C_VecPi::Print", "C_VecPi::Zero", "C_VecPi::Release", "C_VecPi::Resize", "C_VecPi::Adr",
    "C_VecPi::GetVal", "C_VecPi::SetVal", "C_VecPi::operator[]", "C_VecPi::Extract",
    "C_VecPi::Init", "C_VecPi::Sum", "C_VecPi::Copy", "C_VecPi::Lnk", "C_VecPi::Attach",
    "C_VecPi::SMlt", "C_VecPi::operator*=", "C_VecPi::CompLength", "C_VecPi::RangeOk",
    "C_Vec::Axpy", "C_Vec::operator+=", "C_Vec::operator-=", "C_Vec::operator*", "C_Vec::Diff",
    "C_Vec::Nrm", "C_Vec::Nrm2", "C_Vec::NrmInf", "C_Vec::Normalize", "C_Vec::IMin",
    "C_Vec::IMax", "C_Vec::SearchExtreme", "C_Vec::Send", "C_Vec::Recv", "C_Vec_Send",
    "C_Vec_Recv", "C_Vec::GetVal", "C_Vec::FirstVal", "C_Vec::NextVal", "C_Vec::Type",
    "C_Vec::Write", "C_Vec::Print", "C_Vec::WriteMatlab", "C_BaseVec::Print",
    "C_BaseVec::WriteMatlab", "C_BaseVec::Dim");
// clang-format on

namespace {

using namespace pvec;
template <class T>
using VP = C_VecPi<T, int, C_PtrInCore<T, int>>;

// ---- Model: the shapes of the two vectors (the values live in the shadows of the Sut). ----
struct Model {
  int dim = 0, cap = 0;  // vector a
  int bdim = 0;          // vector b (always owning, capacity = dimension)
};

// The shape after Resize(n >= 0), as the vector's rule gives it: whether it reallocates.
inline bool ResizeShape(Model& m, int n) {
  if (n == m.dim) return false;
  if (n == 0) {
    m.dim = m.cap = 0;
    return false;
  }
  if (n < m.dim || n <= m.cap) {
    m.dim = n;
    return false;
  }
  m.dim = m.cap = n;
  return true;
}

template <class T>
struct Sut {
  std::unique_ptr<VP<T>> a = std::make_unique<VP<T>>(0);
  std::unique_ptr<VP<T>> b = std::make_unique<VP<T>>(0);
  std::vector<T> abuf;  // a's buffer (capacity elements)
  std::vector<T> bv;    // b's values
  std::vector<T> Avals(int dim) const { return dim > 0 ? std::vector<T>(abuf.begin(), abuf.begin() + dim) : std::vector<T>(); }
};

template <class T>
std::vector<T> ValuesOf(VP<T>& v) {
  std::vector<T> out;
  if (v.Dim() > 0) out.assign(v.Adr(0), v.Adr(0) + v.Dim());
  return out;
}

// Every observable of a vector: dimension, capacity, owner flag, address, buffer length and
// values (bitwise).
template <class T>
struct Shot {
  int dim, cap, owns, nalloc;
  const T* data;
  std::vector<T> vals;
  bool operator==(const Shot& o) const {
    return dim == o.dim && cap == o.cap && owns == o.owns && nalloc == o.nalloc && data == o.data && SameBits(vals, o.vals);
  }
};
template <class T>
Shot<T> Take(VP<T>& v) {
  return Shot<T>{v.Dim(), v.capacity, v.ptr.owns, v.ptr.nalloc, v.ptr.data, ValuesOf(v)};
}

// The shadow resized as the vector's rule resizes the buffer.
template <class T>
void ResizeShadow(std::vector<T>& buf, const Model& before, int n) {
  Model m = before;
  const bool grows = ResizeShape(m, n);
  if (n == 0 && before.dim != 0) buf.clear();
  if (grows) buf.resize(static_cast<size_t>(n), T());
}

template <class T>
void Check(const Model& m, Sut<T>& s) {
  VP<T>& a = *s.a;
  RC_ASSERT(s.abuf.size() >= static_cast<size_t>(std::max(m.dim, 0)));
  RC_ASSERT(a.Dim() == m.dim);
  RC_ASSERT(a.capacity == m.cap);
  RC_ASSERT(a.ptr.owns == 1);
  RC_ASSERT(a.Full() == 1 && a.InCore() == 1);
  if (m.cap > 0) RC_ASSERT(a.ptr.nalloc == m.cap);
  if (m.dim > 0) {
    RC_ASSERT(a.Adr(0) != nullptr);
    RC_ASSERT(SameBits(ValuesOf(a), s.Avals(m.dim)));
  }
  RC_ASSERT(s.b->Dim() == m.bdim);
  RC_ASSERT(s.b->ptr.owns == 1);
  RC_ASSERT(SameBits(ValuesOf(*s.b), s.bv));
}

template <class T>
using Cmd = rc::state::Command<Model, Sut<T>>;

template <class T>
rc::Gen<T> Factor() {
  return rc::gen::weightedOneOf<T>({{1, rc::gen::just(T())}, {1, rc::gen::just(T(1))}, {4, AnyOf<T>()}});
}

// ---- Shape and values. ----
template <class T>
struct NewA : Cmd<T> {
  int n = *rc::gen::inRange(-3, 10);
  bool filled = std::is_same<T, double>::value && *rc::gen::inRange(0, 3) == 0;
  double init = filled ? *kvtest::AnyDouble() : 0.0;
  void apply(Model& m) const override { m.dim = m.cap = n; }
  void run(const Model& m, Sut<T>& s) const override {
    if constexpr (std::is_same<T, double>::value) {
      if (filled) {
        s.a = std::make_unique<VP<T>>(n, init);
        s.abuf.assign(static_cast<size_t>(std::max(n, 0)), init == 0.0 ? 0.0 : init);
        Model after = m;
        apply(after);
        Check(after, s);
        return;
      }
    }
    s.a = std::make_unique<VP<T>>(n);
    s.abuf.assign(static_cast<size_t>(std::max(n, 0)), T());
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    os << "a = C_VecPi(" << n;
    if (filled) os << ", " << init;
    os << ")";
  }
};

template <class T>
struct NewB : Cmd<T> {
  int n;
  std::vector<T> vals;
  explicit NewB(const Model& m) : n(*rc::gen::weightedOneOf<int>({{3, rc::gen::just(std::max(m.dim, 0))}, {1, rc::gen::inRange(0, 10)}})), vals(Values<T>(n)) {}
  void apply(Model& m) const override { m.bdim = n; }
  void run(const Model& m, Sut<T>& s) const override {
    s.b = std::make_unique<VP<T>>(n);
    for (int i = 0; i < n; ++i) (*s.b)[i] = vals[static_cast<size_t>(i)];
    s.bv = vals;
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    os << "b = C_VecPi(" << n << ") holding";
    for (const T& v : vals) os << " " << v;
  }
};

template <class T>
struct SetValues : Cmd<T> {
  std::vector<T> vals;
  int how = *rc::gen::inRange(0, 3);
  explicit SetValues(const Model& m) : vals(Values<T>(m.dim)) {}
  void checkPreconditions(const Model& m) const override { RC_PRE(m.dim == static_cast<int>(vals.size())); }
  void run(const Model& m, Sut<T>& s) const override {
    for (int i = 0; i < m.dim; ++i) {
      const T v = vals[static_cast<size_t>(i)];
      if (how == 0)
        RC_ASSERT(s.a->SetVal(i, v) == 1);
      else if (how == 1)
        (*s.a)[i] = v;
      else
        RC_ASSERT(s.a->Init(v, i, i) == 0);
      s.abuf[static_cast<size_t>(i)] = v;
      RC_ASSERT(SameBits(s.a->GetVal(i), v));
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    os << "a.SetVal(" << (how == 0 ? "SetVal" : how == 1 ? "[]" : "Init") << ")";
    for (const T& v : vals) os << " " << v;
  }
};

template <class T>
struct Resize : Cmd<T> {
  int n = *rc::gen::inRange(-2, 15);
  void apply(Model& m) const override {
    if (n >= 0) ResizeShape(m, n);
  }
  void run(const Model& m, Sut<T>& s) const override {
    const Shot<T> before = Take(*s.a);
    const int code = Code([&] { s.a->Resize(n); });
    if (n < 0) {
      RC_ASSERT(code == 2);
      RC_ASSERT(Take(*s.a) == before);
      Check(m, s);
      return;
    }
    RC_ASSERT(code == 0);
    ResizeShadow(s.abuf, m, n);
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << "a.Resize(" << n << ")"; }
};

template <class T>
struct Release : Cmd<T> {
  void apply(Model& m) const override { m.dim = m.cap = 0; }
  void run(const Model& m, Sut<T>& s) const override {
    s.a->Release();
    s.abuf.clear();
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << "a.Release()"; }
};

// ---- Range operations. ----
template <class T>
struct Range : Cmd<T> {
  int op = *rc::gen::inRange(0, 6);
  int first, last;
  T v = *Factor<T>();
  explicit Range(const Model& m)
      : first(*rc::gen::inRange(-2, std::max(m.dim, 0) + 3)),
        last(*rc::gen::weightedOneOf<int>({{1, rc::gen::just(-1)}, {3, rc::gen::inRange(-2, std::max(m.dim, 0) + 3)}})) {}
  void run(const Model& m, Sut<T>& s) const override {
    const int n = std::max(m.dim, 0);
    const bool ok = first >= 0 && first <= m.dim;
    const int l = (last == -1 || last >= m.dim) ? m.dim - 1 : last;
    const int cnt = ok ? std::max(l - first + 1, 0) : 0;
    const Shot<T> before = Take(*s.a);
    const std::vector<T> vals = s.Avals(m.dim);
    switch (op) {
      case 0:
        RC_ASSERT(s.a->Zero(first, last) == (ok ? 0 : -1));
        for (int i = first; i < first + cnt; ++i) s.abuf[static_cast<size_t>(i)] = T();
        break;
      case 1:
        RC_ASSERT(s.a->Init(v, first, last) == (ok ? 0 : -1));
        for (int i = first; i < first + cnt; ++i) s.abuf[static_cast<size_t>(i)] = v;
        break;
      case 2:
        RC_ASSERT(s.a->SMlt(v, first, last) == (ok ? 0 : -1));
        for (int i = first; i < first + cnt; ++i) {
          const T got = s.a->GetVal(i);
          RC_LOG() << "x=" << vals[static_cast<size_t>(i)] << " a=" << v << " got=" << got << "\n";
          RC_ASSERT(ScaledOk(got, vals[static_cast<size_t>(i)], v));
          s.abuf[static_cast<size_t>(i)] = got;
        }
        break;
      case 3: {
        const T got = s.a->Sum(first, last);
        T want = T();
        if constexpr (std::is_integral<T>::value) {
          unsigned w = 0;
          for (int i = first; i < first + cnt; ++i) w += static_cast<unsigned>(vals[static_cast<size_t>(i)]);
          want = static_cast<T>(w);
        } else {
          for (int i = first; i < first + cnt; ++i) want += vals[static_cast<size_t>(i)];
        }
        RC_ASSERT(SameBits(got, want) || (!std::is_integral<T>::value && HasNaN(got) && HasNaN(want)));
        RC_ASSERT(Take(*s.a) == before);
        break;
      }
      case 4: {
        T* p = s.a->Extract(first, last, nullptr);
        if (!ok)
          RC_ASSERT(p == nullptr);
        else
          RC_ASSERT(p == (s.a->Adr(0) ? s.a->Adr(0) + first : nullptr));
        RC_ASSERT(Take(*s.a) == before);
        break;
      }
      default: {
        T* buf = static_cast<T*>(kvelomem_calloc(1, sizeof(T), "prop_vecpi", 0, __FILE__, __LINE__));
        T* p = nullptr;
        RC_ASSERT(Code([&] { p = s.a->Extract(first, last, buf); }) == 0);
        if (!ok) {
          RC_ASSERT(p == nullptr);
          p = buf;
        } else if (cnt > 0) {
          RC_ASSERT(SameBits(std::vector<T>(p, p + cnt), std::vector<T>(vals.begin() + first, vals.begin() + first + cnt)));
        } else {
          RC_ASSERT(p == buf);
        }
        kvelomem_free(p, __FILE__, __LINE__);
        RC_ASSERT(Take(*s.a) == before);
      }
    }
    (void)n;
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"Zero", "Init", "SMlt", "Sum", "Extract(null)", "Extract(buf)"};
    os << "a." << names[op] << "(";
    if (op == 1 || op == 2) os << v << ", ";
    os << first << ", " << last << ")";
  }
};

template <class T>
struct Scale : Cmd<T> {
  T a = *Factor<T>();
  void run(const Model& m, Sut<T>& s) const override {
    const std::vector<T> vals = s.Avals(m.dim);
    *s.a *= a;
    for (int i = 0; i < m.dim; ++i) {
      const T got = s.a->GetVal(i);
      RC_LOG() << "x=" << vals[static_cast<size_t>(i)] << " got=" << got << "\n";
      RC_ASSERT(ScaledOk(got, vals[static_cast<size_t>(i)], a));
      s.abuf[static_cast<size_t>(i)] = got;
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "a *= " << a; }
};

template <class T>
struct AddScalar : Cmd<T> {
  T a = *AnyOf<T>();
  void run(const Model& m, Sut<T>& s) const override {
    static_cast<C_Vec<T, int>&>(*s.a) += a;
    for (int i = 0; i < m.dim; ++i) {
      T& e = s.abuf[static_cast<size_t>(i)];
      const T got = s.a->GetVal(i);
      if constexpr (std::is_integral<T>::value) {
        RC_ASSERT(got == static_cast<T>(static_cast<unsigned>(a) + static_cast<unsigned>(e)));
      } else {
        // Which of two NaN operands a sum passes on is not fixed: NaN for NaN, else the sum.
        RC_ASSERT(SameValue(cd(got), cd(a + e)));
      }
      e = got;
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "a += (scalar) " << a; }
};

// ---- y + a x against the long-double reference (integers wrap). ----
template <class T>
bool AxpyOk(T got, T y, T x, T a) {
  if constexpr (std::is_integral<T>::value) {
    return got == static_cast<T>(static_cast<unsigned>(y) + static_cast<unsigned>(a) * static_cast<unsigned>(x));
  } else {
    if (HasNaN(x) || HasNaN(y) || HasNaN(a)) return HasNaN(got);
    const T zero = T();
    if ((a == zero && !AllFinite(x)) || (x == zero && !AllFinite(a))) return HasNaN(got);
    if (!AllFinite(x) || !AllFinite(y) || !AllFinite(a)) return true;
    auto near = [](double g, long double t1, long double t2, long double t3) {
      const long double r = t1 + t2 + t3;
      const long double top = DBL_MAX;
      if (std::fabs(t1) > top || std::fabs(t2) > top || std::fabs(t3) > top) return true;
      return Near(g, r, std::fabs(t1) + std::fabs(t2) + std::fabs(t3), 4 * DBL_EPSILON);
    };
    if constexpr (std::is_floating_point<T>::value) {
      return near(got, static_cast<long double>(y), static_cast<long double>(a) * x, 0);
    } else {
      const long double ar = a.real(), ai = a.imag(), xr = x.real(), xi = x.imag();
      return near(got.real(), y.real(), ar * xr, -(ai * xi)) && near(got.imag(), y.imag(), ar * xi, ai * xr);
    }
  }
}

// Operand choices: 0 x = b, y = a; 1 x = a, y = b; 2 x = y = a (same object); 3 x a view of a
// from k on, y a view of a from 0 shrunk to match; 4 the other way round; 5 x a view of a from
// 0, y = a.
template <class T>
struct Axpy : Cmd<T> {
  int how = *rc::gen::inRange(0, 6);
  int form = *rc::gen::inRange(0, 3);  // Axpy, += (a = 1), -= (a = -1)
  T a = *Factor<T>();
  int k;
  explicit Axpy(const Model& m) : k(*rc::gen::inRange(0, std::max(m.dim, 0) + 1)) {}
  void checkPreconditions(const Model& m) const override {
    RC_PRE(k <= std::max(m.dim, 0));
    RC_PRE(how < 3 || m.dim >= 0);  // views start inside a vector of no negative dimension
  }
  void run(const Model& m, Sut<T>& s) const override {
    const int n = std::max(m.dim, 0);
    const T factor = form == 0 ? a : form == 1 ? T(1) : T(-1);
    std::unique_ptr<C_Vec<T, int>> vx, vy;
    C_Vec<T, int>* x = nullptr;
    C_Vec<T, int>* y = nullptr;
    std::vector<T> xs, ys;
    const std::vector<T> av = s.Avals(m.dim);
    int yoff = 0;  // where y starts in a (when y is in a)
    switch (how) {
      case 0: x = s.b.get(); y = s.a.get(); xs = s.bv; ys = av; break;
      case 1: x = s.a.get(); y = s.b.get(); xs = av; ys = s.bv; break;
      case 2: x = y = s.a.get(); xs = ys = av; break;
      case 3:
      case 4: {
        vx.reset(s.a->Lnk(how == 3 ? k : 0));
        vy.reset(s.a->Lnk(how == 3 ? 0 : k));
        C_Vec<T, int>* shorter = how == 3 ? vy.get() : vx.get();
        RC_ASSERT(shorter->Resize(n - k) == 0);
        x = vx.get();
        y = vy.get();
        xs.assign(av.begin() + (how == 3 ? k : 0), av.begin() + (how == 3 ? n : n - k));
        ys.assign(av.begin() + (how == 3 ? 0 : k), av.begin() + (how == 3 ? n - k : n));
        yoff = how == 3 ? 0 : k;
        break;
      }
      default:
        vx.reset(s.a->Lnk(0));
        x = vx.get();
        y = s.a.get();
        xs = ys = av;
    }
    const bool yIsB = how == 1;
    const Shot<T> beforeA = Take(*s.a), beforeB = Take(*s.b);
    const int code = Code([&] {
      if (form == 0)
        x->Axpy(*y, a);
      else if (form == 1)
        *y += *x;
      else
        *y -= *x;
    });
    if (xs.size() != ys.size() || x->Dim() != y->Dim()) {
      RC_ASSERT(code == 2872);
      RC_ASSERT(Take(*s.a) == beforeA && Take(*s.b) == beforeB);
      Check(m, s);
      return;
    }
    RC_ASSERT(code == 0);
    // The unaliased call on copies, and the reference.
    VP<T> cx(static_cast<int>(xs.size())), cy(static_cast<int>(ys.size()));
    for (size_t i = 0; i < xs.size(); ++i) {
      cx[static_cast<int>(i)] = xs[i];
      cy[static_cast<int>(i)] = ys[i];
    }
    cx.Axpy(cy, factor);
    for (size_t i = 0; i < ys.size(); ++i) {
      const T got = y->GetVal(static_cast<int>(i));
      RC_LOG() << "i=" << i << " y=" << ys[i] << " x=" << xs[i] << " a=" << factor << " got=" << got
               << " unaliased=" << cy.GetVal(static_cast<int>(i)) << "\n";
      RC_ASSERT(AxpyOk(got, ys[i], xs[i], factor));
      RC_ASSERT(SameValue(std::complex<double>(cd(got)), cd(cy.GetVal(static_cast<int>(i)))) || !std::is_integral<T>::value);
      if (yIsB)
        s.bv[i] = got;
      else
        s.abuf[static_cast<size_t>(yoff) + i] = got;
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"x=b y=a", "x=a y=b", "x=y=a", "x=a.Lnk(k) y=a.Lnk(0)", "x=a.Lnk(0) y=a.Lnk(k)", "x=a.Lnk(0) y=a"};
    os << (form == 0 ? "Axpy" : form == 1 ? "y += x" : "y -= x") << "(" << names[how] << ", k=" << k;
    if (form == 0) os << ", a=" << a;
    os << ")";
  }
};

// ---- Dot product and Diff. ----
template <class T>
bool DotOk(T got, const std::vector<T>& x, const std::vector<T>& y) {
  if constexpr (std::is_integral<T>::value) {
    unsigned w = 0;
    for (size_t i = 0; i < x.size(); ++i) w += static_cast<unsigned>(x[i]) * static_cast<unsigned>(y[i]);
    return got == static_cast<T>(w);
  } else {
    bool nan = false, finite = true;
    long double rr = 0, ri = 0, scale = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      nan = nan || HasNaN(x[i]) || HasNaN(y[i]);
      finite = finite && AllFinite(x[i]) && AllFinite(y[i]);
      if constexpr (std::is_floating_point<T>::value) {
        rr += static_cast<long double>(x[i]) * y[i];
        scale += std::fabs(static_cast<long double>(x[i]) * y[i]);
      } else {
        const long double xr = x[i].real(), xi = -static_cast<long double>(x[i].imag()), yr = y[i].real(), yi = y[i].imag();
        rr += xr * yr - xi * yi;
        ri += xr * yi + xi * yr;
        scale += std::fabs(xr * yr) + std::fabs(xi * yi) + std::fabs(xr * yi) + std::fabs(xi * yr);
      }
    }
    if (nan) return HasNaN(got);
    if (!finite || scale > DBL_MAX) return true;  // overflowing terms: no promise on the way
    const long double rel = (x.size() + 2) * 2 * DBL_EPSILON;
    if constexpr (std::is_floating_point<T>::value)
      return Near(got, rr, scale, rel);
    else
      return Near(got.real(), rr, scale, rel) && Near(got.imag(), ri, scale, rel);
  }
}

template <class T>
struct Dot : Cmd<T> {
  int how = *rc::gen::inRange(0, 4);  // a.b, a.a, a.view(0) of a, view(k).view(0)
  int k;
  explicit Dot(const Model& m) : k(*rc::gen::inRange(0, std::max(m.dim, 0) + 1)) {}
  void checkPreconditions(const Model& m) const override {
    RC_PRE(k <= std::max(m.dim, 0));
    RC_PRE(how < 2 || m.dim >= 0);
  }
  void run(const Model& m, Sut<T>& s) const override {
    const int n = std::max(m.dim, 0);
    const std::vector<T> av = s.Avals(m.dim);
    std::unique_ptr<C_Vec<T, int>> v1, v2;
    C_Vec<T, int>* x = s.a.get();
    C_Vec<T, int>* y = nullptr;
    std::vector<T> xs = av, ys;
    if (how == 0) {
      y = s.b.get();
      ys = s.bv;
    } else if (how == 1) {
      y = s.a.get();
      ys = av;
    } else if (how == 2) {
      v1.reset(s.a->Lnk(0));
      y = v1.get();
      ys = av;
    } else {
      v1.reset(s.a->Lnk(k));
      v2.reset(s.a->Lnk(0));
      RC_ASSERT(v2->Resize(n - k) == 0);
      x = v1.get();
      y = v2.get();
      xs.assign(av.begin() + k, av.end());
      ys.assign(av.begin(), av.begin() + (n - k));
    }
    const Shot<T> beforeA = Take(*s.a), beforeB = Take(*s.b);
    T got = T();
    double d = -1;
    const int code = Code([&] { got = (*x) * (*y); });
    RC_ASSERT(Take(*s.a) == beforeA && Take(*s.b) == beforeB);
    if (x->Dim() != y->Dim()) {
      RC_ASSERT(code == 2872);
      RC_ASSERT(Code([&] { x->Diff(*y, d); }) == 2872);
      RC_ASSERT(d == -1);
      return;
    }
    RC_ASSERT(code == 0);
    RC_LOG() << "dot " << got << "\n";
    RC_ASSERT(DotOk(got, xs, ys));
    // Diff: |sum (x - y)^2| (complex squares), the same for the same values however aliased.
    RC_ASSERT(x->Diff(*y, d) == 0);
    RC_ASSERT(Take(*s.a) == beforeA && Take(*s.b) == beforeB);
    VP<T> cx(static_cast<int>(xs.size())), cy(static_cast<int>(ys.size()));
    for (size_t i = 0; i < xs.size(); ++i) {
      cx[static_cast<int>(i)] = xs[i];
      cy[static_cast<int>(i)] = ys[i];
    }
    double dref = -1;
    RC_ASSERT(cx.Diff(cy, dref) == 0);
    RC_LOG() << "diff " << d << " unaliased " << dref << "\n";
    // A vector against itself (the same object) is at distance 0 without a look at its
    // values; any other operand, a view of the same memory included, as against a copy.
    if (how == 1) {
      RC_ASSERT(d == 0.0);
      Check(m, s);
      return;
    }
    RC_ASSERT(SameValue(d, dref));
    bool nan = false, finite = true;
    long double sr = 0, si = 0, scale = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
      nan = nan || HasNaN(xs[i]) || HasNaN(ys[i]);
      finite = finite && AllFinite(xs[i]) && AllFinite(ys[i]);
      if constexpr (std::is_integral<T>::value || std::is_floating_point<T>::value) {
        const long double e = static_cast<long double>(xs[i]) - static_cast<long double>(ys[i]);
        sr += e * e;
        scale += e * e;
      } else {
        const long double er = static_cast<long double>(xs[i].real()) - ys[i].real();
        const long double ei = static_cast<long double>(xs[i].imag()) - ys[i].imag();
        sr += er * er - ei * ei;
        si += 2 * er * ei;
        scale += er * er + ei * ei;
      }
    }
    if (nan) {
      RC_ASSERT(std::isnan(d));
    } else if (finite) {
      const long double r = std::sqrt(sr * sr + si * si);
      RC_ASSERT(Near(d, r, scale, (xs.size() + 4) * 4 * DBL_EPSILON));
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"a*b", "a*a", "a*a.Lnk(0)", "a.Lnk(k)*a.Lnk(0)"};
    os << "Dot/Diff(" << names[how] << ", k=" << k << ")";
  }
};

// ---- Norms and extreme positions. ----
template <class T>
long double RefNorm(int type, const std::vector<T>& v, bool& nan, bool& inf) {
  nan = inf = false;
  long double r = 0;
  for (const T& x : v) {
    const long double mg = MagL(x);
    if (std::isnan(mg)) nan = true;
    if (std::isinf(mg)) inf = true;
    if (!std::isfinite(mg)) continue;
    if (type == 0)
      r = std::max(r, mg);
    else if (type == 1)
      r += mg;
    else
      r += mg * mg;
  }
  return type == 2 ? std::sqrt(r) : r;
}

template <class T>
bool NormOk(double got, int type, const std::vector<T>& v) {
  bool nan = false, inf = false;
  const long double r = RefNorm(type, v, nan, inf);
  if (nan) return std::isnan(got);
  if (inf) return std::isinf(got) && got > 0;
  return Near(got, r, r, (v.size() + 4) * 2 * DBL_EPSILON);
}

template <class T>
struct Norm : Cmd<T> {
  int type = *rc::gen::inRange(-1, 4);
  int form = *rc::gen::inRange(0, 2);  // Nrm(type), the named forms
  void run(const Model& m, Sut<T>& s) const override {
    const std::vector<T> av = s.Avals(m.dim);
    const Shot<T> before = Take(*s.a);
    double got = -1;
    const int code = Code([&] { got = s.a->Nrm(static_cast<E_NrmType>(type)); });
    RC_ASSERT(Take(*s.a) == before);
    if (type < 0 || type > 2) {
      // An empty vector has every norm 0, whatever the type names; a nonempty one refuses (3).
      RC_ASSERT(code == (m.dim > 0 ? 3 : 0));
      Check(m, s);
      return;
    }
    RC_ASSERT(code == 0);
    RC_LOG() << "norm " << got << "\n";
    RC_ASSERT(NormOk(got, type, av));
    if (form == 1 && type != 1) {
      const double named = type == 2 ? s.a->Nrm2() : s.a->NrmInf();
      RC_ASSERT(SameBits(named, got));
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "a.Nrm(" << type << ")"; }
};

template <class T>
struct Normalize : Cmd<T> {
  int type = *rc::gen::inRange(0, 3);
  bool withNorm = *rc::gen::inRange(0, 2) == 0;
  void checkPreconditions(const Model&) const override { RC_PRE(!std::is_integral<T>::value); }
  void run(const Model& m, Sut<T>& s) const override {
    if constexpr (!std::is_integral<T>::value) {
      const std::vector<T> av = s.Avals(m.dim);
      const double before = s.a->Nrm(static_cast<E_NrmType>(type));
      double norm = -7;
      RC_ASSERT(s.a->Normalize(static_cast<E_NrmType>(type), withNorm ? &norm : nullptr) == 0);
      if (withNorm) RC_ASSERT(SameBits(norm, before));
      bool nan = false, inf = false;
      const long double r = RefNorm(type, av, nan, inf);
      for (int i = 0; i < m.dim; ++i) {
        const T got = s.a->GetVal(i);
        const T x = av[static_cast<size_t>(i)];
        RC_LOG() << "x=" << x << " norm=" << before << " got=" << got << "\n";
        if (before == 0.0) {
          RC_ASSERT(SameBits(got, x));
        } else if (nan || HasNaN(x)) {
          RC_ASSERT(HasNaN(got));
        } else if (!inf && type != 0) {
          // x / r within a few roundings of the reference.
          // Divided by the norm it reports (a subnormal norm is itself rounded to few bits).
          const long double rr = std::fabs(before) < DBL_MIN ? static_cast<long double>(before) : r;
          if constexpr (std::is_floating_point<T>::value) {
            RC_ASSERT(Near(got, x / rr, std::fabs(x / rr), 16 * DBL_EPSILON));
          } else {
            RC_ASSERT(Near(got.real(), x.real() / rr, MagL(x) / rr, 16 * DBL_EPSILON));
            RC_ASSERT(Near(got.imag(), x.imag() / rr, MagL(x) / rr, 16 * DBL_EPSILON));
          }
        }
        s.abuf[static_cast<size_t>(i)] = got;
      }
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "a.Normalize(" << type << (withNorm ? ", &norm)" : ", null)"); }
};

template <class T>
struct Extreme : Cmd<T> {
  bool largest = *rc::gen::inRange(0, 2) == 0;
  int first, last;
  explicit Extreme(const Model& m)
      : first(*rc::gen::inRange(-2, std::max(m.dim, 0) + 3)),
        last(*rc::gen::weightedOneOf<int>({{1, rc::gen::just(-1)}, {3, rc::gen::inRange(-2, std::max(m.dim, 0) + 3)}})) {}
  void run(const Model& m, Sut<T>& s) const override {
    const std::vector<T> av = s.Avals(m.dim);
    const int n = m.dim;
    const int got = largest ? s.a->IMax(first, last) : s.a->IMin(first, last);
    const int l = (last == -1 || last >= n) ? n - 1 : last;
    const int empty = std::is_same<T, int>::value ? -2 : -1;
    if (first < 0 || first > n || l - first + 1 < 1) {
      RC_ASSERT(got == empty);
      Check(m, s);
      return;
    }
    int want = -1;
    for (int i = first; i <= l && want < 0; ++i)
      if (HasNaN(av[static_cast<size_t>(i)])) want = i - first;
    if (want < 0) {
      auto key = [](T v) -> long double {
        if constexpr (std::is_integral<T>::value)
          return std::fabs(static_cast<long double>(v));
        else if constexpr (std::is_floating_point<T>::value)
          return std::fabs(v);
        else
          return static_cast<long double>(std::fabs(v.real()) + std::fabs(v.imag()));  // as the BLAS adds them
      };
      want = 0;
      for (int i = first + 1; i <= l; ++i) {
        const long double kv = key(av[static_cast<size_t>(i)]), kh = key(av[static_cast<size_t>(first + want)]);
        if (largest ? kv > kh : kv < kh) want = i - first;
      }
    }
    RC_LOG() << "got " << got << " want " << want << "\n";
    RC_ASSERT(got == want);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "a." << (largest ? "IMax" : "IMin") << "(" << first << ", " << last << ")"; }
};

// ---- Copies and assignments. ----
// Source choices: 0 b, 1 a itself, 2 a view of a from k on.
template <class T>
struct CopyIn : Cmd<T> {
  int form;  // 0 Copy, 1 Assign (not int), 2 operator=
  int src = *rc::gen::inRange(0, 3);
  int k;
  explicit CopyIn(const Model& m)
      : form(std::is_same<T, int>::value ? *rc::gen::element(0, 2) : *rc::gen::inRange(0, 3)), k(*rc::gen::inRange(0, std::max(m.dim, 0) + 1)) {}
  void checkPreconditions(const Model& m) const override {
    RC_PRE(k <= std::max(m.dim, 0));
    RC_PRE(src != 2 || m.dim >= 0);
  }
  int SrcDim(const Model& m) const { return src == 0 ? m.bdim : src == 1 ? m.dim : std::max(m.dim, 0) - k; }
  void apply(Model& m) const override {
    const int n = SrcDim(m);
    if (n < 0 && form != 2) return;
    if (form == 2) {
      if (src != 1) m.dim = m.cap = n;
    } else {
      ResizeShape(m, n);
    }
  }
  void run(const Model& m, Sut<T>& s) const override {
    std::unique_ptr<C_Vec<T, int>> view;
    std::vector<T> sv;
    VP<T>* from = nullptr;
    if (src == 0) {
      from = s.b.get();
      sv = s.bv;
    } else if (src == 1) {
      from = s.a.get();
      sv = s.Avals(m.dim);
    } else {
      view.reset(s.a->Lnk(k));
      from = static_cast<VP<T>*>(view.get());
      const std::vector<T> av = s.Avals(m.dim);
      sv.assign(av.begin() + k, av.end());
    }
    const Shot<T> before = Take(*s.a);
    const int code = Code([&] {
      if (form == 0) {
        RC_ASSERT(s.a->Copy(*from) == 0);
      } else if (form == 1) {
        if constexpr (!std::is_same<T, int>::value) RC_ASSERT(s.a->Assign(*from) == 0);
      } else {
        *s.a = *from;
      }
    });
    if (SrcDim(m) < 0 && form != 2) {
      // A source of negative dimension: the resize refuses it (2), nothing changed.
      RC_ASSERT(code == 2);
      RC_ASSERT(Take(*s.a) == before);
      Check(m, s);
      return;
    }
    RC_ASSERT(code == 0);
    Model after = m;
    apply(after);
    if (form == 2 && src != 1) {
      s.abuf = sv;
    } else {
      ResizeShadow(s.abuf, m, SrcDim(m) < 0 ? m.dim : SrcDim(m));
      for (size_t i = 0; i < sv.size(); ++i) s.abuf[i] = sv[i];
    }
    Check(after, s);
    if (form == 2 && after.dim > 0 && src != 1) RC_ASSERT(s.a->Adr(0) != from->Adr(0));
  }
  void show(std::ostream& os) const override {
    static const char* forms[] = {"a.Copy", "a.Assign", "a ="};
    static const char* srcs[] = {"b", "a", "a.Lnk(k)"};
    os << forms[form] << "(" << srcs[src] << ", k=" << k << ")";
  }
};

// A view of a from k on takes b's values (operator= or Assign into a view): they land in a's
// memory from k on; a view that would have to grow refuses (2870) and nothing changes.
template <class T>
struct IntoView : Cmd<T> {
  int k;
  bool assign = !std::is_same<T, int>::value && *rc::gen::inRange(0, 2) == 0;
  explicit IntoView(const Model& m) : k(*rc::gen::inRange(0, std::max(m.dim, 0) + 1)) {}
  void checkPreconditions(const Model& m) const override { RC_PRE(k <= m.dim); }
  void run(const Model& m, Sut<T>& s) const override {
    std::unique_ptr<C_Vec<T, int>> view(s.a->Lnk(k));
    VP<T>& v = static_cast<VP<T>&>(*view);
    RC_ASSERT(v.Dim() == std::max(m.dim, 0) - k && v.capacity == 0 && v.ptr.owns == 0);
    const Shot<T> beforeA = Take(*s.a), beforeB = Take(*s.b);
    const int vdim = v.Dim();
    const int code = Code([&] {
      if constexpr (!std::is_same<T, int>::value) {
        if (assign) {
          v.Assign(*s.b);
          return;
        }
      }
      v = *s.b;
    });
    if (m.bdim > vdim && beforeA.dim != 0) {
      RC_ASSERT(code == 2870);
      RC_ASSERT(Take(*s.a) == beforeA && Take(*s.b) == beforeB);
      Check(m, s);
      return;
    }
    if (m.bdim > vdim) {  // a view of nothing borrows no memory: it may take a buffer
      RC_ASSERT(code == 0 || code == 2870);
      Check(m, s);
      return;
    }
    RC_ASSERT(code == 0);
    RC_ASSERT(v.Dim() == m.bdim);
    for (int i = 0; i < m.bdim; ++i) s.abuf[static_cast<size_t>(k + i)] = s.bv[static_cast<size_t>(i)];
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "a.Lnk(" << k << ")" << (assign ? ".Assign(b)" : " = b"); }
};

template <class T>
struct CopyConstruct : Cmd<T> {
  void run(const Model& m, Sut<T>& s) const override {
    VP<T> c(*s.a);
    RC_ASSERT(c.Dim() == m.dim);
    RC_ASSERT(c.ptr.owns == 1);
    RC_ASSERT(SameBits(ValuesOf(c), s.Avals(m.dim)));
    if (m.dim > 0) RC_ASSERT(c.Adr(0) != s.a->Adr(0));
    c.Resize(c.Dim() > 0 ? c.Dim() + 3 : 2);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "C_VecPi c(a)"; }
};

// ---- Views. ----
template <class T>
struct Link : Cmd<T> {
  int k;
  std::vector<T> vals;
  explicit Link(const Model& m) : k(*rc::gen::inRange(-1, std::max(m.dim, 0) + 2)) {
    const int len = std::max(m.dim, 0) - k;
    vals = Values<T>(len > 0 ? *rc::gen::inRange(0, len + 1) : 0);
  }
  void checkPreconditions(const Model& m) const override {
    RC_PRE(static_cast<int>(vals.size()) <= std::max(std::max(m.dim, 0) - k, 0));
  }
  void run(const Model& m, Sut<T>& s) const override {
    const Shot<T> before = Take(*s.a);
    C_Vec<T, int>* raw = nullptr;
    const int code = Code([&] { raw = s.a->Lnk(k); });
    std::unique_ptr<C_Vec<T, int>> view(raw);
    if (k < 0 || k > m.dim) {
      RC_ASSERT(code == 2872);
      RC_ASSERT(Take(*s.a) == before);
      Check(m, s);
      return;
    }
    RC_ASSERT(code == 0);
    VP<T>& v = static_cast<VP<T>&>(*view);
    RC_ASSERT(v.Dim() == m.dim - k && v.capacity == 0 && v.ptr.owns == 0);
    if (m.dim > 0) RC_ASSERT(v.Adr(0) == s.a->Adr(0) + k);
    // Written through the view, read through the vector.
    for (size_t i = 0; i < vals.size(); ++i) {
      RC_ASSERT(v.SetVal(static_cast<int>(i), vals[i]) == 1);
      s.abuf[static_cast<size_t>(k) + i] = vals[i];
    }
    // The view's binary form is the vector's tail; a view may shrink, not grow.
    const Bytes tail = Written([&](FILE* f) { v.Write(f); });
    Bytes want;
    const std::vector<T> av = s.Avals(m.dim);
    PutBE(want, static_cast<int32_t>(m.dim - k));
    for (int i = k; i < m.dim; ++i) PutBE(want, av[static_cast<size_t>(i)]);
    RC_ASSERT(tail == want);
    if (v.Dim() > 1) {  // (a view shrunk to 0 forgets the memory: it may then allocate)
      RC_ASSERT(v.Resize(v.Dim() - 1) == 0);
      const Shot<T> vs = Take(v);
      RC_ASSERT(Code([&] { v.Resize(v.Dim() + 2); }) == 2870);
      RC_ASSERT(Take(v) == vs);
    }
    view.reset();
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    os << "a.Lnk(" << k << ") set";
    for (const T& v : vals) os << " " << v;
  }
};

// Attach on a copy of a: a caller's array, the own buffer at its start (the vector keeps it),
// inside it or at its end (refused), null.
template <class T>
struct AttachCmd : Cmd<T> {
  int kind = *rc::gen::inRange(0, 4);
  int n = *rc::gen::inRange(-1, 12);
  int k;
  explicit AttachCmd(const Model& m) : k(*rc::gen::inRange(0, std::max(m.dim, 0) + 1)) {}
  void checkPreconditions(const Model& m) const override { RC_PRE(k <= std::max(m.dim, 0)); }
  void run(const Model& m, Sut<T>& s) const override {
    const std::vector<T> av = s.Avals(m.dim);
    VP<T> c(static_cast<int>(av.size()));
    for (size_t i = 0; i < av.size(); ++i) c[static_cast<int>(i)] = av[i];
    const int cap = c.capacity;
    const std::vector<T> cv = ValuesOf(c);
    if (kind == 0) {
      std::vector<T> mem(static_cast<size_t>(std::max(n, 0) + 2), T(55));
      const std::vector<T> orig = mem;
      RC_ASSERT(c.Attach(n, mem.data() + 1) == 0);
      RC_ASSERT(c.Dim() == n && c.capacity == 0 && c.ptr.owns == 0 && c.Adr(0) == mem.data() + 1);
      for (int i = 0; i < n; ++i) c[i] = T(3);
      // Growing refused, shrinking and releasing forget the array.
      RC_ASSERT(Code([&] { c.Resize(n + 1); }) == (n + 1 == 0 ? 0 : 2870));
      c.Release();
      RC_ASSERT(SameBits(mem.front(), orig.front()) && SameBits(mem.back(), orig.back()));
    } else if (kind == 1 && m.dim > 0) {
      // Its own buffer from the start: still owned, capacity kept; more than it holds refused.
      const Shot<T> before = Take(c);
      const int code = Code([&] { c.Attach(n, c.Adr(0)); });
      if (n > cap) {
        RC_ASSERT(code == 2870);
        RC_ASSERT(Take(c) == before);
      } else {
        RC_ASSERT(code == 0);
        RC_ASSERT(c.Dim() == n && c.capacity == cap && c.ptr.owns == 1 && c.ptr.data == before.data);
        if (n > 0) RC_ASSERT(SameBits(ValuesOf(c), std::vector<T>(cv.begin(), cv.begin() + n)));
        // Writes back what it holds, reads it back.
        if (n >= 0) {
          const Bytes b = Written([&](FILE* f) { c.Write(f); });
          VP<T> r(0);
          FILE* f = StreamOf(b);
          RC_ASSERT(Code([&] { r.Read(f); }) == 0);
          std::fclose(f);
          RC_ASSERT(SameBits(ValuesOf(r), ValuesOf(c)));
        }
      }
    } else if (kind == 2 && m.dim > 0 && k > 0) {
      // Inside its own buffer past the start, or at its end: the buffer would go under the view.
      const Shot<T> before = Take(c);
      RC_ASSERT(Code([&] { c.Attach(std::min(n, m.dim - k), c.Adr(0) + k); }) == 2870);
      RC_ASSERT(Take(c) == before);
    } else {
      RC_ASSERT(c.Attach(0, nullptr) == 0);
      RC_ASSERT(c.Dim() == 0 && c.ptr.owns == 0 && c.Adr(0) == nullptr);
      RC_ASSERT(c.Resize(2) == 0);  // borrowing and empty: a fresh buffer
      RC_ASSERT(c.GetVal(1) == T());
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* kinds[] = {"caller array", "own start", "own buffer at k", "null"};
    os << "copy of a .Attach(" << kinds[kind] << ", n=" << n << ", k=" << k << ")";
  }
};

// ---- Binary forms. ----
template <class T>
Bytes PiImage(int dim, const std::vector<T>& vals) {
  Bytes b;
  PutBE(b, static_cast<int32_t>(dim));
  for (const T& v : vals) PutBE(b, v);
  return b;
}

template <class T>
struct WriteRead : Cmd<T> {
  int form = *rc::gen::inRange(0, 5);
  int cut = *rc::gen::inRange(1, 30);
  void apply(Model& m) const override {
    if (form == 3) {
      // a takes the values of a vector holding b's: its buffer when a's capacity is short,
      // else a copy.
      const int n = m.bdim;
      if (n > 0 && n > m.cap)
        m.dim = m.cap = n;
      else
        ResizeShape(m, n);
    }
  }
  void run(const Model& m, Sut<T>& s) const override {
    const std::vector<T> av = s.Avals(m.dim);
    const Shot<T> before = Take(*s.a);
    if (form == 0 || form == 1) {
      int code = 0;
      const Bytes b = Written([&](FILE* f) { s.a->Write(f); }, &code);
      RC_ASSERT(Take(*s.a) == before);
      if (m.dim < 0) {
        // Read refuses a negative dimension: Write must refuse it too, and write nothing.
        RC_LOG() << "code " << code << " bytes " << b.size() << "\n";
        RC_ASSERT(code == 2);
        RC_ASSERT(b.empty());
        Check(m, s);
        return;
      }
      RC_ASSERT(code == 0);
      RC_ASSERT(b == PiImage(m.dim, av));
      if (form == 0) {
        // Read back into a fresh vector, and into a itself (nothing changes).
        VP<T> r(0);
        FILE* f = StreamOf(b);
        RC_ASSERT(Code([&] { r.Read(f); }) == 0);
        std::fclose(f);
        RC_ASSERT(r.Dim() == m.dim && SameBits(ValuesOf(r), av));
        RC_ASSERT(Written([&](FILE* g) { r.Write(g); }) == b);
        f = StreamOf(b);
        RC_ASSERT(Code([&] { s.a->Read(f, 0); }) == 0);
        std::fclose(f);
      } else {
        // A cut file, or one with a negative dimension: refused, nothing changed.
        Bytes cutb = b;
        const bool negative = cut % 3 == 0;
        if (negative) {
          cutb[0] = 0xFF;
        } else if (cutb.size() > 4 || cut % 2 == 0) {
          cutb.resize(cutb.size() > static_cast<size_t>(cut) ? cutb.size() - static_cast<size_t>(cut) : 0);
        } else {
          Check(m, s);
          return;
        }
        FILE* f = StreamOf(cutb);
        const int code2 = Code([&] { s.a->Read(f); });
        std::fclose(f);
        RC_ASSERT(code2 == (negative ? 2 : 21));
        RC_ASSERT(Take(*s.a) == before);
      }
      Check(m, s);
      return;
    }
    if (form == 2) {
      // The generic form of C_Vec: the dimension little-endian, then the values big-endian.
      int code = 0;
      const Bytes b = Written([&](FILE* f) { s.a->C_Vec<T, int>::Write(f); }, &code);
      RC_ASSERT(code == 0);
      Bytes want;
      PutLE(want, static_cast<int32_t>(m.dim));
      for (const T& v : av) PutBE(want, v);
      RC_ASSERT(b == want);
      RC_ASSERT(Code([&] { s.a->C_Vec<T, int>::Write(nullptr); }) == 12);
      RC_ASSERT(Take(*s.a) == before);
      Check(m, s);
      return;
    }
    if (form == 3) {
      const std::vector<T> bv = s.bv;
      VP<T> from(static_cast<int>(bv.size()));
      for (size_t i = 0; i < bv.size(); ++i) from[static_cast<int>(i)] = bv[i];
      s.a->TakeValues(from);
      RC_ASSERT(from.Dim() == 0 && from.capacity == 0);
      Model after = m;
      apply(after);
      if (m.bdim > 0 && m.bdim > m.cap) {
        s.abuf = bv;
      } else {
        ResizeShadow(s.abuf, m, m.bdim);
        for (size_t i = 0; i < bv.size(); ++i) s.abuf[i] = bv[i];
      }
      Check(after, s);
      return;
    }
    // ReadValues of a count the file cannot hold: refused (21), nothing changed.
    const Bytes b = PiImage(0, av);
    FILE* f = StreamOf(Bytes(b.begin() + 4, b.end()));
    const int code = Code([&] { s.a->ReadValues(f, std::max(m.dim, 0) + cut); });
    std::fclose(f);
    RC_ASSERT(code == 21);
    RC_ASSERT(Take(*s.a) == before);
    RC_ASSERT(Code([&] { s.a->ReadValues(nullptr, -cut); }) == 2);
    RC_ASSERT(Take(*s.a) == before);
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* forms[] = {"Write/Read", "Write/Read cut", "C_Vec::Write", "a.TakeValues(copy of b)", "ReadValues short"};
    os << forms[form] << "(cut=" << cut << ")";
  }
};

// ---- Text forms and string accessors. ----
template <class T>
std::string ValueText(T v) {
  char buf[96];
  if constexpr (std::is_same<T, int>::value)
    std::snprintf(buf, sizeof buf, "% 8d ", v);
  else if constexpr (std::is_same<T, double>::value)
    std::snprintf(buf, sizeof buf, "% 2.3e ", v);
  else
    std::snprintf(buf, sizeof buf, "% 2.3E % 2.3E ", v.real(), v.imag());
  return buf;
}
template <class T>
const char* ScalarName() {
  return std::is_same<T, int>::value ? "Integer" : std::is_same<T, double>::value ? "Double" : "Double complex";
}

template <class T>
struct Text : Cmd<T> {
  int form = *rc::gen::inRange(0, 6);
  void run(const Model& m, Sut<T>& s) const override {
    const std::vector<T> av = s.Avals(m.dim);
    const Shot<T> before = Take(*s.a);
    std::string head = std::string("- Object : C_VecPi Vector\n- Scalar : ") + ScalarName<T>() + "\n- Dim : " + std::to_string(m.dim) +
                       "\n- In Core : 1\n- Values : \n";
    std::string printed = head;
    for (size_t i = 0; i < av.size(); ++i) printed += ValueText(av[i]) + (i % 5 == 4 ? "\n" : " ");
    if (m.dim > 0 && m.dim % 5 != 0) printed += "\n";
    std::string matlab = std::string("C_VecPi Vector\n") + ScalarName<T>() + "\n" + std::to_string(m.dim) + "\n";
    for (const T& v : av) matlab += ValueText(v) + " ";
    matlab += "\n";
    auto text = [](const Bytes& b) { return std::string(b.begin(), b.end()); };
    switch (form) {
      case 0:
        RC_ASSERT(text(Written([&](FILE* f) { s.a->Print(f); })) == printed);
        RC_ASSERT(Code([&] { s.a->Print(static_cast<FILE*>(nullptr)); }) == 12);
        break;
      case 1:
        RC_ASSERT(text(Written([&](FILE* f) { s.a->WriteMatlab(f); })) == matlab);
        RC_ASSERT(Code([&] { s.a->WriteMatlab(static_cast<FILE*>(nullptr)); }) == 12);
        break;
      case 2: {
        char path[] = "/tmp/prop_vecpi_XXXXXX";
        const int fd = mkstemp(path);
        RC_ASSERT(fd >= 0);
        close(fd);
        RC_ASSERT(s.a->Print(path, false) == 0);
        RC_ASSERT(s.a->Print(path, true) == 0);
        RC_ASSERT(text(FileBytes(path)) == printed + printed);
        RC_ASSERT(s.a->WriteMatlab(path) == 0);
        RC_ASSERT(text(FileBytes(path)) == matlab);
        std::remove(path);
        RC_ASSERT(s.a->Print(static_cast<const char*>(nullptr), false) == 0);
        RC_ASSERT(Code([&] { s.a->WriteMatlab("/nonexistent-dir/x"); }) == 12);
        break;
      }
      case 3: {
        std::string t = "x";
        for (int i = 0; i < m.dim; ++i) s.a->GetVal(i, t);
        std::string want = "x";
        for (const T& v : av) want += ValueText(v);
        RC_ASSERT(t == want);
        break;
      }
      case 4: {
        // No value cursor: refused, the string as it was.
        std::string t = "keep";
        T v = T(9);
        RC_ASSERT(Code([&] { s.a->FirstVal(t); }) == 2871);
        RC_ASSERT(Code([&] { s.a->NextVal(t); }) == 2871);
        RC_ASSERT(Code([&] { s.a->FirstVal(v); }) == 2871);
        RC_ASSERT(Code([&] { s.a->NextVal(v); }) == 2871);
        RC_ASSERT(t == "keep");
        break;
      }
      default: {
        RC_ASSERT(std::string(s.a->AffType()) == "C_VecPi Vector");
        const int code = std::is_same<T, int>::value ? 5 : std::is_same<T, double>::value ? 1 : 4;
        RC_ASSERT(static_cast<int>(s.a->Type()) == code);
        const long long bytes = static_cast<long long>(m.dim) * static_cast<long long>(sizeof(T));
        RC_ASSERT(s.a->MemSize() == static_cast<int>(bytes));
        RC_ASSERT(s.a->Dim() == m.dim);
      }
    }
    RC_ASSERT(Take(*s.a) == before);
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* forms[] = {"Print(FILE*)", "WriteMatlab(FILE*)", "Print/WriteMatlab(path)", "GetVal(i, string)", "FirstVal/NextVal", "getters"};
    os << "a." << forms[form];
  }
};

// ---- Transfers through the installed communicator: a sends, b receives. ----
template <class T>
struct Transfer : Cmd<T> {
  bool installed = *rc::gen::inRange(0, 5) != 0;
  bool member = *rc::gen::inRange(0, 2) == 0;
  void apply(Model& m) const override {
    if (installed && m.dim >= 0) m.bdim = m.dim;
  }
  void run(const Model& m, Sut<T>& s) const override {
    Loopback lb;
    C_Communicator::setInstance(installed ? &lb : nullptr);
    const Shot<T> beforeA = Take(*s.a), beforeB = Take(*s.b);
    const int sent = Code([&] {
      if (member)
        s.a->Send(4, 5);
      else
        C_Vec_Send<T, int>(s.a.get(), 4, 5);
    });
    RC_ASSERT(Take(*s.a) == beforeA);
    if (!installed) {
      RC_ASSERT(sent == 2871);
      RC_ASSERT(Code([&] { s.b->Recv(4, 5); }) == 2871);
      RC_ASSERT(Take(*s.b) == beforeB);
      C_Communicator::setInstance(nullptr);
      Check(m, s);
      return;
    }
    if (m.dim < 0) {
      // A negative length is refused (2) before anything goes out, like every receiver
      // refuses it.
      RC_ASSERT(sent == 2);
      RC_ASSERT(lb.queue.empty());
      C_Communicator::setInstance(nullptr);
      Check(m, s);
      return;
    }
    RC_ASSERT(sent == 0);
    const int got = Code([&] {
      if (member)
        s.b->Recv(4, 5);
      else
        C_Vec_Recv<T, int>(s.b.get(), 4, 5);
    });
    C_Communicator::setInstance(nullptr);
    RC_ASSERT(got == 0);
    RC_ASSERT(lb.queue.empty());
    s.bv = s.Avals(m.dim);
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << (member ? "a.Send/b.Recv" : "C_Vec_Send/Recv") << (installed ? "" : " (none installed)"); }
};

// ---- Memory running out: every allocation of an operation fails in turn (library heap and
// operator new); each refusal must be 1001 with the vectors as they were, and the run that
// meets no refusal must give what the operation gives with memory. Run on copies of a and b. ----
template <class T>
struct Starved : Cmd<T> {
  int op = *rc::gen::inRange(0, 9);
  int k;
  int grow = *rc::gen::inRange(1, 6);
  explicit Starved(const Model& m) : k(*rc::gen::inRange(0, std::max(m.dim, 0) + 1)) {}
  void checkPreconditions(const Model& m) const override { RC_PRE(k <= std::max(m.dim, 0)); }
  void run(const Model& m, Sut<T>& s) const override {
    auto fresh = [&](VP<T>& c, const std::vector<T>& vals) {
      c.Release();
      c.Resize(static_cast<int>(vals.size()));
      for (size_t i = 0; i < vals.size(); ++i) c[static_cast<int>(i)] = vals[i];
    };
    const std::vector<T> av = s.Avals(m.dim);
    const Bytes img = PiImage(static_cast<int>(s.bv.size()), s.bv);  // made before memory runs out
    VP<T> c(0), d(0);
    Shot<T> reference{};
    Bytes refBytes;
    bool haveRef = false;
    for (int attempt = 0; attempt < 200; ++attempt) {
      fresh(c, av);
      fresh(d, s.bv);
      std::unique_ptr<C_Vec<T, int>> view;
      C_Vec<T, int>* rawView = nullptr;
      const Shot<T> before = Take(c), beforeD = Take(d);
      Bytes out;
      FILE* printed = op == 7 ? std::tmpfile() : nullptr;
      const bool starve = attempt > 0;
      if (starve) {
        kvrt::SetHeapBlocksLeft(attempt - 1);
        kvtest::FailNewAfter(attempt - 1);
      }
      const int code = Code([&] {
        switch (op) {
          case 0: c.Resize(c.capacity + grow); break;
          case 1: c.Copy(d); break;
          case 2: rawView = c.Lnk(k); break;
          case 3: {
            std::unique_ptr<C_Vec<T, int>> v(c.Lnk(k));  // 1001 from Lnk leaves nothing to free
            c.Copy(*v);
            break;
          }
          case 4: c = d; break;
          case 5: {
            FILE* f = std::tmpfile();
            std::fwrite(img.data(), 1, img.size(), f);
            std::rewind(f);
            try {
              c.Read(f);
            } catch (...) {
              std::fclose(f);
              throw;
            }
            std::fclose(f);
            break;
          }
          case 6: {
            std::unique_ptr<C_Vec<T, int>> vx(c.Lnk(k));
            std::unique_ptr<C_Vec<T, int>> vy(c.Lnk(0));
            vy->Resize(c.Dim() - k);
            vx->Axpy(*vy, T(1));
            break;
          }
          case 7:
            c.Print(printed);
            break;
          default: {
            VP<T> copy(c);
            break;
          }
        }
      });
      const bool refused = starve && (kvrt::HeapBlocksRanOut() || kvtest::NewWasRefused());
      kvtest::Heal();
      kvrt::SetHeapBlocksLeft(-1);
      view.reset(rawView);
      if (printed) {
        out = Drain(printed);
        std::fclose(printed);
      }
      if (!starve) {
        RC_ASSERT(code == 0);
        reference = Take(c);
        refBytes = out;
        haveRef = true;
        continue;
      }
      if (refused && code != 0) {
        RC_LOG() << "attempt " << attempt << " code " << code << "\n";
        RC_ASSERT(code == 1001);
        RC_ASSERT(Take(c) == before);
        RC_ASSERT(Take(d) == beforeD);
        if (op == 7) RC_ASSERT(out.empty());  // nothing written
        continue;
      }
      RC_LOG() << "attempt " << attempt << " code " << code << " refused " << refused << "\n";
      RC_ASSERT(code == 0);
      RC_ASSERT(haveRef);
      const Shot<T> now = Take(c);
      RC_ASSERT(now.dim == reference.dim && now.cap == reference.cap && SameBits(now.vals, reference.vals));
      RC_ASSERT(out == refBytes);
      if (!refused) break;
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override {
    static const char* ops[] = {"Resize(cap+grow)", "Copy(b)", "Lnk(k)", "Copy(Lnk(k))", "= b", "Read", "Lnk(k).Axpy(Lnk(0))", "Print", "copy"};
    os << "short of memory: " << ops[op] << " (k=" << k << ", grow=" << grow << ")";
  }
};

template <class T>
void RunVecPi() {
  Model m;
  Sut<T> s;
  rc::state::check(m, s,
                   rc::state::gen::execOneOfWithArgs<NewA<T>, NewB<T>, SetValues<T>, SetValues<T>, Resize<T>, Release<T>,
                                                     Range<T>, Scale<T>, AddScalar<T>, Axpy<T>, Axpy<T>, Dot<T>, Norm<T>,
                                                     Normalize<T>, Extreme<T>, CopyIn<T>, IntoView<T>, CopyConstruct<T>,
                                                     Link<T>, AttachCmd<T>, WriteRead<T>, Text<T>, Transfer<T>, Starved<T>>());
}

RC_GTEST_PROP(VecPi, Double, ()) { RunVecPi<double>(); }
RC_GTEST_PROP(VecPi, Complex, ()) { RunVecPi<cd>(); }
RC_GTEST_PROP(VecPi, Int, ()) { RunVecPi<int>(); }

}  // namespace
