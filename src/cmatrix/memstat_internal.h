// memstat_internal.h: internal view of the static-work registry, for the library's own
// tests: where a registered variable sits in the hash table.
#ifndef KVELO_CMATRIX_MEMSTAT_INTERNAL_H
#define KVELO_CMATRIX_MEMSTAT_INTERNAL_H

namespace kvlm {

// Empty slot for var (>= 0), -1 when var is already registered, -2 when the table is full
// (after the warning and code 3).
int mem_lookup(const void* var);
// Slot holding the registered variable var, or -1 when it is not registered.
int MemStatSlotOf(const void* var);

}  // namespace kvlm

#endif
