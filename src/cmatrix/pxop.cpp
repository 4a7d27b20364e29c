// pxop.cpp: the algebra of permutations held in PERM records: inverse, composition,
// exchange, sign, and their application to vectors and to the rows and columns of
// matrices. Every form that reads a permutation first makes sure it is a true one (each of
// 0 .. n-1 once; code 2 otherwise) before it sizes or writes anything, so a refused one
// changes nothing: a map with a repeated entry would make a non-permutation of a product,
// copy some elements twice in a gather, and leave places of the output unwritten in a
// scatter. The check, like the in-place forms, marks entries of the permutation itself and
// uses no memory beyond the records, so a refusal is never a lack of memory.
#include <cstdint>
#include <cstring>
#include <utility>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_sort.h"
#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "pxop";
const unsigned kMark = 0x80000000u;

// Inverts a true permutation in place: each cycle is walked from its largest position,
// the inverse images below it stored as complements until the loop comes down to them.
void InvertInPlace(unsigned* pe, unsigned n) {
  for (int64_t i = static_cast<int64_t>(n) - 1; i >= 0; --i) {
    int64_t e = static_cast<int32_t>(pe[i]);
    if (e < 0) {
      pe[i] = static_cast<unsigned>(-1 - e);
      continue;
    }
    if (e == i) continue;
    int64_t k = i;
    for (;;) {
      const unsigned t = pe[e];
      pe[e] = static_cast<unsigned>(static_cast<int32_t>(-1 - k));
      if (t == static_cast<unsigned>(i)) break;
      k = e;
      e = t;
    }
    pe[i] = static_cast<unsigned>(e);
  }
}

// Parity of a true permutation from its cycles: n - (number of cycles) transpositions
// make it, so it is even exactly when that difference is. The walks mark the entries they
// pass (the high bit: n is below 2^31), so pe comes out marked; the caller's copy is thrown
// away afterwards.
bool IsEven(unsigned* pe, unsigned n) {
  uint64_t cycles = 0;
  for (unsigned i = 0; i < n; ++i) {
    if ((pe[i] & kMark) != 0) continue;
    ++cycles;
    for (unsigned j = i; (pe[j] & kMark) == 0;) {
      const unsigned next = pe[j];
      pe[j] |= kMark;
      j = next;
    }
  }
  return (n - cycles) % 2 == 0;
}

}  // namespace

extern "C" {

KVELO_API PERM* _LM_px_inv(PERM* px, PERM* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "px_inv", callerLine, callerName, status);
  // Checked before the copy, so that a refused px leaves out as it was.
  if (px != nullptr && !kvlm::IsPermutation(px->pe, px->size)) LM_FAIL(op, 2, nullptr);
  PERM* res = _LM_px_copy(px, out, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  InvertInPlace(res->pe, res->size);
  return op.done(res);
}

KVELO_API PERM* _LM_px_mlt(PERM* p1, PERM* p2, PERM* out, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "px_mlt", callerLine, callerName, status);
  if (p1 == nullptr || p2 == nullptr) LM_FAIL(op, 8, nullptr);
  if (p1->size != p2->size) LM_FAIL(op, 1, nullptr);
  if (out == p1 || out == p2) LM_FAIL(op, 12, nullptr);
  if (!kvlm::IsPermutation(p1->pe, p1->size) || !kvlm::IsPermutation(p2->pe, p2->size))
    LM_FAIL(op, 2, nullptr);
  PERM* res = out;
  if (res == nullptr || res->size < p1->size) {
    res = _LM_px_resize("_LM_px_mlt", kvlm::lm_context, out, static_cast<int>(p1->size), callerLine,
                        callerName, op.st());
    LM_CHECK(op, nullptr);
  }
  for (unsigned i = 0; i < p1->size; ++i) res->pe[i] = p1->pe[p2->pe[i]];
  return op.done(res);
}

KVELO_API VEC* _LM_px_vec(PERM* px, VEC* x, VEC* out, int callerLine, const char* callerName,
                          int* status) {
  LmOp op(kFile, "px_vec", callerLine, callerName, status);
  if (px == nullptr || x == nullptr) LM_FAIL(op, 8, nullptr);
  if (x->dim < px->size) LM_FAIL(op, 1, nullptr);
  const unsigned n = px->size;
  if (n == 0) return op.done(_LM__v_copy(x, out, 0, callerLine, callerName, op.st()));
  if (!kvlm::IsPermutation(px->pe, n)) LM_FAIL(op, 2, nullptr);
  if (out == x) {
    kvlm::PermuteInPlace(px->pe, n, x->ve);  // a true permutation: every entry is reached
    return op.done(x);
  }
  VEC* res = kvlm::GrownVec(op, "_LM_px_vec", out, x->dim);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < n; ++i) res->ve[i] = x->ve[px->pe[i]];
  return op.done(res);
}

