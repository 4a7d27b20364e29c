// prop_cm_rowcol.cpp: rows, columns, swaps and views of real and complex matrices of the C
// matrix library against a plain table of values. Each property draws a matrix (empty shapes
// included), an operation with indices in and out of range and an output record (none,
// shorter, longer); it checks the result against the table, that a refused call leaves the
// matrix and the caller's output as they were, that a view writes through to its own elements
// only, and that memory running out refuses cleanly. The error records take every report.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include "erreur.h"
#include "matrix.h"
#include "msgcapture.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"
#include "runtime/m_err_internal.h"
#include "zmatrix.h"

// clang-format off
KVELO_HOLDS(
    "_LM_get_col", "_LM_get_row", "_LM__set_col", "_LM__set_row", "_LM_sub_mat", "_LM_swap_rows",
    "_LM_swap_cols", "_LM_zget_col", "_LM_zget_row", "_LM_zset_col", "_LM_zset_row", "_LM_zswap_rows",
    "_LM_zswap_cols", "_LM_error_push");
// clang-format on

namespace {

using C = std::complex<double>;
using Table = std::vector<std::vector<C>>;  // real matrices keep 0 imaginary parts

// The two element kinds behind one face: records, their elements and the operations.
struct Real {
  using M = MAT;
  using V = VEC;
  static M* NewM(const Table& t, unsigned n) {
    int st = 0;
    M* A = _LM_m_get("p", 0, static_cast<int>(t.size()), static_cast<int>(n), __LINE__, "p", &st);
    RC_ASSERT(st == 0 && A != nullptr);
    // The library takes a dimension of 0 as 1: the record's own shape is what the table follows.
    A->m = static_cast<unsigned>(t.size());
    A->n = n;
    for (unsigned i = 0; i < A->m; ++i)
      for (unsigned j = 0; j < n; ++j) A->me[i][j] = t[i][j].real();
    return A;
  }
  static V* NewV(const std::vector<C>& v) {
    int st = 0;
    V* x = _LM_v_get("p", 0, static_cast<int>(v.size()), __LINE__, "p", &st);
    RC_ASSERT(st == 0 && x != nullptr);
    x->dim = static_cast<unsigned>(v.size());
    for (unsigned i = 0; i < x->dim; ++i) x->ve[i] = v[i].real();
    return x;
  }
  static C At(const M* A, unsigned i, unsigned j) { return C(A->me[i][j], 0); }
  static C At(const V* x, unsigned i) { return C(x->ve[i], 0); }
  static void Put(M* A, unsigned i, unsigned j, C v) { A->me[i][j] = v.real(); }
  static void FreeM(M* A) { m_free(A); }
  static void FreeV(V* x) { v_free(x); }
  static V* GetCol(M* A, int j, V* out, int* st) { return _LM_get_col(A, static_cast<unsigned>(j), out, __LINE__, "p", st); }
  static V* GetRow(M* A, int i, V* out, int* st) { return _LM_get_row(A, static_cast<unsigned>(i), out, __LINE__, "p", st); }
  static M* SetCol(M* A, int j, V* v, unsigned i0, int* st) { return _LM__set_col(A, static_cast<unsigned>(j), v, i0, __LINE__, "p", st); }
  static M* SetRow(M* A, int i, V* v, unsigned j0, int* st) { return _LM__set_row(A, static_cast<unsigned>(i), v, j0, __LINE__, "p", st); }
  static M* SwapRows(M* A, int i, int j, int lo, int hi, int* st) { return _LM_swap_rows(A, i, j, lo, hi, __LINE__, "p", st); }
  static M* SwapCols(M* A, int i, int j, int lo, int hi, int* st) { return _LM_swap_cols(A, i, j, lo, hi, __LINE__, "p", st); }
  static C Draw() { return C(*kvtest::AnyDouble(), 0); }
  static constexpr bool kHasStart = true;  // set_col/set_row take a first index
};

struct Complex {
  using M = ZMAT;
  using V = ZVEC;
  static M* NewM(const Table& t, unsigned n) {
    int st = 0;
    M* A = _LM_zm_get("p", 0, static_cast<int>(t.size()), static_cast<int>(n), __LINE__, "p", &st);
    RC_ASSERT(st == 0 && A != nullptr);
    A->m = static_cast<unsigned>(t.size());
    A->n = n;
    for (unsigned i = 0; i < A->m; ++i)
      for (unsigned j = 0; j < n; ++j) A->me[i][j] = zmake(t[i][j].real(), t[i][j].imag());
    return A;
  }
  static V* NewV(const std::vector<C>& v) {
    int st = 0;
    V* x = _LM_zv_get("p", 0, static_cast<int>(v.size()), __LINE__, "p", &st);
    RC_ASSERT(st == 0 && x != nullptr);
    x->dim = static_cast<unsigned>(v.size());
    for (unsigned i = 0; i < x->dim; ++i) x->ve[i] = zmake(v[i].real(), v[i].imag());
    return x;
  }
  static C At(const M* A, unsigned i, unsigned j) { return C(A->me[i][j].re, A->me[i][j].im); }
  static C At(const V* x, unsigned i) { return C(x->ve[i].re, x->ve[i].im); }
  static void Put(M* A, unsigned i, unsigned j, C v) { A->me[i][j] = zmake(v.real(), v.imag()); }
  static void FreeM(M* A) { zm_free(A); }
  static void FreeV(V* x) { zv_free(x); }
  static V* GetCol(M* A, int j, V* out, int* st) { return _LM_zget_col(A, j, out, __LINE__, "p", st); }
  static V* GetRow(M* A, int i, V* out, int* st) { return _LM_zget_row(A, i, out, __LINE__, "p", st); }
  static M* SetCol(M* A, int j, V* v, unsigned, int* st) { return _LM_zset_col(A, j, v, __LINE__, "p", st); }
  static M* SetRow(M* A, int i, V* v, unsigned, int* st) { return _LM_zset_row(A, i, v, __LINE__, "p", st); }
  static M* SwapRows(M* A, int i, int j, int lo, int hi, int* st) { return _LM_zswap_rows(A, i, j, lo, hi, __LINE__, "p", st); }
  static M* SwapCols(M* A, int i, int j, int lo, int hi, int* st) { return _LM_zswap_cols(A, i, j, lo, hi, __LINE__, "p", st); }
  static C Draw() { return *kvtest::AnyComplex(); }
  static constexpr bool kHasStart = false;
};

bool Same(C a, C b) { return kvtest::SameBits(a.real(), b.real()) && kvtest::SameBits(a.imag(), b.imag()); }

template <class K>
Table Read(const typename K::M* A) {
  Table t(A->m, std::vector<C>(A->n));
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) t[i][j] = K::At(A, i, j);
  return t;
}
template <class K>
std::vector<C> Read(const typename K::V* x) {
  std::vector<C> v(x->dim);
  for (unsigned i = 0; i < x->dim; ++i) v[i] = K::At(x, i);
  return v;
}
bool Same(const Table& a, const Table& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].size() != b[i].size()) return false;
    for (size_t j = 0; j < a[i].size(); ++j)
      if (!Same(a[i][j], b[i][j])) return false;
  }
  return true;
}
bool Same(const std::vector<C>& a, const std::vector<C>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!Same(a[i], b[i])) return false;
  return true;
}

