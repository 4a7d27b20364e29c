// hash_util.cpp: the string-keyed hash table of the C runtime (separate chaining, sorted
// chains, prime bucket count) used by the memory-mapping layer and exported to hosts.
// Failures are reported through Erreur or marked with fct_Trace, never thrown.
#include "hash_util.h"

#include "erreur.h"
#include "runtime/c_report.h"
#include "kvelosys.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

const char* const kFile = "src/hash_util";

void ReportCode(const char* fn, int line, int code, const char* arg = nullptr) {
  kvrt::ReportCode(kFile, fn, line, code, arg);
}

void Trace(const char* fn, int line) { fct_Trace(fn, line, kFile); }

// The bucket array as a plain pointer: it runs past the declared single element.
HASH_ENTRY** Buckets(HASH_TABLE* t) { return t->buckets; }
HASH_ENTRY* const* Buckets(const HASH_TABLE* t) { return t->buckets; }

// Sum of the key's 4-byte big-endian words, modulo 2^32, then modulo the bucket count.
int HashIndex(const char* key, int n) {
  if (n <= 0) return 0;
  std::uint32_t sum = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(key);
  while (*p) {
    std::uint32_t word = 0;
    for (int k = 0; k < 4 && *p; ++k, ++p) word = word * 256u + *p;
    sum += word;
  }
  return static_cast<int>(sum % static_cast<std::uint32_t>(n));
}

// Trial division as the table sizes have always been chosen: divisors 3, 4, 5, ... while
// the divisor does not pass n / divisor (n is odd here).
bool IsPrime(int n) {
  for (int i = 2;; ++i) {
    if (i > n / i) return true;
    if (n % (i + 1) == 0) return false;
  }
}

int ChainLength(const HASH_ENTRY* e) {
  int n = 0;
  for (; e; e = e->next) ++n;
  return n;
}

// Prints header with the table's address when it holds no directive but "%%" and at most one
// "%p"; anything else would read arguments that were never passed, so it goes out as text.
void PrintHeader(FILE* f, const char* header, const HASH_TABLE* table) {
  int pointers = 0;
  bool safe = true;
  for (const char* p = header; *p && safe; ++p) {
    if (*p != '%') continue;
    if (p[1] == '%') {
      ++p;
    } else if (p[1] == 'p' && pointers == 0) {
      ++pointers;
      ++p;
    } else {
      safe = false;
    }
  }
  if (safe) {
    std::fprintf(f, header, static_cast<const void*>(table));
  } else {
    std::fputs(header, f);
  }
}

}  // namespace

KVELO_C_BEGIN

int hashCreate(int size, HASH_TABLE** out) {
  if (out) *out = nullptr;
  if (!out || size < 0) {
    Trace("hashCreate", __LINE__);
    return -1;
  }
  int n = (size % 2 == 0) ? size + 1 : size;
  // INT_MAX is prime, so the odd steps never pass it.
  while (n >= 4 && !IsPrime(n)) n += 2;
  const std::size_t bytes = offsetof(HASH_TABLE, buckets) + static_cast<std::size_t>(n) * sizeof(HASH_ENTRY*);
  HASH_TABLE* t = static_cast<HASH_TABLE*>(kvelomem_calloc(1, bytes, "hashCreate", 0, kFile, __LINE__));
  if (!t) {
    ReportCode("hashCreate", __LINE__, 3123);
    return -1;
  }
  t->trace = 0;
  t->size = n;
  t->nonEmpty = 0;
  t->longest = 0;
  *out = t;
  return 0;
}

int hashAdd(HASH_TABLE* table, const char* key, void* value) {
  if (!table) {
    ReportCode("hashAdd", __LINE__, 3122, key ? key : "");
    return -1;
  }
  if (!key) {
    Trace("hashAdd", __LINE__);
    return -1;
  }
  HASH_ENTRY** head = &Buckets(table)[HashIndex(key, table->size)];
  HASH_ENTRY* before = nullptr;
  HASH_ENTRY* e = *head;
  while (e && std::strcmp(e->key, key) < 0) {
    before = e;
    e = e->next;
  }
  if (e && std::strcmp(e->key, key) == 0) {
    e->value = value;
    return 0;
  }
  HASH_ENTRY* entry = static_cast<HASH_ENTRY*>(kvelomem_calloc(1, sizeof(HASH_ENTRY), "HashAdd", 0, kFile, __LINE__));
  char* copy = entry ? kvelo_strdup(key, "hashAdd") : nullptr;
  if (!entry || !copy) {
    kvelomem_free(entry, kFile, __LINE__);
    ReportCode("hashAdd", __LINE__, 3123);
    return -1;
  }
  entry->key = copy;
  entry->value = value;
  if (!before) {
    if (!*head) ++table->nonEmpty;
    entry->next = *head;
    *head = entry;
  } else {
    entry->next = before->next;
    before->next = entry;
  }
  const int length = ChainLength(*head);
  if (length > table->longest) table->longest = length;
  return 0;
}

