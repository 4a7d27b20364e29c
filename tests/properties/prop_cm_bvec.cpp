// prop_cm_bvec.cpp: bit vectors of every storage kind driven by random command sequences
// against a plain set of elements. After every command the record must answer as the set does
// (counts, ranks, walks, conversions), a refused call must leave it as it was (fields, iterator
// and binary image), the binary form must read back and write again byte for byte, and memory
// running out must refuse cleanly.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "bvec.h"
#include "cmat_bvec.h"
#include "matrix.h"
#include "msgcapture.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"

// clang-format off
KVELO_HOLDS(
    "_LM_bv_get", "_LM_bv_get_bloc", "_LM_bv_get_codage", "_LM_bv_get_ivec", "_LM_bv_get_direct",
    "_LM_bv_get_tout", "_LM_bv_resize_bloc", "_LM_bv_resize_codage", "_LM_bv_free", "_LM_bv_copy",
    "_LM_bv_to_bv", "_LM_bv_set_on", "_LM_bv_set_off", "_LM_bv_is_on", "_LM_bv_is_off",
    "_LM_bv_insere", "_LM_bv_set_all_on", "_LM_bv_set_all_off", "_LM_bv_oppose",
    "_LM_bv_set_to_on_segment", "_LM_bv_set_to_off_segment", "_LM_bv_nb_on", "_LM_bv_nb_off",
    "_LM_bv_nb_on_segment", "_LM_bv_ou_dans_bv", "_LM_bv_build_nb_active_bit_per_integer",
    "_LM_bv_ou_dans_bv_fast", "_LM_bv_initialize", "_LM_bv_on_suivant", "_LM_bv_off_suivant",
    "_LM_bv_set_iterateur", "_LM_bv_to_ivec", "_LM_bv_on_to_ivec_compact",
    "_LM_bv_off_to_ivec_compact", "_LM_ivec_to_bv", "_LM_bv_boutput", "_LM_bv_binput",
    "_LM_bv_print", "_LM_bv_on_print", "_LM_bv_off_print", "_LM_bv_inter", "_LM_bv_inter_bloc",
    "_LM_bv_inter_codage", "_LM_bv_inter_ivec", "_LM_bv_inter_direct", "_LM_bv_union",
    "_LM_bv_on1_to_off2", "_LM_bv_off1_to_on2");
// clang-format on

namespace {

using namespace sparse_test;

// ---- What a record shows: its fields with the iterator, its binary image, its elements. ----

std::vector<unsigned char> Image(BVEC* bv) {
  FILE* f = std::tmpfile();
  RC_ASSERT(_LM_bv_boutput(f, bv) == 0);
  std::fflush(f);
  std::vector<unsigned char> out;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<unsigned char>(c));
  std::fclose(f);
  return out;
}

struct Shot {
  int kind, n, blocs, max, iterNum, iterPos;
  std::vector<unsigned char> image;
  bool operator==(const Shot& o) const {
    return kind == o.kind && n == o.n && blocs == o.blocs && max == o.max && iterNum == o.iterNum &&
           iterPos == o.iterPos && image == o.image;
  }
};

Shot Take(BVEC* bv) {
  Shot s{bv->type_stockage, bv->nb_ddl, bv->nb_blocs, bv->max_blocs, bv->iter_num, bv->iter_pos, {}};
  s.image = Image(bv);
  // Writing must not move the iterator.
  RC_ASSERT(bv->iter_num == s.iterNum && bv->iter_pos == s.iterPos);
  return s;
}

// The model: the kind, the element count and the active elements. A CODAGE record also keeps
// its word count and the bits it holds at or above its element count (whole-set settings
// write every bit of every word): they stay in the words and count again once the element
// count grows over them.
struct Model {
  int kind = CODAGE;
  int n = 0;
  std::set<int> on;
  int words = 1;
  std::set<int> high;
};

struct Sut {
  BVEC* bv = nullptr;
  ~Sut() { _LM_bv_free(bv); }
};

