/* trend_rank.h: the rank test of the automatic trend degree of the Kriging model: whether a
 * trend matrix has full column rank, by LAPACK's singular value decomposition, with every array
 * handed to LAPACK inside a block the test owns, a margin of 64 bytes around each array. */
#ifndef KVELO_KRIGING_TREND_RANK_H
#define KVELO_KRIGING_TREND_RANK_H

#include <cstddef>

#include "C_VecPi.h"

namespace kriging_internal {

/* E = double or std::complex<double>. */
template <class E>
class TrendRankTest {
 public:
  TrendRankTest() : block_(0) {}

  /* Bytes of the block that the test of a rows x cols matrix lays its arrays out in (a copy of
   * the matrix, the singular values, the right vectors, the work arrays), margins included;
   * 0 when rows or cols is below 1 or the block would not fit in memory an int can count. */
  static std::size_t BlockBytes(int rows, int cols);

  /* Whether the rows x cols matrix at a (column-major, leading dimension lda >= rows; only
   * read) has full column rank: LAPACK's ?gesvd ("O", "S") converges and each of its cols
   * singular values (filled with 1e-20 before the call) is at least 1e-14. False for fewer
   * rows than columns or a shape it cannot hold. Uses a block of its own, kept for the next
   * test. */
  bool FullRank(int rows, int cols, const E* a, int lda);

  /* The same test in the caller's block of BlockBytes(rows, cols) bytes at block (16-byte
   * aligned; its contents are overwritten). */
  static bool FullRankIn(int rows, int cols, const E* a, int lda, void* block);

 private:
  C_VecPi<double, int, C_PtrInCore<double, int>> block_;
};

}  // namespace kriging_internal

#endif
