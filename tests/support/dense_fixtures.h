// dense_fixtures.h: builders, owners and readers of the dense C matrix records (VEC, MAT,
// PERM, IVEC, LVEC) for the tests, and a text stream to feed the record readers.
#ifndef KVELO_TESTS_DENSE_FIXTURES_H
#define KVELO_TESTS_DENSE_FIXTURES_H

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "matrix.h"

namespace cmat_test {

struct VecFree {
  void operator()(VEC* v) const { if (v != nullptr) v_free(v); }
};
struct MatFree {
  void operator()(MAT* A) const { if (A != nullptr) m_free(A); }
};
struct PermFree {
  void operator()(PERM* p) const { if (p != nullptr) px_free(p); }
};
struct IvecFree {
  void operator()(IVEC* v) const { if (v != nullptr) iv_free(v); }
};
struct LvecFree {
  void operator()(LVEC* v) const { if (v != nullptr) lv_free(v); }
};
using VecP = std::unique_ptr<VEC, VecFree>;
using MatP = std::unique_ptr<MAT, MatFree>;
using PermP = std::unique_ptr<PERM, PermFree>;
using IvecP = std::unique_ptr<IVEC, IvecFree>;
using LvecP = std::unique_ptr<LVEC, LvecFree>;

// New records holding the given values (the caller frees them, or hands them to an owner).
inline VEC* NewVec(const std::vector<double>& vals) {
  int st = 0;
  VEC* v = _LM_v_get("test", 0, static_cast<int>(vals.size()), __LINE__, "NewVec", &st);
  std::copy(vals.begin(), vals.end(), v->ve);
  return v;
}
inline VEC* NewVec(std::initializer_list<double> vals) { return NewVec(std::vector<double>(vals)); }

// A matrix of m rows and n columns, given row after row.
inline MAT* NewMat(int m, int n, const std::vector<double>& byRows) {
  int st = 0;
  MAT* A = _LM_m_get("test", 0, m, n, __LINE__, "NewMat", &st);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) A->me[i][j] = byRows[static_cast<size_t>(i) * n + j];
  return A;
}

// A matrix given by its rows (all of one length).
inline MAT* NewMat(std::initializer_list<std::initializer_list<double>> rows) {
  const int m = static_cast<int>(rows.size());
  const int n = m > 0 ? static_cast<int>(rows.begin()->size()) : 0;
  std::vector<double> byRows;
  for (const auto& row : rows) byRows.insert(byRows.end(), row.begin(), row.end());
  return NewMat(m, n, byRows);
}

inline PERM* NewPerm(const std::vector<unsigned>& entries) {
  int st = 0;
  PERM* p = _LM_px_get("test", 0, static_cast<int>(entries.size()), __LINE__, "NewPerm", &st);
  std::copy(entries.begin(), entries.end(), p->pe);
  return p;
}
inline PERM* NewPerm(std::initializer_list<unsigned> entries) {
  return NewPerm(std::vector<unsigned>(entries));
}

inline IVEC* NewIvec(std::initializer_list<int> vals) {
  int st = 0;
  IVEC* v = _LM_iv_get("test", 0, static_cast<int>(vals.size()), __LINE__, "NewIvec", &st);
  std::copy(vals.begin(), vals.end(), v->ive);
  return v;
}

inline LVEC* NewLvec(std::initializer_list<long> vals) {
  int st = 0;
  LVEC* v = _LM_lv_get("test", 0, static_cast<int>(vals.size()), __LINE__, "NewLvec", &st);
  std::copy(vals.begin(), vals.end(), v->lve);
  return v;
}

// New records with entries drawn uniformly from [-1, 1), row after row.
inline MAT* RandMat(std::mt19937& g, int m, int n) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  int st = 0;
  MAT* A = _LM_m_get("test", 0, m, n, __LINE__, "RandMat", &st);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) A->me[i][j] = d(g);
  return A;
}
inline VEC* RandVec(std::mt19937& g, int n) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  int st = 0;
  VEC* v = _LM_v_get("test", 0, n, __LINE__, "RandVec", &st);
  for (int i = 0; i < n; ++i) v->ve[i] = d(g);
  return v;
}

inline std::vector<double> Values(const VEC* v) { return std::vector<double>(v->ve, v->ve + v->dim); }
inline std::vector<unsigned> Entries(const PERM* p) { return std::vector<unsigned>(p->pe, p->pe + p->size); }
inline std::vector<int> Ints(const IVEC* v) { return std::vector<int>(v->ive, v->ive + v->dim); }
inline std::vector<long> Longs(const LVEC* v) { return std::vector<long>(v->lve, v->lve + v->dim); }
inline std::vector<double> Rows(const MAT* A) {
  std::vector<double> out;
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned j = 0; j < A->n; ++j) out.push_back(A->me[i][j]);
  return out;
}

// "%<width>ld" written out by hand: the number right-aligned in width places.
inline std::string Padded(long v, size_t width) {
  const std::string s = std::to_string(v);
  return std::string(width > s.size() ? width - s.size() : 0, ' ') + s;
}

// A read-only stream holding text, for the readers; closed with the object.
class TextFile {
 public:
  explicit TextFile(const std::string& text) : f_(std::tmpfile()) {
    if (f_ != nullptr) {
      std::fwrite(text.data(), 1, text.size(), f_);
      std::rewind(f_);
    }
  }
  ~TextFile() {
    if (f_ != nullptr) std::fclose(f_);
  }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  FILE* get() const { return f_; }
  // What is left unread.
  std::string Rest() const {
    std::string out;
    int c;
    while ((c = std::fgetc(f_)) != EOF) out.push_back(static_cast<char>(c));
    return out;
  }

 private:
  FILE* f_;
};

}  // namespace cmat_test

#endif
