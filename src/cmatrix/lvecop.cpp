// lvecop.cpp: the long vector LVEC, whose values are 32-bit signed quantities held in longs:
// creation, release, resizing, copy and move, sum and difference (wrapping at 32 bits),
// sorting with an order permutation, and its text form (values beyond 32 bits refused).
#include <cstdarg>
#include <cstdint>

#include "cmatrix/lm_intvec.h"

namespace {

struct LvTraits {
  using Rec = LVEC;
  using Elem = long;
  static Elem*& Block(Rec* r) { return r->lve; }
  static constexpr int kType = TYPE_LVEC;
  static constexpr const char* kFile = "lvecop";
  static constexpr const char* kGet = "lv_get";
  static constexpr const char* kResize = "lv_resize";
  static constexpr const char* kCopy = "lv_copy";
  static constexpr const char* kMove = "lv_move";
  static constexpr const char* kAdd = "lv_add";
  static constexpr const char* kSub = "lv_sub";
  static constexpr const char* kInput = "blv_finput";
  static constexpr const char* kCopyTag = "_LM_lv_copy";
  static constexpr const char* kMoveTag = "_LM_lv_move";
  static constexpr const char* kAddTag = "_LM_lv_add";
  static constexpr const char* kSubTag = "_LM_lv_sub";
  static constexpr const char* kSortTag = "_LM_lv_sort";
  static constexpr const char* kInputTag = "_LM_blv_finput";
  static constexpr const char* kHeading = "LongVector: ";
  static constexpr const char* kInHeading = " LongVector: dim:";
  static constexpr const char* kFmt = "%16ld ";
  static constexpr const char* kFmtEol = "%16ld\n";
  static constexpr const char* kDumpBlock = "lve @ 0x%llx\n";
  static constexpr unsigned kPerLine = 16;
  static constexpr long long kMin = INT32_MIN;
  static constexpr long long kMax = INT32_MAX;
};

using Ops = kvlm::IntVecOps<LvTraits>;

}  // namespace

extern "C" {

KVELO_API LVEC* _LM_lv_get(const char* tag, int context, int dim, int callerLine,
                           const char* callerName, int* status) {
  return Ops::Get(tag, context, dim, callerLine, callerName, status);
}

KVELO_API int lv_free(LVEC* lv) { return Ops::Release(lv); }

KVELO_API LVEC* _LM_lv_resize(const char* tag, int context, LVEC* lv, int dim, int callerLine,
                              const char* callerName, int* status) {
  return Ops::Resize(tag, context, lv, dim, callerLine, callerName, status);
}

KVELO_API LVEC* _LM_lv_copy(LVEC* in, LVEC* out, int callerLine, const char* callerName,
                            int* status) {
  return Ops::Copy(in, out, callerLine, callerName, status);
}

KVELO_API LVEC* _LM_lv_move(LVEC* in, int i0, int len, LVEC* out, int i1, int callerLine,
                            const char* callerName, int* status) {
  return Ops::Move(in, i0, len, out, i1, callerLine, callerName, status);
}

KVELO_API LVEC* _LM_lv_add(LVEC* a, LVEC* b, LVEC* out, int callerLine, const char* callerName,
                           int* status) {
  return Ops::AddSub(a, b, out, false, callerLine, callerName, status);
}

KVELO_API LVEC* _LM_lv_sub(LVEC* a, LVEC* b, LVEC* out, int callerLine, const char* callerName,
                           int* status) {
  return Ops::AddSub(a, b, out, true, callerLine, callerName, status);
}

KVELO_API LVEC* _LM_lv_sort(LVEC* x, PERM* order, int callerLine, const char* callerName,
                            int* status) {
  return Ops::Sort(x, order, callerLine, callerName, status);
}

KVELO_API int lv_foutput(FILE* fp, LVEC* lv) { return Ops::Output(fp, lv); }

KVELO_API int lv_dump(FILE* fp, LVEC* lv) { return Ops::Dump(fp, lv); }

KVELO_API LVEC* _LM_blv_finput(FILE* fp, LVEC* lv, int callerLine, const char* callerName, ...) {
  va_list ap;
  va_start(ap, callerName);
  int* status = va_arg(ap, int*);
  va_end(ap);
  return Ops::Input(fp, lv, callerLine, callerName, status);
}

KVELO_API LVEC* _LM_lv_finput(FILE* fp, LVEC* lv, int callerLine, const char* callerName,
                              int* status) {
  return _LM_blv_finput(fp, lv, callerLine, callerName, status);
}

}  // extern "C"
