/* fuzz_rt_list.cpp: the binary form of the linked lists (LIS_binput, LTE_binput into a new
 * and into an existing head) read from arbitrary bytes, with element readers of the shapes
 * the ready-made element functions copy and release: strings, ints and doubles.
 * Input: byte 0 (bit 7: pipe; bits 0-1 element kind; bit 2 LTE form; bit 3 existing head). */
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bf.h"
#include "fuzz_support.h"
#include "kvelosys.h"
#include "liste_chainee.h"

namespace {

// Element readers as a caller writes them: a new object, or null with *error set and nothing
// left to free.
void* ReadStr(FILE* f, int* error) {
  char* s = nullptr;
  if (BF_fread_str(f, &s) != 0 || s == nullptr) {
    kvelomem_free(s, __FILE__, __LINE__);
    *error = 1;
    return nullptr;
  }
  return s;
}

void* ReadInt(FILE* f, int* error) {
  int v = 0;
  if (BF_fread_int(f, &v, 1) != 0) {
    *error = 1;
    return nullptr;
  }
  return LIS_copy_int(&v, error);
}

void* ReadDb(FILE* f, int* error) {
  double v = 0.0;
  if (BF_fread_double(f, &v, 1) != 0) {
    *error = 1;
    return nullptr;
  }
  return LIS_copy_db(&v, error);
}

struct Kind {
  LIS_READ_FCT reader;
  LIS_FREE_FCT release;
};

const Kind kKinds[3] = {{ReadStr, LIS_free_str}, {ReadInt, LIS_free_int}, {ReadDb, LIS_free_db}};

// Walks a chain both ways: the links must agree and the count must match.
void CheckChain(LIS* first, LIS* last, int count) {
  int k = 0;
  LIS* prev = nullptr;
  for (LIS* n = first; n; n = n->next) {
    if (n->prev != prev) std::abort();
    prev = n;
    ++k;
  }
  if (prev != last || (count >= 0 && k != count)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvfuzz::SilenceMessages();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  kvfuzz::InputStream in(data + 1, size - 1, (mode & 0x80) != 0);
  const Kind& kind = kKinds[(mode & 0x03) % 3];
  if ((mode & 0x04) == 0) {
    int error = 0;
    LIS* first = LIS_binput(in.Get(), kind.reader, &error);
    LIS* last = first;
    while (last && last->next) last = last->next;
    CheckChain(first, last, -1);
    LIS_free(&first, kind.release);
    return 0;
  }
  LTE* head = nullptr;
  int error = 0;
  if (mode & 0x08) {
    // An existing head with one node of the same kind: what is read is appended after it.
    int v = 7;
    double d = 7.0;
    void* kept = kind.reader == ReadStr   ? LIS_copy_str(const_cast<char*>("kept"), &error)
                 : kind.reader == ReadInt ? LIS_copy_int(&v, &error)
                                          : LIS_copy_db(&d, &error);
    LTE_ins_fin(&head, kept, 7);
  }
  const int before = head ? head->count : 0;
  const int r = LTE_binput(in.Get(), &head, kind.reader);
  if (head != nullptr) {
    CheckChain(head->first, head->last, head->count);
    if (head->count < before) std::abort();  // nodes already there are never lost
  }
  (void)r;
  LTE_free(&head, kind.release);
  return 0;
}
