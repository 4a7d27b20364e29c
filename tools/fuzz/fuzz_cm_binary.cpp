/* fuzz_cm_binary.cpp: the portable binary readers of the C matrix library (IVEC, LVEC, VEC,
 * ZVEC, PERM, MAT, ZMAT) and of its bit vectors on arbitrary bytes. The readers work on the
 * stream's descriptor, so the bytes are a real file. Several forms are read one after another,
 * into no record or into one of another size, which must come back resized or untouched.
 * First byte: bits 0-2 the reader, bits 3-4 what is handed in (NULL, a 1-element record, a
 * 7-element or 3 x 5 record, or NULL and then each result again), bit 5 a pipe in place of
 * the file, a stream whose size the readers cannot know. */
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "C_MessageTool.h"
#include "bvec.h"
#include "erreur.h"
#include "cm_fuzz.h"
#include "cmat_snap.h"
#include "fuzz_support.h"
#include "matrix.h"
#include "matrix_bf.h"
#include "zmatrix.h"

using namespace kvfuzz;

namespace {

// Sizes of a record handed in: 1 element, or 7 (3 x 5 for a matrix).
int Dim(int mode) { return mode == 1 ? 1 : 7; }
int Rows(int mode) { return mode == 1 ? 1 : 3; }
int Cols(int mode) { return mode == 1 ? 1 : 5; }

struct IvOps {
  using R = IVEC;
  static R* Make(int k) { return _LM_iv_get("fuzz", 0, Dim(k), 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_iv_binput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { iv_free(r); }
};
struct LvOps {
  using R = LVEC;
  static R* Make(int k) { return _LM_lv_get("fuzz", 0, Dim(k), 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_lv_binput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { lv_free(r); }
};
struct VOps {
  using R = VEC;
  static R* Make(int k) { return _LM_v_get("fuzz", 0, Dim(k), 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_v_binput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { v_free(r); }
};
struct ZvOps {
  using R = ZVEC;
  static R* Make(int k) { return _LM_zv_get("fuzz", 0, Dim(k), 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_zv_binput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { zv_free(r); }
};
struct PxOps {
  using R = PERM;
  static R* Make(int k) { return _LM_px_get("fuzz", 0, Dim(k), 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_px_binput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { px_free(r); }
};
struct MOps {
  using R = MAT;
  static R* Make(int k) { return _LM_m_get("fuzz", 0, Rows(k), Cols(k), 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_m_binput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { m_free(r); }
};
struct ZmOps {
  using R = ZMAT;
  static R* Make(int k) { return _LM_zm_get("fuzz", 0, Rows(k), Cols(k), 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_zm_binput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { zm_free(r); }
};

// The bytes of a record, header and blocks, to show a record handed in untouched by a failed
// read.
using cmat_test::Snap;

// A permutation read successfully must be one.
void CheckRead(const PERM* px) {
  bool* seen = new bool[px->size]();
  for (unsigned i = 0; i < px->size; ++i) {
    Check(px->pe[i] < px->size && !seen[px->pe[i]]);
    seen[px->pe[i]] = true;
  }
  delete[] seen;
}
template <class R>
void CheckRead(const R*) {}

// Up to four forms from fp. A record handed in stays the caller's: the reader returns it
// (resized), or NULL and leaves it usable. An IVEC form of dimension 0 reads as NULL with
// status 0. Mode 0 hands in NULL each time, mode 3 hands each result in to the next read.
template <class Ops>
void Run(FILE* fp, int mode) {
  using R = typename Ops::R;
  R* held = (mode == 1 || mode == 2) ? Ops::Make(mode) : nullptr;
  for (int k = 0; k < 4; ++k) {
    int st = 0;
    const cmat_test::RecordBytes before = held != nullptr ? Snap(held) : cmat_test::RecordBytes();
    R* r = Ops::Read(fp, held, &st);
    if (r != nullptr) {
      Check(st == 0);
      Touch(r);
      CheckRead(r);
      if (held == nullptr) held = r;
      Check(r == held);
    } else if (held != nullptr) {
      Check(Snap(held) == before);  // refused (or an empty IVEC form): untouched
    }
    if (held != nullptr) Touch(held);
    if (st != 0) break;
    if (mode == 0 && held != nullptr) {
      Ops::Free(held);
      held = nullptr;
    }
  }
  if (held != nullptr) Ops::Free(held);
}

// Bit vectors: a new record each time (of any kind the header names: the reader lets an
// unknown kind through with its header only); used a little (count, copy, conversion) when
// the set is small enough to walk quickly.
void RunBitVectors(FILE* fp) {
  for (int k = 0; k < 4; ++k) {
    int st = 0;
    BVEC* bv = _LM_bv_binput(fp, &st);
    if (bv == nullptr) {
      Check(st == -1);
      return;
    }
    Check(st == 0);
    if (bv->nb_ddl >= 0 && bv->nb_ddl <= (1 << 16)) {
      g_sink = _LM_bv_nb_on(bv);
      for (int i = 0; i < bv->nb_ddl && i < 64; ++i) g_sink = _LM_bv_is_on(bv, i);
      int cst = 0;
      BVEC* copy = _LM_bv_copy(bv, nullptr, "fuzz", &cst);
      if (copy != nullptr) _LM_bv_free(copy);
      IVEC* flags = _LM_bv_to_ivec(bv, nullptr, &cst);
      if (flags != nullptr) iv_free(flags);
    }
    _LM_bv_free(bv);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvfuzz::SilenceMessages();
  if (size < 1) return 0;
  const int reader = data[0] & 7;
  const int mode = (data[0] >> 3) & 3;
  kvfuzz::InputStream in(data + 1, size - 1, (data[0] >> 5) & 1);
  FILE* fp = in.Get();
  _LM_err_status = 0;
  switch (reader) {
    case 0: Run<IvOps>(fp, mode); break;
    case 1: Run<LvOps>(fp, mode); break;
    case 2: Run<VOps>(fp, mode); break;
    case 3: Run<ZvOps>(fp, mode); break;
    case 4: Run<PxOps>(fp, mode); break;
    case 5: Run<MOps>(fp, mode); break;
    case 6: Run<ZmOps>(fp, mode); break;
    default: RunBitVectors(fp); break;
  }
  return 0;
}
