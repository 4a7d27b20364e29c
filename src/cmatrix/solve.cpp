// solve.cpp: the triangular and diagonal solves under the LU operations: back and forward
// substitution with an upper or lower triangle and with their transposes, each skipping the
// zero ends of the right-hand side, and the diagonal solve. All accept out == b. Every
// diagonal entry a solve will divide by is checked before out is sized or written, so a
// zero divisor (code 4) leaves out as it was.
#include <cstdint>

#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "solve";

int Len(int64_t n) { return static_cast<int>(n); }

unsigned MinDim(const MAT* A) { return A->m < A->n ? A->m : A->n; }

// out sized to n when NULL or shorter than dim (always, when `always`).
VEC* SizeOut(VEC* out, unsigned dim, unsigned n, bool always, const char* tag, LmOp& op) {
  if (!always && out != nullptr && out->dim >= dim) return out;
  return _LM_v_resize(tag, kvlm::lm_context, out, static_cast<int>(n), op.callerLine(),
                      op.callerName(), op.st());
}

// The checks of every solve: A and b given (8), b covering the order min(m, n) of A (1, the
// order left in *dim). False with the status -1 on failure.
bool Check(LmOp& op, MAT* A, VEC* b, int64_t* dim) {
  if (A == nullptr || b == nullptr) LM_FAIL(op, 8, false);
  *dim = MinDim(A);
  if (b->dim < *dim) LM_FAIL(op, 1, false);
  return true;
}

// Rows first .. last are divided by their diagonal entry when diag is 0.0: true when none of
// those entries is zero (always, with a non-zero diag).
bool DivisorsNonZero(const MAT* A, int64_t first, int64_t last, double diag) {
  if (diag != 0.0) return true;
  for (int64_t i = first; i <= last; ++i)
    if (A->me[i][i] == 0.0) return false;
  return true;
}

// The first index below dim with b[i] != 0 (dim when none), and the last one (-1 when none).
int64_t FirstNonZero(const VEC* b, int64_t dim) {
  int64_t f = 0;
  while (f < dim && b->ve[f] == 0.0) ++f;
  return f;
}
int64_t LastNonZero(const VEC* b, int64_t dim) {
  int64_t t = dim - 1;
  while (t >= 0 && b->ve[t] == 0.0) --t;
  return t;
}

// The rows first .. last divided by the solve, checked (4), then out sized as SizeOut says;
// NULL with the status -1 on failure, out untouched.
VEC* Prepare(LmOp& op, MAT* A, VEC* out, int64_t dim, int64_t first, int64_t last, double diag,
             bool always, const char* tag) {
  if (!DivisorsNonZero(A, first, last, diag)) LM_FAIL(op, 4, nullptr);
  return SizeOut(out, static_cast<unsigned>(dim), A->n, always, tag, op);
}

// The divisor of row i: the matrix's own diagonal entry when diag is 0.0, else diag.
double Divisor(const MAT* A, int64_t i, double diag) { return diag == 0.0 ? A->me[i][i] : diag; }

// x[i] divided by the diagonal entry of row i when diag is 0.0, else multiplied by
// inv = 1/diag (the entry was checked non-zero beforehand).
void DivideAt(const MAT* A, int64_t i, double diag, double inv, double* x) {
  if (diag != 0.0)
    x[i] *= inv;
  else
    x[i] /= A->me[i][i];
}

}  // namespace

