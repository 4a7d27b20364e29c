// C_RandNum.cpp: the MT19937 generator behind the library's random fills and random
// design points, with its seeding rules, statuses and the mapping of words to (lo, hi).
#include "C_RandNum.h"

#include "platform/plat_time.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <new>

namespace {

static_assert(sizeof(unsigned) == 4, "MT19937 words are 32-bit unsigned ints");

const int kN = 624;
const int kM = 397;
const unsigned kMatrixA = 0x9908B0DFu;
const unsigned kUpper = 0x80000000u;
const unsigned kLower = 0x7FFFFFFFu;
const unsigned kFixedSeed = 123457u;
const int kReady = 100;
const int kNotReady = 101;

void SeedOne(unsigned* mt, unsigned seed) {
  mt[0] = seed;
  for (int i = 1; i < kN; ++i) mt[i] = 1812433253u * (mt[i - 1] ^ (mt[i - 1] >> 30)) + static_cast<unsigned>(i);
}

void SeedArray(unsigned* mt, const unsigned* key, int n) {
  SeedOne(mt, 19650218u);
  int i = 1, j = 0;
  for (int k = n > kN ? n : kN; k > 0; --k) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525u)) + key[j] + static_cast<unsigned>(j);
    ++i;
    ++j;
    if (i >= kN) {
      mt[0] = mt[kN - 1];
      i = 1;
    }
    if (j >= n) j = 0;
  }
  for (int k = kN - 1; k > 0; --k) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941u)) - static_cast<unsigned>(i);
    ++i;
    if (i >= kN) {
      mt[0] = mt[kN - 1];
      i = 1;
    }
  }
  mt[0] = 0x80000000u;
}

unsigned Twist(unsigned a, unsigned b, unsigned far) {
  const unsigned y = (a & kUpper) | (b & kLower);
  return far ^ (y >> 1) ^ ((y & 1u) ? kMatrixA : 0u);
}

// The point u of the way from lo to hi: (hi - lo) * u + lo. Finite bounds of opposite signs
// far apart (-1e308, 1e308) make hi - lo overflow, and every draw would be infinite: the same
// point is then reached as lo * (1 - u) + hi * u, whose terms have opposite signs and stay
// within the bounds (1 - u is exact for u a multiple of 2^-33).
double Between(double u, double lo, double hi) {
  const double width = hi - lo;
  if (std::isinf(width) && std::isfinite(lo) && std::isfinite(hi)) return lo * (1.0 - u) + hi * u;
  return width * u + lo;
}

// Draws of each element type from u in (0, 1). A draw beyond the range of its type stops at
// the type's end (truncation toward zero for int); one that is not a number (a bound that is
// none) is 0 as an int.
inline void Store(double* out, double u, double lo, double hi) { *out = Between(u, lo, hi); }
inline void Store(float* out, double u, double lo, double hi) {
  const double x = Between(static_cast<double>(static_cast<float>(u)), lo, hi);
  const double top = static_cast<double>(FLT_MAX);
  if (std::isfinite(x) && x > top)
    *out = FLT_MAX;
  else if (std::isfinite(x) && x < -top)
    *out = -FLT_MAX;
  else
    *out = static_cast<float>(x);
}
inline void Store(int* out, double u, double lo, double hi) {
  const double x = Between(u, lo, hi);
  if (std::isnan(x))
    *out = 0;
  else if (x <= static_cast<double>(INT_MIN))
    *out = INT_MIN;
  else if (x >= static_cast<double>(INT_MAX))
    *out = INT_MAX;
  else
    *out = static_cast<int>(x);
}

}  // namespace

C_RandNum::C_RandNum()
    : m_state(nullptr),
      m_drawStatus(kNotReady),
      m_wordsLeft(0),
      m_next(nullptr),
      m_seedStatus(kNotReady),
      m_lo(0.0),
      m_hi(1.0) {}

