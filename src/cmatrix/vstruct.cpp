// vstruct.cpp: structured vectors: lists of records of one type, either one record per item
// or packed (all items' elements in one block, in memory or in a mapped temporary file),
// with their creation, resizing, store and reload of out-of-core packs, copies, release, and
// a few vector operations applied to one item.
#include <cstdarg>
#include <cstring>

#include "bvec.h"
#include "cmatrix/lm_status.h"
#include "erreur.h"
#include "kvelomem_ooc.h"
#include "matrix.h"
#include "meminfo.h"
#include "vmorse.h"
#include "vstruct.h"
#include "zmatrix.h"

using kvlm::LmOp;

namespace {

const char kFile[] = "vstruct";

int Trace(int line) { return fct_Trace("aff_lieu", line, kFile); }

bool Packable(int type) {
  return type == TYPE_MAT || type == TYPE_VEC || type == TYPE_IVEC || type == TYPE_ZVEC || type == TYPE_ZMAT;
}
bool IsMatrix(int type) { return type == TYPE_MAT || type == TYPE_ZMAT; }
size_t ElemSize(int type) {
  switch (type) {
    case TYPE_IVEC: return sizeof(int);
    case TYPE_ZVEC:
    case TYPE_ZMAT: return sizeof(kvelo_complex);
    default: return sizeof(double);
  }
}

// Largest pack the lists accept, in bytes: what a pointer difference can span.
const unsigned __int128 kMaxPackBytes = static_cast<unsigned __int128>(PTRDIFF_MAX) / 2;

// Elements of one item of shape n (vectors) or n x m (matrices).
unsigned __int128 ItemElems(int type, int n, int m) {
  return IsMatrix(type) ? static_cast<unsigned __int128>(n) * static_cast<unsigned>(m) : static_cast<unsigned>(n);
}

/* ------------------------------------------------------------------ the pack -------- */

// An in-core pack is preceded by a small head holding its size, so that the list always
// knows how many bytes its pack holds, whatever its item count says.
struct PackHead {
  size_t bytes;
  size_t pad;  // keeps the elements 16-byte aligned
};

bool OutOfCore(const VSTRUCT* vs) { return vs->unit != nullptr && kvelomem_ismapped(vs->unit) == 1; }

// An out-of-core pack whose view is released (by a store, or a remap that was lost): its
// items point into no mapping until a reload, so nothing may read or write them.
bool Stored(const VSTRUCT* vs) { return vs->unit != nullptr && vs->unit->state != 'Y'; }

size_t PackBytes(const VSTRUCT* vs) {
  if (vs->pack == nullptr) return 0;
  if (vs->unit != nullptr) {
    int st = 0;
    return static_cast<size_t>(kvelomem_get_mapped_size(vs->unit, "vstruct", __LINE__, &st));
  }
  return (static_cast<const PackHead*>(vs->pack) - 1)->bytes;
}

// A zeroed in-core pack of bytes bytes, or null.
void* NewCorePack(size_t bytes, const char* tag) {
  PackHead* h = static_cast<PackHead*>(kvlm::Calloc(1, sizeof(PackHead) + bytes, tag));
  if (h == nullptr) return nullptr;
  h->bytes = bytes;
  return h + 1;
}

void FreePack(VSTRUCT* vs) {
  if (vs->pack == nullptr && vs->unit == nullptr) return;
  if (vs->unit != nullptr) {
    int st = 0;
    kvelomem_free_ooc(vs->unit, 1, "vs_free", kFile, __LINE__, &st);
    vs->unit = nullptr;
  } else {
    kvlm::Free(static_cast<PackHead*>(vs->pack) - 1);
  }
  vs->pack = nullptr;
}

// Gives the pack bytes bytes (contents kept up to the smaller size; an out-of-core pack is
// mapped again in every case). False with the status -1 when that fails.
bool ResizePack(VSTRUCT* vs, size_t bytes, const char* tag, int line, const char* callerName, int* status) {
  if (vs->unit != nullptr) {
    MMAP_HANDLE* u = kvelomem_realloc_ooc(vs->unit, bytes, nullptr, tag, kFile, line, status);
    if (u == nullptr) {
      if (*status == 0) *status = -1;
      return false;
    }
    vs->unit = u;
    vs->pack = u->address;
    return true;
  }
  PackHead* h = static_cast<PackHead*>(vs->pack) - 1;
  if (h->bytes == bytes) return true;
  void* grown = kvlm::Realloc(h, sizeof(PackHead) + bytes, tag);
  if (grown == nullptr) {
    _LM_error(kFile, 3, __LINE__, "_LM_vs_resize_liste_pack", 0, line, callerName);
    *status = _LM_err_status;
    return false;
  }
  h = static_cast<PackHead*>(grown);
  h->bytes = bytes;
  vs->pack = h + 1;
  return true;
}

/* ------------------------------------------------------------------ packed headers -- */

// Bytes a packed item header holds (counted under VSTRUCT).
int64_t HeaderBytes(int type, const void* item) {
  switch (type) {
    case TYPE_MAT: return static_cast<int64_t>(sizeof(MAT)) + static_cast<const MAT*>(item)->max_m * sizeof(double*);
    case TYPE_ZMAT:
      return static_cast<int64_t>(sizeof(ZMAT)) + static_cast<const ZMAT*>(item)->max_m * sizeof(kvelo_complex*);
    case TYPE_VEC: return sizeof(VEC);
    case TYPE_IVEC: return sizeof(IVEC);
    default: return sizeof(ZVEC);
  }
}

void FreeHeader(int type, void* item) {
  if (item == nullptr) return;
  kvlm::AccountBytes(TYPE_VSTRUCT, HeaderBytes(type, item), 0);
  if (type == TYPE_MAT) kvlm::Free(static_cast<MAT*>(item)->me);
  if (type == TYPE_ZMAT) kvlm::Free(static_cast<ZMAT*>(item)->me);
  kvlm::Free(item);
}

// Gives a matrix header a row table of at least rows entries; false when memory is short.
template <class M, class E>
bool EnsureRows(M* A, int rows) {
  const unsigned want = rows > 0 ? static_cast<unsigned>(rows) : 1u;
  if (A->me != nullptr && A->max_m >= want) return true;
  void* t = kvlm::Realloc(A->me, want * sizeof(E*), "vstruct");
  if (t == nullptr) return false;
  kvlm::AccountBytes(TYPE_VSTRUCT, static_cast<int64_t>(A->max_m) * sizeof(E*), static_cast<int64_t>(want) * sizeof(E*));
  A->me = static_cast<E**>(t);
  A->max_m = want;
  return true;
}

// A new matrix header with an empty row table of rows entries, or null.
template <class M, class E>
M* NewMatrixHeader(int rows) {
  M* A = static_cast<M*>(kvlm::Calloc(1, sizeof(M), "vstruct"));
  if (A != nullptr && !EnsureRows<M, E>(A, rows)) {
    kvlm::Free(A);
    return nullptr;
  }
  return A;
}

// A new header of the type with an empty row table of rows entries, or null.
void* NewHeader(int type, int rows) {
  void* h = nullptr;
  switch (type) {
    case TYPE_MAT: h = NewMatrixHeader<MAT, double>(rows); break;
    case TYPE_ZMAT: h = NewMatrixHeader<ZMAT, kvelo_complex>(rows); break;
    case TYPE_VEC: h = kvlm::Calloc(1, sizeof(VEC), "vstruct"); break;
    case TYPE_IVEC: h = kvlm::Calloc(1, sizeof(IVEC), "vstruct"); break;
    default: h = kvlm::Calloc(1, sizeof(ZVEC), "vstruct"); break;
  }
  if (h == nullptr) return nullptr;
  // The table bytes were counted by EnsureRows; the header itself is counted here.
  const int64_t own = IsMatrix(type) ? (type == TYPE_MAT ? sizeof(MAT) : sizeof(ZMAT)) : HeaderBytes(type, h);
  kvlm::AccountBytes(TYPE_VSTRUCT, 0, own);
  return h;
}

// Points a real or complex vector header at n elements from place (a view: no capacity).
template <class V, class E>
void PointVector(void* item, int n, char* place) {
  V* v = static_cast<V*>(item);
  v->dim = static_cast<unsigned>(n);
  v->max_dim = 0;
  v->ve = reinterpret_cast<E*>(place);
}

// Points the n rows of m elements of a matrix header into place (a view: no element block).
template <class M, class E>
void PointMatrix(void* item, int n, int m, char* place) {
  M* A = static_cast<M*>(item);
  A->m = static_cast<unsigned>(n);
  A->n = static_cast<unsigned>(m);
  A->max_n = static_cast<unsigned>(m);
  A->max_size = 0;
  A->base = nullptr;
  for (int j = 0; j < n; ++j) A->me[j] = reinterpret_cast<E*>(place) + static_cast<size_t>(j) * m;
}

// Points header i of a packed list at its place for shape n or n x m. Views own nothing:
// vector views have no capacity, matrix views no element block.
void PointHeader(VSTRUCT* vs, int i, int n, int m) {
  const size_t item = static_cast<size_t>(ItemElems(vs->type, n, m));
  char* place = static_cast<char*>(vs->pack) + static_cast<size_t>(i) * item * ElemSize(vs->type);
  switch (vs->type) {
    case TYPE_VEC: PointVector<VEC, double>(vs->items[i], n, place); break;
    case TYPE_IVEC: {
      IVEC* v = static_cast<IVEC*>(vs->items[i]);
      v->dim = v->max_dim = static_cast<unsigned>(n);
      v->ive = reinterpret_cast<int*>(place);
      break;
    }
    case TYPE_ZVEC: PointVector<ZVEC, kvelo_complex>(vs->items[i], n, place); break;
    case TYPE_MAT: PointMatrix<MAT, double>(vs->items[i], n, m, place); break;
    case TYPE_ZMAT: PointMatrix<ZMAT, kvelo_complex>(vs->items[i], n, m, place); break;
    default:
      break;
  }
}

// Shape of a packed item (vectors: n and 0).
void ShapeOf(int type, const void* item, int* n, int* m) {
  *n = *m = 0;
  if (item == nullptr) return;
  switch (type) {
    case TYPE_MAT:
      *n = static_cast<int>(static_cast<const MAT*>(item)->m);
      *m = static_cast<int>(static_cast<const MAT*>(item)->n);
      break;
    case TYPE_ZMAT:
      *n = static_cast<int>(static_cast<const ZMAT*>(item)->m);
      *m = static_cast<int>(static_cast<const ZMAT*>(item)->n);
      break;
    case TYPE_VEC: *n = static_cast<int>(static_cast<const VEC*>(item)->dim); break;
    case TYPE_IVEC: *n = static_cast<int>(static_cast<const IVEC*>(item)->dim); break;
    case TYPE_ZVEC: *n = static_cast<int>(static_cast<const ZVEC*>(item)->dim); break;
    default: break;
  }
}

/* ------------------------------------------------------------------ unpacked items -- */

// Frees an unpacked item by its type's free function (unknown types own nothing here).
void FreeItem(int type, void* item) {
  if (item == nullptr) return;
  switch (type) {
    case TYPE_MAT: m_free(static_cast<MAT*>(item)); break;
    case TYPE_VEC: v_free(static_cast<VEC*>(item)); break;
    case TYPE_IVEC: iv_free(static_cast<IVEC*>(item)); break;
    case TYPE_ZVEC: zv_free(static_cast<ZVEC*>(item)); break;
    case TYPE_ZMAT: zm_free(static_cast<ZMAT*>(item)); break;
    case TYPE_VECM: vecm_free(static_cast<VECM*>(item)); break;
    case TYPE_VECMP: vecmp_free(static_cast<VECMP*>(item)); break;
    case TYPE_VECMW: vecmw_free(static_cast<VECMW*>(item)); break;
    case TYPE_BVEC: _LM_bv_free(static_cast<BVEC*>(item)); break;
    default: break;
  }
}

// Closes the static-work mark for the time items are made or freed, and reopens it after.
class MarkPause {
 public:
  explicit MarkPause(bool pause) : saved_(pause ? mem_stat_show_mark() : 0) {
    if (pause) mem_stat_mark(0);
  }
  ~MarkPause() {
    if (saved_ > 0) mem_stat_mark(saved_);
  }
  MarkPause(const MarkPause&) = delete;
  MarkPause& operator=(const MarkPause&) = delete;

