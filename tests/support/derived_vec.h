/* derived_vec.h: vectors and a storage derived the way a host derives them, to reach the
 * paths that the library's own always-contiguous vector never takes: the element-by-element
 * binary form, the role swap of the dot product, the 4096-element block walks through
 * Extract, the value cursor of a vector that is not full, and the default bodies. */
#ifndef KVELO_TEST_DERIVED_VEC_H
#define KVELO_TEST_DERIVED_VEC_H

#include "C_Ptr.h"
#include "C_Vec.h"
#include "kvelosys.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

// Implements only what C_Vec leaves pure; every other operation keeps the library default.
template <class T, class I>
class BareVec : public C_Vec<T, I> {
 public:
  explicit BareVec(I n = 0) : C_Vec<T, I>(n) {}
  using C_Vec<T, I>::GetVal;
  using C_Vec<T, I>::Print;
  int MemSize() const override { return 0; }
  int InCore() override { return 1; }
  int Full() override { return 1; }
  int Print(FILE* f) override { return C_Vec<T, I>::Print(f); }
  T GetVal(I) override { return T(); }
  T Sum(I, I) override { return T(); }
  C_Vec<T, I>* Lnk(I) override { return nullptr; }
  int SMlt(T, I, I) override { return 0; }
};

// Contiguous elements in a std::vector; in-core and full flags can be switched off.
template <class T, class I>
class ArrayVec : public C_Vec<T, I> {
 public:
  std::vector<T> v;
  int inCore = 1;
  int full = 1;

  explicit ArrayVec(I n = 0) : C_Vec<T, I>(n), v(static_cast<size_t>(n > 0 ? n : 0)) {}
  ArrayVec(std::initializer_list<T> init) : C_Vec<T, I>(static_cast<I>(init.size())), v(init) {}

  using C_Vec<T, I>::GetVal;
  using C_Vec<T, I>::Print;
  using C_Vec<T, I>::FirstVal;
  using C_Vec<T, I>::NextVal;
  int MemSize() const override { return static_cast<int>(v.size() * sizeof(T)); }
  int InCore() override { return inCore; }
  int Full() override { return full; }
  int Print(FILE* f) override { return C_Vec<T, I>::Print(f); }
  int Resize(I n) override {
    this->dim = n;
    v.resize(static_cast<size_t>(n > 0 ? n : 0));
    return 0;
  }
  T* Adr(I i) override { return v.empty() ? nullptr : v.data() + i; }
  T GetVal(I i) override { return v[static_cast<size_t>(i)]; }
  int SetVal(I i, T x) override {
    v[static_cast<size_t>(i)] = x;
    return 1;
  }
  T& operator[](I i) override { return v[static_cast<size_t>(i)]; }
  T* Extract(I first, I, T*) override { return v.data() + first; }
  T Sum(I first, I last) override {
    if (last == -1) last = this->dim - 1;
    T s = T();
    for (I i = first; i <= last; ++i) s += v[static_cast<size_t>(i)];
    return s;
  }
  C_Vec<T, I>* Lnk(I) override { return nullptr; }
  int SMlt(T a, I first, I last) override {
    if (last == -1) last = this->dim - 1;
    for (I i = first; i <= last; ++i) v[static_cast<size_t>(i)] *= a;
    return 0;
  }
};

// Elements kept in separate chunks of 4096 (no contiguous address, not in core by default),
// reached through Extract: a range inside one chunk is handed out as the chunk itself (so
// the multiply-add writes into the storage), a range across chunks as an assembled copy.
// With full = 0 it answers through its value cursor, delivering the positions in `stored`.
template <class T, class I>
class ChunkVec : public C_Vec<T, I> {
 public:
  static constexpr I kChunk = 4096;
  std::vector<std::vector<T>> chunks;
  std::vector<T> scratch;
  int inCore = 0;
  int full = 1;
  T* adr = nullptr;  // what Adr(0) answers (null: no contiguous address)
  struct Call {
    I first, last;
    T* buf;
  };
  std::vector<Call> extracts;
  std::vector<std::pair<I, T>> stored;  // the cursor's values when not full
  size_t cursor = 0;

