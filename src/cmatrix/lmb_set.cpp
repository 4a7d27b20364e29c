// lmb_set.cpp: set operations between two bit vectors of one storage kind: intersection,
// union, removal of one set from another and addition of one set's complement, each in the
// kind's own representation (run merging, word logic, sorted merging, flag logic).
#include <algorithm>
#include <cstring>

#include "bvec.h"
#include "cmatrix/lm_status.h"
#include "cmatrix/lmb_internal.h"

using kvlm::LmOp;
using namespace kvbv;

namespace {

// The packed output has room for words words (its list grown, new words 0); false when the
// list cannot grow.
bool EnsureWords(BVEC* out, int words, const char* tag, int* status) {
  if (out->nb_blocs >= words) return true;
  IVEC* code = _LM_iv_resize(tag, 0, out->code, words, __LINE__, tag, status);
  if (code == nullptr) return false;
  out->code = code;
  out->nb_blocs = words;
  return true;
}

// Word k of a packed operand, 0 beyond its word list.
inline uint32_t WordOr0(const BVEC* bv, int k) { return k < bv->nb_blocs ? Word(bv, k) : 0u; }

// Word k of the packed output := f(word k of a, word k of b) for each of a's words (a word
// zero in both operands is left as it is); false when the output's list cannot grow.
template <class F>
bool CombineWords(const BVEC* a, const BVEC* b, BVEC* out, const char* tag, int* status, F f) {
  if (!EnsureWords(out, a->nb_blocs, tag, status)) return false;
  for (int k = 0; k < a->nb_blocs; ++k) {
    const uint32_t wa = Word(a, k), wb = WordOr0(b, k);
    if (wa == 0 && wb == 0) continue;
    SetWord(out, k, f(wa, wb));
  }
  return true;
}

// Appends the run [deb, fin] to a BLOC output, growing it by 50 runs when full.
bool AppendRun(BVEC* out, int deb, int fin, const char* tag, int* status) {
  if (!EnsureRuns(out, out->nb_blocs + 1LL, 50, tag, status)) return false;
  out->deb_blocs->ive[out->nb_blocs] = deb;
  out->fin_blocs->ive[out->nb_blocs] = fin;
  ++out->nb_blocs;
  return true;
}

// Removal (on: elements active in a become inactive in b) or completion (off: elements
// inactive in a become active in b).
BVEC* Transfer(BVEC* a, BVEC* b, const char* caller, int* status, bool removal, const char* name) {
  if (a == nullptr) return nullptr;
  LmOp op(kFile, name, __LINE__, name, status);
  auto refuse = [&](int line) { return Refuse(op, name, line); };
  switch (a->type_stockage) {
    case kCodage: {
      if (b != nullptr && b->type_stockage != kCodage) return refuse(__LINE__);
      if (a->nb_ddl <= 0) {
        // An empty set changes nothing.
        if (b == nullptr) b = _LM_bv_get_codage(caller, 0, 0, __LINE__, name, op.st());
        return op.failed() ? refuse(__LINE__) : op.done(b);
      }
      const bool fresh = b == nullptr;
      b = _LM_bv_resize_codage(caller, 0, b, a->nb_ddl, __LINE__, name, op.st());
      if (b == nullptr || op.failed()) return refuse(__LINE__);
      BVEC* made = fresh ? b : nullptr;
      bool ok = true;
      ForEach(a, removal, [&](int e) {
        if (ok) ok = (removal ? _LM_bv_set_off(b, e) : _LM_bv_set_on(b, e)) == 0;
      });
      if (!ok) {
        _LM_bv_free(made);
        return refuse(__LINE__);
      }
      return op.done(b);
    }
    case kDirect: {
      if (b == nullptr || b->type_stockage != kDirect || b->max_blocs < a->nb_ddl || a->max_blocs < a->nb_ddl)
        return refuse(__LINE__);
      for (int k = 0; k < a->nb_ddl; ++k) {
        if (removal && a->code->ive[k] == 1) b->code->ive[k] = 0;
        if (!removal && a->code->ive[k] == 0) b->code->ive[k] = 1;
      }
      return op.done(b);
    }
    case kBloc:
    case kIvec:
    case kTout:
      return refuse(__LINE__);
    default:
      return op.done(b);
  }
}

}  // namespace

