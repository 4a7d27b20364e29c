// prop_cm_sparse.cpp: the sparse real vectors (search-tree VECM, packed VECMP, windowed
// VECMW) driven by random command sequences against a map of index to value. After every
// command the record must hold what the map holds; conversions between the three forms and the
// dense vector must agree; products and norms must agree with a long-double reference over
// values from the whole range; refusals must leave records and outputs as they were; each
// binary form must read back and write again byte for byte, and a cut form must be refused.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "matrix.h"
#include "msgcapture.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"
#include "vmorse.h"

// clang-format off
KVELO_HOLDS(
    "LM_vecm_get", "LM_vecm_copy", "LM_vecm_zero", "LM_vecm_addval", "LM_vecm_getval", "vecm_free",
    "LM_vecm2vec", "LM_vec2vecm", "LM_pscal_vecm", "LM_vecm_norm2", "LM_pscal_vvecm", "LM_vecm_scal",
    "_LM_vvecm_mltadd", "LM_vecm_daxpy", "vecm_RateCompletion", "v_RateCompletion", "vecm_output",
    "vecm_boutput", "v_boutput_as_vecm", "LM_vecm_binput",
    "LM_vecmp_get", "LM_vecmp_copy", "vecmp_free", "LM_vec2vecmp", "LM_vecm2vecmp", "BT_fill_pack",
    "LM_vecmp2vecm", "LM_pscal_vvecmp", "LM_vecmp_norm2", "_LM_vvecmp_mltadd", "_LM_vvecmp_daxpy_idx",
    "vecmp_RateCompletion", "vecmp_output", "vecmp_boutput", "vecm_boutput_as_vecmp",
    "LM_vecmp_binput",
    "LM_vec2vecmw", "LM_vecmp2vecmw", "LM_vecmw2vec", "LM_vecmw2vecm", "LM_vecmw_copy", "vecmw_free",
    "LM_pscal_vvecmw", "LM_vecmw_norm2", "_LM_vvecmw_mltadd2", "_LM_vvecmw_mltadd",
    "_LM_vvecmw_daxpy_idx", "LM_vecmw_sizebloc", "LM_v_RatioBloc", "vecmw_output", "vecmw_boutput",
    "LM_vecmw_binput");
// clang-format on

namespace {

using Entries = std::map<int, double>;

struct Model {
  int dim = 0;
  Entries e;
};

struct Sut {
  VECM* v = nullptr;
  ~Sut() { vecm_free(v); }
};

// ---- Readers of the records. ----

Entries Held(VECM* v) {
  Entries out;
  RC_ASSERT(v->nnz >= 0 && v->nnz <= v->max_nnz);
  for (int k = 0; k < v->nnz; ++k) {
    RC_ASSERT(out.count(v->pool[k].idx) == 0u);
    out[v->pool[k].idx] = v->pool[k].val;
  }
  return out;
}
Entries Held(VECMP* p) {
  Entries out;
  for (int k = 0; k < p->nnz; ++k) {
    if (k > 0) RC_ASSERT(p->idx[k] > p->idx[k - 1]);
    out[p->idx[k]] = p->val[k];
  }
  return out;
}
std::vector<double> Dense(const Model& m) {
  std::vector<double> d(m.dim, 0.0);
  for (const auto& kv : m.e) d[kv.first] = kv.second;
  return d;
}

// The same indices and values: bit for bit, or (for values that come out of arithmetic, where
// which NaN an operation returns depends on its operand order) any NaN for any NaN.
bool SameEntries(const Entries& a, const Entries& b, bool bitwise = false) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    if (i->first != j->first) return false;
    const bool bothNan = std::isnan(i->second) && std::isnan(j->second);
    if (!kvtest::SameBits(i->second, j->second) && (bitwise || !bothNan)) return false;
  }
  return true;
}

