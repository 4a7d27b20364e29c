// lm_dense.h: the dense records of the C matrix library, real (VEC, MAT) and complex (ZVEC,
// ZMAT), handled by one set of templates: the sizing of outputs, creation, release and
// resizing, copies and block moves, sums and exchanges, the scaled sums of squares behind
// the Euclidean and Frobenius norms, and in-place permutation (the running maxima of the
// other norms live with the reductions in lm_sort.h). The exported operations of both element types name their own routines and
// caller tags and hand the work to these.
#ifndef KVELO_CMATRIX_LM_DENSE_H
#define KVELO_CMATRIX_LM_DENSE_H

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "cmatrix/lm_status.h"
#include "matrix.h"
#include "zmatrix.h"

namespace kvlm {

// What the templates need to know of each record type: its element, its accounting type,
// its exported creator and resizer, and (for a matrix) its vector twin.
template <class R>
struct Dense;

template <>
struct Dense<VEC> {
  using Elem = double;
  static constexpr int kType = TYPE_VEC;
  static VEC* Get(const char* tag, int context, int dim, int line, const char* name, int* st) {
    return _LM_v_get(tag, context, dim, line, name, st);
  }
  static VEC* Resize(const char* tag, int context, VEC* x, int dim, int line, const char* name,
                     int* st) {
    return _LM_v_resize(tag, context, x, dim, line, name, st);
  }
};

template <>
struct Dense<ZVEC> {
  using Elem = ::complex;
  static constexpr int kType = TYPE_ZVEC;
  static ZVEC* Get(const char* tag, int context, int dim, int line, const char* name, int* st) {
    return _LM_zv_get(tag, context, dim, line, name, st);
  }
  static ZVEC* Resize(const char* tag, int context, ZVEC* x, int dim, int line, const char* name,
                      int* st) {
    return _LM_zv_resize(tag, context, x, dim, line, name, st);
  }
};

template <>
struct Dense<MAT> {
  using Elem = double;
  using Vec = VEC;
  static constexpr int kType = TYPE_MAT;
  static MAT* Get(const char* tag, int context, int m, int n, int line, const char* name, int* st) {
    return _LM_m_get(tag, context, m, n, line, name, st);
  }
  static MAT* Resize(const char* tag, int context, MAT* A, int m, int n, int line, const char* name,
                     int* st) {
    return _LM_m_resize(tag, context, A, m, n, line, name, st);
  }
};

template <>
struct Dense<ZMAT> {
  using Elem = ::complex;
  using Vec = ZVEC;
  static constexpr int kType = TYPE_ZMAT;
  static ZMAT* Get(const char* tag, int context, int m, int n, int line, const char* name,
                   int* st) {
    return _LM_zm_get(tag, context, m, n, line, name, st);
  }
  static ZMAT* Resize(const char* tag, int context, ZMAT* A, int m, int n, int line,
                      const char* name, int* st) {
    return _LM_zm_resize(tag, context, A, m, n, line, name, st);
  }
};

// A capacity that fits the records' unsigned size fields.
inline bool FitsUnsigned(uint64_t v) { return v <= UINT_MAX; }

template <class E>
void ZeroElems(E* p, size_t count) {
  if (count > 0) std::memset(static_cast<void*>(p), 0, count * sizeof(E));
}

// Copies len elements; source and destination may overlap (views of one record, moves
// inside one record).
template <class E>
void CopyElems(E* dst, const E* src, size_t len) {
  if (len > 0 && dst != src) std::memmove(static_cast<void*>(dst), src, len * sizeof(E));
}

/* ------------------------------------------------------------------------- outputs -- */

// out sized to dim elements when NULL or of another dim; NULL (status -1) when the resize
// fails.
// The resizers take a size of 0 as 1 (a record always has room for one element); a result
// of an empty operand is empty all the same, so an output sized here gets its true sizes
// back, its room kept.
template <class V>
V* ExactVec(V* r, unsigned dim) {
  if (r != nullptr && dim == 0) r->dim = 0;
  return r;
}
template <class M>
M* ExactMat(M* r, unsigned m, unsigned n) {
  if (r != nullptr && (m == 0 || n == 0)) {
    r->m = m;
    r->n = n;
  }
  return r;
}

template <class V>
V* SizedVec(LmOp& op, const char* tag, V* out, unsigned dim) {
  if (out != nullptr && out->dim == dim) return out;
  return ExactVec(Dense<V>::Resize(tag, lm_context, out, static_cast<int>(dim), op.callerLine(),
                                   op.callerName(), op.st()),
                  dim);
}

// out grown to dim elements when NULL or shorter (a longer one is kept as it is); NULL
// (status -1) when the resize fails.
template <class V>
V* GrownVec(LmOp& op, const char* tag, V* out, unsigned dim) {
  if (out != nullptr && out->dim >= dim) return out;
  // Only a new record can be asked for 0 elements here: it stays empty, as SizedVec's.
  return ExactVec(Dense<V>::Resize(tag, lm_context, out, static_cast<int>(dim), op.callerLine(),
                                   op.callerName(), op.st()),
                  dim);
}

// out sized to m x n when NULL or of another shape; NULL (status -1) when the resize fails.
template <class M>
M* SizedMat(LmOp& op, const char* tag, M* out, unsigned m, unsigned n) {
  if (out != nullptr && out->m == m && out->n == n) return out;
  return ExactMat(Dense<M>::Resize(tag, lm_context, out, static_cast<int>(m), static_cast<int>(n),
                                   op.callerLine(), op.callerName(), op.st()),
                  m, n);
}

/* ------------------------------------------------------------ creation and release -- */

// A new vector record R (dense, integer or long) of dim elements E (capacity at least 1),
// zeroed, its block reached through block(record), counted under the accounting type; raises
// 20 or 3. The capacity is counted, so that the release (which takes the capacity off)
// balances even for an empty vector.
template <class R, class E, class Block>
R* NewVector(LmOp& op, const char* tag, int context, int dim, int type, Block block) {
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  R* v = static_cast<R*>(kvelomem_calloc(1, sizeof(R), tag, context, __FILE__, __LINE__));
  if (v == nullptr) LM_FAIL(op, 3, nullptr);
  const unsigned cap = dim > 0 ? static_cast<unsigned>(dim) : 1u;
  E* elems = static_cast<E*>(kvelomem_calloc(cap, sizeof(E), tag, context, __FILE__, __LINE__));
  if (elems == nullptr) {
    Free(v);
    LM_FAIL(op, 3, nullptr);
  }
  block(v) = elems;
  v->dim = static_cast<unsigned>(dim);
  v->max_dim = cap;
  AccountBytes(type, 0, sizeof(R));
  AccountBytes(type, 0, static_cast<int64_t>(cap) * sizeof(E));
  AccountRecords(type, 1);
  return op.done(v);
}

// A new VEC or ZVEC of dim elements, as NewVector makes it.
template <class V>
V* GetVector(LmOp& op, const char* tag, int context, int dim) {
  using E = typename Dense<V>::Elem;
  return NewVector<V, E>(op, tag, context, dim, Dense<V>::kType,
                         [](V* v) -> E*& { return v->ve; });
}

// A new m x n matrix (each capacity at least 1), zeroed, its row table pointing into the
// one block, counted; raises 20 or 3.
template <class M>
M* GetMatrix(LmOp& op, const char* tag, int context, int m, int n) {
  using E = typename Dense<M>::Elem;
  if (m < 0 || n < 0) LM_FAIL(op, 20, nullptr);
  const unsigned maxM = m > 0 ? static_cast<unsigned>(m) : 1u;
  const unsigned maxN = n > 0 ? static_cast<unsigned>(n) : 1u;
  const uint64_t size = static_cast<uint64_t>(maxM) * maxN;
  if (!FitsUnsigned(size)) LM_FAIL(op, 3, nullptr);
  M* A = static_cast<M*>(kvelomem_calloc(1, sizeof(M), tag, context, __FILE__, __LINE__));
  if (A == nullptr) LM_FAIL(op, 3, nullptr);
  A->base = static_cast<E*>(kvelomem_calloc(size, sizeof(E), tag, context, __FILE__, __LINE__));
  if (A->base == nullptr) {
    Free(A);
    LM_FAIL(op, 3, nullptr);
  }
  A->me = static_cast<E**>(kvelomem_calloc(maxM, sizeof(E*), tag, context, __FILE__, __LINE__));
  if (A->me == nullptr) {
    Free(A->base);
    Free(A);
    LM_FAIL(op, 3, nullptr);
  }
  A->m = static_cast<unsigned>(m);
  A->n = static_cast<unsigned>(n);
  A->max_m = maxM;
  A->max_n = maxN;
  A->max_size = static_cast<unsigned>(size);
  for (unsigned i = 0; i < maxM; ++i) A->me[i] = A->base + static_cast<size_t>(i) * maxN;
  AccountBytes(Dense<M>::kType, 0, sizeof(M));
  AccountBytes(Dense<M>::kType, 0, static_cast<int64_t>(size) * sizeof(E));
  AccountBytes(Dense<M>::kType, 0, static_cast<int64_t>(maxM) * sizeof(E*));
  AccountRecords(Dense<M>::kType, 1);
  return op.done(A);
}

// Frees a vector and the block it owns; -1 for NULL or a dim negative as a signed int. A
// record without capacity owns no block (a view: its elements belong to another vector).
// Real views are made without a record count, so only the header's bytes go off for them
// (viewsCounted false); every complex record was counted as one.
template <class V>
int ReleaseVector(V* x, bool viewsCounted) {
  using E = typename Dense<V>::Elem;
  if (x == nullptr || static_cast<int>(x->dim) < 0) return -1;
  const bool ownsBlock = x->max_dim != 0 && x->ve != nullptr;
  if (ownsBlock) {
    AccountBytes(Dense<V>::kType, static_cast<int64_t>(x->max_dim) * sizeof(E) + sizeof(V), 0);
    Free(x->ve);
  } else {
    AccountBytes(Dense<V>::kType, sizeof(V), 0);
  }
  if (ownsBlock || viewsCounted) AccountRecords(Dense<V>::kType, -1);
  Free(x);
  return 0;
}

// Frees a matrix, its block and its row table, each when present; -1 for NULL or a size
// negative as a signed int. viewsCounted as for ReleaseVector (a real view has no block).
template <class M>
int ReleaseMatrix(M* A, bool viewsCounted) {
  using E = typename Dense<M>::Elem;
  if (A == nullptr || static_cast<int>(A->m) < 0 || static_cast<int>(A->n) < 0) return -1;
  const bool ownsBlock = A->base != nullptr;
  if (ownsBlock) {
    AccountBytes(Dense<M>::kType, static_cast<int64_t>(A->max_m) * A->max_n * sizeof(E), 0);
    Free(A->base);
  }
  if (A->me != nullptr) {
    AccountBytes(Dense<M>::kType, static_cast<int64_t>(A->max_m) * sizeof(E*), 0);
    Free(A->me);
  }
  AccountBytes(Dense<M>::kType, sizeof(M), 0);
  if (ownsBlock || viewsCounted) AccountRecords(Dense<M>::kType, -1);
  Free(A);
  return 0;
}

/* ------------------------------------------------------------------------ resizing -- */

// x with dim elements: values kept, newly covered ones 0, capacity grown when short and
// never shrunk. A NULL x or a record without capacity gives a new vector. A failed growth
// raises 3 and leaves x as it was. The caller has refused a negative dim and applied its
// type's rule for a dim of 0.
template <class V>
V* ResizeVector(LmOp& op, const char* tag, int context, V* x, int dim) {
  using E = typename Dense<V>::Elem;
  auto fresh = [&] {
    return Dense<V>::Get(tag, context, dim, op.callerLine(), op.callerName(), op.st());
  };
  if (x == nullptr) return op.done(fresh());
  const unsigned udim = static_cast<unsigned>(dim);
  if (udim == x->dim) return op.done(x);
  if (x->max_dim == 0) return op.done(fresh());
  if (udim > x->max_dim || x->ve == nullptr) {
    const bool noBlock = x->ve == nullptr;
    void* nb = kvelomem_realloc(x->ve, static_cast<size_t>(udim) * sizeof(E), tag, context,
                                __FILE__, __LINE__);
    if (nb == nullptr) LM_FAIL(op, 3, nullptr);
    if (noBlock) ZeroElems(static_cast<E*>(nb), udim);
    AccountBytes(Dense<V>::kType, static_cast<int64_t>(x->max_dim) * sizeof(E),
                 static_cast<int64_t>(udim) * sizeof(E));
    x->ve = static_cast<E*>(nb);
    if (noBlock) x->dim = 0;  // nothing was there to keep
    x->max_dim = udim;
  }
  if (udim > x->dim) ZeroElems(x->ve + x->dim, udim - x->dim);
  x->dim = udim;
  return op.done(x);
}

// A with m x n elements: the kept rows and columns keep their values, new places are 0;
// capacities grow when short and never shrink. A NULL A gives a new matrix. A failed growth
// raises 3 and leaves A's sizes and values as they were. The caller has refused negative
// sizes and applied its type's rule for sizes of 0.
template <class M>
M* ResizeMatrix(LmOp& op, const char* tag, int context, M* A, int m, int n) {
  using E = typename Dense<M>::Elem;
  if (A == nullptr)
    return op.done(Dense<M>::Get(tag, context, m, n, op.callerLine(), op.callerName(), op.st()));
  const unsigned um = static_cast<unsigned>(m), un = static_cast<unsigned>(n);
  if (um == A->m && un == A->n) return op.done(A);

  const unsigned newMaxM = um > A->max_m ? um : A->max_m;
  const unsigned newMaxN = un > A->max_n ? un : A->max_n;
  const uint64_t newSize = static_cast<uint64_t>(newMaxM) * newMaxN;
  if (!FitsUnsigned(newSize)) LM_FAIL(op, 3, nullptr);

  // The kept part: rows below k, columns below cn, read where the row pointers say, so a
  // matrix whose sizes were lowered by a copy into it keeps its values. (A record without a
  // row table has no rows to read.)
  const unsigned k = A->me == nullptr ? 0u : (A->m < um ? A->m : um);
  const unsigned cn = A->n < un ? A->n : un;
  const unsigned oldN = A->n;
  // Rows in place at one stride from base (the layout creation and resizing keep) are
  // repacked inside the block; any other layout (a view, rows hand-moved, ...) goes through
  // a scratch copy taken before any change.
  bool packed = A->base != nullptr && (k == 0 || A->me[0] == A->base);
  size_t stride = 0;
  if (packed && k >= 2) {
    const ptrdiff_t d = A->me[1] - A->me[0];
    packed = d >= static_cast<ptrdiff_t>(oldN);
    stride = static_cast<size_t>(d);
    for (unsigned i = 2; packed && i < k; ++i) packed = A->me[i] == A->base + i * stride;
    packed = packed && (k - 1) * stride + oldN <= A->max_size;
  }
  E* scratch = nullptr;
  if (!packed && k > 0 && cn > 0) {
    scratch = static_cast<E*>(
        kvelomem_calloc(static_cast<size_t>(k) * cn, sizeof(E), tag, context, __FILE__, __LINE__));
    if (scratch == nullptr) LM_FAIL(op, 3, nullptr);
    for (unsigned i = 0; i < k; ++i) CopyElems(scratch + static_cast<size_t>(i) * cn, A->me[i], cn);
  }

  // Grow the row table and the block; on failure the record's sizes and values are intact
  // (a table that grew before the block failed keeps its entries and its recorded size; one
  // made for a record that had none is dropped again, so no row pointer of it is left).
  E** table = A->me;
  const bool hadTable = table != nullptr;
  if (um > A->max_m || table == nullptr) {
    void* nt = kvelomem_realloc(table, static_cast<size_t>(newMaxM) * sizeof(E*), tag, context,
                                __FILE__, __LINE__);
    if (nt == nullptr) {
      Free(scratch);
      LM_FAIL(op, 3, nullptr);
    }
    table = static_cast<E**>(nt);
    A->me = table;
  }
  E* base = A->base;
  const size_t oldCap = base != nullptr ? A->max_size : 0;
  if (newSize > oldCap) {
    void* nb = kvelomem_realloc(base, static_cast<size_t>(newSize) * sizeof(E), tag, context,
                                __FILE__, __LINE__);
    if (nb == nullptr) {
      Free(scratch);
      if (!hadTable) {
        Free(table);
        A->me = nullptr;
      }
      LM_FAIL(op, 3, nullptr);
    }
    base = static_cast<E*>(nb);
    ZeroElems(base + oldCap, static_cast<size_t>(newSize - oldCap));
  }

  // Lay the kept rows out at the new stride n; a narrower stride moves rows towards the
  // start (increasing order), a wider one towards the end (decreasing order), so that no
  // row is overwritten before it has moved.
  const size_t nn = un;
  auto placeRow = [&](unsigned i, const E* src) {
    E* dst = base + i * nn;
    CopyElems(dst, src, cn);
    if (un > cn) ZeroElems(dst + cn, un - cn);
  };
  if (scratch != nullptr) {
    for (unsigned i = 0; i < k; ++i) placeRow(i, scratch + static_cast<size_t>(i) * cn);
    Free(scratch);
  } else if (k > 0 && packed) {
    if (k == 1 || nn <= stride) {
      for (unsigned i = 0; i < k; ++i) placeRow(i, base + i * stride);
    } else {
      for (unsigned i = k; i-- > 0;) placeRow(i, base + i * stride);
    }
  } else if (k > 0) {
    for (unsigned i = 0; i < k; ++i) placeRow(i, base + i * nn);  // no kept columns: zero fill
  }
  if (um > k) ZeroElems(base + k * nn, static_cast<size_t>(um - k) * nn);

  // Every entry of the table points into the block, those beyond m included.
  for (unsigned i = 0; i < newMaxM; ++i) table[i] = base + i * nn;

  AccountBytes(Dense<M>::kType, static_cast<int64_t>(A->max_m) * sizeof(E*),
               static_cast<int64_t>(newMaxM) * sizeof(E*));
  AccountBytes(Dense<M>::kType, static_cast<int64_t>(oldCap) * sizeof(E),
               static_cast<int64_t>(newSize > oldCap ? newSize : oldCap) * sizeof(E));
  A->base = base;
  A->m = um;
  A->n = un;
  A->max_m = newMaxM;
  A->max_n = newMaxN;
  A->max_size = static_cast<unsigned>(newSize > oldCap ? newSize : oldCap);
  return op.done(A);
}

/* --------------------------------------------------------------- copies and moves -- */

// out holding in's elements from i0 on. An out at least as long as in takes in's dim and
// keeps its values beyond; any other out is resized (tag) to in's dim. out == in is
// returned as it is; a start beyond in raises 2 before out changes.
template <class V>
V* CopyVector(LmOp& op, const char* tag, V* in, V* out, unsigned i0) {
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == in) return op.done(out);
  if (i0 > in->dim) LM_FAIL(op, 2, nullptr);
  if (out != nullptr && out->dim >= in->dim) {
    out->dim = in->dim;
  } else {
    out = ExactVec(Dense<V>::Resize(tag, lm_context, out, static_cast<int>(in->dim), op.callerLine(),
                                    op.callerName(), op.st()),
                   in->dim);
    LM_CHECK(op, nullptr);
  }
  CopyElems(out->ve + i0, in->ve + i0, in->dim - i0);
  return op.done(out);
}

