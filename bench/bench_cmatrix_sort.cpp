/* bench_cmatrix_sort.cpp: timings of the C matrix library's in-place sorts (real, integer,
 * long and complex vectors, with the order permutation) on sorted, reversed, constant and
 * random input of 10^5 and 10^6 values, and of the sign of a permutation (the identity, a
 * reversal and a random permutation). Each sorting iteration first copies the unsorted input
 * back into the vector (a plain copy, small beside the sort). */
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "matrix.h"
#include "zmatrix.h"

namespace {

enum Pattern { kSorted, kReversed, kConstant, kRandom };
const char* const kPatternNames[] = {"sorted", "reversed", "constant", "random"};

/* n integer keys of the pattern (random ones from a fixed seed). */
std::vector<long> Keys(int pattern, int n) {
  std::vector<long> k(static_cast<size_t>(n));
  std::mt19937 gen(12345);
  for (int i = 0; i < n; ++i) {
    switch (pattern) {
      case kSorted: k[i] = i; break;
      case kReversed: k[i] = n - i; break;
      case kConstant: k[i] = 42; break;
      default: k[i] = static_cast<long>(gen() % 1000000007u); break;
    }
  }
  return k;
}

/* Times sort(record, order) on a record of n elements refilled from in before each call. */
template <class Elem, class Rec, class Sort>
void RunSort(benchmark::State& state, Rec* rec, Elem* block, const std::vector<Elem>& in, Sort sort) {
  int st = 0;
  PERM* order = _LM_px_get("bench", 0, static_cast<int>(in.size()), __LINE__, "bench", &st);
  for (auto _ : state) {
    std::memcpy(static_cast<void*>(block), in.data(), in.size() * sizeof(Elem));
    benchmark::DoNotOptimize(sort(rec, order, &st));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size()));
  state.SetLabel(kPatternNames[state.range(0)]);
  px_free(order);
}

void BM_v_sort(benchmark::State& state) {
  const int n = static_cast<int>(state.range(1));
  std::vector<double> in;
  for (long k : Keys(static_cast<int>(state.range(0)), n)) in.push_back(0.25 * static_cast<double>(k));
  int st = 0;
  VEC* x = _LM_v_get("bench", 0, n, __LINE__, "bench", &st);
  RunSort(state, x, x->ve, in, [](VEC* v, PERM* o, int* s) { return _LM_v_sort(v, o, __LINE__, "bench", s); });
  v_free(x);
}

void BM_iv_sort(benchmark::State& state) {
  const int n = static_cast<int>(state.range(1));
  std::vector<int> in;
  for (long k : Keys(static_cast<int>(state.range(0)), n)) in.push_back(static_cast<int>(k));
  int st = 0;
  IVEC* x = _LM_iv_get("bench", 0, n, __LINE__, "bench", &st);
  RunSort(state, x, x->ive, in, [](IVEC* v, PERM* o, int* s) { return _LM_iv_sort(v, o, __LINE__, "bench", s); });
  iv_free(x);
}

void BM_lv_sort(benchmark::State& state) {
  const int n = static_cast<int>(state.range(1));
  const std::vector<long> in = Keys(static_cast<int>(state.range(0)), n);
  int st = 0;
  LVEC* x = _LM_lv_get("bench", 0, n, __LINE__, "bench", &st);
  RunSort(state, x, x->lve, in, [](LVEC* v, PERM* o, int* s) { return _LM_lv_sort(v, o, __LINE__, "bench", s); });
  lv_free(x);
}

void BM_zv_sort(benchmark::State& state) {
  const int n = static_cast<int>(state.range(1));
  std::vector<kvelo_complex> in;
  int i = 0;
  for (long k : Keys(static_cast<int>(state.range(0)), n)) {
    const double r = static_cast<double>(k);
    in.push_back(i++ % 2 == 0 ? zmake(r, 0.0) : zmake(0.0, -r));  // modulus |k|
  }
  int st = 0;
  ZVEC* x = _LM_zv_get("bench", 0, n, __LINE__, "bench", &st);
  RunSort(state, x, x->ve, in, [](ZVEC* v, PERM* o, int* s) { return _LM_zv_sort(v, o, __LINE__, "bench", s); });
  zv_free(x);
}

/* The sign of a permutation of n entries: 0 the identity, 1 the reversal, 2 random. */
void BM_px_sign(benchmark::State& state) {
  const int n = static_cast<int>(state.range(1));
  std::vector<unsigned> p(static_cast<size_t>(n));
  std::iota(p.begin(), p.end(), 0u);
  if (state.range(0) == 1) std::reverse(p.begin(), p.end());
  if (state.range(0) == 2) std::shuffle(p.begin(), p.end(), std::mt19937(7));
  int st = 0;
  PERM* px = _LM_px_get("bench", 0, n, __LINE__, "bench", &st);
  std::copy(p.begin(), p.end(), px->pe);
  for (auto _ : state) benchmark::DoNotOptimize(_LM_px_sign(px, __LINE__, "bench", &st));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
  static const char* const kNames[] = {"identity", "reversal", "random"};
  state.SetLabel(kNames[state.range(0)]);
  px_free(px);
}

void SortArgs(benchmark::internal::Benchmark* b) {
  for (int n : {100000, 1000000})
    for (int p = kSorted; p <= kRandom; ++p) b->Args({p, n});
  b->Unit(benchmark::kMillisecond);
}

void SignArgs(benchmark::internal::Benchmark* b) {
  for (int n : {200000, 2000000})
    for (int p = 0; p <= 2; ++p) b->Args({p, n});
  b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_v_sort)->Apply(SortArgs);
BENCHMARK(BM_iv_sort)->Apply(SortArgs);
BENCHMARK(BM_lv_sort)->Apply(SortArgs);
BENCHMARK(BM_zv_sort)->Apply(SortArgs);
BENCHMARK(BM_px_sign)->Apply(SignArgs);

BENCHMARK_MAIN();
