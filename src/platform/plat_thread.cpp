// plat_thread.cpp: POSIX thread-specific keys behind the library's thread-local slots.
// pthread_getspecific cannot fail on a valid key, so an empty slot reads as null.
#include "platform/plat_thread.h"

#include <pthread.h>

namespace kvplat {

TlsSlot TlsAlloc() {
  TlsSlot slot;
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) == 0) {
    slot.key = static_cast<unsigned>(key);
    slot.valid = true;
  }
  return slot;
}

void TlsFree(TlsSlot& slot) {
  if (!slot.valid) return;
  pthread_key_delete(static_cast<pthread_key_t>(slot.key));
  slot.valid = false;
}

void* TlsGet(const TlsSlot& slot) {
  if (!slot.valid) return nullptr;
  return pthread_getspecific(static_cast<pthread_key_t>(slot.key));
}

bool TlsSet(const TlsSlot& slot, void* value) {
  if (!slot.valid) return false;
  return pthread_setspecific(static_cast<pthread_key_t>(slot.key), value) == 0;
}

}  // namespace kvplat