// out holding in's rows from i0 and columns from j0 on, sized as CopyVector sizes a vector
// (a large enough out keeps its rows where they are: the resizer follows the row pointers
// later on).
template <class M>
M* CopyMatrix(LmOp& op, const char* tag, M* in, M* out, unsigned i0, unsigned j0) {
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (out == in) return op.done(out);
  if (j0 > in->n) LM_FAIL(op, 2, nullptr);
  if (out != nullptr && out->m >= in->m && out->n >= in->n) {
    out->m = in->m;
    out->n = in->n;
  } else {
    out = ExactMat(Dense<M>::Resize(tag, lm_context, out, static_cast<int>(in->m), static_cast<int>(in->n),
                                    op.callerLine(), op.callerName(), op.st()),
                   in->m, in->n);
    LM_CHECK(op, nullptr);
  }
  for (unsigned i = i0; i < in->m; ++i) CopyElems(out->me[i] + j0, in->me[i] + j0, in->n - j0);
  return op.done(out);
}

// in[i0 .. i0+len-1] to out[i1 ..], out grown (tag) when NULL or short; raises 8, 2 (a range
// outside in or a negative argument) or 3 (an end beyond an int).
template <class V>
V* MoveVector(LmOp& op, const char* tag, V* in, int i0, int len, V* out, int i1) {
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (i0 < 0 || len < 0 || i1 < 0 || static_cast<int64_t>(i0) + len > in->dim)
    LM_FAIL(op, 2, nullptr);
  const int64_t need = static_cast<int64_t>(i1) + len;
  if (need > INT_MAX) LM_FAIL(op, 3, nullptr);
  if (out == nullptr || out->dim < need) {
    out = Dense<V>::Resize(tag, lm_context, out, static_cast<int>(need), op.callerLine(),
                           op.callerName(), op.st());
    LM_CHECK(op, nullptr);
  }
  CopyElems(out->ve + i1, in->ve + i0, static_cast<size_t>(len));
  return op.done(out);
}