 private:
  int saved_;
};

// A new record with a table of max(dim, 1) NULL slots, counted; null when memory is short.
VSTRUCT* NewList(const char* caller, int context, int type, int dim) {
  VSTRUCT* vs = static_cast<VSTRUCT*>(kvelomem_calloc(1, sizeof(VSTRUCT), caller, context, __FILE__, __LINE__));
  if (vs == nullptr) return nullptr;
  vs->max_dim = dim > 0 ? dim : 1;
  vs->items = static_cast<void**>(
      kvelomem_calloc(static_cast<size_t>(vs->max_dim), sizeof(void*), caller, context, __FILE__, __LINE__));
  if (vs->items == nullptr) {
    kvlm::Free(vs);
    return nullptr;
  }
  vs->dim = dim;
  vs->type = type;
  kvlm::AccountBytes(TYPE_VSTRUCT, 0, sizeof(VSTRUCT));
  kvlm::AccountRecords(TYPE_VSTRUCT, 1);
  kvlm::AccountBytes(TYPE_VSTRUCT, 0, static_cast<int64_t>(vs->max_dim) * 8);
  return vs;
}

// Releases the slot table and the record of a list whose items are already gone.
void DropList(VSTRUCT* vs) {
  kvlm::AccountBytes(TYPE_VSTRUCT, static_cast<int64_t>(vs->max_dim) * 8, 0);
  kvlm::Free(vs->items);
  kvlm::AccountBytes(TYPE_VSTRUCT, sizeof(VSTRUCT), 0);
  kvlm::AccountRecords(TYPE_VSTRUCT, -1);
  kvlm::Free(vs);
}

// Frees the pack and every header of a packed list, then the list.
void DropPacked(VSTRUCT* vs) {
  kvlm::AccountBytes(TYPE_VSTRUCT, static_cast<int64_t>(PackBytes(vs)), 0);
  FreePack(vs);
  for (int i = 0; i < vs->max_dim; ++i) {
    FreeHeader(vs->type, vs->items[i]);
    vs->items[i] = nullptr;
  }
  DropList(vs);
}

// Grows the slot table to dim slots (new ones NULL); false when memory is short.
bool GrowSlots(VSTRUCT* vs, int dim) {
  if (dim <= vs->max_dim && vs->items != nullptr) return true;
  void* t = vs->items == nullptr ? kvlm::Calloc(static_cast<size_t>(dim), sizeof(void*), "vs_resize")
                                 : kvlm::Realloc(vs->items, static_cast<size_t>(dim) * sizeof(void*), "vs_resize");
  if (t == nullptr) return false;
  void** slots = static_cast<void**>(t);
  const int from = vs->items == nullptr ? 0 : vs->max_dim;
  for (int i = from; i < dim; ++i) slots[i] = nullptr;
  kvlm::AccountBytes(TYPE_VSTRUCT, static_cast<int64_t>(vs->max_dim) * 8, static_cast<int64_t>(dim) * 8);
  vs->items = slots;
  vs->max_dim = dim;
  return true;
}

// Number of leading items of a packed list whose data lie in the pack, and their shape.
int PackedItems(const VSTRUCT* vs, int* n, int* m) {
  int k = 0;
  while (k < vs->dim && k < vs->max_dim && vs->items[k] != nullptr) ++k;
  ShapeOf(vs->type, k > 0 ? vs->items[0] : nullptr, n, m);
  const unsigned __int128 per = ItemElems(vs->type, *n, *m) * ElemSize(vs->type);
  if (per > 0) {
    const unsigned __int128 fit = PackBytes(vs) / per;
    if (fit < static_cast<unsigned __int128>(k)) k = static_cast<int>(fit);
  }
  return k;
}

}  // namespace

