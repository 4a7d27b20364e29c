/* vec_pieces.h: for tests linked with the library's internals: a scope in which long long
 * vectors go to their kernels in pieces of a few elements, so that the cutting of long
 * vectors and the joins of the pieces' results can be checked at small sizes. */
#ifndef KVELO_TEST_VEC_PIECES_H
#define KVELO_TEST_VEC_PIECES_H

#include "C_Vec.h"

namespace kvelo_vec {
// Defined in the library's source (not exported): pieces of n elements from now on, n in
// 1..kPieceLength; any other n restores kPieceLength.
void SetPieceLength(long long n);
}  // namespace kvelo_vec

namespace kvtest {

// Pieces of n elements while this lives; the library's length again afterwards.
class PieceLengthScope {
 public:
  explicit PieceLengthScope(long long n) { kvelo_vec::SetPieceLength(n); }
  ~PieceLengthScope() { kvelo_vec::SetPieceLength(0); }
  PieceLengthScope(const PieceLengthScope&) = delete;
  PieceLengthScope& operator=(const PieceLengthScope&) = delete;
};

}  // namespace kvtest

#endif
