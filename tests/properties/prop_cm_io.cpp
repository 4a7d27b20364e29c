// prop_cm_io.cpp: the C library's writers and readers of records: binary forms (IVEC, LVEC,
// VEC, ZVEC, PERM, MAT, ZMAT, the sparse CSP/SK/ZSK forms and the skyline file) and text
// forms (matrices, vectors, permutations, integer and long vectors, dumps). What a writer
// writes its reader reads back equal, and writing that again gives the same bytes; what a
// reader accepts (a garbled form included) its writer writes back byte for byte; a form cut
// short is refused and the record handed in for reuse stays as it was; short of memory the
// reader refuses the same way.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "matrix.h"
#include "matrix_bf.h"
#include "msgcapture.h"
#include "prop_cm_mat_gen.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"
#include "zmatrix.h"

// clang-format off
KVELO_HOLDS(
    "iv_boutput", "lv_boutput", "v_boutput", "zv_boutput", "px_boutput", "m_boutput", "zm_boutput",
    "csp_boutput", "sk_boutput", "zsk_boutput", "zcsp_boutput", "_LM_iv_binput", "_LM_lv_binput",
    "_LM_v_binput", "_LM_zv_binput", "_LM_px_binput", "_LM_m_binput", "_LM_zm_binput",
    "csp_binput", "sk_binput", "zcsp_binput", "zsk_binput", "csp_2_sk_disk",
    "m_foutput", "m_dump", "v_foutput", "v_dump", "px_foutput", "px_dump", "_LM_m_finput",
    "_LM_v_finput", "_LM_px_finput", "_LM_bm_finput", "_LM_bfin_vec", "_LM_bpx_finput",
    "iv_foutput", "iv_dump", "_LM_iv_finput", "_LM_biv_finput", "lv_foutput", "lv_dump",
    "_LM_lv_finput", "_LM_blv_finput");
// clang-format on

namespace {

using namespace cmm;
using Bytes = std::vector<unsigned char>;

Bytes All(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  Bytes out;
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<unsigned char>(c));
  return out;
}
FILE* FileOf(const Bytes& b, size_t len) {
  FILE* f = std::tmpfile();
  if (len > 0) std::fwrite(b.data(), 1, len, f);
  std::rewind(f);
  return f;
}

// Big-endian pieces of the forms, written by the test itself.
void PutI(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(v >> s));
}
void PutD(Bytes& b, double d) {
  uint64_t v;
  std::memcpy(&v, &d, 8);
  for (int s = 56; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(v >> s));
}

// Every kind of record behind one face: make one from drawn values, write it, read it
// (reuse or not), snapshot it, free it.
enum Kind { kIV, kLV, kV, kZV, kPX, kM, kZM, kKinds };
const char* Name(int k) {
  static const char* names[] = {"IVEC", "LVEC", "VEC", "ZVEC", "PERM", "MAT", "ZMAT"};
  return names[k];
}

// Snapshots per kind (fields and stored elements).
template <class V>
Bytes SnapV(const V* x) {
  Bytes s;
  if (!x) return s;
  auto put = [&s](const void* p, size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    s.insert(s.end(), c, c + n);
  };
  put(&x->dim, sizeof x->dim);
  put(&x->max_dim, sizeof x->max_dim);
  return s;
}
Bytes SnapIV(const IVEC* x) {
  Bytes s = SnapV(x);
  if (x) s.insert(s.end(), reinterpret_cast<const unsigned char*>(x->ive), reinterpret_cast<const unsigned char*>(x->ive + x->max_dim));
  return s;
}
Bytes SnapLV(const LVEC* x) {
  Bytes s = SnapV(x);
  if (x) s.insert(s.end(), reinterpret_cast<const unsigned char*>(x->lve), reinterpret_cast<const unsigned char*>(x->lve + x->max_dim));
  return s;
}

