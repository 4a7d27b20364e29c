/* fuzz_cont_read.cpp: the binary forms of the containers read from arbitrary bytes: concrete
 * vectors of int, double and complex<double> (owning and borrowing), the generic vector's
 * dimension, the general and packed symmetric matrices (owning, views, and general views
 * with a leading dimension beyond their rows), and the matrix header. A read that is refused
 * must leave the target as it was; one that succeeds must hold exactly the values the bytes
 * encode (decoded here, big-endian). A view never writes outside its own elements.
 * Input: byte 0 (bit 7: pipe; bit 6: borrowing / view target; bit 5: the general view is
 * strided; bits 0-3: reader). */
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "C_KveloException.h"
#include "C_Mat.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"
#include "C_Vec.h"
#include "C_VecPi.h"
#include "fuzz_support.h"

namespace {

int BigInt(const uint8_t* p) {
  return static_cast<int>((static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                          (static_cast<uint32_t>(p[2]) << 8) | p[3]);
}

template <typename T>
T BigValue(const uint8_t* p);
template <>
int BigValue<int>(const uint8_t* p) {
  return BigInt(p);
}
template <>
double BigValue<double>(const uint8_t* p) {
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u = (u << 8) | p[i];
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}
template <>
std::complex<double> BigValue<std::complex<double> >(const uint8_t* p) {
  return std::complex<double>(BigValue<double>(p), BigValue<double>(p + 8));
}

template <typename T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <typename T>
using Vec = C_VecPi<T, int, C_PtrInCore<T, int> >;

template <typename T>
std::vector<T> Values(Vec<T>& v) {
  std::vector<T> out;
  for (int i = 0; i < v.Dim(); ++i) out.push_back(v.GetVal(i));
  return out;
}

template <typename T>
bool SameValues(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameBits(a[i], b[i])) return false;
  return true;
}

template <typename T>
T Fill(int i) {
  return static_cast<T>(i + 1);
}

// A concrete vector of dimension 5 (owning, or borrowing a caller's array) read from the
// stream: refused leaves it as it was; read holds the dimension and the values of the bytes.
template <typename T>
void ReadVector(FILE* f, bool borrow, const uint8_t* bytes, size_t size) {
  std::vector<T> own(5);
  for (int i = 0; i < 5; ++i) own[static_cast<size_t>(i)] = Fill<T>(i);
  Vec<T>* v = borrow ? new Vec<T>(5, own.data()) : new Vec<T>(5);
  if (!borrow)
    for (int i = 0; i < 5; ++i) v->SetVal(i, Fill<T>(i));
  const std::vector<T> before = Values(*v);
  try {
    v->Read(f);
  } catch (const C_KveloException&) {
    if (!SameValues(before, Values(*v))) std::abort();
    delete v;
    return;
  }
  if (size < 4) std::abort();
  const int n = BigInt(bytes);
  if (n != v->Dim() || size - 4 < static_cast<size_t>(n) * sizeof(T)) std::abort();
  for (int i = 0; i < n; ++i)
    if (!SameBits(v->GetVal(i), BigValue<T>(bytes + 4 + static_cast<size_t>(i) * sizeof(T)))) std::abort();
  delete v;
}

// The generic form's dimension alone (little-endian, no values).
void ReadBaseDim(FILE* f, const uint8_t* bytes, size_t size) {
  Vec<double> v(3);
  try {
    v.C_BaseVec<int>::Read(f);
  } catch (const C_KveloException&) {
    if (v.Dim() != 3) std::abort();
    return;
  }
  if (size < 4) std::abort();
  const uint8_t le[4] = {bytes[3], bytes[2], bytes[1], bytes[0]};
  const int n = BigInt(le);
  if (v.Dim() != n) std::abort();
}

// A 2 x 3 general matrix (owning, or a view of a caller's array, whose columns are 3 apart
// when strided) read from the stream. The array's third row is no element of a strided view.
template <typename T>
void ReadGeneral(FILE* f, bool view, bool strided, const uint8_t* bytes, size_t size) {
  std::vector<T> own(9);
  for (int i = 0; i < 9; ++i) own[static_cast<size_t>(i)] = Fill<T>(i);
  const int ld = strided ? 3 : 2;
  C_MatMGe<T>* m = view ? new C_MatMGe<T>(2, 3, own.data(), ld) : new C_MatMGe<T>(2, 3);
  // Outside the view: the third row of a strided one, the last three values of a plain one.
  auto outsideKept = [&]() {
    if (!view) return true;
    for (int k = 0; k < 9; ++k) {
      const bool inside = strided ? k % 3 != 2 : k < 6;
      if (!inside && !SameBits(own[static_cast<size_t>(k)], Fill<T>(k))) return false;
    }
    return true;
  };
  if (!view)
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 2; ++i) m->SetVal(i, j, Fill<T>(i + 2 * j));
  std::vector<T> before;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 2; ++i) before.push_back(m->GetVal(i, j));
  try {
    m->Read(f);
  } catch (const C_KveloException&) {
    if (m->rows != 2 || m->cols != 3 || m->Ld() != (view ? ld : 2) || !outsideKept()) std::abort();
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 2; ++i)
        if (!SameBits(before[static_cast<size_t>(i + 2 * j)], m->GetVal(i, j))) std::abort();
    delete m;
    return;
  }
  // A view takes only a shape it can hold in its own elements, keeping its leading dimension.
  if (!outsideKept()) std::abort();
  if (view && m->Adr() != own.data()) std::abort();
  if (view && strided && (m->rows != 2 || m->cols != 3 || m->Ld() != 3)) std::abort();
  if (size < 12) std::abort();
  const int r = BigInt(bytes), c = BigInt(bytes + 4), count = BigInt(bytes + 8);
  if (m->rows != r || m->cols != c || static_cast<long long>(r) * c != count) std::abort();
  if (size - 12 < static_cast<size_t>(count) * sizeof(T)) std::abort();
  for (int j = 0; j < c; ++j)
    for (int i = 0; i < r; ++i)
      if (!SameBits(m->GetVal(i, j), BigValue<T>(bytes + 12 + static_cast<size_t>(i + r * j) * sizeof(T))))
        std::abort();
  delete m;
}