C_RandNum::~C_RandNum() {
  delete[] m_state;
  m_state = nullptr;
  m_next = nullptr;
  m_seeds.clear();
  m_wordsLeft = 0;
  m_drawStatus = kNotReady;
  m_seedStatus = kNotReady;
}

int C_RandNum::Init(const E_InitSeedType& type, const unsigned& seed) {
  unsigned s;
  switch (static_cast<int>(type)) {
    case E_SeedFixed:
      s = kFixedSeed;
      break;
    case E_SeedFromClock:
      s = static_cast<unsigned>(static_cast<unsigned long long>(kvplat::TimeNow()) & 0xFFFFFFFFull);
      break;
    case E_SeedGiven:
      s = seed;
      break;
    default:
      return 1;
  }
  if (s == 0) return 1;
  return Reseed(1, &s, false);
}

int C_RandNum::Init(int n, const unsigned* const seeds) {
  if (n <= 0 || !seeds) return 1;
  for (int i = 0; i < n; ++i)
    if (seeds[i] == 0) return 1;
  return Reseed(n, seeds, true);
}

int C_RandNum::Reseed(int n, const unsigned* seeds, bool byArray) {
  unsigned* state = new (std::nothrow) unsigned[kN];
  if (!state) return 1;
  try {
    m_seeds.assign(seeds, seeds + n);
  } catch (...) {
    delete[] state;
    return 1;
  }
  if (byArray)
    SeedArray(state, seeds, n);
  else
    SeedOne(state, seeds[0]);
  delete[] m_state;
  m_state = state;
  m_next = m_state;
  m_wordsLeft = 1;
  m_drawStatus = kReady;
  m_seedStatus = kReady;
  return 0;
}

int C_RandNum::Init() {
  const E_InitSeedType clock = E_SeedFromClock;
  const unsigned unused = 0;
  return Init(clock, unused);
}

void C_RandNum::SetRangeValue(double lo, double hi) {
  m_lo = lo;
  m_hi = hi;
}

int C_RandNum::Regenerate() {
  if (m_seedStatus != kReady || !m_state) return 1;
  unsigned* mt = m_state;
  int k = 0;
  for (; k < kN - kM; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kM]);
  for (; k < kN - 1; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kM - kN]);
  mt[kN - 1] = Twist(mt[kN - 1], mt[0], mt[kM - 1]);
  m_wordsLeft = kN;
  m_next = mt;
  return 0;
}

unsigned C_RandNum::NextWord() {
  unsigned y = *m_next++;
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

template <typename T>
int C_RandNum::GetRandNum(int n, T* const& out) {
  if (m_drawStatus != kReady) return 1;
  if (n > 0 && !out) return 1;
  for (int i = 0; i < n; ++i) {
    if (m_wordsLeft-- == 1 && Regenerate() != 0) return 1;
    const double u = (static_cast<double>(NextWord()) + 0.5) * (1.0 / 4294967296.0);
    Store(out + i, u, m_lo, m_hi);
  }
  return 0;
}

template KVELO_API int C_RandNum::GetRandNum<double>(int, double* const&);
template KVELO_API int C_RandNum::GetRandNum<float>(int, float* const&);
template KVELO_API int C_RandNum::GetRandNum<int>(int, int* const&);

int C_RandNum::GetSeed(unsigned& seed) {
  if (m_seedStatus != kReady || m_seeds.empty()) return 1;
  seed = m_seeds[0];
  return 0;
}

int C_RandNum::GetSeed(int i, unsigned& seed) {
  if (m_seedStatus != kReady || i < 0 || static_cast<size_t>(i) >= m_seeds.size()) return 1;
  seed = m_seeds[static_cast<size_t>(i)];
  return 0;
}

int C_RandNum::GetSeedVectorSize(int& size) {
  if (m_seedStatus != kReady) return 1;
  size = static_cast<int>(m_seeds.size());
  return 0;
}
