// bf.cpp (C matrix library): the portable binary forms of the records IVEC, LVEC, VEC, ZVEC,
// PERM, MAT and ZMAT, the written-only sparse records, and the CSP-to-skyline writer.
// Readers take a whole form into scratch storage, bounded by what the stream delivers, and
// check it before the caller's record is resized and filled, so a bad stream changes nothing.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "bf.h"
#include "cmatrix/zcomplex_internal.h"
#include "kvelosys.h"
#include "matrix_bf.h"
#include "platform/plat_file.h"

using kvlm::LmOp;
using kvlm::Z;

namespace {

const char kFile[] = "bf";
// Elements moved per primitive call: keeps each count well inside an int.
const uint64_t kChunk = 1u << 16;

int* ErrOf(int* err, int* local) { return err != nullptr ? err : local; }

// A trace mark for a failure that raises no code.
void Mark(int line) { fct_Trace("aff_lieu", line, kFile); }

// A writer's failure without a code: trace mark, err -1.
void Fail(int* e, int line) {
  Mark(line);
  *e = -1;
}

// Flushes after a complete form; a failed flush is the one write failure reported by name.
void Flush(FILE* fp, int* e) {
  if (std::fflush(fp) != 0) {
    Erreur("CHKDISK", __LINE__, kFile, "Write error: %s\n", std::strerror(errno));
    *e = -1;
    return;
  }
  *e = 0;
}

// Writes count values of T through the primitive `put` in chunks.
template <class T, class Put>
bool WriteRun(FILE* fp, const T* v, uint64_t count, Put put) {
  for (uint64_t done = 0; done < count;) {
    const uint64_t k = count - done < kChunk ? count - done : kChunk;
    if (put(fp, v + done, static_cast<int>(k)) != 0) return false;
    done += k;
  }
  return true;
}

bool WriteInt(FILE* fp, int v) { return BF_fwrite_int(fp, &v, 1) == 0; }

// True when the stream cannot hold `bytes` more bytes (known only for regular files).
bool BeyondFile(FILE* fp, uint64_t bytes) {
  const long long left = kvplat::RemainingBytes(kvelo_fileno(fp));
  return left >= 0 && bytes > static_cast<uint64_t>(left);
}

// Reads count values of T (fileBytes each in the stream) through `get` into out. The
// scratch grows only with what was actually read, so a count that the stream does not hold
// never allocates its full size.
template <class T, class Get>
bool ReadRun(FILE* fp, uint64_t count, unsigned fileBytes, std::vector<T>& out, Get get) {
  if (BeyondFile(fp, count * fileBytes)) return false;
  try {
    out.clear();
    for (uint64_t done = 0; done < count;) {
      const uint64_t k = count - done < kChunk ? count - done : kChunk;
      out.resize(static_cast<size_t>(done + k));
      if (get(fp, out.data() + done, static_cast<int>(k)) != 0) return false;
      done += k;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int GetInt(FILE* fp, int* v, int n) { return BF_fread_int(fp, v, n); }
int GetLong(FILE* fp, long* v, int n) { return BF_fread_long(fp, v, n); }
int GetDouble(FILE* fp, double* v, int n) { return BF_fread_double(fp, v, n); }
int PutInt(FILE* fp, const int* v, int n) { return BF_fwrite_int(fp, v, n); }
int PutLong(FILE* fp, const long* v, int n) { return BF_fwrite_long(fp, v, n); }
int PutDouble(FILE* fp, const double* v, int n) { return BF_fwrite_double(fp, v, n); }

// A read that fails without a code of its own: trace mark, err -1, false (or NULL).
bool ReadFailed(LmOp& op, int line) {
  Mark(line);
  *op.st() = -1;
  return false;
}
template <class R>
R* ReadFail(LmOp& op, int line) {
  ReadFailed(op, line);
  return nullptr;
}

// The form of a vector: its dim (0 for none), then count values of T through put (count is
// dim, or 2 * dim for a complex vector); flushed. A positive dim without a block, or a
// failed write, is a failure without a code.
template <class T, class Put>
void WriteVector(FILE* fp, int dim, const T* values, uint64_t count, Put put, int* e) {
  if (dim > 0 && values == nullptr) return Fail(e, __LINE__);
  if (!WriteInt(fp, dim) || !WriteRun(fp, dim > 0 ? values : nullptr, count, put)) return Fail(e, __LINE__);
  Flush(fp, e);
}

// The form of a matrix: m and n, then each row's n elements as doubles (two for a complex
// element); flushed. An empty matrix or one without a row table is a failure without a code.
template <class M>
void WriteMatrix(FILE* fp, M* A, int* e) {
  constexpr uint64_t kPerElem = sizeof(*A->base) / sizeof(double);
  if (fp == nullptr || A == nullptr || static_cast<int>(A->m) <= 0 || static_cast<int>(A->n) <= 0 ||
      A->me == nullptr)
    return Fail(e, __LINE__);
  bool ok = WriteInt(fp, static_cast<int>(A->m)) && WriteInt(fp, static_cast<int>(A->n));
  for (unsigned i = 0; ok && i < A->m; ++i)
    ok = WriteRun(fp, reinterpret_cast<const double*>(A->me[i]), kPerElem * A->n, PutDouble);
  if (!ok) return Fail(e, __LINE__);
  Flush(fp, e);
}

// The written-only sparse forms: m and n, then the records that `parts` writes (stopping at
// the first failure, which it leaves in *e); flushed.
template <class S, class Parts>
void WriteSparse(FILE* fp, S* A, int* e, Parts parts) {
  if (fp == nullptr || A == nullptr || A->m <= 0 || A->n <= 0) return Fail(e, __LINE__);
  if (!WriteInt(fp, A->m) || !WriteInt(fp, A->n)) return Fail(e, __LINE__);
  parts();
  if (*e != 0) return Fail(e, __LINE__);
  Flush(fp, e);
}

// Reads the head of a vector form into *dim and, for a positive dim, its perElem * dim
// values (fileBytes each in the stream) into vals. False after a failure without a code: no
// stream, a short one, or a negative dim (which no writer makes).
template <class T, class Get>
bool ReadVectorForm(LmOp& op, FILE* fp, unsigned perElem, unsigned fileBytes, Get get, int* dim,
                    std::vector<T>& vals) {
  if (fp == nullptr) return ReadFailed(op, __LINE__);
  if (BF_fread_int(fp, dim, 1) != 0) return ReadFailed(op, __LINE__);
  if (*dim < 0) return ReadFailed(op, __LINE__);
  if (*dim > 0 && !ReadRun(fp, perElem * static_cast<uint64_t>(*dim), fileBytes, vals, get))
    return ReadFailed(op, __LINE__);
  return true;
}

// The record would not fit its unsigned size field: the resizer reports code 3 and leaves
// the record as it is, before anything is read.
bool TooLarge(int m, int n) {
  const uint64_t mm = m > 0 ? static_cast<uint64_t>(m) : 1u;
  const uint64_t nn = n > 0 ? static_cast<uint64_t>(n) : 1u;
  return mm * nn > UINT_MAX;
}

// The readers of LVEC, VEC and ZVEC: the values of the form (T, perElem of them an element,
// fileBytes each in the stream) into reuse resized by `resize` to at least one element (an
// empty form gives dim 0), block(record) naming where they go.
template <class T, class R, class Get, class Resize, class Block>
R* ReadVectorRecord(LmOp& op, FILE* fp, R* reuse, unsigned perElem, unsigned fileBytes, Get get,
                    Resize resize, Block block) {
  int dim = 0;
  std::vector<T> vals;
  if (!ReadVectorForm(op, fp, perElem, fileBytes, get, &dim, vals)) return nullptr;
  R* r = resize(reuse, dim > 0 ? dim : 1);
  LM_CHECK(op, nullptr);
  r->dim = static_cast<unsigned>(dim);
  if (!vals.empty()) std::memcpy(block(r), vals.data(), vals.size() * sizeof(T));
  return op.done(r);
}

// The readers of MAT and ZMAT: m and n, then the rows' elements as doubles (two for a
// complex element) into reuse resized by `resize`. Negative or oversized sizes go to the
// resizer, which refuses them with its own code and leaves the record alone. A form that
// carries no value while naming a positive size (n 0 under a positive m, or m 0 under a
// positive n) is damaged: no writer makes one, and taking its other size at its word would
// let a few bytes ask for any amount of memory. It fails without a code.
template <class M, class Resize>
M* ReadMatrixRecord(LmOp& op, FILE* fp, M* reuse, Resize resize) {
  using E = typename std::remove_pointer<decltype(reuse->base)>::type;
  constexpr uint64_t kPerElem = sizeof(E) / sizeof(double);
  if (fp == nullptr) return ReadFail<M>(op, __LINE__);
  int m = 0, n = 0;
  if (BF_fread_int(fp, &m, 1) != 0 || BF_fread_int(fp, &n, 1) != 0) return ReadFail<M>(op, __LINE__);
  if (m < 0 || n < 0 || TooLarge(m, n)) return resize(reuse, m, n);
  if ((n == 0) != (m == 0)) return ReadFail<M>(op, __LINE__);
  std::vector<double> vals;
  const uint64_t count = kPerElem * static_cast<uint64_t>(m) * static_cast<uint64_t>(n);
  if (count > 0 && !ReadRun(fp, count, 8, vals, GetDouble)) return ReadFail<M>(op, __LINE__);
  M* r = resize(reuse, m, n);
  LM_CHECK(op, nullptr);
  for (int i = 0; i < m; ++i)
    std::memcpy(static_cast<void*>(r->me[i]), vals.data() + kPerElem * static_cast<size_t>(i) * n,
                static_cast<size_t>(n) * sizeof(E));
  // An empty form read into a record that keeps one element (the real resize's least size)
  // leaves it 0, not an old value that would pass for a read one.
  if (m == 0)
    for (unsigned i = 0; i < r->m; ++i) std::memset(static_cast<void*>(r->me[i]), 0, r->n * sizeof(E));
  return op.done(r);
}

}  // namespace

extern "C" {

/* ================================================================ writers ========== */

KVELO_API void iv_boutput(FILE* fp, IVEC* iv, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr) return Fail(e, __LINE__);
  const int dim = (iv == nullptr || static_cast<int>(iv->dim) <= 0) ? 0 : static_cast<int>(iv->dim);
  WriteVector(fp, dim, dim > 0 ? iv->ive : nullptr, static_cast<uint64_t>(dim), PutInt, e);
}

KVELO_API void lv_boutput(FILE* fp, LVEC* lv, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || lv == nullptr) return Fail(e, __LINE__);
  const int dim = static_cast<int>(lv->dim) <= 0 ? 0 : static_cast<int>(lv->dim);
  if (dim > 0 && lv->lve == nullptr) return Fail(e, __LINE__);
  // A long is 4 bytes in the form: a value it cannot hold is refused, before any byte.
  for (int i = 0; i < dim; ++i)
    if (lv->lve[i] < INT32_MIN || lv->lve[i] > INT32_MAX) return Fail(e, __LINE__);
  WriteVector(fp, dim, lv->lve, static_cast<uint64_t>(dim), PutLong, e);
}

KVELO_API void v_boutput(FILE* fp, VEC* v, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || v == nullptr) return Fail(e, __LINE__);
  const int dim = static_cast<int>(v->dim) <= 0 ? 0 : static_cast<int>(v->dim);
  WriteVector(fp, dim, v->ve, static_cast<uint64_t>(dim), PutDouble, e);
}

KVELO_API void zv_boutput(FILE* fp, ZVEC* v, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || v == nullptr) return Fail(e, __LINE__);
  const int dim = static_cast<int>(v->dim) <= 0 ? 0 : static_cast<int>(v->dim);
  WriteVector(fp, dim, reinterpret_cast<const double*>(v->ve), 2 * static_cast<uint64_t>(dim),
              PutDouble, e);
}

