// lmb_io.cpp: the binary form of bit vectors: a four-int header, then the integer lists of
// the storage kind in the IVEC binary form. A form is read whole and checked against its
// header before a record is handed out, so damaged files never yield an unsafe record.
#include "bf.h"
#include "bvec.h"
#include "cmatrix/lm_status.h"
#include "cmatrix/lmb_internal.h"
#include "matrix_bf.h"

using kvlm::LmOp;
using namespace kvbv;

namespace {

// Reads one list of at least need entries (an empty form stands for an empty list, allowed
// when need is 0); null when the read fails or the list is too short.
IVEC* ReadList(FILE* fp, int need, int* status) {
  int err = 0;
  IVEC* list = _LM_iv_binput(fp, nullptr, __LINE__, "_LM_bv_binput", &err);
  if (err != 0) return nullptr;
  if (list == nullptr) {
    if (need != 0) return nullptr;
    return _LM_iv_get("_LM_bv_binput", 0, 0, __LINE__, "_LM_bv_binput", status);
  }
  if (static_cast<long long>(list->dim) < need) {
    iv_free(list);
    return nullptr;
  }
  return list;
}

// The lists agree with the header: sorted runs and increasing elements inside the set,
// flags 0 or 1.
bool Consistent(const BVEC* bv) {
  switch (bv->type_stockage) {
    case kBloc:
      for (int k = 0; k < bv->nb_blocs; ++k) {
        const int deb = bv->deb_blocs->ive[k], fin = bv->fin_blocs->ive[k];
        if (deb < 0 || fin < deb || fin >= bv->nb_ddl) return false;
        if (k > 0 && deb < bv->fin_blocs->ive[k - 1]) return false;
      }
      return true;
    case kIvec:
      for (int k = 0; k < bv->nb_blocs; ++k) {
        const int e = bv->code->ive[k];
        if (e < 0 || e >= bv->nb_ddl || (k > 0 && e <= bv->code->ive[k - 1])) return false;
      }
      return true;
    case kDirect:
      for (int k = 0; k < bv->nb_ddl; ++k)
        if (bv->code->ive[k] != 0 && bv->code->ive[k] != 1) return false;
      return true;
    default:
      return true;
  }
}

}  // namespace

extern "C" {

KVELO_API int _LM_bv_boutput(FILE* fp, BVEC* bv) {
  const int head[4] = {bv != nullptr ? bv->type_stockage : -1, bv != nullptr ? bv->nb_ddl : 0,
                       bv != nullptr ? bv->nb_blocs : 0, bv != nullptr ? bv->max_blocs : 0};
  if (BF_fwrite_int(fp, head, 4) != 0) return -1;
  if (bv == nullptr) return 0;
  int err = 0;
  switch (bv->type_stockage) {
    case kBloc:
      iv_boutput(fp, bv->deb_blocs, &err);
      if (err == 0) iv_boutput(fp, bv->fin_blocs, &err);
      break;
    case kCodage:
    case kIvec:
    case kDirect:
      iv_boutput(fp, bv->code, &err);
      break;
    default:
      break;
  }
  return err != 0 ? -1 : 0;
}

KVELO_API BVEC* _LM_bv_binput(FILE* fp, int* status) {
  LmOp op(kFile, "_LM_bv_binput", __LINE__, "_LM_bv_binput", status);
  int head[4];
  if (BF_fread_int(fp, head, 4) != 0) {
    *op.st() = -1;
    Trace("_LM_bv_binput", __LINE__);
    return nullptr;
  }
  const int kind = head[0], nb_ddl = head[1], nb_blocs = head[2], max_blocs = head[3];
  auto refuse = [&](BVEC* bv, int line) -> BVEC* {
    if (bv != nullptr) DropRecord(bv);
    if (!op.failed()) *op.st() = -1;
    Trace("_LM_bv_binput", line);
    return nullptr;
  };
  // The header's counts are checked before any list is read.
  bool headerOk = true;
  switch (kind) {
    case kBloc:
    case kIvec:
      headerOk = nb_ddl >= 0 && max_blocs >= 0 && nb_blocs >= 0 && nb_blocs <= max_blocs;
      break;
    case kCodage:
      headerOk = nb_ddl >= 0 && nb_blocs >= WordCount(nb_ddl);
      break;
    case kDirect:
      headerOk = nb_ddl >= 0 && max_blocs == nb_ddl;
      break;
    case kTout:
      headerOk = nb_ddl >= 0;
      break;
    default:
      break;
  }
  if (!headerOk) return refuse(nullptr, __LINE__);
  BVEC* bv = NewRecord("_LM_bv_binput", 0, kind, nb_ddl);
  if (bv == nullptr) LM_FAIL(op, 3, nullptr);
  bv->nb_blocs = nb_blocs;
  bv->max_blocs = max_blocs;
  switch (kind) {
    case kBloc:
      bv->deb_blocs = ReadList(fp, max_blocs, op.st());
      if (bv->deb_blocs == nullptr) return refuse(bv, __LINE__);
      bv->fin_blocs = ReadList(fp, max_blocs, op.st());
      if (bv->fin_blocs == nullptr) return refuse(bv, __LINE__);
      break;
    case kCodage:
      bv->code = ReadList(fp, nb_blocs, op.st());
      if (bv->code == nullptr) return refuse(bv, __LINE__);
      break;
    case kIvec:
    case kDirect:
      bv->code = ReadList(fp, max_blocs, op.st());
      if (bv->code == nullptr) return refuse(bv, __LINE__);
      break;
    default:
      break;
  }
  if (!Consistent(bv)) return refuse(bv, __LINE__);
  return op.done(bv);
}

}  // extern "C"