// The rows x cols block of in at (i0, j0) to out at (i1, j1), out grown (tag) to hold it and
// never shrunk; raises as MoveVector.
template <class M>
M* MoveMatrix(LmOp& op, const char* tag, M* in, int i0, int j0, int rows, int cols, M* out, int i1,
              int j1) {
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (i0 < 0 || j0 < 0 || rows < 0 || cols < 0 || i1 < 0 || j1 < 0 ||
      static_cast<int64_t>(i0) + rows > in->m || static_cast<int64_t>(j0) + cols > in->n)
    LM_FAIL(op, 2, nullptr);
  const int64_t needM = static_cast<int64_t>(i1) + rows, needN = static_cast<int64_t>(j1) + cols;
  if (needM > INT_MAX || needN > INT_MAX) LM_FAIL(op, 3, nullptr);
  if (out == nullptr || out->m < needM || out->n < needN) {
    const int64_t m = out != nullptr && out->m > needM ? out->m : needM;
    const int64_t n = out != nullptr && out->n > needN ? out->n : needN;
    out = Dense<M>::Resize(tag, lm_context, out, static_cast<int>(m), static_cast<int>(n),
                           op.callerLine(), op.callerName(), op.st());
    LM_CHECK(op, nullptr);
  }
  // Within one matrix a block moving down is copied from its last row up, so that no source
  // row is overwritten before it is read.
  const bool backwards = out == in && i1 > i0;
  for (int k = 0; k < rows; ++k) {
    const int r = backwards ? rows - 1 - k : k;
    CopyElems(out->me[i1 + r] + j1, in->me[i0 + r] + j0, static_cast<size_t>(cols));
  }
  return op.done(out);
}

