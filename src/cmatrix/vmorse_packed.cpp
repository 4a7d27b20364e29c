// vmorse_packed.cpp: the packed Morse vector VECMP (ascending indices beside their values):
// creation, copy, conversions with dense vectors and VECM, inner product, norm, combinations,
// scatter and gather through an index list, and its text and binary forms.
#include <cmath>
#include <cstring>

#include "bf.h"
#include "cmatrix/vmorse_internal.h"
#include "erreur.h"
#include "vmorse.h"

using kvlm::LmOp;
using kvms::kFile;

namespace {

// The two arrays of a packed vector with room for max(n, 1) entries, or false.
bool NewArrays(int n, int** idx, double** val, const char* tag) {
  const size_t slots = n > 1 ? static_cast<size_t>(n) : 1u;
  *idx = static_cast<int*>(kvlm::Calloc(slots, sizeof(int), tag));
  *val = static_cast<double*>(kvlm::Calloc(slots, sizeof(double), tag));
  if (*idx != nullptr && *val != nullptr) return true;
  kvlm::Free(*idx);
  kvlm::Free(*val);
  *idx = nullptr;
  *val = nullptr;
  return false;
}

// True when the n indices are strictly ascending and below dim.
bool AscendingBelow(const int* idx, int n, int dim) {
  int last = -1;
  for (int k = 0; k < n; ++k) {
    if (idx[k] <= last || idx[k] >= dim) return false;
    last = idx[k];
  }
  return true;
}

}  // namespace

