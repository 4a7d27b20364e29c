// lm_intvec.h: the operations that the integer vector IVEC and the long vector LVEC share,
// written once over a traits class naming the record, its element type, its block member,
// its accounting type and the texts of its messages and printed form.
#ifndef KVELO_CMATRIX_LM_INTVEC_H
#define KVELO_CMATRIX_LM_INTVEC_H

#include <cinttypes>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cmatrix/lm_dense.h"
#include "cmatrix/lm_sort.h"
#include "cmatrix/lm_status.h"
#include "cmatrix/lm_textin.h"
#include "matrix.h"

namespace kvlm {

template <class Tr>
struct IntVecOps {
  using Rec = typename Tr::Rec;
  using Elem = typename Tr::Elem;

  static Rec* Get(const char* tag, int context, int dim, int line, const char* name, int* status) {
    LmOp op(Tr::kFile, Tr::kGet, line, name, status);
    return NewVector<Rec, Elem>(op, tag, context, dim, Tr::kType, Tr::Block);
  }

  static int Release(Rec* v) {
    if (v == nullptr) return -1;
    if (Tr::Block(v) != nullptr) {
      AccountBytes(Tr::kType, static_cast<int64_t>(v->max_dim) * sizeof(Elem) + sizeof(Rec), 0);
      Free(Tr::Block(v));
    } else {
      AccountBytes(Tr::kType, sizeof(Rec), 0);
    }
    AccountRecords(Tr::kType, -1);
    Free(v);
    return 0;
  }

  static Rec* Resize(const char* tag, int context, Rec* v, int dim, int line, const char* name,
                     int* status) {
    LmOp op(Tr::kFile, Tr::kResize, line, name, status);
    if (dim < 0) LM_FAIL(op, 20, nullptr);
    if (v == nullptr) return op.done(Get(tag, context, dim, line, name, op.st()));
    const unsigned udim = static_cast<unsigned>(dim);
    if (udim == v->dim) return op.done(v);
    if (udim > v->max_dim || Tr::Block(v) == nullptr) {
      const bool fresh = Tr::Block(v) == nullptr;
      const unsigned cap = udim > 0 ? udim : 1u;
      void* nb = kvelomem_realloc(Tr::Block(v), static_cast<size_t>(cap) * sizeof(Elem), tag, context,
                                  __FILE__, __LINE__);
      if (nb == nullptr) LM_FAIL(op, 3, nullptr);
      if (fresh) {
        std::memset(nb, 0, static_cast<size_t>(cap) * sizeof(Elem));
        v->dim = 0;  // nothing to keep
      }
      AccountBytes(Tr::kType, fresh ? 0 : static_cast<int64_t>(v->max_dim) * sizeof(Elem),
                   static_cast<int64_t>(cap) * sizeof(Elem));
      Tr::Block(v) = static_cast<Elem*>(nb);
      v->max_dim = cap;
    }
    if (udim > v->dim)
      std::memset(Tr::Block(v) + v->dim, 0, static_cast<size_t>(udim - v->dim) * sizeof(Elem));
    v->dim = udim;
    return op.done(v);
  }

  static Rec* Copy(Rec* in, Rec* out, int line, const char* name, int* status) {
    LmOp op(Tr::kFile, Tr::kCopy, line, name, status);
    if (in == nullptr) LM_FAIL(op, 8, nullptr);
    Rec* res = Resize(Tr::kCopyTag, lm_context, out, static_cast<int>(in->dim), line, name, op.st());
    LM_CHECK(op, nullptr);
    if (in->dim > 0 && res != in)
      std::memmove(Tr::Block(res), Tr::Block(in), static_cast<size_t>(in->dim) * sizeof(Elem));
    return op.done(res);
  }

  static Rec* Move(Rec* in, int i0, int len, Rec* out, int i1, int line, const char* name,
                   int* status) {
    LmOp op(Tr::kFile, Tr::kMove, line, name, status);
    if (in == nullptr) LM_FAIL(op, 8, nullptr);
    if (i0 < 0 || len < 0 || i1 < 0 || static_cast<int64_t>(i0) + len > in->dim) LM_FAIL(op, 2, nullptr);
    const int64_t need = static_cast<int64_t>(i1) + len;
    if (need > INT_MAX) LM_FAIL(op, 3, nullptr);
    Rec* res = out;
    if (res == nullptr || res->dim < need) {
      res = Resize(Tr::kMoveTag, lm_context, out, static_cast<int>(need), line, name, op.st());
      LM_CHECK(op, nullptr);
    }
    if (len > 0)
      std::memmove(Tr::Block(res) + i1, Tr::Block(in) + i0, static_cast<size_t>(len) * sizeof(Elem));
    return op.done(res);
  }

