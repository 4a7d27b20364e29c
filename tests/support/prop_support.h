// prop_support.h: what the property harnesses share: generators that draw doubles and complex
// values from the whole range of the format (not just the tame middle that RapidCheck's own
// generator covers), and KVELO_HOLDS, the list of public operations a harness holds, which
// the coverage check reads from the harness's source.
#ifndef KVELO_TEST_PROP_SUPPORT_H
#define KVELO_TEST_PROP_SUPPORT_H

#include <rapidcheck.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <vector>

#include "edge_values.h"

// KVELO_HOLDS("C_Vec::Nrm", "LM_v_get", ...): the exported functions whose behaviour this
// harness's commands exercise, named as the coverage check names the dynamic table's entries:
// the demangled name without the Kvelo:: namespace, template arguments or parameter list (so
// one name stands for every overload and instance). Write it once per harness, beside the
// command list, and name only what a command really calls.
#define KVELO_HOLDS(...) \
  [[maybe_unused]] static const char* const kvelo_holds_list[] = {__VA_ARGS__}

namespace kvtest {

// A double from anywhere in the format: the edge values (signed zeros, subnormals, DBL_MAX,
// infinities, NaNs), powers of ten near the ends (1e±300), and mantissas spread over every
// binary exponent.
inline rc::Gen<double> AnyDouble() {
  return rc::gen::weightedOneOf<double>({
      {2, rc::gen::elementOf(EdgeDoubles())},
      {1, rc::gen::element(1e300, -1e300, 1e-300, -1e-300, 1e154, 1e-154, 1.5e308, -1.7e308)},
      {3, rc::gen::map(rc::gen::pair(rc::gen::inRange(-(1 << 20), 1 << 20),
                                     rc::gen::inRange(-1074, 1024)),
                       [](std::pair<int, int> p) { return std::ldexp(p.first, p.second - 20); })},
      {4, rc::gen::arbitrary<double>()},
  });
}

// A finite double from anywhere in the format (no infinity, no NaN).
inline rc::Gen<double> FiniteDouble() {
  return rc::gen::suchThat(AnyDouble(), [](double d) { return std::isfinite(d); });
}

// A double of ordinary size, for arguments where magnitude is not what is tested.
inline rc::Gen<double> TameDouble() {
  return rc::gen::map(rc::gen::inRange(-1000000, 1000001), [](int i) { return i / 1000.0; });
}

// Complex values whose parts are drawn independently, so their sizes may differ wildly and
// one part may be inf while the other is NaN.
inline rc::Gen<std::complex<double>> AnyComplex() {
  return rc::gen::map(rc::gen::pair(AnyDouble(), AnyDouble()), [](std::pair<double, double> p) {
    return std::complex<double>(p.first, p.second);
  });
}

inline rc::Gen<std::complex<double>> FiniteComplex() {
  return rc::gen::map(rc::gen::pair(FiniteDouble(), FiniteDouble()),
                      [](std::pair<double, double> p) {
                        return std::complex<double>(p.first, p.second);
                      });
}

inline rc::Gen<std::complex<double>> TameComplex() {
  return rc::gen::map(rc::gen::pair(TameDouble(), TameDouble()), [](std::pair<double, double> p) {
    return std::complex<double>(p.first, p.second);
  });
}

// Bitwise equality of doubles (NaN payloads and zero signs included), for "changes nothing".
inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

}  // namespace kvtest

#endif