Bytes Snapshot(int kind, void* p) {
  if (!p) return {};
  switch (kind) {
    case kIV: return SnapIV(static_cast<IVEC*>(p));
    case kLV: return SnapLV(static_cast<LVEC*>(p));
    case kV: return ShotV(static_cast<VEC*>(p));
    case kZV: return ShotV(static_cast<ZVEC*>(p));
    case kPX: return ShotP(static_cast<PERM*>(p));
    case kM: return Shot(static_cast<MAT*>(p));
    default: return Shot(static_cast<ZMAT*>(p));
  }
}

void Free(int kind, void* p) {
  if (!p) return;
  switch (kind) {
    case kIV: iv_free(static_cast<IVEC*>(p)); break;
    case kLV: lv_free(static_cast<LVEC*>(p)); break;
    case kV: v_free(static_cast<VEC*>(p)); break;
    case kZV: zv_free(static_cast<ZVEC*>(p)); break;
    case kPX: px_free(static_cast<PERM*>(p)); break;
    case kM: m_free(static_cast<MAT*>(p)); break;
    default: zm_free(static_cast<ZMAT*>(p)); break;
  }
}

int Write(int kind, FILE* f, void* p) {
  int err = 0;
  switch (kind) {
    case kIV: iv_boutput(f, static_cast<IVEC*>(p), &err); break;
    case kLV: lv_boutput(f, static_cast<LVEC*>(p), &err); break;
    case kV: v_boutput(f, static_cast<VEC*>(p), &err); break;
    case kZV: zv_boutput(f, static_cast<ZVEC*>(p), &err); break;
    case kPX: px_boutput(f, static_cast<PERM*>(p), &err); break;
    case kM: m_boutput(f, static_cast<MAT*>(p), &err); break;
    default: zm_boutput(f, static_cast<ZMAT*>(p), &err); break;
  }
  return err;
}

void* Read(int kind, FILE* f, void* reuse, int* err) {
  *err = 0;
  switch (kind) {
    case kIV: return _LM_iv_binput(f, static_cast<IVEC*>(reuse), __LINE__, "p", err);
    case kLV: return _LM_lv_binput(f, static_cast<LVEC*>(reuse), __LINE__, "p", err);
    case kV: return _LM_v_binput(f, static_cast<VEC*>(reuse), __LINE__, "p", err);
    case kZV: return _LM_zv_binput(f, static_cast<ZVEC*>(reuse), __LINE__, "p", err);
    case kPX: return _LM_px_binput(f, static_cast<PERM*>(reuse), __LINE__, "p", err);
    case kM: return _LM_m_binput(f, static_cast<MAT*>(reuse), __LINE__, "p", err);
    default: return _LM_zm_binput(f, static_cast<ZMAT*>(reuse), __LINE__, "p", err);
  }
}

// The values of a record, bitwise, in element order (with its sizes first).
Bytes Values(int kind, void* p) {
  Bytes s;
  if (!p) return s;
  auto put = [&s](const void* q, size_t n) {
    const auto* c = static_cast<const unsigned char*>(q);
    s.insert(s.end(), c, c + n);
  };
  switch (kind) {
    case kIV: {
      auto* x = static_cast<IVEC*>(p);
      put(&x->dim, 4);
      put(x->ive, 4 * x->dim);
      break;
    }
    case kLV: {
      auto* x = static_cast<LVEC*>(p);
      put(&x->dim, 4);
      put(x->lve, sizeof(long) * x->dim);
      break;
    }
    case kV: {
      auto* x = static_cast<VEC*>(p);
      put(&x->dim, 4);
      put(x->ve, 8 * x->dim);
      break;
    }
    case kZV: {
      auto* x = static_cast<ZVEC*>(p);
      put(&x->dim, 4);
      put(x->ve, 16 * x->dim);
      break;
    }
    case kPX: {
      auto* x = static_cast<PERM*>(p);
      put(&x->size, 4);
      put(x->pe, 4 * x->size);
      break;
    }
    case kM: {
      auto* x = static_cast<MAT*>(p);
      put(&x->m, 4);
      put(&x->n, 4);
      for (unsigned i = 0; i < x->m; ++i) put(x->me[i], 8 * x->n);
      break;
    }
    default: {
      auto* x = static_cast<ZMAT*>(p);
      put(&x->m, 4);
      put(&x->n, 4);
      for (unsigned i = 0; i < x->m; ++i) put(x->me[i], 16 * x->n);
      break;
    }
  }
  return s;
}