KVELO_API void px_boutput(FILE* fp, PERM* px, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || px == nullptr || static_cast<int>(px->size) <= 0 || px->pe == nullptr)
    return Fail(e, __LINE__);
  const int size = static_cast<int>(px->size);
  // The entries go out as int32: the same 4 bytes as the unsigned values.
  WriteVector(fp, size, reinterpret_cast<const int*>(px->pe), static_cast<uint64_t>(size), PutInt, e);
}

KVELO_API void m_boutput(FILE* fp, MAT* A, int* err) {
  int local = 0;
  WriteMatrix(fp, A, ErrOf(err, &local));
}

KVELO_API void zm_boutput(FILE* fp, ZMAT* A, int* err) {
  int local = 0;
  WriteMatrix(fp, A, ErrOf(err, &local));
}

KVELO_API void csp_boutput(FILE* fp, CSP* A, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  WriteSparse(fp, A, e, [&] {
    iv_boutput(fp, A->row_count, e);
    if (*e == 0) iv_boutput(fp, A->col_index, e);
    if (*e == 0) v_boutput(fp, A->value, e);
  });
}

KVELO_API void sk_boutput(FILE* fp, SK* A, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  // The diagonal goes before the profile values, not in record order.
  WriteSparse(fp, A, e, [&] {
    iv_boutput(fp, A->profile_ptr, e);
    if (*e == 0) v_boutput(fp, A->diag, e);
    if (*e == 0) v_boutput(fp, A->profile, e);
  });
}