// The rows x cols block of in at (i0, j0), row after row, to out from i1 on; out grown (tag)
// when NULL or short; raises as MoveVector.
template <class M, class V = typename Dense<M>::Vec>
V* MoveMatrixToVector(LmOp& op, const char* tag, M* in, int i0, int j0, int rows, int cols, V* out,
                      int i1) {
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (i0 < 0 || j0 < 0 || rows < 0 || cols < 0 || i1 < 0 ||
      static_cast<int64_t>(i0) + rows > in->m || static_cast<int64_t>(j0) + cols > in->n)
    LM_FAIL(op, 2, nullptr);
  const int64_t need = static_cast<int64_t>(i1) + static_cast<int64_t>(rows) * cols;
  if (need > INT_MAX) LM_FAIL(op, 3, nullptr);
  if (out == nullptr || out->dim < need) {
    out = Dense<V>::Resize(tag, lm_context, out, static_cast<int>(need), op.callerLine(),
                           op.callerName(), op.st());
    LM_CHECK(op, nullptr);
  }
  for (int r = 0; r < rows; ++r)
    CopyElems(out->ve + i1 + static_cast<size_t>(r) * cols, in->me[i0 + r] + j0,
              static_cast<size_t>(cols));
  return op.done(out);
}

// rows x cols elements of in from i0 on, row after row, to the block of out at (i1, j1); out
// is always passed through its resizer (tag), grown to hold the block and never shrunk;
// raises as MoveVector.
template <class M, class V = typename Dense<M>::Vec>
M* MoveVectorToMatrix(LmOp& op, const char* tag, V* in, int i0, M* out, int i1, int j1, int rows,
                      int cols) {
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (i0 < 0 || i1 < 0 || j1 < 0 || rows < 0 || cols < 0 ||
      static_cast<int64_t>(i0) + static_cast<int64_t>(rows) * cols > in->dim)
    LM_FAIL(op, 2, nullptr);
  int64_t R = static_cast<int64_t>(i1) + rows, C = static_cast<int64_t>(j1) + cols;
  if (out != nullptr) {
    if (out->m > R) R = out->m;
    if (out->n > C) C = out->n;
  }
  if (R > INT_MAX || C > INT_MAX) LM_FAIL(op, 3, nullptr);
  out = Dense<M>::Resize(tag, lm_context, out, static_cast<int>(R), static_cast<int>(C),
                         op.callerLine(), op.callerName(), op.st());
  LM_CHECK(op, nullptr);
  for (int r = 0; r < rows; ++r)
    CopyElems(out->me[i1 + r] + j1, in->ve + i0 + static_cast<size_t>(r) * cols,
              static_cast<size_t>(cols));
  return op.done(out);
}