std::vector<int> Ordered(const std::set<int>& s) { return std::vector<int>(s.begin(), s.end()); }
std::vector<int> Off(const Model& m) {
  std::vector<int> out;
  for (int e = 0; e < m.n; ++e)
    if (!m.on.count(e)) out.push_back(e);
  return out;
}
std::set<int> All(int n) {
  std::set<int> s;
  for (int e = 0; e < n; ++e) s.insert(e);
  return s;
}

// The record against the model: counts, every element's state, ranks, both walks.
void Check(const Model& m, BVEC* bv) {
  RC_ASSERT(bv->type_stockage == m.kind);
  RC_ASSERT(bv->nb_ddl == m.n);
  const bool tout = m.kind == TOUT;
  const std::set<int> on = tout ? All(m.n) : m.on;
  RC_ASSERT(_LM_bv_nb_on(bv) == static_cast<int>(on.size()));
  RC_ASSERT(_LM_bv_nb_off(bv) == (tout ? 0 : m.n - static_cast<int>(on.size())));
  for (int e = -1; e <= m.n; ++e) {
    const int want = tout ? -1 : (on.count(e) ? 1 : 0);
    RC_ASSERT(_LM_bv_is_on(bv, e) == want);
    RC_ASSERT(_LM_bv_is_off(bv, e) == (want == 0 ? 1 : 0));
    if (e >= 0 && e < m.n) {
      const int rank = tout ? e : (on.count(e) ? static_cast<int>(std::distance(on.begin(), on.find(e))) : -1);
      RC_ASSERT(_LM_bv_ou_dans_bv(bv, e) == rank);
    }
  }
  RC_ASSERT(Walk(bv, true) == Ordered(on));
  RC_ASSERT(Walk(bv, false) == (tout ? std::vector<int>{} : Off(m)));
}

BVEC* Fresh(int kind, int n, int cap) {
  int st = 0;
  BVEC* bv = nullptr;
  switch (kind) {
    case BLOC: bv = _LM_bv_get_bloc("p", 0, n, cap, __LINE__, "p", &st); break;
    case CODAGE: bv = _LM_bv_get_codage("p", 0, n, __LINE__, "p", &st); break;
    case LIST: bv = _LM_bv_get_ivec("p", 0, n, cap, __LINE__, "p", &st); break;
    case DIRECT: bv = _LM_bv_get_direct("p", 0, n, __LINE__, "p", &st); break;
    default: bv = _LM_bv_get_tout("p", 0, n, __LINE__, "p", &st); break;
  }
  RC_ASSERT(st == 0);
  RC_ASSERT(bv != nullptr);
  return bv;
}

BVEC* Holding(int kind, int n, const std::set<int>& on) {
  BVEC* bv = Fresh(kind, n, 2);
  for (int e : on) {
    int st = 0;
    _LM_bv_insere(bv, e, &st);
    RC_ASSERT(st == 0);
  }
  return bv;
}

using Cmd = rc::state::Command<Model, Sut>;

// A call that may refuse: a refusal leaves the record exactly as it was.
template <class F>
bool RunOrRefuse(Sut& s, F call) {
  const Shot before = Take(s.bv);
  const bool ok = call();
  if (!ok) RC_ASSERT(Take(s.bv) == before);
  return ok;
}

// Element insertion: BLOC appends only above its last run, IVEC keeps its list sorted, direct
// grows to cover the element, CODAGE stays inside its set, TOUT ignores it. An element outside
// the set of a BLOC or IVEC record has no place in it.
struct Insert : Cmd {
  int i = *rc::gen::inRange(-2, 80);
  bool Accepted(const Model& m) const {
    if (m.kind == TOUT) return true;  // every element is active already
    if (i < 0) return false;
    switch (m.kind) {
      case BLOC: return i < m.n && (m.on.empty() || i > *m.on.rbegin());
      case CODAGE: return i < m.n;
      case LIST: return i < m.n;
      default: return true;
    }
  }
  void apply(Model& m) const override {
    if (!Accepted(m)) return;
    if (m.kind == DIRECT && i >= m.n) m.n = std::max(2 * m.n, i + 1);
    if (m.kind != TOUT) m.on.insert(i);
  }
  void run(const Model& m, Sut& s) const override {
    int st = 0;
    const bool ok = RunOrRefuse(s, [&] {
      _LM_bv_insere(s.bv, i, &st);
      return st == 0;
    });
    RC_ASSERT(ok == Accepted(m));
    Model after = m;
    apply(after);
    Check(after, s.bv);
  }
  void show(std::ostream& os) const override { os << "_LM_bv_insere(" << i << ")"; }
};