// A dense copy of the model's vector: the same values bit for bit. A dense vector has at least
// one element, so the copy of an empty sparse vector is a single 0.
bool DenseIs(const VEC* x, const Model& m) {
  if (m.dim == 0) return x->dim <= 1 && (x->dim == 0 || kvtest::SameBits(x->ve[0], 0.0));
  Entries got, want;
  for (int i = 0; i < m.dim; ++i) {
    got[i] = x->ve[i];
    want[i] = 0.0;
  }
  for (const auto& kv : m.e) want[kv.first] = kv.second;
  return static_cast<int>(x->dim) == m.dim && SameEntries(got, want);
}

// The significant entries of a dense vector: |x| > 1e-16 max |finite x|, and every entry that
// is not finite.
Entries Significant(const std::vector<double>& d) {
  double big = 0.0;
  for (double x : d)
    if (std::isfinite(x)) big = std::max(big, std::fabs(x));
  Entries out;
  for (int i = 0; i < static_cast<int>(d.size()); ++i)
    if (!std::isfinite(d[i]) || std::fabs(d[i]) > 1e-16 * big) out[i] = d[i];
  return out;
}

VEC* NewVec(const std::vector<double>& d) {
  int st = 0;
  VEC* x = _LM_v_get("p", 0, static_cast<int>(d.size()), __LINE__, "p", &st);
  RC_ASSERT((x != nullptr));
  for (size_t i = 0; i < d.size(); ++i) x->ve[i] = d[i];
  return x;
}

std::vector<unsigned char> Bytes(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::vector<unsigned char> out;
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<unsigned char>(c));
  return out;
}
FILE* FileOf(const std::vector<unsigned char>& b, size_t n) {
  FILE* f = std::tmpfile();
  if (n) std::fwrite(b.data(), 1, n, f);
  std::rewind(f);
  return f;
}

// A result against its long-double reference. A reference that is NaN wants NaN; one that
// overflows wants the infinity of its sign, except that an infinite input may meet a term of
// the other sign on the way (inf - inf), where NaN is as right as the reference's infinity.
// Otherwise the result must be finite (finite in, finite out) and within tol times the scale
// of the terms.
void Near(double got, long double ref, long double scale, double tol, bool finiteInputs = true) {
  RC_LOG() << "got " << got << ", reference " << static_cast<double>(ref) << " (scale "
           << static_cast<double>(scale) << ")\n";
  const double r = static_cast<double>(ref);
  if (std::isnan(r)) {
    RC_ASSERT(std::isnan(got));
    return;
  }
  if (std::isinf(r)) {
    if (!finiteInputs && std::isnan(got)) return;
    RC_ASSERT(std::isinf(got));
    RC_ASSERT(std::signbit(got) == std::signbit(r));
    return;
  }
  RC_ASSERT(std::isfinite(got));
  RC_ASSERT(std::fabs(static_cast<long double>(got) - ref) <= tol * scale + 4.9e-324L);
}

// Dot product of two index maps against long double: the terms, their scale.
void Dot(const Entries& a, const Entries& b, long double* ref, long double* scale, bool* nonfinite) {
  *ref = 0.0L;
  *scale = 0.0L;
  *nonfinite = false;
  for (const auto& kv : a) {
    auto it = b.find(kv.first);
    if (it == b.end()) continue;
    const long double t = static_cast<long double>(kv.second) * it->second;
    *ref += t;
    *scale += std::fabs(t);
    *nonfinite = *nonfinite || !std::isfinite(kv.second) || !std::isfinite(it->second);
  }
}

long double NormRef(const Entries& e) {
  long double s = 0.0L;
  for (const auto& kv : e) s += static_cast<long double>(kv.second) * kv.second;
  return std::sqrt(s);
}

void Check(const Model& m, Sut& s) {
  RC_ASSERT(s.v->dim == m.dim);
  RC_ASSERT(SameEntries(Held(s.v), m.e));
  int st = 0;
  for (int i = -1; i <= m.dim; ++i) {
    const double got = LM_vecm_getval(s.v, i, &st);
    auto it = m.e.find(i);
    const double want = it == m.e.end() ? 0.0 : it->second;
    RC_ASSERT((kvtest::SameBits(got, want) || (std::isnan(got) && std::isnan(want))));
  }
}

using Cmd = rc::state::Command<Model, Sut>;

