/* hash_util.h: string-keyed hash table for C code. Separate chaining over a prime number of
 * buckets fixed at creation (no rehashing), chains sorted by strcmp, keys copied into the
 * table, values kept as the caller's untyped pointers and never freed by the table.
 * Failures are reported through Erreur with a text of the message database. A table has
 * no lock: one writer at a time, and no search while it writes. */
#ifndef KVELO_HASH_UTIL_H
#define KVELO_HASH_UTIL_H

#include "kvelo_export.h"

#include <stdio.h>

KVELO_C_BEGIN

/* One key of a table. */
typedef struct HASH_ENTRY {
  char* key;               /* the table's own copy of the key */
  void* value;             /* the caller's pointer, never freed by the table */
  struct HASH_ENTRY* next; /* next entry of the same bucket (greater key), or null */
} HASH_ENTRY;

/* A table: one block holding the header and its buckets. */
typedef struct HASH_TABLE {
  int trace;    /* 0 at creation; non-zero: hashSearch prints each outcome on stdout */
  int size;     /* number of buckets, a prime (or 1), fixed at creation */
  int nonEmpty; /* buckets that an insertion found empty; deletions do not lower it */
  int longest;  /* longest chain ever reached by an insertion; deletions do not lower it */
  HASH_ENTRY* buckets[1]; /* `size` chain heads in the same block; null for an empty bucket */
} HASH_TABLE;

/* Creates a table of the first prime at or above size (even sizes start at size + 1; 0 and
 * 1 give 1 bucket) into *out: 0; -1 with *out null when memory runs out (message 3123) or,
 * after a trace mark, when size is negative or out is null. */
KVELO_API int hashCreate(int size, HASH_TABLE** out);
/* Enters key with value, or replaces the value of a key already there (key copy and
 * statistics kept): 0; -1 when memory runs out (message 3123; nothing linked) or, after a
 * report (message 3122), for a null table; -1 after a trace mark for a null key. */
KVELO_API int hashAdd(HASH_TABLE* table, const char* key, void* value);
/* Looks key up; *value (when value is not null) receives its value, or null when absent.
 * Returns -1 when found, 0 when absent (also for a null key), -1 after a report (message
 * 3122) for a null table: callers test the result for being non-zero. */
KVELO_API int hashSearch(HASH_TABLE* table, const char* key, void** value);
/* Removes key (its copy is freed, its value is not touched); an absent key leaves the table
 * unchanged. 0; -1 after a report (message 3122) for a null table, after a trace mark for a
 * null key. */
KVELO_API int hashDelete(HASH_TABLE* table, const char* key);
/* Frees every entry, every key copy and the table (values untouched); null is allowed. 0. */
KVELO_API int hashDestroy(HASH_TABLE* table);
/* Prints the bucket statistics and the chain-length histogram with its mean and standard
 * deviation to f ("-- Null Hash Table --" for a null table): 0; -1 when memory runs out
 * (message 3126) or, after a trace mark, when f is null. */
KVELO_API int hashStatistics(FILE* f, const HASH_TABLE* table);
/* Prints header (a printf format that may hold one "%p", given the table's address; any
 * other directive makes it print as plain text), the statistics, then every non-empty
 * bucket with its values and keys, to f: 0; -1 after a trace mark when f is null. */
KVELO_API int hashDump(FILE* f, const char* header, const HASH_TABLE* table);

KVELO_C_END

#endif
