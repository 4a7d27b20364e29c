/* vstruct_layout.h: the sizes and offsets of the bit, sparse, structured and wrapper records
 * that both the C and the C++ host of their headers compute, listed once so that the two
 * hosts compare the same values in the same order. Include after the record headers. */
#ifndef KVELO_TESTS_VSTRUCT_LAYOUT_H
#define KVELO_TESTS_VSTRUCT_LAYOUT_H

#include <stddef.h>

#define VSTRUCT_LAYOUT_VALUES                                                         \
  sizeof(BVEC), offsetof(BVEC, nb_ddl), offsetof(BVEC, code), offsetof(BVEC, iter_pos), \
      sizeof(VECM_NODE), offsetof(VECM_NODE, right), sizeof(VECM), offsetof(VECM, root),  \
      sizeof(VECMP), offsetof(VECMP, val), sizeof(VECMW), offsetof(VECMW, val),           \
      sizeof(VSTRUCT), offsetof(VSTRUCT, items), offsetof(VSTRUCT, unit), sizeof(GVEC),   \
      offsetof(GVEC, vec), sizeof(GMAT), offsetof(GMAT, mat)

#endif