// Storing or adding a value at an index; an index outside the vector is refused.
struct AddVal : Cmd {
  int index = *rc::gen::inRange(-2, 40);
  double x = *kvtest::AnyDouble();
  bool add = *rc::gen::arbitrary<bool>();
  void apply(Model& m) const override {
    if (index < 0 || index >= m.dim) return;
    auto it = m.e.find(index);
    m.e[index] = add && it != m.e.end() ? it->second + x : x;
  }
  void run(const Model& m, Sut& s) const override {
    const int rc = LM_vecm_addval(s.v, index, x, add ? 1 : 0);
    RC_ASSERT(rc == (index >= 0 && index < m.dim ? 0 : -1));
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    os << "LM_vecm_addval(" << index << ", " << x << (add ? ", add" : "") << ")";
  }
};

// Scaling (stored entries stay stored, even for 0) and emptying.
struct ScaleOrZero : Cmd {
  bool zero = *rc::gen::weightedOneOf<bool>({{1, rc::gen::just(true)}, {4, rc::gen::just(false)}});
  double sc = *kvtest::AnyDouble();
  void apply(Model& m) const override {
    if (zero) m.e.clear();
    else
      for (auto& kv : m.e) kv.second *= sc;
  }
  void run(const Model& m, Sut& s) const override {
    int st = 0;
    if (zero) LM_vecm_zero(s.v, &st);
    else LM_vecm_scal(s.v, sc, &st);
    RC_ASSERT(st == 0);
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    if (zero) os << "LM_vecm_zero";
    else os << "LM_vecm_scal(" << sc << ")";
  }
};

// The three forms and the dense vector hold the same entries through every conversion, and
// the norms of all three agree with the reference.
struct Conversions : Cmd {
  void run(const Model& m, Sut& s) const override {
    int st = 0;
    VEC* d = LM_vecm2vec(s.v, nullptr, &st);
    RC_ASSERT((d != nullptr));
    RC_ASSERT(DenseIs(d, m));
    VECMP* p = LM_vecm2vecmp(s.v, &st);
    RC_ASSERT((p != nullptr));
    RC_ASSERT(SameEntries(Held(p), m.e));
    VECM* back = LM_vecmp2vecm(p, &st);
    RC_ASSERT((back != nullptr));
    RC_ASSERT(SameEntries(Held(back), Held(s.v), true));
    VECMW* w = LM_vecmp2vecmw(p, &st);
    RC_ASSERT((w != nullptr));
    VEC* dw = LM_vecmw2vec(w, nullptr, &st);
    RC_ASSERT(DenseIs(dw, m));
    VECM* fromW = LM_vecmw2vecm(w, &st);
    RC_ASSERT(SameEntries(Held(fromW), m.e));
    // From the dense form only the significant entries come back, in each form.
    const Entries sig = Significant(Dense(m));
    VECM* s1 = LM_vec2vecm(d, &st);
    VECMP* s2 = LM_vec2vecmp(d, &st);
    VECMW* s3 = LM_vec2vecmw(d, &st);
    RC_ASSERT((s1 && s2 && s3));
    RC_ASSERT(SameEntries(Held(s1), sig));
    RC_ASSERT(SameEntries(Held(s2), sig));
    VEC* d3 = LM_vecmw2vec(s3, nullptr, &st);
    Model significant = m;
    significant.e = sig;
    RC_ASSERT(DenseIs(d3, significant));
    // Norms.
    const long double ref = NormRef(m.e);
    for (double got : {LM_vecm_norm2(s.v, &st), LM_vecmp_norm2(p, &st), LM_vecmw_norm2(w, &st)})
      Near(got, ref, ref, 4e-16 * (m.e.size() + 1));
    // Copies of every form.
    VECM* c1 = LM_vecm_copy(s.v, nullptr, &st);
    VECMP* c2 = LM_vecmp_copy(p, nullptr, &st);
    VECMW* c3 = LM_vecmw_copy(w, nullptr, &st);
    RC_ASSERT(SameEntries(Held(c1), m.e));
    RC_ASSERT(SameEntries(Held(c2), m.e));
    VEC* dc3 = LM_vecmw2vec(c3, nullptr, &st);
    RC_ASSERT(DenseIs(dc3, m));
    // The packing walk of the tree lists the entries in ascending order.
    std::vector<int> idx(m.e.size() + 1);
    std::vector<double> val(m.e.size() + 1);
    int count = 0;
    BT_fill_pack(s.v->root, idx.data(), val.data(), &count);
    RC_ASSERT(count == static_cast<int>(m.e.size()));
    int k = 0;
    for (const auto& kv : Held(s.v)) {
      RC_ASSERT(idx[k] == kv.first);
      RC_ASSERT(kvtest::SameBits(val[k], kv.second));
      ++k;
    }
    // Shares of stored entries.
    if (m.dim > 0) {
      RC_ASSERT(vecm_RateCompletion(s.v, &st) == static_cast<double>(m.e.size()) / m.dim);
      RC_ASSERT(vecmp_RateCompletion(p, &st) == static_cast<double>(m.e.size()) / m.dim);
    }
    for (VEC* x : {d, dw, d3, dc3}) v_free(x);
    for (VECM* x : {back, fromW, s1, c1}) vecm_free(x);
    for (VECMP* x : {p, s2, c2}) vecmp_free(x);
    for (VECMW* x : {w, s3, c3}) vecmw_free(x);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "conversions, norms, copies"; }
};

