/* fuzz_cm_text.cpp: the text readers of the C matrix library (MAT, VEC, PERM, IVEC, LVEC) on
 * arbitrary bytes, several records read one after another from one stream, into no record or
 * into a record of another size. A form read whole comes back in the record handed in (grown
 * or cut down to it); a refused one leaves that record byte for byte as it was.
 * First byte: bits 0-2 the reader, bits 3-4 what is handed in (NULL, a 1-element record, a
 * 7-element or 3 x 5 record, or NULL and then each result again), bit 5 a pipe in place of a
 * file. */
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "C_MessageTool.h"
#include "cm_fuzz.h"
#include "cmat_snap.h"
#include "erreur.h"
#include "fuzz_support.h"
#include "matrix.h"

using namespace kvfuzz;

namespace {

struct MatOps {
  using R = MAT;
  static R* Make(int k) { return _LM_m_get("fuzz", 0, k == 1 ? 1 : 3, k == 1 ? 1 : 5, 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_m_finput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { m_free(r); }
  static void Valid(R* r, bool) { Touch(r); }
};
struct VecOps {
  using R = VEC;
  static R* Make(int k) { return _LM_v_get("fuzz", 0, k == 1 ? 1 : 7, 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_v_finput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { v_free(r); }
  static void Valid(R* r, bool) { Touch(r); }
};
struct PermOps {
  using R = PERM;
  static R* Make(int k) { return _LM_px_get("fuzz", 0, k == 1 ? 1 : 7, 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_px_finput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { px_free(r); }
  static void Valid(R* r, bool read) {
    Touch(r);
    if (read) CheckPermutation(r);
  }
};
struct IvecOps {
  using R = IVEC;
  static R* Make(int k) { return _LM_iv_get("fuzz", 0, k == 1 ? 1 : 7, 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_iv_finput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { iv_free(r); }
  static void Valid(R* r, bool) { Touch(r); }
};
struct LvecOps {
  using R = LVEC;
  static R* Make(int k) { return _LM_lv_get("fuzz", 0, k == 1 ? 1 : 7, 0, nullptr, nullptr); }
  static R* Read(FILE* fp, R* r, int* st) { return _LM_lv_finput(fp, r, __LINE__, "fuzz", st); }
  static void Free(R* r) { lv_free(r); }
  static void Valid(R* r, bool) { Touch(r); }
};

// Up to four records from fp. A record handed in stays the caller's: the reader returns it
// (resized) with the status 0, or refuses the form (NULL; the vector reader after a bad
// value: the record handed in, with the status -1) and leaves it exactly as it was. Mode 0
// hands in NULL each time, mode 3 hands each result in to the next read.
template <class Ops>
void Run(FILE* fp, int mode) {
  using R = typename Ops::R;
  R* held = (mode == 1 || mode == 2) ? Ops::Make(mode) : nullptr;
  for (int k = 0; k < 4; ++k) {
    int st = 0;
    const cmat_test::RecordBytes before = held != nullptr ? cmat_test::Snap(held) : cmat_test::RecordBytes();
    R* r = Ops::Read(fp, held, &st);
    Check(st == 0 || st == -1);
    if (st == 0) {
      Check(r != nullptr);
      Ops::Valid(r, true);
      if (held == nullptr) held = r;
      Check(r == held);  // a record handed in is the one that comes back
    } else {
      Check(r == nullptr || r == held);
      if (held != nullptr) Check(cmat_test::Snap(held) == before);
    }
    if (held != nullptr) Ops::Valid(held, false);
    if (st != 0) break;
    if (mode == 0) {
      Ops::Free(held);
      held = nullptr;
    }
  }
  if (held != nullptr) Ops::Free(held);
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
  switch (reader % 5) {
    case 0: Run<MatOps>(fp, mode); break;
    case 1: Run<VecOps>(fp, mode); break;
    case 2: Run<PermOps>(fp, mode); break;
    case 3: Run<IvecOps>(fp, mode); break;
    default: Run<LvecOps>(fp, mode); break;
  }
  return 0;
}
