// prop_ptr.cpp: the element storages C_PtrInCore<T,int> (T = int, double, complex<double>) and
// the block-wise defaults of C_Ptr<T,int>, driven with random shapes, values and arguments.
// Every storage operation must either do what its header says or refuse with its code and
// leave owner flag, address, allocated length and values as they were; views of the storage's
// own buffer (Lnk) handed back to it through assignment, Attach or Copy must never leave it
// pointing into memory it gave back; the heap running out gives 1001 and changes nothing.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <complex>
#include <cstdio>
#include <memory>
#include <vector>

#include "C_Ptr.h"
#include "kvelosys.h"
#include "prop_support.h"
#include "prop_vec_support.h"
#include "runtime/heap_limit.h"

// clang-format off
KVELO_HOLDS(
    "C_PtrInCore::C_PtrInCore", "C_PtrInCore::~C_PtrInCore", "C_PtrInCore::operator=",
    "C_PtrInCore::Attach", "C_PtrInCore::Swap", "C_PtrInCore::Lnk", "C_PtrInCore::Copy",
    "C_PtrInCore::InCore", "C_PtrInCore::Load", "C_PtrInCore::UnLoad", "C_PtrInCore::Resize",
    "C_PtrInCore::Adr", "C_PtrInCore::GetVal", "C_PtrInCore::SetVal", "C_PtrInCore::operator[]",
    "C_PtrInCore::Extract", "C_PtrInCore::Write", "C_PtrInCore::Zero", "C_PtrInCore::Init",
    "C_PtrInCore::Sum", "C_PtrInCore::SMlt", "C_PtrInCore::Nrm2", "C_PtrInCore::Release",
    "C_PtrInCore::InOwnedBuffer",
    "C_Ptr::C_Ptr", "C_Ptr::~C_Ptr", "C_Ptr::operator=", "C_Ptr::Lnk", "C_Ptr::Load",
    "C_Ptr::UnLoad", "C_Ptr::Resize", "C_Ptr::Adr", "C_Ptr::SetVal", "C_Ptr::operator[]",
    "C_Ptr::Extract", "C_Ptr::Write", "C_Ptr::Zero", "C_Ptr::Init", "C_Ptr::Nrm2");
// clang-format on