// Products with a second sparse vector and with dense vectors, against long double.
struct Products : Cmd {
  std::vector<double> a = *rc::gen::container<std::vector<double>>(40, kvtest::AnyDouble());
  std::map<int, double> other = *rc::gen::container<std::map<int, double>>(rc::gen::inRange(0, 40), kvtest::AnyDouble());
  void run(const Model& m, Sut& s) const override {
    if (m.dim == 0) return Check(m, s);  // no dense operand has 0 elements
    int st = 0;
    Entries b;
    for (const auto& kv : other)
      if (kv.first < m.dim) b[kv.first] = kv.second;
    VECM* vb = LM_vecm_get(m.dim, static_cast<int>(b.size()), &st);
    RC_ASSERT((vb != nullptr));
    for (const auto& kv : b) RC_ASSERT(LM_vecm_addval(vb, kv.first, kv.second, 0) == 0);
    long double ref, scale;
    bool nf;
    Dot(m.e, b, &ref, &scale, &nf);
    Near(LM_pscal_vecm(s.v, vb, &st), ref, scale, 1e-15 * (m.e.size() + 1), !nf);
    std::vector<double> dense(a.begin(), a.begin() + m.dim);
    Entries da;
    for (int i = 0; i < m.dim; ++i) da[i] = dense[i];
    Dot(da, m.e, &ref, &scale, &nf);
    VEC* va = NewVec(dense);
    VECMP* p = LM_vecm2vecmp(s.v, &st);
    VECMW* w = LM_vecmp2vecmw(p, &st);
    for (double got : {LM_pscal_vvecm(va, s.v, &st), LM_pscal_vvecmp(va, p, &st), LM_pscal_vvecmw(va, w, &st)})
      Near(got, ref, scale, 1e-15 * (m.e.size() + 1), !nf);
    // Different dimensions are refused with 0.
    VEC* shorter = NewVec(std::vector<double>(m.dim + 1, 1.0));
    st = 0;
    RC_ASSERT(LM_pscal_vvecm(shorter, s.v, &st) == 0.0);
    RC_ASSERT(st != 0);
    v_free(shorter);
    v_free(va);
    vecm_free(vb);
    vecmp_free(p);
    vecmw_free(w);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "products with " << other.size() << " entries"; }
};

