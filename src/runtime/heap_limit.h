// heap_limit.h: a ceiling on single blocks of the library's C heap (kvelomem_*), internal to
// the library. It lets the library's tests make a given allocation fail in every build, with
// whatever allocator is linked in (a sanitizer's, the C library's), instead of relying on the
// allocator's own limits. The ceiling is process-wide; 0 (at load) means none.
#ifndef KVELO_RUNTIME_HEAP_LIMIT_H
#define KVELO_RUNTIME_HEAP_LIMIT_H

#include <cstddef>

namespace kvrt {

// Blocks larger than bytes are refused (null, errno ENOMEM) from now on; 0 lifts the ceiling.
void SetHeapBlockLimit(std::size_t bytes);
// The current ceiling, 0 for none.
std::size_t HeapBlockLimit();

}  // namespace kvrt
#endif
