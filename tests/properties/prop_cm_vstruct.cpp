// prop_cm_vstruct.cpp: structured lists of vectors (dense, tree, packed and windowed items;
// unpacked lists and packed lists in memory or out of core) driven by random command
// sequences against a list of dense vectors. After every command each item must hold what
// the model holds; item operations must agree with dense arithmetic; a refused call must leave
// every item as it was; an out-of-core pack that was stored must either be refused by the item
// operations or be mapped again, never read through a released mapping; and no data file may
// outlive its list.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <cmath>
#include <optional>
#include <vector>

#include "kvelomem_ooc.h"
#include "matrix.h"
#include "meminfo.h"
#include "msgcapture.h"
#include "ooc_files.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"
#include "vmorse.h"
#include "vstruct.h"

// clang-format off
KVELO_HOLDS(
    "_LM_vs_get", "_LM_vs_get_liste", "_LM_vs_get_liste_pack", "_LM_vs_resize",
    "_LM_vs_resize_liste", "_LM_vs_resize_liste_pack", "_LM_vs_store", "_LM_vs_reload", "vs_free",
    "vs_free_vars", "_LM__vs_copy", "LM_vs_CopyVec", "LM_vs_XtractVec", "LM_vs_v_mltadd",
    "LM_vs_in_prod", "LM_vs_sv_mlt");
// clang-format on