KVELO_API void zsk_boutput(FILE* fp, ZSK* A, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  WriteSparse(fp, A, e, [&] {
    iv_boutput(fp, A->profile_ptr, e);
    if (*e == 0) zv_boutput(fp, A->zfirst, e);
    if (*e == 0) zv_boutput(fp, A->zsecond, e);
  });
}

KVELO_API void zcsp_boutput(FILE*, ZCSP*, int* err) {
  if (err != nullptr) *err = 0;
}

/* ================================================================ readers ========== */

KVELO_API IVEC* _LM_iv_binput(FILE* fp, IVEC* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_iv_binput", callerLine, callerName, err);
  int dim = 0;
  std::vector<int> vals;
  if (!ReadVectorForm(op, fp, 1, 4, GetInt, &dim, vals)) return nullptr;
  if (dim == 0) return op.done(static_cast<IVEC*>(nullptr));  // the empty form
  IVEC* r = _LM_iv_resize("_LM_iv_binput", kvlm::lm_context, reuse, dim, callerLine, callerName,
                          op.st());
  LM_CHECK(op, nullptr);
  std::memcpy(r->ive, vals.data(), vals.size() * sizeof(int));
  return op.done(r);
}

KVELO_API LVEC* _LM_lv_binput(FILE* fp, LVEC* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_lv_binput", callerLine, callerName, err);
  auto resize = [&](LVEC* v, int dim) {
    return _LM_lv_resize("_LM_lv_binput", kvlm::lm_context, v, dim, callerLine, callerName, op.st());
  };
  return ReadVectorRecord<long>(op, fp, reuse, 1, 4, GetLong, resize,
                                [](LVEC* v) { return static_cast<void*>(v->lve); });
}