// Element, whole-set and segment settings; each kind takes only its own.
struct Setting : Cmd {
  int how = *rc::gen::inRange(0, 7);
  int a = *rc::gen::inRange(-2, 70);
  int b = *rc::gen::inRange(-2, 70);
  bool Accepted(const Model& m) const {
    const bool packed = m.kind == CODAGE, flags = m.kind == DIRECT;
    switch (how) {
      case 0:
      case 1: return packed && a >= 0 && a < m.n;
      case 2: return true;              // all on
      case 3: return m.kind != TOUT;    // all off
      case 4: return packed || flags;   // complement
      default: return (packed || flags) && a >= 0 && b <= m.n;  // an empty segment is no change
    }
  }
  void apply(Model& m) const override {
    if (!Accepted(m) || m.kind == TOUT) return;
    switch (how) {
      case 0: m.on.insert(a); break;
      case 1: m.on.erase(a); break;
      case 2:
        m.on = All(m.n);
        if (m.kind == CODAGE)
          for (int e = m.n; e < 32 * m.words; ++e) m.high.insert(e);
        break;
      case 3: m.on.clear(); m.high.clear(); break;
      case 4: {
        std::set<int> c, h;
        for (int e = 0; e < m.n; ++e)
          if (!m.on.count(e)) c.insert(e);
        if (m.kind == CODAGE)
          for (int e = m.n; e < 32 * m.words; ++e)
            if (!m.high.count(e)) h.insert(e);
        m.on = c;
        m.high = h;
        break;
      }
      case 5: for (int e = a; e < b; ++e) m.on.insert(e); break;
      default: for (int e = a; e < b; ++e) m.on.erase(e); break;
    }
  }
  void run(const Model& m, Sut& s) const override {
    const bool ok = RunOrRefuse(s, [&] {
      int st = 0;
      switch (how) {
        case 0: return _LM_bv_set_on(s.bv, a) == 0;
        case 1: return _LM_bv_set_off(s.bv, a) == 0;
        case 2: _LM_bv_set_all_on(s.bv, "p", &st); return st == 0;
        case 3: _LM_bv_set_all_off(s.bv, "p", &st); return st == 0;
        case 4: return _LM_bv_oppose(s.bv) == 0;
        case 5: return _LM_bv_set_to_on_segment(s.bv, a, b) == 0;
        default: return _LM_bv_set_to_off_segment(s.bv, a, b) == 0;
      }
    });
    RC_ASSERT(ok == Accepted(m));
    Model after = m;
    apply(after);
    Check(after, s.bv);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"set_on", "set_off", "set_all_on", "set_all_off", "oppose",
                                  "set_to_on_segment", "set_to_off_segment"};
    os << "_LM_bv_" << names[how] << "(" << a << ", " << b << ")";
  }
};

// Segment counts, ranks through prefix counts, positioning of the iterator.
struct Counting : Cmd {
  int a = *rc::gen::inRange(0, 70);
  int b = *rc::gen::inRange(0, 70);
  void run(const Model& m, Sut& s) const override {
    const std::set<int> on = m.kind == TOUT ? All(m.n) : m.on;
    int st = 0;
    const int seg = _LM_bv_nb_on_segment(s.bv, a, b, &st);
    if (m.kind == BLOC || m.kind == CODAGE) {
      int want = 0;
      for (int e : on) want += e >= a && e < b;
      if (a <= b && b <= m.n) {
        RC_ASSERT(st == 0);
        RC_ASSERT(seg == want);
      }
    } else {
      RC_ASSERT(seg == -1 && st == -1);
    }
    int pst = 0;
    IVEC* prefix = _LM_iv_get("p", 0, m.n / 32 + 2, __LINE__, "p", &pst);
    _LM_bv_build_nb_active_bit_per_integer(s.bv, prefix);
    for (int e = 0; e < m.n; ++e) RC_ASSERT(_LM_bv_ou_dans_bv_fast(s.bv, e, prefix) == _LM_bv_ou_dans_bv(s.bv, e));
    iv_free(prefix);
    st = 0;
    const int at = _LM_bv_set_iterateur(s.bv, a, &st);
    if (m.kind == BLOC || m.kind == CODAGE) {
      auto it = on.lower_bound(a);
      RC_ASSERT(at == (it == on.end() ? -1 : *it));
    } else {
      RC_ASSERT(at == -1 && st == -1);
    }
    Check(m, s.bv);
  }
  void show(std::ostream& os) const override { os << "counts and positions(" << a << ", " << b << ")"; }
};