namespace {

using Item = std::optional<std::vector<double>>;  // an empty slot, or the item's values

struct Model {
  int type = TYPE_VEC;
  bool packed = false;
  bool stored = false;  // an out-of-core pack whose mapping was released
  int n = 1;            // item length
  std::vector<Item> items;
};

struct Sut {
  VSTRUCT* vs = nullptr;
  ~Sut() { vs_free(vs); }
};

VEC* NewVec(const std::vector<double>& d) {
  int st = 0;
  VEC* x = _LM_v_get("p", 0, static_cast<int>(d.size()), __LINE__, "p", &st);
  RC_ASSERT((x != nullptr));
  for (size_t i = 0; i < d.size(); ++i) x->ve[i] = d[i];
  return x;
}

// The significant entries rule of the sparse forms, applied to a dense vector.
std::vector<double> SparseImage(const std::vector<double>& d) {
  double big = 0.0;
  for (double x : d)
    if (std::isfinite(x)) big = std::max(big, std::fabs(x));
  std::vector<double> out(d.size(), 0.0);
  for (size_t i = 0; i < d.size(); ++i)
    if (!std::isfinite(d[i]) || std::fabs(d[i]) > 1e-16 * big) out[i] = d[i];
  return out;
}

// An item's values as a dense vector of length n.
Item Read(const VSTRUCT* vs, int i, int n) {
  void* it = vs->items[i];
  if (!it) return std::nullopt;
  std::vector<double> d(n, 0.0);
  int st = 0;
  switch (vs->type) {
    case TYPE_VEC: {
      const VEC* v = static_cast<const VEC*>(it);
      d.assign(v->ve, v->ve + std::min<unsigned>(v->dim, n));
      break;
    }
    case TYPE_VECM: {
      VEC* v = LM_vecm2vec(static_cast<VECM*>(it), nullptr, &st);
      d.assign(v->ve, v->ve + std::min<unsigned>(v->dim, n));
      v_free(v);
      break;
    }
    case TYPE_VECMP: {
      const VECMP* p = static_cast<const VECMP*>(it);
      for (int k = 0; k < p->nnz; ++k)
        if (p->idx[k] < n) d[p->idx[k]] = p->val[k];
      break;
    }
    default: {
      VEC* v = LM_vecmw2vec(static_cast<VECMW*>(it), nullptr, &st);
      d.assign(v->ve, v->ve + std::min<unsigned>(v->dim, n));
      v_free(v);
    }
  }
  return d;
}

bool SameItem(const Item& a, const Item& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  if (a->size() != b->size()) return false;
  for (size_t k = 0; k < a->size(); ++k) {
    const double x = (*a)[k], y = (*b)[k];
    if (!kvtest::SameBits(x, y) && !(std::isnan(x) && std::isnan(y)) && !(x == 0.0 && y == 0.0)) return false;
  }
  return true;
}

std::vector<Item> ReadAll(const VSTRUCT* vs, int n) {
  std::vector<Item> out;
  for (int i = 0; i < vs->dim; ++i) out.push_back(Read(vs, i, n));
  return out;
}

void Check(const Model& m, const Sut& s) {
  RC_ASSERT(s.vs->dim == static_cast<int>(m.items.size()));
  RC_ASSERT(s.vs->type == m.type);
  if (m.stored) return;  // nothing may be read through a released mapping
  const std::vector<Item> got = ReadAll(s.vs, m.n);
  for (size_t i = 0; i < got.size(); ++i) RC_ASSERT(SameItem(got[i], m.items[i]));
}

using Cmd = rc::state::Command<Model, Sut>;

rc::Gen<std::vector<double>> ValuesOf(int n) {
  return rc::gen::container<std::vector<double>>(n, rc::gen::weightedOneOf<double>({{4, kvtest::TameDouble()},
                                                                                   {1, kvtest::AnyDouble()},
                                                                                   {2, rc::gen::just(0.0)}}));
}

// Item i becomes v. Refusals: i outside the list, a packed item of another length; a stored
// pack may be refused too, or mapped again.
struct CopyVec : Cmd {
  int i = *rc::gen::inRange(-1, 5);
  int extra = *rc::gen::weightedOneOf<int>({{5, rc::gen::just(0)}, {1, rc::gen::just(1)}});
  std::vector<double> v = *ValuesOf(12);
  // A longer vector is offered to packed items only, which refuse it; an unpacked item would
  // take its length, which the model does not follow.
  void checkPreconditions(const Model& m) const override { RC_PRE(extra == 0 || m.packed); }
  bool Accepted(const Model& m) const { return i >= 0 && i < static_cast<int>(m.items.size()) && extra == 0; }
  std::vector<double> Values(const Model& m) const {
    std::vector<double> d(v.begin(), v.begin() + m.n + extra);
    return m.type == TYPE_VEC ? d : SparseImage(d);
  }
  void apply(Model& m) const override {
    if (!Accepted(m) || m.stored) return;
    m.items[i] = Values(m);
  }
  void run(const Model& m, Sut& s) const override {
    VEC* x = NewVec(std::vector<double>(v.begin(), v.begin() + m.n + extra));
    int st = 0;
    LM_vs_CopyVec(x, s.vs, i, "p", &st);
    v_free(x);
    if (m.stored) {  // refused, or the pack was mapped again
      if (st == 0) {
        Model after = m;
        after.stored = false;
        after.items[i] = Values(m);
        Check(after, s);
      }
      return;
    }
    RC_ASSERT((st == 0) == Accepted(m));
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << "LM_vs_CopyVec(item " << i << ", length +" << extra << ")"; }
};

// Item i scaled in place: s = 1 changes nothing, s = 0 zeroes.
struct Scale : Cmd {
  int i = *rc::gen::inRange(-1, 5);
  double sc = *rc::gen::weightedOneOf<double>({{1, rc::gen::just(0.0)}, {1, rc::gen::just(1.0)}, {4, kvtest::AnyDouble()}});
  // A sparse item scales its stored entries only: the places it leaves implicit stay 0 where
  // a dense item would give 0 times s (NaN for an infinite s). The model follows the dense
  // arithmetic, so sparse items are scaled by finite factors.
  void checkPreconditions(const Model& m) const override { RC_PRE(m.type == TYPE_VEC || std::isfinite(sc)); }
  bool Accepted(const Model& m) const { return i >= 0 && i < static_cast<int>(m.items.size()) && m.items[i]; }
  void apply(Model& m) const override {
    if (!Accepted(m) || m.stored) return;
    for (double& x : *m.items[i]) x = sc == 0.0 ? 0.0 : sc == 1.0 ? x : x * sc;
  }
  void run(const Model& m, Sut& s) const override {
    int st = 0;
    LM_vs_sv_mlt(sc, s.vs, i, "p", &st);
    if (m.stored) return;
    RC_ASSERT((st == 0) == Accepted(m));
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << "LM_vs_sv_mlt(" << sc << ", item " << i << ")"; }
};

// Reading an item: as a dense vector, its inner product with w, and w + s item.
struct ItemReads : Cmd {
  int i = *rc::gen::inRange(-1, 5);
  std::vector<double> w = *ValuesOf(12);
  double sc = *kvtest::TameDouble();
  void run(const Model& m, Sut& s) const override {
    const bool ok = i >= 0 && i < static_cast<int>(m.items.size()) && m.items[i];
    VEC* vw = NewVec(std::vector<double>(w.begin(), w.begin() + m.n));
    int st = 0;
    VEC* x = LM_vs_XtractVec(s.vs, i, nullptr, "p", &st);
    int st2 = 0;
    const double ip = LM_vs_in_prod(vw, s.vs, i, "p", &st2);
    int st3 = 0;
    VEC* out = LM_vs_v_mltadd(vw, s.vs, i, sc, nullptr, "p", &st3);
    if (m.stored) {
      // A stored pack is refused, or mapped again: then the answers are the model's.
      if (x) v_free(x);
      if (out) v_free(out);
      v_free(vw);
      return;
    }
    const bool extractable = m.type != TYPE_VECMP;
    RC_ASSERT((x != nullptr) == (ok && extractable));
    RC_ASSERT((st2 == 0) == ok);
    RC_ASSERT((out != nullptr) == ok);
    if (ok) {
      const std::vector<double>& d = *m.items[i];
      if (x) {
        Item got = std::vector<double>(x->ve, x->ve + x->dim);
        RC_ASSERT(SameItem(got, d));
      }
      // A sparse item leaves its zeros implicit, and an implicit zero meets no NaN or infinity
      // of w; whether a zero is stored is not modelled, so such a meeting is not judged.
      long double ref = 0.0L, scale = 0.0L;
      bool finite = true, unjudged = false;
      for (int k = 0; k < m.n; ++k) {
        if (m.type != TYPE_VEC && d[k] == 0.0) {
          unjudged = unjudged || !std::isfinite(w[k]);
          continue;
        }
        ref += static_cast<long double>(w[k]) * d[k];
        scale += std::fabs(static_cast<long double>(w[k]) * d[k]);
        finite = finite && std::isfinite(w[k]) && std::isfinite(d[k]);
      }
      const double r = static_cast<double>(ref);
      if (!unjudged) {
        if (std::isnan(r)) RC_ASSERT(std::isnan(ip));
        else if (std::isinf(r)) RC_ASSERT((std::isinf(ip) || (!finite && std::isnan(ip))));
        else RC_ASSERT(std::fabs(static_cast<long double>(ip) - ref) <= 1e-15L * (m.n + 1) * scale + 4.9e-324L);
      }
      for (int k = 0; k < m.n; ++k) {
        const long double t = static_cast<long double>(sc) * d[k];
        const long double want = w[k] + t;
        const double got = out->ve[k];
        const double wr = static_cast<double>(want);
        if (std::isnan(wr) || (std::isinf(wr) && !std::isfinite(d[k]))) continue;  // non-finite inputs
        if (std::isinf(wr)) RC_ASSERT(std::isinf(got));
        else RC_ASSERT(std::fabs(static_cast<long double>(got) - want) <= 2.3e-16L * (std::fabs(static_cast<long double>(w[k])) + std::fabs(t)) + 4.9e-324L);
      }
    }
    if (x) v_free(x);
    if (out) v_free(out);
    v_free(vw);
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "XtractVec, in_prod, v_mltadd(item " << i << ", s " << sc << ")"; }
};

// Copies of a range of items are unpacked and independent; a bad range is refused.
struct CopyRange : Cmd {
  int first = *rc::gen::inRange(-1, 5);
  int end = *rc::gen::inRange(-1, 6);
  void run(const Model& m, Sut& s) const override {
    int st = 0;
    VSTRUCT* c = _LM__vs_copy(s.vs, first, end, nullptr, __LINE__, "p", &st);
    if (m.stored) {
      vs_free(c);
      return;
    }
    const int dim = static_cast<int>(m.items.size());
    const bool ok = first >= 0 && first <= end && end <= dim;
    RC_ASSERT((c != nullptr) == ok);
    if (c) {
      RC_ASSERT((c->pack == nullptr));
      RC_ASSERT(c->dim == end - first);
      for (int k = first; k < end; ++k) RC_ASSERT(SameItem(Read(c, k - first, m.n), m.items[k]));
      vs_free(c);
    }
    Check(m, s);
  }
  void show(std::ostream& os) const override { os << "_LM__vs_copy(" << first << ", " << end << ")"; }
};

// Packed lists: resize keeping the leading values; store and reload of an out-of-core pack.
struct PackOps : Cmd {
  int how = *rc::gen::inRange(0, 3);
  int count = *rc::gen::inRange(0, 5);
  int n = *rc::gen::inRange(1, 9);
  void apply(Model& m) const override {
    if (!m.packed) return;
    if (how == 0) {
      if (m.stored) return;
      std::vector<Item> items(count, std::vector<double>(n, 0.0));
      for (int k = 0; k < std::min<int>(count, m.items.size()); ++k)
        for (int j = 0; j < std::min(n, m.n); ++j) (*items[k])[j] = (*m.items[k])[j];
      m.items = items;
      m.n = n;
    } else if (how == 1) {
      m.stored = s_ooc;
    } else {
      m.stored = false;
    }
  }
  void run(const Model& m, Sut& s) const override {
    int st = 0;
    if (!m.packed) {
      // Unpacked lists: a packed resize is refused; store and reload change nothing.
      const std::vector<Item> before = ReadAll(s.vs, m.n);
      if (how == 0) RC_ASSERT((_LM_vs_resize_liste_pack("p", 0, __LINE__, "p", &st, s.vs, count, n, 0) == nullptr));
      else if (how == 1) _LM_vs_store(s.vs, "p", "p", __LINE__, &st);
      else RC_ASSERT((_LM_vs_reload(s.vs, "p", __LINE__, "p", &st) == s.vs));
      const std::vector<Item> after = ReadAll(s.vs, m.n);
      for (size_t k = 0; k < before.size(); ++k) RC_ASSERT(SameItem(before[k], after[k]));
      return Check(m, s);
    }
    if (how == 0) {
      if (m.stored) return;  // the resize of a stored pack is not modelled
      RC_ASSERT((_LM_vs_resize_liste_pack("p", 0, __LINE__, "p", &st, s.vs, count, n, 0) == s.vs));
    } else if (how == 1) {
      _LM_vs_store(s.vs, "p", "p", __LINE__, &st);
      RC_ASSERT(st == 0);
    } else {
      RC_ASSERT((_LM_vs_reload(s.vs, "p", __LINE__, "p", &st) == s.vs));
    }
    Model after = m;
    apply(after);
    Check(after, s);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"_LM_vs_resize_liste_pack", "_LM_vs_store", "_LM_vs_reload"};
    os << names[how] << "(" << count << ", " << n << ")";
  }
  static bool s_ooc;
};
bool PackOps::s_ooc = false;

