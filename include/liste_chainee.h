/* liste_chainee.h: generic doubly linked lists for C code.
 * A bare chain (LIS, named by its first node) and a list head (LTE) that also keeps the
 * count, the last node and a current node; objects belong to the caller. Lists have a
 * portable binary form: a big-endian int count, then per node its int type and the object.
 * No lock is taken: a list must not be changed by one thread while another uses it.
 * A null head stands for an empty list in the LTE_* operations. */
#ifndef LISTE_CHAINEE_H
#define LISTE_CHAINEE_H

#include <stdio.h>
#include "kvelo_export.h"

KVELO_C_BEGIN

/* One node: links, the caller's type tag and the caller's object pointer. */
typedef struct LIS {
  struct LIS* next; /* null at the end */
  struct LIS* prev; /* null at the start */
  int type;         /* caller's tag; -1 for a node read before its stored type */
  void* object;     /* caller's object, never freed by the list itself */
} LIS;

/* A list head over a chain. */
typedef struct LTE {
  int count;    /* number of nodes */
  LIS* first;   /* null when empty */
  LIS* last;    /* null when empty */
  LIS* current; /* node last inserted or found through this head; null after a failed search */
} LTE;

/* Callbacks. A comparator answers non-zero when the node's object matches the probe. */
typedef int (*LIS_CMP_FCT)(void* object, void* probe);
typedef void (*LIS_FREE_FCT)(void* object);
typedef int (*LIS_PRINT_FCT)(void* object, FILE* stream);
/* Element writer: 0 on success. */
typedef int (*LIS_WRITE_FCT)(FILE* stream, void* object);
/* Element reader: returns the new object; sets *error non-zero on failure (it holds 0 on entry). */
typedef void* (*LIS_READ_FCT)(FILE* stream, int* error);
/* Copier: returns the copy; sets *error non-zero on failure. */
typedef void* (*LIS_COPY_FCT)(void* object, int* error);

/* ---- Creation and insertion: 0, or -1 after a report (the list is then unchanged). ---- */

/* New zeroed node with the type; null and *error = -1 when memory runs out. */
KVELO_API LIS* LIS_creer(int type, int* error);
/* New empty head; null and *error = -1 when memory runs out. */
KVELO_API LTE* LTE_creer(int* error);
/* Inserts a node right after *at, or makes it *at when *at is null. */
KVELO_API int LIS_ins(LIS** at, void* object, int type);
/* Inserts a new first node and updates *list. */
KVELO_API int LIS_ins_debut(LIS** list, void* object, int type);
/* Appends a new last node (walks the chain); an empty list gets it as *list. */
KVELO_API int LIS_ins_fin(LIS** list, void* object, int type);
/* Appends unless some node matches (cmp, or pointer equality when null); *inserted = 1 only when added. */
KVELO_API int LIS_ins_fin_unique(LIS** list, void* object, int type, int* inserted, LIS_CMP_FCT cmp);
/* New first node; creates the head when *head is null; current = new node. */
KVELO_API int LTE_ins_debut(LTE** head, void* object, int type);
/* New last node; creates the head when *head is null; current = new node. */
KVELO_API int LTE_ins_fin(LTE** head, void* object, int type);
/* As LTE_ins_fin unless a node matches, which then becomes current; *inserted = 1 only when added. */
KVELO_API int LTE_ins_fin_unique(LTE** head, void* object, int type, int* inserted, LIS_CMP_FCT cmp);
/* New node before `node` (as LTE_ins_debut when node is null, the first node or the list empty). */
KVELO_API int LTE_ins_avant(LTE** head, LIS* node, void* object, int type);
/* New node after `node` (as LTE_ins_debut when node is null or the list empty). */
KVELO_API int LTE_ins_apres(LTE** head, LIS* node, void* object, int type);
/* The same operation as LTE_ins_apres. */
KVELO_API int LTE_ins(LTE** head, LIS* node, void* object, int type);

/* ---- Counting and searching (no reports). ---- */

/* Number of nodes of a chain (0 for null). */
KVELO_API int LIS_length(LIS* first);
/* The head's count. */
KVELO_API int LTE_length(LTE* head);
/* Nodes whose type equals `type`; -1 counts all. */
KVELO_API int LIS_length_type(LIS* first, int type);
KVELO_API int LTE_length_type(LTE* head, int type);
/* Nodes whose object matches the probe (comparator required). */
KVELO_API int LIS_length_cmp(LIS* first, void* probe, LIS_CMP_FCT cmp);
KVELO_API int LTE_length_cmp(LTE* head, void* probe, LIS_CMP_FCT cmp);
/* Object of the first matching node or null; *found (when given) = that node or null. */
KVELO_API void* LIS_chercher(LIS* first, void* probe, LIS_CMP_FCT cmp, LIS** found);
/* As LIS_chercher; also current = matching node (null when none). */
KVELO_API void* LTE_chercher(LTE* head, void* probe, LIS_CMP_FCT cmp, LIS** found);
KVELO_API void* LIS_chercher_objet(LIS* first, void* probe, LIS_CMP_FCT cmp);
KVELO_API void* LTE_chercher_objet(LTE* head, void* probe, LIS_CMP_FCT cmp);
/* The matching node, or null. */
KVELO_API LIS* LIS_chercher_element(LIS* first, void* probe, LIS_CMP_FCT cmp);
KVELO_API LIS* LTE_chercher_element(LTE* head, void* probe, LIS_CMP_FCT cmp);
/* 1 when the search returns a non-null object, else 0. */
KVELO_API int LIS_exist(LIS* first, void* probe, LIS_CMP_FCT cmp);
KVELO_API int LTE_exist(LTE* head, void* probe, LIS_CMP_FCT cmp);
/* Node number i counted from 0, or null (also for a null head). */
KVELO_API LIS* LIS_chercher_ieme(LIS* first, int i);
KVELO_API LIS* LTE_chercher_ieme(LTE* head, int i);
/* First node with the type, or null (also for a null head). */
KVELO_API LIS* LIS_chercher_type(LIS* first, int type);
KVELO_API LIS* LTE_chercher_type(LTE* head, int type);

