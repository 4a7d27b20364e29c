// ivecop.cpp: the integer vector IVEC: creation, release, resizing, copy and move, sum and
// difference, sorting with an order permutation, element sum, maximum and equality, and its
// text form. IVECs serve as index lists across the C matrix library.
#include <cstdarg>
#include <climits>
#include <cstdint>

#include "cmatrix/lm_intvec.h"

namespace {

struct IvTraits {
  using Rec = IVEC;
  using Elem = int;
  static Elem*& Block(Rec* r) { return r->ive; }
  static constexpr int kType = TYPE_IVEC;
  static constexpr const char* kFile = "ivecop";
  static constexpr const char* kGet = "iv_get";
  static constexpr const char* kResize = "iv_resize";
  static constexpr const char* kCopy = "iv_copy";
  static constexpr const char* kMove = "iv_move";
  static constexpr const char* kAdd = "iv_add";
  static constexpr const char* kSub = "iv_sub";
  static constexpr const char* kInput = "biv_finput";
  static constexpr const char* kCopyTag = "_LM_iv_copy";
  static constexpr const char* kMoveTag = "_LM_iv_move";
  static constexpr const char* kAddTag = "_LM_iv_add";
  static constexpr const char* kSubTag = "_LM_iv_sub";
  static constexpr const char* kSortTag = "_LM_iv_sort";
  static constexpr const char* kInputTag = "_LM_biv_finput";
  static constexpr const char* kHeading = "IntVector: ";
  static constexpr const char* kInHeading = " IntVector: dim:";
  static constexpr const char* kFmt = "%8d ";
  static constexpr const char* kFmtEol = "%8d\n";
  static constexpr const char* kDumpBlock = "ive @ 0x%llx\n";
  static constexpr unsigned kPerLine = 8;
  static constexpr long long kMin = INT_MIN;
  static constexpr long long kMax = INT_MAX;
};

using Ops = kvlm::IntVecOps<IvTraits>;
using kvlm::LmOp;

const char kFile[] = "ivecop";

}  // namespace

extern "C" {

KVELO_API IVEC* _LM_iv_get(const char* tag, int context, int dim, int callerLine,
                           const char* callerName, int* status) {
  return Ops::Get(tag, context, dim, callerLine, callerName, status);
}

KVELO_API int iv_free(IVEC* iv) { return Ops::Release(iv); }

KVELO_API IVEC* _LM_iv_resize(const char* tag, int context, IVEC* iv, int dim, int callerLine,
                              const char* callerName, int* status) {
  return Ops::Resize(tag, context, iv, dim, callerLine, callerName, status);
}

KVELO_API IVEC* _LM_iv_copy(IVEC* in, IVEC* out, int callerLine, const char* callerName,
                            int* status) {
  return Ops::Copy(in, out, callerLine, callerName, status);
}

KVELO_API IVEC* _LM_iv_move(IVEC* in, int i0, int len, IVEC* out, int i1, int callerLine,
                            const char* callerName, int* status) {
  return Ops::Move(in, i0, len, out, i1, callerLine, callerName, status);
}

KVELO_API IVEC* _LM_iv_add(IVEC* a, IVEC* b, IVEC* out, int callerLine, const char* callerName,
                           int* status) {
  return Ops::AddSub(a, b, out, false, callerLine, callerName, status);
}

KVELO_API IVEC* _LM_iv_sub(IVEC* a, IVEC* b, IVEC* out, int callerLine, const char* callerName,
                           int* status) {
  return Ops::AddSub(a, b, out, true, callerLine, callerName, status);
}

KVELO_API IVEC* _LM_iv_sort(IVEC* x, PERM* order, int callerLine, const char* callerName,
                            int* status) {
  return Ops::Sort(x, order, callerLine, callerName, status);
}

KVELO_API int _LM_iv_sum(IVEC* x, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_iv_sum", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, -1);
  uint32_t sum = 0;
  for (unsigned i = 0; i < x->dim; ++i) sum += static_cast<uint32_t>(x->ive[i]);
  return op.done(static_cast<int>(static_cast<int32_t>(sum)));
}

KVELO_API int _LM_iv_max(IVEC* x, int* index, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_iv_max", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, -1);
  if (x->dim == 0) LM_FAIL(op, 1, -1);
  int best = x->ive[0];
  unsigned at = 0;
  for (unsigned i = 1; i < x->dim; ++i) {
    if (x->ive[i] > best) {
      best = x->ive[i];
      at = i;
    }
  }
  if (index != nullptr) *index = static_cast<int>(at);
  return op.done(best);
}

KVELO_API int _LM_iv_cmp(IVEC* a, IVEC* b, int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_iv_cmp", callerLine, callerName, status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, -1);
  if (a->dim == 0 || b->dim == 0) LM_FAIL(op, 1, -1);
  if (a->dim != b->dim) return op.done(0);
  for (unsigned i = 0; i < a->dim; ++i)
    if (a->ive[i] != b->ive[i]) return op.done(0);
  return op.done(1);
}

KVELO_API int iv_foutput(FILE* fp, IVEC* iv) { return Ops::Output(fp, iv); }

KVELO_API int iv_dump(FILE* fp, IVEC* iv) { return Ops::Dump(fp, iv); }

KVELO_API IVEC* _LM_biv_finput(FILE* fp, IVEC* iv, int callerLine, const char* callerName, ...) {
  va_list ap;
  va_start(ap, callerName);
  int* status = va_arg(ap, int*);
  va_end(ap);
  return Ops::Input(fp, iv, callerLine, callerName, status);
}

KVELO_API IVEC* _LM_iv_finput(FILE* fp, IVEC* iv, int callerLine, const char* callerName,
                              int* status) {
  return _LM_biv_finput(fp, iv, callerLine, callerName, status);
}

}  // extern "C"