// Unpacked lists: the count changes, items beyond a lower count kept until the slots reopen.
struct ResizeUnpacked : Cmd {
  int count = *rc::gen::inRange(0, 6);
  void apply(Model& m) const override {
    if (m.packed) return;
    m.items.resize(count);
  }
  void run(const Model& m, Sut& s) const override {
    if (m.packed) return Check(m, s);
    int st = 0;
    VSTRUCT* r = _LM_vs_resize("p", 0, s.vs, m.type, count, __LINE__, "p", &st);
    RC_ASSERT((r == s.vs));
    // Slots that reopen show the items they kept.
    Model after = m;
    after.items.resize(count);
    for (int k = static_cast<int>(m.items.size()); k < count; ++k) after.items[k] = Read(s.vs, k, m.n);
    Check(after, s);
  }
  void show(std::ostream& os) const override { os << "_LM_vs_resize(" << count << ")"; }
};

}  // namespace

RC_GTEST_PROP(VstructProps, EveryItemOperationKeepsTheItems, ()) {
  kvtest::MsgCapture quiet;
  kvtest::PrivateTmpDir dir;
  const int kind = *rc::gen::inRange(0, 6);  // 0-3 unpacked types, 4 packed in memory, 5 out of core
  Model m;
  static const int types[] = {TYPE_VEC, TYPE_VECM, TYPE_VECMP, TYPE_VECMW};
  m.type = kind < 4 ? types[kind] : TYPE_VEC;
  m.packed = kind >= 4;
  m.n = *rc::gen::inRange(1, 9);
  const int count = *rc::gen::inRange(0, 5);
  PackOps::s_ooc = kind == 5;
  int st = 0;
  {
    Sut s;
    if (m.packed) {
      if (kind == 5) kvelomem_setmode(2);
      s.vs = _LM_vs_get_liste_pack("p", 0, __LINE__, "p", &st, TYPE_VEC, count, m.n, 0);
      kvelomem_setmode(1);
      m.items.assign(count, std::vector<double>(m.n, 0.0));
    } else if (m.type == TYPE_VECMW || *rc::gen::arbitrary<bool>()) {  // no list of windowed items is made whole
      s.vs = _LM_vs_get("p", 0, m.type, count, __LINE__, "p", &st);
      m.items.assign(count, std::nullopt);
    } else {
      s.vs = _LM_vs_get_liste("p", 0, __LINE__, "p", &st, m.type, count, m.n, m.n);
      m.items.assign(count, std::vector<double>(m.n, 0.0));
    }
    RC_ASSERT((s.vs != nullptr));
    RC_ASSERT(st == 0);
    Check(m, s);
    rc::state::check(m, s, rc::state::gen::execOneOfWithArgs<CopyVec, Scale, ItemReads, CopyRange, PackOps, ResizeUnpacked>());
  }
  // Every data file of an out-of-core pack goes with its list.
  RC_ASSERT(dir.Files().empty());
  // vs_free_vars frees each list it is given and clears the variables.
  VSTRUCT* a = _LM_vs_get("p", 0, TYPE_VEC, 1, __LINE__, "p", &st);
  VSTRUCT* b = _LM_vs_get_liste("p", 0, __LINE__, "p", &st, TYPE_VEC, 2, 3, 0);
  RC_ASSERT(vs_free_vars(&a, &b, static_cast<VSTRUCT**>(nullptr)) == 2);
  RC_ASSERT((a == nullptr && b == nullptr));
}

