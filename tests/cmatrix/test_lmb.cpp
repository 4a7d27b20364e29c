// Tests of the bit vectors: the five storage kinds checked against a plain set of elements
// (counts, ranks, walks, conversions), insertion and growth, whole-set and segment settings,
// positioning, copies and kind conversions, the text form and the binary form.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "bvec.h"
#include "cmat_bvec.h"
#include "cmat_support.h"
#include "meminfo.h"
#include "vmorse_support.h"

using cmat_test::ErrWatch;
using namespace sparse_test;

namespace {

// The bit-vector tests start the BLOC and LIST kinds with room for four runs or elements.
BVEC* Get(int kind, int n, int cap = 4) { return GetBvec(kind, n, cap); }
BVEC* Make(int kind, int n, const std::set<int>& on) { return MakeBvec(kind, n, on, 4); }

std::vector<int> Complement(int n, const std::set<int>& on) {
  std::vector<int> out;
  for (int e = 0; e < n; ++e)
    if (!on.count(e)) out.push_back(e);
  return out;
}

std::vector<int> List(const BVEC* bv) { return std::vector<int>(bv->code->ive, bv->code->ive + bv->nb_blocs); }

}  // namespace

TEST(BvecGet, EachKindStartsEmptyWithItsOwnLists) {
  BVEC* b = Get(BLOC, 10, 7);
  EXPECT_EQ(b->type_stockage, 1);
  EXPECT_EQ(b->nb_ddl, 10);
  EXPECT_EQ(b->nb_blocs, 0);
  EXPECT_EQ(b->max_blocs, 7);
  ASSERT_NE(b->deb_blocs, nullptr);
  EXPECT_EQ(b->deb_blocs->dim, 7u);
  EXPECT_EQ(b->fin_blocs->dim, 7u);
  EXPECT_EQ(b->code, nullptr);
  for (int n : {0, 31, 32, 64, 65}) {
    BVEC* c = Get(CODAGE, n);
    EXPECT_EQ(c->nb_blocs, n / 32 + 1) << n;
    EXPECT_EQ(c->max_blocs, -1);
    EXPECT_EQ(c->code->dim, static_cast<unsigned>(n / 32 + 1));
    EXPECT_EQ(_LM_bv_nb_on(c), 0);
    _LM_bv_free(c);
  }
  BVEC* l = Get(LIST, 10, 3);
  EXPECT_EQ(l->max_blocs, 3);
  EXPECT_EQ(l->code->dim, 3u);
  BVEC* d = Get(DIRECT, 6);
  EXPECT_EQ(d->max_blocs, 6);
  EXPECT_EQ(Ints(d->code), std::vector<int>(6, 0));
  BVEC* t = Get(TOUT, 6);
  EXPECT_EQ(t->code, nullptr);
  EXPECT_EQ(t->deb_blocs, nullptr);
  for (BVEC* bv : {b, l, d, t}) EXPECT_EQ(_LM_bv_free(bv), 0);
  EXPECT_EQ(_LM_bv_free(nullptr), -1);

  int st = 0;
  BVEC* g = _LM_bv_get("t", 0, 3, 10, __LINE__, "t", &st);
  EXPECT_EQ(g, nullptr);
  EXPECT_EQ(st, -1);
  for (int kind : {0, 1, 7}) {
    g = _LM_bv_get("t", 0, kind, 10, __LINE__, "t", &st);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(g->type_stockage, 1);
    EXPECT_EQ(g->max_blocs, 100);
    _LM_bv_free(g);
  }
  for (int kind : {2, 4, 5}) {
    g = _LM_bv_get("t", 0, kind, 10, __LINE__, "t", &st);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->type_stockage, kind);
    _LM_bv_free(g);
  }
  {
    ErrWatch w;
    EXPECT_EQ(_LM_bv_get_codage("t", 0, -1, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(_LM_bv_get_bloc("t", 0, 5, -1, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 20);
    EXPECT_EQ(_LM_bv_get("t", 0, 4, -3, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 20);
  }
}

TEST(BvecGet, RecordsAreCountedAsBvecWhileAccountingIsOn) {
  mem_info_on(1);
  const int before = mem_info_numvar(TYPE_BVEC, 0);
  const long long bytes = mem_info_bytes(TYPE_BVEC, 0);
  BVEC* a = Get(CODAGE, 40);
  BVEC* b = Get(TOUT, 3);
  EXPECT_EQ(mem_info_numvar(TYPE_BVEC, 0), before + 2);
  EXPECT_EQ(mem_info_bytes(TYPE_BVEC, 0), bytes + 2 * static_cast<long long>(sizeof(BVEC)));
  _LM_bv_free(a);
  _LM_bv_free(b);
  EXPECT_EQ(mem_info_numvar(TYPE_BVEC, 0), before);
  EXPECT_EQ(mem_info_bytes(TYPE_BVEC, 0), bytes);
  mem_info_on(0);
}

TEST(BvecKinds, EveryKindAnswersLikeAPlainSet) {
  std::mt19937 gen(2024);
  for (int n : {1, 31, 32, 33, 70, 130}) {
    for (double density : {0.0, 0.2, 0.6, 1.0}) {
      std::bernoulli_distribution pick(density);
      std::set<int> on;
      for (int e = 0; e < n; ++e)
        if (pick(gen)) on.insert(e);
      const std::vector<int> active(on.begin(), on.end());
      const std::vector<int> inactive = Complement(n, on);
      for (int kind : {BLOC, CODAGE, LIST, DIRECT}) {
        SCOPED_TRACE("kind " + std::to_string(kind) + " n " + std::to_string(n));
        BVEC* bv = Make(kind, n, on);
        EXPECT_EQ(_LM_bv_nb_on(bv), static_cast<int>(on.size()));
        EXPECT_EQ(_LM_bv_nb_off(bv), n - static_cast<int>(on.size()));
        EXPECT_EQ(Walk(bv, true), active);
        EXPECT_EQ(Walk(bv, false), inactive);
        int rank = 0;
        for (int e = 0; e < n; ++e) {
          const bool is = on.count(e) != 0;
          EXPECT_EQ(_LM_bv_is_on(bv, e), is ? 1 : 0) << e;
          EXPECT_EQ(_LM_bv_is_off(bv, e), is ? 0 : 1) << e;
          EXPECT_EQ(_LM_bv_ou_dans_bv(bv, e), is ? rank : -1) << e;
          if (is) ++rank;
        }
        int st = 0;
        IVEC* flags = _LM_bv_to_ivec(bv, nullptr, &st);
        ASSERT_NE(flags, nullptr);
        for (int e = 0; e < n; ++e) EXPECT_EQ(flags->ive[e], on.count(e) ? 1 : 0);
        IVEC* con = _LM_bv_on_to_ivec_compact(bv, nullptr, &st);
        EXPECT_EQ(Ints(con), active);
        IVEC* coff = _LM_bv_off_to_ivec_compact(bv, nullptr, &st);
        EXPECT_EQ(Ints(coff), inactive);
        if (kind == BLOC || kind == CODAGE) {
          for (int first = 0; first < n; first += 7) {
            for (int end = first + 1; end <= n; end += 5) {
              int want = 0;
              for (int e = first; e < end; ++e) want += on.count(e) ? 1 : 0;
              EXPECT_EQ(_LM_bv_nb_on_segment(bv, first, end, &st), want) << first << ".." << end;
              EXPECT_EQ(st, 0);
            }
          }
        }
        iv_free(flags);
        iv_free(con);
        iv_free(coff);
        _LM_bv_free(bv);
      }
      BVEC* all = Get(TOUT, n);
      EXPECT_EQ(_LM_bv_nb_on(all), n);
      EXPECT_EQ(_LM_bv_nb_off(all), 0);
      EXPECT_EQ(Walk(all, false), std::vector<int>{});
      EXPECT_EQ(static_cast<int>(Walk(all, true).size()), n);
      _LM_bv_free(all);
    }
  }
}

TEST(BvecBloc, RunsSharingABoundaryCountTheirCommonElementOnce) {
  BVEC* bv = Runs(10, {{2, 5}, {5, 8}});
  EXPECT_EQ(_LM_bv_nb_on(bv), 7);
  EXPECT_EQ(_LM_bv_nb_off(bv), 3);
  EXPECT_EQ(Walk(bv, true), (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Walk(bv, false), (std::vector<int>{0, 1, 9}));
  EXPECT_EQ(_LM_bv_ou_dans_bv(bv, 6), 4);
  EXPECT_EQ(_LM_bv_ou_dans_bv(bv, 5), 3);
  EXPECT_EQ(_LM_bv_ou_dans_bv(bv, 9), -1);
  int st = 0;
  EXPECT_EQ(_LM_bv_nb_on_segment(bv, 4, 7, &st), 3);
  _LM_bv_free(bv);

  BVEC* one = Runs(10, {{2, 3}});
  EXPECT_EQ(Walk(one, false), (std::vector<int>{0, 1, 4, 5, 6, 7, 8, 9}));
  IVEC* off = _LM_bv_off_to_ivec_compact(one, nullptr, &st);
  EXPECT_EQ(off->dim, 8u);
  EXPECT_EQ(_LM_bv_nb_off(one), 8);
  iv_free(off);
  _LM_bv_free(one);
}

TEST(BvecInsert, BlocAppendsOnlyAboveItsLastRunAndGrowsBy50) {
  int st = 0;
  BVEC* bv = Get(BLOC, 20, 1);
  for (int e : {4, 5, 6, 9}) {
    _LM_bv_insere(bv, e, &st);
    EXPECT_EQ(st, 0);
  }
  EXPECT_EQ(RunList(bv), (std::vector<int>{4, 6, 9, 9}));
  EXPECT_EQ(bv->max_blocs, 51);  // the second run needed 50 more
  _LM_bv_insere(bv, 7, &st);
  EXPECT_EQ(st, -1);
  _LM_bv_insere(bv, 6, &st);
  EXPECT_EQ(st, -1);
  _LM_bv_insere(bv, 9, &st);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(RunList(bv), (std::vector<int>{4, 6, 9, 9}));
  _LM_bv_insere(bv, -1, &st);
  EXPECT_EQ(st, -1);
  _LM_bv_free(bv);

  // A BLOC without any run capacity still takes its first run.
  BVEC* bare = Get(BLOC, 5, 0);
  _LM_bv_insere(bare, 3, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(RunList(bare), (std::vector<int>{3, 3}));
  _LM_bv_free(bare);
}

TEST(BvecInsert, ListsStaySortedAndDoubleWhenFull) {
  int st = 0;
  BVEC* bv = Get(LIST, 20, 2);
  _LM_bv_insere(bv, 5, &st);
  _LM_bv_insere(bv, 1, &st);
  EXPECT_EQ(bv->max_blocs, 2);
  _LM_bv_insere(bv, 3, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(bv->max_blocs, 4);
  _LM_bv_insere(bv, 3, &st);  // already there: nothing changes
  _LM_bv_insere(bv, 0, &st);
  EXPECT_EQ(List(bv), (std::vector<int>{0, 1, 3, 5}));
  _LM_bv_insere(bv, 19, &st);
  EXPECT_EQ(bv->max_blocs, 8);
  EXPECT_EQ(List(bv), (std::vector<int>{0, 1, 3, 5, 19}));
  _LM_bv_free(bv);

  BVEC* bare = Get(LIST, 5, 0);
  _LM_bv_insere(bare, 2, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(List(bare), (std::vector<int>{2}));
  _LM_bv_free(bare);
}

TEST(BvecInsert, DirectFlagsGrowToCoverTheElement) {
  int st = 0;
  BVEC* bv = Make(DIRECT, 10, {0, 9});
  _LM_bv_insere(bv, 12, &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(bv->nb_ddl, 20);
  EXPECT_EQ(bv->max_blocs, 20);
  EXPECT_EQ(Walk(bv, true), (std::vector<int>{0, 9, 12}));
  _LM_bv_insere(bv, 75, &st);  // beyond twice the size: grown as far as the element
  EXPECT_EQ(st, 0);
  EXPECT_EQ(bv->nb_ddl, 76);
  EXPECT_EQ(Walk(bv, true), (std::vector<int>{0, 9, 12, 75}));
  _LM_bv_free(bv);

  BVEC* c = Get(CODAGE, 10);
  _LM_bv_insere(c, 10, &st);  // outside the set
  EXPECT_EQ(st, -1);
  _LM_bv_insere(c, 9, &st);
  EXPECT_EQ(st, 0);
  BVEC* t = Get(TOUT, 4);
  _LM_bv_insere(t, 2, &st);
  EXPECT_EQ(st, 0);
  _LM_bv_insere(nullptr, 2, &st);
  EXPECT_EQ(st, -1);
  _LM_bv_free(c);
  _LM_bv_free(t);
}

// An element at or beyond nb_ddl is refused by every kind that keeps its elements (runs,
// words, list) alike: status -1, nothing changed, so the count stays that of the set and the
// binary form written afterwards reads back.
TEST(BvecInsert, ElementsBeyondTheSetAreRefusedByRunsWordsAndLists) {
  for (int kind : {BLOC, CODAGE, LIST}) {
    for (int e : {10, 11, 40}) {
      SCOPED_TRACE("kind " + std::to_string(kind) + " element " + std::to_string(e));
      BVEC* bv = Make(kind, 10, {2, 7});
      const int blocs = bv->nb_blocs, cap = bv->max_blocs;
      const std::vector<int> held = kind == BLOC ? RunList(bv) : Ints(bv->code);
      int st = 0;
      _LM_bv_insere(bv, e, &st);
      EXPECT_EQ(st, -1);
      EXPECT_EQ(bv->nb_ddl, 10);
      EXPECT_EQ(bv->nb_blocs, blocs);
      EXPECT_EQ(bv->max_blocs, cap);
      EXPECT_EQ(kind == BLOC ? RunList(bv) : Ints(bv->code), held);
      EXPECT_EQ(_LM_bv_nb_on(bv), 2);
      EXPECT_EQ(Walk(bv, true), (std::vector<int>{2, 7}));
      FILE* f = std::tmpfile();
      ASSERT_EQ(_LM_bv_boutput(f, bv), 0);
      Rewind(f);
      BVEC* back = _LM_bv_binput(f, &st);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(st, 0);
      EXPECT_EQ(Walk(back, true), (std::vector<int>{2, 7}));
      _LM_bv_free(back);
      std::fclose(f);
      _LM_bv_free(bv);
    }
  }
  // The last element of the set is taken by each of them.
  for (int kind : {BLOC, CODAGE, LIST}) {
    BVEC* bv = Make(kind, 10, {2, 9});
    EXPECT_EQ(_LM_bv_nb_on(bv), 2) << kind;
    _LM_bv_free(bv);
  }
}

// Filling a supplied run, word or list bit vector over fewer elements than the source would
// meet a refused element part-way (where it used to be taken beyond the set): the kind
// conversion and the flag conversion refuse such an output before they write it.
TEST(BvecConvert, AnOutputOverFewerElementsIsRefusedUnchanged) {
  BVEC* packed = Make(CODAGE, 20, {3, 15});
  BVEC* runs = Make(BLOC, 20, {3, 15});
  IVEC* flags = nullptr;
  {
    int st = 0;
    flags = _LM_iv_get("t", 0, 20, __LINE__, "t", &st);
    flags->ive[3] = flags->ive[15] = 1;
  }
  for (int kind : {BLOC, CODAGE, LIST}) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    BVEC* src = kind == BLOC ? packed : runs;  // of another kind: the conversion inserts
    BVEC* small = Make(kind, 10, {});
    const int blocs = small->nb_blocs, cap = small->max_blocs;
    int st = 0;
    EXPECT_EQ(_LM_bv_to_bv(src, small, kind, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(_LM_ivec_to_bv(flags, kind, &small), -1);
    EXPECT_EQ(small->nb_ddl, 10);
    EXPECT_EQ(small->nb_blocs, blocs);
    EXPECT_EQ(small->max_blocs, cap);
    EXPECT_EQ(_LM_bv_nb_on(small), 0);
    // Flags that all lie in the set are taken.
    flags->ive[15] = 0;
    EXPECT_EQ(_LM_ivec_to_bv(flags, kind, &small), 0);
    EXPECT_EQ(Walk(small, true), (std::vector<int>{3}));
    flags->ive[15] = 1;
    _LM_bv_free(small);
  }
  iv_free(flags);
  _LM_bv_free(packed);
  _LM_bv_free(runs);
}

TEST(BvecElements, SetOnAndOffServeThePackedKindOnly) {
  BVEC* c = Get(CODAGE, 40);
  EXPECT_EQ(_LM_bv_set_on(c, 33), 0);
  EXPECT_EQ(c->code->ive[1], 2);
  EXPECT_EQ(_LM_bv_set_on(c, 0), 0);
  EXPECT_EQ(_LM_bv_set_off(c, 0), 0);
  EXPECT_EQ(c->code->ive[0], 0);
  EXPECT_EQ(_LM_bv_set_on(c, 40), -1);
  EXPECT_EQ(_LM_bv_set_on(c, -1), -1);
  for (int kind : {BLOC, LIST, DIRECT, TOUT}) {
    BVEC* bv = Get(kind, 40);
    EXPECT_EQ(_LM_bv_set_on(bv, 3), -1) << kind;
    EXPECT_EQ(_LM_bv_set_off(bv, 3), -1) << kind;
    _LM_bv_free(bv);
  }
  BVEC* t = Get(TOUT, 5);
  EXPECT_EQ(_LM_bv_is_on(t, 2), -1);
  EXPECT_EQ(_LM_bv_is_off(t, 2), 0);
  EXPECT_EQ(_LM_bv_ou_dans_bv(t, 3), 3);
  EXPECT_EQ(_LM_bv_is_on(nullptr, 2), 0);
  _LM_bv_free(t);
  _LM_bv_free(c);
}

TEST(BvecWholeSet, AllOnAndAllOffPerKind) {
  int st = 0;
  BVEC* c = Get(CODAGE, 40);
  _LM_bv_set_all_on(c, "t", &st);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(c->code->ive[1], -1);  // the whole last word, bits beyond 40 included
  EXPECT_EQ(_LM_bv_nb_on(c), 40);
  EXPECT_EQ(_LM_bv_nb_off(c), 0);
  const std::vector<int> walk = Walk(c, true);
  EXPECT_EQ(walk.size(), 40u);
  EXPECT_EQ(walk.back(), 39);
  EXPECT_EQ(Walk(c, false), std::vector<int>{});
  _LM_bv_set_all_off(c, "t", &st);
  EXPECT_EQ(_LM_bv_nb_on(c), 0);

  BVEC* b = Get(BLOC, 9, 0);
  _LM_bv_set_all_on(b, "t", &st);
  EXPECT_EQ(RunList(b), (std::vector<int>{0, 8}));
  _LM_bv_set_all_off(b, "t", &st);
  EXPECT_EQ(b->nb_blocs, 0);
  EXPECT_EQ(b->deb_blocs->ive[0], 0);

  BVEC* l = Get(LIST, 6, 1);
  _LM_bv_set_all_on(l, "t", &st);
  EXPECT_EQ(List(l), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  _LM_bv_set_all_off(l, "t", &st);
  EXPECT_EQ(l->nb_blocs, 0);

  BVEC* d = Get(DIRECT, 3);
  _LM_bv_set_all_on(d, "t", &st);
  EXPECT_EQ(Ints(d->code), (std::vector<int>{1, 1, 1}));
  _LM_bv_set_all_off(d, "t", &st);
  EXPECT_EQ(Ints(d->code), (std::vector<int>{0, 0, 0}));

  BVEC* t = Get(TOUT, 3);
  _LM_bv_set_all_on(t, "t", &st);
  EXPECT_EQ(st, 0);
  {
    ErrWatch w;
    _LM_bv_set_all_off(t, "t", &st);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.count(), 0);
    _LM_bv_set_all_on(nullptr, "caller", &st);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.last(), 20);
    _LM_bv_set_all_off(nullptr, "caller", &st);
    EXPECT_EQ(w.last(), 20);
  }
  for (BVEC* bv : {c, b, l, d, t}) _LM_bv_free(bv);
}

TEST(BvecWholeSet, ComplementCountsOnlyTheElementsOfTheSet) {
  BVEC* c = Make(CODAGE, 40, {1, 3});
  EXPECT_EQ(_LM_bv_oppose(c), 0);
  EXPECT_EQ(_LM_bv_nb_on(c), 38);
  EXPECT_EQ(_LM_bv_is_on(c, 1), 0);
  EXPECT_EQ(_LM_bv_is_on(c, 39), 1);
  BVEC* d = Make(DIRECT, 4, {0, 2});
  EXPECT_EQ(_LM_bv_oppose(d), 0);
  EXPECT_EQ(Walk(d, true), (std::vector<int>{1, 3}));
  for (int kind : {BLOC, LIST, TOUT}) {
    BVEC* bv = Make(kind, 4, {1});
    EXPECT_EQ(_LM_bv_oppose(bv), -1);
    EXPECT_EQ(_LM_bv_nb_on(bv), kind == TOUT ? 4 : 1);
    _LM_bv_free(bv);
  }
  EXPECT_EQ(_LM_bv_oppose(nullptr), 0);
  _LM_bv_free(c);
  _LM_bv_free(d);
}

TEST(BvecSegments, SettingAndCountingHalfOpenSegments) {
  struct Case {
    int first, end;
  };
  for (Case c : {Case{5, 70}, Case{3, 9}, Case{32, 64}, Case{0, 100}, Case{31, 33}, Case{7, 7}}) {
    for (int kind : {CODAGE, DIRECT}) {
      BVEC* bv = Get(kind, 100);
      ASSERT_EQ(_LM_bv_set_to_on_segment(bv, c.first, c.end), 0);
      std::set<int> want;
      for (int e = c.first; e < c.end; ++e) want.insert(e);
      EXPECT_EQ(Walk(bv, true), std::vector<int>(want.begin(), want.end())) << c.first << ".." << c.end;
      _LM_bv_set_all_on(bv, "t", nullptr);
      ASSERT_EQ(_LM_bv_set_to_off_segment(bv, c.first, c.end), 0);
      EXPECT_EQ(Walk(bv, false), std::vector<int>(want.begin(), want.end()));
      _LM_bv_free(bv);
    }
  }
  BVEC* c = Get(CODAGE, 100);
  EXPECT_EQ(_LM_bv_set_to_on_segment(c, 90, 101), -1);
  EXPECT_EQ(_LM_bv_set_to_on_segment(c, -1, 3), -1);
  EXPECT_EQ(_LM_bv_nb_on(c), 0);
  for (int kind : {BLOC, LIST, TOUT}) {
    BVEC* bv = Get(kind, 10);
    EXPECT_EQ(_LM_bv_set_to_on_segment(bv, 1, 3), -1);
    EXPECT_EQ(_LM_bv_set_to_off_segment(bv, 1, 3), -1);
    _LM_bv_free(bv);
  }
  EXPECT_EQ(_LM_bv_set_to_on_segment(nullptr, 1, 3), -1);

  // Counting: one word, one element, across words.
  _LM_bv_set_to_on_segment(c, 30, 40);
  int st = 0;
  EXPECT_EQ(_LM_bv_nb_on_segment(c, 31, 32, &st), 1);
  EXPECT_EQ(_LM_bv_nb_on_segment(c, 29, 30, &st), 0);
  EXPECT_EQ(_LM_bv_nb_on_segment(c, 0, 31, &st), 1);
  EXPECT_EQ(_LM_bv_nb_on_segment(c, 25, 99, &st), 10);
  EXPECT_EQ(_LM_bv_nb_on_segment(c, 5, 5, &st), 0);
  EXPECT_EQ(st, 0);
  for (int kind : {LIST, DIRECT, TOUT}) {
    BVEC* bv = Get(kind, 10);
    st = 0;
    EXPECT_EQ(_LM_bv_nb_on_segment(bv, 1, 3, &st), -1);
    EXPECT_EQ(st, -1);
    _LM_bv_free(bv);
  }
  st = 5;
  EXPECT_EQ(_LM_bv_nb_on_segment(nullptr, 1, 3, &st), 0);
  EXPECT_EQ(st, 0);
  _LM_bv_free(c);
}

TEST(BvecIterator, PositioningRestsOnTheElementFound) {
  int st = 0;
  BVEC* b = Runs(30, {{3, 6}, {10, 12}});
  EXPECT_EQ(_LM_bv_set_iterateur(b, 4, &st), 4);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(_LM_bv_on_suivant(b), 4);
  EXPECT_EQ(_LM_bv_on_suivant(b), 5);
  EXPECT_EQ(_LM_bv_set_iterateur(b, 8, &st), 10);
  EXPECT_EQ(_LM_bv_on_suivant(b), 10);
  EXPECT_EQ(_LM_bv_set_iterateur(b, 13, &st), -1);
  EXPECT_EQ(_LM_bv_on_suivant(b), -1);  // nothing left, and nothing read out of place
  EXPECT_EQ(_LM_bv_on_suivant(b), -1);

  BVEC* c = Make(CODAGE, 80, {3, 40, 41, 77});
  EXPECT_EQ(_LM_bv_set_iterateur(c, 40, &st), 40);
  EXPECT_EQ(_LM_bv_on_suivant(c), 41);
  EXPECT_EQ(_LM_bv_set_iterateur(c, 4, &st), 40);
  EXPECT_EQ(_LM_bv_on_suivant(c), 41);
  EXPECT_EQ(_LM_bv_set_iterateur(c, 78, &st), -1);
  EXPECT_EQ(_LM_bv_set_iterateur(c, 200, &st), -1);
  EXPECT_EQ(_LM_bv_on_suivant(c), -1);

  for (int kind : {LIST, DIRECT, TOUT}) {
    BVEC* bv = Make(kind, 10, {2});
    st = 0;
    EXPECT_EQ(_LM_bv_set_iterateur(bv, 1, &st), -1);
    EXPECT_EQ(st, -1);
    _LM_bv_free(bv);
  }
  EXPECT_EQ(_LM_bv_set_iterateur(nullptr, 1, &st), -1);
  _LM_bv_free(b);
  _LM_bv_free(c);
}

TEST(BvecRanks, PrefixCountsGiveTheSameRanks) {
  std::set<int> on;
  for (int e = 0; e < 200; e += 3) on.insert(e);
  BVEC* c = Make(CODAGE, 200, on);
  int st = 0;
  IVEC* prefix = _LM_iv_get("t", 0, c->nb_blocs + 1, __LINE__, "t", &st);
  _LM_bv_build_nb_active_bit_per_integer(c, prefix);
  for (int k = 0; k <= c->nb_blocs; ++k) {
    int want = 0;
    for (int e : on) want += e < 32 * k ? 1 : 0;
    EXPECT_EQ(prefix->ive[k], want) << k;
  }
  for (int e = 0; e < 200; ++e) EXPECT_EQ(_LM_bv_ou_dans_bv_fast(c, e, prefix), _LM_bv_ou_dans_bv(c, e)) << e;
  // A prefix vector too short, or none, still gives the right rank.
  IVEC* shortp = _LM_iv_get("t", 0, 2, __LINE__, "t", &st);
  _LM_bv_build_nb_active_bit_per_integer(c, shortp);
  EXPECT_EQ(_LM_bv_ou_dans_bv_fast(c, 198, shortp), _LM_bv_ou_dans_bv(c, 198));
  EXPECT_EQ(_LM_bv_ou_dans_bv_fast(c, 198, nullptr), 66);
  // Longer than the words: the extra entries are left alone.
  IVEC* longp = _LM_iv_get("t", 0, c->nb_blocs + 4, __LINE__, "t", &st);
  longp->ive[c->nb_blocs + 3] = 77;
  _LM_bv_build_nb_active_bit_per_integer(c, longp);
  EXPECT_EQ(longp->ive[c->nb_blocs], 67);
  EXPECT_EQ(longp->ive[c->nb_blocs + 3], 77);
  BVEC* b = Make(BLOC, 10, {2, 3});
  EXPECT_EQ(_LM_bv_ou_dans_bv_fast(b, 3, prefix), 1);
  iv_free(prefix);
  iv_free(shortp);
  iv_free(longp);
  _LM_bv_free(c);
  _LM_bv_free(b);
}

TEST(BvecResize, CapacityOnlyGrowsAndOnlyForRunsAndLists) {
  int st = 0;
  BVEC* b = Make(BLOC, 30, {1, 2, 5});
  BVEC* r = _LM_bv_resize_bloc("t", 0, b, 30, 20, __LINE__, "t", &st);
  ASSERT_EQ(r, b);
  EXPECT_EQ(b->max_blocs, 20);
  EXPECT_EQ(b->deb_blocs->dim, 20u);
  EXPECT_EQ(RunList(b), (std::vector<int>{1, 2, 5, 5}));
  EXPECT_EQ(_LM_bv_resize_bloc("t", 0, b, 30, 3, __LINE__, "t", &st), b);
  EXPECT_EQ(b->max_blocs, 20);
  BVEC* l = Make(LIST, 30, {4, 8});
  ASSERT_EQ(_LM_bv_resize_bloc("t", 0, l, 30, 9, __LINE__, "t", &st), l);
  EXPECT_EQ(l->max_blocs, 9);
  EXPECT_EQ(List(l), (std::vector<int>{4, 8}));
  BVEC* d = Make(DIRECT, 5, {4});
  ASSERT_EQ(_LM_bv_resize_bloc("t", 0, d, 5, 50, __LINE__, "t", &st), d);
  EXPECT_EQ(d->max_blocs, 5);  // the flags' count is not a capacity
  EXPECT_EQ(Walk(d, true), (std::vector<int>{4}));
  BVEC* fresh = _LM_bv_resize_bloc("t", 0, nullptr, 12, 6, __LINE__, "t", &st);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->type_stockage, 1);
  EXPECT_EQ(fresh->nb_ddl, 12);
  EXPECT_EQ(fresh->max_blocs, 6);
  {
    ErrWatch w;
    EXPECT_EQ(_LM_bv_resize_bloc("t", 0, b, 30, -1, __LINE__, "t", &st), nullptr);
    EXPECT_EQ(w.last(), 20);
  }
  for (BVEC* bv : {b, l, d, fresh}) _LM_bv_free(bv);
}

TEST(BvecResize, PackedElementCountGrowsWordsAndKeepsBits) {
  int st = 0;
  BVEC* c = Make(CODAGE, 10, {2, 9});
  ASSERT_EQ(_LM_bv_resize_codage("t", 0, c, 70, __LINE__, "t", &st), c);
  EXPECT_EQ(c->nb_ddl, 70);
  EXPECT_EQ(c->nb_blocs, 3);
  EXPECT_EQ(Walk(c, true), (std::vector<int>{2, 9}));
  _LM_bv_insere(c, 65, &st);
  ASSERT_EQ(_LM_bv_resize_codage("t", 0, c, 5, __LINE__, "t", &st), c);
  EXPECT_EQ(c->nb_blocs, 3);  // never shrinks
  EXPECT_EQ(Walk(c, true), (std::vector<int>{2}));
  EXPECT_EQ(_LM_bv_nb_on(c), 1);
  EXPECT_EQ(_LM_bv_nb_off(c), 4);
  ASSERT_EQ(_LM_bv_resize_codage("t", 0, c, 70, __LINE__, "t", &st), c);
  EXPECT_EQ(Walk(c, true), (std::vector<int>{2, 9, 65}));  // the bits were kept
  st = 3;
  EXPECT_EQ(_LM_bv_resize_codage("t", 0, c, 0, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, 0);
  BVEC* fresh = _LM_bv_resize_codage("t", 0, nullptr, 33, __LINE__, "t", &st);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->nb_blocs, 2);
  BVEC* b = Get(BLOC, 10);
  EXPECT_EQ(_LM_bv_resize_codage("t", 0, b, 40, __LINE__, "t", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(b->nb_ddl, 10);
  for (BVEC* bv : {c, fresh, b}) _LM_bv_free(bv);
}

TEST(BvecCopy, CopiesHoldTheSameElementsAndKeepTheirKind) {
  const std::set<int> on{0, 3, 4, 5, 33, 34, 60};
  for (int kind : {BLOC, CODAGE, LIST, DIRECT, TOUT}) {
    int st = 0;
    BVEC* src = Make(kind, 64, on);
    BVEC* a = _LM_bv_copy(src, nullptr, "t", &st);
    ASSERT_NE(a, nullptr) << kind;
    EXPECT_EQ(a->type_stockage, kind);
    EXPECT_EQ(a->nb_ddl, 64);
    EXPECT_EQ(Walk(a, true), Walk(src, true));
    // Into an existing record of the same kind.
    BVEC* b = Make(kind, 8, {1});
    BVEC* rb = _LM_bv_copy(src, b, "t", &st);
    ASSERT_NE(rb, nullptr);
    EXPECT_EQ(Walk(rb, true), Walk(src, true));
    EXPECT_EQ(rb->nb_ddl, 64);
    EXPECT_EQ(_LM_bv_copy(src, src, "t", &st), src);
    _LM_bv_free(a);
    _LM_bv_free(rb);
    _LM_bv_free(src);
  }
  int st = 0;
  EXPECT_EQ(_LM_bv_copy(nullptr, nullptr, "t", &st), nullptr);
  // List, direct and TOUT copies replace a destination of another kind.
  BVEC* l = Make(LIST, 10, {2, 7});
  BVEC* other = Make(CODAGE, 10, {1});
  BVEC* r = _LM_bv_copy(l, other, "t", &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->type_stockage, 3);
  EXPECT_EQ(List(r), (std::vector<int>{2, 7}));
  // Run and packed copies refuse one.
  BVEC* c = Make(CODAGE, 10, {1});
  BVEC* b = Make(BLOC, 10, {4});
  EXPECT_EQ(_LM_bv_copy(b, c, "t", &st), nullptr);
  EXPECT_EQ(st, -1);
  EXPECT_EQ(_LM_bv_copy(c, b, "t", &st), nullptr);
  EXPECT_EQ(Walk(b, true), (std::vector<int>{4}));
  // A packed set with more words than its elements need is copied whole.
  BVEC* wide = Make(CODAGE, 70, {65});
  _LM_bv_resize_codage("t", 0, wide, 3, __LINE__, "t", &st);
  BVEC* wc = _LM_bv_copy(wide, nullptr, "t", &st);
  ASSERT_NE(wc, nullptr);
  EXPECT_EQ(wc->nb_blocs, 3);
  _LM_bv_resize_codage("t", 0, wc, 70, __LINE__, "t", &st);
  EXPECT_EQ(Walk(wc, true), (std::vector<int>{65}));
  BVEC* empty = Get(CODAGE, 0);
  BVEC* ec = _LM_bv_copy(empty, nullptr, "t", &st);
  ASSERT_NE(ec, nullptr);
  EXPECT_EQ(ec->nb_ddl, 0);
  for (BVEC* bv : {l, r, c, b, wide, wc, empty, ec}) _LM_bv_free(bv);
}

TEST(BvecConvert, KindConversionsAndFlagVectors) {
  const std::set<int> on{1, 2, 3, 7, 30, 31, 32};
  const std::vector<int> want(on.begin(), on.end());
  int st = 0;
  for (int from : {BLOC, CODAGE, LIST, DIRECT}) {
    BVEC* src = Make(from, 40, on);
    for (int to : {BLOC, CODAGE, DIRECT, TOUT}) {
      BVEC* r = _LM_bv_to_bv(src, nullptr, to, &st);
      ASSERT_NE(r, nullptr) << from << "->" << to;
      EXPECT_EQ(r->type_stockage, to);
      if (to != TOUT) {
        EXPECT_EQ(Walk(r, true), want) << from << "->" << to;
      }
      _LM_bv_free(r);
    }
    // Into a supplied list: inserted in order.
    BVEC* l = Get(LIST, 40, 1);
    ASSERT_EQ(_LM_bv_to_bv(src, l, LIST + 10, &st), l);
    EXPECT_EQ(List(l), want);
    _LM_bv_free(l);
    if (from != LIST) {
      EXPECT_EQ(_LM_bv_to_bv(src, nullptr, LIST, &st), nullptr);  // a list needs a capacity
      EXPECT_EQ(st, -1);
    }
    _LM_bv_free(src);
  }
  // A supplied run destination must be empty: appending below its runs fails.
  BVEC* src = Make(CODAGE, 40, on);
  BVEC* full = Make(BLOC, 40, {35});
  EXPECT_EQ(_LM_bv_to_bv(src, full, 99, &st), nullptr);
  EXPECT_EQ(st, -1);
  _LM_bv_free(full);
  _LM_bv_free(src);

  IVEC* flags = NewIvec({0, 1, 0, 1, 0});
  BVEC* bv = nullptr;
  EXPECT_EQ(_LM_ivec_to_bv(flags, BLOC, &bv), 0);
  ASSERT_NE(bv, nullptr);
  EXPECT_EQ(bv->nb_ddl, 5);
  EXPECT_EQ(Walk(bv, true), (std::vector<int>{1, 3}));
  IVEC* back = _LM_bv_to_ivec(bv, nullptr, &st);
  EXPECT_EQ(Ints(back), (std::vector<int>{0, 1, 0, 1, 0}));
  // A short output grows to nb_ddl; other entries keep their values.
  IVEC* shortout = NewIvec({7, 7});
  IVEC* r = _LM_bv_to_ivec(bv, shortout, &st);
  EXPECT_EQ(Ints(r), (std::vector<int>{7, 1, 0, 1, 0}));
  BVEC* keep = bv;
  EXPECT_EQ(_LM_ivec_to_bv(nullptr, BLOC, &bv), -1);
  EXPECT_EQ(bv, keep);
  BVEC* cod = nullptr;
  EXPECT_EQ(_LM_ivec_to_bv(flags, CODAGE, &cod), 0);
  EXPECT_EQ(Walk(cod, true), (std::vector<int>{1, 3}));
  BVEC* none = nullptr;
  EXPECT_EQ(_LM_ivec_to_bv(flags, LIST, &none), -1);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(_LM_bv_to_ivec(nullptr, nullptr, &st), nullptr);
  EXPECT_EQ(st, -1);
  iv_free(flags);
  iv_free(back);
  iv_free(r);
  _LM_bv_free(bv);
  _LM_bv_free(cod);
}

TEST(BvecText, PrintsEachKind) {
  auto text = [](BVEC* bv) { return cmat_test::CaptureFile([&](FILE* f) { _LM_bv_print(f, bv); }); };
  BVEC* b = Make(BLOC, 10, {2, 3, 5});
  _LM_bv_resize_bloc("t", 0, b, 10, 2, __LINE__, "t", nullptr);
  EXPECT_EQ(text(b),
            "type_stockage = BLOC\nnb_blocs = 2\nmax_blocs = 4\nnb_ddl = 10\n"
            "IntVector: dim: 4\n       2        5        0        0 \n"
            "IntVector: dim: 4\n       3        5        0        0 \n");
  BVEC* c = Make(CODAGE, 40, {0, 33});
  EXPECT_EQ(text(c), "type_stockage = CODAGE\nnb_blocs = 2\nnb_ddl = 40\nIntVector: dim: 2\n       1        2 \n");
  BVEC* l = Make(LIST, 10, {4});
  EXPECT_EQ(text(l), "type_stockage = IVEC\nnb_blocs = 1\nnb_ddl = 10\nIntVector: dim: 4\n"
                     "       4        0        0        0 \n");
  BVEC* t = Get(TOUT, 3);
  EXPECT_EQ(text(t), "type_stockage = TOUT\nall elements are actives\n");
  BVEC* d = Make(DIRECT, 3, {1});
  EXPECT_EQ(text(d), "");
  EXPECT_EQ(text(nullptr), "");

  testing::internal::CaptureStdout();
  EXPECT_EQ(_LM_bv_on_print(c), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ddl 0 est actif\nddl 33 est actif\n");
  BVEC* small = Make(CODAGE, 4, {1, 2});
  testing::internal::CaptureStdout();
  EXPECT_EQ(_LM_bv_off_print(small), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ddl 0 est actif\nddl 3 est actif\n");
  for (BVEC* bv : {b, c, l, t, d, small}) _LM_bv_free(bv);
}

namespace {

// Record invariants a reader must never break.
void ExpectSound(BVEC* bv) {
  switch (bv->type_stockage) {
    case BLOC:
      ASSERT_GE(bv->nb_blocs, 0);
      ASSERT_LE(bv->nb_blocs, bv->max_blocs);
      ASSERT_GE(static_cast<long long>(bv->deb_blocs->dim), bv->max_blocs);
      ASSERT_GE(static_cast<long long>(bv->fin_blocs->dim), bv->max_blocs);
      break;
    case CODAGE:
      ASSERT_GE(bv->nb_blocs, bv->nb_ddl / 32 + 1);
      ASSERT_GE(static_cast<long long>(bv->code->dim), bv->nb_blocs);
      break;
    case LIST:
      ASSERT_LE(bv->nb_blocs, bv->max_blocs);
      ASSERT_GE(static_cast<long long>(bv->code->dim), bv->max_blocs);
      break;
    case DIRECT:
      ASSERT_EQ(bv->max_blocs, bv->nb_ddl);
      ASSERT_GE(static_cast<long long>(bv->code->dim), bv->nb_ddl);
      break;
    default:
      break;
  }
  // Exercise the record: everything must stay inside its lists. (A flipped high bit of the
  // element count makes a set of a billion elements: its inactive walk is not tried.)
  _LM_bv_nb_on(bv);
  _LM_bv_nb_off(bv);
  if (bv->nb_ddl <= 100000) {
    Walk(bv, true);
    Walk(bv, false);
  }
  int st = 0;
  BVEC* copy = _LM_bv_copy(bv, nullptr, "t", &st);
  _LM_bv_free(copy);
}

}  // namespace

TEST(BvecBinary, NullAndEachKindRoundTrip) {
  FILE* f = std::tmpfile();
  EXPECT_EQ(_LM_bv_boutput(f, nullptr), 0);
  Bytes want;
  for (int v : {-1, 0, 0, 0}) PutInt(want, v);
  EXPECT_EQ(FileBytes(f), want);
  int st = 0;
  BVEC* r = _LM_bv_binput(f, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(r->type_stockage, -1);
  EXPECT_EQ(r->code, nullptr);
  EXPECT_EQ(r->deb_blocs, nullptr);
  _LM_bv_free(r);
  std::fclose(f);

  const std::set<int> on{0, 1, 2, 9, 33, 40, 41};
  for (int kind : {BLOC, CODAGE, LIST, DIRECT, TOUT}) {
    BVEC* bv = Make(kind, 45, on);
    _LM_bv_on_suivant(bv);  // the iterator is not part of the form
    FILE* g = std::tmpfile();
    EXPECT_EQ(_LM_bv_boutput(g, bv), 0);
    Rewind(g);
    BVEC* back = _LM_bv_binput(g, &st);
    ASSERT_NE(back, nullptr) << kind;
    EXPECT_EQ(back->type_stockage, kind);
    EXPECT_EQ(back->nb_ddl, bv->nb_ddl);
    EXPECT_EQ(back->nb_blocs, bv->nb_blocs);
    EXPECT_EQ(back->max_blocs, bv->max_blocs);
    EXPECT_EQ(back->iter_num, 0);
    EXPECT_EQ(back->iter_pos, 0);
    EXPECT_EQ(Walk(back, true), Walk(bv, true));
    _LM_bv_free(back);
    _LM_bv_free(bv);
    std::fclose(g);
  }
  // An empty run list writes empty list forms and reads back as empty lists.
  BVEC* bare = Get(BLOC, 5, 0);
  FILE* h = std::tmpfile();
  EXPECT_EQ(_LM_bv_boutput(h, bare), 0);
  Rewind(h);
  BVEC* rb = _LM_bv_binput(h, &st);
  ASSERT_NE(rb, nullptr);
  ASSERT_NE(rb->deb_blocs, nullptr);
  _LM_bv_insere(rb, 3, &st);
  EXPECT_EQ(Walk(rb, true), (std::vector<int>{3}));
  std::fclose(h);
  _LM_bv_free(bare);
  _LM_bv_free(rb);
  EXPECT_EQ(_LM_bv_boutput(nullptr, nullptr), -1);
}

TEST(BvecBinary, HandMadeBytesAndDamagedForms) {
  // CODAGE over 40 elements with elements 0 and 33: header, then the IVEC form of the words.
  Bytes good;
  for (int v : {2, 40, 2, -1, 2, 1, 2}) PutInt(good, v);
  FILE* f = StreamWith(good);
  int st = 0;
  BVEC* bv = _LM_bv_binput(f, &st);
  ASSERT_NE(bv, nullptr);
  EXPECT_EQ(Walk(bv, true), (std::vector<int>{0, 33}));
  std::fclose(f);
  FILE* g = std::tmpfile();
  EXPECT_EQ(_LM_bv_boutput(g, bv), 0);
  EXPECT_EQ(FileBytes(g), good);
  std::fclose(g);
  _LM_bv_free(bv);

  mem_info_on(1);
  const int records = mem_info_numvar(TYPE_BVEC, 0);
  ForEachPrefix(good, [&](FILE* t, size_t len) {
    EXPECT_EQ(_LM_bv_binput(t, &st), nullptr) << len;
    EXPECT_EQ(st, -1);
  });
  EXPECT_EQ(mem_info_numvar(TYPE_BVEC, 0), records);  // nothing left behind
  mem_info_on(0);

  struct Case {
    const char* what;
    std::vector<int> ints;
  };
  const Case bad[] = {
      {"codage too few words", {2, 40, 1, -1, 1, 5}},
      {"codage list shorter than its words", {2, 40, 2, -1, 1, 5}},
      {"negative nb_ddl", {5, -3, 0, 0}},
      {"bloc nb_blocs above capacity", {1, 10, 3, 2, 2, 1, 5, 2, 2, 6}},
      {"bloc run reversed", {1, 10, 1, 1, 1, 5, 1, 2}},
      {"bloc runs out of order", {1, 10, 2, 2, 2, 5, 1, 2, 6, 2}},
      {"bloc list shorter than capacity", {1, 10, 1, 3, 1, 2, 1, 3}},
      {"list not increasing", {3, 10, 2, 2, 2, 4, 4}},
      {"list negative element", {3, 10, 1, 1, 1, -4}},
      {"list element outside the set", {3, 10, 1, 1, 1, 10}},
      {"bloc run past the set", {1, 10, 1, 1, 1, 5, 1, 10}},
      {"direct flag of 2", {4, 3, 0, 3, 3, 0, 2, 0}},
      {"direct count differs", {4, 3, 0, 2, 2, 0, 1}},
      {"direct list too short", {4, 3, 0, 3, 2, 0, 1}},
  };
  for (const Case& c : bad) {
    Bytes b;
    for (int v : c.ints) PutInt(b, v);
    FILE* t = StreamWith(b);
    EXPECT_EQ(_LM_bv_binput(t, &st), nullptr) << c.what;
    EXPECT_EQ(st, -1) << c.what;
    std::fclose(t);
  }

  // Single flipped bits of a BLOC form give a refusal or a sound record.
  BVEC* src = Make(BLOC, 20, {1, 2, 3, 8, 12, 13});
  FILE* w = std::tmpfile();
  _LM_bv_boutput(w, src);
  const Bytes form = FileBytes(w);
  std::fclose(w);
  ForEachFlippedBit(form, [&](FILE* t) {
    BVEC* r = _LM_bv_binput(t, &st);
    if (r != nullptr) {
      ExpectSound(r);
      _LM_bv_free(r);
    }
  });
  _LM_bv_free(src);
}
