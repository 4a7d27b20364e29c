// solve.cpp: the triangular and diagonal solves under the LU operations: back and forward
// substitution with an upper or lower triangle and with their transposes, each skipping the
// zero ends of the right-hand side, and the diagonal solve. All accept out == b.
#include <cstdint>

#include "cmatrix/lm_owned.h"
#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::RaiseAndDrop;
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

// The checks and the output of every solve: A and b given (8), b covering the order
// min(m, n) of A (1, the order left in *dim), out sized as SizeOut says. NULL with the
// status -1 on failure.
VEC* Prepare(LmOp& op, MAT* A, VEC* b, VEC* out, bool always, const char* tag, int64_t* dim) {
  if (A == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  *dim = MinDim(A);
  if (b->dim < *dim) LM_FAIL(op, 1, nullptr);
  return SizeOut(out, static_cast<unsigned>(*dim), A->n, always, tag, op);
}

// The divisor of row i: the matrix's own diagonal entry when diag is 0.0, else diag.
bool Divisor(const MAT* A, int64_t i, double diag, double* d) {
  *d = diag == 0.0 ? A->me[i][i] : diag;
  return *d != 0.0;
}

// x[i] divided by the diagonal entry of row i when diag is 0.0, else multiplied by
// inv = 1/diag; false (x untouched) for a zero diagonal entry.
bool DivideAt(const MAT* A, int64_t i, double diag, double inv, double* x) {
  if (diag != 0.0) {
    x[i] *= inv;
    return true;
  }
  const double d = A->me[i][i];
  if (d == 0.0) return false;
  x[i] /= d;
  return true;
}

}  // namespace

extern "C" {

KVELO_API VEC* _LM_Usolve(MAT* U, VEC* b, VEC* out, double diag, int callerLine,
                          const char* callerName, int* status) {
  LmOp op(kFile, "Usolve", callerLine, callerName, status);
  int64_t dim = 0;
  VEC* res = Prepare(op, U, b, out, false, "_LM_Usolve", &dim);
  LM_CHECK(op, nullptr);
  int64_t t = dim - 1;
  for (; t >= 0 && b->ve[t] == 0.0; --t) res->ve[t] = 0.0;
  for (int64_t i = t; i >= 0; --i) {
    const double s = b->ve[i] - __ip__(&U->me[i][i + 1], &res->ve[i + 1], Len(t - i));
    double d;
    if (!Divisor(U, i, diag, &d)) return RaiseAndDrop(op, 4, __LINE__, res, out);
    res->ve[i] = s / d;
  }
  return op.done(res);
}

KVELO_API VEC* _LM_Lsolve(MAT* L, VEC* b, VEC* out, double diag, int callerLine,
                          const char* callerName, int* status) {
  LmOp op(kFile, "Lsolve", callerLine, callerName, status);
  int64_t dim = 0;
  VEC* res = Prepare(op, L, b, out, false, "_LM_Lsolve", &dim);
  LM_CHECK(op, nullptr);
  int64_t f = 0;
  for (; f < dim && b->ve[f] == 0.0; ++f) res->ve[f] = 0.0;
  for (int64_t i = f; i < dim; ++i) {
    const double s = b->ve[i] - __ip__(&L->me[i][f], &res->ve[f], Len(i - f));
    double d;
    if (!Divisor(L, i, diag, &d)) return RaiseAndDrop(op, 4, __LINE__, res, out);
    res->ve[i] = s / d;
  }
  return op.done(res);
}

KVELO_API VEC* _LM_UTsolve(MAT* U, VEC* b, VEC* out, double diag, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "UTsolve", callerLine, callerName, status);
  int64_t dim = 0;
  VEC* res = Prepare(op, U, b, out, true, "_LM_UTsolve", &dim);
  LM_CHECK(op, nullptr);
  int64_t f = 0;
  for (; f < dim && b->ve[f] == 0.0; ++f) res->ve[f] = 0.0;
  if (res != b) {
    __zero__(res->ve, Len(res->dim));
    for (int64_t i = f; i < dim; ++i) res->ve[i] = b->ve[i];
  }
  const double inv = diag == 0.0 ? 0.0 : 1.0 / diag;
  for (int64_t i = f; i < dim; ++i) {
    if (!DivideAt(U, i, diag, inv, res->ve)) return RaiseAndDrop(op, 4, __LINE__, res, out);
    __mltadd__(&res->ve[i + 1], &U->me[i][i + 1], -res->ve[i], Len(dim - i - 1));
  }
  return op.done(res);
}

KVELO_API VEC* _LM_LTsolve(MAT* L, VEC* b, VEC* out, double diag, int callerLine,
                           const char* callerName, int* status) {
  LmOp op(kFile, "LTsolve", callerLine, callerName, status);
  int64_t dim = 0;
  VEC* res = Prepare(op, L, b, out, true, "_LM_LTsolve", &dim);
  LM_CHECK(op, nullptr);
  int64_t t = dim - 1;
  while (t >= 0 && b->ve[t] == 0.0) --t;
  if (res != b) {
    __zero__(res->ve, Len(res->dim));
    for (int64_t i = 0; i <= t; ++i) res->ve[i] = b->ve[i];
  }
  const double inv = diag == 0.0 ? 0.0 : 1.0 / diag;
  for (int64_t i = t; i >= 0; --i) {
    if (!DivideAt(L, i, diag, inv, res->ve)) return RaiseAndDrop(op, 4, __LINE__, res, out);
    __mltadd__(res->ve, L->me[i], -res->ve[i], Len(i));
  }
  return op.done(res);
}

KVELO_API VEC* _LM_Dsolve(MAT* A, VEC* b, VEC* out, int callerLine, const char* callerName,
                          int* status) {
  LmOp op(kFile, "Dsolve", callerLine, callerName, status);
  int64_t dim = 0;
  VEC* res = Prepare(op, A, b, out, true, "_LM_Dsolve", &dim);
  LM_CHECK(op, nullptr);
  for (int64_t i = 0; i < dim; ++i) {
    const double d = A->me[i][i];
    if (d == 0.0) return RaiseAndDrop(op, 4, __LINE__, res, out);
    res->ve[i] = b->ve[i] / d;
  }
  return op.done(res);
}

}  // extern "C"