// A record of the kind with drawn sizes and values (whole ranges: every double, every int,
// long values of 32 bits, true permutations).
void* Make(int kind, int m, int n) {
  int st = 0;
  switch (kind) {
    case kIV: {
      IVEC* x = _LM_iv_get("p", 0, n, __LINE__, "p", &st);
      for (int i = 0; i < n; ++i) x->ive[i] = *rc::gen::arbitrary<int>();
      return x;
    }
    case kLV: {
      LVEC* x = _LM_lv_get("p", 0, n, __LINE__, "p", &st);
      for (int i = 0; i < n; ++i) x->lve[i] = *rc::gen::arbitrary<int32_t>();
      return x;
    }
    case kV: return NewVEC(*rc::gen::container<std::vector<double>>(static_cast<size_t>(n), kvtest::AnyDouble()));
    case kZV: return NewZVEC(*rc::gen::container<std::vector<C>>(static_cast<size_t>(n), kvtest::AnyComplex()));
    case kPX: {
      std::vector<unsigned> p(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) p[i] = i;
      for (int i = n - 1; i > 0; --i) std::swap(p[i], p[*rc::gen::inRange(0, i + 1)]);
      return NewPERM(p);
    }
    case kM: return NewMAT(*GenRM(m, n, true));
    default: return NewZMAT(*GenZM(m, n, true));
  }
}

