// vmorse.cpp: the Morse sparse vector VECM, entries kept as a binary search tree in one pool:
// creation, copy, element access, conversions with dense vectors, inner products, norm,
// scaling and combinations, fill ratios, and its text and binary forms.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

#include "bf.h"
#include "cmatrix/vmorse_internal.h"
#include "erreur.h"
#include "kvelosys.h"
#include "platform/plat_file.h"
#include "vmorse.h"

using kvlm::LmOp;

namespace kvms {

const char kFile[] = "vmorse";

double Threshold(const VEC* in) {
  double big = 0.0;
  for (unsigned i = 0; i < in->dim; ++i) {
    const double a = std::fabs(in->ve[i]);
    if (std::isfinite(a) && a > big) big = a;
  }
  return 1e-16 * big;
}

int CountSignificant(const VEC* in, double t) {
  int count = 0;
  for (unsigned i = 0; i < in->dim; ++i)
    if (Significant(in->ve[i], t)) ++count;
  return count;
}

int WriteBytes(FILE* fp, const unsigned char* bytes, size_t n) {
  while (n > 0) {
    const int k = n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    if (BF_fwrite_char(fp, reinterpret_cast<const char*>(bytes), k) != 0) return -1;
    bytes += k;
    n -= static_cast<size_t>(k);
  }
  return 0;
}

int ReadBytes(FILE* fp, unsigned char* bytes, size_t n) {
  while (n > 0) {
    const int k = n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    if (BF_fread_char(fp, reinterpret_cast<char*>(bytes), k) != 0) return -1;
    bytes += k;
    n -= static_cast<size_t>(k);
  }
  return 0;
}

bool FileHolds(FILE* fp, long long bytes) {
  const long long left = kvplat::RemainingBytes(kvelo_fileno(fp));
  return left < 0 || bytes <= left;
}

int FlushOrReport(FILE* fp, int line) {
  if (std::fflush(fp) == 0) return 0;
  Erreur("CHKDISK", line, kFile, "Write error: %s\n", std::strerror(errno));
  return -1;
}

}  // namespace kvms

using kvms::kFile;

namespace {

// Entries per batch of the binary VECM form: 4-byte index and 8-byte value each.
const size_t kEntryBytes = 12;
const size_t kBatch = 4096;

// The entries of a VECM binary form, written out in batches of big-endian (index, value)
// pairs.
class EntryWriter {
 public:
  explicit EntryWriter(FILE* fp) : fp_(fp) {}
  // Adds one entry; false when a full batch could not be written.
  bool Put(int idx, double val) {
    kvms::PutBig(buf_ + used_, idx);
    kvms::PutBig(buf_ + used_ + 4, val);
    used_ += kEntryBytes;
    return used_ < sizeof buf_ || Flush();
  }
  // Writes what is left of the last batch; false when that fails.
  bool Flush() {
    const size_t n = used_;
    used_ = 0;
    return n == 0 || kvms::WriteBytes(fp_, buf_, n) == 0;
  }