// Conversions to flag and element lists, and back from flags into a record of the same kind.
struct Conversions : Cmd {
  void run(const Model& m, Sut& s) const override {
    const std::set<int> on = m.kind == TOUT ? All(m.n) : m.on;
    int st = 0;
    IVEC* flags = _LM_bv_to_ivec(s.bv, nullptr, &st);
    RC_ASSERT(st == 0);
    RC_ASSERT((flags != nullptr));
    RC_ASSERT(flags->dim >= static_cast<unsigned>(m.n));
    for (int e = 0; e < m.n; ++e) RC_ASSERT(flags->ive[e] == (on.count(e) ? 1 : 0));
    IVEC* onList = _LM_bv_on_to_ivec_compact(s.bv, nullptr, &st);
    RC_ASSERT(st == 0);
    RC_ASSERT(std::vector<int>(onList->ive, onList->ive + on.size()) == Ordered(on));
    IVEC* offList = _LM_bv_off_to_ivec_compact(s.bv, nullptr, &st);
    RC_ASSERT(st == 0);
    if (m.kind != TOUT) {
      const std::vector<int> off = Off(m);
      RC_ASSERT((offList == nullptr ? off.empty() : std::vector<int>(offList->ive, offList->ive + off.size()) == off));
    }
    if (m.kind != TOUT) {
      flags->dim = static_cast<unsigned>(m.n);
      // A new record cannot be of the list kind (its getter refuses it): give an empty one.
      BVEC* back = m.kind == LIST ? Fresh(LIST, m.n, 1) : nullptr;
      RC_ASSERT(_LM_ivec_to_bv(flags, m.kind, &back) == 0);
      RC_ASSERT((back != nullptr));
      RC_ASSERT(Walk(back, true) == Ordered(on));
      _LM_bv_free(back);
    }
    iv_free(flags);
    iv_free(onList);
    iv_free(offList);
    Check(m, s.bv);
  }
  void show(std::ostream& os) const override { os << "to_ivec / on,off compact / ivec_to_bv"; }
};

// Copies and kind conversions hold the same elements; the copy shares no list.
struct Copies : Cmd {
  int kind = *rc::gen::inRange(1, 6);
  void run(const Model& m, Sut& s) const override {
    const std::set<int> on = m.kind == TOUT ? All(m.n) : m.on;
    int st = 0;
    BVEC* copy = _LM_bv_copy(s.bv, nullptr, "p", &st);
    RC_ASSERT(st == 0);
    RC_ASSERT((copy != nullptr));
    // The copy holds the same elements; list entries past the ones in use are not copied.
    Check(m, copy);
    RC_ASSERT(copy->nb_blocs == s.bv->nb_blocs);
    RC_ASSERT((copy->code == nullptr || copy->code != s.bv->code));
    _LM_bv_free(copy);
    st = 0;
    BVEC* other = _LM_bv_to_bv(s.bv, nullptr, kind, &st);
    if (other) {
      RC_ASSERT(st == 0);
      if (other->type_stockage != TOUT) RC_ASSERT(Walk(other, true) == Ordered(on));
      _LM_bv_free(other);
    }
    Check(m, s.bv);
  }
  void show(std::ostream& os) const override { os << "_LM_bv_copy, _LM_bv_to_bv(kind " << kind << ")"; }
};