namespace {

using namespace pvec;
template <class T>
using Store = C_PtrInCore<T, int>;

// What a storage shows: owner flag, address, allocated length and the values it holds.
template <class T>
struct Shot {
  int owns;
  const T* data;
  int nalloc;
  std::vector<T> values;
  bool operator==(const Shot& o) const {
    return owns == o.owns && data == o.data && nalloc == o.nalloc && SameBits(values, o.values);
  }
};
template <class T>
Shot<T> Take(const Store<T>& s, int n) {
  Shot<T> r{s.owns, s.data, s.nalloc, {}};
  if (s.data && n > 0) r.values.assign(s.data, s.data + n);
  return r;
}

// An owned storage holding vals.
template <class T>
std::unique_ptr<Store<T>> Owned(const std::vector<T>& vals) {
  auto s = std::make_unique<Store<T>>(static_cast<int>(vals.size()));
  RC_ASSERT(s->owns == 1);
  RC_ASSERT(s->nalloc == static_cast<int>(vals.size()));
  for (size_t i = 0; i < vals.size(); ++i) RC_ASSERT(s->SetVal(static_cast<int>(i), vals[i]) == 1);
  return s;
}

// A caller's array of n values between sentinels.
template <class T>
struct Caller {
  std::vector<T> mem;
  std::vector<T> orig;
  explicit Caller(const std::vector<T>& vals) {
    mem.push_back(T(77));
    mem.insert(mem.end(), vals.begin(), vals.end());
    mem.push_back(T(-77));
    orig = mem;
  }
  T* at() { return mem.data() + 1; }
  bool Untouched() const { return SameBits(mem, orig); }
};

// ---- Assignment from a view of the storage's own buffer (and from other storages). ----
template <class T>
void AssignmentProperty() {
  const int n = *rc::gen::inRange(0, 9);
  const std::vector<T> vals = Values<T>(n);
  auto s = Owned(vals);
  const int kind = *rc::gen::inRange(0, 5);
  if (kind == 0 && n > 0) {
    // A view into the own buffer: at its start changes nothing; past it (end included) the
    // buffer would be given back under the view, so it is refused with 2870, nothing changed.
    const int k = *rc::gen::inRange(0, n + 1);
    RC_TAG("own view");
    std::unique_ptr<C_Ptr<T, int>> view(s->Lnk(k));
    RC_ASSERT(view != nullptr);
    RC_ASSERT(view->Adr(0) == s->data + k);
    // The buffer and the address just past it are what the storage would give back.
    RC_ASSERT(s->InOwnedBuffer(s->data + k));
    RC_ASSERT(!s->InOwnedBuffer(nullptr));
    const Shot<T> before = Take(*s, n);
    const int code = Code([&] { *s = *static_cast<Store<T>*>(view.get()); });
    RC_ASSERT(code == (k == 0 ? 0 : 2870));
    RC_ASSERT(Take(*s, n) == before);
    return;
  }
  if (kind == 1) {
    // Another owned storage: this one gives its buffer back and borrows the other's.
    const std::vector<T> ov = Values<T>(*rc::gen::inRange(0, 6));
    auto o = Owned(ov);
    *s = *o;
    RC_ASSERT(s->data == o->data);
    RC_ASSERT(s->owns == (o->data ? 0 : 1));
    RC_ASSERT(s->nalloc == 0);
    RC_ASSERT(SameBits(Take(*s, static_cast<int>(ov.size())).values, Take(*o, static_cast<int>(ov.size())).values));
    s.reset();  // a borrower gives back nothing: o's buffer stays
    RC_ASSERT(SameBits(Take(*o, static_cast<int>(ov.size())).values, ov));
    return;
  }
  if (kind == 2) {
    // A storage that borrows a caller's array.
    Caller<T> c(Values<T>(*rc::gen::inRange(0, 5)));
    Store<T> b(c.at());
    *s = b;
    RC_ASSERT(s->data == c.at() && s->owns == 0 && s->nalloc == 0);
    s.reset();
    RC_ASSERT(c.Untouched());
    return;
  }
  if (kind == 3) {
    // Itself, and a copy that borrows its buffer: nothing changes.
    const Shot<T> before = Take(*s, n);
    Store<T>& same = *s;
    *s = same;
    RC_ASSERT(Take(*s, n) == before);
    Store<T> copy(*s);
    RC_ASSERT(copy.data == s->data && copy.nalloc == 0 && copy.owns == (s->data ? 0 : 1));
    *s = copy;
    RC_ASSERT(Take(*s, n) == before);
    return;
  }
  // An empty storage: the buffer is given back, and the storage owns what it allocates next.
  Store<T> e;
  *s = e;
  RC_ASSERT(s->data == nullptr && s->owns == 1 && s->nalloc == 0);
  s->Resize(2);
  RC_ASSERT(s->owns == 1 && s->nalloc == 2 && s->GetVal(0) == T() && s->GetVal(1) == T());
}

RC_GTEST_PROP(PtrInCore, AssignmentDouble, ()) { AssignmentProperty<double>(); }
RC_GTEST_PROP(PtrInCore, AssignmentComplex, ()) { AssignmentProperty<cd>(); }
RC_GTEST_PROP(PtrInCore, AssignmentInt, ()) { AssignmentProperty<int>(); }

// ---- Attach: the own buffer at its start changes nothing; inside it or at its end is
// refused (2870, nothing changed); anything else is borrowed after the own buffer is freed. ----
template <class T>
void AttachProperty() {
  const int n = *rc::gen::inRange(0, 9);
  const std::vector<T> vals = Values<T>(n);
  auto s = Owned(vals);
  const int kind = *rc::gen::inRange(0, 4);
  if (kind == 0 && n > 0) {
    const int k = *rc::gen::inRange(0, n + 1);
    RC_TAG("own buffer");
    const Shot<T> before = Take(*s, n);
    const int code = Code([&] { s->Attach(s->data + k); });
    RC_ASSERT(code == (k == 0 ? 0 : 2870));
    RC_ASSERT(Take(*s, n) == before);
    return;
  }
  if (kind == 1) {
    s->Attach(nullptr);
    RC_ASSERT(s->data == nullptr && s->owns == 0 && s->nalloc == 0);
    // Borrowing and empty: a resize allocates a buffer the storage gives back itself.
    RC_ASSERT(s->Resize(3) == 0);
    RC_ASSERT(s->data != nullptr && s->GetVal(2) == T());
    return;
  }
  Caller<T> c(Values<T>(*rc::gen::inRange(0, 6)));
  const int m = static_cast<int>(c.mem.size()) - 2;
  s->Attach(c.at());
  RC_ASSERT(s->data == c.at() && s->owns == 0 && s->nalloc == 0);
  // A borrowing storage may be pointed anywhere in what it borrows.
  if (m > 0) {
    const int k = *rc::gen::inRange(0, m + 1);
    s->Attach(c.at() + k);
    RC_ASSERT(s->data == c.at() + k && s->owns == 0);
  }
  // It cannot grow, and a refused resize changes nothing.
  const Shot<T> before = Take(*s, 0);
  RC_ASSERT(Code([&] { s->Resize(*rc::gen::inRange(1, 5)); }) == 2870);
  RC_ASSERT(Take(*s, 0) == before);
  s.reset();
  RC_ASSERT(c.Untouched());
}

RC_GTEST_PROP(PtrInCore, AttachDouble, ()) { AttachProperty<double>(); }
RC_GTEST_PROP(PtrInCore, AttachComplex, ()) { AttachProperty<cd>(); }
RC_GTEST_PROP(PtrInCore, AttachInt, ()) { AttachProperty<int>(); }

// ---- Copy from itself, a view of itself, or another storage; Resize; Release; Swap. ----
template <class T>
void CopyResizeProperty() {
  const int n = *rc::gen::inRange(0, 9);
  const std::vector<T> vals = Values<T>(n);
  auto s = Owned(vals);
  const int kind = *rc::gen::inRange(0, 6);
  if (kind <= 2) {
    std::unique_ptr<C_Ptr<T, int>> view;
    std::unique_ptr<Store<T>> other;
    std::vector<T> src;
    C_Ptr<T, int>* from = nullptr;
    if (kind == 0) {
      from = s.get();
      src = vals;
    } else if (kind == 1) {
      const int k = *rc::gen::inRange(0, n + 1);
      view.reset(s->Lnk(k));
      from = view.get();
      src.assign(vals.begin() + k, vals.end());
    } else {
      src = Values<T>(*rc::gen::inRange(0, 6));
      other = Owned(src);
      from = other.get();
    }
    const int avail = static_cast<int>(src.size());
    const int count = *rc::gen::inRange(-1, avail + 1);
    const bool starve = *rc::gen::inRange(0, 4) == 0;
    const Shot<T> before = Take(*s, n);
    int code = 0;
    {
      if (starve) kvrt::SetHeapBlocksLeft(0);
      code = Code([&] { s->Copy(*from, count); });
      kvrt::SetHeapBlocksLeft(-1);
    }
    if (count < 0) {
      RC_ASSERT(code == 2);
      RC_ASSERT(Take(*s, n) == before);
    } else if (count == 0) {
      RC_ASSERT(code == 0);
      RC_ASSERT(s->data == nullptr && s->owns == 1 && s->nalloc == 0);
    } else if (!from->Adr(0) && !(kind == 0 || kind == 1)) {
      RC_ASSERT(code == 38);
      RC_ASSERT(Take(*s, n) == before);
    } else if (starve) {
      RC_ASSERT(code == 1001);
      RC_ASSERT(Take(*s, n) == before);
    } else {
      RC_ASSERT(code == 0);
      RC_ASSERT(s->owns == 1 && s->nalloc == count);
      RC_ASSERT(SameBits(Take(*s, count).values, std::vector<T>(src.begin(), src.begin() + count)));
    }
    return;
  }
  if (kind == 3) {
    const int m = *rc::gen::inRange(-1, 2 * n + 3);
    const bool starve = m > n && *rc::gen::inRange(0, 3) == 0;
    const Shot<T> before = Take(*s, n);
    if (starve) kvrt::SetHeapBlocksLeft(0);
    const int code = Code([&] { s->Resize(m); });
    kvrt::SetHeapBlocksLeft(-1);
    if (m < 0 || starve) {
      RC_ASSERT(code == (m < 0 ? 2 : 1001));
      RC_ASSERT(Take(*s, n) == before);
      return;
    }
    RC_ASSERT(code == 0);
    RC_ASSERT(s->nalloc == m && s->owns == 1);
    std::vector<T> want(vals.begin(), vals.begin() + std::min(n, m));
    want.resize(static_cast<size_t>(m), T());
    RC_ASSERT(SameBits(Take(*s, m).values, want));
    return;
  }
  if (kind == 4) {
    auto o = Owned(Values<T>(*rc::gen::inRange(0, 5)));
    const Shot<T> a = Take(*s, 0), b = Take(*o, 0);
    s->Swap(*o);
    RC_ASSERT(Take(*s, 0) == b && Take(*o, 0) == a);
    return;
  }
  Caller<T> c(Values<T>(*rc::gen::inRange(0, 4)));
  Store<T> b(c.at());
  b.Release();
  RC_ASSERT(b.data == nullptr && b.owns == 1);
  RC_ASSERT(c.Untouched());
  s->Release();
  RC_ASSERT(s->data == nullptr && s->owns == 1 && s->nalloc == 0);
}

RC_GTEST_PROP(PtrInCore, CopyResizeDouble, ()) { CopyResizeProperty<double>(); }
RC_GTEST_PROP(PtrInCore, CopyResizeComplex, ()) { CopyResizeProperty<cd>(); }
RC_GTEST_PROP(PtrInCore, CopyResizeInt, ()) { CopyResizeProperty<int>(); }

// The 2-norm as the storage gives it, from a long-double reference.
template <class T>
bool NormOk(T got, const std::vector<T>& v) {
  long double s = 0;
  bool nan = false, inf = false;
  for (const T& x : v) {
    if (HasNaN(x)) nan = true;
    if (!AllFinite(x)) inf = true;
    const long double m = MagL(x);
    if (std::isfinite(m)) s += m * m;
  }
  const long double r = std::sqrt(s);
  if constexpr (std::is_integral<T>::value) {
    if (r >= INT_MAX) return got == INT_MAX;
    // The truncated root: the one exact integer below, one step either side for roundings.
    return std::fabs(static_cast<long double>(got) - std::floor(r)) <= 1;
  } else if constexpr (std::is_floating_point<T>::value) {
    if (nan) return got != got;
    if (inf) return std::isinf(got);
    // A sum of n squares carries up to n roundings, its root half as many.
    return Near(got, r, r, (v.size() + 4) * DBL_EPSILON);
  } else {
    if (nan) return std::isnan(got.real());
    if (inf) return std::isinf(got.real());
    return got.imag() == 0 && Near(got.real(), r, r, (2 * v.size() + 4) * DBL_EPSILON);
  }
}

// ---- Range operations of the in-core storage against the values. ----
template <class T>
void RangeProperty() {
  const int n = *rc::gen::inRange(0, 10);
  const std::vector<T> vals = Values<T>(n);
  auto s = Owned(vals);
  const int first = *rc::gen::inRange(0, n + 1);
  const int cnt = *rc::gen::inRange(-1, n - first + 1);
  const int m = cnt > 0 ? cnt : 0;
  const std::vector<T> part(vals.begin() + first, vals.begin() + first + m);
  RC_ASSERT(s->InCore() == 1 && s->Load() == 0 && s->UnLoad() == 0);
  RC_ASSERT(s->Adr(first) == s->data + first);
  RC_ASSERT(s->Extract(first, cnt, nullptr) == s->data + first);
  for (int i = 0; i < n; ++i) {
    RC_ASSERT(SameBits(s->GetVal(i), vals[static_cast<size_t>(i)]));
    RC_ASSERT(&(*s)[i] == s->data + i);
  }
  switch (*rc::gen::inRange(0, 7)) {
    case 0: {  // Extract into a heap buffer; with no heap left: 1001, storage unchanged
      T* buf = static_cast<T*>(kvelomem_calloc(1, sizeof(T), "prop_ptr", 0, __FILE__, __LINE__));
      RC_ASSERT(buf != nullptr);
      const bool starve = cnt > 0 && *rc::gen::inRange(0, 3) == 0;
      const Shot<T> before = Take(*s, n);
      T* out = nullptr;
      if (starve) kvrt::SetHeapBlocksLeft(0);
      const int code = Code([&] { out = s->Extract(first, cnt, buf); });
      kvrt::SetHeapBlocksLeft(-1);
      RC_ASSERT(Take(*s, n) == before);
      if (starve) {
        RC_ASSERT(code == 1001);
        out = buf;
      } else {
        RC_ASSERT(code == 0);
        if (cnt <= 0) RC_ASSERT(out == buf);
        RC_ASSERT(SameBits(std::vector<T>(out, out + m), part));
      }
      kvelomem_free(out, __FILE__, __LINE__);
      break;
    }
    case 1: {  // the values as one big-endian array; nothing written for an empty range
      int rc = 0;
      const Bytes b = Written([&](FILE* f) { rc = s->Write(f, first, cnt); });
      Bytes want;
      for (const T& x : part) PutBE(want, x);
      RC_ASSERT(rc == (m > 0 ? 0 : -1));
      RC_ASSERT(b == want);
      RC_ASSERT(s->Write(nullptr, first, cnt) == -1);
      break;
    }
    case 2: {
      RC_ASSERT(s->Zero(first, cnt) == 0);
      std::vector<T> want = vals;
      for (int i = first; i < first + m; ++i) want[static_cast<size_t>(i)] = T();
      RC_ASSERT(SameBits(Take(*s, n).values, want));
      break;
    }
    case 3: {
      const T v = *AnyOf<T>();
      RC_ASSERT(s->Init(v, first, cnt) == 0);
      std::vector<T> want = vals;
      for (int i = first; i < first + m; ++i) want[static_cast<size_t>(i)] = v;
      RC_ASSERT(SameBits(Take(*s, n).values, want));
      break;
    }
    case 4: {  // Sum in element order (integers wrap, doubles in double)
      const T got = s->Sum(first, cnt);
      if constexpr (std::is_integral<T>::value) {
        unsigned w = 0;
        for (const T& x : part) w += static_cast<unsigned>(x);
        RC_ASSERT(got == static_cast<T>(w));
      } else {
        T w = T();
        for (const T& x : part) w += x;
        RC_ASSERT(SameValue(got, w));
      }
      break;
    }
    case 5: {  // SMlt: every element a x, NaN and infinities kept by a zero factor
      const T a = *rc::gen::weightedOneOf<T>({{1, rc::gen::just(T())}, {3, AnyOf<T>()}});
      RC_ASSERT(s->SMlt(a, first, cnt) == 0);
      const std::vector<T> got = Take(*s, n).values;
      for (int i = 0; i < n; ++i) {
        const size_t k = static_cast<size_t>(i);
        if (i >= first && i < first + m) {
          RC_LOG() << "x=" << vals[k] << " a=" << a << " got=" << got[k] << "\n";
          RC_ASSERT(ScaledOk(got[k], vals[k], a));
        } else {
          RC_ASSERT(SameBits(got[k], vals[k]));
        }
      }
      break;
    }
    default: {
      T out = T(5);
      RC_ASSERT(s->Nrm2(first, cnt, out) == 0);
      RC_LOG() << "norm " << out << "\n";
      RC_ASSERT(NormOk(out, part));
      RC_ASSERT(SameBits(Take(*s, n).values, vals));
    }
  }
}

RC_GTEST_PROP(PtrInCore, RangeDouble, ()) { RangeProperty<double>(); }
RC_GTEST_PROP(PtrInCore, RangeComplex, ()) { RangeProperty<cd>(); }
RC_GTEST_PROP(PtrInCore, RangeInt, ()) { RangeProperty<int>(); }

// ---- The block-wise defaults of C_Ptr, through a storage that keeps its values out of core
// (reached only through Extract into a heap buffer). ----
template <class T>
class OutStore : public C_Ptr<T, int> {
 public:
  std::vector<T> v;
  int extracts = 0;
  void Copy(C_Ptr<T, int>&, int) override {}
  int InCore() override { return 0; }
  T GetVal(int i) override { return v[static_cast<size_t>(i)]; }
  T Sum(int, int) override { return T(); }
  int SMlt(T, int, int) override { return 0; }
  T* Extract(int first, int n, T* buf) override {
    ++extracts;
    if (!buf) return nullptr;
    T* out = static_cast<T*>(kvelomem_realloc(buf, static_cast<size_t>(n) * sizeof(T), "OutStore", 0, __FILE__, __LINE__));
    if (!out) KVELO_THROW(1001);
    std::memcpy(static_cast<void*>(out), v.data() + first, static_cast<size_t>(n) * sizeof(T));
    return out;
  }
};

template <class T>
void DefaultsProperty() {
  const bool longer = *rc::gen::inRange(0, 8) == 0;
  const int n = longer ? *rc::gen::inRange(4090, 9000) : *rc::gen::inRange(0, 12);
  OutStore<T> o;
  o.v = longer ? std::vector<T>(static_cast<size_t>(n), T(3)) : Values<T>(n);
  if (longer)
    for (int i = 0; i < n; i += 97) o.v[static_cast<size_t>(i)] = *AnyOf<T>();
  const int first = *rc::gen::inRange(0, n + 1);
  const int cnt = *rc::gen::inRange(-1, n - first + 1);
  const int m = cnt > 0 ? cnt : 0;
  const std::vector<T> part(o.v.begin() + first, o.v.begin() + first + m);
  // The defaults of what a storage need not offer.
  RC_ASSERT(o.Lnk(0) == nullptr);
  RC_ASSERT(o.Adr(0) == nullptr);
  RC_ASSERT(o.SetVal(0, T(1)) == 0);
  RC_ASSERT(Code([&] { o.Load(); }) == 2871);
  RC_ASSERT(Code([&] { o.UnLoad(); }) == 2871);
  RC_ASSERT(Code([&] { o.Resize(2); }) == 2871);
  RC_ASSERT(Code([&] { o[0]; }) == 2871);
  RC_ASSERT(Code([&] { o.Zero(0, 1); }) == 2871);
  RC_ASSERT(Code([&] { o.Init(T(1), 0, 1); }) == 2871);
  RC_ASSERT(Code([&] { static_cast<C_Ptr<T, int>&>(*Owned<T>({})).C_Ptr<T, int>::Extract(0, 1, nullptr); }) == 2871);
  OutStore<T> copied(o);
  copied = o;
  const bool starve = m > 0 && *rc::gen::inRange(0, 4) == 0;
  if (*rc::gen::inRange(0, 2) == 0) {
    int rc = 0, code = 0;
    if (starve) kvrt::SetHeapBlocksLeft(0);
    const Bytes b = Written([&](FILE* f) { rc = o.Write(f, first, cnt); }, &code);
    kvrt::SetHeapBlocksLeft(-1);
    if (starve) {
      RC_ASSERT(code == 1001);
      RC_ASSERT(b.empty());
      return;
    }
    Bytes want;
    for (const T& x : part) PutBE(want, x);
    RC_ASSERT(code == 0);
    RC_ASSERT(rc == (m > 0 ? 0 : -1));
    RC_ASSERT(b == want);
    // The same bytes as the in-core storage writes.
    auto s = Owned(o.v);
    RC_ASSERT(Written([&](FILE* f) { s->Write(f, first, cnt); }) == want);
  } else {
    T out = T(5);
    if (starve) kvrt::SetHeapBlocksLeft(0);
    const int code = Code([&] { o.Nrm2(first, cnt, out); });
    kvrt::SetHeapBlocksLeft(-1);
    if (starve) {
      RC_ASSERT(code == 1001);
      RC_ASSERT(SameBits(out, T(5)));
      return;
    }
    RC_ASSERT(code == 0);
    RC_LOG() << "n " << n << " first " << first << " count " << cnt << " norm " << out << "\n";
    RC_ASSERT(NormOk(out, part));
  }
}

RC_GTEST_PROP(PtrDefaults, BlockwiseDouble, ()) { DefaultsProperty<double>(); }
RC_GTEST_PROP(PtrDefaults, BlockwiseComplex, ()) { DefaultsProperty<cd>(); }
RC_GTEST_PROP(PtrDefaults, BlockwiseInt, ()) { DefaultsProperty<int>(); }

// ---- The constructor's fill value (a NaN fills) and its want of memory. ----
template <class T>
void ConstructProperty() {
  const int n = *rc::gen::inRange(-2, 8);
  const T init = *rc::gen::weightedOneOf<T>({{1, rc::gen::just(T())}, {3, AnyOf<T>()}});
  if (n > 0 && *rc::gen::inRange(0, 4) == 0) {
    kvrt::SetHeapBlocksLeft(0);
    const int code = Code([&] { Store<T> s(n, init); });
    kvrt::SetHeapBlocksLeft(-1);
    RC_ASSERT(code == 1001);
    return;
  }
  Store<T> s(n, init);
  RC_ASSERT(s.owns == 1);
  if (n <= 0) {
    RC_ASSERT(s.data == nullptr && s.nalloc == 0);
    return;
  }
  RC_ASSERT(s.nalloc == n);
  for (int i = 0; i < n; ++i) RC_ASSERT(SameBits(s.GetVal(i), init) || (init == T() && s.GetVal(i) == T()));
}

RC_GTEST_PROP(PtrInCore, ConstructDouble, ()) { ConstructProperty<double>(); }
RC_GTEST_PROP(PtrInCore, ConstructComplex, ()) { ConstructProperty<cd>(); }
RC_GTEST_PROP(PtrInCore, ConstructInt, ()) { ConstructProperty<int>(); }

}  // namespace