/* ---------------------------------------------------------------------- arithmetic -- */

// The element kernels of both element types, chosen by overload.
inline void AddElems(const double* x, const double* y, double* out, int len) {
  __add__(x, y, out, len);
}
inline void AddElems(const ::complex* x, const ::complex* y, ::complex* out, int len) {
  __zadd__(x, y, out, len);
}
inline void SubElems(const double* x, const double* y, double* out, int len) {
  __sub__(x, y, out, len);
}
inline void SubElems(const ::complex* x, const ::complex* y, ::complex* out, int len) {
  __zsub__(x, y, out, len);
}

inline void ScaleElems(const double* x, double s, double* out, int len) { __smlt__(x, s, out, len); }
inline void ScaleElems(const ::complex* x, ::complex s, ::complex* out, int len) {
  __zmlt__(x, s, out, len);
}
// y += s*x (no conjugate).
inline void MltAddElems(double* y, const double* x, double s, int len) { __mltadd__(y, x, s, len); }
inline void MltAddElems(::complex* y, const ::complex* x, ::complex s, int len) {
  __zmltadd__(y, x, s, len, 0);
}
// Exact tests: a complex value is 0 only when both parts are.
inline bool IsZeroElem(double a) { return a == 0.0; }
inline bool IsZeroElem(const ::complex& a) { return a.re == 0.0 && a.im == 0.0; }