RC_GTEST_PROP(CmIo, BinaryFormsClose, ()) {
  kvtest::MsgCapture quiet;
  const int kind = *rc::gen::inRange(0, static_cast<int>(kKinds));
  const bool mat = kind == kM || kind == kZM;
  const int m = mat ? *rc::gen::inRange(0, 4) : 1;
  const int n = *rc::gen::inRange(kind == kPX ? 1 : 0, 6);
  RC_LOG() << Name(kind) << " " << m << "x" << n;
  void* rec = Make(kind, m, n);
  FILE* f = std::tmpfile();
  const int err = Write(kind, f, rec);
  const Bytes image = All(f);
  std::fclose(f);
  const bool emptyMat = mat && (m == 0 || n == 0);
  if (err != 0) {
    // Only a form that cannot hold the record refuses: an empty matrix.
    RC_ASSERT(emptyMat);
    Free(kind, rec);
    return;
  }
  // Read it back, into nothing or into a record handed in.
  const bool reuseIt = *rc::gen::arbitrary<bool>();
  void* reuse = reuseIt ? Make(kind, mat ? *rc::gen::inRange(1, 3) : 1, *rc::gen::inRange(1, 4)) : nullptr;
  FILE* g = FileOf(image, image.size());
  int rerr = 0;
  void* back = Read(kind, g, reuse, &rerr);
  std::fclose(g);
  const bool emptyIV = kind == kIV && n == 0;
  if (emptyIV) {
    RC_ASSERT((back == nullptr && rerr == 0));
  } else {
    RC_LOG() << "read err " << rerr;
    RC_ASSERT((back != nullptr));
    RC_ASSERT(rerr == 0);
    RC_ASSERT(Values(kind, back) == Values(kind, rec));
    // ... and it writes the same bytes again.
    FILE* h = std::tmpfile();
    RC_ASSERT(Write(kind, h, back) == 0);
    RC_ASSERT(All(h) == image);
    std::fclose(h);
  }
  if (back != reuse) Free(kind, reuse);
  Free(kind, back);

  // Cut short: refused, the record handed in as it was.
  if (!image.empty()) {
    const size_t cut = static_cast<size_t>(*rc::gen::inRange<int>(0, static_cast<int>(image.size())));
    void* keep = Make(kind, mat ? 2 : 1, 2);
    const Bytes before = Snapshot(kind, keep);
    FILE* c = FileOf(image, cut);
    int cerr = 0;
    void* r = Read(kind, c, keep, &cerr);
    std::fclose(c);
    RC_LOG() << "cut at " << cut << " of " << image.size() << ": err " << cerr;
    RC_ASSERT((r == nullptr));
    RC_ASSERT(Snapshot(kind, keep) == before);
    Free(kind, keep);
  }

  // Garbled: one byte changed. Refused with the record as it was, or accepted and written
  // back as the bytes it read.
  if (!image.empty()) {
    Bytes bad = image;
    const size_t at = static_cast<size_t>(*rc::gen::inRange<int>(0, static_cast<int>(bad.size())));
    bad[at] = static_cast<unsigned char>(*rc::gen::inRange(0, 256));
    void* keep = Make(kind, mat ? 2 : 1, 2);
    const Bytes before = Snapshot(kind, keep);
    FILE* c = FileOf(bad, bad.size());
    int cerr = 0;
    void* r = Read(kind, c, keep, &cerr);
    std::fclose(c);
    RC_LOG() << "garbled byte " << at << ": err " << cerr;
    if (r == nullptr) {
      RC_ASSERT(Snapshot(kind, keep) == before);
    } else {
      FILE* h = std::tmpfile();
      RC_ASSERT(Write(kind, h, r) == 0);
      const Bytes again = All(h);
      std::fclose(h);
      // The form read is the leading part of the bytes (a garbled size may end it early).
      RC_ASSERT(again.size() <= bad.size());
      RC_ASSERT(again == Bytes(bad.begin(), bad.begin() + again.size()));
    }
    if (r != keep) Free(kind, r);
    Free(kind, keep);
  }

  // Short of memory: the read refuses and leaves the record handed in as it was.
  if (!emptyIV) {
    void* keep = Make(kind, mat ? 1 : 1, 1);
    const Bytes before = Snapshot(kind, keep);
    FILE* c = FileOf(image, image.size());
    int cerr = 0;
    kvrt::SetHeapBlocksLeft(*rc::gen::inRange(0, 3));
    void* r = Read(kind, c, keep, &cerr);
    const bool ran = kvrt::HeapBlocksRanOut();
    kvrt::SetHeapBlocksLeft(-1);
    std::fclose(c);
    if (r == nullptr) {
      RC_ASSERT(ran);
      RC_ASSERT(Snapshot(kind, keep) == before);
    } else {
      RC_ASSERT(Values(kind, r) == Values(kind, rec));
    }
    if (r != keep) Free(kind, r);
    Free(kind, keep);
  }
  Free(kind, rec);
}

// The sparse forms: CSP, SK and ZSK writers against forms built by the test; the sparse
// readers read nothing; the skyline file of a CSP matrix against the profile built here.
IVEC* IVOf(const std::vector<int>& v) {
  int st = 0;
  IVEC* x = _LM_iv_get("p", 0, static_cast<int>(v.size()), __LINE__, "p", &st);
  for (size_t i = 0; i < v.size(); ++i) x->ive[i] = v[i];
  return x;
}
void PutIV(Bytes& b, const std::vector<int>& v) {
  PutI(b, static_cast<uint32_t>(v.size()));
  for (int x : v) PutI(b, static_cast<uint32_t>(x));
}
void PutV(Bytes& b, const std::vector<double>& v) {
  PutI(b, static_cast<uint32_t>(v.size()));
  for (double x : v) PutD(b, x);
}