// out := a + s b in each form, into a new vector and in place over a; y := y + s x between
// tree vectors; scatter and gather of the packed and windowed forms.
struct MultiplyAdd : Cmd {
  std::vector<double> a = *rc::gen::container<std::vector<double>>(40, kvtest::AnyDouble());
  double sc = *kvtest::AnyDouble();
  bool inPlace = *rc::gen::arbitrary<bool>();
  void run(const Model& m, Sut& s) const override {
    if (m.dim == 0) return Check(m, s);  // no dense operand has 0 elements
    int st = 0;
    std::vector<double> dense(a.begin(), a.begin() + m.dim);
    std::vector<long double> ref(m.dim);
    for (int i = 0; i < m.dim; ++i) {
      auto it = m.e.find(i);
      ref[i] = it == m.e.end() ? static_cast<long double>(dense[i])
                               : dense[i] + static_cast<long double>(sc) * it->second;
    }
    VECMP* p = LM_vecm2vecmp(s.v, &st);
    VECMW* w = LM_vecmp2vecmw(p, &st);
    for (int form = 0; form < 3; ++form) {
      VEC* va = NewVec(dense);
      VEC* out = inPlace ? va : nullptr;
      st = 0;
      VEC* r = form == 0   ? _LM_vvecm_mltadd(va, s.v, sc, out, __LINE__, "p", &st)
               : form == 1 ? _LM_vvecmp_mltadd(va, p, sc, out, __LINE__, "p", &st)
                           : _LM_vvecmw_mltadd(va, w, sc, out, __LINE__, "p", &st);
      RC_ASSERT((r != nullptr));
      RC_ASSERT(st == 0);
      if (inPlace) RC_ASSERT((r == va));
      for (int i = 0; i < m.dim; ++i) {
        auto it = m.e.find(i);
        // Where nothing is stored the entry is a's, bit for bit; so is every entry for s = 0,
        // which, as in the BLAS, leaves b unread.
        if (it == m.e.end() || sc == 0.0) RC_ASSERT(kvtest::SameBits(r->ve[i], dense[i]));
        else {
          const long double t = static_cast<long double>(sc) * it->second;
          Near(r->ve[i], ref[i], std::fabs(static_cast<long double>(dense[i])) + std::fabs(t), 2.3e-16,
               std::isfinite(dense[i]) && std::isfinite(it->second) && std::isfinite(sc));
        }
      }
      if (r != va) v_free(r);
      v_free(va);
    }
    // Tree daxpy: y := y + s x, y holding a's entries where a is stored in the model too.
    VECM* y = LM_vecm_get(m.dim, 1, &st);
    for (const auto& kv : m.e) LM_vecm_addval(y, kv.first, dense[kv.first], 0);
    st = 0;
    LM_vecm_daxpy(s.v, sc, y, &st);
    RC_ASSERT(st == 0);
    const Entries got = Held(y);
    if (std::fabs(sc) < 1e-14) {
      for (const auto& kv : m.e) RC_ASSERT(kvtest::SameBits(got.at(kv.first), dense[kv.first]));
    } else {
      for (const auto& kv : m.e) {
        const long double t = static_cast<long double>(sc) * kv.second;
        Near(got.at(kv.first), ref[kv.first], std::fabs(static_cast<long double>(dense[kv.first])) + std::fabs(t), 2.3e-16,
             std::isfinite(dense[kv.first]) && std::isfinite(kv.second) && std::isfinite(sc));
      }
    }
    vecm_free(y);
    // Scatter of the packed and windowed forms: out[idx] = s val, others kept (packed) or
    // zero (windowed, accumulate 0).
    for (int form = 0; form < 2; ++form) {
      VEC* out = NewVec(dense);
      st = 0;
      VEC* r = form == 0 ? _LM_vvecmp_daxpy_idx(nullptr, p, 0, sc, out, __LINE__, "p", &st)
                         : _LM_vvecmw_daxpy_idx(nullptr, w, 0, sc, out, __LINE__, "p", &st);
      RC_ASSERT((r != nullptr));
      for (int i = 0; i < m.dim; ++i) {
        auto it = m.e.find(i);
        if (it == m.e.end()) RC_ASSERT(kvtest::SameBits(r->ve[i], form == 0 ? dense[i] : 0.0));
        else Near(r->ve[i], static_cast<long double>(sc) * it->second, std::fabs(static_cast<long double>(sc) * it->second), 1.2e-16);
      }
      v_free(r);
    }
    vecmp_free(p);
    vecmw_free(w);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "multiply-adds with s = " << sc << (inPlace ? " in place" : ""); }
};