// out = x + y, or x - y when sub, for two vectors of one dim; out sized (tag) to that dim and
// may be x or y. Raises 8 or 1.
template <class V>
V* AddSubVectors(LmOp& op, const char* tag, V* x, V* y, V* out, bool sub) {
  if (x == nullptr || y == nullptr) LM_FAIL(op, 8, nullptr);
  if (x->dim != y->dim) LM_FAIL(op, 1, nullptr);
  V* res = SizedVec(op, tag, out, x->dim);
  LM_CHECK(op, nullptr);
  if (sub)
    SubElems(x->ve, y->ve, res->ve, static_cast<int>(x->dim));
  else
    AddElems(x->ve, y->ve, res->ve, static_cast<int>(x->dim));
  return op.done(res);
}

// out = A + B, or A - B when sub, row by row, for two matrices of one shape; out sized (tag)
// to it and may be A or B. Raises 8 or 1.
template <class M>
M* AddSubMatrices(LmOp& op, const char* tag, M* A, M* B, M* out, bool sub) {
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (A->m != B->m || A->n != B->n) LM_FAIL(op, 1, nullptr);
  M* res = SizedMat(op, tag, out, A->m, A->n);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i) {
    if (sub)
      SubElems(A->me[i], B->me[i], res->me[i], static_cast<int>(A->n));
    else
      AddElems(A->me[i], B->me[i], res->me[i], static_cast<int>(A->n));
  }
  return op.done(res);
}

