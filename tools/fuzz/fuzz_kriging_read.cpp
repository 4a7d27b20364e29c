/* fuzz_kriging_read.cpp: model files with their version text, as Kriging<T>::Read takes
 * them, for both element types (first byte: type and whether the target held a model). */
#include "kriging_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kvfuzz::TestOneInput(data, size, true);
}