// Each binary form reads back as the same entries and writes again byte for byte; a form cut
// short is refused and the record given for reuse is left as it was.
struct Binary : Cmd {
  int cut = *rc::gen::inRange(0, 600);
  void run(const Model& m, Sut& s) const override {
    int st = 0;
    VECMP* p = LM_vecm2vecmp(s.v, &st);
    VECMW* w = LM_vecmp2vecmw(p, &st);
    for (int form = 0; form < 3; ++form) {
      FILE* f = std::tmpfile();
      st = 0;
      if (form == 0) vecm_boutput(f, s.v, &st);
      else if (form == 1) vecmp_boutput(f, p, &st);
      else vecmw_boutput(f, w, &st);
      const std::vector<unsigned char> image = Bytes(f);
      std::fclose(f);
      if (m.dim == 0) {  // an empty vector has no binary form
        RC_ASSERT(st == -1);
        continue;
      }
      RC_ASSERT(st == 0);
      FILE* g = FileOf(image, image.size());
      st = 0;
      std::vector<unsigned char> again;
      FILE* h = std::tmpfile();
      if (form == 0) {
        VECM* back = LM_vecm_binput(g, nullptr, &st);
        RC_ASSERT((back != nullptr));
        RC_ASSERT(SameEntries(Held(back), Held(s.v), true));
        vecm_boutput(h, back, &st);
        vecm_free(back);
      } else if (form == 1) {
        VECMP* back = LM_vecmp_binput(g, nullptr, &st);
        RC_ASSERT((back != nullptr));
        RC_ASSERT(SameEntries(Held(back), Held(p), true));
        vecmp_boutput(h, back, &st);
        vecmp_free(back);
      } else {
        VECMW* back = LM_vecmw_binput(g, nullptr, &st);
        RC_ASSERT((back != nullptr));
        VEC* d = LM_vecmw2vec(back, nullptr, &st);
        RC_ASSERT(DenseIs(d, m));
        v_free(d);
        vecmw_boutput(h, back, &st);
        vecmw_free(back);
      }
      RC_ASSERT(Bytes(h) == image);
      std::fclose(h);
      std::fclose(g);
      if (static_cast<size_t>(cut) < image.size()) {
        FILE* c = FileOf(image, cut);
        st = 0;
        // A record given for reuse stays as it was when the read fails.
        if (form == 0) {
          VECM* reuse = LM_vecm_copy(s.v, nullptr, &st);
          RC_ASSERT((LM_vecm_binput(c, reuse, &st) == nullptr));
          RC_ASSERT(SameEntries(Held(reuse), m.e));
          vecm_free(reuse);
        } else if (form == 1) {
          VECMP* reuse = LM_vecmp_copy(p, nullptr, &st);
          RC_ASSERT((LM_vecmp_binput(c, reuse, &st) == nullptr));
          RC_ASSERT(SameEntries(Held(reuse), m.e));
          vecmp_free(reuse);
        } else {
          RC_ASSERT((LM_vecmw_binput(c, nullptr, &st) == nullptr));
        }
        std::fclose(c);
      }
    }
    // The dense and packed writers of the other forms give the same bytes as the record's own.
    if (m.dim > 0) {
      FILE* a = std::tmpfile();
      FILE* b = std::tmpfile();
      st = 0;
      vecm_boutput_as_vecmp(a, s.v, &st);
      vecmp_boutput(b, p, &st);
      RC_ASSERT(Bytes(a) == Bytes(b));
      std::fclose(a);
      std::fclose(b);
    }
    // Text forms print without changing anything.
    FILE* t = std::tmpfile();
    vecm_output(s.v, t);
    vecmp_output(p, t);
    vecmw_output(w, t);
    std::fclose(t);
    vecmp_free(p);
    vecmw_free(w);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "binary forms (cut " << cut << ")"; }
};

