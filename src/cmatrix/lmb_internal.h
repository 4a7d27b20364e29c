// lmb_internal.h: what the bit-vector sources share: the storage kinds, word arithmetic of
// the packed kind, the record's allocation and accounting, and the trace of refusals.
#ifndef KVELO_CMATRIX_LMB_INTERNAL_H
#define KVELO_CMATRIX_LMB_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "bvec.h"
#include "cmatrix/lm_status.h"
#include "erreur.h"

namespace kvbv {

enum Kind { kBloc = 1, kCodage = 2, kIvec = 3, kDirect = 4, kTout = 5 };

// Source base name of the error reports and trace marks.
extern const char kFile[];

// Trace mark of a refusal, keyed with the operation's name.
inline int Trace(const char* op, int line) { return fct_Trace(op, line, kFile); }

// Ends an operation refused without a code of its own: status -1 (unless an inner call left
// its failure there already), trace mark under the operation's name, NULL (of any record).
inline std::nullptr_t Refuse(kvlm::LmOp& op, const char* name, int line) {
  if (!op.failed()) *op.st() = -1;
  Trace(name, line);
  return nullptr;
}

// Kinds whose element count bounds what they hold (runs, words, list): an element at or
// beyond nb_ddl is refused by their insertion, so an operation filling a supplied one over
// fewer elements than its source refuses it before writing.
inline bool BoundedKind(const BVEC* bv) {
  return bv->type_stockage == kBloc || bv->type_stockage == kCodage || bv->type_stockage == kIvec;
}

// Number of 1 bits of a word, four byte-table reads.
int Bits(uint32_t w);

// Word and bit of element i of the packed kind (the word by the double product, truncated).
inline int WordOf(int i) { return static_cast<int>(i * 0.03125); }
inline int BitOf(int i) { return i % 32; }
// Words of a packed kind over n elements: n / 32 + 1.
inline int WordCount(int n) { return n / 32 + 1; }

inline uint32_t Word(const BVEC* bv, int w) { return static_cast<uint32_t>(bv->code->ive[w]); }
inline void SetWord(BVEC* bv, int w, uint32_t v) { bv->code->ive[w] = static_cast<int>(v); }
// Bits lo .. hi-1 of a word set (0 <= lo <= hi <= 32).
inline uint32_t Mask(int lo, int hi) {
  return static_cast<uint32_t>((uint64_t{1} << hi) - (uint64_t{1} << lo));
}

// A new zeroed record of kind with nb_ddl elements, counted as a BVEC; null when memory is
// short (nothing raised).
BVEC* NewRecord(const char* caller, int context, int kind, int nb_ddl);
// Frees a record made by NewRecord (its lists too), taking it off the accounting.
void DropRecord(BVEC* bv);

// The run lists of a BLOC bit vector (the list of an IVEC one) have room for at least need
// entries (growing to nb_blocs + step, or to need when that is more); false with the status
// -1 when they cannot grow.
bool EnsureRuns(BVEC* bv, long long need, int step, const char* caller, int* status);

// Calls f(e) for the active elements (on) or the inactive ones, ascending, from a reset
// iterator.
template <class F>
void ForEach(BVEC* bv, bool on, F f) {
  _LM_bv_initialize(bv);
  for (int e = on ? _LM_bv_on_suivant(bv) : _LM_bv_off_suivant(bv); e >= 0;
       e = on ? _LM_bv_on_suivant(bv) : _LM_bv_off_suivant(bv))
    f(e);
}

}  // namespace kvbv

#endif
