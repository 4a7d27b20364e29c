// main_example.cpp: a small tour of the runtime foundation as a host sees it: write a
// portable binary file (ints, doubles, a string), read it back, and draw random numbers.
#include "kvelo.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "kvelo_example.bin";

  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "cannot create %s\n", path.c_str());
    return 1;
  }
  const int counts[3] = {3, -2, 2147483647};
  const double values[2] = {1.0, 3.141592653589793};
  int failed = BF_fwrite_int(out, counts, 3) | BF_fwrite_double(out, values, 2) |
               BF_fwrite_str(out, "portable values");
  std::fclose(out);
  if (failed) {
    std::fprintf(stderr, "writing %s failed\n", path.c_str());
    return 1;
  }

  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return 1;
  int c[3] = {0, 0, 0};
  double v[2] = {0.0, 0.0};
  char* text = nullptr;
  failed = BF_fread_int(in, c, 3) | BF_fread_double(in, v, 2) | BF_fread_str(in, &text);
  std::fclose(in);
  std::remove(path.c_str());
  if (failed || !text) {
    kvelomem_free(text, __FILE__, __LINE__);
    std::fprintf(stderr, "reading %s failed\n", path.c_str());
    return 1;
  }
  std::printf("ints read back:    %d %d %d\n", c[0], c[1], c[2]);
  std::printf("doubles read back: %.17g %.17g\n", v[0], v[1]);
  std::printf("string read back:  \"%s\"\n", text);
  kvelomem_free(text, __FILE__, __LINE__);

  C_RandNum rng;
  const E_InitSeedType fixed = E_SeedFixed;
  if (rng.Init(fixed, 0u) != 0) return 1;
  double draws[5];
  double* p = draws;
  rng.GetRandNum(5, p);
  std::printf("MT19937, fixed seed 123457, draws in (0, 1):");
  for (double d : draws) std::printf(" %.6f", d);
  std::printf("\n");
  rng.SetRangeValue(-1.0, 1.0);
  rng.GetRandNum(5, p);
  std::printf("next draws in (-1, 1):                   ");
  for (double d : draws) std::printf(" %+.6f", d);
  std::printf("\n");
  return 0;
}
