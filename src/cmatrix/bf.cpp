// bf.cpp (C matrix library): the portable binary forms of the records IVEC, LVEC, VEC, ZVEC,
// PERM, MAT and ZMAT, the written-only sparse records, and the CSP-to-skyline writer.
// Readers take a whole form into scratch storage, bounded by what the stream delivers, and
// check it before the caller's record is resized and filled, so a bad stream changes nothing.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
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

// A read that fails without a code of its own: trace mark, err -1, NULL.
template <class R>
R* ReadFail(LmOp& op, int line) {
  Mark(line);
  *op.st() = -1;
  return nullptr;
}

// The record would not fit its unsigned size field: the resizer reports code 3 and leaves
// the record as it is, before anything is read.
bool TooLarge(int m, int n) {
  const uint64_t mm = m > 0 ? static_cast<uint64_t>(m) : 1u;
  const uint64_t nn = n > 0 ? static_cast<uint64_t>(n) : 1u;
  return mm * nn > UINT_MAX;
}

}  // namespace

extern "C" {

/* ================================================================ writers ========== */

KVELO_API void iv_boutput(FILE* fp, IVEC* iv, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  const int dim = (iv == nullptr || static_cast<int>(iv->dim) <= 0) ? 0 : static_cast<int>(iv->dim);
  if (dim > 0 && iv->ive == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  if (!WriteInt(fp, dim) || !WriteRun(fp, dim > 0 ? iv->ive : nullptr, static_cast<uint64_t>(dim), PutInt)) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void lv_boutput(FILE* fp, LVEC* lv, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || lv == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  const int dim = static_cast<int>(lv->dim) <= 0 ? 0 : static_cast<int>(lv->dim);
  if (dim > 0 && lv->lve == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  // A long is 4 bytes in the form: a value it cannot hold is refused, before any byte.
  for (int i = 0; i < dim; ++i)
    if (lv->lve[i] < INT32_MIN || lv->lve[i] > INT32_MAX) {
      Mark(__LINE__);
      *e = -1;
      return;
    }
  if (!WriteInt(fp, dim) || !WriteRun(fp, dim > 0 ? lv->lve : nullptr, static_cast<uint64_t>(dim), PutLong)) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void v_boutput(FILE* fp, VEC* v, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || v == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  const int dim = static_cast<int>(v->dim) <= 0 ? 0 : static_cast<int>(v->dim);
  if (dim > 0 && v->ve == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  if (!WriteInt(fp, dim) || !WriteRun(fp, dim > 0 ? v->ve : nullptr, static_cast<uint64_t>(dim), PutDouble)) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void zv_boutput(FILE* fp, ZVEC* v, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || v == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  const int dim = static_cast<int>(v->dim) <= 0 ? 0 : static_cast<int>(v->dim);
  if (dim > 0 && v->ve == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  const double* d = dim > 0 ? reinterpret_cast<const double*>(v->ve) : nullptr;
  if (!WriteInt(fp, dim) || !WriteRun(fp, d, 2 * static_cast<uint64_t>(dim), PutDouble)) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void px_boutput(FILE* fp, PERM* px, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || px == nullptr || static_cast<int>(px->size) <= 0 || px->pe == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  const int size = static_cast<int>(px->size);
  // The entries go out as int32: the same 4 bytes as the unsigned values.
  const int* entries = reinterpret_cast<const int*>(px->pe);
  if (!WriteInt(fp, size) || !WriteRun(fp, entries, static_cast<uint64_t>(size), PutInt)) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void m_boutput(FILE* fp, MAT* A, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || A == nullptr || static_cast<int>(A->m) <= 0 ||
      static_cast<int>(A->n) <= 0 || A->me == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  bool ok = WriteInt(fp, static_cast<int>(A->m)) && WriteInt(fp, static_cast<int>(A->n));
  for (unsigned i = 0; ok && i < A->m; ++i) ok = WriteRun(fp, A->me[i], A->n, PutDouble);
  if (!ok) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void zm_boutput(FILE* fp, ZMAT* A, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || A == nullptr || static_cast<int>(A->m) <= 0 ||
      static_cast<int>(A->n) <= 0 || A->me == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  bool ok = WriteInt(fp, static_cast<int>(A->m)) && WriteInt(fp, static_cast<int>(A->n));
  for (unsigned i = 0; ok && i < A->m; ++i)
    ok = WriteRun(fp, reinterpret_cast<const double*>(A->me[i]), 2 * static_cast<uint64_t>(A->n),
                  PutDouble);
  if (!ok) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void csp_boutput(FILE* fp, CSP* A, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || A == nullptr || A->m <= 0 || A->n <= 0) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  if (!WriteInt(fp, A->m) || !WriteInt(fp, A->n)) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  iv_boutput(fp, A->row_count, e);
  if (*e == 0) iv_boutput(fp, A->col_index, e);
  if (*e == 0) v_boutput(fp, A->value, e);
  if (*e != 0) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void sk_boutput(FILE* fp, SK* A, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || A == nullptr || A->m <= 0 || A->n <= 0) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  if (!WriteInt(fp, A->m) || !WriteInt(fp, A->n)) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  // The diagonal goes before the profile values, not in record order.
  iv_boutput(fp, A->profile_ptr, e);
  if (*e == 0) v_boutput(fp, A->diag, e);
  if (*e == 0) v_boutput(fp, A->profile, e);
  if (*e != 0) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void zsk_boutput(FILE* fp, ZSK* A, int* err) {
  int local = 0;
  int* e = ErrOf(err, &local);
  if (fp == nullptr || A == nullptr || A->m <= 0 || A->n <= 0) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  if (!WriteInt(fp, A->m) || !WriteInt(fp, A->n)) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  iv_boutput(fp, A->profile_ptr, e);
  if (*e == 0) zv_boutput(fp, A->zfirst, e);
  if (*e == 0) zv_boutput(fp, A->zsecond, e);
  if (*e != 0) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  Flush(fp, e);
}

KVELO_API void zcsp_boutput(FILE*, ZCSP*, int* err) {
  if (err != nullptr) *err = 0;
}

/* ================================================================ readers ========== */

KVELO_API IVEC* _LM_iv_binput(FILE* fp, IVEC* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_iv_binput", callerLine, callerName, err);
  if (fp == nullptr) return ReadFail<IVEC>(op, __LINE__);
  int dim = 0;
  if (BF_fread_int(fp, &dim, 1) != 0) return ReadFail<IVEC>(op, __LINE__);
  if (dim == 0) return op.done(static_cast<IVEC*>(nullptr));  // the empty form
  if (dim < 0) return ReadFail<IVEC>(op, __LINE__);            // no writer makes it
  std::vector<int> vals;
  if (!ReadRun(fp, static_cast<uint64_t>(dim), 4, vals, GetInt)) return ReadFail<IVEC>(op, __LINE__);
  IVEC* r = _LM_iv_resize("_LM_iv_binput", kvlm::lm_context, reuse, dim, callerLine, callerName,
                          op.st());
  LM_CHECK(op, nullptr);
  std::memcpy(r->ive, vals.data(), vals.size() * sizeof(int));
  return op.done(r);
}

KVELO_API LVEC* _LM_lv_binput(FILE* fp, LVEC* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_lv_binput", callerLine, callerName, err);
  if (fp == nullptr) return ReadFail<LVEC>(op, __LINE__);
  int dim = 0;
  if (BF_fread_int(fp, &dim, 1) != 0) return ReadFail<LVEC>(op, __LINE__);
  if (dim < 0) return ReadFail<LVEC>(op, __LINE__);
  std::vector<long> vals;
  if (dim > 0 && !ReadRun(fp, static_cast<uint64_t>(dim), 4, vals, GetLong))
    return ReadFail<LVEC>(op, __LINE__);
  LVEC* r = _LM_lv_resize("_LM_lv_binput", kvlm::lm_context, reuse, dim > 0 ? dim : 1,
                          callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  if (dim == 0) {
    r->dim = 0;
    return op.done(r);
  }
  std::memcpy(r->lve, vals.data(), vals.size() * sizeof(long));
  return op.done(r);
}

KVELO_API VEC* _LM_v_binput(FILE* fp, VEC* reuse, int callerLine, const char* callerName,
                            int* err) {
  LmOp op(kFile, "_LM_v_binput", callerLine, callerName, err);
  if (fp == nullptr) return ReadFail<VEC>(op, __LINE__);
  int dim = 0;
  if (BF_fread_int(fp, &dim, 1) != 0) return ReadFail<VEC>(op, __LINE__);
  if (dim < 0) return ReadFail<VEC>(op, __LINE__);
  std::vector<double> vals;
  if (dim > 0 && !ReadRun(fp, static_cast<uint64_t>(dim), 8, vals, GetDouble))
    return ReadFail<VEC>(op, __LINE__);
  VEC* r = _LM_v_resize("_LM_v_binput", kvlm::lm_context, reuse, dim > 0 ? dim : 1, callerLine,
                        callerName, op.st());
  LM_CHECK(op, nullptr);
  if (dim == 0) {
    r->dim = 0;
    return op.done(r);
  }
  std::memcpy(r->ve, vals.data(), vals.size() * sizeof(double));
  return op.done(r);
}

KVELO_API ZVEC* _LM_zv_binput(FILE* fp, ZVEC* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_zv_binput", callerLine, callerName, err);
  if (fp == nullptr) return ReadFail<ZVEC>(op, __LINE__);
  int dim = 0;
  if (BF_fread_int(fp, &dim, 1) != 0) return ReadFail<ZVEC>(op, __LINE__);
  if (dim < 0) return ReadFail<ZVEC>(op, __LINE__);
  std::vector<double> vals;
  if (dim > 0 && !ReadRun(fp, 2 * static_cast<uint64_t>(dim), 8, vals, GetDouble))
    return ReadFail<ZVEC>(op, __LINE__);
  ZVEC* r = _LM_zv_resize("_LM_zv_binput", kvlm::lm_context, reuse, dim > 0 ? dim : 1,
                          callerLine, callerName, op.st());
  LM_CHECK(op, nullptr);
  if (dim == 0) {
    r->dim = 0;
    return op.done(r);
  }
  std::memcpy(r->ve, vals.data(), vals.size() * sizeof(double));
  return op.done(r);
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
  if (fp == nullptr) return ReadFail<MAT>(op, __LINE__);
  int m = 0, n = 0;
  if (BF_fread_int(fp, &m, 1) != 0 || BF_fread_int(fp, &n, 1) != 0)
    return ReadFail<MAT>(op, __LINE__);
  if (m < 0 || n < 0 || TooLarge(m, n))
    return _LM_m_resize("_LM_m_binput", kvlm::lm_context, reuse, m, n, callerLine, callerName,
                        op.st());
  if (n == 0 && m > 0) return ReadFail<MAT>(op, __LINE__);  // rows of no value
  std::vector<double> vals;
  const uint64_t count = static_cast<uint64_t>(m) * static_cast<uint64_t>(n);
  if (count > 0 && !ReadRun(fp, count, 8, vals, GetDouble)) return ReadFail<MAT>(op, __LINE__);
  MAT* r = _LM_m_resize("_LM_m_binput", kvlm::lm_context, reuse, m, n, callerLine, callerName,
                        op.st());
  LM_CHECK(op, nullptr);
  for (int i = 0; i < m; ++i)
    std::memcpy(r->me[i], vals.data() + static_cast<size_t>(i) * n,
                static_cast<size_t>(n) * sizeof(double));
  return op.done(r);
}

KVELO_API ZMAT* _LM_zm_binput(FILE* fp, ZMAT* reuse, int callerLine, const char* callerName,
                              int* err) {
  LmOp op(kFile, "_LM_zm_binput", callerLine, callerName, err);
  if (fp == nullptr) return ReadFail<ZMAT>(op, __LINE__);
  int m = 0, n = 0;
  if (BF_fread_int(fp, &m, 1) != 0 || BF_fread_int(fp, &n, 1) != 0)
    return ReadFail<ZMAT>(op, __LINE__);
  if (m < 0 || n < 0 || TooLarge(m, n))
    return _LM_zm_resize("_LM_zm_binput", kvlm::lm_context, reuse, m, n, callerLine, callerName,
                         op.st());
  if (n == 0 && m > 0) return ReadFail<ZMAT>(op, __LINE__);
  std::vector<double> vals;
  const uint64_t count = 2 * static_cast<uint64_t>(m) * static_cast<uint64_t>(n);
  if (count > 0 && !ReadRun(fp, count, 8, vals, GetDouble)) return ReadFail<ZMAT>(op, __LINE__);
  ZMAT* r = _LM_zm_resize("_LM_zm_binput", kvlm::lm_context, reuse, m, n, callerLine, callerName,
                          op.st());
  LM_CHECK(op, nullptr);
  for (int i = 0; i < m; ++i)
    std::memcpy(r->me[i], vals.data() + 2 * static_cast<size_t>(i) * n,
                static_cast<size_t>(n) * sizeof(Z));
  return op.done(r);
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
  if (A == nullptr || path == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  if (A->n != A->m || A->n <= 0) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  std::vector<int64_t> plan, start;
  try {
    if (!PlanProfile(A, plan, start)) {
      Mark(__LINE__);
      *e = -1;
      return;
    }
  } catch (const std::bad_alloc&) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
  const int n = A->n;
  FILE* fp = std::fopen(path, "wb");
  if (fp == nullptr) {
    Mark(__LINE__);
    *e = -1;
    return;
  }
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
