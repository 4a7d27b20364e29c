/* kvelo_mmap.h: memory-mapped views of file regions for out-of-core storage. kvelo_mmap maps
 * a region and registers it in one process-wide table, so that the view can be found and
 * released again from the returned handle alone; kvelo_mmap_ / kvelo_munmap_ work on a bare
 * view without the table. The table and its identifier counter are process-wide and guarded
 * by a lock: threads may map and release their own views at the same time (a handle itself
 * belongs to one thread at a time). Errors follow the C matrix library's convention: status
 * argument 0 or -1, failures of the table reported through _LM_error (code 27). */
#ifndef KVELO_KVELO_MMAP_H
#define KVELO_KVELO_MMAP_H

#include "kvelo_export.h"

#include <stddef.h>
#include <wchar.h>

KVELO_C_BEGIN

/* A registered mapping as callers hold it (allocated on the library heap; free it with
 * kvelomem_free once it is no longer mapped). Callers read only the address. */
typedef struct MMAP_HANDLE {
  void* address; /* first byte of the region asked for */
  int id;        /* running number of the mapping, from 1 up, process-wide */
  char state;    /* 'Y' mapped, 'N' unmapped */
  int reserved;  /* 0 */
} MMAP_HANDLE;

/* One view of a file. This platform needs no descriptor once the view exists: file and
 * mapping hold -1 (a record filled by the caller may hold descriptors; they are closed with
 * the view). */
typedef struct MMAP_VIEW {
  void* base;                   /* start of the view, at a granularity boundary */
  void* address;                /* base + (offset mod granularity): the byte asked for */
  unsigned long long length;    /* bytes mapped from base */
  int file;                     /* descriptor kept for the view, or -1 */
  int mapping;                  /* second descriptor kept for the view, or -1 */
} MMAP_VIEW;

/* Maps length bytes of the file name from offset (any offset: the view starts at the
 * granularity boundary below it) into view (null: a new record is allocated). access 2
 * maps for reading and writing, any other value read-only; the file must exist and cover
 * the region; length 0 maps from offset to the end of the file, at any offset (none left:
 * refused). fd is not used. Returns the view
 * with *status 0, or null with *status -1 (no report; a record allocated here is freed). */
KVELO_API MMAP_VIEW* kvelo_mmap_(MMAP_VIEW* view, int fd, const wchar_t* name, int access,
                                 unsigned long long offset, unsigned long long length, const char* tag,
                                 const char* callerFile, int callerLine, int* status);
/* Unmaps view and closes the descriptors it keeps (the record is not freed): 0, also for a
 * null view or one without base; on failure _LM_error code 27 and the status word (-1). */
KVELO_API int kvelo_munmap_(MMAP_VIEW* view, const char* tag, const char* callerFile, int callerLine);

/* Maps as kvelo_mmap_ and registers the view under a new identifier. The handle is the
 * caller's (it then receives the new mapping) or, when null, a new one. Returns the handle
 * with *status 0; null with *status -1 when the region cannot be mapped or registered
 * (nothing is left mapped then). */
KVELO_API MMAP_HANDLE* kvelo_mmap(MMAP_HANDLE* handle, int fd, const wchar_t* name, int access,
                                  unsigned long long offset, unsigned long long length, const char* tag,
                                  const char* callerFile, int callerLine, int* status);
/* Releases the registered view of handle, the data staying in the file, and marks it 'N'
 * (the handle is not freed). 0 with *status 0, also for a handle already unmapped or not in
 * the table; -1 with *status -1 for a null handle or a null address, or when the view cannot
 * be released (code 27 when its table entry cannot be removed). */
KVELO_API int kvelo_munmap(MMAP_HANDLE* handle, const char* tag, const char* callerFile, int callerLine,
                           int* status);
/* Destroys the mapping table and forgets it: the views it indexes stay mapped and their
 * records allocated; their handles can no longer be unmapped. */
KVELO_API void free_variables_kvelo_mmap(void);

KVELO_C_END

#endif
