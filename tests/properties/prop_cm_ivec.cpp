// prop_cm_ivec.cpp: integer and long vectors of the C matrix library driven by random command
// sequences against a plain vector of 32-bit values. After every command the record must hold
// what the model holds; sums and differences wrap at 32 bits; a refused call leaves every
// record it was handed as it was; an output that is an operand gives what a separate output
// gives; memory running out refuses and changes nothing; the accounting of every record made
// returns to zero.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "cmat_snap.h"
#include "matrix.h"
#include "meminfo.h"
#include "msgcapture.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"

// clang-format off
KVELO_HOLDS(
    "_LM_iv_get", "_LM_iv_resize", "iv_free", "_LM_iv_copy", "_LM_iv_move", "_LM_iv_add",
    "_LM_iv_sub", "_LM_iv_sort", "_LM_iv_sum", "_LM_iv_max", "_LM_iv_cmp", "_LM_iv_zero",
    "_LM_iv_get_vars", "_LM_iv_resize_vars", "iv_free_vars",
    "_LM_lv_get", "_LM_lv_resize", "lv_free", "_LM_lv_copy", "_LM_lv_move", "_LM_lv_add",
    "_LM_lv_sub", "_LM_lv_sort", "_LM_iv_finput", "_LM_lv_finput", "iv_foutput", "lv_foutput");
// clang-format on

