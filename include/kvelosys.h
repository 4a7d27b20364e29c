/* kvelosys.h: the library's C heap and its thin wrappers over the system's file,
 * environment and string services, plus the 64-bit file wrappers CBF_*64 through which
 * every portable binary file goes. None of them reports through the message system.
 * Wide names (wchar_t) are converted to UTF-8 for the POSIX calls; narrow text is UTF-8. */
#ifndef KVELO_KVELOSYS_H
#define KVELO_KVELOSYS_H

#include "kvelo_export.h"

#include <stddef.h>
#include <stdio.h>
#include <wchar.h>

KVELO_C_BEGIN

/* ---- Heap. The tag, flag, file and line arguments are bookkeeping for a tracking
 * allocator and are ignored. Every block goes back through kvelomem_free. A block of more
 * than PTRDIFF_MAX bytes (or whose size overflows) is refused with null and errno ENOMEM
 * before the allocator is asked. ---- */

/* calloc of count elements of size bytes: a zero-filled block, or null. */
KVELO_API void* kvelomem_calloc(size_t count, size_t size, const char* tag, int flag, const char* file, int line);
/* malloc of size bytes: a block, or null. */
KVELO_API void* kvelomem_malloc(size_t size, const char* tag, int flag, const char* file, int line);
/* realloc of block to size bytes: the moved or resized block, or null (block then kept). */
KVELO_API void* kvelomem_realloc(void* block, size_t size, const char* tag, int flag, const char* file, int line);
/* free of block; a null block is ignored. */
KVELO_API void kvelomem_free(void* block, const char* file, int line);

/* Second names of the same four functions (same addresses). */
KVELO_API void* kvelo_calloc(size_t count, size_t size, const char* tag, int flag, const char* file, int line);
KVELO_API void* kvelo_malloc(size_t size, const char* tag, int flag, const char* file, int line);
KVELO_API void* kvelo_realloc(void* block, size_t size, const char* tag, int flag, const char* file, int line);
KVELO_API void kvelo_free(void* block, const char* file, int line);

/* ---- System wrappers. Results and errno are the platform's; a null name gives -1 with
 * errno EINVAL (a name that is not valid text gives -1 with errno EILSEQ). ---- */

/* Renames file from to to: 0, or -1 with errno. */
KVELO_API int kvelo_rename(const wchar_t* from, const wchar_t* to);
/* Tests access to name (mode 0 existence, 2 write, 4 read, 6 both): 0, or -1 with errno. */
KVELO_API int kvelo_access(const wchar_t* name, int mode);
/* The runtime's own value of variable name (not a copy), or null when unset or name is null. */
KVELO_API char* kvelo_getenv(const char* name);
/* Wide value of variable name, or null when unset, not UTF-8 or name is null. The string is
 * kept by the library per thread and name; it stays valid until the next call for the same
 * name on the same thread. */
KVELO_API wchar_t* kvelo_wgetenv(const wchar_t* name);
/* Runs command through the shell (system); the first argument is accepted and not read. */
KVELO_API int kvelo_system(const char* unused, const char* command);
/* Heap copy of s (free with kvelomem_free); null for a null s or when out of memory. */
KVELO_API char* kvelo_strdup(const char* s, const char* tag);
/* 1 when a file or directory named name exists, else 0 (also for a null name). */
KVELO_API int kvelo_file_exist(const wchar_t* name);
/* Modification time of name in seconds since 1970; 0 for a null or missing name. */
KVELO_API long long kvelo_file_mod_time(const wchar_t* name);
/* The process id. */
KVELO_API int kvelo_getpid(void);
/* A file name that no file has yet, in directory dir (else $TMPDIR, else /tmp), starting with
 * prefix; the file is not created. Heap string to free with kvelomem_free; null on failure. */
KVELO_API wchar_t* kvelo_tempnam(const wchar_t* dir, const wchar_t* prefix);
/* Deletes file name: 0, or -1 with errno. */
KVELO_API int kvelo_unlink(const wchar_t* name);
/* Descriptor of stream; -1 with errno EINVAL for a null stream. */
KVELO_API int kvelo_fileno(FILE* stream);
/* atan2(y, x). */
KVELO_API double kvelo_atan2(double y, double x);
/* Case-blind comparison of at most n characters (<0, 0, >0); a null string gives INT_MAX
 * with errno EINVAL. */
KVELO_API int kvelo_strncasecmp(const char* a, const char* b, size_t n);
/* Wide copy of the UTF-8 string s (free with kvelomem_free); null for null or invalid UTF-8. */
KVELO_API wchar_t* kvelo_char2Tchar(const char* s);
/* UTF-8 copy of the wide string s (free with kvelomem_free); null for null or a value that is
 * not a Unicode scalar value (a surrogate or above U+10FFFF). */
KVELO_API char* kvelo_Tchar2char(const wchar_t* s);
/* Sets the length of the file open on fd (longer or shorter) and leaves its position at
 * length: 0, or -1 with errno (bad descriptor, negative length, failed truncation), the file
 * and its position then as they were. */
KVELO_API int kvelo_ftruncate(int fd, long long length);

/* ---- 64-bit file wrappers. Stream forms work on the stream's descriptor and bypass its
 * buffer: flush a stream before mixing them with buffered output. ---- */

/* fopen of name with mode (both wide); null on failure. */
KVELO_API FILE* CBF_fopen64(const wchar_t* name, const wchar_t* mode);
/* open of name with flags; a created file is readable and writable by its owner. -1 on failure. */
KVELO_API int CBF_open64(const wchar_t* name, int flags);
/* fclose of stream: 0, or EOF (also for a null stream). */
KVELO_API int CBF_fclose64(FILE* stream);
/* close of fd: 0 or -1. */
KVELO_API int CBF_close64(int fd);
/* Moves the stream's descriptor: 0 when the new position is not negative, else -1. */
KVELO_API long long CBF_fseek64(FILE* stream, long long offset, int origin);
/* Moves fd: the new position, or -1. */
KVELO_API long long CBF_lseek64(int fd, long long offset, int origin);
/* Position of the stream's descriptor, or -1. */
KVELO_API long long CBF_ftell64(FILE* stream);
/* Position of fd, or -1. */
KVELO_API long long CBF_tell64(int fd);
/* Block transfers of count elements of size bytes on the stream's descriptor or on fd.
 * Result: the number of whole elements moved. Element size 0, a null buffer or stream, a
 * negative count or size x count above 2^31-1 bytes: 0 without a platform call. A platform
 * failure with nothing moved gives (size_t)-1 / size. Callers compare the result with the
 * requested count (!=): any failure is a result other than count. */
KVELO_API size_t CBF_fwrite64(const void* buf, size_t size, int count, FILE* stream);
KVELO_API size_t CBF_fread64(void* buf, size_t size, int count, FILE* stream);
KVELO_API size_t CBF_write64(const void* buf, size_t size, int count, int fd);
KVELO_API size_t CBF_read64(void* buf, size_t size, int count, int fd);

KVELO_C_END

#ifdef __cplusplus
/* Overload for code that holds a descriptor already: returns fd itself. */
inline int kvelo_fileno(int fd) { return fd; }
#endif

#endif