/* ---- Joining, removal, release, copy and print. ---- */

/* Links `chain` after the last node of *list; returns the former last node (null if *list was empty). */
KVELO_API LIS* LIS_append(LIS** list, LIS* chain);
/* Moves the nodes of `other` to the end of *head (created when null); `other` is left empty. 0 or -1. */
KVELO_API int LTE_append(LTE** head, LTE* other);
/* Unlinks and frees `node` (releasing its object when `rel` is given); 0, 0 when the node is not in
 * the chain, -1 (message 2500) for an empty list or a null node. */
KVELO_API int LIS_sup_elt(LIS** list, LIS* node, LIS_FREE_FCT rel);
/* As LIS_sup_elt on the head's chain, keeping count and last node; clears current when it was `node`. */
KVELO_API int LTE_sup_elt(LTE* head, LIS* node, LIS_FREE_FCT rel);
/* Searches the probe and removes its node; 0 when absent; -1 when the removal fails. */
KVELO_API int LIS_sup_objet(LIS** list, void* probe, LIS_CMP_FCT cmp, LIS_FREE_FCT rel);
KVELO_API int LTE_sup_objet(LTE* head, void* probe, LIS_CMP_FCT cmp, LIS_FREE_FCT rel);
/* Releases every object (when `rel` is given), frees every node, *list = null; 0. */
KVELO_API int LIS_free(LIS** list, LIS_FREE_FCT rel);
/* LIS_free on the head's chain, frees the head, *head = null; a null *head does nothing; 0. */
KVELO_API int LTE_free(LTE** head, LIS_FREE_FCT rel);
/* New chain with the same types and copied objects (shared pointers without copier), *error 0;
 * null for null. On failure *error is non-zero and the result is the chain of the copies made
 * before it (null when none): the list cannot release the caller's objects, so they are handed
 * back; release them with LIS_free and the matching release. A copier that fails must leave
 * nothing to free. */
KVELO_API LIS* LIS_copier(LIS* first, LIS_COPY_FCT copier, int* error);
/* New head over such a chain, *error 0. Null (*error set) when the head cannot be made; on a
 * later failure *error is non-zero and the head holds the copies made before it (release them
 * with LTE_free and the matching release). */
KVELO_API LTE* LTE_copier(LTE* head, LIS_COPY_FCT copier, int* error);
/* Calls the printer on each object in order (stream null = stdout), then flushes when not empty; 0. */
KVELO_API int LIS_print(LIS* first, LIS_PRINT_FCT printer, FILE* stream);
KVELO_API int LTE_print(LTE* head, LIS_PRINT_FCT printer, FILE* stream);

/* ---- Binary form. ---- */

/* Writes the nodes whose type equals `type` (-1: all) with their count; 0 or -1. */
KVELO_API int LIS_boutput(FILE* stream, LIS* first, LIS_WRITE_FCT writer, int type);
/* Writes the head's count and every node; 0 or -1. */
KVELO_API int LTE_boutput(FILE* stream, LTE* head, LIS_WRITE_FCT writer);
/* Reads a list into a new chain, *error 0; null with *error 0 for an empty list. On failure
 * (bad count, damaged or cut record) *error is non-zero and the result is the chain of the
 * nodes read whole before it (null when none): their objects come from the reader and belong
 * to the caller, who releases them with LIS_free. A reader that fails must leave nothing to free. */
KVELO_API LIS* LIS_binput(FILE* stream, LIS_READ_FCT reader, int* error);
/* Reads a list and appends its nodes to *head (created when null); 0. On failure -1: the nodes
 * read whole before it stay appended (current = the last of them), so that their objects can be
 * released with the head; a head that the call created and that received no node is freed
 * (*head null again). */
KVELO_API int LTE_binput(FILE* stream, LTE** head, LIS_READ_FCT reader);

/* ---- Ready-made element functions. ---- */

/* 1 when strcmp of the two strings is 0. */
KVELO_API int LIS_cmp_str(void* a, void* b);
/* 1 when the pointed-to ints are equal. */
KVELO_API int LIS_cmp_int(void* a, void* b);
/* 1 when the pointed-to doubles are equal (two equal infinities too) or differ by less than
 * 1e-14; a value that is not a number matches nothing. */
KVELO_API int LIS_cmp_db(void* a, void* b);
/* 1 when the two pointers are equal (the default comparator). */
KVELO_API int LIS_cmp_ptr(void* a, void* b);
/* kvelomem_free of the object. */
KVELO_API void LIS_free_str(void* object);
KVELO_API void LIS_free_int(void* object);
KVELO_API void LIS_free_db(void* object);
/* Print "%s\n", "%d\n" or "%g\n" of the object on the stream (stdout when null); 0. */
KVELO_API int LIS_print_str(void* object, FILE* stream);
KVELO_API int LIS_print_int(void* object, FILE* stream);
KVELO_API int LIS_print_db(void* object, FILE* stream);
/* Heap copies of a string, an int or a double; null and *error = -1 when memory runs out. */
KVELO_API void* LIS_copy_str(void* object, int* error);
KVELO_API void* LIS_copy_int(void* object, int* error);
KVELO_API void* LIS_copy_db(void* object, int* error);

KVELO_C_END

#endif