extern "C" {

/* ---------------------------------------------------------------- lists ------------ */

KVELO_API VSTRUCT* _LM_vs_get(const char* caller, int context, int type, int dim, int line,
                              const char* callerName, int* status) {
  LmOp op(kFile, "vs_get", line, callerName, status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  VSTRUCT* vs = NewList(caller, context, type, dim);
  if (vs == nullptr) LM_FAIL(op, 3, nullptr);
  return op.done(vs);
}

KVELO_API VSTRUCT* _LM_vs_get_liste(const char* caller, int context, int line, const char* callerName,
                                    int* status, int type, int count, int n, int m) {
  LmOp op(kFile, "vs_get_liste", line, callerName, status);
  if (count < 0 || n < 0 || m < 0) LM_FAIL(op, 20, nullptr);
  const bool served = Packable(type) || type == TYPE_VECM || type == TYPE_VECMP;
  if (!served) LM_FAIL(op, 7, nullptr);
  VSTRUCT* vs = NewList(caller, context, type, count);
  if (vs == nullptr) LM_FAIL(op, 3, nullptr);
  bool failed = false;
  {
    MarkPause pause(mem_info_is_on() != 0);
    for (int i = 0; i < count; ++i) {
      int st = 0;
      void* item = nullptr;
      switch (type) {
        case TYPE_MAT: item = _LM_m_get(caller, context, n, m, line, callerName, &st); break;
        case TYPE_VEC: item = _LM_v_get(caller, context, n, line, callerName, &st); break;
        case TYPE_IVEC: item = _LM_iv_get(caller, context, n, line, callerName, &st); break;
        case TYPE_ZVEC: item = _LM_zv_get(caller, context, n, line, callerName, &st); break;
        case TYPE_ZMAT: item = _LM_zm_get(caller, context, n, m, line, callerName, &st); break;
        case TYPE_VECM: item = LM_vecm_get(n, m, &st); break;
        default: item = LM_vecmp_get(n, m, &st); break;
      }
      vs->items[i] = item;
      if (item == nullptr || st != 0) failed = true;
    }
  }
  if (failed) {
    *op.st() = -1;
    return vs;
  }
  return op.done(vs);
}

KVELO_API VSTRUCT* _LM_vs_get_liste_pack(const char* caller, int context, int line, const char* callerName,
                                         int* status, int type, int count, int n, int m) {
  LmOp op(kFile, "_LM_vs_get_liste_pack", line, callerName, status);
  if (count < 0 || n < 0 || m < 0) LM_FAIL(op, 20, nullptr);
  if (!Packable(type)) {
    _LM_error(kFile, 7, __LINE__, "vs_get_liste_pack", 0, line, callerName);
    *op.st() = _LM_err_status;
    return nullptr;
  }
  // Sizes in 128 bits: a pack that no address range can hold is refused before anything.
  unsigned __int128 elems = ItemElems(type, n, m) * static_cast<unsigned>(count);
  if (elems == 0) elems = 1;
  const unsigned __int128 bytes = elems * ElemSize(type);
  if (bytes > kMaxPackBytes) LM_FAIL(op, 3, nullptr);
  VSTRUCT* vs = NewList(caller, context, type, count);
  if (vs == nullptr) LM_FAIL(op, 3, nullptr);
  const int mode = kvelomem_getmode();
  if (mode == 1) {
    vs->pack = NewCorePack(static_cast<size_t>(bytes), caller);
  } else if (mode == 2) {
    int st = 0;
    vs->unit = kvelomem_calloc_ooc(static_cast<size_t>(elems), ElemSize(type), nullptr, caller, kFile, line, &st);
    if (vs->unit != nullptr) vs->pack = vs->unit->address;
  }
  if (vs->pack == nullptr) {
    DropList(vs);
    LM_FAIL(op, 3, nullptr);
  }
  kvlm::AccountBytes(TYPE_VSTRUCT, 0, static_cast<int64_t>(PackBytes(vs)));
  for (int i = 0; i < count; ++i) {
    vs->items[i] = NewHeader(type, n);
    if (vs->items[i] == nullptr) {
      DropPacked(vs);
      LM_FAIL(op, 3, nullptr);
    }
    PointHeader(vs, i, n, m);
  }
  return op.done(vs);
}

KVELO_API VSTRUCT* _LM_vs_resize(const char* caller, int context, VSTRUCT* vs, int type, int dim, int line,
                                 const char* callerName, int* status) {
  LmOp op(kFile, "vs_resize", line, callerName, status);
  if (dim < 0) LM_FAIL(op, 20, nullptr);
  if (vs == nullptr || vs->max_dim == 0) return op.done(_LM_vs_get(caller, context, type, dim, line, callerName, op.st()));
  if (dim == vs->dim) return op.done(vs);
  if (dim > vs->max_dim && !GrowSlots(vs, dim)) LM_FAIL(op, 3, nullptr);
  const bool packed = vs->pack != nullptr || vs->unit != nullptr;
  if (packed && dim < vs->max_dim) {
    // Headers beyond the new count go; the pack keeps its size. One slot always remains.
    for (int i = dim; i < vs->max_dim; ++i) {
      FreeHeader(vs->type, vs->items[i]);
      vs->items[i] = nullptr;
    }
    const int keep = dim > 0 ? dim : 1;
    kvlm::AccountBytes(TYPE_VSTRUCT, static_cast<int64_t>(vs->max_dim) * 8, static_cast<int64_t>(keep) * 8);
    vs->max_dim = keep;
  }
  if (dim > vs->dim) {
    // Reopened slots start empty; an unpacked list frees what they still held.
    for (int i = vs->dim; i < dim; ++i) {
      if (packed) {
        FreeHeader(vs->type, vs->items[i]);
      } else {
        FreeItem(vs->type, vs->items[i]);
      }
      vs->items[i] = nullptr;
    }
  }
  vs->dim = dim;
  return op.done(vs);
}

KVELO_API VSTRUCT* _LM_vs_resize_liste(const char* caller, int context, int line, const char* callerName,
                                       int* status, VSTRUCT* vs, int type, int count, int n, int m) {
  LmOp op(kFile, "_LM_vs_resize_liste", line, callerName, status);
  if (count < 0 || n < 0 || m < 0) LM_FAIL(op, 20, nullptr);
  if (type == TYPE_VECM || type == TYPE_VECMP || type == TYPE_VECMW) LM_FAIL(op, 7, nullptr);
  // A packed list or one of another type cannot have its items resized one by one.
  if (vs != nullptr && (vs->pack != nullptr || vs->unit != nullptr || vs->type != type)) LM_FAIL(op, 7, nullptr);
  vs = _LM_vs_resize(caller, context, vs, type, count, line, callerName, op.st());
  LM_CHECK(op, nullptr);
  MarkPause pause(true);
  for (int i = 0; i < count; ++i) {
    void* item = vs->items[i];
    void* r = item;
    switch (type) {
      case TYPE_MAT: r = _LM_m_resize(caller, context, static_cast<MAT*>(item), n, m, line, callerName, op.st()); break;
      case TYPE_VEC: r = _LM_v_resize(caller, context, static_cast<VEC*>(item), n, line, callerName, op.st()); break;
      case TYPE_IVEC: r = _LM_iv_resize(caller, context, static_cast<IVEC*>(item), n, line, callerName, op.st()); break;
      case TYPE_ZVEC: r = _LM_zv_resize(caller, context, static_cast<ZVEC*>(item), n, line, callerName, op.st()); break;
      case TYPE_ZMAT: r = _LM_zm_resize(caller, context, static_cast<ZMAT*>(item), n, m, line, callerName, op.st()); break;
      default: break;
    }
    LM_CHECK(op, nullptr);
    if (r != item && item != nullptr) FreeItem(type, item);  // a view replaced by a new record
    vs->items[i] = r;
  }
  return op.done(vs);
}

KVELO_API VSTRUCT* _LM_vs_resize_liste_pack(const char* caller, int context, int line, const char* callerName,
                                            int* status, VSTRUCT* vs, int count, int n, int m) {
  LmOp op(kFile, "_LM_vs_resize_liste_pack", line, callerName, status);
  (void)context;  // the pack keeps the heap tags it was made with
  if (vs == nullptr) LM_FAIL(op, 8, nullptr);
  if (count < 0 || n < 0 || m < 0) LM_FAIL(op, 20, nullptr);
  if ((vs->pack == nullptr && vs->unit == nullptr) || !Packable(vs->type)) LM_FAIL(op, 7, nullptr);
  const int type = vs->type;
  const bool matrix = IsMatrix(type);
  if (!matrix) m = 0;
  const size_t es = ElemSize(type);
  int oldN = 0, oldM = 0;
  const int k = PackedItems(vs, &oldN, &oldM);
  const int kept = k < count ? k : count;

  // Sizes, in elements: the data now, after the column change of the kept items, and after.
  using U = unsigned __int128;
  const U oldItem = ItemElems(type, oldN, oldM), newItem = ItemElems(type, n, m);
  const U now = oldItem * static_cast<unsigned>(k);
  const U mid = matrix ? static_cast<U>(kept) * static_cast<unsigned>(oldN) * static_cast<unsigned>(m) : 0;
  U after = newItem * static_cast<unsigned>(count);
  if (after == 0) after = 1;
  U peak = now > mid ? now : mid;
  if (after > peak) peak = after;
  if (peak * es > kMaxPackBytes) LM_FAIL(op, 3, nullptr);
  const size_t oldBytes = PackBytes(vs);
  const size_t peakBytes = static_cast<size_t>(peak * es);
  const size_t newBytes = static_cast<size_t>(after * es);

  // Everything that can fail comes first, and leaves the list as it was: its items, their
  // places and values, its pack (only capacities may have grown: the slot table and the row
  // tables of matrix headers, which keep their entries). The pack is resized last, because
  // a pack that moves makes every header stale until they are all pointed anew below.
  if (count > vs->max_dim && !GrowSlots(vs, count)) LM_FAIL(op, 3, nullptr);
  if (matrix) {
    for (int i = 0; i < kept; ++i) {
      const bool ok = type == TYPE_MAT ? EnsureRows<MAT, double>(static_cast<MAT*>(vs->items[i]), n)
                                       : EnsureRows<ZMAT, kvelo_complex>(static_cast<ZMAT*>(vs->items[i]), n);
      if (!ok) LM_FAIL(op, 3, nullptr);
    }
  }
  const int fresh = count - kept;
  void** made = nullptr;
  auto dropMade = [&] {
    for (int i = 0; made != nullptr && i < fresh; ++i) FreeHeader(type, made[i]);
    kvlm::Free(made);
    made = nullptr;
  };
  if (fresh > 0) {
    made = static_cast<void**>(kvlm::Calloc(static_cast<size_t>(fresh), sizeof(void*), "vstruct"));
    bool ok = made != nullptr;
    for (int i = 0; ok && i < fresh; ++i) ok = (made[i] = NewHeader(type, n)) != nullptr;
    if (!ok) {
      dropMade();
      LM_FAIL(op, 3, nullptr);
    }
  }
  // The pack grows to the peak the moves need. An out-of-core pack is also mapped again here
  // (a stored one must be, to be moved), except when it is mapped already and the shrink
  // below will map it anew anyway. The out-of-core resize fails without touching the unit:
  // the pack stays mapped where it was, with its values, and so does the list.
  const bool ooc = vs->unit != nullptr;
  const bool shrinkRemaps = ooc && vs->unit->state == 'Y' && peakBytes <= oldBytes && newBytes < oldBytes;
  if ((ooc && !shrinkRemaps) || peakBytes > oldBytes) {
    const size_t want = peakBytes > oldBytes ? peakBytes : oldBytes;
    if (!ResizePack(vs, want, caller, line, callerName, op.st())) {
      dropMade();
      Trace(__LINE__);
      return nullptr;
    }
    kvlm::AccountBytes(TYPE_VSTRUCT, static_cast<int64_t>(oldBytes), static_cast<int64_t>(PackBytes(vs)));
  }

  // Moves inside the pack, each pass in the direction that reads before it overwrites.
  char* base = static_cast<char*>(vs->pack);
  auto move = [&](size_t from, size_t to, size_t len) {
    if (from != to && len > 0) std::memmove(base + to * es, base + from * es, len * es);
  };
  auto zero = [&](size_t at, size_t len) {
    if (len > 0) std::memset(base + at * es, 0, len * es);
  };
  if (!matrix) {
    const size_t on = static_cast<size_t>(oldN), nn = static_cast<size_t>(n), len = on < nn ? on : nn;
    if (nn > on) {
      for (int i = kept - 1; i >= 1; --i) move(i * on, i * nn, len);
    } else {
      for (int i = 1; i < kept; ++i) move(i * on, i * nn, len);
    }
    for (int i = 0; i < kept; ++i) zero(i * nn + len, nn - len);
    zero(static_cast<size_t>(kept) * nn, static_cast<size_t>(count - kept) * nn);
  } else {
    const size_t oR = static_cast<size_t>(oldN), oC = static_cast<size_t>(oldM);
    const size_t nR = static_cast<size_t>(n), nC = static_cast<size_t>(m);
    const size_t cols = oC < nC ? oC : nC, rows = oR < nR ? oR : nR;
    const size_t oldRows = static_cast<size_t>(kept) * oR;
    // Columns first, the kept items keeping their old row count...
    if (nC > oC) {
      for (size_t r = oldRows; r-- > 1;) move(r * oC, r * nC, cols);
    } else {
      for (size_t r = 1; r < oldRows; ++r) move(r * oC, r * nC, cols);
    }
    // ...then rows, whole items at a time.
    if (nR > oR) {
      for (int i = kept - 1; i >= 1; --i) move(i * oR * nC, i * nR * nC, rows * nC);
    } else {
      for (int i = 1; i < kept; ++i) move(i * oR * nC, i * nR * nC, rows * nC);
    }
    for (int i = 0; i < kept; ++i) {
      const size_t at = static_cast<size_t>(i) * nR * nC;
      for (size_t j = 0; j < rows; ++j) zero(at + j * nC + cols, nC - cols);
      zero(at + rows * nC, (nR - rows) * nC);
    }
    zero(static_cast<size_t>(kept) * nR * nC, static_cast<size_t>(count - kept) * nR * nC);
  }

  // The pack comes down to its new size. The data already stand in their new places, so a
  // shrink that fails must not fail the resize: in memory the block merely stays larger, and
  // out of core the unit stays mapped where it was at its larger size (the runtime has
  // reported why; the list is complete all the same). Only a unit that lost its mapping
  // (a runtime that cannot keep it) leaves the list, described in full below, in the stored
  // state until a reload, and the resize reports the failure.
  bool remapLost = false;
  const size_t held = PackBytes(vs);
  if (newBytes < held) {
    if (ooc) {
      int st = 0;
      MMAP_HANDLE* u = kvelomem_realloc_ooc(vs->unit, newBytes, nullptr, caller, kFile, line, &st);
      if (u != nullptr) {
        vs->unit = u;
        vs->pack = u->address;
      } else if (vs->unit->state == 'Y' && vs->unit->address == vs->pack) {
        _LM_err_status = 0;
      } else {
        remapLost = true;
      }
    } else {
      void* smaller = kvlm::Realloc(static_cast<PackHead*>(vs->pack) - 1, sizeof(PackHead) + newBytes, caller);
      if (smaller != nullptr) {
        static_cast<PackHead*>(smaller)->bytes = newBytes;
        vs->pack = static_cast<PackHead*>(smaller) + 1;
      }
    }
    kvlm::AccountBytes(TYPE_VSTRUCT, static_cast<int64_t>(held), static_cast<int64_t>(PackBytes(vs)));
  }

  // Headers: dropped ones go, new ones take their slots, every one is pointed anew.
  for (int i = count; i < vs->max_dim; ++i) {
    FreeHeader(type, vs->items[i]);
    vs->items[i] = nullptr;
  }
  for (int i = 0; i < fresh; ++i) {
    FreeHeader(type, vs->items[kept + i]);  // a stray header past the packed items
    vs->items[kept + i] = made[i];
  }
  kvlm::Free(made);
  vs->dim = count;
  for (int i = 0; i < count; ++i) PointHeader(vs, i, n, m);
  if (remapLost) {
    Trace(__LINE__);
    *op.st() = -1;
    return nullptr;
  }
  return op.done(vs);
}

KVELO_API void _LM_vs_store(VSTRUCT* vs, const char* callerName, const char* caller, int line, int* status) {
  int local = 0;
  int* st = status != nullptr ? status : &local;
  if (vs == nullptr) {
    *st = -1;
    return;
  }
  _LM_err_status = 0;
  *st = 0;
  if (!OutOfCore(vs)) return;
  int ust = 0;
  if (kvelo_munmap(vs->unit, caller, kFile, line, &ust) != 0 || ust != 0) {
    _LM_error(kFile, 3, __LINE__, "_LM_vs_store", 0, line, callerName);
    *st = _LM_err_status;
  }
}

KVELO_API VSTRUCT* _LM_vs_reload(VSTRUCT* vs, const char* caller, int line, const char* callerName, int* status) {
  int local = 0;
  int* st = status != nullptr ? status : &local;
  if (vs == nullptr) {
    *st = -1;
    return nullptr;
  }
  *st = 0;
  if (!OutOfCore(vs)) return vs;
  int n = 0, m = 0;
  ShapeOf(vs->type, vs->dim > 0 ? vs->items[0] : nullptr, &n, &m);
  (void)callerName;
  return _LM_vs_resize_liste_pack(caller, 0, line, caller, st, vs, vs->dim, n, m);
}

KVELO_API int vs_free(VSTRUCT* vs) {
  if (vs == nullptr || vs->dim < 0) return -1;
  if (vs->pack != nullptr || vs->unit != nullptr) {
    DropPacked(vs);
    return 0;
  }
  {
    MarkPause pause(mem_info_is_on() != 0);
    for (int i = 0; i < vs->max_dim; ++i) {
      FreeItem(vs->type, vs->items[i]);
      vs->items[i] = nullptr;
    }
  }
  DropList(vs);
  return 0;
}

KVELO_API int vs_free_vars(VSTRUCT** vs, ...) {
  int freed = 0;
  va_list ap;
  va_start(ap, vs);
  for (VSTRUCT** p = vs; p != nullptr; p = va_arg(ap, VSTRUCT**)) {
    if (vs_free(*p) == 0) ++freed;
    *p = nullptr;
  }
  va_end(ap);
  return freed;
}

KVELO_API VSTRUCT* _LM__vs_copy(VSTRUCT* src, int first, int end, VSTRUCT* dst, int line, const char* callerName,
                                int* status) {
  LmOp op(kFile, "_vs_copy", line, callerName, status);
  if (src == nullptr) LM_FAIL(op, 8, nullptr);
  if (end < first || first < 0 || end > src->dim) LM_FAIL(op, 2, nullptr);
  if (src == dst) return op.done(dst);
  if (Stored(src)) LM_FAIL(op, 7, nullptr);
  if (dst != nullptr && (dst->pack != nullptr || dst->unit != nullptr || dst->type != src->type))
    LM_FAIL(op, 7, nullptr);
  dst = _LM_vs_resize("_LM__vs_copy", kvlm::lm_context, dst, src->type, end - first, line, callerName, op.st());
  LM_CHECK(op, nullptr);
  bool failed = false;
  for (int k = 0; k < end - first; ++k) {
    void* in = src->items[first + k];
    void* out = dst->items[k];
    if (in == nullptr) {
      // An empty slot copies as an empty slot.
      FreeItem(dst->type, out);
      dst->items[k] = nullptr;
      continue;
    }
    int st = 0;
    void* r = out;
    switch (src->type) {
      case TYPE_MAT: r = _LM__m_copy(static_cast<MAT*>(in), static_cast<MAT*>(out), 0, 0, line, callerName, &st); break;
      case TYPE_VEC: r = _LM__v_copy(static_cast<VEC*>(in), static_cast<VEC*>(out), 0, line, callerName, &st); break;
      case TYPE_IVEC: r = _LM_iv_copy(static_cast<IVEC*>(in), static_cast<IVEC*>(out), line, callerName, &st); break;
      case TYPE_ZVEC: r = _LM__zv_copy(static_cast<ZVEC*>(in), static_cast<ZVEC*>(out), 0, line, callerName, &st); break;
      case TYPE_ZMAT:
        r = _LM__zm_copy(static_cast<ZMAT*>(in), static_cast<ZMAT*>(out), 0, 0, line, callerName, &st);
        break;
      case TYPE_VECM: r = LM_vecm_copy(static_cast<VECM*>(in), static_cast<VECM*>(out), &st); break;
      case TYPE_VECMP: r = LM_vecmp_copy(static_cast<VECMP*>(in), static_cast<VECMP*>(out), &st); break;
      case TYPE_VECMW: r = LM_vecmw_copy(static_cast<VECMW*>(in), static_cast<VECMW*>(out), &st); break;
      case TYPE_BVEC: r = _LM_bv_copy(static_cast<BVEC*>(in), static_cast<BVEC*>(out), callerName, &st); break;
      default: break;
    }
    if (st != 0 || (r == nullptr && out != nullptr && src->type != TYPE_BVEC)) {
      failed = true;
      if (r == nullptr) continue;  // the slot keeps what it held
    }
    dst->items[k] = r;
  }
  if (failed) {
    *op.st() = -1;
    return dst;
  }
  return op.done(dst);
}

/* ---------------------------------------------------------------- item operations -- */

namespace {

int Raise(int code, int line, const char* routine, const char* callerName, int* status) {
  _LM_error(kFile, code, line, routine, 0, line, callerName);
  if (status != nullptr) *status = _LM_err_status;
  return -1;
}

// Checks shared by the item operations; false after raising the code. A stored pack is
// refused like an argument the operation does not serve (7).
bool ItemArgs(const VSTRUCT* vs, bool vOk, int i, const char* routine, int line, const char* callerName,
              int* status) {
  int code = 0;
  if (!vOk || vs == nullptr) {
    code = 7;
  } else if (i < 0 || i >= vs->dim) {
    code = 2;
  } else if (Stored(vs)) {
    code = 7;
  }
  if (code == 0) return true;
  Raise(code, line, routine, callerName, status);
  return false;
}

}  // namespace

KVELO_API void LM_vs_CopyVec(VEC* v, VSTRUCT* vs, int i, const char* callerName, int* status) {
  const char* name = "LM_vs_CopyVec";
  if (!ItemArgs(vs, v != nullptr, i, name, __LINE__, callerName, status)) return;
  int local = 0;
  int* st = status != nullptr ? status : &local;
  void* item = vs->items[i];
  switch (vs->type) {
    case TYPE_VEC: {
      const bool packed = vs->pack != nullptr || vs->unit != nullptr;
      if (packed && (item == nullptr || static_cast<VEC*>(item)->dim != v->dim)) {
        Raise(1, __LINE__, name, callerName, st);  // a packed item keeps its length
        return;
      }
      VEC* r = _LM__v_copy(v, static_cast<VEC*>(item), 0, __LINE__, callerName, st);
      if (r == nullptr) {
        Trace(__LINE__);
        return;
      }
      vs->items[i] = r;
      return;
    }
    case TYPE_VECM:
    case TYPE_VECMP:
    case TYPE_VECMW: {
      // The new form is made first, so a failure leaves the old item in place.
      void* r = vs->type == TYPE_VECM    ? static_cast<void*>(LM_vec2vecm(v, st))
                : vs->type == TYPE_VECMP ? static_cast<void*>(LM_vec2vecmp(v, st))
                                         : static_cast<void*>(LM_vec2vecmw(v, st));
      if (r == nullptr) {
        Trace(__LINE__);
        return;
      }
      FreeItem(vs->type, item);
      vs->items[i] = r;
      return;
    }
    default:
      Raise(7, __LINE__, name, callerName, st);
      return;
  }
}

KVELO_API VEC* LM_vs_XtractVec(VSTRUCT* vs, int i, VEC* out, const char* callerName, int* status) {
  const char* name = "LM_vs_XtractVec";
  if (!ItemArgs(vs, true, i, name, __LINE__, callerName, status)) return nullptr;
  int local = 0;
  int* st = status != nullptr ? status : &local;
  void* item = vs->items[i];
  switch (vs->type) {
    case TYPE_VEC: return _LM__v_copy(static_cast<VEC*>(item), out, 0, __LINE__, callerName, st);
    case TYPE_VECM: return LM_vecm2vec(static_cast<VECM*>(item), out, st);
    case TYPE_VECMW: return LM_vecmw2vec(static_cast<VECMW*>(item), out, st);
    default:
      Raise(7, __LINE__, name, callerName, st);
      return nullptr;
  }
}

KVELO_API VEC* LM_vs_v_mltadd(VEC* v, VSTRUCT* vs, int i, double s, VEC* out, const char* callerName,
                              int* status) {
  const char* name = "LM_vs_v_mltadd";
  if (!ItemArgs(vs, v != nullptr, i, name, __LINE__, callerName, status)) return nullptr;
  int local = 0;
  int* st = status != nullptr ? status : &local;
  void* item = vs->items[i];
  VEC* r = nullptr;
  switch (vs->type) {
    case TYPE_VEC: r = _LM_v_mltadd(v, static_cast<VEC*>(item), s, out, __LINE__, callerName, st); break;
    case TYPE_VECM: r = _LM_vvecm_mltadd(v, static_cast<VECM*>(item), s, out, __LINE__, callerName, st); break;
    case TYPE_VECMP: r = _LM_vvecmp_mltadd(v, static_cast<VECMP*>(item), s, out, __LINE__, callerName, st); break;
    case TYPE_VECMW: r = _LM_vvecmw_mltadd(v, static_cast<VECMW*>(item), s, out, __LINE__, callerName, st); break;
    default:
      Raise(7, __LINE__, name, callerName, st);
      return nullptr;
  }
  if (r == nullptr || *st != 0) {
    Trace(__LINE__);
    return nullptr;
  }
  return r;
}

KVELO_API double LM_vs_in_prod(VEC* v, VSTRUCT* vs, int i, const char* callerName, int* status) {
  const char* name = "LM_vs_in_prod";
  if (!ItemArgs(vs, v != nullptr, i, name, __LINE__, callerName, status)) return 0.0;
  int local = 0;
  int* st = status != nullptr ? status : &local;
  void* item = vs->items[i];
  double r = 0.0;
  switch (vs->type) {
    case TYPE_VEC: r = _LM__in_prod(v, static_cast<VEC*>(item), 0, __LINE__, callerName, st); break;
    case TYPE_VECM: r = LM_pscal_vvecm(v, static_cast<VECM*>(item), st); break;
    case TYPE_VECMP: r = LM_pscal_vvecmp(v, static_cast<VECMP*>(item), st); break;
    case TYPE_VECMW: r = LM_pscal_vvecmw(v, static_cast<VECMW*>(item), st); break;
    default:
      Raise(7, __LINE__, name, callerName, st);
      return 0.0;
  }
  return *st != 0 ? 0.0 : r;
}

KVELO_API void LM_vs_sv_mlt(double s, VSTRUCT* vs, int i, const char* callerName, int* status) {
  LmOp op(kFile, "LM_vs_sv_mlt", __LINE__, callerName, status);
  if (vs == nullptr) {
    op.raise(7, __LINE__);
    return;
  }
  if (i < 0 || i >= vs->dim) {
    op.raise(2, __LINE__);
    return;
  }
  void* item = vs->items[i];
  if (item == nullptr || Stored(vs)) {
    op.raise(7, __LINE__);
    return;
  }
  if (s == 1.0) {
    op.done(0);
    return;
  }
  // The stored values of a VECMP or VECMW item, scaled in place.
  auto scaleValues = [s](double* val, int n) {
    if (n <= 0) return;
    if (s == 0.0) {
      __zero__(val, n);
    } else {
      __smlt__(val, s, val, n);
    }
  };
  switch (vs->type) {
    case TYPE_VEC:
      if (s == 0.0) {
        _LM_v_zero(static_cast<VEC*>(item), __LINE__, callerName, op.st());
      } else {
        _LM_sv_mlt(s, static_cast<VEC*>(item), static_cast<VEC*>(item), __LINE__, callerName, op.st());
      }
      break;
    case TYPE_VECM:
      LM_vecm_scal(static_cast<VECM*>(item), s, op.st());
      break;
    case TYPE_VECMP:
      scaleValues(static_cast<VECMP*>(item)->val, static_cast<VECMP*>(item)->nnz);
      break;
    case TYPE_VECMW:
      scaleValues(static_cast<VECMW*>(item)->val, static_cast<VECMW*>(item)->nval);
      break;
    default:
      op.raise(7, __LINE__);
      return;
  }
  op.done(0);
}

}  // extern "C"
