/* fuzz_cm_sparse.cpp: the binary readers of the sparse vectors VECM, VECMP and VECMW on
 * arbitrary bytes (a real file: the readers work on the descriptor). Several forms are read
 * one after another, into no record or into one that already holds entries; whatever comes
 * back is walked, converted and combined, so that a record the reader let through with a
 * broken index set or code shows up.
 * First byte: bits 0-1 the reader, bits 2-3 what is handed in (NULL, a small record, a
 * record with a few more entries, or NULL and then each result again), bit 4 a pipe in place
 * of the file, a stream whose size the readers cannot know. */
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "C_MessageTool.h"
#include "erreur.h"
#include "cm_fuzz.h"
#include "fuzz_support.h"
#include "matrix.h"
#include "vmorse.h"

using namespace kvfuzz;

namespace {

// Dense work only for dimensions that cost little: the reader's dim is a claim the harness
// would otherwise turn into an allocation of its own.
const int kDenseLimit = 1 << 16;

// A dense vector of dimension dim holding 1, 2, 3, ... (NULL above the limit).
VEC* Dense(int dim) {
  if (dim < 0 || dim > kDenseLimit) return nullptr;
  VEC* a = _LM_v_get("fuzz", 0, dim, 0, nullptr, nullptr);
  if (a != nullptr)
    for (unsigned i = 0; i < a->dim; ++i) a->ve[i] = 1.0 + i;
  return a;
}

// The sink for the text printers: they walk every stored entry.
FILE* Sink() {
  static FILE* sink = std::fopen("/dev/null", "w");
  return sink;
}

void Use(VECM* v) {
  Check(v->nnz >= 0 && v->nnz <= v->max_nnz && v->nnz <= v->dim);
  int st = 0;
  g_sink = LM_vecm_norm2(v, &st);
  vecm_output(v, Sink());
  // Every stored entry is found again through the tree (a NaN only as itself).
  for (int k = 0; k < v->nnz; ++k) {
    const double want = v->pool[k].val;
    const double got = LM_vecm_getval(v, v->pool[k].idx, &st);
    Check(got == want || (got != got && want != want));
  }
  VECMP* p = LM_vecm2vecmp(v, &st);
  Check(p != nullptr);
  vecmp_free(p);
  VECM* c = LM_vecm_copy(v, nullptr, &st);
  if (c != nullptr) {
    LM_vecm_daxpy(v, 0.5, c, &st);
    vecm_free(c);
  }
  if (VEC* a = Dense(v->dim)) {
    g_sink = LM_pscal_vvecm(a, v, &st);
    VEC* d = LM_vecm2vec(v, nullptr, &st);
    v_free(d);
    v_free(a);
  }
}

void Use(VECMP* v) {
  Check(v->nnz >= 0 && v->nnz <= v->dim);
  int st = 0;
  g_sink = LM_vecmp_norm2(v, &st);
  vecmp_output(v, Sink());
  VECM* m = LM_vecmp2vecm(v, &st);
  Check(m != nullptr);
  vecm_free(m);
  VECMW* w = LM_vecmp2vecmw(v, &st);
  if (w != nullptr) vecmw_free(w);
  if (VEC* a = Dense(v->dim)) {
    g_sink = LM_pscal_vvecmp(a, v, &st);
    VEC* out = _LM_vvecmp_mltadd(a, v, 2.0, nullptr, __LINE__, "fuzz", &st);
    v_free(out);
    out = _LM_vvecmp_daxpy_idx(nullptr, v, 0, 1.0, nullptr, __LINE__, "fuzz", &st);
    v_free(out);
    v_free(a);
  }
}

void Use(VECMW* v) {
  Check(v->nval >= 0 && v->nval <= v->dim && v->ncode >= 0);
  int st = 0;
  g_sink = LM_vecmw_norm2(v, &st);
  g_sink = LM_vecmw_sizebloc(v, &st);
  vecmw_output(v, Sink());
  VECM* m = LM_vecmw2vecm(v, &st);
  Check(m != nullptr);
  vecm_free(m);
  VECMW* c = LM_vecmw_copy(v, nullptr, &st);
  if (c != nullptr) vecmw_free(c);
  if (VEC* a = Dense(v->dim)) {
    g_sink = LM_pscal_vvecmw(a, v, &st);
    VEC* out = _LM_vvecmw_mltadd(a, v, 2.0, nullptr, __LINE__, "fuzz", &st);
    v_free(out);
    out = LM_vecmw2vec(v, nullptr, &st);
    v_free(out);
    // Gather through every third index.
    IVEC* list = _LM_iv_get("fuzz", 0, (v->dim + 2) / 3, 0, nullptr, nullptr);
    if (list != nullptr) {
      for (unsigned i = 0; i < list->dim; ++i) list->ive[i] = static_cast<int>(3 * i);
      out = _LM_vvecmw_daxpy_idx(list, v, 1, 1.0, nullptr, __LINE__, "fuzz", &st);
      v_free(out);
      iv_free(list);
    }
    out = _LM_vvecmw_daxpy_idx(nullptr, v, 0, 1.0, nullptr, __LINE__, "fuzz", &st);
    v_free(out);
    v_free(a);
  }
}

// The bytes of a record: its header and every element of its blocks, to show a record
// handed in untouched by a refused read.
template <class T>
void Append(std::vector<unsigned char>& out, const T* p, size_t count) {
  if (p == nullptr) return;
  const unsigned char* c = reinterpret_cast<const unsigned char*>(p);
  for (size_t i = 0; i < count * sizeof(T); ++i) out.push_back(c[i]);
}
std::vector<unsigned char> Snap(const VECM* v) {
  std::vector<unsigned char> b;
  Append(b, v, 1);
  Append(b, v->pool, static_cast<size_t>(v->max_nnz));
  return b;
}
std::vector<unsigned char> Snap(const VECMP* v) {
  std::vector<unsigned char> b;
  Append(b, v, 1);
  const size_t n = v->nnz > 0 ? static_cast<size_t>(v->nnz) : 1;
  Append(b, v->idx, n);
  Append(b, v->val, n);
  return b;
}
std::vector<unsigned char> Snap(const VECMW* v) {
  std::vector<unsigned char> b;
  Append(b, v, 1);
  Append(b, v->code, static_cast<size_t>(v->ncode));
  Append(b, v->val, static_cast<size_t>(v->nval));
  return b;
}

// Records handed in: built from a dense vector with a run and a single entry, of dimension 5
// (small) or 40 (more entries).
VEC* Seed(int mode) {
  VEC* a = _LM_v_get("fuzz", 0, mode == 1 ? 5 : 40, 0, nullptr, nullptr);
  if (a == nullptr) return nullptr;
  for (unsigned i = 0; i < a->dim; ++i) a->ve[i] = (i % 4 == 2) ? 0.0 : 1.5 * i;
  return a;
}

struct VecmOps {
  using R = VECM;
  static R* Make(VEC* a, int* st) { return LM_vec2vecm(a, st); }
  static R* Read(FILE* fp, R* r, int* st) { return LM_vecm_binput(fp, r, st); }
  static void Free(R* r) { vecm_free(r); }
};
struct VecmpOps {
  using R = VECMP;
  static R* Make(VEC* a, int* st) { return LM_vec2vecmp(a, st); }
  static R* Read(FILE* fp, R* r, int* st) { return LM_vecmp_binput(fp, r, st); }
  static void Free(R* r) { vecmp_free(r); }
};
struct VecmwOps {
  using R = VECMW;
  static R* Make(VEC* a, int* st) { return LM_vec2vecmw(a, st); }
  static R* Read(FILE* fp, R* r, int* st) { return LM_vecmw_binput(fp, r, st); }
  static void Free(R* r) { vecmw_free(r); }
};

// Up to four forms from fp. A record handed in comes back filled, or stays usable after a
// refusal. Mode 0 hands in NULL each time, mode 3 hands each result in to the next read.
template <class Ops>
void Run(FILE* fp, int mode) {
  using R = typename Ops::R;
  R* held = nullptr;
  if (mode == 1 || mode == 2) {
    VEC* a = Seed(mode);
    int st = 0;
    held = a != nullptr ? Ops::Make(a, &st) : nullptr;
    v_free(a);
  }
  for (int k = 0; k < 4; ++k) {
    int st = 0;
    const std::vector<unsigned char> before = held != nullptr ? Snap(held) : std::vector<unsigned char>();
    R* r = Ops::Read(fp, held, &st);
    if (r != nullptr) {
      Check(st == 0);
      if (held == nullptr) held = r;
      Check(r == held);
    } else {
      Check(st == -1);
      if (held != nullptr) Check(Snap(held) == before);
    }
    if (held != nullptr) Use(held);
    if (r == nullptr) break;
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
  const int reader = data[0] & 3;
  const int mode = (data[0] >> 2) & 3;
  kvfuzz::InputStream in(data + 1, size - 1, (data[0] >> 4) & 1);
  FILE* fp = in.Get();
  _LM_err_status = 0;
  switch (reader) {
    case 0: Run<VecmOps>(fp, mode); break;
    case 1: Run<VecmpOps>(fp, mode); break;
    default: Run<VecmwOps>(fp, mode); break;
  }
  return 0;
}