// A 3 x 3 packed symmetric matrix (upper; owning, or a Lnk() view of another) read from the
// stream. A view keeps its order and its owner's side.
template <typename T>
void ReadSymmetric(FILE* f, bool view, const uint8_t* bytes, size_t size) {
  C_MatMSym<T> owner(3, 0);
  for (int j = 0; j < 3; ++j)
    for (int i = j; i < 3; ++i) owner.SetVal(i, j, Fill<T>(i + 3 * j));
  C_Mat<T>* link = view ? owner.Lnk() : nullptr;
  C_MatMSym<T>& m = view ? static_cast<C_MatMSym<T>&>(*link) : owner;
  std::vector<T> before;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) before.push_back(m.GetVal(i, j));
  int r = 0;
  try {
    r = m.Read(f);
  } catch (const C_KveloException&) {
    r = -1;
  }
  if (r != 0) {
    if (m.rows != 3 || m.cols != 3 || (view && m.Side() != 0)) std::abort();
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i)
        if (!SameBits(before[static_cast<size_t>(i + 3 * j)], m.GetVal(i, j))) std::abort();
    delete link;
    return;
  }
  if (size < 16) std::abort();
  const int n = BigInt(bytes), side = BigInt(bytes + 8), count = BigInt(bytes + 12);
  if (m.rows != n || m.cols != n || static_cast<long long>(n) * (n + 1) / 2 != count) std::abort();
  if (size - 16 < static_cast<size_t>(count) * sizeof(T)) std::abort();
  if (view && (n != 3 || m.Side() != 0 || m.Adr() != owner.Adr())) std::abort();
  // Every element is the file's, placed by the file's side, and the owner reads the same.
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const long long lo = i < j ? i : j, hi = i < j ? j : i;
      const long long pos = side ? hi + lo * n - lo * (lo + 1) / 2 : lo + hi * (hi + 1) / 2;
      const T want = BigValue<T>(bytes + 16 + static_cast<size_t>(pos) * sizeof(T));
      if (!SameBits(m.GetVal(i, j), want)) std::abort();
      if (view && !SameBits(owner.GetVal(i, j), want)) std::abort();
    }
  delete link;
}

void ReadHeaderOnly(FILE* f, const uint8_t* bytes, size_t size) {
  C_MatMGe<double> m(1, 1);
  try {
    m.C_GenericMat::Read(f);
  } catch (const C_KveloException&) {
    if (m.rows != 1 || m.cols != 1) std::abort();
    return;
  }
  if (size < 8 || m.rows != BigInt(bytes) || m.cols != BigInt(bytes + 4)) std::abort();
  // Only the header changed: give the matrix back its shape before it goes.
  m.rows = 1;
  m.cols = 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvfuzz::SilenceMessages();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const uint8_t* bytes = data + 1;
  const size_t n = size - 1;
  kvfuzz::InputStream in(bytes, n, (mode & 0x80) != 0);
  const bool borrow = (mode & 0x40) != 0;
  const bool strided = (mode & 0x20) != 0;
  FILE* f = in.Get();
  switch (mode & 0x0F) {
    case 0: ReadVector<double>(f, borrow, bytes, n); break;
    case 1: ReadVector<int>(f, borrow, bytes, n); break;
    case 2: ReadVector<std::complex<double> >(f, borrow, bytes, n); break;
    case 3: ReadBaseDim(f, bytes, n); break;
    case 4: ReadGeneral<double>(f, borrow, strided, bytes, n); break;
    case 5: ReadGeneral<std::complex<double> >(f, borrow, strided, bytes, n); break;
    case 6: ReadSymmetric<double>(f, borrow, bytes, n); break;
    case 7: ReadSymmetric<std::complex<double> >(f, borrow, bytes, n); break;
    default: ReadHeaderOnly(f, bytes, n); break;
  }
  return 0;
}