template <class K>
Table DrawTable(unsigned m, unsigned n) {
  Table t(m, std::vector<C>(n));
  for (auto& r : t)
    for (auto& x : r) x = K::Draw();
  return t;
}
template <class K>
std::vector<C> DrawVec(unsigned d) {
  std::vector<C> v(d);
  for (auto& x : v) x = K::Draw();
  return v;
}

// Memory running out after a few blocks of the library heap, now and then.
struct Shortage {
  explicit Shortage(int k) : on_(k >= 0) {
    if (on_) kvrt::SetHeapBlocksLeft(k);
  }
  ~Shortage() {
    if (on_) kvrt::SetHeapBlocksLeft(-1);
  }
  bool on_;
};

template <class K>
void RowsAndColumns() {
  kvtest::MsgCapture quiet;
  const unsigned m = *rc::gen::inRange(0u, 5u), n = *rc::gen::inRange(0u, 5u);
  const Table t = DrawTable<K>(m, n);
  typename K::M* A = K::NewM(t, n);
  const int op = *rc::gen::inRange(0, 6);
  const int i = *rc::gen::inRange(-2, 7), j = *rc::gen::inRange(-2, 7);
  const int lo = *rc::gen::inRange(-2, 7), hi = *rc::gen::inRange(-2, 7);
  const unsigned start = K::kHasStart ? *rc::gen::inRange(0u, 6u) : 0u;
  const int outDim = *rc::gen::inRange(-1, 8);  // -1: no output
  const int shortage = *rc::gen::weightedOneOf<int>({{5, rc::gen::just(-1)}, {1, rc::gen::inRange(0, 2)}});
  const std::vector<C> outVals = DrawVec<K>(outDim < 0 ? 0u : static_cast<unsigned>(outDim));
  typename K::V* out = outDim < 0 ? nullptr : K::NewV(outVals);
  const std::vector<C> vVals = DrawVec<K>(*rc::gen::inRange(0u, 7u));
  typename K::V* v = K::NewV(vVals);
  RC_TAG(op);

  int st = 0;
  _LM_err_status = 0;
  void* got = nullptr;
  {
    Shortage s(shortage);
    switch (op) {
      case 0: got = K::GetCol(A, i, out, &st); break;
      case 1: got = K::GetRow(A, i, out, &st); break;
      case 2: got = K::SetCol(A, i, v, start, &st); break;
      case 3: got = K::SetRow(A, i, v, start, &st); break;
      case 4: got = K::SwapRows(A, i, j, lo, hi, &st); break;
      default: got = K::SwapCols(A, i, j, lo, hi, &st); break;
    }
  }
  const bool cols = op == 0 || op == 2 || op == 5;
  const unsigned lines = cols ? n : m, along = cols ? m : n;
  const bool inRange = i >= 0 && static_cast<unsigned>(i) < lines && (op < 4 || (j >= 0 && static_cast<unsigned>(j) < lines));
  RC_ASSERT(((got == nullptr) == (st != 0)));
  if (got == nullptr) {
    RC_ASSERT(st == -1);
    if (shortage < 0) RC_ASSERT(!inRange);
    // Refused: the matrix, the caller's output and the source as they were.
    RC_ASSERT(Same(Read<K>(A), t));
    if (out != nullptr) RC_ASSERT(Same(Read<K>(out), outVals));
    RC_ASSERT(Same(Read<K>(v), vVals));
  } else {
    RC_ASSERT(inRange);
    Table want = t;
    if (op <= 1) {
      auto* res = static_cast<typename K::V*>(got);
      if (out != nullptr && outVals.size() >= along) RC_ASSERT(res == out);  // long enough: kept
      // A longer output keeps its dim and its further entries.
      RC_ASSERT(res->dim == std::max<size_t>(along, out != nullptr ? outVals.size() : 0));
      for (unsigned k = 0; k < along; ++k) RC_ASSERT(Same(K::At(res, k), cols ? t[k][i] : t[i][k]));
      for (unsigned k = along; k < res->dim; ++k) RC_ASSERT(Same(K::At(res, k), outVals[k]));
      if (res != out) K::FreeV(res);
    } else if (op <= 3) {
      RC_ASSERT((got == A));
      for (unsigned k = start; k < std::min<size_t>(along, vVals.size()); ++k) (cols ? want[k][i] : want[i][k]) = vVals[k];
    } else {
      RC_ASSERT((got == A));
      const int last = static_cast<int>(along) - 1;
      const int from = lo < 0 ? 0 : lo, to = (hi < 0 || hi > last) ? last : hi;
      for (int k = from; k <= to; ++k) {
        if (cols) std::swap(want[k][i], want[k][j]);
        else std::swap(want[i][k], want[j][k]);
      }
    }
    RC_ASSERT(Same(Read<K>(A), want));
    if (out != nullptr && op >= 2) RC_ASSERT(Same(Read<K>(out), outVals));
  }
  if (out != nullptr) K::FreeV(out);
  K::FreeV(v);
  K::FreeM(A);
}