// out = s*A row by row (no shortcut for 0 or 1), out sized (tag) to A. Raises 8.
template <class M, class S>
M* ScaleMatrix(LmOp& op, const char* tag, S s, M* A, M* out) {
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  M* res = SizedMat(op, tag, out, A->m, A->n);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i) ScaleElems(A->me[i], s, res->me[i], static_cast<int>(A->n));
  return op.done(res);
}

// out = A*B, out sized (tag) to A.m x B.n and neither A nor B: each row of out gathers the
// rows of B weighted by that row of A, zero weights skipped. Raises 8, 1 or 12.
template <class M>
M* MultiplyMatrices(LmOp& op, const char* tag, M* A, M* B, M* out) {
  if (A == nullptr || B == nullptr) LM_FAIL(op, 8, nullptr);
  if (B->m != A->n) LM_FAIL(op, 1, nullptr);
  if (out == A || out == B) LM_FAIL(op, 12, nullptr);
  M* res = SizedMat(op, tag, out, A->m, B->n);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < res->m; ++i) ZeroElems(res->me[i], res->n);
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned k = 0; k < A->n; ++k) {
      const auto a = A->me[i][k];
      if (!IsZeroElem(a)) MltAddElems(res->me[i], B->me[k], a, static_cast<int>(B->n));
    }
  return op.done(res);
}

// Exchanges lines i and j of A (rows, or columns when cols) over the places lo .. hi across
// them: lo below 0 means the first, hi below 0 or beyond the last place means the last.
// Raises 8 or 1 (a line outside A).
template <class M>
M* SwapLines(LmOp& op, M* A, bool cols, int i, int j, int lo, int hi) {
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  const unsigned lines = cols ? A->n : A->m;
  if (i < 0 || j < 0 || static_cast<unsigned>(i) >= lines || static_cast<unsigned>(j) >= lines)
    LM_FAIL(op, 1, nullptr);
  const int64_t last = static_cast<int64_t>(cols ? A->m : A->n) - 1;
  const int64_t from = lo < 0 ? 0 : lo;
  const int64_t to = (hi < 0 || hi > last) ? last : hi;
  for (int64_t k = from; k <= to; ++k) {
    if (cols)
      std::swap(A->me[k][i], A->me[k][j]);
    else
      std::swap(A->me[i][k], A->me[j][k]);
  }
  return op.done(A);
}

/* -------------------------------------------------------------------------- norms -- */

// A sum of squares kept as scale^2 * ssq, scale being the largest magnitude added so far (the
// reference BLAS nrm2 way): each term enters as a ratio to the scale, so no square overflows
// or underflows, and only the final root can overflow (when the norm itself does). An
// infinite term makes the root infinite, a NaN makes it NaN, whatever the order.
class ScaledSquares {
 public:
  void Add(double t) {
    const double a = std::fabs(t);
    if (std::isnan(a)) {
      nan_ = true;
    } else if (std::isinf(a)) {
      inf_ = true;
    } else if (a > scale_) {
      const double r = scale_ / a;
      ssq_ = 1.0 + ssq_ * r * r;
      scale_ = a;
    } else if (a > 0.0) {
      const double r = a / scale_;
      ssq_ += r * r;
    }
  }
  double Root() const {
    if (nan_) return std::nan("");
    if (inf_) return HUGE_VAL;
    return scale_ * std::sqrt(ssq_);
  }

 private:
  double scale_ = 0.0;
  double ssq_ = 1.0;
  bool nan_ = false;
  bool inf_ = false;
};