extern "C" {

KVELO_API VECMP* LM_vecmp_get(int dim, int nnz, int* status) {
  LmOp op(kFile, "LM_vecmp_get", __LINE__, "LM_vecmp_get", status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  if (nnz < 0 || nnz > dim) LM_FAIL(op, 2, nullptr);
  VECMP* v = static_cast<VECMP*>(kvlm::Calloc(1, sizeof(VECMP), "LM_vecmp_get"));
  if (v == nullptr) LM_FAIL(op, 3, nullptr);
  if (!NewArrays(nnz, &v->idx, &v->val, "LM_vecmp_get")) {
    kvlm::Free(v);
    LM_FAIL(op, 3, nullptr);
  }
  v->dim = dim;
  v->nnz = nnz;
  return op.done(v);
}

KVELO_API int vecmp_free(VECMP* v) {
  if (v == nullptr) return -1;
  kvlm::Free(v->idx);
  kvlm::Free(v->val);
  kvlm::Free(v);
  return 0;
}

KVELO_API VECMP* LM_vecmp_copy(VECMP* in, VECMP* out, int* status) {
  LmOp op(kFile, "LM_vecmp_copy", __LINE__, "LM_vecmp_copy", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (in == out) return op.done(out);
  if (out == nullptr) {
    out = LM_vecmp_get(in->dim, in->nnz, op.st());
    LM_CHECK(op, nullptr);
  } else {
    // Both arrays are made to measure before anything of out changes.
    int* idx = nullptr;
    double* val = nullptr;
    if (!NewArrays(in->nnz, &idx, &val, "LM_vecmp_copy")) LM_FAIL(op, 3, nullptr);
    kvlm::Free(out->idx);
    kvlm::Free(out->val);
    out->idx = idx;
    out->val = val;
    out->dim = in->dim;
    out->nnz = in->nnz;
  }
  if (in->nnz > 0) {
    std::memcpy(out->idx, in->idx, static_cast<size_t>(in->nnz) * sizeof(int));
    std::memcpy(out->val, in->val, static_cast<size_t>(in->nnz) * sizeof(double));
  }
  return op.done(out);
}

KVELO_API VECMP* LM_vec2vecmp(VEC* in, int* status) {
  LmOp op(kFile, "LM_vec2vecmp", __LINE__, "LM_vec2vecmp", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  const double t = kvms::Threshold(in);
  const int count = kvms::CountSignificant(in, t);
  VECMP* v = LM_vecmp_get(static_cast<int>(in->dim), count, op.st());
  if (op.failed()) {
    kvms::Trace(__LINE__);
    return nullptr;
  }
  int k = 0;
  for (unsigned i = 0; i < in->dim; ++i) {
    if (kvms::Significant(in->ve[i], t)) {
      v->idx[k] = static_cast<int>(i);
      v->val[k] = in->ve[i];
      ++k;
    }
  }
  return op.done(v);
}

KVELO_API void BT_fill_pack(VECM_NODE* node, int* idx, double* val, int* count) {
  if (node == nullptr || count == nullptr) return;
  kvms::WalkInOrder(node, [&](VECM_NODE* n) {
    idx[*count] = n->idx;
    val[*count] = n->val;
    ++*count;
    return true;
  });
}

KVELO_API VECMP* LM_vecm2vecmp(VECM* in, int* status) {
  LmOp op(kFile, "LM_vecm2vecmp", __LINE__, "LM_vecm2vecmp", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  VECMP* r = LM_vecmp_get(in->dim, in->nnz, op.st());
  if (op.failed()) {
    kvms::Trace(__LINE__);
    return nullptr;
  }
  // The walk stops at nnz entries, so a tree that holds more cannot write past the arrays.
  int count = 0;
  bool fits = kvms::WalkInOrder(in->root, [&](VECM_NODE* n) {
    if (count == in->nnz) return false;
    r->idx[count] = n->idx;
    r->val[count] = n->val;
    ++count;
    return true;
  });
  if (!fits || count != in->nnz) {
    vecmp_free(r);
    LM_FAIL(op, 2, nullptr);
  }
  return op.done(r);
}

KVELO_API VECM* LM_vecmp2vecm(VECMP* in, int* status) {
  LmOp op(kFile, "LM_vecmp2vecm", __LINE__, "LM_vecmp2vecm", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  VECM* r = LM_vecm_get(in->dim, in->nnz, op.st());
  if (op.failed()) {
    kvms::Trace(__LINE__);
    return nullptr;
  }
  if (AscendingBelow(in->idx, in->nnz, in->dim)) {
    // Ascending insertions build one chain of right links: made directly, in one pass.
    for (int k = 0; k < in->nnz; ++k) {
      r->pool[k].idx = in->idx[k];
      r->pool[k].val = in->val[k];
    }
    kvms::Chain(r, in->nnz);
    return op.done(r);
  }
  for (int k = 0; k < in->nnz; ++k) {
    const int rc = LM_vecm_addval(r, in->idx[k], in->val[k], 0);
    if (rc != 0) {
      *op.st() = rc;
      kvms::Trace(__LINE__);
      vecm_free(r);
      return nullptr;
    }
  }
  return op.done(r);
}

KVELO_API double LM_pscal_vvecmp(VEC* a, VECMP* b, int* status) {
  LmOp op(kFile, "LM_pscal_vvecmp", __LINE__, "LM_pscal_vvecmp", status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, 0.0);
  if (a->dim != static_cast<unsigned>(b->dim)) LM_FAIL(op, 1, 0.0);
  auto pairs = [&](auto f) {
    for (int k = 0; k < b->nnz; ++k) f(a->ve[b->idx[k]], b->val[k]);
  };
  double sum = 0.0;
  pairs([&](double x, double y) { sum += x * y; });
  return op.done(kvms::DotInRange(sum, pairs));
}

KVELO_API double LM_vecmp_norm2(VECMP* v, int* status) {
  LmOp op(kFile, "LM_vecmp_norm2", __LINE__, "LM_vecmp_norm2", status);
  if (v == nullptr) LM_FAIL(op, 8, -1.0);
  double ss = 0.0;
  for (int k = 0; k < v->nnz; ++k) ss += v->val[k] * v->val[k];
  // A sum that overflowed or lost digits to underflow is taken again with a running scale.
  const int n = v->nnz > 0 ? v->nnz : 0;
  return op.done(kvlm::SafeNorm2(ss, static_cast<uint64_t>(n), [&](kvlm::ScaledSquares& acc) {
    for (int k = 0; k < n; ++k) acc.Add(v->val[k]);
  }));
}

KVELO_API VEC* _LM_vvecmp_mltadd(VEC* a, VECMP* b, double s, VEC* out, int callerLine,
                                 const char* callerName, int* status) {
  LmOp op(kFile, "LM_vvecmp_mltadd", callerLine, callerName, status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  if (a->dim != static_cast<unsigned>(b->dim)) LM_FAIL(op, 1, nullptr);
  if (s == 0.0 || b->nnz == 0) return op.done(_LM__v_copy(a, out, 0, callerLine, callerName, op.st()));
  out = _LM__v_copy(a, out, 0, callerLine, callerName, op.st());
  if (op.failed()) {
    fct_Trace("LM_vvecmp_mltadd", __LINE__, kFile);
    return nullptr;
  }
  for (int k = 0; k < b->nnz; ++k) out->ve[b->idx[k]] += s * b->val[k];
  return op.done(out);
}

KVELO_API VEC* _LM_vvecmp_daxpy_idx(IVEC* list, VECMP* x, int accumulate, double s, VEC* out,
                                    int callerLine, const char* callerName, int* status) {
  LmOp op(kFile, "_LM_vvecmp_daxpy_idx", callerLine, callerName, status);
  if (x == nullptr) LM_FAIL(op, 8, nullptr);
  // A gather writes one place per list entry: out also holds the list's length.
  out = kvms::GatherOut(op, "_LM_vvecmp_daxpy_idx", x->dim, list, out);
  if (out == nullptr) return nullptr;
  if (x->nnz <= 0) return op.done(out);
  if (list == nullptr) {
    for (int k = 0; k < x->nnz; ++k) {
      double term;
      if (std::fabs(s - 1.0) < 1e-14) {
        term = x->val[k];
      } else if (std::fabs(s + 1.0) < 1e-14) {
        term = -x->val[k];
      } else {
        term = s * x->val[k];
      }
      double& dst = out->ve[x->idx[k]];
      dst = accumulate ? dst + term : term;
    }
    return op.done(out);
  }
  const int m = static_cast<int>(list->dim);
  const int nnz = x->nnz;
  // Ranges that do not meet gather nothing; ranges that touch at one index gather it.
  if (m == 0 || list->ive[m - 1] < x->idx[0] || list->ive[0] > x->idx[nnz - 1]) return op.done(out);
  int j = 0;
  for (int i = 0; i < m; ++i) {
    while (j < nnz - 1 && x->idx[j] < list->ive[i]) ++j;
    if (x->idx[j] == list->ive[i]) {
      const double term = s * x->val[j];
      out->ve[i] = accumulate ? out->ve[i] + term : term;
    }
  }
  return op.done(out);
}

KVELO_API double vecmp_RateCompletion(VECMP* v, int* status) {
  LmOp op(kFile, "vecmp_RateCompletion", __LINE__, "vecmp_RateCompletion", status);
  return kvms::StoredRatio(op, v);
}

KVELO_API void vecmp_output(VECMP* v, FILE* fp) {
  kvms::PrintSparse(v, fp, "Morse Packed Vector :", true, [&](FILE* out) {
    for (int k = 0; k < v->nnz; ++k) std::fprintf(out, "[%d] : %g\n", v->idx[k], v->val[k]);
  });
}

KVELO_API void vecmp_boutput(FILE* fp, VECMP* v, int* status) {
  LmOp op(kFile, "vecmp_boutput", __LINE__, "vecmp_boutput", status);
  if (fp == nullptr || v == nullptr || v->dim <= 0) return kvms::TraceFail(op, __LINE__);
  const int head[2] = {v->dim, v->nnz};
  int rc = BF_fwrite_int(fp, head, 2);
  if (rc == 0 && v->nnz > 0) rc = BF_fwrite_int(fp, v->idx, v->nnz);
  if (rc == 0 && v->nnz > 0) rc = BF_fwrite_double(fp, v->val, v->nnz);
  if (rc != 0) {
    kvms::Trace(__LINE__);
    *op.st() = rc;
    return;
  }
  kvms::FinishWrite(op, fp, __LINE__);
}

KVELO_API void vecm_boutput_as_vecmp(FILE* fp, VECM* v, int* status) {
  LmOp op(kFile, "vecm_boutput_as_vecmp", __LINE__, "vecm_boutput_as_vecmp", status);
  if (fp == nullptr || v == nullptr || v->dim <= 0) return kvms::TraceFail(op, __LINE__);
  VECMP* p = LM_vecm2vecmp(v, op.st());
  if (op.failed()) {
    kvms::Trace(__LINE__);
    return;
  }
  vecmp_boutput(fp, p, op.st());
  vecmp_free(p);
  if (op.failed()) {
    kvms::Trace(__LINE__);
    return;
  }
  kvms::FinishWrite(op, fp, __LINE__);
}

KVELO_API VECMP* LM_vecmp_binput(FILE* fp, VECMP* reuse, int* status) {
  LmOp op(kFile, "LM_vecmp_binput", __LINE__, "LM_vecmp_binput", status);
  int dim = 0, nnz = 0;
  if (!kvms::ReadCountedHead(op, fp, &dim, &nnz)) return nullptr;
  // Both arrays grow as their values arrive and are installed only once all are read and
  // valid.
  kvms::ArrivingBlock<int> idxIn(static_cast<size_t>(nnz), "LM_vecmp_binput");
  kvms::ArrivingBlock<double> valIn(static_cast<size_t>(nnz), "LM_vecmp_binput");
  kvms::Arrival got = kvms::ReadArriving(fp, idxIn, static_cast<size_t>(nnz), BF_fread_int);
  if (got == kvms::Arrival::kOk)
    got = kvms::ReadArriving(fp, valIn, static_cast<size_t>(nnz), BF_fread_double);
  if (got == kvms::Arrival::kNoMemory) LM_FAIL(op, 3, nullptr);
  if (got == kvms::Arrival::kShort) return kvms::TraceFail(op, __LINE__, nullptr);
  if (!AscendingBelow(idxIn.data(), nnz, dim)) LM_FAIL(op, 2, nullptr);
  int* idx = idxIn.Take();
  double* val = valIn.Take();
  if (idx == nullptr || val == nullptr) {
    kvlm::Free(idx);
    kvlm::Free(val);
    LM_FAIL(op, 3, nullptr);
  }
  VECMP* v = reuse;
  if (v == nullptr) {
    v = static_cast<VECMP*>(kvlm::Calloc(1, sizeof(VECMP), "LM_vecmp_binput"));
    if (v == nullptr) {
      kvlm::Free(idx);
      kvlm::Free(val);
      LM_FAIL(op, 3, nullptr);
    }
  } else {
    kvlm::Free(v->idx);
    kvlm::Free(v->val);
  }
  v->idx = idx;
  v->val = val;
  v->dim = dim;
  v->nnz = nnz;
  return op.done(v);
}

}  // extern "C"