namespace {

using cmat_test::Snap;
using cmat_test::RecordBytes;

// The two record kinds behind one face.
struct IvOps {
  using Rec = IVEC;
  using Elem = int;
  static constexpr int kType = 4;
  static Elem* Ve(Rec* r) { return r->ive; }
  static Rec* Get(int d, int* st) { return _LM_iv_get("p", 0, d, __LINE__, "p", st); }
  static Rec* Resize(Rec* r, int d, int* st) { return _LM_iv_resize("p", 0, r, d, __LINE__, "p", st); }
  static int Free(Rec* r) { return iv_free(r); }
  static Rec* Copy(Rec* a, Rec* o, int* st) { return _LM_iv_copy(a, o, __LINE__, "p", st); }
  static Rec* Move(Rec* a, int i0, int len, Rec* o, int i1, int* st) {
    return _LM_iv_move(a, i0, len, o, i1, __LINE__, "p", st);
  }
  static Rec* Add(Rec* a, Rec* b, Rec* o, int* st) { return _LM_iv_add(a, b, o, __LINE__, "p", st); }
  static Rec* Sub(Rec* a, Rec* b, Rec* o, int* st) { return _LM_iv_sub(a, b, o, __LINE__, "p", st); }
  static Rec* Sort(Rec* a, PERM* p, int* st) { return _LM_iv_sort(a, p, __LINE__, "p", st); }
  static const char* Name() { return "iv"; }
};
struct LvOps {
  using Rec = LVEC;
  using Elem = long;
  static constexpr int kType = 10;
  static Elem* Ve(Rec* r) { return r->lve; }
  static Rec* Get(int d, int* st) { return _LM_lv_get("p", 0, d, __LINE__, "p", st); }
  static Rec* Resize(Rec* r, int d, int* st) { return _LM_lv_resize("p", 0, r, d, __LINE__, "p", st); }
  static int Free(Rec* r) { return lv_free(r); }
  static Rec* Copy(Rec* a, Rec* o, int* st) { return _LM_lv_copy(a, o, __LINE__, "p", st); }
  static Rec* Move(Rec* a, int i0, int len, Rec* o, int i1, int* st) {
    return _LM_lv_move(a, i0, len, o, i1, __LINE__, "p", st);
  }
  static Rec* Add(Rec* a, Rec* b, Rec* o, int* st) { return _LM_lv_add(a, b, o, __LINE__, "p", st); }
  static Rec* Sub(Rec* a, Rec* b, Rec* o, int* st) { return _LM_lv_sub(a, b, o, __LINE__, "p", st); }
  static Rec* Sort(Rec* a, PERM* p, int* st) { return _LM_lv_sort(a, p, __LINE__, "p", st); }
  static const char* Name() { return "lv"; }
};

using Model = std::vector<int32_t>;

template <class O>
struct Sut {
  typename O::Rec* v = nullptr;
  ~Sut() { O::Free(v); }
};

template <class O>
std::vector<int32_t> Values(typename O::Rec* r) {
  std::vector<int32_t> out;
  for (unsigned i = 0; i < r->dim; ++i) out.push_back(static_cast<int32_t>(O::Ve(r)[i]));
  return out;
}

template <class O>
typename O::Rec* Holding(const Model& m, int spare = 0) {
  int st = 0;
  typename O::Rec* r = O::Get(static_cast<int>(m.size()) + spare, &st);
  RC_ASSERT(st == 0);
  RC_ASSERT(r != nullptr);
  for (unsigned i = 0; i < r->max_dim; ++i) O::Ve(r)[i] = -99;
  for (size_t i = 0; i < m.size(); ++i) O::Ve(r)[i] = m[i];
  r->dim = static_cast<unsigned>(m.size());
  return r;
}

template <class O>
void Check(const Model& m, typename O::Rec* r) {
  RC_ASSERT(r->dim == m.size());
  RC_ASSERT(r->dim <= r->max_dim);
  RC_ASSERT(Values<O>(r) == m);
}

int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

rc::Gen<int32_t> AnyInt() {
  return rc::gen::weightedOneOf<int32_t>({{3, rc::gen::arbitrary<int32_t>()},
                                          {1, rc::gen::element<int32_t>(INT32_MIN, INT32_MAX, 0, -1, 1)}});
}

template <class O>
using Cmd = rc::state::Command<Model, Sut<O>>;

// Sum or difference with another vector, into a new output, into the record itself (either
// side), or into a third record; differing dims are refused and change nothing.
template <class O>
struct AddSub : Cmd<O> {
  bool sub = *rc::gen::arbitrary<bool>();
  int where = *rc::gen::inRange(0, 4);  // 0 new, 1 out = record (left), 2 out = other (right), 3 third
  bool recordLeft = *rc::gen::arbitrary<bool>();
  std::vector<int32_t> other = *rc::gen::container<std::vector<int32_t>>(AnyInt());
  int otherDim = *rc::gen::inRange(0, 6);
  bool sameDim = *rc::gen::weightedOneOf<bool>({{5, rc::gen::just(true)}, {1, rc::gen::just(false)}});
  Model Other(const Model& m) const {
    Model o = other;
    o.resize(sameDim ? m.size() : static_cast<size_t>(otherDim), 7);
    return o;
  }
  void apply(Model& m) const override {
    // Only an output that is the record changes the record, and only when the dims agree.
    const Model o = Other(m);
    if (o.size() != m.size() || where != 1) return;
    Model r(m.size());
    for (size_t i = 0; i < m.size(); ++i) {
      const int64_t a = recordLeft ? m[i] : o[i], b = recordLeft ? o[i] : m[i];
      r[i] = Wrap(sub ? a - b : a + b);
    }
    m = r;
  }
  void run(const Model& m, Sut<O>& s) const override {
    const Model o = Other(m);
    typename O::Rec* ov = Holding<O>(o, 1);
    typename O::Rec* third = where == 3 ? Holding<O>(Model(*rc::gen::inRange(0, 6), 3), 1) : nullptr;
    typename O::Rec* out = where == 1 ? s.v : where == 2 ? ov : third;
    typename O::Rec* a = recordLeft ? s.v : ov;
    typename O::Rec* b = recordLeft ? ov : s.v;
    const RecordBytes sv = Snap(s.v), so = Snap(ov);
    const RecordBytes st3 = third ? Snap(third) : RecordBytes{};
    int st = 0;
    typename O::Rec* r = sub ? O::Sub(a, b, out, &st) : O::Add(a, b, out, &st);
    const bool ok = o.size() == m.size();
    RC_ASSERT((r != nullptr) == ok);
    RC_ASSERT((st == 0) == ok);
    if (!ok) {
      RC_ASSERT(Snap(s.v) == sv);
      RC_ASSERT(Snap(ov) == so);
      if (third) RC_ASSERT(Snap(third) == st3);
    } else {
      Model want(m.size());
      for (size_t i = 0; i < m.size(); ++i) {
        const int64_t x = recordLeft ? m[i] : o[i], y = recordLeft ? o[i] : m[i];
        want[i] = Wrap(sub ? x - y : x + y);
      }
      if (out) RC_ASSERT((r == out));
      RC_ASSERT(Values<O>(r) == want);
      if (out != ov) RC_ASSERT(Snap(ov) == so);
      if (out == nullptr) O::Free(r);
    }
    O::Free(ov);
    if (third) O::Free(third);
    Model after = m;
    apply(after);
    Check<O>(after, s.v);
  }
  void show(std::ostream& os) const override {
    os << O::Name() << (sub ? "_sub" : "_add") << "(other " << Other(Model()).size() << (sameDim ? " same dim" : "")
       << ", " << (recordLeft ? "record left" : "record right") << ", out " << where << ")";
  }
};

// Sort with or without the permutation of where each value came from.
template <class O>
struct Sort : Cmd<O> {
  bool withOrder = *rc::gen::arbitrary<bool>();
  int orderSize = *rc::gen::inRange(1, 8);
  void apply(Model& m) const override { std::sort(m.begin(), m.end()); }
  void run(const Model& m, Sut<O>& s) const override {
    int st = 0;
    PERM* order = withOrder ? _LM_px_get("p", 0, orderSize, __LINE__, "p", &st) : nullptr;
    RC_ASSERT((O::Sort(s.v, order, &st) == s.v));
    RC_ASSERT(st == 0);
    if (order) {
      RC_ASSERT(order->size == std::max<size_t>(m.size(), 1) || order->size == m.size());
      for (size_t i = 0; i < m.size(); ++i) RC_ASSERT(static_cast<int32_t>(O::Ve(s.v)[i]) == m[order->pe[i]]);
      px_free(order);
    }
    Model after = m;
    apply(after);
    Check<O>(after, s.v);
  }
  void show(std::ostream& os) const override { os << O::Name() << "_sort(order " << withOrder << ")"; }
};

// Resize: kept values, zeros after; a negative dim refused.
template <class O>
struct Resize : Cmd<O> {
  int dim = *rc::gen::inRange(-1, 10);
  void apply(Model& m) const override {
    if (dim >= 0) m.resize(dim, 0);
  }
  void run(const Model& m, Sut<O>& s) const override {
    const RecordBytes before = Snap(s.v);
    int st = 0;
    typename O::Rec* r = O::Resize(s.v, dim, &st);
    if (dim < 0) {
      RC_ASSERT((r == nullptr) && st != 0);
      RC_ASSERT(Snap(s.v) == before);
    } else {
      RC_ASSERT((r == s.v));
    }
    Model after = m;
    apply(after);
    Check<O>(after, s.v);
  }
  void show(std::ostream& os) const override { os << O::Name() << "_resize(" << dim << ")"; }
};

// Copy into a new record, into one of any dim, onto itself; a move of a block into the record.
template <class O>
struct CopyMove : Cmd<O> {
  int i0 = *rc::gen::inRange(-1, 6), len = *rc::gen::inRange(-1, 6), i1 = *rc::gen::inRange(-1, 8);
  std::vector<int32_t> src = *rc::gen::container<std::vector<int32_t>>(AnyInt());
  bool ok() const { return i0 >= 0 && len >= 0 && i1 >= 0 && i0 + len <= static_cast<int>(src.size()); }
  void apply(Model& m) const override {
    if (!ok()) return;
    if (m.size() < static_cast<size_t>(i1 + len)) m.resize(i1 + len, 0);
    for (int k = 0; k < len; ++k) m[i1 + k] = src[i0 + k];
  }
  void run(const Model& m, Sut<O>& s) const override {
    int st = 0;
    // Copies.
    typename O::Rec* c = O::Copy(s.v, nullptr, &st);
    RC_ASSERT(st == 0);
    RC_ASSERT(Values<O>(c) == m);
    typename O::Rec* d = Holding<O>(Model(src.size(), 5), 1);
    RC_ASSERT((O::Copy(s.v, d, &st) == d));
    RC_ASSERT(Values<O>(d) == m);
    RC_ASSERT((O::Copy(s.v, s.v, &st) == s.v));
    const RecordBytes sd = Snap(d);
    RC_ASSERT((O::Copy(nullptr, d, &st) == nullptr) && st != 0);
    RC_ASSERT(Snap(d) == sd);
    O::Free(c);
    O::Free(d);
    // Move from src into the record.
    typename O::Rec* from = Holding<O>(src);
    const RecordBytes sf = Snap(from), sv = Snap(s.v);
    typename O::Rec* r = O::Move(from, i0, len, s.v, i1, &st);
    RC_ASSERT((st == 0) == ok());
    if (ok()) {
      RC_ASSERT((r == s.v));
    } else {
      RC_ASSERT((r == nullptr));
      RC_ASSERT(Snap(s.v) == sv);
    }
    RC_ASSERT(Snap(from) == sf);
    O::Free(from);
    Model after = m;
    apply(after);
    Check<O>(after, s.v);
  }
  void show(std::ostream& os) const override {
    os << O::Name() << "_copy, " << O::Name() << "_move(src of " << src.size() << ", " << i0 << ", " << len << ", " << i1 << ")";
  }
};

// Memory running out: a new output and a growing move are refused and change nothing.
template <class O>
struct NoMemory : Cmd<O> {
  int grow = *rc::gen::inRange(1, 5);
  void run(const Model& m, Sut<O>& s) const override {
    typename O::Rec* other = Holding<O>(m);
    const RecordBytes sv = Snap(s.v), so = Snap(other);
    int st1 = 0, st2 = 0, st3 = 0;
    kvrt::SetHeapBlocksLeft(0);
    typename O::Rec* sum = O::Add(s.v, other, nullptr, &st1);
    typename O::Rec* grown = O::Resize(s.v, static_cast<int>(s.v->max_dim) + grow, &st2);
    typename O::Rec* moved = O::Move(other, 0, static_cast<int>(m.size()), s.v, static_cast<int>(s.v->max_dim) + grow, &st3);
    kvrt::SetHeapBlocksLeft(-1);
    RC_ASSERT((sum == nullptr && grown == nullptr && moved == nullptr));
    RC_ASSERT(st1 != 0 && st2 != 0 && st3 != 0);
    RC_ASSERT(Snap(s.v) == sv);
    RC_ASSERT(Snap(other) == so);
    O::Free(other);
    Check<O>(m, s.v);
  }
  void show(std::ostream& os) const override { os << "no memory: " << O::Name() << "_add, resize, move (+" << grow << ")"; }
};

// IVEC only: sum, largest, comparison, zero fill.
struct IvQueries : Cmd<IvOps> {
  std::vector<int32_t> other = *rc::gen::container<std::vector<int32_t>>(AnyInt());
  bool equal = *rc::gen::arbitrary<bool>();
  bool zero = *rc::gen::weightedOneOf<bool>({{1, rc::gen::just(true)}, {5, rc::gen::just(false)}});
  void apply(Model& m) const override {
    if (zero) std::fill(m.begin(), m.end(), 0);
  }
  void run(const Model& m, ::Sut<IvOps>& s) const override {
    int st = 0;
    uint32_t sum = 0;
    for (int32_t v : m) sum += static_cast<uint32_t>(v);
    RC_ASSERT(_LM_iv_sum(s.v, __LINE__, "p", &st) == static_cast<int32_t>(sum));
    RC_ASSERT(st == 0);
    int at = -5;
    const int mx = _LM_iv_max(s.v, &at, __LINE__, "p", &st);
    if (m.empty()) {
      RC_ASSERT(st != 0 && at == -5);
    } else {
      const auto it = std::max_element(m.begin(), m.end());
      RC_ASSERT(st == 0 && mx == *it && at == it - m.begin());
    }
    IVEC* o = Holding<IvOps>(equal ? m : Model(other.begin(), other.end()));
    const int cmp = _LM_iv_cmp(s.v, o, __LINE__, "p", &st);
    if (m.empty() || o->dim == 0) {
      RC_ASSERT(st != 0 && cmp == -1);
    } else {
      RC_ASSERT(cmp == (Values<IvOps>(o) == m ? 1 : 0));
    }
    iv_free(o);
    if (zero) {
      RC_ASSERT((_LM_iv_zero(s.v, __LINE__, "p", &st) == s.v));
      RC_ASSERT((_LM_iv_zero(nullptr, __LINE__, "p", &st) == nullptr) && st != 0);
    }
    Model after = m;
    apply(after);
    Check<IvOps>(after, s.v);
  }
  void show(std::ostream& os) const override { os << "iv_sum, iv_max, iv_cmp(" << (equal ? "equal" : "other") << ")" << (zero ? ", iv_zero" : ""); }
};

template <class O>
void RunFamily() {
  kvtest::MsgCapture quiet;
  const int wasOn = mem_info_on(1);
  const long long bytes0 = mem_info_bytes(O::kType, 0);
  const int num0 = mem_info_numvar(O::kType, 0);
  {
    Model m = *rc::gen::container<std::vector<int32_t>>(*rc::gen::inRange(0, 6), AnyInt());
    Sut<O> s;
    s.v = Holding<O>(m, *rc::gen::inRange(0, 3));
    if constexpr (std::is_same<O, IvOps>::value) {
      rc::state::check(m, s,
                       rc::state::gen::execOneOfWithArgs<AddSub<IvOps>, Sort<IvOps>, Resize<IvOps>,
                                                         CopyMove<IvOps>, NoMemory<IvOps>, IvQueries>());
    } else {
      rc::state::check(m, s,
                       rc::state::gen::execOneOfWithArgs<AddSub<LvOps>, Sort<LvOps>, Resize<LvOps>,
                                                         CopyMove<LvOps>, NoMemory<LvOps>>());
    }
  }
  RC_ASSERT(mem_info_bytes(O::kType, 0) == bytes0);
  RC_ASSERT(mem_info_numvar(O::kType, 0) == num0);
  mem_info_on(wasOn);
}

}  // namespace

