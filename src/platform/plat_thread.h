// plat_thread.h: thread-local slots for the per-thread call stacks, over POSIX keys.
// Internal to the library; stands in for the TlsAlloc family of the original platform.
#ifndef KVELO_PLAT_THREAD_H
#define KVELO_PLAT_THREAD_H

namespace kvplat {

// An allocated slot; valid is false when the platform refused the allocation.
struct TlsSlot {
  unsigned key = 0;
  bool valid = false;
};

TlsSlot TlsAlloc();               // a new slot, or {0,false} when none can be had
void TlsFree(TlsSlot& slot);      // frees a valid slot and marks it invalid
void* TlsGet(const TlsSlot& slot);  // this thread's value; null when never set (no error case on POSIX)
bool TlsSet(const TlsSlot& slot, void* value);  // false when the slot is invalid or the store failed

}  // namespace kvplat
#endif