// The Euclidean norm from plain, the plain sum of the squares of `terms` real terms (in the
// order and with the kernel each norm has always used). When plain is finite and at least
// terms * DBL_MIN, no square overflowed and what underflow lost is below half an ulp of plain:
// its root is the answer, exactly what the plain loop gives. Otherwise (overflow, underflow, or an
// infinite or NaN term) feed(ScaledSquares&) hands the same terms to a scaled sum, whose root
// is taken instead; the common case pays nothing for the guard.
template <class Feed>
double SafeNorm2(double plain, uint64_t terms, Feed feed) {
  if (std::isfinite(plain) && plain >= static_cast<double>(terms) * DBL_MIN) return std::sqrt(plain);
  ScaledSquares acc;
  feed(acc);
  return acc.Root();
}

// The square root of the sum of square(entry) over A, row by row, from 0.0; safe from
// overflow and underflow as SafeNorm2, each entry handing its real terms (one for a real
// entry, the two parts of a complex one) to the scaled sum through parts(entry, acc).
template <class M, class Square, class Parts>
double FrobeniusNorm(const M* A, Square square, Parts parts) {
  double sum = 0.0;
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) sum += square(A->me[i][j]);
  const uint64_t perEntry = sizeof(typename Dense<M>::Elem) / sizeof(double);
  return SafeNorm2(sum, static_cast<uint64_t>(A->m) * A->n * perEntry, [&](ScaledSquares& acc) {
    for (unsigned i = 0; i < A->m; ++i)
      for (unsigned j = 0; j < A->n; ++j) parts(A->me[i][j], acc);
  });
}

/* -------------------------------------------------------------------- permutations -- */

// x[i] = x[pe[i]] for i < n, in place, cycle by cycle: visited entries of pe are marked by
// adding n and restored afterwards, so no memory beyond the records is used. Entries must be
// below n. Returns false when some entry was never reached (pe was not a permutation: x is
// then partly permuted); pe is restored either way.
template <class E>
bool PermuteInPlace(unsigned* pe, unsigned n, E* x) {
  for (unsigned i = 0; i < n; ++i) {
    if (pe[i] >= n) continue;
    const E t = x[i];
    unsigned cur = i, j = pe[i];
    for (;;) {
      x[cur] = x[j];
      pe[cur] = j + n;
      cur = j;
      j = pe[j];
      if (j >= n) break;
      if (j == i) {
        x[cur] = t;
        pe[cur] = i + n;
        break;
      }
    }
  }
  bool reached = true;
  for (unsigned i = 0; i < n; ++i) {
    if (pe[i] < n)
      reached = false;
    else
      pe[i] -= n;
  }
  return reached;
}

/* ------------------------------------------------------------- several variables -- */

// Walks the null-ended list of record-pointer addresses, making each with `make`; stops with
// -1 at the first failure. clearStatus: the status argument is set to 0 before the walk
// (the complex families), else an empty list leaves it untouched (the real ones).
template <class Rec, class Make>
int ForEachVar(va_list ap, int* status, bool clearStatus, Make make) {
  _LM_err_status = 0;
  int local = 0;
  int* st = status ? status : &local;
  if (clearStatus) *st = 0;
  int count = 0;
  for (Rec** var = va_arg(ap, Rec**); var != nullptr; var = va_arg(ap, Rec**)) {
    if (!make(var, st)) return -1;
    ++count;
  }
  return count;
}

// The get family: each variable receives a new record; stops at the first failure.
template <class Rec, class Get>
int GetEachVar(va_list ap, int* status, bool clearStatus, Get get) {
  return ForEachVar<Rec>(ap, status, clearStatus, [&](Rec** var, int* st) {
    *var = get(st);
    return *st == 0;
  });
}

// The resize family: a failed resize keeps the variable's record (it is still valid and the
// caller's to free).
template <class Rec, class Resize>
int ResizeEachVar(va_list ap, int* status, bool clearStatus, Resize resize) {
  return ForEachVar<Rec>(ap, status, clearStatus, [&](Rec** var, int* st) {
    Rec* res = resize(*var, st);
    if (*st != 0) return false;
    *var = res;
    return true;
  });
}

// The free family: the first address is always handled, then the null-ended rest.
template <class Rec>
int FreeEachVar(Rec** first, va_list ap, int (*freeFn)(Rec*)) {
  if (first == nullptr) return 0;
  int count = 0;
  for (Rec** var = first; var != nullptr; var = va_arg(ap, Rec**)) {
    freeFn(*var);
    *var = nullptr;
    ++count;
  }
  return count;
}

}  // namespace kvlm

#endif