  explicit ChunkVec(I n = 0) : C_Vec<T, I>(0) { Resize(n); }

  using C_Vec<T, I>::GetVal;
  using C_Vec<T, I>::Print;
  using C_Vec<T, I>::FirstVal;
  using C_Vec<T, I>::NextVal;
  int MemSize() const override { return static_cast<int>(this->dim * static_cast<I>(sizeof(T))); }
  int InCore() override { return inCore; }
  int Full() override { return full; }
  int Print(FILE* f) override { return C_Vec<T, I>::Print(f); }
  int Resize(I n) override {
    this->dim = n;
    I nc = n > 0 ? (n + kChunk - 1) / kChunk : 0;
    chunks.resize(static_cast<size_t>(nc));
    for (I c = 0; c < nc; ++c) {
      I len = (c == nc - 1) ? n - c * kChunk : kChunk;
      chunks[static_cast<size_t>(c)].resize(static_cast<size_t>(len));
    }
    return 0;
  }
  T* Adr(I i) override { return adr ? adr + i : nullptr; }
  T& At(I i) { return chunks[static_cast<size_t>(i / kChunk)][static_cast<size_t>(i % kChunk)]; }
  T GetVal(I i) override { return At(i); }
  int SetVal(I i, T x) override {
    At(i) = x;
    return 1;
  }
  T& operator[](I i) override { return At(i); }
  T* Extract(I first, I last, T* buf) override {
    if (last == -1) last = this->dim - 1;
    extracts.push_back(Call{first, last, buf});
    if (first / kChunk == last / kChunk) return &At(first);
    scratch.assign(static_cast<size_t>(last - first + 1), T());
    for (I i = first; i <= last; ++i) scratch[static_cast<size_t>(i - first)] = At(i);
    return scratch.data();
  }
  T Sum(I first, I last) override {
    if (last == -1) last = this->dim - 1;
    T s = T();
    for (I i = first; i <= last; ++i) s += At(i);
    return s;
  }
  C_Vec<T, I>* Lnk(I) override { return nullptr; }
  int SMlt(T a, I first, I last) override {
    if (last == -1) last = this->dim - 1;
    for (I i = first; i <= last; ++i) At(i) *= a;
    return 0;
  }
  I FirstVal(T& x) override {
    cursor = 0;
    return NextVal(x);
  }
  I NextVal(T& x) override {
    if (cursor >= stored.size()) return -1;
    x = stored[cursor].second;
    return stored[cursor++].first;
  }
};

// A storage that is not in core: its values are copied out through Extract into the
// caller's heap buffer, which it reallocates as the library's own storage does.
template <class T>
class ChunkPtr : public C_Ptr<T, int> {
 public:
  std::vector<T> values;
  int inCore = 0;
  std::vector<std::pair<int, int>> extracts;  // (first, n) of each call
  std::vector<bool> gotBuffer;                 // whether each call received a buffer

  explicit ChunkPtr(std::vector<T> vals) : values(std::move(vals)) {}
  void Copy(C_Ptr<T, int>&, int) override {}
  int InCore() override { return inCore; }
  T GetVal(int i) override { return values[static_cast<size_t>(i)]; }
  T* Extract(int first, int n, T* buf) override {
    extracts.emplace_back(first, n);
    gotBuffer.push_back(buf != nullptr);
    if (!buf) return values.data() + first;
    T* out = static_cast<T*>(kvelomem_realloc(buf, static_cast<size_t>(n) * sizeof(T), "test", 0, __FILE__, __LINE__));
    std::memcpy(static_cast<void*>(out), values.data() + first, static_cast<size_t>(n) * sizeof(T));
    return out;
  }
  T Sum(int, int) override { return T(); }
  int SMlt(T, int, int) override { return 0; }
};

#endif