extern "C" {

KVELO_API VEC* _LM_Usolve(MAT* U, VEC* b, VEC* out, double diag, int callerLine,
                          const char* callerName, int* status) {
  LmOp op(kFile, "Usolve", callerLine, callerName, status);
  int64_t dim = 0;
  if (!Check(op, U, b, &dim)) return nullptr;
  const int64_t t = LastNonZero(b, dim);
  VEC* res = Prepare(op, U, out, dim, 0, t, diag, false, "_LM_Usolve");
  LM_CHECK(op, nullptr);
  for (int64_t i = dim - 1; i > t; --i) res->ve[i] = 0.0;
  for (int64_t i = t; i >= 0; --i) {
    const double s = b->ve[i] - __ip__(&U->me[i][i + 1], &res->ve[i + 1], Len(t - i));
    res->ve[i] = s / Divisor(U, i, diag);
  }
  return op.done(res);
}

KVELO_API VEC* _LM_Lsolve(MAT* L, VEC* b, VEC* out, double diag, int callerLine,
                          const char* callerName, int* status) {
  LmOp op(kFile, "Lsolve", callerLine, callerName, status);
  int64_t dim = 0;
  if (!Check(op, L, b, &dim)) return nullptr;
  const int64_t f = FirstNonZero(b, dim);
  VEC* res = Prepare(op, L, out, dim, f, dim - 1, diag, false, "_LM_Lsolve");
  LM_CHECK(op, nullptr);
  for (int64_t i = 0; i < f; ++i) res->ve[i] = 0.0;
  for (int64_t i = f; i < dim; ++i) {
    const double s = b->ve[i] - __ip__(&L->me[i][f], &res->ve[f], Len(i - f));
    res->ve[i] = s / Divisor(L, i, diag);
  }
  return op.done(res);
}

KVELO_API VEC* _LM_UTsolve(MAT* U, VEC* b, VEC* out, double diag, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "UTsolve", callerLine, callerName, status);
  int64_t dim = 0;
  if (!Check(op, U, b, &dim)) return nullptr;
  const int64_t f = FirstNonZero(b, dim);
  VEC* res = Prepare(op, U, out, dim, f, dim - 1, diag, true, "_LM_UTsolve");
  LM_CHECK(op, nullptr);
  for (int64_t i = 0; i < f; ++i) res->ve[i] = 0.0;
  if (res != b) {
    __zero__(res->ve, Len(res->dim));
    for (int64_t i = f; i < dim; ++i) res->ve[i] = b->ve[i];
  }
  const double inv = diag == 0.0 ? 0.0 : 1.0 / diag;
  for (int64_t i = f; i < dim; ++i) {
    DivideAt(U, i, diag, inv, res->ve);
    __mltadd__(&res->ve[i + 1], &U->me[i][i + 1], -res->ve[i], Len(dim - i - 1));
  }
  return op.done(res);
}

KVELO_API VEC* _LM_LTsolve(MAT* L, VEC* b, VEC* out, double diag, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "LTsolve", callerLine, callerName, status);
  int64_t dim = 0;
  if (!Check(op, L, b, &dim)) return nullptr;
  const int64_t t = LastNonZero(b, dim);
  VEC* res = Prepare(op, L, out, dim, 0, t, diag, true, "_LM_LTsolve");
  LM_CHECK(op, nullptr);
  if (res != b) {
    __zero__(res->ve, Len(res->dim));
    for (int64_t i = 0; i <= t; ++i) res->ve[i] = b->ve[i];
  }
  const double inv = diag == 0.0 ? 0.0 : 1.0 / diag;
  for (int64_t i = t; i >= 0; --i) {
    DivideAt(L, i, diag, inv, res->ve);
    __mltadd__(res->ve, L->me[i], -res->ve[i], Len(i));
  }
  return op.done(res);
}

KVELO_API VEC* _LM_Dsolve(MAT* A, VEC* b, VEC* out, int callerLine, const char* callerName,
                          int* status) {
  LmOp op(kFile, "Dsolve", callerLine, callerName, status);
  int64_t dim = 0;
  if (!Check(op, A, b, &dim)) return nullptr;
  VEC* res = Prepare(op, A, out, dim, 0, dim - 1, 0.0, true, "_LM_Dsolve");
  LM_CHECK(op, nullptr);
  for (int64_t i = 0; i < dim; ++i) res->ve[i] = b->ve[i] / A->me[i][i];
  return op.done(res);
}

}  // extern "C"