 private:
  FILE* fp_;
  unsigned char buf_[kBatch * kEntryBytes];
  size_t used_ = 0;
};

// New pool of n zeroed nodes (n >= 1), or null.
VECM_NODE* NewPool(int n, const char* tag) {
  return static_cast<VECM_NODE*>(kvlm::Calloc(static_cast<size_t>(n), sizeof(VECM_NODE), tag));
}

// Gives v's pool room for n nodes (n >= 1), the links of its entries following the move.
// False (v unchanged) when memory is short.
bool ResizePool(VECM* v, int n, const char* tag) {
  const uintptr_t oldBase = reinterpret_cast<uintptr_t>(v->pool);
  void* grown = v->pool == nullptr ? kvlm::Calloc(static_cast<size_t>(n), sizeof(VECM_NODE), tag)
                                   : kvlm::Realloc(v->pool, static_cast<size_t>(n) * sizeof(VECM_NODE), tag);
  if (grown == nullptr) return false;
  VECM_NODE* pool = static_cast<VECM_NODE*>(grown);
  if (n > v->max_nnz) std::memset(pool + v->max_nnz, 0, static_cast<size_t>(n - v->max_nnz) * sizeof(VECM_NODE));
  if (oldBase != 0 && reinterpret_cast<uintptr_t>(pool) != oldBase)
    kvms::RebaseLinks(pool, v->nnz < n ? v->nnz : n, &v->root, oldBase);
  v->pool = pool;
  v->max_nnz = n;
  return true;
}

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- records ---------- */

KVELO_API VECM* LM_vecm_get(int dim, int max_nnz, int* status) {
  LmOp op(kFile, "LM_vecm_get", __LINE__, "LM_vecm_get", status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  if (max_nnz < 0 || max_nnz > dim) LM_FAIL(op, 2, nullptr);
  VECM* v = static_cast<VECM*>(kvlm::Calloc(1, sizeof(VECM), "LM_vecm_get"));
  if (v == nullptr) LM_FAIL(op, 3, nullptr);
  v->dim = v->max_dim = dim;
  v->max_nnz = max_nnz > 1 ? max_nnz : 1;
  v->pool = NewPool(v->max_nnz, "LM_vecm_get");
  if (v->pool == nullptr) {
    kvlm::Free(v);
    LM_FAIL(op, 3, nullptr);
  }
  return op.done(v);
}

KVELO_API int vecm_free(VECM* v) {
  if (v == nullptr) return -1;
  kvlm::Free(v->pool);
  kvlm::Free(v);
  return 0;
}

KVELO_API VECM* LM_vecm_copy(VECM* in, VECM* out, int* status) {
  LmOp op(kFile, "LM_vecm_copy", __LINE__, "LM_vecm_copy", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  if (in == out) return op.done(out);
  const int slots = in->nnz > 1 ? in->nnz : 1;
  if (out == nullptr) {
    out = LM_vecm_get(in->dim, in->nnz, op.st());
    LM_CHECK(op, nullptr);
  } else {
    // Every slot is written below (slots is nnz, or 1 for an empty vector).
    void* grown = kvlm::Realloc(out->pool, static_cast<size_t>(slots) * sizeof(VECM_NODE), "LM_vecm_copy");
    if (grown == nullptr) LM_FAIL(op, 3, nullptr);
    out->pool = static_cast<VECM_NODE*>(grown);
  }
  out->dim = out->max_dim = in->dim;
  out->max_nnz = slots;
  out->nnz = in->nnz;
  out->root = nullptr;
  if (in->nnz > 0) {
    std::memcpy(out->pool, in->pool, static_cast<size_t>(in->nnz) * sizeof(VECM_NODE));
    out->root = in->root;
    kvms::RebaseLinks(out->pool, in->nnz, &out->root, reinterpret_cast<uintptr_t>(in->pool));
  } else {
    std::memset(out->pool, 0, sizeof(VECM_NODE));
  }
  return op.done(out);
}

KVELO_API void LM_vecm_zero(VECM* v, int* status) {
  LmOp op(kFile, "LM_vecm_zero", __LINE__, "LM_vecm_zero", status);
  if (v == nullptr) {
    op.raise(8, __LINE__);
    return;
  }
  v->nnz = 0;
  if (v->pool != nullptr) std::memset(v->pool, 0, static_cast<size_t>(v->max_nnz) * sizeof(VECM_NODE));
  v->root = nullptr;
  op.done(0);
}

/* ---------------------------------------------------------------- elements --------- */

KVELO_API int LM_vecm_addval(VECM* v, int index, double x, int add) {
  // No status argument: the status word is left as it is unless an error is raised.
  if (v == nullptr) {
    _LM_error(kFile, 8, __LINE__, "LM_vecm_addval", 0, __LINE__, "LM_vecm_addval");
    return -1;
  }
  if (index < 0 || index >= v->dim) return -1;
  if (VECM_NODE* n = kvms::Find(v, index)) {
    n->val = add ? x + n->val : x;
    return 0;
  }
  if (v->pool == nullptr || v->nnz >= v->max_nnz) {
    // Ten more nodes at a time, never more than one per index.
    long long want = static_cast<long long>(v->max_nnz) + 10;
    if (want > v->dim) want = v->dim;
    if (want <= v->nnz) want = static_cast<long long>(v->nnz) + 1;
    if (!ResizePool(v, static_cast<int>(want), "LM_vecm_addval")) {
      _LM_error(kFile, 3, __LINE__, "LM_vecm_addval", 0, __LINE__, "LM_vecm_addval");
      return -1;
    }
  }
  VECM_NODE* node = &v->pool[v->nnz];
  node->val = x;
  node->idx = index;
  node->left = node->right = nullptr;
  if (v->root == nullptr) {
    v->root = node;
  } else {
    VECM_NODE* p = v->root;
    for (;;) {
      VECM_NODE*& link = index < p->idx ? p->left : p->right;
      if (link == nullptr) {
        link = node;
        break;
      }
      p = link;
    }
  }
  ++v->nnz;
  return 0;
}

KVELO_API double LM_vecm_getval(VECM* v, int index, int* status) {
  LmOp op(kFile, "LM_vecm_getval", __LINE__, "LM_vecm_getval", status);
  if (v == nullptr) LM_FAIL(op, 8, 0.0);
  if (index < 0 || index >= v->dim) LM_FAIL(op, 2, 0.0);
  const VECM_NODE* n = kvms::Find(v, index);
  return op.done(n != nullptr ? n->val : 0.0);
}

/* ---------------------------------------------------------------- conversions ------ */

KVELO_API VEC* LM_vecm2vec(VECM* in, VEC* out, int* status) {
  LmOp op(kFile, "LM_vecm2vec", __LINE__, "LM_vecm2vec", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  out = _LM_v_resize("LM_vecm2vec", kvlm::lm_context, out, in->dim, __LINE__, "LM_vecm2vec", op.st());
  LM_CHECK(op, nullptr);
  _LM_v_zero(out, __LINE__, "LM_vecm2vec", op.st());
  LM_CHECK(op, nullptr);
  kvms::WalkInOrder(in->root, [&](VECM_NODE* n) {
    out->ve[n->idx] = n->val;
    return true;
  });
  return op.done(out);
}

KVELO_API VECM* LM_vec2vecm(VEC* in, int* status) {
  LmOp op(kFile, "LM_vec2vecm", __LINE__, "LM_vec2vecm", status);
  if (in == nullptr) LM_FAIL(op, 8, nullptr);
  const double t = kvms::Threshold(in);
  const int count = kvms::CountSignificant(in, t);
  VECM* v = LM_vecm_get(static_cast<int>(in->dim), count, op.st());
  if (op.failed()) {
    kvms::Trace(__LINE__);
    return nullptr;
  }
  int k = 0;
  for (unsigned i = 0; i < in->dim; ++i) {
    if (kvms::Significant(in->ve[i], t)) {
      v->pool[k].idx = static_cast<int>(i);
      v->pool[k].val = in->ve[i];
      ++k;
    }
  }
  kvms::Chain(v, count);
  return op.done(v);
}

/* ---------------------------------------------------------------- arithmetic ------- */

KVELO_API double LM_pscal_vecm(VECM* a, VECM* b, int* status) {
  LmOp op(kFile, "LM_pscal_vecm", __LINE__, "LM_pscal_vecm", status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, 0.0);
  if (a->dim != b->dim) LM_FAIL(op, 1, 0.0);
  if (a->nnz == 0 || b->nnz == 0) return op.done(0.0);
  // Every index of a vector with itself is found in itself: no lookups, which cost the
  // tree's depth each. Otherwise walk the shorter vector and look each index up in the other.
  VECM* walked = a == b || a->nnz < b->nnz ? a : b;
  VECM* other = walked == a ? b : a;
  auto pairs = [&](auto f) {
    kvms::WalkInOrder(walked->root, [&](VECM_NODE* n) {
      if (a == b) f(n->val, n->val);
      else if (const VECM_NODE* m = kvms::Find(other, n->idx)) f(m->val, n->val);
      return true;
    });
  };
  double sum = 0.0;
  pairs([&](double x, double y) { sum += x * y; });
  return op.done(kvms::DotInRange(sum, pairs));
}

KVELO_API double LM_vecm_norm2(VECM* v, int* status) {
  LmOp op(kFile, "LM_vecm_norm2", __LINE__, "LM_vecm_norm2", status);
  if (v == nullptr) LM_FAIL(op, 8, -1.0);
  const double ss = LM_pscal_vecm(v, v, op.st());
  if (op.failed()) {
    kvms::Trace(__LINE__);
    return 0.0;
  }
  // A sum of squares that overflowed or lost digits to underflow is taken again with a
  // running scale.
  return op.done(kvlm::SafeNorm2(ss, static_cast<uint64_t>(v->nnz), [&](kvlm::ScaledSquares& acc) {
    kvms::WalkInOrder(v->root, [&](VECM_NODE* n) {
      acc.Add(n->val);
      return true;
    });
  }));
}

KVELO_API double LM_pscal_vvecm(VEC* a, VECM* b, int* status) {
  LmOp op(kFile, "LM_pscal_vvecm", __LINE__, "LM_pscal_vvecm", status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, 0.0);
  if (a->dim != static_cast<unsigned>(b->dim)) LM_FAIL(op, 1, 0.0);
  if (b->nnz == 0) return op.done(0.0);
  auto pairs = [&](auto f) {
    kvms::WalkInOrder(b->root, [&](VECM_NODE* n) {
      f(a->ve[n->idx], n->val);
      return true;
    });
  };
  double sum = 0.0;
  pairs([&](double x, double y) { sum += x * y; });
  return op.done(kvms::DotInRange(sum, pairs));
}

KVELO_API void LM_vecm_scal(VECM* v, double s, int* status) {
  LmOp op(kFile, "LM_vecm_scal", __LINE__, "LM_vecm_scal", status);
  if (v == nullptr) {
    op.raise(8, __LINE__);
    return;
  }
  for (int k = 0; k < v->nnz; ++k) v->pool[k].val *= s;
  op.done(0);
}

KVELO_API VEC* _LM_vvecm_mltadd(VEC* a, VECM* b, double s, VEC* out, int callerLine,
                                const char* callerName, int* status) {
  LmOp op(kFile, "_LM_vvecm_mltadd", callerLine, callerName, status);
  if (a == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
  if (a->dim != static_cast<unsigned>(b->dim)) LM_FAIL(op, 1, nullptr);
  if (s == 0.0 || b->nnz == 0) return op.done(_LM__v_copy(a, out, 0, callerLine, callerName, op.st()));
  out = _LM__v_copy(a, out, 0, callerLine, callerName, op.st());
  if (op.failed()) {
    fct_Trace("_LM_vvecm_mltadd", __LINE__, kFile);
    return nullptr;
  }
  kvms::WalkInOrder(b->root, [&](VECM_NODE* n) {
    out->ve[n->idx] += s * n->val;
    return true;
  });
  return op.done(out);
}

KVELO_API void LM_vecm_daxpy(VECM* x, double s, VECM* y, int* status) {
  LmOp op(kFile, "LM_vecm_daxpy", __LINE__, "LM_vecm_daxpy", status);
  if (x == nullptr || y == nullptr) {
    op.raise(8, __LINE__);
    return;
  }
  if (x->dim != y->dim) {
    op.raise(1, __LINE__);
    return;
  }
  if (std::fabs(s) < 1e-14) {
    op.done(0);
    return;
  }
  if (x == y) {
    for (int k = 0; k < x->nnz; ++k) x->pool[k].val *= 1.0 + s;
    op.done(0);
    return;
  }
  // Entries present in y accumulate, the others are inserted; a failed insertion has been
  // reported and leaves the status word at -1, which ends up in *status.
  kvms::WalkInOrder(x->root, [&](VECM_NODE* n) {
    LM_vecm_addval(y, n->idx, s * n->val, 1);
    return true;
  });
  op.done(0);
}

/* ---------------------------------------------------------------- fill ratios ------ */

KVELO_API double vecm_RateCompletion(VECM* v, int* status) {
  LmOp op(kFile, "vecm_RateCompletion", __LINE__, "vecm_RateCompletion", status);
  return kvms::StoredRatio(op, v);
}

KVELO_API double v_RateCompletion(VEC* v, double threshold, int* status) {
  if (v == nullptr) {
    kvms::Trace(__LINE__);
    return 0.0;
  }
  if (v->dim == 0) {
    kvms::Trace(__LINE__);
    if (status != nullptr) *status = -1;
    return 0.0;
  }
  if (status != nullptr) *status = 0;
  unsigned count = 0;
  for (unsigned i = 0; i < v->dim; ++i)
    if (std::fabs(v->ve[i]) > threshold) ++count;
  return static_cast<double>(count) / static_cast<double>(v->dim);
}

/* ---------------------------------------------------------------- text and binary -- */

KVELO_API void vecm_output(VECM* v, FILE* fp) {
  kvms::PrintSparse(v, fp, "Morse Vector :", true, [&](FILE* out) {
    kvms::WalkInOrder(v->root, [&](VECM_NODE* n) {
      std::fprintf(out, "[%d] : %g\n", n->idx, n->val);
      return true;
    });
  });
}

KVELO_API void vecm_boutput(FILE* fp, VECM* v, int* status) {
  LmOp op(kFile, "vecm_boutput", __LINE__, "vecm_boutput", status);
  if (fp == nullptr || v == nullptr || v->dim <= 0) return kvms::TraceFail(op, __LINE__);
  const int head[2] = {v->dim, v->nnz};
  if (BF_fwrite_int(fp, head, 2) != 0) return kvms::TraceFail(op, __LINE__);
  EntryWriter out(fp);
  const bool ok = kvms::WalkInOrder(v->root, [&](VECM_NODE* n) { return out.Put(n->idx, n->val); });
  if (!ok || !out.Flush()) return kvms::TraceFail(op, __LINE__);
  kvms::FinishWrite(op, fp, __LINE__);
}

KVELO_API void v_boutput_as_vecm(FILE* fp, VEC* v, int* status) {
  LmOp op(kFile, "v_boutput_as_vecm", __LINE__, "v_boutput_as_vecm", status);
  if (fp == nullptr || v == nullptr || v->dim == 0) return kvms::TraceFail(op, __LINE__);
  const double t = kvms::Threshold(v);
  const int head[2] = {static_cast<int>(v->dim), kvms::CountSignificant(v, t)};
  if (BF_fwrite_int(fp, head, 2) != 0) return kvms::TraceFail(op, __LINE__);
  EntryWriter out(fp);
  for (unsigned i = 0; i < v->dim; ++i) {
    if (!kvms::Significant(v->ve[i], t)) continue;
    if (!out.Put(static_cast<int>(i), v->ve[i])) return kvms::TraceFail(op, __LINE__);
  }
  if (!out.Flush()) return kvms::TraceFail(op, __LINE__);
  kvms::FinishWrite(op, fp, __LINE__);
}

KVELO_API VECM* LM_vecm_binput(FILE* fp, VECM* reuse, int* status) {
  LmOp op(kFile, "LM_vecm_binput", __LINE__, "LM_vecm_binput", status);
  int dim = 0, count = 0;
  if (!kvms::ReadCountedHead(op, fp, &dim, &count)) return nullptr;
  // The entries are read into a pool of their own, grown as they arrive and installed only
  // once all are read and valid.
  kvms::ArrivingBlock<VECM_NODE> arriving(static_cast<size_t>(count), "LM_vecm_binput");
  unsigned char buf[kBatch * kEntryBytes];
  int last = -1;
  for (int k = 0; k < count;) {
    const int n = count - k < static_cast<int>(kBatch) ? count - k : static_cast<int>(kBatch);
    if (!arriving.Room(static_cast<size_t>(k) + static_cast<size_t>(n))) LM_FAIL(op, 3, nullptr);
    if (kvms::ReadBytes(fp, buf, static_cast<size_t>(n) * kEntryBytes) != 0)
      return kvms::TraceFail(op, __LINE__, nullptr);
    VECM_NODE* pool = arriving.data();
    for (int j = 0; j < n; ++j, ++k) {
      const int idx = kvms::GetBig<int>(buf + j * kEntryBytes);
      // The writers store strictly ascending indices below dim; anything else is damage.
      if (idx <= last || idx >= dim) LM_FAIL(op, 2, nullptr);
      last = idx;
      pool[k].idx = idx;
      pool[k].val = kvms::GetBig<double>(buf + j * kEntryBytes + 4);
    }
  }
  const int slots = count > 1 ? count : 1;
  VECM_NODE* pool = arriving.Take();
  if (pool == nullptr) LM_FAIL(op, 3, nullptr);
  VECM* v = reuse;
  if (v == nullptr) {
    v = static_cast<VECM*>(kvlm::Calloc(1, sizeof(VECM), "LM_vecm_binput"));
    if (v == nullptr) {
      kvlm::Free(pool);
      LM_FAIL(op, 3, nullptr);
    }
  } else {
    kvlm::Free(v->pool);
  }
  v->pool = pool;
  v->max_nnz = slots;
  v->dim = v->max_dim = dim;
  kvms::Chain(v, count);
  return op.done(v);
}

}  // extern "C"