RC_GTEST_PROP(IvecProps, IntegerVectorsAnswerLikeTheModel, ()) { RunFamily<IvOps>(); }

RC_GTEST_PROP(IvecProps, LongVectorsAnswerLikeTheModel, ()) { RunFamily<LvOps>(); }

RC_GTEST_PROP(IvecProps, SeveralVariablesAndFrees, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::inRange(0, 6);
  int st = 0;
  IVEC *a = nullptr, *b = nullptr;
  RC_ASSERT(_LM_iv_get_vars("p", 0, __LINE__, "p", &st, n, &a, &b, static_cast<IVEC**>(nullptr)) == 2);
  RC_ASSERT(st == 0 && a && b && a->dim == static_cast<unsigned>(n));
  RC_ASSERT(_LM_iv_resize_vars("p", 0, __LINE__, "p", &st, n + 1, &a, &b, static_cast<IVEC**>(nullptr)) == 2);
  RC_ASSERT(a->dim == static_cast<unsigned>(n + 1) && b->dim == static_cast<unsigned>(n + 1));
  for (unsigned i = 0; i < a->dim; ++i) RC_ASSERT(a->ive[i] == 0);
  RC_ASSERT(iv_free_vars(&a, &b, static_cast<IVEC**>(nullptr)) == 2);
  RC_ASSERT((a == nullptr && b == nullptr));
  RC_ASSERT(iv_free(nullptr) == -1 && lv_free(nullptr) == -1);
  RC_ASSERT((_LM_iv_get("p", 0, -1, __LINE__, "p", &st) == nullptr) && st != 0);
  RC_ASSERT((_LM_lv_get("p", 0, -1, __LINE__, "p", &st) == nullptr) && st != 0);
  kvrt::SetHeapBlocksLeft(0);
  IVEC* c = nullptr;
  const int got = _LM_iv_get_vars("p", 0, __LINE__, "p", &st, n, &c, static_cast<IVEC**>(nullptr));
  kvrt::SetHeapBlocksLeft(-1);
  RC_ASSERT(got == -1 && st != 0 && c == nullptr);
}

