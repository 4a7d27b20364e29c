/* fuzz_kriging_readold.cpp: model files of the older layout without a version text, as
 * Kriging<T>::ReadOld takes them, for both element types (first byte as for Read). */
#include "kriging_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kvfuzz::TestOneInput(data, size, false);
}
