// vmorse_internal.h: what the three sparse-vector sources share: the in-order walk of a VECM
// tree, the rebasing of its links after the pool moves, the one significance test of a
// dense vector's entries, and big-endian packing of mixed int/double records for the binary
// forms.
#ifndef KVELO_CMATRIX_VMORSE_INTERNAL_H
#define KVELO_CMATRIX_VMORSE_INTERNAL_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bf.h"
#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_status.h"
#include "runtime/byteorder.h"
#include "vmorse.h"

namespace kvms {

// Source base name handed to the error handler and to trace marks.
extern const char kFile[];

// Trace mark of a failure that raises no code, keyed "aff_lieu".
inline int Trace(int line) { return fct_Trace("aff_lieu", line, kFile); }

// Such a failure ends the operation: trace mark, status -1, and ret (nothing for a void
// operation): `return TraceFail(op, __LINE__, nullptr);`.
template <class R>
R TraceFail(kvlm::LmOp& op, int line, R ret) {
  Trace(line);
  *op.st() = -1;
  return ret;
}
inline void TraceFail(kvlm::LmOp& op, int line) {
  Trace(line);
  *op.st() = -1;
}

// Walks the subtree at root in ascending index order, calling visit(node) until it returns
// false; returns false when a visit stopped the walk. Left descents wait on an explicit stack
// (on the machine stack up to 64 deep, then on the heap up to heapLimit entries), so trees of
// any shape are walked without recursion. When the stack cannot grow, the walk goes on by
// searching each successor from the root: slower, but it needs no memory.
template <class Visit>
bool WalkInOrder(VECM_NODE* root, Visit visit, size_t heapLimit = SIZE_MAX) {
  if (root == nullptr) return true;
  VECM_NODE* local[64];
  VECM_NODE** stack = local;
  size_t cap = 64, top = 0;
  VECM_NODE* cur = root;
  bool any = false;
  int last = 0;
  bool fallback = false;
  while (cur != nullptr || top > 0) {
    while (cur != nullptr) {
      if (top == cap) {
        const size_t want = cap * 2;
        void* grown = nullptr;
        if (want <= heapLimit) {
          grown = stack == local ? kvlm::Calloc(want, sizeof(VECM_NODE*), "WalkInOrder")
                                 : kvlm::Realloc(stack, want * sizeof(VECM_NODE*), "WalkInOrder");
        }
        if (grown == nullptr) {
          fallback = true;
          break;
        }
        if (stack == local) std::memcpy(grown, local, sizeof local);
        stack = static_cast<VECM_NODE**>(grown);
        cap = want;
      }
      stack[top++] = cur;
      cur = cur->left;
    }
    if (fallback) break;
    cur = stack[--top];
    any = true;
    last = cur->idx;
    if (!visit(cur)) {
      if (stack != local) kvlm::Free(stack);
      return false;
    }
    cur = cur->right;
  }
  if (stack != local) kvlm::Free(stack);
  if (!fallback) return true;
  // Successor search: the smallest index above the last one visited.
  for (;;) {
    VECM_NODE* best = nullptr;
    for (VECM_NODE* n = root; n != nullptr;) {
      if (!any || n->idx > last) {
        best = n;
        n = n->left;
      } else {
        n = n->right;
      }
    }
    if (best == nullptr) return true;
    any = true;
    last = best->idx;
    if (!visit(best)) return false;
  }
}

// The node holding index, or null.
inline VECM_NODE* Find(const VECM* v, int index) {
  VECM_NODE* n = v->root;
  while (n != nullptr && n->idx != index) n = index < n->idx ? n->left : n->right;
  return n;
}

// Makes pool[0 .. count-1] the whole tree of v, one chain of right links (the entries must be
// in ascending index order).
inline void Chain(VECM* v, int count) {
  for (int k = 0; k < count; ++k) {
    v->pool[k].left = nullptr;
    v->pool[k].right = k + 1 < count ? &v->pool[k + 1] : nullptr;
  }
  v->nnz = count;
  v->root = count > 0 ? v->pool : nullptr;
}

// Moves every link of the first count nodes of pool, and *root, from the block that started at
// oldBase to pool: links are kept as positions inside the block.
inline void RebaseLinks(VECM_NODE* pool, int count, VECM_NODE** root, uintptr_t oldBase) {
  auto move = [&](VECM_NODE*& p) {
    if (p != nullptr) p = pool + (reinterpret_cast<uintptr_t>(p) - oldBase) / sizeof(VECM_NODE);
  };
  move(*root);
  for (int k = 0; k < count; ++k) {
    move(pool[k].left);
    move(pool[k].right);
  }
}

// The relative threshold of every dense-to-sparse conversion and of every writer or
// statistic that shares it: 1e-16 times the largest finite |x_i| of in (0.0 when there is
// none). Taken over the finite entries only: an infinite entry (or a NaN, whatever its
// place) would make the threshold infinite or NaN and drop every finite entry with it.
double Threshold(const VEC* in);
// Whether x is kept against the threshold t: |x| > t, and every infinite or NaN entry, which
// is data the caller must get back rather than lose without a word.
inline bool Significant(double x, double t) { return !std::isfinite(x) || std::fabs(x) > t; }
// Number of significant entries of in against t.
int CountSignificant(const VEC* in, double t);

// Big-endian packing of single values (int or double) into byte buffers.
template <class T>
void PutBig(unsigned char* p, T v) {
  std::memcpy(p, &v, sizeof(T));
  if (!kvbyte::HostIsBigEndian()) kvbyte::Reverse<sizeof(T)>(p);
}
template <class T>
T GetBig(const unsigned char* p) {
  unsigned char b[sizeof(T)];
  std::memcpy(b, p, sizeof(T));
  if (!kvbyte::HostIsBigEndian()) kvbyte::Reverse<sizeof(T)>(b);
  T v;
  std::memcpy(&v, b, sizeof(T));
  return v;
}

// Moves n bytes through the portable byte primitives (in batches the primitives accept);
// 0 or -1.
int WriteBytes(FILE* fp, const unsigned char* bytes, size_t n);
int ReadBytes(FILE* fp, unsigned char* bytes, size_t n);

// False when fp is a regular file holding fewer than bytes bytes after its position (a
// stream whose size cannot be known passes).
bool FileHolds(FILE* fp, long long bytes);

// Storage for what a binary reader receives, grown with the values that actually arrive and
// never with the count a header merely claims: on a stream whose size cannot be known (a
// pipe), a damaged header asking for 2^31 entries costs no more than what the stream
// delivers. The capacity doubles (never beyond the claimed count), so the copies stay
// linear in the data. Whatever is not handed over is freed with the block.
template <class T>
class ArrivingBlock {
 public:
  ArrivingBlock(size_t claimed, const char* tag) : claimed_(claimed), tag_(tag) {}
  ~ArrivingBlock() { kvlm::Free(p_); }
  ArrivingBlock(const ArrivingBlock&) = delete;
  ArrivingBlock& operator=(const ArrivingBlock&) = delete;