KVELO_API VEC* _LM_v_binput(FILE* fp, VEC* reuse, int callerLine, const char* callerName,
                            int* err) {
  LmOp op(kFile, "_LM_v_binput", callerLine, callerName, err);
  auto resize = [&](VEC* v, int dim) {
    return _LM_v_resize("_LM_v_binput", kvlm::lm_context, v, dim, callerLine, callerName, op.st());
  };
  return ReadVectorRecord<double>(op, fp, reuse, 1, 8, GetDouble, resize,
                                  [](VEC* v) { return static_cast<void*>(v->ve); });
}

KVELO_API ZVEC* _LM_zv_binput(FILE* fp, ZVEC* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_zv_binput", callerLine, callerName, err);
  auto resize = [&](ZVEC* v, int dim) {
    return _LM_zv_resize("_LM_zv_binput", kvlm::lm_context, v, dim, callerLine, callerName, op.st());
  };
  return ReadVectorRecord<double>(op, fp, reuse, 2, 8, GetDouble, resize,
                                  [](ZVEC* v) { return static_cast<void*>(v->ve); });
}

KVELO_API PERM* _LM_px_binput(FILE* fp, PERM* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_px_binput", callerLine, callerName, err);
  if (fp == nullptr) return ReadFail<PERM>(op, __LINE__);
  int size = 0;
  if (BF_fread_int(fp, &size, 1) != 0) return ReadFail<PERM>(op, __LINE__);
  if (size < 0) {
    // The resizer refuses a negative size with its own code, leaving the record alone.
    return _LM_px_resize("_LM_px_binput", kvlm::lm_context, reuse, size, callerLine, callerName,
                         op.st());
  }
  if (size == 0) return ReadFail<PERM>(op, __LINE__);
  std::vector<int> vals;
  if (!ReadRun(fp, static_cast<uint64_t>(size), 4, vals, GetInt)) return ReadFail<PERM>(op, __LINE__);
  // Only a permutation of 0 .. size-1 is a consistent record.
  std::vector<bool> seen;
  try {
    seen.assign(static_cast<size_t>(size), false);
  } catch (const std::bad_alloc&) {
    return ReadFail<PERM>(op, __LINE__);
  }
  for (int v : vals) {
    if (v < 0 || v >= size || seen[static_cast<size_t>(v)]) return ReadFail<PERM>(op, __LINE__);
    seen[static_cast<size_t>(v)] = true;
  }
  PERM* r = _LM_px_resize("_LM_px_binput", kvlm::lm_context, reuse, size, callerLine, callerName,
                          op.st());
  LM_CHECK(op, nullptr);
  for (int i = 0; i < size; ++i) r->pe[i] = static_cast<unsigned>(vals[static_cast<size_t>(i)]);
  return op.done(r);
}

