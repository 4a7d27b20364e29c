/* vstruct_headers_c.c: a C host of the bit, sparse, structured and wrapper headers; it hands
 * the C view of the records' layouts to the C++ test, which compares it with its own. */
#include <stddef.h>

#include "bvec.h"
#include "matwrap.h"
#include "vmorse.h"
#include "vstruct.h"
#include "vstruct_layout.h"

/* Offsets and sizes of the records as a C compiler lays them out, in a fixed order. */
size_t vstruct_headers_c_layout(int k) {
  const size_t v[] = {VSTRUCT_LAYOUT_VALUES};
  return k >= 0 && k < (int)(sizeof v / sizeof v[0]) ? v[k] : 0;
}
