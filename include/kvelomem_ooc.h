/* kvelomem_ooc.h: out-of-core memory. A unit is a block of bytes kept in a data file (by
 * default a new temporary file "KVTMP..." in $TMPDIR or /tmp) and reached through a mapped
 * view of the whole file; units are known by their MMAP_HANDLE and can be resized, queried
 * and freed, the file being deleted or kept. The memory mode tells callers whether to
 * allocate in core (1) or out of core (2). The unit list and the mode are process-wide and
 * not guarded: one thread at a time.
 * Errors follow the C matrix library's convention: on failure _LM_error reports message
 * 3100 + code under the function's name with (line, tag) of the caller, the status argument
 * receives -1 and the result is null or -1. Codes: 3 no memory; 22 the file cannot be
 * mapped; 23 a unit cannot be unmapped when freed; 24 the file cannot be named, created,
 * opened or sized, or its name is taken by a unit; 25 it cannot be deleted; 26 bad free type
 * or a descriptor cannot be closed; 27 the unit list or the mapping table cannot be updated,
 * or a handle has no unit. */
#ifndef KVELO_KVELOMEM_OOC_H
#define KVELO_KVELOMEM_OOC_H

#include "kvelo_export.h"
#include "kvelo_mmap.h"

#include <stddef.h>
#include <wchar.h>

KVELO_C_BEGIN

/* Sets the memory mode to 1 (in core) or 2 (out of core); other values are ignored. */
KVELO_API void kvelomem_setmode(int mode);
/* The memory mode: 1 at load. */
KVELO_API int kvelomem_getmode(void);

/* Creates a unit of count x size zero bytes in the file name (its contents replaced by the
 * zeros when it exists) or, when name is null, in a new temporary file; maps it whole for
 * reading and writing. Returns its handle with *status 0; null with *status -1 on failure
 * (codes 3, 22 also for 0 bytes, 24, 27; a size that does not fit in a file gives 24; the file
 * of a live unit, under any spelling of its path or through a hard link, gives 24). A refused
 * call leaves no file it made, and leaves a caller's existing file exactly as it was. */
KVELO_API MMAP_HANDLE* kvelomem_calloc_ooc(size_t count, size_t size, const wchar_t* name, const char* tag,
                                           const char* callerFile, int callerLine, int* status);
/* kvelomem_calloc_ooc with count 1. */
KVELO_API MMAP_HANDLE* kvelomem_malloc_ooc(size_t size, const wchar_t* name, const char* tag,
                                           const char* callerFile, int callerLine, int* status);
/* Resizes the unit of handle to newSize bytes (kept bytes keep their values, grown bytes
 * read 0, also where an adopted file held bytes past the unit) and maps it again: returns a new handle (a new view, at a new address), the unit's
 * old handle being unmapped and freed. All or nothing, like realloc: on failure (codes 22: no
 * view of the new size, also for newSize 0; 24: the file cannot be opened or sized, e.g. a
 * full disk; 27: no unit for handle, or its size cannot be read) the result is null with
 * *status -1 and the unit is exactly as it was: same handle, still mapped at the same address
 * with the same bytes, same size, file of the same length.
 * With a null handle and a name, adopts the existing file name (at least newSize bytes,
 * contents kept) as a new unit of newSize bytes (codes 3; 22, also for newSize 0; 24, also
 * for the file of a live unit under any name; 27; nothing changes on failure). */
KVELO_API MMAP_HANDLE* kvelomem_realloc_ooc(MMAP_HANDLE* handle, size_t newSize, const wchar_t* name,
                                            const char* tag, const char* callerFile, int callerLine,
                                            int* status);
/* Frees the unit of handle: deletes its file (type 1) or keeps it (type 2), unmaps it, drops
 * the unit and frees the handle. A handle without unit is left alone. *status 0, or -1 with
 * codes 26 (a type other than 1 and 2) and 25 (the file cannot be deleted), either leaving
 * the unit mapped and usable as it was, 23 (it cannot be unmapped), 27. */
KVELO_API void kvelomem_free_ooc(MMAP_HANDLE* handle, int type, const char* tag, const char* callerFile,
                                 int callerLine, int* status);

/* A copy of the unit's file name (free with kvelomem_free); a shared empty string (not to be
 * freed) for a handle without unit; null for a null handle, or with code 3 when out of memory. */
KVELO_API wchar_t* kvelomem_get_mapped_filename(MMAP_HANDLE* handle, const char* callerName, int callerLine,
                                                int* status);
/* The unit's last descriptor (open only while the unit is being resized; closed again by a
 * resize that fails); -1 for a null handle or one without unit. The middle arguments are not
 * used. *status 0. */
KVELO_API int kvelomem_get_mapped_unit(MMAP_HANDLE* handle, const char* callerName, int callerLine, int* status);
/* The unit's size in bytes; 0 for a null handle or one without unit. *status 0. */
KVELO_API unsigned long long kvelomem_get_mapped_size(MMAP_HANDLE* handle, const char* callerName, int callerLine,
                                                      int* status);
/* Closes the unit's descriptor when one is left open (no resize leaves one open now; kept for
 * callers that ask): 0; -1 with code 26 (reported under the tag) when closing fails. */
KVELO_API int kvelomem_close_mapped_unit(MMAP_HANDLE* handle, const char* tag, const char* callerFile,
                                         int callerLine, int* status);
/* 1 when handle belongs to a unit (mapped or not), 0 otherwise and for null. */
KVELO_API int kvelomem_ismapped(MMAP_HANDLE* handle);

KVELO_C_END

#endif
