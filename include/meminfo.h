/* meminfo.h: memory accounting of the C matrix library and the registry of its static
 * work records. Allocators report bytes and record counts per record type while the
 * accounting switch is on; operations that keep scratch records across calls register the
 * pointer variables here so that a host can free them all under one mark.
 * All of this state is process-wide and unguarded: serialise calls from several threads. */
#ifndef KVELO_MEMINFO_H
#define KVELO_MEMINFO_H

#include <stdio.h>

#include "kvelo_export.h"

/* Record type numbers of accounting list 0 (also the item types of structured vectors). */
#define TYPE_MAT 0
#define TYPE_BAND 1
#define TYPE_PERM 2
#define TYPE_VEC 3
#define TYPE_IVEC 4
#define TYPE_ITER 5
#define TYPE_SPROW 6
#define TYPE_SPMAT 7
#define TYPE_ZVEC 8
#define TYPE_ZMAT 9
#define TYPE_LVEC 10
#define TYPE_VECM 11
#define TYPE_VECMP 12
#define TYPE_VSTRUCT 13
#define TYPE_VECMW 14
#define TYPE_BVEC 15

/* Number of standard types in list 0, of accounting lists, and of registry slots. */
#define MEM_CONNECT_STD_TYPES 16
#define MEM_CONNECT_MAX_LISTS 5
#define MEM_HASHSIZE 509

/* Bytes held and records alive for one record type. */
typedef struct {
  long long bytes;
  int numvar;
} MEM_COUNTS;

/* Free function of a record type: takes the record, returns 0 (freed) or -1 (refused). */
typedef int (*MEM_FREE_FN)(void *);

KVELO_C_BEGIN

/* Sets the accounting switch to flag (non-zero: on); returns the previous value. */
KVELO_API int mem_info_on(int flag);
/* Returns the accounting switch. */
KVELO_API int mem_info_is_on(void);
/* Attaches typeNames/freeFns/counts (typeCount types) as list `list` (0..4); the tables stay
 * the caller's. -1 for a bad list, a null table or typeCount < 0; over an attached list it
 * raises code 21 and still replaces the tables; else 0. */
KVELO_API int mem_attach_list(int list, int typeCount, char **typeNames, MEM_FREE_FN *freeFns,
                              MEM_COUNTS *counts);
/* Detaches list `list` (type count 0, tables null); -1 for a list outside 0..4, else 0. */
KVELO_API int mem_free_vars(int list);
/* 1 when list is within 0..4 and its three tables are set, else 0. */
KVELO_API int mem_is_list_attached(int list);
/* Adds newSize - oldSize to the type's byte count (no effect for an unknown list or type);
 * a negative size raises code 20 and the sum is still made; warns on a negative total. */
KVELO_API void mem_bytes_list(int type, int oldSize, int newSize, int list);
/* Adds num to the type's record count (same guards); warns on a negative total. */
KVELO_API void mem_numvar_list(int type, int num, int list);
/* The type's byte count; 0 when accounting is off or the list or type is unknown. */
KVELO_API long long mem_info_bytes(int type, int list);
/* The type's record count; 0 when accounting is off or the list or type is unknown. */
KVELO_API int mem_info_numvar(int type, int list);
/* Prints the counts of the list to fp; nothing when accounting is off or list is unknown. */
KVELO_API void mem_info_file(FILE *fp, int list);
/* Prints the tables of the list to fp, whatever the switch; nothing for an unknown list. */
KVELO_API void mem_dump_list(FILE *fp, int list);

/* Opens mark (> 0, returned), closes registration (0, returns 0) or refuses (< 0: mark
 * closed, -1). */
KVELO_API int mem_stat_mark(int mark);
/* The current registration mark (0: registration off). */
KVELO_API int mem_stat_show_mark(void);
/* Registers the pointer variable var (holding a record of `type`) under the current mark;
 * returns the mark (0 when registration is off, the variable already registered or the
 * registry full), or -1 for a bad list, a null var or an unknown type (code 1). */
KVELO_API int mem_stat_reg_list(void **var, int type, int list);
/* mem_stat_reg_list for each void** of the null-ended list; returns how many were given. */
KVELO_API int mem_stat_reg_vars(int list, int type, ...);
/* Frees the records of every variable registered under mark, nulls the variables and
 * closes the mark; 0, or -1 for a bad list or mark, or when no mark was opened (code 2). */
KVELO_API int mem_stat_free_list(int mark, int list);
/* Prints the live registrations to fp, naming types through list's tables. */
KVELO_API void mem_stat_dump(FILE *fp, int list);

KVELO_C_END

#endif
