// prop_kriging_support.h: what the Kriging property harness builds on: byte images of model
// files, a blob of every observable of a model (for "a refusal changes nothing"), a probe
// class that opens the protected helpers, generators of sample sets and points, and long
// double references of the error measures.
#ifndef KVELO_TEST_PROP_KRIGING_SUPPORT_H
#define KVELO_TEST_PROP_KRIGING_SUPPORT_H

#include <rapidcheck.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Kriging.h"
#include "prop_support.h"

namespace kvtest {
namespace krig {

typedef std::complex<double> cplx;
typedef std::vector<unsigned char> Blob;
typedef C_VecPi<double, int, C_PtrInCore<double, int>> RVec;

inline double Re(double x) { return x; }
inline double Re(const cplx& z) { return z.real(); }
inline long double Mag2(double x) { return static_cast<long double>(x) * x; }
inline long double Mag2(const cplx& z) {
  return static_cast<long double>(z.real()) * z.real() + static_cast<long double>(z.imag()) * z.imag();
}
inline bool Finite(double x) { return std::isfinite(x); }
inline bool Finite(const cplx& z) { return std::isfinite(z.real()) && std::isfinite(z.imag()); }

template <class T>
bool AllFinite(const C_MatMGe<T>& M) {
  for (int j = 0; j < M.cols; ++j)
    for (int i = 0; i < M.rows; ++i)
      if (!Finite(M.GetVal(i, j))) return false;
  return true;
}

inline void Put(Blob& b, const void* p, std::size_t n) {
  const unsigned char* c = static_cast<const unsigned char*>(p);
  b.insert(b.end(), c, c + n);
}
inline void PutI(Blob& b, long long v) { Put(b, &v, sizeof v); }
inline void PutD(Blob& b, double v) { Put(b, &v, sizeof v); }
template <class T>
void PutM(Blob& b, const C_MatMGe<T>& M) {
  PutI(b, M.rows);
  PutI(b, M.cols);
  for (int j = 0; j < M.cols; ++j)
    for (int i = 0; i < M.rows; ++i) {
      const T v = M.GetVal(i, j);
      Put(b, &v, sizeof v);
    }
}
template <class T>
void PutV(Blob& b, C_VecPi<T, int, C_PtrInCore<T, int>>& v) {
  PutI(b, v.Dim());
  for (int i = 0; i < v.Dim(); ++i) {
    const T x = v[i];
    Put(b, &x, sizeof x);
  }
}

// The whole content of a stream (its position left at the end).
inline Blob ContentOfFile(FILE* f) {
  Blob out;
  std::fflush(f);
  std::rewind(f);
  unsigned char buf[4096];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + got);
  return out;
}

struct FileClose {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};
typedef std::unique_ptr<FILE, FileClose> File;

inline File FileOf(const Blob& b) {
  File f(std::tmpfile());
  if (f && !b.empty()) std::fwrite(b.data(), 1, b.size(), f.get());
  if (f) std::rewind(f.get());
  return f;
}

// What Write puts in a file for k; res := Write's result.
template <class T>
Blob Image(Kriging<T>& k, int& res) {
  File f(std::tmpfile());
  res = k.Write(f.get());
  return ContentOfFile(f.get());
}

// The older layout: the same records without the leading version text.
inline Blob WithoutVersion(const Blob& b) {
  if (b.size() < 4) return b;
  const std::size_t len = (static_cast<std::size_t>(b[0]) << 24) | (static_cast<std::size_t>(b[1]) << 16) |
                          (static_cast<std::size_t>(b[2]) << 8) | b[3];
  if (b.size() < 4 + len) return b;
  return Blob(b.begin() + static_cast<long>(4 + len), b.end());
}

// Every observable of a model that the getters, the writer and the error tables show.
template <class T>
Blob Observe(Kriging<T>& k) {
  typedef C_VecPi<T, int, C_PtrInCore<T, int>> TVec;
  Blob b;
  int res = 0;
  Blob img = Image(k, res);
  PutI(b, res);
  b.insert(b.end(), img.begin(), img.end());
  int n = 0, q = 0, m = 0, it = 0, p = 0, r = 0;
  k.GetNumVar(n);
  k.GetNumSol(q);
  k.GetNumSamp(m);
  k.GetMaxNumIter(it);
  PutI(b, n);
  PutI(b, q);
  PutI(b, m);
  PutI(b, it);
  PutD(b, k.GetDropToler());
  int opt = -7;
  PutI(b, k.GetOptNumSamp(opt));
  PutI(b, opt);
  RVec kern(0);
  PutI(b, k.GetKernVec(kern));
  PutV(b, kern);
  PutI(b, k.GetSolnType());
  PutI(b, k.GetCorrFuncType());
  E_KrigingKernVarType kv = KernOneForAll;
  PutI(b, k.GetKrigingKernVarType(kv));
  PutI(b, kv);
  PutI(b, k.GetKrigingKernVarType());
  PutI(b, k.GetKrigingKernOptType());
  PutI(b, k.GetScalingType());
  PutI(b, k.GetPolynomType());
  PutI(b, k.GetKrigingStatus());
  C_MatMGe<T> X(0, 0), Y(0, 0), G(0, 0), B(0, 0);
  PutI(b, k.GetInpSampMtx(X));
  PutM(b, X);
  PutI(b, k.GetOutSampMtx(Y));
  PutM(b, Y);
  int groups = 0;
  k.GetNumGlobalSol(groups);
  PutI(b, groups);
  int err = 0;
  int* sizes = k.GetVecGlobalSol(err);
  PutI(b, err);
  for (int g = 0; sizes && g < groups; ++g) PutI(b, sizes[g]);
  delete[] sizes;
  RVec v1(0), v3(0);
  TVec v2(0), v4(0);
  k.GetInpScaleVec(v1);
  k.GetInpInterceptVec(v2);
  k.GetOutScaleVec(v3);
  k.GetOutInterceptVec(v4);
  PutV(b, v1);
  PutV(b, v2);
  PutV(b, v3);
  PutV(b, v4);
  k.GetCorrCoeff(G);
  PutM(b, G);
  PutI(b, k.GetPolyCoeff(B));
  PutM(b, B);
  k.GetNumKern(p);
  PutI(b, p);
  k.GetNumCorrCoef(r);
  PutI(b, r);
  k.GetNumPolyCoeff(r);
  PutI(b, r);
  for (int j = 0; j < q && j < 8; ++j) {
    double pv = -3.0;
    PutI(b, k.GetProcVarnc(pv, j));
    PutD(b, pv);
  }
  double mle = -3.0;
  PutI(b, k.GetMLE(mle));
  PutD(b, mle);
  RVec mv(0);
  PutI(b, k.GetMLE(mv));
  PutV(b, mv);
  const int dim = k.GetTestRelativeErrorDim();
  PutI(b, dim);
  for (int i = 0; i < dim && i < 64; ++i) PutD(b, k.TestRelativeError(i));
  PutI(b, k.ISSolveRequired() ? 1 : 0);
  RVec ranges(0);
  PutI(b, k.GetOutputGlobalRange(ranges));
  PutV(b, ranges);
  b.insert(b.end(), k.Version(), k.Version() + std::strlen(k.Version()));
  return b;
}

// A point coordinate: mostly on a grid of quarters (so distances tie exactly), sometimes far.
template <class T>
struct Coord;
template <>
struct Coord<double> {
  static rc::Gen<double> Near() {
    return rc::gen::map(rc::gen::inRange(-8, 9), [](int i) { return i / 4.0; });
  }
  static rc::Gen<double> Any() {
    return rc::gen::weightedOneOf<double>({{12, Near()},
                                           {2, rc::gen::element(30.0, -30.0, 1e3, 1e150, -1e300, 1e-300)},
                                           {1, AnyDouble()}});
  }
};
template <>
struct Coord<cplx> {
  static rc::Gen<cplx> Near() {
    return rc::gen::map(rc::gen::pair(Coord<double>::Near(), rc::gen::element(0.0, 0.0, 0.25, -0.5)),
                        [](std::pair<double, double> p) { return cplx(p.first, p.second); });
  }
  static rc::Gen<cplx> Any() {
    return rc::gen::weightedOneOf<cplx>(
        {{12, Near()},
         {2, rc::gen::map(rc::gen::element(30.0, -30.0, 1e3, 1e150, -1e300),
                          [](double d) { return cplx(d, 0.5 * d); })},
         {1, AnyComplex()}});
  }
};

// An output value: an ordinary value times one scale for the whole set.
template <class T>
struct OutVal;
template <>
struct OutVal<double> {
  static rc::Gen<double> Base() {
    return rc::gen::map(rc::gen::inRange(-1000, 1001), [](int i) { return i / 100.0; });
  }
};
template <>
struct OutVal<cplx> {
  static rc::Gen<cplx> Base() {
    return rc::gen::map(rc::gen::pair(OutVal<double>::Base(), OutVal<double>::Base()),
                        [](std::pair<double, double> p) { return cplx(p.first, p.second); });
  }
};

inline rc::Gen<double> OutScale() {
  return rc::gen::weightedOneOf<double>(
      {{8, rc::gen::just(1.0)},
       {3, rc::gen::element(0x1p508, 1e153, 1e-150, 1e160, 1e300, 1.5e306, 1.5e307, 1e-300, 0.0)}});
}

template <class T>
rc::Gen<C_MatMGe<T>> Points(int r, int c) {
  return rc::gen::map(rc::gen::container<std::vector<T>>(static_cast<std::size_t>(r * c), Coord<T>::Any()),
                      [r, c](const std::vector<T>& v) {
                        C_MatMGe<T> M(r, c);
                        for (int j = 0; j < c; ++j)
                          for (int i = 0; i < r; ++i) M.SetVal(i, j, v[static_cast<std::size_t>(j * r + i)]);
                        return M;
                      });
}
template <class T>
rc::Gen<C_MatMGe<T>> NearPoints(int r, int c) {
  return rc::gen::map(rc::gen::container<std::vector<T>>(static_cast<std::size_t>(r * c), Coord<T>::Near()),
                      [r, c](const std::vector<T>& v) {
                        C_MatMGe<T> M(r, c);
                        for (int j = 0; j < c; ++j)
                          for (int i = 0; i < r; ++i) M.SetVal(i, j, v[static_cast<std::size_t>(j * r + i)]);
                        return M;
                      });
}
template <class T>
rc::Gen<C_MatMGe<T>> Outputs(int r, int c) {
  return rc::gen::map(
      rc::gen::tuple(rc::gen::container<std::vector<T>>(static_cast<std::size_t>(r * c), OutVal<T>::Base()),
                     OutScale(), rc::gen::inRange(0, 12), rc::gen::inRange(0, r * c > 0 ? r * c : 1),
                     AnyDouble()),
      [r, c](const std::tuple<std::vector<T>, double, int, int, double>& t) {
        C_MatMGe<T> M(r, c);
        for (int j = 0; j < c; ++j)
          for (int i = 0; i < r; ++i)
            M.SetVal(i, j, std::get<0>(t)[static_cast<std::size_t>(j * r + i)] * std::get<1>(t));
        // Now and then one value from anywhere in the format.
        if (std::get<2>(t) == 0 && r * c > 0) {
          const int at = std::get<3>(t);
          M.SetVal(at % r, at / r, T(std::get<4>(t)));
        }
        return M;
      });
}

// Long double magnitude norm of a set of values.
inline long double NormL(const std::vector<long double>& sq) {
  long double s = 0;
  for (long double v : sq) s += v;
  return std::sqrt(s);
}

}  // namespace krig
}  // namespace kvtest

#endif