RC_GTEST_PROP(CmIo, SparseForms, ()) {
  kvtest::MsgCapture quiet;
  const int n = *rc::gen::inRange(1, 6);
  // Each row: some columns at or below the diagonal, ascending, then maybe some above.
  std::vector<int> count, cols;
  std::vector<double> vals;
  for (int i = 0; i < n; ++i) {
    std::vector<int> r;
    for (int j = 0; j <= i; ++j)
      if (*rc::gen::inRange(0, 3) == 0) r.push_back(j);
    for (int j = i + 1; j < n; ++j)
      if (*rc::gen::inRange(0, 4) == 0) r.push_back(j);
    count.push_back(static_cast<int>(r.size()));
    for (int c : r) cols.push_back(c), vals.push_back(*kvtest::AnyDouble());
  }
  const bool spoil = *rc::gen::weightedOneOf<bool>({{1, rc::gen::just(true)}, {4, rc::gen::just(false)}});
  if (spoil && !cols.empty()) cols[*rc::gen::inRange<size_t>(0, cols.size())] = *rc::gen::element(-1, n, n + 5);
  CSP A{n, n, IVOf(count), IVOf(cols), NewVEC(vals)};
  RC_LOG() << "n " << n << " entries " << cols.size() << (spoil ? " spoiled" : "");
  int err = 0;
  // The CSP form.
  FILE* f = std::tmpfile();
  csp_boutput(f, &A, &err);
  RC_ASSERT(err == 0);
  Bytes want;
  PutI(want, n);
  PutI(want, n);
  PutIV(want, count);
  PutIV(want, cols);
  PutV(want, vals);
  RC_ASSERT(All(f) == want);
  std::fclose(f);
  // The readers of the sparse forms read nothing.
  FILE* g = FileOf(want, want.size());
  err = 7;
  RC_ASSERT((csp_binput(g, &err) == nullptr && err == 0));
  err = 7;
  RC_ASSERT((sk_binput(g, &err) == nullptr && err == 0));
  err = 7;
  RC_ASSERT((zsk_binput(g, &err) == nullptr && err == 0));
  err = 7;
  RC_ASSERT((zcsp_binput(g, &err) == nullptr && err == 0));
  RC_ASSERT(std::ftell(g) == 0);
  std::fclose(g);
  err = 7;
  FILE* z = std::tmpfile();
  zcsp_boutput(z, nullptr, &err);
  RC_ASSERT(err == 0);
  RC_ASSERT(All(z).empty());
  std::fclose(z);

  // The skyline profile by hand: row i from its first stored column (the first entry) to
  // the diagonal, the last stored value of each place.
  bool valid = true;
  std::vector<int> ptr{1};
  std::vector<double> diag(n, 0.0), prof;
  size_t s = 0;
  for (int i = 0; i < n; ++i) {
    if (count[i] == 0) {
      ptr.push_back(ptr.back());
      continue;
    }
    const int first = cols[s];
    if (first < 0 || first > i) valid = false;
    for (int k = 0; k < count[i]; ++k)
      if (cols[s + k] < first || cols[s + k] >= n) valid = false;
    if (!valid) break;
    std::vector<double> row(static_cast<size_t>(i - first + 1), 0.0);
    for (int k = 0; k < count[i]; ++k) {
      const int c = cols[s + k];
      if (c == i) diag[i] = vals[s + k];
      if (c <= i) row[static_cast<size_t>(c - first)] = vals[s + k];
    }
    prof.insert(prof.end(), row.begin(), row.end());
    ptr.push_back(ptr.back() + i - first + 1);
    s += count[i];
  }
  char path[] = "/tmp/prop_cm_io_skXXXXXX";
  const int fd = mkstemp(path);
  RC_ASSERT(fd >= 0);
  close(fd);
  std::remove(path);
  err = 0;
  csp_2_sk_disk(&A, path, &err);
  FILE* sk = std::fopen(path, "rb");
  if (!valid) {
    RC_ASSERT(err == -1);
    RC_ASSERT((sk == nullptr));  // no file is made for a refused matrix
  } else {
    RC_ASSERT(err == 0);
    RC_ASSERT((sk != nullptr));
    Bytes skw;
    PutI(skw, n);
    PutI(skw, n);
    PutIV(skw, ptr);
    PutV(skw, diag);
    PutV(skw, prof);
    RC_ASSERT(All(sk) == skw);
    // The SK writer writes the same form from the record.
    SK rec{n, n, IVOf(ptr), NewVEC(prof.empty() ? std::vector<double>{} : prof), NewVEC(diag)};
    FILE* o = std::tmpfile();
    sk_boutput(o, &rec, &err);
    RC_ASSERT(err == 0);
    RC_ASSERT(All(o) == skw);
    std::fclose(o);
    // And the complex twin: profile pointers, then the two complex vectors.
    ZSK zrec{n, n, rec.profile_ptr, NewZVEC(std::vector<C>(diag.begin(), diag.end())), NewZVEC(std::vector<C>(prof.begin(), prof.end()))};
    FILE* zo = std::tmpfile();
    zsk_boutput(zo, &zrec, &err);
    RC_ASSERT(err == 0);
    Bytes zw;
    PutI(zw, n);
    PutI(zw, n);
    PutIV(zw, ptr);
    PutI(zw, static_cast<uint32_t>(diag.size()));
    for (double d : diag) PutD(zw, d), PutD(zw, 0.0);
    PutI(zw, static_cast<uint32_t>(prof.size()));
    for (double d : prof) PutD(zw, d), PutD(zw, 0.0);
    RC_ASSERT(All(zo) == zw);
    std::fclose(zo);
    zv_free(zrec.zfirst);
    zv_free(zrec.zsecond);
    iv_free(rec.profile_ptr);
    v_free(rec.profile);
    v_free(rec.diag);
  }
  if (sk) std::fclose(sk);
  std::remove(path);
  // NULL records are refused by every writer.
  FILE* nf = std::tmpfile();
  err = 0;
  csp_boutput(nf, nullptr, &err);
  RC_ASSERT(err == -1);
  err = 0;
  sk_boutput(nf, nullptr, &err);
  RC_ASSERT(err == -1);
  err = 0;
  zsk_boutput(nf, nullptr, &err);
  RC_ASSERT(err == -1);
  std::fclose(nf);
  iv_free(A.row_count);
  iv_free(A.col_index);
  v_free(A.value);
}

