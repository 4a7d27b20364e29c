// lmb.cpp: bit vectors: which elements of a set are active, over five storage kinds (runs,
// packed words, sorted list, flags, all): creation and copies, element access, counts and
// ranks, iteration, conversions with integer vectors and the text form.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "bvec.h"
#include "cmatrix/lm_status.h"
#include "cmatrix/lmb_internal.h"

using kvlm::LmOp;

namespace kvbv {

const char kFile[] = "lmb";

namespace {

// Number of 1 bits of every byte value.
struct ByteTable {
  int n[256];
  ByteTable() {
    n[0] = 0;
    for (int b = 1; b < 256; ++b) n[b] = (b & 1) + n[b >> 1];
  }
};
const ByteTable kByteBits;

}  // namespace

int Bits(uint32_t w) {
  return kByteBits.n[w & 0xFF] + kByteBits.n[(w >> 8) & 0xFF] + kByteBits.n[(w >> 16) & 0xFF] +
         kByteBits.n[w >> 24];
}

BVEC* NewRecord(const char* caller, int context, int kind, int nb_ddl) {
  BVEC* bv = static_cast<BVEC*>(kvelomem_calloc(1, sizeof(BVEC), caller, context, __FILE__, __LINE__));
  if (bv == nullptr) return nullptr;
  bv->type_stockage = kind;
  bv->nb_ddl = nb_ddl;
  kvlm::AccountBytes(TYPE_BVEC, 0, sizeof(BVEC));
  kvlm::AccountRecords(TYPE_BVEC, 1);
  return bv;
}

void DropRecord(BVEC* bv) {
  if (bv == nullptr) return;
  iv_free(bv->deb_blocs);
  iv_free(bv->fin_blocs);
  iv_free(bv->code);
  kvlm::AccountBytes(TYPE_BVEC, sizeof(BVEC), 0);
  kvlm::AccountRecords(TYPE_BVEC, -1);
  kvlm::Free(bv);
}

bool EnsureRuns(BVEC* bv, long long need, int step, const char* caller, int* status) {
  if (bv->max_blocs >= need) return true;
  long long want = static_cast<long long>(bv->nb_blocs) + step;
  if (want < need) want = need;
  if (want > INT32_MAX) {
    // No int capacity holds that many entries.
    if (need > INT32_MAX) {
      *status = -1;
      return false;
    }
    want = INT32_MAX;
  }
  return _LM_bv_resize_bloc(caller, kvlm::lm_context, bv, bv->nb_ddl, static_cast<int>(want), __LINE__,
                            caller, status) != nullptr;
}

}  // namespace kvbv

using namespace kvbv;

