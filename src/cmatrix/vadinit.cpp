// vadinit.cpp: fills of the C records (zeros, ones, identity, uniform random numbers) and
// the library's own uniform generator mrand: a lagged subtractive generator modulo
// 2^31 - 1 over a table of 55 values, with process-wide, unguarded state.
#include <cstdint>

#include "cmatrix/lm_status.h"
#include "matrix.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "vadinit";

const int32_t kModulus = 2147483647;  // 2^31 - 1
const int32_t kSeedMultiplier = 123413;
const int kDefaultSeed = 3127;
const int kWarmUp = 55 * 55;

// The generator state: it lives from load to unload and nothing guards it.
int32_t lag_table[55];
int seeded = 0;
int cur_index = 0;
int lag_index = 31;
const double draw_scale = 1.0 / 2147483647.0;

// 32-bit two's-complement arithmetic, as the stream is defined by it.
int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

double Draw() {
  cur_index = cur_index >= 54 ? 0 : cur_index + 1;
  lag_index = lag_index >= 54 ? 0 : lag_index + 1;
  int32_t v = WrapSub(lag_table[cur_index], lag_table[lag_index]);
  if (v < 0) v += kModulus;  // cannot overflow: v is negative
  lag_table[cur_index] = v;
  return static_cast<double>(v) * draw_scale;
}

int Len(unsigned n) { return static_cast<int>(n); }

}  // namespace

extern "C" {

KVELO_API void smrand(int seed) {
  // The remainder is truncated toward zero, so a wrapped negative product stays negative.
  lag_table[0] = WrapMul(seed, kSeedMultiplier) % kModulus;
  for (int k = 1; k < 55; ++k) lag_table[k] = WrapMul(lag_table[k - 1], kSeedMultiplier) % kModulus;
  seeded = 1;
  for (int k = 0; k < kWarmUp; ++k) Draw();
}

KVELO_API double mrand(void) {
  if (!seeded) smrand(kDefaultSeed);
  return Draw();
}

KVELO_API void mrandlist(double* a, int len) {
  if (!seeded) smrand(kDefaultSeed);
  for (int i = 0; i < len; ++i) a[i] = Draw();
}

KVELO_API VEC* _LM_v_zero(VEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "v_zero", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  __zero__(x->ve, Len(x->dim));
  return op.done(x);
}

KVELO_API MAT* _LM_m_zero(MAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "m_zero", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  for (unsigned i = 0; i < A->m; ++i) __zero__(A->me[i], Len(A->n));
  return op.done(A);
}

KVELO_API MAT* _LM_m_ident(MAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "m_ident", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  _LM_m_zero(A, callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  const unsigned d = A->m < A->n ? A->m : A->n;
  for (unsigned i = 0; i < d; ++i) A->me[i][i] = 1.0;
  return op.done(A);
}

KVELO_API PERM* _LM_px_ident(PERM* px, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "px_ident", callerLine, callerName, status);
  if (px == nullptr) LM_FAIL(op, 8, nullptr);
  for (unsigned i = 0; i < px->size; ++i) px->pe[i] = i;
  return op.done(px);
}

KVELO_API VEC* _LM_v_ones(VEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "v_ones", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  for (unsigned i = 0; i < x->dim; ++i) x->ve[i] = 1.0;
  return op.done(x);
}

KVELO_API MAT* _LM_m_ones(MAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "m_ones", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) A->me[i][j] = 1.0;
  return op.done(A);
}

KVELO_API VEC* _LM_v_rand(VEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "v_rand", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  mrandlist(x->ve, Len(x->dim));
  return op.done(x);
}

KVELO_API MAT* _LM_m_rand(MAT* A, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "m_rand", callerLine, callerName, status);
  if (A == nullptr) LM_FAIL(op, 8, nullptr);
  for (unsigned i = 0; i < A->m; ++i) mrandlist(A->me[i], Len(A->n));
  return op.done(A);
}

KVELO_API IVEC* _LM_iv_zero(IVEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "iv_zero", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  __izero__(x->ive, Len(x->dim));
  return op.done(x);
}

}  // extern "C"
