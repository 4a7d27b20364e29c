// vmorse_window.cpp: the windowed Morse vector VECMW, whose index code spends two ints on a
// run of consecutive indices, so that runs go through the vector kernels in one call each:
// builders, conversions, copy, products and combinations, scatter and gather, block
// statistics, and its text and binary forms.
#include <cmath>
#include <cstring>

#include "bf.h"
#include "cmatrix/vmorse_internal.h"
#include "erreur.h"
#include "vmorse.h"

using kvlm::LmOp;
using kvms::kFile;

namespace {

// Calls f(start, length, offset of the first value) for each block of v in order. The walk
// ends at the end of the code or once nval values are used, whichever comes first, and never
// hands out a block whose values go beyond nval.
template <class F>
void ForEachBlock(const VECMW* v, F f) {
  int pos = 0, used = 0;
  if (v->lead == 1 && v->ncode >= 2) {
    const int len = v->code[1];
    if (len > v->nval) return;
    f(0, len, 0);
    used = len;
    pos = 2;
  }
  while (pos < v->ncode && used < v->nval) {
    const int e = v->code[pos];
    int start, len;
    if (e >= 0) {
      start = e;
      len = 1;
      pos += 1;
    } else {
      if (pos + 1 >= v->ncode) return;
      start = -e;
      len = v->code[pos + 1];
      pos += 2;
    }
    if (len < 0 || len > v->nval - used) return;
    f(start, len, used);
    used += len;
  }
}

// A code is accepted when its blocks are well formed, strictly ascending, inside 0 .. dim-1
// and describe exactly nval values: what the builders make, and what the decoders rely on.
bool CodeIsValid(int dim, int nval, int ncode, int lead, const int* code) {
  if (dim < 0 || nval < 0 || ncode < 0 || nval > dim || (lead != 0 && lead != 1)) return false;
  long long last = -1, count = 0;
  int pos = 0;
  if (lead == 1) {
    if (ncode < 2 || code[0] != 0 || code[1] < 1 || code[1] > dim) return false;
    last = code[1] - 1;
    count = code[1];
    pos = 2;
  }
  while (pos < ncode) {
    const long long e = code[pos];
    if (e >= 0) {
      if (e <= last || e >= dim) return false;
      last = e;
      ++count;
      pos += 1;
    } else {
      if (pos + 1 >= ncode) return false;
      const long long s = -e, len = code[pos + 1];
      if (s <= last || len < 1 || s + len > dim) return false;
      last = s + len - 1;
      count += len;
      pos += 2;
    }
  }
  return count == nval;
}

// One group of consecutive stored indices, written as a single or a run.
void PutGroup(int start, int len, int* code, int& pos, int& lead) {
  if (len >= 2) {
    if (start == 0) {
      lead = 1;
      code[pos++] = 0;
    } else {
      code[pos++] = -start;
    }
    code[pos++] = len;
  } else {
    code[pos++] = start;
  }
}

// Calls g(start, len) for each maximal group of consecutive significant entries of in.
template <class G>
void SignificantGroups(const VEC* in, double t, G g) {
  const int n = static_cast<int>(in->dim);
  int i = 0;
  while (i < n) {
    if (!kvms::Significant(in->ve[i], t)) {
      ++i;
      continue;
    }
    const int start = i;
    while (i < n && kvms::Significant(in->ve[i], t)) ++i;
    g(start, i - start);
  }
}

// New zero-filled record, or null.
VECMW* NewRecord(const char* tag) { return static_cast<VECMW*>(kvlm::Calloc(1, sizeof(VECMW), tag)); }

// The first and one past the last stored index of a vector with values.
void StoredRange(const VECMW* v, int* first, int* end) {
  bool any = false;
  ForEachBlock(v, [&](int start, int len, int) {
    if (!any) *first = start;
    any = true;
    *end = start + len;
  });
}

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- builders --------- */

KVELO_API VECMW* LM_vec2vecmw(VEC* in, int* status) {
  LmOp op(kFile, "LM_vec2vecmw", __LINE__, "LM_vec2vecmw", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  VECMW* r = NewRecord("LM_vec2vecmw");
  if (r == nullptr) LM_FAIL(op, 3, nullptr);
  if (in->dim == 0) return op.done(r);
  r->dim = static_cast<int>(in->dim);
  const double t = kvms::Threshold(in);
  int nval = 0, ncode = 0;
  SignificantGroups(in, t, [&](int, int len) {
    nval += len;
    ncode += len >= 2 ? 2 : 1;
  });
  if (nval == 0) return op.done(r);
  r->code = static_cast<int*>(kvlm::Calloc(static_cast<size_t>(ncode), sizeof(int), "LM_vec2vecmw"));
  r->val = static_cast<double*>(kvlm::Calloc(static_cast<size_t>(nval), sizeof(double), "LM_vec2vecmw"));
  if (r->code == nullptr || r->val == nullptr) {
    vecmw_free(r);
    LM_FAIL(op, 3, nullptr);
  }
  int pos = 0, k = 0;
  SignificantGroups(in, t, [&](int start, int len) {
    PutGroup(start, len, r->code, pos, r->lead);
    for (int i = 0; i < len; ++i) r->val[k++] = in->ve[start + i];
  });
  r->nval = nval;
  r->ncode = ncode;
  return op.done(r);
}

KVELO_API VECMW* LM_vecmp2vecmw(VECMP* in, int* status) {
  LmOp op(kFile, "LM_vecmp2vecmw", __LINE__, "LM_vecmp2vecmw", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  VECMW* r = NewRecord("LM_vecmp2vecmw");
  if (r == nullptr) LM_FAIL(op, 3, nullptr);
  r->dim = in->dim;
  r->nval = in->nnz > 0 ? in->nnz : 0;
  if (r->nval == 0) return op.done(r);
  auto groups = [&](auto g) {
    int k = 0;
    while (k < in->nnz) {
      const int start = k;
      while (k + 1 < in->nnz && in->idx[k + 1] == in->idx[k] + 1) ++k;
      ++k;
      g(in->idx[start], k - start);
    }
  };
  int ncode = 0;
  groups([&](int, int len) { ncode += len >= 2 ? 2 : 1; });
  r->code = static_cast<int*>(kvlm::Calloc(static_cast<size_t>(ncode), sizeof(int), "LM_vecmp2vecmw"));
  if (r->code == nullptr) {
    vecmw_free(r);
    LM_FAIL(op, 3, nullptr);
  }
  int pos = 0;
  groups([&](int start, int len) { PutGroup(start, len, r->code, pos, r->lead); });
  r->ncode = ncode;
  r->val = static_cast<double*>(kvlm::Calloc(static_cast<size_t>(r->nval), sizeof(double), "LM_vecmp2vecmw"));
  if (r->val == nullptr) {
    vecmw_free(r);
    LM_FAIL(op, 3, nullptr);
  }
  std::memcpy(r->val, in->val, static_cast<size_t>(r->nval) * sizeof(double));
  return op.done(r);
}

/* ---------------------------------------------------------------- conversions ------ */

KVELO_API VEC* LM_vecmw2vec(VECMW* in, VEC* out, int* status) {
  LmOp op(kFile, "LM_vecmw2vec", __LINE__, "LM_vecmw2vec", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  out = _LM_v_resize("LM_vecmw2vec", kvlm::lm_context, out, in->dim, __LINE__, "LM_vecmw2vec", op.st());
  LM_CHECK(op, nullptr);
  _LM_v_zero(out, __LINE__, "LM_vecmw2vec", op.st());
  LM_CHECK(op, nullptr);
  ForEachBlock(in, [&](int start, int len, int off) {
    std::memcpy(out->ve + start, in->val + off, static_cast<size_t>(len) * sizeof(double));
  });
  return op.done(out);
}

KVELO_API VECM* LM_vecmw2vecm(VECMW* in, int* status) {
  LmOp op(kFile, "LM_vecmw2vecm", __LINE__, "LM_vecmw2vecm", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  VECM* r = LM_vecm_get(in->dim, in->nval, op.st());
  if (op.failed()) {
    kvms::Trace(__LINE__);
    return nullptr;
  }
  int k = 0;
  ForEachBlock(in, [&](int start, int len, int off) {
    for (int i = 0; i < len; ++i, ++k) {
      r->pool[k].idx = start + i;
      r->pool[k].val = in->val[off + i];
    }
  });
  kvms::Chain(r, k);
  return op.done(r);
}

KVELO_API VECMW* LM_vecmw_copy(VECMW* in, VECMW* out, int* status) {
  LmOp op(kFile, "LM_vecmw_copy", __LINE__, "LM_vecmw_copy", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (in == out) return op.done(out);
  VECMW* fresh = nullptr;
  if (out == nullptr) {
    out = fresh = NewRecord("LM_vecmw_copy");
    if (out == nullptr) LM_FAIL(op, 3, nullptr);
  }
  // Both arrays are sized before any member changes, so a failure leaves out as it was; the
  // copies below fill them whole.
  if (in->ncode > 0) {
    void* c = kvlm::Realloc(out->code, static_cast<size_t>(in->ncode) * sizeof(int), "LM_vecmw_copy");
    if (c == nullptr) {
      vecmw_free(fresh);
      LM_FAIL(op, 3, nullptr);
    }
    out->code = static_cast<int*>(c);
  }
  if (in->nval > 0) {
    void* w = kvlm::Realloc(out->val, static_cast<size_t>(in->nval) * sizeof(double), "LM_vecmw_copy");
    if (w == nullptr) {
      vecmw_free(fresh);
      LM_FAIL(op, 3, nullptr);
    }
    out->val = static_cast<double*>(w);
  }
  out->dim = in->dim;
  out->nval = in->nval;
  out->ncode = in->ncode;
  out->lead = in->lead;
  if (in->ncode > 0) std::memcpy(out->code, in->code, static_cast<size_t>(in->ncode) * sizeof(int));
  if (in->nval > 0) std::memcpy(out->val, in->val, static_cast<size_t>(in->nval) * sizeof(double));
  return op.done(out);
}

KVELO_API int vecmw_free(VECMW* v) {
  if (v == nullptr) return -1;
  kvlm::Free(v->code);
  kvlm::Free(v->val);
  kvlm::Free(v);
  return 0;
}

/* ---------------------------------------------------------------- arithmetic ------- */

KVELO_API double LM_pscal_vvecmw(VEC* a, VECMW* b, int* status) {
  LmOp op(kFile, "LM_pscal_vvecmw", __LINE__, "LM_pscal_vvecmw", status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, 0.0);
  if (a->dim != static_cast<unsigned>(b->dim)) LM_FAIL(op, 1, 0.0);
  double sum = 0.0;
  ForEachBlock(b, [&](int start, int len, int off) {
    sum += len == 1 ? a->ve[start] * b->val[off] : __ip__(a->ve + start, b->val + off, len);
  });
  return op.done(kvms::DotInRange(sum, [&](auto f) {
    ForEachBlock(b, [&](int start, int len, int off) {
      for (int k = 0; k < len; ++k) f(a->ve[start + k], b->val[off + k]);
    });
  }));
}

KVELO_API double LM_vecmw_norm2(VECMW* v, int* status) {
  LmOp op(kFile, "LM_vecmw_norm2", __LINE__, "LM_vecmw_norm2", status);
  if (v == nullptr) LM_FAIL(op, 8, -1.0);
  // One dot product in the common case; a sum that overflowed or lost digits to underflow is
  // taken again with a running scale.
  const int n = v->nval > 0 ? v->nval : 0;
  return op.done(kvlm::SafeNorm2(__ip__(v->val, v->val, n), static_cast<uint64_t>(n),
                                 [&](kvlm::ScaledSquares& acc) {
                                   for (int k = 0; k < n; ++k) acc.Add(v->val[k]);
                                 }));
}

KVELO_API VEC* _LM_vvecmw_mltadd2(int accumulate, VEC* a, VECMW* b, double s, VEC* out,
                                  int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_vvecmw_mltadd", callerLine, callerName, status);
  if (a == nullptr || b == nullptr) {
    op.raise(8, __LINE__);
    kvms::Trace(__LINE__);
    return nullptr;
  }
  if (a->dim != static_cast<unsigned>(b->dim)) {
    op.raise(1, __LINE__);
    kvms::Trace(__LINE__);
    return nullptr;
  }
  // a + 0 b is a copy of a; without accumulation a zero s still puts 0 s times the values at
  // the stored places, so only the accumulating form may stop at the copy.
  if ((accumulate && s == 0.0) || b->nval <= 0)
    return op.done(_LM__v_copy(a, out, 0, callerLine, callerName, op.st()));
  out = _LM__v_copy(a, out, 0, callerLine, callerName, op.st());
  if (op.failed()) {
    fct_Trace("_LM_vvecmw_mltadd", __LINE__, kFile);
    return nullptr;
  }
  ForEachBlock(b, [&](int start, int len, int off) {
    if (accumulate) {
      if (len == 1) {
        out->ve[start] += s * b->val[off];
      } else {
        __mltadd__(out->ve + start, b->val + off, s, len);
      }
    } else {
      __smlt__(b->val + off, s, out->ve + start, len);
    }
  });
  return op.done(out);
}

KVELO_API VEC* _LM_vvecmw_mltadd(VEC* a, VECMW* b, double s, VEC* out, int callerLine,
                                 const char* callerName, int* status) {
  return _LM_vvecmw_mltadd2(1, a, b, s, out, callerLine, callerName, status);
}

KVELO_API VEC* _LM_vvecmw_daxpy_idx(IVEC* list, VECMW* x, int accumulate, double s, VEC* out,
                                    int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_vvecmw_daxpy_idx", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  // A gather writes one place per list entry: out also holds the list's length.
  out = kvms::GatherOut(op, "_LM_vvecmw_daxpy_idx", x->dim, list, out);
  if (out == nullptr) return nullptr;
  if (list == nullptr) {
    // out := s x clears out even when x stores nothing.
    if (!accumulate) {
      _LM_v_zero(out, callerLine, callerName, op.st());
      if (op.failed()) {
        fct_Trace("_LM_vvecmw_daxpy_idx", __LINE__, kFile);
        return nullptr;
      }
    }
    if (x->nval <= 0) return op.done(out);
    // out = s x over a cleared out, or out + s x: the stored places take s times the values
    // in both cases, as the packed scatter does.
    _LM_vvecmw_mltadd2(accumulate, out, x, s, out, callerLine, callerName, op.st());
    if (op.failed()) {
      fct_Trace("_LM_vvecmw_daxpy_idx", __LINE__, kFile);
      return nullptr;
    }
    return op.done(out);
  }
  if (x->nval <= 0) return op.done(out);
  const int m = static_cast<int>(list->dim);
  if (m == 0) return op.done(out);
  int first = 0, end = 0;
  StoredRange(x, &first, &end);
  // Ranges that do not meet gather nothing; ranges that touch at one index gather it.
  if (list->ive[m - 1] < first || list->ive[0] >= end) return op.done(out);
  int i = 0;
  ForEachBlock(x, [&](int start, int len, int off) {
    if (i >= m || start > list->ive[m - 1]) return;
    while (i < m && list->ive[i] < start) ++i;
    while (i < m && list->ive[i] < start + len) {
      const double term = s * x->val[off + (list->ive[i] - start)];
      out->ve[i] = accumulate ? out->ve[i] + term : term;
      ++i;
    }
  });
  return op.done(out);
}

/* ---------------------------------------------------------------- statistics ------- */

KVELO_API double LM_vecmw_sizebloc(VECMW* v, int* status) {
  LmOp op(kFile, "LM_vecmw_sizebloc", __LINE__, "LM_vecmw_sizebloc", status);
  if (v == nullptr) LM_FAIL(op, 8, 0.0);
  if (v->nval <= 0) return op.done(0.0);
  double values = 0.0, blocks = 0.0;
  ForEachBlock(v, [&](int, int len, int) {
    values += len;
    blocks += 1.0;
  });
  return op.done(blocks > 0.0 ? values / blocks : 0.0);
}

KVELO_API double LM_v_RatioBloc(VEC* v, double* meanBlock, int* status) {
  LmOp op(kFile, "LM_v_RatioBloc", __LINE__, "LM_v_RatioBloc", status);
  if (v == nullptr) LM_FAIL(op, 8, 0.0);
  if (v->dim == 0) return op.done(1.0);
  const double t = kvms::Threshold(v);
  if (meanBlock != nullptr) *meanBlock = 0.0;
  // K significant entries, R of them in runs, C code entries of the windowed form.
  long long K = 0, R = 0, C = 0;
  SignificantGroups(v, t, [&](int, int len) {
    K += len;
    if (len >= 2) R += len;
    C += len >= 2 ? 2 : 1;
  });
  if (C > 0 && meanBlock != nullptr) *meanBlock = static_cast<double>(K) / static_cast<double>(C);
  return op.done(K == 0 ? 1.0 : static_cast<double>(R) / static_cast<double>(K));
}

/* ---------------------------------------------------------------- text and binary -- */

KVELO_API void vecmw_output(VECMW* v, FILE* fp) {
  kvms::PrintSparse(v, fp, "Morse Window Vector :", false, [&](FILE* out) {
    ForEachBlock(v, [&](int start, int len, int off) {
      for (int i = 0; i < len; ++i) std::fprintf(out, "[%d] : %g\n", start + i, v->val[off + i]);
    });
  });
}

KVELO_API void vecmw_boutput(FILE* fp, VECMW* v, int* status) {
  int local = 0;
  int* st = status != nullptr ? status : &local;
  if (fp == nullptr || v == nullptr || v->dim <= 0) {
    kvms::Trace(__LINE__);
    *st = -1;
    return;
  }
  const int head[4] = {v->dim, v->nval, v->ncode, v->lead};
  *st = BF_fwrite_int(fp, head, 4);
  if (*st == 0 && v->ncode > 0) *st = BF_fwrite_int(fp, v->code, v->ncode);
  if (*st == 0 && v->nval > 0) *st = BF_fwrite_double(fp, v->val, v->nval);
  if (*st != 0) {
    kvms::Trace(__LINE__);
    return;
  }
  if (kvms::FlushOrReport(fp, __LINE__) != 0) *st = -1;
}

KVELO_API VECMW* LM_vecmw_binput(FILE* fp, VECMW* reuse, int* status) {
  // This reader leaves the status word as it finds it unless it raises a code.
  int local = 0;
  int* st = status != nullptr ? status : &local;
  *st = 0;
  auto fail = [&](int line, int code) -> VECMW* {
    if (code != 0) {
      _LM_error(kFile, code, line, "LM_vecmw_binput", 0, line, "LM_vecmw_binput");
    } else {
      kvms::Trace(line);
    }
    *st = -1;
    return nullptr;
  };
  if (fp == nullptr) return fail(__LINE__, 0);
  int head[4];
  if (BF_fread_int(fp, head, 4) != 0) return fail(__LINE__, 0);
  const int dim = head[0], nval = head[1], ncode = head[2], lead = head[3];
  if (dim < 0) return fail(__LINE__, 20);
  // Every block of a valid code holds at least one value in at most two code entries.
  if (nval < 0 || ncode < 0 || nval > dim || (lead != 0 && lead != 1) || ncode > 2LL * nval)
    return fail(__LINE__, 2);
  if (!kvms::FileHolds(fp, 4LL * ncode + 8LL * nval)) return fail(__LINE__, 0);
  // Both arrays grow as their values arrive and are installed only once all are read and the
  // code is valid.
  kvms::ArrivingBlock<int> codeIn(static_cast<size_t>(ncode), "LM_vecmw_binput");
  kvms::ArrivingBlock<double> valIn(static_cast<size_t>(nval), "LM_vecmw_binput");
  kvms::Arrival got = kvms::ReadArriving(fp, codeIn, static_cast<size_t>(ncode), BF_fread_int);
  if (got == kvms::Arrival::kOk)
    got = kvms::ReadArriving(fp, valIn, static_cast<size_t>(nval), BF_fread_double);
  if (got == kvms::Arrival::kNoMemory) return fail(__LINE__, 3);
  if (got == kvms::Arrival::kShort) return fail(__LINE__, 0);
  if (!CodeIsValid(dim, nval, ncode, lead, codeIn.data())) return fail(__LINE__, 2);
  int* code = codeIn.Take();
  double* val = valIn.Take();
  auto drop = [&] {
    kvlm::Free(code);
    kvlm::Free(val);
  };
  if (code == nullptr || val == nullptr) {
    drop();
    return fail(__LINE__, 3);
  }
  VECMW* v = reuse;
  if (v == nullptr) {
    v = NewRecord("LM_vecmw_binput");
    if (v == nullptr) {
      drop();
      return fail(__LINE__, 3);
    }
  } else {
    kvlm::Free(v->code);
    kvlm::Free(v->val);
  }
  v->code = code;
  v->val = val;
  v->dim = dim;
  v->nval = nval;
  v->ncode = ncode;
  v->lead = lead;
  return v;
}

}  // extern "C"