// The text form: what the writer writes, the reader reads back to the same values, and the
// record read writes the same text again.
template <class R>
std::string Text(int (*write)(FILE*, R*), R* r) {
  FILE* f = std::tmpfile();
  write(f, r);
  std::fflush(f);
  std::rewind(f);
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<char>(c));
  std::fclose(f);
  return out;
}

template <class R>
R* ReadBack(R* (*read)(FILE*, R*, int, const char*, int*), const std::string& text, int* st) {
  FILE* f = std::tmpfile();
  std::fputs(text.c_str(), f);
  std::rewind(f);
  R* r = read(f, nullptr, __LINE__, "p", st);
  std::fclose(f);
  return r;
}

RC_GTEST_PROP(IvecProps, TextFormsReadBack, ()) {
  kvtest::MsgCapture quiet;
  const Model m = *rc::gen::container<std::vector<int32_t>>(*rc::gen::inRange(0, 20), AnyInt());
  int st = 0;
  IVEC* iv = Holding<IvOps>(m);
  const std::string it = Text(iv_foutput, iv);
  IVEC* ir = ReadBack(_LM_iv_finput, it, &st);
  RC_ASSERT(st == 0);
  RC_ASSERT(ir != nullptr);
  RC_ASSERT(Values<IvOps>(ir) == m);
  RC_ASSERT(Text(iv_foutput, ir) == it);
  LVEC* lv = Holding<LvOps>(m);
  const std::string lt = Text(lv_foutput, lv);
  LVEC* lr = ReadBack(_LM_lv_finput, lt, &st);
  RC_ASSERT(st == 0);
  RC_ASSERT(lr != nullptr);
  RC_ASSERT(Values<LvOps>(lr) == m);
  RC_ASSERT(Text(lv_foutput, lr) == lt);
  // A truncated text is refused.
  if (!m.empty()) {
    IVEC* bad = ReadBack(_LM_iv_finput, it.substr(0, it.find(':') + 1), &st);
    RC_ASSERT((bad == nullptr) && st != 0);
  }
  iv_free(iv);
  iv_free(ir);
  lv_free(lv);
  lv_free(lr);
}