  // out = a + b or a - b with wrap-around at 32 bits.
  static Rec* AddSub(Rec* a, Rec* b, Rec* out, bool sub, int line, const char* name, int* status) {
    LmOp op(Tr::kFile, sub ? Tr::kSub : Tr::kAdd, line, name, status);
    if (a == nullptr || b == nullptr) LM_FAIL(op, 8, nullptr);
    if (a->dim != b->dim) LM_FAIL(op, 1, nullptr);
    Rec* res = out;
    if (res == nullptr || res->dim != a->dim) {
      res = Resize(sub ? Tr::kSubTag : Tr::kAddTag, lm_context, out, static_cast<int>(a->dim), line,
                   name, op.st());
      LM_CHECK(op, nullptr);
    }
    const Elem* x = Tr::Block(a);
    const Elem* y = Tr::Block(b);
    Elem* z = Tr::Block(res);
    for (unsigned i = 0; i < a->dim; ++i) {
      const uint32_t u = static_cast<uint32_t>(x[i]), w = static_cast<uint32_t>(y[i]);
      z[i] = static_cast<Elem>(static_cast<int32_t>(sub ? u - w : u + w));
    }
    return op.done(res);
  }

  static Rec* Sort(Rec* x, PERM* order, int line, const char* name, int* status) {
    LmOp op(Tr::kFile, "v_sort", line, name, status);
    if (x == nullptr) LM_FAIL(op, 8, nullptr);
    if (!StartOrder(op, Tr::kSortTag, order, x->dim)) return nullptr;
    QuickSortInt(Tr::Block(x), order != nullptr ? order->pe : nullptr, static_cast<int64_t>(x->dim));
    return op.done(x);
  }

  // Values of one line: kPerLine of them, the last of each line ending it.
  static int PrintValues(std::FILE* fp, const Elem* v, unsigned count) {
    int r = 0;
    for (unsigned i = 0; i < count; ++i)
      r = std::fprintf(fp, (i + 1) % Tr::kPerLine == 0 ? Tr::kFmtEol : Tr::kFmt, v[i]);
    if (count % Tr::kPerLine != 0) r = std::fputs("\n", fp);
    return r;
  }

  static int Output(std::FILE* fp, Rec* v) {
    if (fp == nullptr) return -1;
    int r = std::fputs(Tr::kHeading, fp);
    if (v == nullptr) return std::fputs("**** NULL ****\n", fp);
    r = std::fprintf(fp, "dim: %u\n", v->dim);
    if (Tr::Block(v) == nullptr) return std::fputs("NULL\n", fp);
    if (v->dim > 0) r = PrintValues(fp, Tr::Block(v), v->dim);
    return r;
  }

  static int Dump(std::FILE* fp, Rec* v) {
    if (fp == nullptr) return -1;
    int r = std::fputs(Tr::kHeading, fp);
    if (v == nullptr) return std::fputs("**** NULL ****\n", fp);
    std::fprintf(fp, "dim: %u, max_dim: %u\n", v->dim, v->max_dim);
    r = std::fprintf(fp, Tr::kDumpBlock, AddressBits(Tr::Block(v)));
    if (Tr::Block(v) == nullptr) return std::fputs("NULL\n", fp);
    if (v->max_dim > 0) r = PrintValues(fp, Tr::Block(v), v->max_dim);
    return r;
  }

  static Rec* Input(std::FILE* fp, Rec* v, int line, const char* name, int* status) {
    LmOp op(Tr::kFile, Tr::kInput, line, name, status);
    if (fp == nullptr) LM_FAIL(op, 8, nullptr);
    long long dim = 0;
    if (const int code = ScanSizeHeading(fp, Tr::kInHeading, &dim)) LM_FAIL(op, code, nullptr);
    skipjunk(fp);
    std::vector<Elem> vals;
    for (long long i = 0; i < dim; ++i) {
      long long val = 0;
      const Scan s = ScanInteger(fp, &val);
      if (s != Scan::Ok || val < Tr::kMin || val > Tr::kMax) LM_FAIL(op, s == Scan::End ? 7 : 6, nullptr);
      if (!KeepValue(vals, static_cast<Elem>(val))) LM_FAIL(op, 3, nullptr);
    }
    // The whole form is in: a given vector takes the heading's dim, larger or smaller, as
    // the dense readers do (a larger one keeping its tail would pass old values off as read
    // ones).
    Rec* res = v;
    if (res == nullptr || res->dim != dim) {
      res = Resize(Tr::kInputTag, lm_context, v, static_cast<int>(dim), line, name, op.st());
      LM_CHECK(op, nullptr);
    }
    if (!vals.empty()) std::memcpy(Tr::Block(res), vals.data(), vals.size() * sizeof(Elem));
    return op.done(res);
  }
};

}  // namespace kvlm

#endif
