// cmat_bvec.h: builders and readers of bit vectors for the tests: a vector of any storage
// kind holding given elements, a BLOC vector holding given runs written directly, and the
// elements or runs a vector holds.
#ifndef KVELO_TESTS_CMAT_BVEC_H
#define KVELO_TESTS_CMAT_BVEC_H

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "bvec.h"

namespace sparse_test {

// The storage kinds (type_stockage).
enum { BLOC = 1, CODAGE = 2, LIST = 3, DIRECT = 4, TOUT = 5 };

// A new empty bit vector of the kind over n elements; cap is the room for runs (BLOC) or
// elements (LIST) the vector starts with.
inline BVEC* GetBvec(int kind, int n, int cap) {
  int st = 0;
  BVEC* bv = nullptr;
  switch (kind) {
    case BLOC: bv = _LM_bv_get_bloc("t", 0, n, cap, __LINE__, "t", &st); break;
    case CODAGE: bv = _LM_bv_get_codage("t", 0, n, __LINE__, "t", &st); break;
    case LIST: bv = _LM_bv_get_ivec("t", 0, n, cap, __LINE__, "t", &st); break;
    case DIRECT: bv = _LM_bv_get_direct("t", 0, n, __LINE__, "t", &st); break;
    default: bv = _LM_bv_get_tout("t", 0, n, __LINE__, "t", &st); break;
  }
  EXPECT_EQ(st, 0);
  return bv;
}

// A bit vector of the kind holding the elements (inserted in increasing order).
inline BVEC* MakeBvec(int kind, int n, const std::set<int>& on, int cap) {
  BVEC* bv = GetBvec(kind, n, cap);
  for (int e : on) {
    int st = 0;
    _LM_bv_insere(bv, e, &st);
    EXPECT_EQ(st, 0) << "insert " << e;
  }
  return bv;
}

// A BLOC bit vector with the given runs, written directly.
inline BVEC* Runs(int n, const std::vector<std::pair<int, int>>& runs) {
  BVEC* bv = GetBvec(BLOC, n, static_cast<int>(runs.size()));
  for (size_t k = 0; k < runs.size(); ++k) {
    bv->deb_blocs->ive[k] = runs[k].first;
    bv->fin_blocs->ive[k] = runs[k].second;
  }
  bv->nb_blocs = static_cast<int>(runs.size());
  return bv;
}

// The active elements (or the inactive ones) in the order the iterator gives them.
inline std::vector<int> Walk(BVEC* bv, bool on = true) {
  std::vector<int> out;
  _LM_bv_initialize(bv);
  for (int e = on ? _LM_bv_on_suivant(bv) : _LM_bv_off_suivant(bv); e >= 0;
       e = on ? _LM_bv_on_suivant(bv) : _LM_bv_off_suivant(bv))
    out.push_back(e);
  return out;
}

// The runs of a BLOC vector as first, last, first, last, ...
inline std::vector<int> RunList(const BVEC* bv) {
  std::vector<int> out;
  for (int k = 0; k < bv->nb_blocs; ++k) {
    out.push_back(bv->deb_blocs->ive[k]);
    out.push_back(bv->fin_blocs->ive[k]);
  }
  return out;
}

}  // namespace sparse_test

#endif