extern "C" {

KVELO_API BVEC* _LM_bv_inter_bloc(BVEC* a, BVEC* b, BVEC* out, int* status) {
  LmOp op(kFile, "_LM_bv_inter_bloc", __LINE__, "_LM_bv_inter_bloc", status);
  auto refuse = [&](int line) { return Refuse(op, "_LM_bv_inter_bloc", line); };
  if (a == nullptr || b == nullptr || a->type_stockage != kBloc || b->type_stockage != kBloc)
    return refuse(__LINE__);
  // The common elements are a's: an output over fewer elements would refuse some part-way.
  if (out != nullptr && BoundedKind(out) && out->nb_ddl < a->nb_ddl) return refuse(__LINE__);
  BVEC* made = nullptr;
  if (out == nullptr) {
    out = made = _LM_bv_get("_LM_bv_inter_bloc", 0, kBloc, a->nb_ddl, __LINE__, "_LM_bv_inter_bloc", op.st());
    if (op.failed()) return refuse(__LINE__);
  }
  const int* da = a->deb_blocs->ive;
  const int* fa = a->fin_blocs->ive;
  const int* db = b->deb_blocs->ive;
  const int* fb = b->fin_blocs->ive;
  int i = 0, j = 0;
  long long next = INT32_MIN;  // runs sharing a boundary give its element once
  while (i < a->nb_blocs && j < b->nb_blocs) {
    while (j < b->nb_blocs && fb[j] < da[i]) ++j;
    if (j >= b->nb_blocs) break;
    while (i < a->nb_blocs && fa[i] < db[j]) ++i;
    if (i >= a->nb_blocs) break;
    long long lo = da[i] > db[j] ? da[i] : db[j];
    const long long hi = fa[i] < fb[j] ? fa[i] : fb[j];
    if (lo < next) lo = next;
    for (long long e = lo; e <= hi; ++e) {
      _LM_bv_insere(out, static_cast<int>(e), op.st());
      if (op.failed()) {
        _LM_bv_free(made);
        return refuse(__LINE__);
      }
      next = e + 1;
    }
    if (fa[i] <= fb[j]) {
      ++i;
    } else {
      ++j;
    }
  }
  return op.done(out);
}

KVELO_API BVEC* _LM_bv_inter_codage(BVEC* a, BVEC* b, BVEC* out, int* status) {
  LmOp op(kFile, "_LM_bv_inter_codage", __LINE__, "_LM_bv_inter_codage", status);
  auto refuse = [&](int line) { return Refuse(op, "_LM_bv_inter_codage", line); };
  if (a == nullptr || b == nullptr || a->nb_ddl != b->nb_ddl || a->type_stockage != kCodage ||
      b->type_stockage != kCodage || (out != nullptr && out->type_stockage != kCodage))
    return refuse(__LINE__);
  BVEC* made = nullptr;
  if (out == nullptr) {
    out = made = _LM_bv_get_codage("_LM_bv_inter_codage", 0, a->nb_ddl, __LINE__, "_LM_bv_inter_codage", op.st());
    if (op.failed()) return refuse(__LINE__);
  }
  if (!CombineWords(a, b, out, "_LM_bv_inter_codage", op.st(), [](uint32_t x, uint32_t y) { return x & y; })) {
    _LM_bv_free(made);
    return refuse(__LINE__);
  }
  return op.done(out);
}

KVELO_API BVEC* _LM_bv_inter_ivec(BVEC* a, BVEC* b, BVEC* out, int* status) {
  LmOp op(kFile, "_LM_bv_inter_ivec", __LINE__, "_LM_bv_inter_ivec", status);
  auto refuse = [&](int line) { return Refuse(op, "_LM_bv_inter_ivec", line); };
  if (a == nullptr && b == nullptr) return nullptr;
  if ((a != nullptr && a->type_stockage != kIvec) || (b != nullptr && b->type_stockage != kIvec) ||
      (out != nullptr && out->type_stockage != kIvec))
    return refuse(__LINE__);
  if (out != nullptr && out->nb_ddl < (a != nullptr ? a->nb_ddl : b->nb_ddl)) return refuse(__LINE__);
  // A missing operand is an empty list.
  const int na = a != nullptr ? a->nb_blocs : 0;
  const int nb = b != nullptr ? b->nb_blocs : 0;
  BVEC* made = nullptr;
  if (out == nullptr) {
    const int nb_ddl = a != nullptr ? a->nb_ddl : b->nb_ddl;
    out = made = _LM_bv_get_ivec("LM_iv_inter", 0, nb_ddl, na < nb ? na : nb, __LINE__, "_LM_bv_inter_ivec", op.st());
    if (op.failed()) return refuse(__LINE__);
  }
  out->nb_blocs = 0;
  // a's list is strictly ascending (as every list the library makes or reads): each entry of
  // b is looked up by bisection, not by a walk through the whole list.
  const int* listA = na > 0 ? a->code->ive : nullptr;
  for (int j = 0; j < nb; ++j) {
    const int e = b->code->ive[j];
    const int* at = std::lower_bound(listA, listA + na, e);
    if (at == listA + na || *at != e) continue;
    _LM_bv_insere(out, e, op.st());
    if (op.failed()) {
      _LM_bv_free(made);
      return refuse(__LINE__);
    }
  }
  return op.done(out);
}

KVELO_API BVEC* _LM_bv_inter_direct(BVEC* a, BVEC* b, BVEC* out, int* status) {
  LmOp op(kFile, "_LM_bv_inter_direct", __LINE__, "_LM_bv_inter_direct", status);
  auto refuse = [&](int line) { return Refuse(op, "_LM_bv_inter_direct", line); };
  if (a == nullptr || b == nullptr || a->nb_ddl != b->nb_ddl || a->type_stockage != kDirect ||
      b->type_stockage != kDirect || b->max_blocs < a->max_blocs)
    return refuse(__LINE__);
  if (out != nullptr && (out->type_stockage != kDirect || out->max_blocs < a->max_blocs)) return refuse(__LINE__);
  if (out == nullptr) {
    out = _LM_bv_get_direct("_LM_bv_inter_direct", 0, a->nb_ddl, __LINE__, "_LM_bv_inter_direct", op.st());
    if (op.failed()) return refuse(__LINE__);
  }
  for (int k = 0; k < a->max_blocs; ++k)
    if (a->code->ive[k] == 1 && b->code->ive[k] == 1) out->code->ive[k] = 1;
  return op.done(out);
}

KVELO_API BVEC* _LM_bv_inter(BVEC* a, BVEC* b, BVEC* out, int* status) {
  LmOp op(kFile, "_LM_bv_inter", __LINE__, "_LM_bv_inter", status);
  auto refuse = [&](int line) { return Refuse(op, "_LM_bv_inter", line); };
  if (a == nullptr || b == nullptr) return refuse(__LINE__);
  BVEC* r = nullptr;
  const int ka = a->type_stockage, kb = b->type_stockage;
  if (ka == kTout) {
    r = _LM_bv_copy(b, out, "_LM_bv_inter", op.st());
  } else if (kb == kTout) {
    r = _LM_bv_copy(a, out, "_LM_bv_inter", op.st());
  } else if (ka == kBloc && kb == kBloc) {
    r = _LM_bv_inter_bloc(a, b, out, op.st());
  } else if (ka == kCodage && kb == kCodage) {
    r = _LM_bv_inter_codage(a, b, out, op.st());
  } else if (ka == kIvec && kb == kIvec) {
    r = _LM_bv_inter_ivec(a, b, out, op.st());
  } else {
    return refuse(__LINE__);
  }
  if (r == nullptr || op.failed()) return refuse(__LINE__);
  return op.done(r);
}

KVELO_API BVEC* _LM_bv_union(BVEC* a, BVEC* b, BVEC* out, int* status) {
  int local = 0;
  int* st = status != nullptr ? status : &local;
  const char* tag = "LM_bv_union";
  auto refuse = [&](int line) -> BVEC* {
    if (*st == 0) *st = -1;
    Trace("_LM_bv_union", line);
    return nullptr;
  };
  if (a == nullptr || b == nullptr) return refuse(__LINE__);
  const int kind = a->type_stockage;
  if (kind != b->type_stockage || (kind != kTout && a->nb_ddl != b->nb_ddl) ||
      (out != nullptr && out->type_stockage != kind))
    return refuse(__LINE__);
  if (kind == kTout) {
    if (out != nullptr) return out;
    out = _LM_bv_get_tout(tag, 0, a->nb_ddl, __LINE__, tag, st);
    return out != nullptr ? out : refuse(__LINE__);
  }
  if (kind != kBloc && kind != kCodage && kind != kIvec && kind != kDirect) return refuse(__LINE__);
  if (kind == kDirect && (b->max_blocs < a->max_blocs || (out != nullptr && out->max_blocs < a->max_blocs)))
    return refuse(__LINE__);
  // Runs and list entries beyond the output's own set would be written (and the reader
  // refuse the file): the output must hold a's elements.
  if ((kind == kBloc || kind == kIvec) && out != nullptr && out->nb_ddl < a->nb_ddl) return refuse(__LINE__);
  BVEC* made = nullptr;
  if (out == nullptr) {
    const int both = a->nb_blocs + b->nb_blocs;
    switch (kind) {
      case kBloc:
        out = _LM_bv_get_bloc(tag, 0, a->nb_ddl, both, __LINE__, tag, st);
        break;
      case kCodage:
        out = _LM_bv_get_codage(tag, 0, a->nb_ddl, __LINE__, tag, st);
        break;
      case kIvec:
        out = _LM_bv_get_ivec(tag, 0, a->nb_ddl, both, __LINE__, tag, st);
        break;
      default:
        out = _LM_bv_get_direct(tag, 0, a->nb_ddl, __LINE__, tag, st);
        break;
    }
    if (out == nullptr) return refuse(__LINE__);
    made = out;
  }
  auto fail = [&](int line) -> BVEC* {
    _LM_bv_free(made);
    return refuse(line);
  };
  switch (kind) {
    case kDirect:
      for (int k = 0; k < a->max_blocs; ++k)
        if (a->code->ive[k] == 1 || b->code->ive[k] == 1) out->code->ive[k] = 1;
      break;
    case kCodage:
      if (!CombineWords(a, b, out, tag, st, [](uint32_t x, uint32_t y) { return x | y; })) return fail(__LINE__);
      break;
    case kIvec: {
      _LM_bv_initialize(a);
      _LM_bv_initialize(b);
      int x = _LM_bv_on_suivant(a), y = _LM_bv_on_suivant(b);
      while (x >= 0 || y >= 0) {
        int e;
        if (y < 0 || (x >= 0 && x < y)) {
          e = x;
          x = _LM_bv_on_suivant(a);
        } else if (x < 0 || y < x) {
          e = y;
          y = _LM_bv_on_suivant(b);
        } else {
          e = x;
          x = _LM_bv_on_suivant(a);
          y = _LM_bv_on_suivant(b);
        }
        _LM_bv_insere(out, e, st);
        if (*st != 0) return fail(__LINE__);
      }
      break;
    }
    case kBloc: {
      _LM_bv_initialize(a);
      _LM_bv_initialize(b);
      const int na = a->nb_blocs, nb = b->nb_blocs;
      int i = 0, j = 0;
      out->nb_blocs = 0;
      // Takes one run into the output: merged into the last output run when it starts at or
      // before its end, appended otherwise (runs that merely touch stay apart).
      auto take = [&](int deb, int fin) -> bool {
        if (out->nb_blocs == 0) return AppendRun(out, deb, fin, tag, st);
        int& last = out->fin_blocs->ive[out->nb_blocs - 1];
        if (deb <= last) {
          if (fin > last) last = fin;
          return true;
        }
        return AppendRun(out, deb, fin, tag, st);
      };
      while (i < na || j < nb) {
        const bool fromB = i >= na || (j < nb && b->deb_blocs->ive[j] <= a->deb_blocs->ive[i]);
        const BVEC* src = fromB ? b : a;
        int& k = fromB ? j : i;
        const int deb = src->deb_blocs->ive[k], fin = src->fin_blocs->ive[k];
        ++k;
        if (!take(deb, fin)) return fail(__LINE__);
      }
      break;
    }
    default:
      break;
  }
  return out;
}

KVELO_API BVEC* _LM_bv_on1_to_off2(BVEC* a, BVEC* b, const char* caller, int* status) {
  return Transfer(a, b, caller, status, true, "_LM_bv_on1_to_off2");
}

KVELO_API BVEC* _LM_bv_off1_to_on2(BVEC* a, BVEC* b, const char* caller, int* status) {
  return Transfer(a, b, caller, status, false, "_LM_bv_off1_to_on2");
}

}  // extern "C"