// Text forms: what the printer writes the reader reads, and printing that again gives the
// same text; a cut or garbled text is refused (the record handed in as it was) or read as
// something the printer prints back; dumps print without changing the record.
enum TKind { tM, tV, tPX, tIV, tLV, tKinds };

std::string Text(int kind, void* p) {
  FILE* f = std::tmpfile();
  switch (kind) {
    case tM: m_foutput(f, static_cast<MAT*>(p)); break;
    case tV: v_foutput(f, static_cast<VEC*>(p)); break;
    case tPX: px_foutput(f, static_cast<PERM*>(p)); break;
    case tIV: iv_foutput(f, static_cast<IVEC*>(p)); break;
    default: lv_foutput(f, static_cast<LVEC*>(p)); break;
  }
  const Bytes b = All(f);
  std::fclose(f);
  return std::string(b.begin(), b.end());
}
int KindOf(int t) { return t == tM ? kM : t == tV ? kV : t == tPX ? kPX : t == tIV ? kIV : kLV; }

void* ReadText(int kind, FILE* f, void* reuse, int* st, bool viaB) {
  *st = 0;
  switch (kind) {
    case tM: return viaB ? _LM_bm_finput(f, static_cast<MAT*>(reuse), __LINE__, "p", st) : _LM_m_finput(f, static_cast<MAT*>(reuse), __LINE__, "p", st);
    case tV: return viaB ? _LM_bfin_vec(f, static_cast<VEC*>(reuse), __LINE__, "p", st) : _LM_v_finput(f, static_cast<VEC*>(reuse), __LINE__, "p", st);
    case tPX: return viaB ? _LM_bpx_finput(f, static_cast<PERM*>(reuse), __LINE__, "p", st) : _LM_px_finput(f, static_cast<PERM*>(reuse), __LINE__, "p", st);
    case tIV: return viaB ? _LM_biv_finput(f, static_cast<IVEC*>(reuse), __LINE__, "p", st) : _LM_iv_finput(f, static_cast<IVEC*>(reuse), __LINE__, "p", st);
    default: return viaB ? _LM_blv_finput(f, static_cast<LVEC*>(reuse), __LINE__, "p", st) : _LM_lv_finput(f, static_cast<LVEC*>(reuse), __LINE__, "p", st);
  }
}