int hashSearch(HASH_TABLE* table, const char* key, void** value) {
  if (!table) {
    ReportCode("hashSearch", __LINE__, 3122, key ? key : "");
    return -1;
  }
  HASH_ENTRY* e = nullptr;
  if (key) {
    e = Buckets(table)[HashIndex(key, table->size)];
    while (e && std::strcmp(e->key, key) < 0) e = e->next;
    if (e && std::strcmp(e->key, key) != 0) e = nullptr;
  }
  if (e) {
    if (value) *value = e->value;
    if (table->trace) std::printf("(hashSearch) \"%s\":%p found in table %p.\n", key, e->value, static_cast<void*>(table));
    return -1;
  }
  if (value) *value = nullptr;
  if (table->trace) {
    std::printf("(hashSearch) Key \"%s\" not found in table %p.\n", key ? key : "(null)", static_cast<void*>(table));
  }
  return 0;
}

int hashDelete(HASH_TABLE* table, const char* key) {
  if (!table) {
    ReportCode("hashDelete", __LINE__, 3122, key ? key : "");
    return -1;
  }
  if (!key) {
    Trace("hashDelete", __LINE__);
    return -1;
  }
  HASH_ENTRY** link = &Buckets(table)[HashIndex(key, table->size)];
  while (*link && std::strcmp((*link)->key, key) != 0) link = &(*link)->next;
  HASH_ENTRY* e = *link;
  if (!e) return 0;  // absent: nothing to change
  *link = e->next;
  kvelomem_free(e->key, kFile, __LINE__);
  kvelomem_free(e, kFile, __LINE__);
  return 0;
}

int hashDestroy(HASH_TABLE* table) {
  if (!table) return 0;
  HASH_ENTRY** b = Buckets(table);
  for (int i = 0; i < table->size; ++i) {
    HASH_ENTRY* e = b[i];
    while (e) {
      HASH_ENTRY* next = e->next;
      kvelomem_free(e->key, kFile, __LINE__);
      kvelomem_free(e, kFile, __LINE__);
      e = next;
    }
    b[i] = nullptr;
  }
  kvelomem_free(table, kFile, __LINE__);
  return 0;
}

int hashStatistics(FILE* f, const HASH_TABLE* table) {
  if (!f) {
    Trace("hashStatistics", __LINE__);
    return -1;
  }
  if (!table) {
    std::fprintf(f, "-- Null Hash Table --\n");
    return 0;
  }
  std::fprintf(f, "There are %d empty buckets, %d non-empty buckets,\nand %d items in the longest chain.\n\n",
               table->size - table->nonEmpty, table->nonEmpty, table->longest);
  HASH_ENTRY* const* b = Buckets(table);
  // The histogram is sized by the stored statistic; a table whose fields were set by hand
  // with a smaller figure must still not be counted past its end.
  int top = table->longest > 0 ? table->longest : 0;
  for (int i = 0; i < table->size; ++i) {
    const int length = ChainLength(b[i]);
    if (length > top) top = length;
  }
  int* histogram = static_cast<int*>(
      kvelomem_calloc(static_cast<std::size_t>(top) + 1, sizeof(int), "hashStatistics", 0, kFile, __LINE__));
  if (!histogram) {
    ReportCode("hashStatistics", __LINE__, 3126);
    return -1;
  }
  for (int i = 0; i < table->size; ++i) ++histogram[ChainLength(b[i])];
  // Sums in 64 bits and the deviation's numerator exact: 32-bit ones overflow once a table
  // holds a few ten thousand items and would print a meaningless deviation.
  long long items = 0, squares = 0;
  for (int length = 1; length <= table->longest; ++length) {
    std::fprintf(f, "Buckets of length %d: %d\n", length, histogram[length]);
    items += static_cast<long long>(length) * histogram[length];
    squares += static_cast<long long>(length) * length * histogram[length];
  }
  const long long used = table->nonEmpty;
  std::fprintf(f, "\nMean bucket length = %G\n", static_cast<double>(items) / static_cast<double>(used));
  const __int128 exact = static_cast<__int128>(used) * squares - static_cast<__int128>(items) * items;
  const double numerator = static_cast<double>(exact);
  const double denominator = static_cast<double>(used * (used - 1));
  std::fprintf(f, "\nStandard deviation = %G\n", std::sqrt(numerator / denominator));
  kvelomem_free(histogram, kFile, __LINE__);
  return 0;
}

int hashDump(FILE* f, const char* header, const HASH_TABLE* table) {
  if (!f) {
    Trace("hashDump", __LINE__);
    return -1;
  }
  if (header) PrintHeader(f, header, table);
  if (!table) {
    std::fprintf(f, "-- Null Hash Table --\n");
    return 0;
  }
  hashStatistics(f, table);
  std::fprintf(f, "\n");
  HASH_ENTRY* const* b = Buckets(table);
  for (int i = 0; i < table->size; ++i) {
    if (!b[i]) continue;
    std::fprintf(f, "Bucket %d:\n", i);
    for (const HASH_ENTRY* e = b[i]; e; e = e->next) {
      std::fprintf(f, "    Value: %p    Key: \"%s\"\n", e->value, e->key);
    }
  }
  return 0;
}

KVELO_C_END