  // Room for n elements (n at most the claimed count, or 1); false when memory is short,
  // the elements held so far kept.
  bool Room(size_t n) {
    if (n <= cap_) return true;
    size_t want = cap_ > claimed_ / 2 ? claimed_ : cap_ * 2;
    if (want < n) want = n;
    void* grown = kvlm::Realloc(p_, want * sizeof(T), tag_);
    if (grown == nullptr) return false;
    p_ = static_cast<T*>(grown);
    cap_ = want;
    return true;
  }
  T* data() { return p_; }

  // Hands the block over, trimmed to max(claimed count, 1) elements (the one element of an
  // empty block zeroed); null when memory is short (the block stays here and is freed).
  T* Take() {
    const size_t n = claimed_ > 0 ? claimed_ : 1;
    if (!Room(n)) return nullptr;
    if (cap_ > n) {
      // A shrink that fails leaves the larger block, which is as good.
      if (void* trimmed = kvlm::Realloc(p_, n * sizeof(T), tag_)) p_ = static_cast<T*>(trimmed);
    }
    if (claimed_ == 0) std::memset(static_cast<void*>(p_), 0, sizeof(T));
    T* out = p_;
    p_ = nullptr;
    cap_ = 0;
    return out;
  }

 private:
  size_t claimed_;
  const char* tag_;
  T* p_ = nullptr;
  size_t cap_ = 0;
};

// How a chunked read into an ArrivingBlock ended.
enum class Arrival { kOk, kShort, kNoMemory };

// Values moved per primitive call by the readers of the packed and windowed forms.
constexpr size_t kReadChunk = size_t{1} << 14;

// Reads count values into block through get(fp, T*, int) (BF_fread_int or BF_fread_double),
// chunk by chunk, the block growing only ahead of each chunk.
template <class T, class Get>
Arrival ReadArriving(FILE* fp, ArrivingBlock<T>& block, size_t count, Get get) {
  for (size_t done = 0; done < count;) {
    const size_t k = count - done < kReadChunk ? count - done : kReadChunk;
    if (!block.Room(done + k)) return Arrival::kNoMemory;
    if (get(fp, block.data() + done, static_cast<int>(k)) != 0) return Arrival::kShort;
    done += k;
  }
  return Arrival::kOk;
}

// Flushes fp after a binary form; a failure is reported as "CHKDISK" and gives -1.
int FlushOrReport(FILE* fp, int line);

// Ends a binary writer: the flush of FlushOrReport, then the status (-1 when it failed).
inline void FinishWrite(kvlm::LmOp& op, FILE* fp, int line) {
  if (FlushOrReport(fp, line) != 0) {
    *op.st() = -1;
    return;
  }
  op.done(0);
}

// Reads the head of the VECM and VECMP binary forms, dim and count, each entry of which
// takes 12 bytes (a 4-byte index, an 8-byte value). Refuses (false, status -1) before
// anything is allocated: a stream that fails or, being a regular file, holds fewer entries
// than counted (trace mark), a negative dim (code 20) or a count outside 0 .. dim (code 2).
// A stream of unknown size is read into an ArrivingBlock, so the count is never trusted.
inline bool ReadCountedHead(kvlm::LmOp& op, FILE* fp, int* dim, int* count) {
  if (fp == nullptr) return TraceFail(op, __LINE__, false);
  int head[2];
  if (BF_fread_int(fp, head, 2) != 0) return TraceFail(op, __LINE__, false);
  *dim = head[0];
  *count = head[1];
  if (*dim < 0) LM_FAIL(op, 20, false);
  if (*count < 0 || *count > *dim) LM_FAIL(op, 2, false);
  if (!FileHolds(fp, static_cast<long long>(*count) * 12)) return TraceFail(op, __LINE__, false);
  return true;
}

// The fill ratio of a VECM or VECMP: stored entries over dim. NULL: trace mark, 0.0, the
// status untouched; a dim not above 0: trace mark, status -1, 0.0.
template <class V>
double StoredRatio(kvlm::LmOp& op, V* v) {
  if (v == nullptr) {
    Trace(__LINE__);
    return 0.0;
  }
  if (v->dim <= 0) return TraceFail(op, __LINE__, 0.0);
  return op.done(static_cast<double>(v->nnz) / static_cast<double>(v->dim));
}

// The out of a gather or scatter with x of dim entries: resized (tag) to hold dim and, when
// a list is given, the list's length; NULL after a failed resize, with a trace mark under
// the routine's own name.
inline VEC* GatherOut(kvlm::LmOp& op, const char* tag, int dim, const IVEC* list, VEC* out) {
  int want = dim;
  if (list != nullptr && list->dim > static_cast<unsigned>(want)) want = static_cast<int>(list->dim);
  out = _LM_v_resize(tag, kvlm::lm_context, out, want, op.callerLine(), op.callerName(), op.st());
  if (op.failed()) {
    fct_Trace(tag, __LINE__, kFile);
    return nullptr;
  }
  return out;
}

// Stored entries of each sparse kind.
inline int StoredCount(const VECM* v) { return v->nnz; }
inline int StoredCount(const VECMP* v) { return v->nnz; }
inline int StoredCount(const VECMW* v) { return v->nval; }

// The text form of a sparse vector on fp (stdout when NULL): "NULL vector" for none, else
// the title, the line of dim and stored count, and the entries that print(fp) writes
// between two rules. A vector with no entries and no rules when empty (rulesWhenEmpty
// false) ends after the count line.
template <class V, class Print>
void PrintSparse(V* v, FILE* fp, const char* title, bool rulesWhenEmpty, Print print) {
  if (fp == nullptr) fp = stdout;
  if (v == nullptr) {
    std::fprintf(fp, "NULL vector\n");
    return;
  }
  std::fprintf(fp, "%s\n", title);
  std::fprintf(fp, "Dim = %d, Number of effective values = %d\n", v->dim, StoredCount(v));
  if (!rulesWhenEmpty && StoredCount(v) == 0) return;
  std::fprintf(fp, "------------------------------\n\n");
  print(fp);
  std::fprintf(fp, "------------------------------\n\n");
}

// An inner product `sum` taken in the plain order, made right where a product or a partial
// sum of finite factors left the range: the pairs (x, y) that pairs(f) hands to f are taken
// again with x scaled by 2^-ea and y by 2^-eb, so that every product lies below 1, and the
// scaled sum is scaled back (an infinity of the right sign when the result itself is out of
// range, instead of inf - inf). A factor that is not finite decides the result as IEEE
// arithmetic does. The common case pays one test.
template <class Pairs>
double DotInRange(double sum, Pairs pairs) {
  if (std::isfinite(sum)) return sum;
  bool finite = true;
  double mx = 0.0, my = 0.0;
  pairs([&](double x, double y) {
    finite = finite && std::isfinite(x) && std::isfinite(y);
    mx = std::fmax(mx, std::fabs(x));
    my = std::fmax(my, std::fabs(y));
  });
  if (!finite) return sum;
  int ex = 0, ey = 0;
  std::frexp(mx, &ex);
  std::frexp(my, &ey);
  double scaled = 0.0;
  pairs([&](double x, double y) { scaled += std::ldexp(x, -ex) * std::ldexp(y, -ey); });
  return std::ldexp(scaled, ex + ey);
}

}  // namespace kvms

#endif