KVELO_API MAT* _LM_m_binput(FILE* fp, MAT* reuse, int callerLine, const char* callerName,
                            int* err) {
  LmOp op(kFile, "_LM_m_binput", callerLine, callerName, err);
  return ReadMatrixRecord(op, fp, reuse, [&](MAT* A, int m, int n) {
    return _LM_m_resize("_LM_m_binput", kvlm::lm_context, A, m, n, callerLine, callerName, op.st());
  });
}

KVELO_API ZMAT* _LM_zm_binput(FILE* fp, ZMAT* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_zm_binput", callerLine, callerName, err);
  return ReadMatrixRecord(op, fp, reuse, [&](ZMAT* A, int m, int n) {
    return _LM_zm_resize("_LM_zm_binput", kvlm::lm_context, A, m, n, callerLine, callerName, op.st());
  });
}

KVELO_API CSP* csp_binput(FILE*, int* err) {
  if (err != nullptr) *err = 0;
  return nullptr;
}

KVELO_API SK* sk_binput(FILE*, int* err) {
  if (err != nullptr) *err = 0;
  return nullptr;
}

KVELO_API ZCSP* zcsp_binput(FILE*, int* err) {
  if (err != nullptr) *err = 0;
  return nullptr;
}

KVELO_API ZSK* zsk_binput(FILE*, int* err) {
  if (err != nullptr) *err = 0;
  return nullptr;
}

/* ======================================================== CSP to skyline ========== */

}  // extern "C"