// The binary form reads back as the same record and writes again byte for byte; a form cut
// anywhere is refused and leaves nothing allocated.
struct Binary : Cmd {
  int cut = *rc::gen::inRange(0, 400);
  void run(const Model& m, Sut& s) const override {
    const std::vector<unsigned char> image = Image(s.bv);
    FILE* f = std::tmpfile();
    std::fwrite(image.data(), 1, image.size(), f);
    std::rewind(f);
    int st = 0;
    BVEC* back = _LM_bv_binput(f, &st);
    std::fclose(f);
    RC_ASSERT((back != nullptr));
    RC_ASSERT(st == 0);
    RC_ASSERT(Image(back) == image);
    Check(m, back);
    _LM_bv_free(back);
    if (cut < static_cast<int>(image.size())) {
      FILE* g = std::tmpfile();
      std::fwrite(image.data(), 1, cut, g);
      std::rewind(g);
      st = 0;
      BVEC* none = _LM_bv_binput(g, &st);
      std::fclose(g);
      RC_ASSERT((none == nullptr));
    }
    // The text forms print without changing the elements (the walks reset the iterator).
    FILE* t = std::tmpfile();
    _LM_bv_print(t, s.bv);
    std::fclose(t);
    if (m.n <= 8) {
      _LM_bv_on_print(s.bv);
      _LM_bv_off_print(s.bv);
    }
    Check(m, s.bv);
  }
  void show(std::ostream& os) const override { os << "_LM_bv_boutput/_LM_bv_binput(cut " << cut << ")"; }
};

// Set operations against a second record of the same kind and size: intersection, union and
// the element transfers, into a new output or in place into an operand.
struct SetOps : Cmd {
  int how = *rc::gen::inRange(0, 5);
  std::vector<int> other = *rc::gen::container<std::vector<int>>(rc::gen::inRange(0, 70));
  void run(const Model& m, Sut& s) const override {
    std::set<int> o;
    for (int e : other)
      if (e < m.n) o.insert(e);
    BVEC* b = Holding(m.kind, m.n, o);
    const std::set<int> a = m.kind == TOUT ? All(m.n) : m.on;
    const std::set<int> bo = m.kind == TOUT ? All(m.n) : o;
    int st = 0;
    BVEC* out = nullptr;
    std::set<int> want;
    switch (how) {
      case 0:
      case 1: {
        static BVEC* (*const inter[])(BVEC*, BVEC*, BVEC*, int*) = {_LM_bv_inter, _LM_bv_inter_bloc,
                                                                   _LM_bv_inter_codage, _LM_bv_inter_ivec,
                                                                   _LM_bv_inter_direct};
        // The general intersection, or the one of the record's own kind.
        auto f = how == 0 || m.kind == TOUT ? inter[0] : inter[m.kind == LIST ? 3 : m.kind == DIRECT ? 4 : m.kind];
        out = f(s.bv, b, nullptr, &st);
        for (int e : a)
          if (bo.count(e)) want.insert(e);
        break;
      }
      case 2:
        out = _LM_bv_union(s.bv, b, nullptr, &st);
        want = a;
        want.insert(bo.begin(), bo.end());
        break;
      case 3:
      case 4: {
        if (m.kind != CODAGE && m.kind != DIRECT) break;
        // The transfers write into their second operand.
        out = how == 3 ? _LM_bv_on1_to_off2(s.bv, b, "p", &st) : _LM_bv_off1_to_on2(s.bv, b, "p", &st);
        want = bo;
        for (int e = 0; e < m.n; ++e) {
          if (how == 3 && a.count(e)) want.erase(e);
          if (how == 4 && !a.count(e)) want.insert(e);
        }
        RC_ASSERT((out == b));
        RC_ASSERT(st == 0);
        RC_ASSERT(Walk(b, true) == Ordered(want));
        out = nullptr;
        break;
      }
    }
    if (out) {
      RC_ASSERT(st == 0);
      if (out->type_stockage != TOUT) RC_ASSERT(Walk(out, true) == Ordered(want));
      if (out != b) _LM_bv_free(out);
    }
    _LM_bv_free(b);
    Check(m, s.bv);
  }
  void show(std::ostream& os) const override {
    static const char* names[] = {"inter", "inter_<kind>", "union", "on1_to_off2", "off1_to_on2"};
    os << "_LM_bv_" << names[how] << "(other of " << other.size() << ")";
  }
};