RC_GTEST_PROP(CmIo, TextFormsClose, ()) {
  kvtest::MsgCapture quiet;
  const int t = *rc::gen::inRange(0, static_cast<int>(tKinds));
  const int kind = KindOf(t);
  const int m = t == tM ? *rc::gen::inRange(1, 4) : 1;
  const int n = *rc::gen::inRange(1, 7);
  const bool viaB = *rc::gen::arbitrary<bool>();
  RC_LOG() << Name(kind) << " " << m << "x" << n << (viaB ? " (b reader)" : "");
  void* rec = Make(kind, m, n);
  const std::string text = Text(t, rec);
  RC_LOG() << text;
  // Dumps print and change nothing.
  {
    const Bytes before = Snapshot(kind, rec);
    FILE* d = std::tmpfile();
    int rc = 0;
    switch (t) {
      case tM: rc = m_dump(d, static_cast<MAT*>(rec)); break;
      case tV: rc = v_dump(d, static_cast<VEC*>(rec)); break;
      case tPX: rc = px_dump(d, static_cast<PERM*>(rec)); break;
      case tIV: rc = iv_dump(d, static_cast<IVEC*>(rec)); break;
      default: rc = lv_dump(d, static_cast<LVEC*>(rec)); break;
    }
    RC_ASSERT(rc >= 0);
    RC_ASSERT(!All(d).empty());
    std::fclose(d);
    RC_ASSERT(Snapshot(kind, rec) == before);
  }
  // The printed form reads back and prints the same text.
  Bytes tb(text.begin(), text.end());
  FILE* f = FileOf(tb, tb.size());
  int st = 0;
  void* back = ReadText(t, f, nullptr, &st, viaB);
  std::fclose(f);
  RC_LOG() << "read status " << st;
  RC_ASSERT((back != nullptr));
  RC_ASSERT(Text(t, back) == text);
  // Exact forms (integers, permutations) read back equal.
  if (t == tPX || t == tIV || t == tLV) RC_ASSERT(Values(kind, back) == Values(kind, rec));
  Free(kind, back);
  // Cut or garbled: refused with the record handed in as it was, or accepted and printed
  // back as a form the reader reads again to the same record.
  Bytes bad(text.begin(), text.end());
  const bool cutIt = *rc::gen::arbitrary<bool>();
  if (cutIt) bad.resize(static_cast<size_t>(*rc::gen::inRange<int>(0, static_cast<int>(bad.size()))));
  else bad[static_cast<size_t>(*rc::gen::inRange<int>(0, static_cast<int>(bad.size())))] = static_cast<unsigned char>(*rc::gen::element('x', '9', '-', ' ', '\n', '#', ':', '.', 'e', '\0'));
  void* keep = Make(kind, t == tM ? 2 : 1, 2);
  const Bytes before = Snapshot(kind, keep);
  FILE* c = FileOf(bad, bad.size());
  st = 0;
  void* r = ReadText(t, c, keep, &st, viaB);
  std::fclose(c);
  RC_LOG() << "damaged read: " << (r != nullptr) << " status " << st;
  if (r == nullptr || st != 0) {
    RC_ASSERT(Snapshot(kind, keep) == before);
    if (r != nullptr && r != keep) Free(kind, r);
  } else {
    const std::string again = Text(t, r);
    Bytes ab(again.begin(), again.end());
    FILE* h = FileOf(ab, ab.size());
    int st2 = 0;
    void* r2 = ReadText(t, h, nullptr, &st2, viaB);
    std::fclose(h);
    RC_ASSERT((r2 != nullptr));
    RC_ASSERT(Text(t, r2) == again);
    Free(kind, r2);
    if (r != keep) Free(kind, r);
  }
  Free(kind, keep);
  Free(kind, rec);
}

}  // namespace