namespace {

// The first run of a BLOC bit vector whose last element is at least i, or nb_blocs (the last
// elements of the runs ascend).
int RunReaching(const BVEC* bv, int i) {
  const int* fin = bv->fin_blocs->ive;
  return static_cast<int>(std::lower_bound(fin, fin + bv->nb_blocs, i) - fin);
}

// The first position of an IVEC bit vector's list holding an element at least i, or nb_blocs.
int ListReaching(const BVEC* bv, int i) {
  const int* list = bv->code->ive;
  return static_cast<int>(std::lower_bound(list, list + bv->nb_blocs, i) - list);
}

// First element of run k not already counted by run k - 1 (runs may share a boundary).
inline long long RunStart(const BVEC* bv, int k) {
  const long long deb = bv->deb_blocs->ive[k];
  if (k == 0) return deb;
  const long long prev = static_cast<long long>(bv->fin_blocs->ive[k - 1]) + 1;
  return deb > prev ? deb : prev;
}

// Active elements of a packed bit vector in first .. end-1, 0 <= first < end <= nb_ddl.
int CodageCount(const BVEC* bv, int first, int end) {
  const int w0 = WordOf(first), w1 = WordOf(end - 1);
  const int b0 = BitOf(first), b1 = BitOf(end - 1);
  if (w0 == w1) return b0 > b1 ? 0 : Bits(Word(bv, w0) & Mask(b0, b1 + 1));
  int n = Bits(Word(bv, w0) & Mask(b0, 32));
  for (int w = w0 + 1; w < w1; ++w) n += Bits(Word(bv, w));
  return n + Bits(Word(bv, w1) & Mask(0, b1 + 1));
}

// Sets (on) or clears the bits of elements first .. end-1 of a packed bit vector.
void CodageSegment(BVEC* bv, int first, int end, bool on) {
  const int w0 = WordOf(first), w1 = WordOf(end);
  const int b0 = BitOf(first), b1 = BitOf(end);
  auto apply = [&](int w, uint32_t m) { SetWord(bv, w, on ? (Word(bv, w) | m) : (Word(bv, w) & ~m)); };
  if (w0 < w1) {
    apply(w0, Mask(b0, 32));
    for (int w = w0 + 1; w < w1; ++w) SetWord(bv, w, on ? 0xFFFFFFFFu : 0u);
    if (b1 > 0) apply(w1, Mask(0, b1));
  } else if (b0 < b1) {
    apply(w0, Mask(b0, b1));
  }
}

// Grows the flags of a direct bit vector to n entries (new ones 0); false when memory is short.
bool GrowFlags(BVEC* bv, int n, int* status) {
  IVEC* grown = _LM_iv_resize("_LM_bv_insere", kvlm::lm_context, bv->code, n, __LINE__, "_LM_bv_insere", status);
  if (grown == nullptr) return false;
  bv->code = grown;
  bv->nb_ddl = bv->max_blocs = n;
  return true;
}

// Next element of a packed bit vector whose bit equals `on`, from the iterator on.
int CodageNext(BVEC* bv, bool on) {
  int w = bv->iter_num, b = bv->iter_pos;
  if (w < 0) w = 0, b = 0;
  while (w < bv->nb_blocs) {
    if (b >= 32) {
      ++w;
      b = 0;
      continue;
    }
    const uint32_t word = on ? Word(bv, w) : ~Word(bv, w);
    const uint32_t rest = word >> b;
    if (rest == 0) {
      ++w;
      b = 0;
      continue;
    }
    b += __builtin_ctz(rest);
    bv->iter_num = w;
    bv->iter_pos = b + 1;
    const long long e = static_cast<long long>(w) * 32 + b;
    return e < bv->nb_ddl ? static_cast<int>(e) : -1;
  }
  bv->iter_num = w;
  bv->iter_pos = 0;
  return -1;
}

// Next element of a direct bit vector whose flag equals flag.
int DirectNext(BVEC* bv, int flag) {
  int e = bv->iter_num < 0 ? 0 : bv->iter_num;
  const int n = bv->max_blocs < static_cast<int>(bv->code->dim) ? bv->max_blocs : static_cast<int>(bv->code->dim);
  while (e < n && bv->code->ive[e] != flag) ++e;
  if (e >= n) {
    bv->iter_num = n;
    return -1;
  }
  bv->iter_num = e + 1;
  return e;
}

int SetSegment(BVEC* bv, int first, int end, bool on, const char* name) {
  if (bv == nullptr) return -1;
  switch (bv->type_stockage) {
    case kCodage:
    case kDirect:
      if (first < 0 || end > bv->nb_ddl) {
        Trace(name, __LINE__);
        return -1;
      }
      if (first >= end) return 0;
      if (bv->type_stockage == kCodage) {
        CodageSegment(bv, first, end, on);
      } else {
        for (int k = first; k < end; ++k) bv->code->ive[k] = on ? 1 : 0;
      }
      return 0;
    case kBloc:
    case kIvec:
    case kTout:
      Trace(name, __LINE__);
      return -1;
    default:
      return 0;
  }
}

// A new record of kind over nb_ddl elements (code 20 for a negative count, 3 when memory is
// short) with max_blocs and nb_blocs set, and each of `lists` (deb_blocs and fin_blocs, or
// code) a new list of listLen ints; a list that cannot be made takes the record with it,
// under a trace mark keyed with name.
BVEC* NewBitVector(LmOp& op, const char* name, const char* caller, int context, int kind, int nb_ddl,
                   int maxBlocs, int nbBlocs, std::initializer_list<IVEC* BVEC::*> lists, int listLen) {
  if (nb_ddl < 0) LM_FAIL(op, 20, nullptr);
  BVEC* bv = NewRecord(caller, context, kind, nb_ddl);
  if (bv == nullptr) LM_FAIL(op, 3, nullptr);
  bv->max_blocs = maxBlocs;
  bv->nb_blocs = nbBlocs;
  for (IVEC* BVEC::*list : lists) {
    bv->*list = _LM_iv_get(caller, context, listLen, op.callerLine(), op.callerName(), op.st());
    if (op.failed()) {
      DropRecord(bv);
      return Refuse(op, name, __LINE__);
    }
  }
  return op.done(bv);
}

IVEC* Compact(BVEC* bv, IVEC* out, int* status, bool on, const char* name) {
  LmOp op(kFile, name, __LINE__, name, status);
  if (bv == nullptr) return Refuse(op, name, __LINE__);
  int n = on ? _LM_bv_nb_on(bv) : _LM_bv_nb_off(bv);
  if (n < 0) n = 0;
  if (out == nullptr || static_cast<long long>(out->dim) < n) {
    out = _LM_iv_resize(name, 0, out, n, __LINE__, name, op.st());
    if (op.failed()) return Refuse(op, name, __LINE__);
  }
  unsigned k = 0;
  ForEach(bv, on, [&](int e) {
    if (k < out->dim) out->ive[k++] = e;
  });
  return op.done(out);
}

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- getters ---------- */

KVELO_API BVEC* _LM_bv_get_bloc(const char* caller, int context, int nb_ddl, int max_blocs, int line,
                                const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_get_bloc", line, callerName, status);
  return NewBitVector(op, "_LM_bv_get_bloc", caller, context, kBloc, nb_ddl, max_blocs, 0,
                      {&BVEC::deb_blocs, &BVEC::fin_blocs}, max_blocs);
}

KVELO_API BVEC* _LM_bv_get_codage(const char* caller, int context, int nb_ddl, int line,
                                  const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_get_codage", line, callerName, status);
  const int words = nb_ddl < 0 ? 0 : WordCount(nb_ddl);
  return NewBitVector(op, "_LM_bv_get_codage", caller, context, kCodage, nb_ddl, -1, words,
                      {&BVEC::code}, words);
}

KVELO_API BVEC* _LM_bv_get_ivec(const char* caller, int context, int nb_ddl, int max_blocs, int line,
                                const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_get_ivec", line, callerName, status);
  return NewBitVector(op, "_LM_bv_get_ivec", caller, context, kIvec, nb_ddl, max_blocs, 0,
                      {&BVEC::code}, max_blocs);
}

KVELO_API BVEC* _LM_bv_get_direct(const char* caller, int context, int nb_ddl, int line,
                                  const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_get_direct", line, callerName, status);
  return NewBitVector(op, "_LM_bv_get_direct", caller, context, kDirect, nb_ddl, nb_ddl, 0,
                      {&BVEC::code}, nb_ddl);
}

KVELO_API BVEC* _LM_bv_get_tout(const char* caller, int context, int nb_ddl, int line,
                                const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_get_tout", line, callerName, status);
  return NewBitVector(op, "_LM_bv_get_tout", caller, context, kTout, nb_ddl, 0, 0, {}, 0);
}

KVELO_API BVEC* _LM_bv_get(const char* caller, int context, int kind, int nb_ddl, int line,
                           const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_get", line, callerName, status);
  BVEC* bv = nullptr;
  switch (kind) {
    case kCodage:
      bv = _LM_bv_get_codage(caller, context, nb_ddl, line, callerName, op.st());
      break;
    case kIvec:
      // A list needs its capacity, which this getter does not take.
      return Refuse(op, "_LM_bv_get", __LINE__);
    case kDirect:
      bv = _LM_bv_get_direct(caller, context, nb_ddl, line, callerName, op.st());
      break;
    case kTout:
      bv = _LM_bv_get_tout(caller, context, nb_ddl, line, callerName, op.st());
      break;
    default:
      bv = _LM_bv_get_bloc(caller, context, nb_ddl, 100, line, callerName, op.st());
      break;
  }
  if (op.failed()) return Refuse(op, "_LM_bv_get", __LINE__);
  return op.done(bv);
}

KVELO_API int _LM_bv_free(BVEC* bv) {
  if (bv == nullptr) return -1;
  DropRecord(bv);
  return 0;
}

/* ---------------------------------------------------------------- resizers --------- */

KVELO_API BVEC* _LM_bv_resize_bloc(const char* caller, int context, BVEC* bv, int nb_ddl, int max_blocs,
                                   int line, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_resize_bloc", line, callerName, status);
  if (max_blocs < 0) LM_FAIL(op, 20, nullptr);
  if (bv == nullptr) return op.done(_LM_bv_get_bloc(caller, context, nb_ddl, max_blocs, line, callerName, op.st()));
  if (max_blocs <= bv->max_blocs) return op.done(bv);
  if (bv->type_stockage == kBloc) {
    // Both lists grow before the record changes; a second failure leaves the first list
    // longer than the capacity, which is harmless.
    IVEC* deb = _LM_iv_resize(caller, context, bv->deb_blocs, max_blocs, line, callerName, op.st());
    if (op.failed()) return Refuse(op, "_LM_bv_resize_bloc", __LINE__);
    bv->deb_blocs = deb;
    IVEC* fin = _LM_iv_resize(caller, context, bv->fin_blocs, max_blocs, line, callerName, op.st());
    if (op.failed()) return Refuse(op, "_LM_bv_resize_bloc", __LINE__);
    bv->fin_blocs = fin;
  } else if (bv->type_stockage == kIvec) {
    IVEC* code = _LM_iv_resize(caller, context, bv->code, max_blocs, line, callerName, op.st());
    if (op.failed()) return Refuse(op, "_LM_bv_resize_bloc", __LINE__);
    bv->code = code;
  } else {
    // Other kinds have no run list: their capacity field means something else.
    return op.done(bv);
  }
  bv->max_blocs = max_blocs;
  return op.done(bv);
}

KVELO_API BVEC* _LM_bv_resize_codage(const char* caller, int context, BVEC* bv, int nb_ddl, int line,
                                     const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_resize_codage", line, callerName, status);
  if (nb_ddl <= 0) {
    Trace("_LM_bv_resize_codage", __LINE__);
    return nullptr;
  }
  if (bv == nullptr) return op.done(_LM_bv_get_codage(caller, context, nb_ddl, line, callerName, op.st()));
  if (bv->type_stockage != kCodage) return Refuse(op, "_LM_bv_resize_codage", __LINE__);
  const int words = WordCount(nb_ddl);
  if (words > bv->nb_blocs) {
    IVEC* code = _LM_iv_resize(caller, context, bv->code, words, line, callerName, op.st());
    if (op.failed()) return Refuse(op, "_LM_bv_resize_codage", __LINE__);
    bv->code = code;
    bv->nb_blocs = words;
  }
  bv->nb_ddl = nb_ddl;
  return op.done(bv);
}

/* ---------------------------------------------------------------- copies ----------- */

KVELO_API BVEC* _LM_bv_copy(BVEC* src, BVEC* dst, const char* /*callerName*/, int* status) {
  LmOp op(kFile, "_LM_bv_copy", __LINE__, "_LM_bv_copy", status);
  if (src == nullptr) return nullptr;
  if (src == dst) return op.done(dst);
  const char* tag = "_LM_bv_copy";
  const int kind = src->type_stockage;
  auto refuse = [&](int line) { return Refuse(op, "_LM_bv_copy", line); };
  switch (kind) {
    case kBloc: {
      if (dst != nullptr && dst->type_stockage != kBloc) return refuse(__LINE__);
      dst = _LM_bv_resize_bloc(tag, 0, dst, src->nb_ddl, src->max_blocs, __LINE__, tag, op.st());
      if (op.failed()) return refuse(__LINE__);
      dst->nb_ddl = src->nb_ddl;
      dst->nb_blocs = src->nb_blocs;
      if (src->nb_blocs > 0) {
        std::memcpy(dst->deb_blocs->ive, src->deb_blocs->ive, static_cast<size_t>(src->nb_blocs) * sizeof(int));
        std::memcpy(dst->fin_blocs->ive, src->fin_blocs->ive, static_cast<size_t>(src->nb_blocs) * sizeof(int));
      }
      return op.done(dst);
    }
    case kCodage: {
      if (dst != nullptr && dst->type_stockage != kCodage) return refuse(__LINE__);
      BVEC* made = nullptr;
      if (dst == nullptr) {
        dst = made = _LM_bv_get_codage(tag, 0, src->nb_ddl, __LINE__, tag, op.st());
        if (op.failed()) return refuse(__LINE__);
      }
      // Exactly the source's words, however many it has.
      IVEC* code = _LM_iv_resize(tag, 0, dst->code, src->nb_blocs, __LINE__, tag, op.st());
      if (op.failed()) {
        DropRecord(made);
        return refuse(__LINE__);
      }
      dst->code = code;
      dst->nb_ddl = src->nb_ddl;
      dst->nb_blocs = src->nb_blocs;
      if (src->nb_blocs > 0)
        std::memcpy(code->ive, src->code->ive, static_cast<size_t>(src->nb_blocs) * sizeof(int));
      return op.done(dst);
    }
    case kIvec:
    case kDirect: {
      if (dst != nullptr && dst->type_stockage != kind) {
        _LM_bv_free(dst);
        dst = nullptr;
      }
      BVEC* made = nullptr;
      if (dst == nullptr) {
        dst = made = kind == kIvec ? _LM_bv_get_ivec(tag, 0, src->nb_ddl, src->max_blocs, __LINE__, tag, op.st())
                                   : _LM_bv_get_direct(tag, 0, src->nb_ddl, __LINE__, tag, op.st());
        if (op.failed()) return refuse(__LINE__);
      }
      IVEC* code = _LM_iv_copy(src->code, dst->code, __LINE__, tag, op.st());
      if (op.failed()) {
        DropRecord(made);
        return refuse(__LINE__);
      }
      dst->code = code;
      dst->nb_ddl = src->nb_ddl;
      dst->nb_blocs = src->nb_blocs;
      dst->max_blocs = src->max_blocs;
      return op.done(dst);
    }
    case kTout: {
      if (dst != nullptr && dst->type_stockage != kTout) {
        _LM_bv_free(dst);
        dst = nullptr;
      }
      if (dst == nullptr) {
        dst = _LM_bv_get_tout(tag, 0, src->nb_ddl, __LINE__, tag, op.st());
        if (op.failed()) return refuse(__LINE__);
      }
      dst->nb_ddl = src->nb_ddl;
      return op.done(dst);
    }
    default:
      return op.done(dst);
  }
}

KVELO_API BVEC* _LM_bv_to_bv(BVEC* src, BVEC* dst, int kind, int* status) {
  LmOp op(kFile, "_LM_bv_to_bv", __LINE__, "_LM_bv_to_bv", status);
  if (src == nullptr) return nullptr;
  if (kind == src->type_stockage) return op.done(_LM_bv_copy(src, dst, "_LM_bv_to_bv", op.st()));
  if (dst != nullptr && BoundedKind(dst) && dst->nb_ddl < src->nb_ddl) return Refuse(op, "_LM_bv_to_bv", __LINE__);
  BVEC* made = nullptr;
  if (dst == nullptr) {
    dst = made = _LM_bv_get("_LM_bv_to_bv", 0, kind, src->nb_ddl, __LINE__, "_LM_bv_to_bv", op.st());
    if (op.failed()) return Refuse(op, "_LM_bv_to_bv", __LINE__);
  }
  bool ok = true;
  ForEach(src, true, [&](int e) {
    if (!ok) return;
    _LM_bv_insere(dst, e, op.st());
    ok = !op.failed();
  });
  if (!ok) {
    DropRecord(made);
    Trace("_LM_bv_to_bv", __LINE__);
    return nullptr;
  }
  return op.done(dst);
}

/* ---------------------------------------------------------------- elements --------- */

KVELO_API int _LM_bv_set_on(BVEC* bv, int i) {
  if (bv == nullptr || bv->type_stockage != kCodage || i < 0 || i >= bv->nb_ddl) return -1;
  SetWord(bv, WordOf(i), Word(bv, WordOf(i)) | (1u << BitOf(i)));
  return 0;
}

KVELO_API int _LM_bv_set_off(BVEC* bv, int i) {
  if (bv == nullptr || bv->type_stockage != kCodage || i < 0 || i >= bv->nb_ddl) return -1;
  SetWord(bv, WordOf(i), Word(bv, WordOf(i)) & ~(1u << BitOf(i)));
  return 0;
}

KVELO_API int _LM_bv_is_on(BVEC* bv, int i) {
  if (bv == nullptr) return 0;
  switch (bv->type_stockage) {
    case kBloc: {
      const int k = RunReaching(bv, i);
      return k < bv->nb_blocs && bv->deb_blocs->ive[k] <= i ? 1 : 0;
    }
    case kCodage:
      if (i < 0 || i >= bv->nb_ddl) return 0;
      return (Word(bv, WordOf(i)) >> BitOf(i)) & 1u ? 1 : 0;
    case kIvec: {
      const int k = ListReaching(bv, i);
      return k < bv->nb_blocs && bv->code->ive[k] == i ? 1 : 0;
    }
    case kDirect:
      if (i < 0 || i >= bv->max_blocs) return 0;
      return bv->code->ive[i];
    default:
      return -1;
  }
}

KVELO_API int _LM_bv_is_off(BVEC* bv, int i) { return _LM_bv_is_on(bv, i) == 0 ? 1 : 0; }

KVELO_API void _LM_bv_insere(BVEC* bv, int i, int* status) {
  LmOp op(kFile, "_LM_bv_insere", __LINE__, "_LM_bv_insere", status);
  auto refuse = [&](int line) { Refuse(op, "_LM_bv_insere", line); };
  if (bv == nullptr) return refuse(__LINE__);
  if (bv->type_stockage == kTout) return;
  if (i < 0) return refuse(__LINE__);
  // Runs and lists hold elements of the set only, as the packed kind does (its set_on
  // refuses the rest): an element at or beyond nb_ddl would be counted and written, and
  // the reader would then refuse the file. Only the direct kind grows its set.
  if ((bv->type_stockage == kBloc || bv->type_stockage == kIvec) && i >= bv->nb_ddl) return refuse(__LINE__);
  switch (bv->type_stockage) {
    case kBloc: {
      if (bv->nb_blocs > 0) {
        const int last = bv->nb_blocs - 1;
        const int l = bv->fin_blocs->ive[last];
        if (i <= l) return refuse(__LINE__);  // runs are only ever appended
        if (static_cast<long long>(i) == static_cast<long long>(l) + 1) {
          bv->fin_blocs->ive[last] = i;
          break;
        }
      }
      if (!EnsureRuns(bv, bv->nb_blocs + 1LL, 50, "_LM_bv_insere", op.st())) return refuse(__LINE__);
      bv->deb_blocs->ive[bv->nb_blocs] = i;
      bv->fin_blocs->ive[bv->nb_blocs] = i;
      ++bv->nb_blocs;
      break;
    }
    case kCodage: {
      const int rc = _LM_bv_set_on(bv, i);
      if (rc != 0) {
        *op.st() = rc;
        Trace("_LM_bv_insere", __LINE__);
      }
      return;
    }
    case kIvec: {
      // Ascending insertions append at once; others find their place by bisection.
      const int n = bv->nb_blocs;
      const int k = n == 0 || bv->code->ive[n - 1] < i ? n : ListReaching(bv, i);
      if (k < n && bv->code->ive[k] == i) break;
      // Doubling, and at least one more place for a list that had none.
      if (!EnsureRuns(bv, n + 1LL, n, "_LM_bv_insere", op.st())) return refuse(__LINE__);
      int* list = bv->code->ive;
      std::memmove(list + k + 1, list + k, static_cast<size_t>(bv->nb_blocs - k) * sizeof(int));
      list[k] = i;
      ++bv->nb_blocs;
      break;
    }
    case kDirect: {
      if (i >= bv->max_blocs) {
        // Doubling, or as far as i when doubling does not reach it.
        long long want = 2LL * bv->max_blocs;
        if (want <= i) want = static_cast<long long>(i) + 1;
        if (want > INT32_MAX) want = INT32_MAX;
        if (!GrowFlags(bv, static_cast<int>(want), op.st())) return refuse(__LINE__);
      }
      bv->code->ive[i] = 1;
      break;
    }
    default:
      return refuse(__LINE__);
  }
  op.done(0);
}

KVELO_API void _LM_bv_set_all_on(BVEC* bv, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_set_all_on", __LINE__, callerName, status);
  if (bv == nullptr) {
    op.raise(20, __LINE__);
    return;
  }
  switch (bv->type_stockage) {
    case kBloc:
      if (bv->nb_ddl <= 0) {
        bv->nb_blocs = 0;  // an empty set has no run
        break;
      }
      if (!EnsureRuns(bv, 1, 1, "_LM_bv_set_all_on", op.st())) {
        Trace("_LM_bv_set_all_on", __LINE__);
        return;
      }
      bv->deb_blocs->ive[0] = 0;
      bv->fin_blocs->ive[0] = bv->nb_ddl - 1;
      bv->nb_blocs = 1;
      break;
    case kCodage:
      for (int w = 0; w < bv->nb_blocs; ++w) SetWord(bv, w, 0xFFFFFFFFu);
      break;
    case kIvec:
      if (_LM_bv_resize_bloc("_LM_bv_set_all_on", 0, bv, bv->nb_ddl, bv->nb_ddl, __LINE__, callerName, op.st()) ==
          nullptr) {
        Trace("_LM_bv_set_all_on", __LINE__);
        return;
      }
      for (int k = 0; k < bv->nb_ddl; ++k) bv->code->ive[k] = k;
      bv->nb_blocs = bv->nb_ddl;
      break;
    case kDirect:
      for (int k = 0; k < bv->max_blocs; ++k) bv->code->ive[k] = 1;
      break;
    default:
      break;
  }
  op.done(0);
}

KVELO_API void _LM_bv_set_all_off(BVEC* bv, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_bv_set_all_off", __LINE__, callerName, status);
  if (bv == nullptr) {
    op.raise(20, __LINE__);
    return;
  }
  switch (bv->type_stockage) {
    case kBloc:
      _LM_iv_zero(bv->deb_blocs, __LINE__, callerName, op.st());
      if (!op.failed()) _LM_iv_zero(bv->fin_blocs, __LINE__, callerName, op.st());
      if (op.failed()) {
        Trace("_LM_bv_set_all_off", __LINE__);
        return;
      }
      bv->nb_blocs = 0;
      break;
    case kCodage:
      _LM_iv_zero(bv->code, __LINE__, callerName, op.st());
      if (op.failed()) {
        Trace("_LM_bv_set_all_off", __LINE__);
        return;
      }
      break;
    case kIvec:
      bv->nb_blocs = 0;
      break;
    case kDirect:
      for (int k = 0; k < bv->max_blocs; ++k) bv->code->ive[k] = 0;
      break;
    case kTout:
      *op.st() = -1;  // every element is active by construction
      return;
    default:
      break;
  }
  op.done(0);
}

KVELO_API int _LM_bv_oppose(BVEC* bv) {
  if (bv == nullptr) return 0;
  switch (bv->type_stockage) {
    case kCodage:
      for (int w = 0; w < bv->nb_blocs; ++w) SetWord(bv, w, ~Word(bv, w));
      return 0;
    case kDirect:
      for (int k = 0; k < bv->max_blocs; ++k) bv->code->ive[k] = bv->code->ive[k] == 0 ? 1 : 0;
      return 0;
    case kBloc:
    case kIvec:
    case kTout:
      Trace("_LM_bv_oppose", __LINE__);
      return -1;
    default:
      return 0;
  }
}


KVELO_API int _LM_bv_set_to_on_segment(BVEC* bv, int first, int end) {
  return SetSegment(bv, first, end, true, "_LM_bv_set_to_on_segment");
}

KVELO_API int _LM_bv_set_to_off_segment(BVEC* bv, int first, int end) {
  return SetSegment(bv, first, end, false, "_LM_bv_set_to_off_segment");
}

/* ---------------------------------------------------------------- counts ----------- */

KVELO_API int _LM_bv_nb_on(BVEC* bv) {
  if (bv == nullptr) return 0;
  switch (bv->type_stockage) {
    case kBloc: {
      long long n = 0;
      for (int k = 0; k < bv->nb_blocs; ++k) {
        const long long len = bv->fin_blocs->ive[k] - RunStart(bv, k) + 1;
        if (len > 0) n += len;
      }
      return static_cast<int>(n);
    }
    case kCodage:
      // Only the elements of the set count, whatever bits lie beyond nb_ddl.
      return bv->nb_ddl > 0 ? CodageCount(bv, 0, bv->nb_ddl) : 0;
    case kIvec:
      return bv->nb_blocs;
    case kDirect: {
      int local = 0;
      return _LM_iv_sum(bv->code, __LINE__, "_LM_bv_nb_on", &local);
    }
    case kTout:
      return bv->nb_ddl;
    default:
      return 0;
  }
}

KVELO_API int _LM_bv_nb_off(BVEC* bv) {
  if (bv == nullptr) return 0;
  switch (bv->type_stockage) {
    case kBloc:
    case kCodage:
    case kIvec:
    case kDirect:
      return bv->nb_ddl - _LM_bv_nb_on(bv);
    default:
      return 0;
  }
}

KVELO_API int _LM_bv_nb_on_segment(BVEC* bv, int first, int end, int* status) {
  int local = 0;
  int* st = status != nullptr ? status : &local;
  if (bv == nullptr) {
    *st = 0;
    return 0;
  }
  const int kind = bv->type_stockage;
  if (kind == kIvec || kind == kDirect || kind == kTout) {
    *st = -1;
    Trace("_LM_bv_nb_on_segment", __LINE__);
    return -1;
  }
  if (kind != kBloc && kind != kCodage) return 0;
  *st = 0;
  // Elements outside the set are never active: the segment is cut to it.
  if (first < 0) first = 0;
  if (kind == kCodage && end > bv->nb_ddl) end = bv->nb_ddl;
  if (first >= end) return 0;
  if (kind == kCodage) return CodageCount(bv, first, end);
  long long n = 0;
  for (int k = 0; k < bv->nb_blocs; ++k) {
    long long lo = RunStart(bv, k);
    long long hi = bv->fin_blocs->ive[k];
    if (lo < first) lo = first;
    if (hi > end - 1) hi = end - 1;
    if (hi >= lo) n += hi - lo + 1;
  }
  return static_cast<int>(n);
}

KVELO_API int _LM_bv_ou_dans_bv(BVEC* bv, int i) {
  if (bv == nullptr) return -1;
  switch (bv->type_stockage) {
    case kBloc: {
      long long sum = 0;
      int k = 0;
      for (; k < bv->nb_blocs && bv->fin_blocs->ive[k] < i; ++k) {
        const long long len = bv->fin_blocs->ive[k] - RunStart(bv, k) + 1;
        if (len > 0) sum += len;
      }
      if (k >= bv->nb_blocs || bv->deb_blocs->ive[k] > i) return -1;
      return static_cast<int>(sum + i - RunStart(bv, k));
    }
    case kCodage:
      if (_LM_bv_is_on(bv, i) != 1) return -1;
      return i > 0 ? CodageCount(bv, 0, i) : 0;
    case kIvec: {
      const int k = ListReaching(bv, i);
      return k < bv->nb_blocs && bv->code->ive[k] == i ? k : -1;
    }
    case kDirect: {
      if (i < 0 || i >= bv->max_blocs || bv->code->ive[i] == 0) return -1;
      int n = 0;
      for (int k = 0; k < i; ++k) n += bv->code->ive[k];
      return n;
    }
    case kTout:
      return i;
    default:
      return -1;
  }
}

KVELO_API void _LM_bv_build_nb_active_bit_per_integer(BVEC* bv, IVEC* prefix) {
  if (bv == nullptr || prefix == nullptr || bv->type_stockage != kCodage) return;
  const int last = static_cast<int>(prefix->dim) - 1;
  for (int k = 0; k < last && k < bv->nb_blocs; ++k) prefix->ive[k + 1] = prefix->ive[k] + Bits(Word(bv, k));
}

KVELO_API int _LM_bv_ou_dans_bv_fast(BVEC* bv, int i, IVEC* prefix) {
  if (bv == nullptr || bv->type_stockage != kCodage) return _LM_bv_ou_dans_bv(bv, i);
  if (_LM_bv_is_on(bv, i) != 1) return -1;
  const int w = WordOf(i);
  // A prefix vector too short for word w cannot answer: count the words instead.
  if (prefix == nullptr || static_cast<long long>(prefix->dim) < static_cast<long long>(w) + 1)
    return _LM_bv_ou_dans_bv(bv, i);
  return prefix->ive[w] + Bits(Word(bv, w) & Mask(0, BitOf(i)));
}

/* ---------------------------------------------------------------- iteration -------- */

KVELO_API void _LM_bv_initialize(BVEC* bv) {
  if (bv == nullptr) return;
  bv->iter_num = 0;
  bv->iter_pos = 0;
}

KVELO_API int _LM_bv_on_suivant(BVEC* bv) {
  if (bv == nullptr) return -1;
  switch (bv->type_stockage) {
    case kBloc: {
      int k = bv->iter_num < 0 ? 0 : bv->iter_num;
      long long off = bv->iter_pos < 0 ? 0 : bv->iter_pos;
      while (k < bv->nb_blocs) {
        const long long deb = bv->deb_blocs->ive[k];
        const long long len = bv->fin_blocs->ive[k] - deb + 1;
        if (off < len) {
          bv->iter_num = k;
          bv->iter_pos = static_cast<int>(off + 1);
          return static_cast<int>(deb + off);
        }
        // The next run skips its first element when the previous run ended on it.
        off = k + 1 < bv->nb_blocs && bv->deb_blocs->ive[k + 1] == bv->fin_blocs->ive[k] ? 1 : 0;
        ++k;
      }
      bv->iter_num = k;
      bv->iter_pos = 0;
      return -1;
    }
    case kCodage:
      return CodageNext(bv, true);
    case kIvec:
      if (bv->iter_num < 0) bv->iter_num = 0;
      if (bv->iter_num >= bv->nb_blocs) return -1;
      return bv->code->ive[bv->iter_num++];
    case kDirect:
      return DirectNext(bv, 1);
    case kTout:
      if (bv->iter_pos < 0) bv->iter_pos = 0;
      if (bv->iter_pos >= bv->nb_ddl) return -1;
      return bv->iter_pos++;
    default:
      return -1;
  }
}

KVELO_API int _LM_bv_off_suivant(BVEC* bv) {
  if (bv == nullptr) return -1;
  switch (bv->type_stockage) {
    case kBloc: {
      int k = bv->iter_num < 0 ? 0 : bv->iter_num;
      long long c = bv->iter_pos < 0 ? 0 : bv->iter_pos;
      while (k < bv->nb_blocs) {
        if (c < bv->deb_blocs->ive[k]) {
          bv->iter_num = k;
          bv->iter_pos = static_cast<int>(c + 1);
          return static_cast<int>(c);
        }
        const long long after = static_cast<long long>(bv->fin_blocs->ive[k]) + 1;
        if (after > c) c = after;
        ++k;
      }
      bv->iter_num = k;
      if (c < bv->nb_ddl) {
        bv->iter_pos = static_cast<int>(c + 1);
        return static_cast<int>(c);
      }
      bv->iter_pos = bv->nb_ddl;
      return -1;
    }
    case kCodage:
      return CodageNext(bv, false);
    case kIvec: {
      // iter_num walks the list, iter_pos the candidate elements.
      int k = bv->iter_num < 0 ? 0 : bv->iter_num;
      int c = bv->iter_pos < 0 ? 0 : bv->iter_pos;
      while (c < bv->nb_ddl) {
        while (k < bv->nb_blocs && bv->code->ive[k] < c) ++k;
        if (k < bv->nb_blocs && bv->code->ive[k] == c) {
          ++c;
          continue;
        }
        bv->iter_num = k;
        bv->iter_pos = c + 1;
        return c;
      }
      bv->iter_num = k;
      bv->iter_pos = c;
      return -1;
    }
    case kDirect:
      return DirectNext(bv, 0);
    default:
      return -1;
  }
}

KVELO_API int _LM_bv_set_iterateur(BVEC* bv, int i, int* status) {
  int local = 0;
  int* st = status != nullptr ? status : &local;
  *st = 0;
  if (bv == nullptr) return -1;
  switch (bv->type_stockage) {
    case kBloc: {
      bv->iter_pos = 0;
      const int k = RunReaching(bv, i);
      bv->iter_num = k;
      if (k >= bv->nb_blocs) return -1;  // the iterator stays exhausted
      const int deb = bv->deb_blocs->ive[k];
      if (deb > i) return deb;
      bv->iter_pos = i - deb;
      return i;
    }
    case kCodage: {
      if (i < 0) i = 0;
      if (i >= bv->nb_ddl) {
        bv->iter_num = bv->nb_blocs;
        bv->iter_pos = 0;
        return -1;
      }
      // The walk from bit i on gives the first active element at or above i.
      bv->iter_num = WordOf(i);
      bv->iter_pos = BitOf(i);
      return CodageNext(bv, true);
    }
    case kIvec:
    case kDirect:
    case kTout:
      *st = -1;
      Trace("_LM_bv_set_iterateur", __LINE__);
      return -1;
    default:
      return -1;
  }
}

/* ---------------------------------------------------------------- conversions ------ */

KVELO_API IVEC* _LM_bv_to_ivec(BVEC* bv, IVEC* out, int* status) {
  LmOp op(kFile, "_LM_bv_to_ivec", __LINE__, "_LM_bv_to_ivec", status);
  if (bv == nullptr) return Refuse(op, "_LM_bv_to_ivec", __LINE__);
  const int n = bv->nb_ddl > 0 ? bv->nb_ddl : 0;
  if (out == nullptr || static_cast<long long>(out->dim) < n) {
    out = _LM_iv_resize("_LM_bv_to_ivec", 0, out, n, __LINE__, "_LM_bv_to_ivec", op.st());
    if (op.failed()) return Refuse(op, "_LM_bv_to_ivec", __LINE__);
  }
  ForEach(bv, true, [&](int e) {
    if (static_cast<unsigned>(e) < out->dim) out->ive[e] = 1;
  });
  return op.done(out);
}


KVELO_API IVEC* _LM_bv_on_to_ivec_compact(BVEC* bv, IVEC* out, int* status) {
  return Compact(bv, out, status, true, "_LM_bv_on_to_ivec_compact");
}

KVELO_API IVEC* _LM_bv_off_to_ivec_compact(BVEC* bv, IVEC* out, int* status) {
  return Compact(bv, out, status, false, "_LM_bv_off_to_ivec_compact");
}

KVELO_API int _LM_ivec_to_bv(IVEC* flags, int kind, BVEC** bv) {
  if (flags == nullptr || bv == nullptr) {
    Trace("_LM_ivec_to_bv", __LINE__);
    return -1;
  }
  int st = 0;
  if (*bv != nullptr && BoundedKind(*bv)) {
    // A flag beyond the given set would be refused part-way: refused before any insertion.
    for (unsigned k = flags->dim; k-- > 0;) {
      if (flags->ive[k] == 0) continue;
      if (static_cast<long long>(k) >= (*bv)->nb_ddl) {
        Trace("_LM_ivec_to_bv", __LINE__);
        return -1;
      }
      break;
    }
  }
  if (*bv == nullptr) {
    *bv = _LM_bv_get("_LM_ivec_to_bv", 0, kind, static_cast<int>(flags->dim), __LINE__, "_LM_ivec_to_bv", &st);
    if (st != 0) {
      Trace("_LM_ivec_to_bv", __LINE__);
      return st;
    }
  }
  _LM_bv_initialize(*bv);
  for (unsigned k = 0; k < flags->dim; ++k) {
    if (flags->ive[k] == 0) continue;
    _LM_bv_insere(*bv, static_cast<int>(k), &st);
    if (st != 0) {
      Trace("_LM_ivec_to_bv", __LINE__);
      return st;
    }
  }
  return 0;
}

/* ---------------------------------------------------------------- text ------------- */

KVELO_API void _LM_bv_print(FILE* fp, BVEC* bv) {
  if (bv == nullptr) return;
  if (fp == nullptr) fp = stdout;
  switch (bv->type_stockage) {
    case kBloc:
      std::fprintf(fp, "type_stockage = BLOC\n");
      std::fprintf(fp, "nb_blocs = %d\n", bv->nb_blocs);
      std::fprintf(fp, "max_blocs = %d\n", bv->max_blocs);
      std::fprintf(fp, "nb_ddl = %d\n", bv->nb_ddl);
      iv_foutput(fp, bv->deb_blocs);
      iv_foutput(fp, bv->fin_blocs);
      break;
    case kCodage:
    case kIvec:
      std::fprintf(fp, "type_stockage = %s\n", bv->type_stockage == kCodage ? "CODAGE" : "IVEC");
      std::fprintf(fp, "nb_blocs = %d\n", bv->nb_blocs);
      std::fprintf(fp, "nb_ddl = %d\n", bv->nb_ddl);
      iv_foutput(fp, bv->code);
      break;
    case kTout:
      std::fprintf(fp, "type_stockage = TOUT\n");
      std::fprintf(fp, "all elements are actives\n");
      break;
    default:
      break;
  }
}

KVELO_API int _LM_bv_on_print(BVEC* bv) {
  if (bv == nullptr) return -1;
  ForEach(bv, true, [](int e) { std::printf("ddl %d est actif\n", e); });
  return -1;
}

KVELO_API int _LM_bv_off_print(BVEC* bv) {
  if (bv == nullptr) return -1;
  ForEach(bv, false, [](int e) { std::printf("ddl %d est actif\n", e); });
  return -1;
}

}  // extern "C"
