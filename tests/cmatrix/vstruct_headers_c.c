/* vstruct_headers_c.c: a C host of the bit, sparse, structured and wrapper headers; it hands
 * the C view of the records' layouts to the C++ test, which compares it with its own. */
#include <stddef.h>

#include "bvec.h"
#include "matwrap.h"
#include "vmorse.h"
#include "vstruct.h"

/* Offsets and sizes of the records as a C compiler lays them out, in a fixed order. */
size_t vstruct_headers_c_layout(int k) {
  const size_t v[] = {sizeof(BVEC),        offsetof(BVEC, nb_ddl),   offsetof(BVEC, code),
                      offsetof(BVEC, iter_pos), sizeof(VECM_NODE),   offsetof(VECM_NODE, right),
                      sizeof(VECM),        offsetof(VECM, root),     sizeof(VECMP),
                      offsetof(VECMP, val), sizeof(VECMW),           offsetof(VECMW, val),
                      sizeof(VSTRUCT),     offsetof(VSTRUCT, items), offsetof(VSTRUCT, unit),
                      sizeof(GVEC),        offsetof(GVEC, vec),      sizeof(GMAT),
                      offsetof(GMAT, mat)};
  return k >= 0 && k < (int)(sizeof v / sizeof v[0]) ? v[k] : 0;
}