KVELO_API VEC* _LM_pxinv_vec(PERM* px, VEC* x, VEC* out, int callerLine,
                             const char* callerName, int* status) {
  LmOp op(kFile, "pxinv_vec", callerLine, callerName, status);
  if (px == nullptr || x == nullptr) LM_FAIL(op, 8, nullptr);
  if (x->dim < px->size) LM_FAIL(op, 1, nullptr);
  const unsigned n = px->size;
  if (n == 0) return op.done(_LM__v_copy(x, out, 0, callerLine, callerName, op.st()));
  if (out == x) {
    // The inverse refuses (under its own name) a px that is no permutation before any change.
    _LM_px_inv(px, px, callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
    _LM_px_vec(px, x, x, callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
    _LM_px_inv(px, px, callerLine, callerName, op.st());
    LM_CHECK(op, nullptr);
    return op.done(x);
  }
  if (!kvlm::IsPermutation(px->pe, n)) LM_FAIL(op, 2, nullptr);
  VEC* res = kvlm::GrownVec(op, "_LM_pxinv_vec", out, x->dim);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < n; ++i) res->ve[px->pe[i]] = x->ve[i];
  return op.done(res);
}

KVELO_API PERM* _LM_px_transp(PERM* px, unsigned int i, unsigned int j, int callerLine,
                              const char* callerName, int* status) {
  LmOp op(kFile, "px_transp", callerLine, callerName, status);
  if (px == nullptr) LM_FAIL(op, 8, nullptr);
  if (i < px->size && j < px->size) std::swap(px->pe[i], px->pe[j]);
  return op.done(px);
}

KVELO_API int _LM_px_sign(PERM* px, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "px_sign", callerLine, callerName, status);
  if (px == nullptr) LM_FAIL(op, 8, 0);
  PERM* copy = _LM_px_copy(px, nullptr, callerLine, callerName, op.st());
  LM_CHECK(op, 0);
  // Only a true permutation has a sign: an entry out of range or repeated is refused.
  if (!kvlm::IsPermutation(copy->pe, copy->size)) {
    px_free(copy);
    LM_FAIL(op, 2, 0);
  }
  const bool even = IsEven(copy->pe, copy->size);
  px_free(copy);
  return op.done(even ? 1 : -1);
}

}  // extern "C"

namespace {

// Output of a row or column permutation: out when it has A's shape, else a new matrix
// (a given out of another shape stays the caller's, untouched).
MAT* ShapedOut(MAT* A, MAT* out, const char* tag, LmOp& op) {
  if (out != nullptr && out->m == A->m && out->n == A->n) return out;
  return _LM_m_get(tag, kvlm::lm_context, static_cast<int>(A->m), static_cast<int>(A->n),
                   op.callerLine(), op.callerName(), op.st());
}

}  // namespace

extern "C" {

KVELO_API MAT* _LM_px_cols(PERM* px, MAT* A, MAT* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "px_cols", callerLine, callerName, status);
  if (px == nullptr || A == nullptr) LM_FAIL(op, 8, nullptr);
  if (px->size != A->n) LM_FAIL(op, 1, nullptr);
  if (out == A) LM_FAIL(op, 12, nullptr);
  if (!kvlm::IsPermutation(px->pe, px->size)) LM_FAIL(op, 2, nullptr);
  MAT* res = ShapedOut(A, out, "_LM_px_cols", op);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->n; ++i) {
    const unsigned c = px->pe[i];
    for (unsigned r = 0; r < A->m; ++r) res->me[r][c] = A->me[r][i];
  }
  return op.done(res);
}

KVELO_API MAT* _LM_px_rows(PERM* px, MAT* A, MAT* out, int callerLine, const char* callerName,
                           int* status) {
  LmOp op(kFile, "px_rows", callerLine, callerName, status);
  if (px == nullptr || A == nullptr) LM_FAIL(op, 8, nullptr);
  if (px->size != A->m) LM_FAIL(op, 1, nullptr);
  if (out == A) LM_FAIL(op, 12, nullptr);
  if (!kvlm::IsPermutation(px->pe, px->size)) LM_FAIL(op, 2, nullptr);
  MAT* res = ShapedOut(A, out, "_LM_px_rows", op);
  LM_CHECK(op, nullptr);
  for (unsigned i = 0; i < A->m; ++i) {
    const unsigned r = px->pe[i];
    if (A->n > 0 && res->me[i] != A->me[r])
      std::memmove(res->me[i], A->me[r], static_cast<size_t>(A->n) * sizeof(double));
  }
  return op.done(res);
}

}  // extern "C"