// Unpacked lists of vectors resized by their items' own resizers keep the leading values.
RC_GTEST_PROP(VstructProps, UnpackedListResizeKeepsLeadingValues, ()) {
  kvtest::MsgCapture quiet;
  const int count = *rc::gen::inRange(1, 4);
  const int n = *rc::gen::inRange(1, 8);
  const int n2 = *rc::gen::inRange(1, 8);
  int st = 0;
  VSTRUCT* vs = _LM_vs_get_liste("p", 0, __LINE__, "p", &st, TYPE_VEC, count, n, 0);
  RC_ASSERT((vs != nullptr));
  for (int k = 0; k < count; ++k)
    for (int j = 0; j < n; ++j) static_cast<VEC*>(vs->items[k])->ve[j] = 10 * k + j + 1;
  RC_ASSERT((_LM_vs_resize_liste("p", 0, __LINE__, "p", &st, vs, TYPE_VEC, count + 1, n2, 0) == vs));
  for (int k = 0; k < count + 1; ++k) {
    const VEC* v = static_cast<const VEC*>(vs->items[k]);
    RC_ASSERT(static_cast<int>(v->dim) == n2);
    for (int j = 0; j < n2; ++j) RC_ASSERT(v->ve[j] == (k < count && j < n ? 10 * k + j + 1 : 0.0));
  }
  vs_free(vs);
}
