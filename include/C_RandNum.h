/* C_RandNum.h: uniform random numbers in an open range (lo, hi), (0, 1) unless set, drawn
 * from the Mersenne Twister MT19937 (the published generator: 624-word state, twist,
 * tempering, single-seed and array seeding). Each user creates its own generator; a
 * generator holds no lock and must not be shared between threads without the caller's care. */
#ifndef KVELO_C_RANDNUM_H
#define KVELO_C_RANDNUM_H

#include "kvelo_export.h"

#include <vector>

/* How the single-seed Init chooses its seed. The int base makes any int a valid value, so
 * that Init can refuse an unknown one. */
enum E_InitSeedType : int {
  E_SeedFromClock = 0,  /* the calendar time in seconds, low 32 bits */
  E_SeedFixed = 1,      /* the fixed seed 123457 */
  E_SeedGiven = 2       /* the caller's seed */
};

class KVELO_API C_RandNum {
 public:
  /* A generator that is not initialised (draws and seed queries return 1), range (0, 1). */
  C_RandNum();
  /* A generator is never copied or assigned: its state is owned. */
  C_RandNum(C_RandNum&) = delete;
  C_RandNum& operator=(const C_RandNum&) = delete;
  /* Frees the state; the generator is then not initialised. */
  virtual ~C_RandNum();

  /* Seeds with one seed chosen by type (the seed argument is read for E_SeedGiven only).
   * 0, or 1 for an unknown type, a zero seed or no memory; a refused call changes nothing. */
  int Init(const E_InitSeedType& type, const unsigned& seed);
  /* Seeds with the published array seeding of the n seeds. 0, or 1 when n <= 0, seeds is null
   * or a seed is 0; a refused call changes nothing. */
  int Init(int n, const unsigned* const seeds);
  /* Seeds from the clock: Init(E_SeedFromClock, 0). */
  int Init();

  /* Sets the range of later draws; no check (hi below lo draws in (hi, lo)). */
  void SetRangeValue(double lo, double hi);

  /* Writes n draws (hi - lo) * u + lo, u = (word + 0.5) / 2^32, to out[0 .. n-1]; one MT19937
   * word per draw. Finite bounds too far apart for hi - lo (-1e308, 1e308) give the same
   * point as lo * (1 - u) + hi * u, finite and within the bounds. T = double; float (u and the
   * result rounded to float, so hi can be drawn; limited to the float range); int (truncated
   * toward zero, limited to the int range). 1 when not initialised, else 0; n <= 0 draws
   * nothing. */
  template <typename T>
  int GetRandNum(int n, T* const& out);

  /* The first seed of the last successful Init; 1 when not initialised. */
  int GetSeed(unsigned& seed);
  /* Seed number i; 1 when not initialised or i is not an index of the seed vector. */
  int GetSeed(int i, unsigned& seed);
  /* Number of seeds of the last successful Init; 1 when not initialised. */
  int GetSeedVectorSize(int& size);

 private:
  int Regenerate();
  unsigned NextWord();
  /* The common end of both seedings: a new state seeded from the n seeds (array seeding when
   * byArray, else the single-seed rule on seeds[0]) replaces the old one; 1 (nothing changed)
   * when memory runs out. */
  int Reseed(int n, const unsigned* seeds, bool byArray);

  std::vector<unsigned> m_seeds;  // seeds of the last successful Init
  unsigned* m_state;              // 624 words, owned; null before the first Init
  int m_drawStatus;               // 100 ready, 101 not initialised
  int m_wordsLeft;                // countdown to the next regeneration
  unsigned* m_next;               // next word to temper
  int m_seedStatus;               // 100 ready, 101 not initialised
  double m_lo;
  double m_hi;
};

#endif