namespace {

// Checks that the square CSP matrix A can be laid out as a lower profile: counts and
// columns inside the stored entries, each row's first stored column at or before the
// diagonal and no smaller than any other column of the row. Fills the 1-based profile
// pointers (n + 1 entries) and the start of each row's entries.
bool PlanProfile(const CSP* A, std::vector<int64_t>& ptr, std::vector<int64_t>& start) {
  const int n = A->n;
  const IVEC* rc = A->row_count;
  if (rc == nullptr || rc->ive == nullptr || rc->dim < static_cast<unsigned>(n)) return false;
  int64_t total = 0;
  for (int i = 0; i < n; ++i) {
    if (rc->ive[i] < 0) return false;
    total += rc->ive[i];
  }
  const IVEC* ci = A->col_index;
  const VEC* val = A->value;
  if (total > 0 && (ci == nullptr || ci->ive == nullptr || ci->dim < total || val == nullptr ||
                    val->ve == nullptr || val->dim < total))
    return false;
  ptr.assign(static_cast<size_t>(n) + 1, 0);
  start.assign(static_cast<size_t>(n), 0);
  ptr[0] = 1;
  int64_t s = 0;
  for (int i = 0; i < n; ++i) {
    const int c = rc->ive[i];
    start[static_cast<size_t>(i)] = s;
    if (c <= 0) {
      ptr[static_cast<size_t>(i) + 1] = ptr[static_cast<size_t>(i)];
      continue;
    }
    const int first = ci->ive[s];
    if (first < 0 || first > i) return false;
    for (int64_t k = s; k < s + c; ++k)
      if (ci->ive[k] < first || ci->ive[k] >= n) return false;
    ptr[static_cast<size_t>(i) + 1] = ptr[static_cast<size_t>(i)] + i - first + 1;
    if (ptr[static_cast<size_t>(i) + 1] - 1 > INT_MAX) return false;
    s += c;
  }
  return true;
}

}  // namespace

extern "C" {

KVELO_API void csp_2_sk_disk(CSP* A, const char* path, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (A == nullptr || path == nullptr || A->n != A->m || A->n <= 0) return Fail(e, __LINE__);
  std::vector<int64_t> plan, start;
  try {
    if (!PlanProfile(A, plan, start)) return Fail(e, __LINE__);
  } catch (const std::bad_alloc&) {
    return Fail(e, __LINE__);
  }
  const int n = A->n;
  FILE* fp = std::fopen(path, "wb");
  if (fp == nullptr) return Fail(e, __LINE__);
  VEC* diag = _LM_v_get("csp", 0, n, 0, nullptr, e);
  VEC* row = *e == 0 ? _LM_v_get("csp", 0, n, 0, nullptr, e) : nullptr;
  IVEC* ptr = *e == 0 ? _LM_iv_get("csp", 0, n + 1, 0, nullptr, e) : nullptr;
  bool ok = *e == 0;
  if (ok) {
    for (int i = 0; i <= n; ++i) ptr->ive[i] = static_cast<int>(plan[static_cast<size_t>(i)]);
    // The diagonal: the last stored entry of each row on the diagonal, 0 without one.
    for (int i = 0; i < n; ++i) {
      const int64_t s = start[static_cast<size_t>(i)];
      for (int64_t k = s; k < s + A->row_count->ive[i]; ++k)
        if (A->col_index->ive[k] == i) diag->ve[i] = A->value->ve[k];
    }
    ok = WriteInt(fp, n) && WriteInt(fp, n);
    if (ok) iv_boutput(fp, ptr, e);
    if (ok && *e == 0) v_boutput(fp, diag, e);
    ok = ok && *e == 0 && WriteInt(fp, ptr->ive[n] - 1);
    for (int i = 0; ok && i < n; ++i) {
      const int len = ptr->ive[i + 1] - ptr->ive[i];
      if (len <= 0) continue;
      std::memset(row->ve, 0, static_cast<size_t>(len) * sizeof(double));
      const int64_t s = start[static_cast<size_t>(i)];
      const int first = A->col_index->ive[s];
      for (int64_t k = s; k < s + A->row_count->ive[i]; ++k) {
        const int col = A->col_index->ive[k];
        if (col <= i) row->ve[col - first] = A->value->ve[k];
      }
      ok = WriteRun(fp, row->ve, static_cast<uint64_t>(len), PutDouble);
    }
    if (!ok) Mark(__LINE__);
  }
  v_free(diag);
  v_free(row);
  iv_free(ptr);
  if (std::fclose(fp) != 0) ok = false;
  *e = ok ? 0 : -1;
}

}  // extern "C"