RC_GTEST_PROP(CmRowCol, RealRowsColumnsAndSwapsFollowTheTable, ()) { RowsAndColumns<Real>(); }
RC_GTEST_PROP(CmRowCol, ComplexRowsColumnsAndSwapsFollowTheTable, ()) { RowsAndColumns<Complex>(); }

// A view of rows r1..r2 and columns c1..c2 shares A's elements: what is written through it
// lands there and nowhere else; a view handed back in is reused; a record that owns a block
// is refused (12) and a range outside A too (10), nothing changed.
RC_GTEST_PROP(CmRowCol, ViewsWriteOnlyTheirOwnElements, ()) {
  kvtest::MsgCapture quiet;
  const unsigned m = *rc::gen::inRange(0u, 5u), n = *rc::gen::inRange(0u, 5u);
  const Table t = DrawTable<Real>(m, n);
  MAT* A = Real::NewM(t, n);
  const unsigned r1 = *rc::gen::inRange(0u, 6u), r2 = *rc::gen::inRange(0u, 6u);
  const unsigned c1 = *rc::gen::inRange(0u, 6u), c2 = *rc::gen::inRange(0u, 6u);
  const int outKind = *rc::gen::inRange(0, 3);  // 0 none, 1 an earlier view, 2 an owning matrix
  const int shortage = *rc::gen::weightedOneOf<int>({{5, rc::gen::just(-1)}, {1, rc::gen::inRange(0, 2)}});
  int st = 0;
  MAT* out = nullptr;
  if (outKind == 1) {
    out = _LM_sub_mat(A, 0, 0, 0, 0, nullptr, __LINE__, "p", &st);  // may be refused for an empty A
    st = 0;
  } else if (outKind == 2) {
    out = Real::NewM(DrawTable<Real>(1, 1), 1);
  }
  const Table outBefore = out != nullptr ? Read<Real>(out) : Table{};
  MAT* V;
  {
    Shortage s(shortage);
    V = _LM_sub_mat(A, r1, c1, r2, c2, out, __LINE__, "p", &st);
  }
  const bool valid = r1 <= r2 && c1 <= c2 && r2 < m && c2 < n && !(outKind == 2 && out != nullptr);
  if (shortage < 0) RC_ASSERT((V != nullptr) == valid);
  RC_ASSERT(Same(Read<Real>(A), t));
  if (V == nullptr) {
    RC_ASSERT(st == -1);
    if (out != nullptr && outKind == 2) RC_ASSERT(Same(Read<Real>(out), outBefore));
  } else {
    RC_ASSERT(valid && st == 0);
    if (out != nullptr) RC_ASSERT(V == out);
    RC_ASSERT(V->m == r2 - r1 + 1 && V->n == c2 - c1 + 1);
    Table want = t;
    for (unsigned i = 0; i < V->m; ++i)
      for (unsigned j = 0; j < V->n; ++j) {
        RC_ASSERT(Same(Real::At(V, i, j), t[r1 + i][c1 + j]));
        const double w = -static_cast<double>(i * 10 + j) - 0.5;
        V->me[i][j] = w;
        want[r1 + i][c1 + j] = C(w, 0);
      }
    RC_ASSERT(Same(Read<Real>(A), want));
  }
  if (V != nullptr && V != out) m_free(V);
  if (out != nullptr) m_free(out);
  m_free(A);
}

// Every record pushed is kept (the oldest of 100 goes), whatever its texts' lengths.
RC_GTEST_PROP(CmRowCol, ErrorRecordsKeepTheLastHundred, ()) {
  kvtest::MsgCapture quiet;
  const int before = LM_ErrorCount();
  const int pushes = *rc::gen::inRange(0, 130);
  const std::string text(*rc::gen::inRange<size_t>(0, 700), 'x');
  for (int k = 0; k < pushes; ++k) _LM_error_push(text.c_str(), "fn", k % 2 ? __FILE__ : nullptr, k);
  RC_ASSERT(LM_ErrorCount() == std::min(100, before + pushes));
}

}  // namespace
