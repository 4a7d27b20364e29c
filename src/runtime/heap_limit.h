// heap_limit.h: a ceiling on single blocks of the library's C heap (kvelomem_*), and a count of
// blocks after which it gives none, internal to the library. They let the library's tests make
// a given allocation fail in every build, with whatever allocator is linked in (a sanitizer's,
// the C library's), instead of relying on the allocator's own limits. Both are process-wide;
// at load there is neither.
#ifndef KVELO_RUNTIME_HEAP_LIMIT_H
#define KVELO_RUNTIME_HEAP_LIMIT_H

#include <cstddef>

namespace kvrt {

// Blocks larger than bytes are refused (null, errno ENOMEM) from now on; 0 lifts the ceiling.
void SetHeapBlockLimit(std::size_t bytes);
// The current ceiling, 0 for none.
std::size_t HeapBlockLimit();
// After `allowed` more blocks, every block is refused (null, errno ENOMEM) until this is called
// with -1, which lifts the count: memory that runs out part-way through an operation.
void SetHeapBlocksLeft(long allowed);
// Whether a block was refused by that count since it was last set.
bool HeapBlocksRanOut();

}  // namespace kvrt
#endif
