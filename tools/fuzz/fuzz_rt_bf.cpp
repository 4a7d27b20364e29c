/* fuzz_rt_bf.cpp: the portable binary values (ints, reals, bytes, 16-bit units, str, tstr and
 * the fixed-width text field) read from arbitrary bytes, through a regular file and a pipe.
 * Input: byte 0 (bit 7: pipe), bytes 1..4 a program of four readers, the rest the stream. */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "bf.h"
#include "fuzz_support.h"
#include "kvelosys.h"

namespace {

const size_t kProgram = 5;

// One reader, chosen by the low nibble of op; the high nibble + 1 is the element count.
// 0 when the value was read.
int ReadOne(FILE* f, uint8_t op) {
  const int n = (op >> 4) + 1;
  int ints[16];
  long longs[16];
  long long hypers[16];
  float floats[16];
  double doubles[16];
  char chars[16];
  uint16_t units[16];
  wchar_t field[16];  // the reader writes exactly n characters
  switch (op & 0x0F) {
    case 0: return BF_fread_int(f, ints, n);
    case 1: return BF_fread_long(f, longs, n);
    case 2: return BF_fread_hyper(f, hypers, n);
    case 3: return BF_fread_float(f, floats, n);
    case 4: return BF_fread_double(f, doubles, n);
    case 5: return BF_fread_char(f, chars, n);
    case 6: return BF_fread_tchar(f, units, n);
    case 7: {
      char* s = nullptr;
      const int r = BF_fread_str(f, &s);
      // A string handed back must be terminated within what the file could hold.
      if (s != nullptr) {
        volatile size_t len = std::strlen(s);
        (void)len;
      }
      kvelomem_free(s, __FILE__, __LINE__);
      return r;
    }
    case 8: {
      wchar_t* s = nullptr;
      const int r = BF_fread_tstr(f, &s);
      if (s != nullptr) {
        volatile size_t len = std::wcslen(s);
        (void)len;
      }
      kvelomem_free(s, __FILE__, __LINE__);
      return r;
    }
    case 9: return BF_fread_multiplatform_char(f, field, n);
    default: {
      // Strings one after the other, as the message files and object names hold them.
      char* s = nullptr;
      const int r = BF_fread_str(f, &s);
      kvelomem_free(s, __FILE__, __LINE__);
      return r;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvfuzz::SilenceMessages();
  if (size < kProgram) return 0;
  kvfuzz::InputStream in(data + kProgram, size - kProgram, (data[0] & 0x80) != 0);
  // Run the program until a reader fails or the stream is used up.
  for (int step = 0; step < 64; ++step)
    if (ReadOne(in.Get(), data[1 + step % 4]) != 0) break;
  return 0;
}