// The dense vector written as a tree vector reads back as its significant entries; the window
// statistics of the dense vector agree with its runs.
struct DenseForms : Cmd {
  void run(const Model& m, Sut& s) const override {
    if (m.dim == 0) return Check(m, s);
    int st = 0;
    VEC* d = NewVec(Dense(m));
    FILE* f = std::tmpfile();
    v_boutput_as_vecm(f, d, &st);
    RC_ASSERT(st == 0);
    std::rewind(f);
    VECM* back = LM_vecm_binput(f, nullptr, &st);
    std::fclose(f);
    RC_ASSERT((back != nullptr));
    RC_ASSERT(SameEntries(Held(back), Significant(Dense(m))));
    vecm_free(back);
    const Entries sig = Significant(Dense(m));
    double mean = -1.0;
    const double share = LM_v_RatioBloc(d, &mean, &st);
    int inRuns = 0;
    for (const auto& kv : sig)
      if (sig.count(kv.first - 1) || sig.count(kv.first + 1)) ++inRuns;
    RC_ASSERT(share == (sig.empty() ? 1.0 : static_cast<double>(inRuns) / sig.size()));
    VECMW* w = LM_vec2vecmw(d, &st);
    const double size = LM_vecmw_sizebloc(w, &st);
    RC_ASSERT((sig.empty() ? size == 0.0 : size > 0.0));
    int above = 0;
    for (double x : Dense(m)) above += std::fabs(x) > 0.5;
    RC_ASSERT(v_RateCompletion(d, 0.5, &st) == static_cast<double>(above) / m.dim);
    vecmw_free(w);
    v_free(d);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "dense forms and window statistics"; }
};

// Memory running out while the pool grows, or while a copy or conversion is made: refused,
// the record as it was. A refused insertion goes through once memory is back.
struct NoMemory : AddVal {
  void run(const Model& m, Sut& s) const override {
    if (index < 0 || index >= m.dim) return AddVal::run(m, s);
    const Entries before = Held(s.v);
    int st = 0;
    kvrt::SetHeapBlocksLeft(0);
    const int rc = LM_vecm_addval(s.v, index, x, add ? 1 : 0);
    VECM* copy = LM_vecm_copy(s.v, nullptr, &st);
    VECMP* p = LM_vecm2vecmp(s.v, &st);
    kvrt::SetHeapBlocksLeft(-1);
    RC_ASSERT((copy == nullptr && p == nullptr));
    if (rc != 0) {
      RC_ASSERT(SameEntries(Held(s.v), before));
      RC_ASSERT(LM_vecm_addval(s.v, index, x, add ? 1 : 0) == 0);
    }
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << "no memory: "; AddVal::show(os); }
};

}  // namespace

RC_GTEST_PROP(SparseProps, EveryOperationKeepsTheEntries, ()) {
  kvtest::MsgCapture quiet;  // refusals report; the harness reads results
  Model m;
  m.dim = *rc::gen::inRange(0, 40);
  int st = 0;
  Sut s;
  s.v = LM_vecm_get(m.dim, *rc::gen::inRange(0, m.dim + 1), &st);
  RC_ASSERT((s.v != nullptr));
  rc::state::check(m, s,
                   rc::state::gen::execOneOfWithArgs<AddVal, ScaleOrZero, Conversions, Products, MultiplyAdd,
                                                     Binary, DenseForms, NoMemory>());
}

// Creation refuses negative sizes and pools larger than the vector, leaving nothing behind.
RC_GTEST_PROP(SparseProps, CreationRefusals, ()) {
  kvtest::MsgCapture quiet;
  const int dim = *rc::gen::inRange(-3, 10);
  const int nnz = *rc::gen::inRange(-3, 12);
  int st = 0;
  VECM* v = LM_vecm_get(dim, nnz, &st);
  VECMP* p = LM_vecmp_get(dim, nnz, &st);
  const bool ok = dim >= 0 && nnz >= 0 && nnz <= dim;
  RC_ASSERT((v != nullptr) == ok);
  RC_ASSERT((p != nullptr) == ok);
  if (p) {
    RC_ASSERT(p->nnz == nnz);
    for (int k = 0; k < nnz; ++k) RC_ASSERT(p->val[k] == 0.0);
  }
  vecm_free(v);
  vecmp_free(p);
}
