// vmorse_internal.h: what the three sparse-vector sources share: the in-order walk of a VECM
// tree, the rebasing of its links after the pool moves, the significance threshold of a
// dense vector, and big-endian packing of mixed int/double records for the binary forms.
#ifndef KVELO_CMATRIX_VMORSE_INTERNAL_H
#define KVELO_CMATRIX_VMORSE_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cmatrix/lm_status.h"
#include "runtime/byteorder.h"
#include "vmorse.h"

namespace kvms {

// Source base name handed to the error handler and to trace marks.
extern const char kFile[];

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

// 1e-16 times the largest absolute entry of in (the norm's own status is not consulted).
double Threshold(VEC* in, int line, const char* name);
// Number of significant entries of in against t.
int CountSignificant(const VEC* in, double t);

// Big-endian packing of single values into byte buffers.
inline void PutInt(unsigned char* p, int v) {
  std::memcpy(p, &v, 4);
  if (!kvbyte::HostIsBigEndian()) kvbyte::Reverse<4>(p);
}
inline void PutDouble(unsigned char* p, double v) {
  std::memcpy(p, &v, 8);
  if (!kvbyte::HostIsBigEndian()) kvbyte::Reverse<8>(p);
}
inline int GetInt(const unsigned char* p) {
  unsigned char b[4];
  std::memcpy(b, p, 4);
  if (!kvbyte::HostIsBigEndian()) kvbyte::Reverse<4>(b);
  int v;
  std::memcpy(&v, b, 4);
  return v;
}
inline double GetDouble(const unsigned char* p) {
  unsigned char b[8];
  std::memcpy(b, p, 8);
  if (!kvbyte::HostIsBigEndian()) kvbyte::Reverse<8>(b);
  double v;
  std::memcpy(&v, b, 8);
  return v;
}

// Moves n bytes through the portable byte primitives (in batches the primitives accept);
// 0 or -1.
int WriteBytes(FILE* fp, const unsigned char* bytes, size_t n);
int ReadBytes(FILE* fp, unsigned char* bytes, size_t n);

// False when fp is a regular file holding fewer than bytes bytes after its position (a
// stream whose size cannot be known passes).
bool FileHolds(FILE* fp, long long bytes);

// Flushes fp after a binary form; a failure is reported as "CHKDISK" and gives -1.
int FlushOrReport(FILE* fp, int line);

}  // namespace kvms

#endif
