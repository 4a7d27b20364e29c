/* C_VecRand.h: random fill of a double or complex<double> vector with uniform values in (0, 1)
 * drawn from a freshly seeded MT19937 generator; the same seed type and seed give the same
 * values on every run (the power iteration starts from such a vector). */
#ifndef KVELO_C_VECRAND_H
#define KVELO_C_VECRAND_H

#include "kvelo_export.h"
#include "C_Vec.h"
#include "C_RandNum.h"
#include "C_KveloException.h"
#include "erreur.h"

#include <climits>
#include <complex>

namespace kvelo_vec {

// The doubles behind the values of a vector: one per real element, two per complex one
// (real part first).
template <class T>
struct RandLayout;
template <>
struct RandLayout<double> {
  static constexpr long long kPerElement = 1;
};
template <>
struct RandLayout<std::complex<double>> {
  static constexpr long long kPerElement = 2;
};

}  // namespace kvelo_vec

// Fills v with uniform values in (0, 1) from a generator seeded by Init(type, seed); for
// complex elements the real and the imaginary part are drawn in turn. Throws 2870 when v is
// not in core or not full (38 when it still gives no address). A refused seed or a failed
// draw is reported with fct_Trace("aff_lieu", ...) and leaves v unchanged or partly drawn.
template <class T>
void InitRand(C_Vec<T, int>& v, E_InitSeedType type, unsigned seed);

template <class T>
void InitRand(C_Vec<T, int>& v, E_InitSeedType type, unsigned seed) {
  if (!v.InCore() || !v.Full()) KVELO_THROW(2870);
  C_RandNum gen;
  if (gen.Init(type, seed) != 0) {
    fct_Trace("aff_lieu", __LINE__, "include/C_VecRand");
    return;
  }
  const long long count = v.dim > 0 ? static_cast<long long>(v.dim) * kvelo_vec::RandLayout<T>::kPerElement : 0;
  if (count == 0) return;
  T* p = v.Adr(0);
  if (!p) KVELO_THROW(38);
  double* out = reinterpret_cast<double*>(p);
  // Drawn in runs the generator's int count can take.
  for (long long done = 0; done < count;) {
    const long long left = count - done;
    const int run = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    double* at = out + done;
    if (gen.GetRandNum(run, at) != 0) {
      fct_Trace("aff_lieu", __LINE__, "include/C_VecRand");
      return;
    }
    done += run;
  }
}

extern template KVELO_API void InitRand<double>(C_Vec<double, int>&, E_InitSeedType, unsigned);
extern template KVELO_API void InitRand<std::complex<double>>(C_Vec<std::complex<double>, int>&, E_InitSeedType,
                                                               unsigned);

#endif