// Growth of the capacity (BLOC, IVEC) and of the element count (CODAGE). A CODAGE count is
// only grown here: a lowered count leaves its words longer than the count needs, and the
// counts then take in bits beyond it, which is the record's documented way and not modelled.
struct Resize : Cmd {
  int size = *rc::gen::inRange(-2, 120);
  bool Lowers(const Model& m) const { return m.kind == CODAGE && size > 0 && size < m.n; }
  void apply(Model& m) const override {
    if (m.kind != CODAGE || size <= m.n) return;
    for (int e : m.high)
      if (e < size) m.on.insert(e);
    std::set<int> h;
    for (int e : m.high)
      if (e >= size) h.insert(e);
    m.high = h;
    m.n = size;
    m.words = std::max(m.words, size / 32 + 1);
  }
  void run(const Model& m, Sut& s) const override {
    int st = 0;
    if (Lowers(m)) return Check(m, s.bv);
    if (m.kind == CODAGE) {
      const Shot before = Take(s.bv);
      BVEC* r = _LM_bv_resize_codage("p", 0, s.bv, size, __LINE__, "p", &st);
      if (size <= 0) {
        RC_ASSERT((r == nullptr));
        RC_ASSERT(Take(s.bv) == before);
      } else {
        RC_ASSERT((r == s.bv));
      }
    } else {
      const Shot before = Take(s.bv);
      BVEC* r = _LM_bv_resize_bloc("p", 0, s.bv, m.n, size, __LINE__, "p", &st);
      if (size < 0) {
        RC_ASSERT((r == nullptr));
        RC_ASSERT(Take(s.bv) == before);
      } else {
        RC_ASSERT((r == s.bv));
        if (m.kind == BLOC || m.kind == LIST) RC_ASSERT(s.bv->max_blocs >= size);
      }
    }
    Model after = m;
    apply(after);
    Check(after, s.bv);
  }
  void show(std::ostream& os) const override { os << "resize(" << size << ")"; }
};

// Memory running out while a list grows or a record is made: refused with null or a failing
// status, the record as it was. An insertion refused for want of memory goes through once
// memory is back, so the model follows Insert's.
struct NoMemory : Insert {
  void run(const Model& m, Sut& s) const override {
    const Shot before = Take(s.bv);
    int st = 0, st2 = 0;
    kvrt::SetHeapBlocksLeft(0);
    _LM_bv_insere(s.bv, i, &st);
    BVEC* copy = _LM_bv_copy(s.bv, nullptr, "p", &st2);
    BVEC* made = _LM_bv_get_codage("p", 0, 40, __LINE__, "p", &st2);
    IVEC* flags = _LM_bv_to_ivec(s.bv, nullptr, &st2);
    kvrt::SetHeapBlocksLeft(-1);
    RC_ASSERT((copy == nullptr && made == nullptr && flags == nullptr));
    if (st != 0) {
      RC_ASSERT(Take(s.bv) == before);
      st = 0;
      _LM_bv_insere(s.bv, i, &st);
    }
    RC_ASSERT((st == 0) == Accepted(m));
    Model after = m;
    apply(after);
    Check(after, s.bv);
  }
  void show(std::ostream& os) const override { os << "no memory: _LM_bv_insere(" << i << "), copy, get, to_ivec"; }
};

}  // namespace

RC_GTEST_PROP(BvecProps, EveryOperationAnswersLikeASet, ()) {
  kvtest::MsgCapture quiet;  // refusals leave trace marks; the harness reads results
  Model m;
  m.kind = *rc::gen::inRange(1, 6);
  m.n = *rc::gen::inRange(0, 70);
  m.words = m.n / 32 + 1;
  Sut s;
  s.bv = Fresh(m.kind, m.n, *rc::gen::inRange(0, 4));
  rc::state::check(m, s,
                   rc::state::gen::execOneOfWithArgs<Insert, Setting, Counting, Conversions, Copies, Binary,
                                                     SetOps, Resize, NoMemory>());
}
