// kvelo_mmap.cpp: mapped views of file regions and the process-wide table of the views handed
// out as MMAP_HANDLEs (key "%p %d": address and identifier), so that a handle alone is
// enough to find and release its view. Shared mappings: writes reach the file.
#include "kvelo_mmap.h"

#include "erreur.h"
#include "hash_util.h"
#include "kvelosys.h"
#include "platform/plat_mmap.h"
#include "platform/plat_ooc.h"
#include "platform/plat_text.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

const char* const kFile = "src/kvelo_mmap";

// The mapping table (created with the first registered view) and the identifier counter.
// Work spaces of several threads register their views in this one table: every use of the
// two holds the lock (constant-initialised, so usable at any time of the process's life).
HASH_TABLE* g_table = nullptr;
int g_counter = 0;
std::mutex g_tableLock;

void Trace(int line) {
  try {
    fct_Trace("aff_lieu", line, kFile);
  } catch (...) {
  }
}

// The table key of a mapping: its address and its identifier.
void MakeKey(char (&key)[64], const void* address, int id) { std::snprintf(key, sizeof key, "%p %d", address, id); }

// Maps a region that the file covers; null on any failure.
void* MapRegion(const wchar_t* name, int access, unsigned long long offset, unsigned long long length,
                unsigned long long& base, unsigned long long& mapped) {
  std::string path;
  if (!kvplat::NarrowName(name, path)) return nullptr;
  const unsigned long long granularity = static_cast<unsigned long long>(kvplat::AllocationGranularity());
  const unsigned long long remainder = offset % granularity;
  base = offset - remainder;
  if (length > ULLONG_MAX - remainder || base > static_cast<unsigned long long>(LLONG_MAX)) return nullptr;
  mapped = length + remainder;
  const bool writable = (access == 2);
  // An absent file is not created: a new file is empty, and an empty file has no view.
  const int fd = writable ? kvplat::OpenReadWrite(path.c_str(), false) : kvplat::OpenReadOnly(path.c_str());
  if (fd < 0) return nullptr;
  void* view = nullptr;
  const long long fileLength = kvplat::FileLength(fd);
  if (fileLength >= 0) {
    const unsigned long long size = static_cast<unsigned long long>(fileLength);
    // Length 0 asks for the rest of the file from the offset, whatever its remainder; with
    // nothing left after the offset there is nothing to map.
    if (length == 0) mapped = offset < size ? size - base : 0;
    // The view must lie inside the file: pages past its end would fault when touched.
    if (mapped > 0 && base <= size && mapped <= size - base && mapped <= SIZE_MAX) {
      view = kvplat::MapFile(fd, static_cast<long long>(base), static_cast<std::size_t>(mapped), writable);
    }
  }
  kvplat::CloseFile(fd);  // the view keeps the file alive on its own
  return view;
}

}  // namespace

KVELO_C_BEGIN

MMAP_VIEW* kvelo_mmap_(MMAP_VIEW* view, int fd, const wchar_t* name, int access, unsigned long long offset,
                       unsigned long long length, const char* tag, const char* callerFile, int callerLine,
                       int* status) {
  (void)fd;
  (void)callerFile;
  (void)callerLine;
  int ignored = 0;
  if (!status) status = &ignored;
  *status = -1;
  unsigned long long base = 0, mapped = 0;
  void* region = MapRegion(name, access, offset, length, base, mapped);
  if (!region) return nullptr;
  MMAP_VIEW* v = view;
  if (!v) v = static_cast<MMAP_VIEW*>(kvelomem_calloc(1, sizeof(MMAP_VIEW), tag, 0, kFile, __LINE__));
  if (!v) {
    kvplat::UnmapFile(region, static_cast<std::size_t>(mapped));
    return nullptr;
  }
  v->base = region;
  v->address = static_cast<char*>(region) + (offset - base);
  v->length = mapped;
  v->file = -1;
  v->mapping = -1;
  *status = 0;
  return v;
}

int kvelo_munmap_(MMAP_VIEW* view, const char* tag, const char* callerFile, int callerLine) {
  (void)callerFile;
  if (!view || !view->base) return 0;
  bool ok = kvplat::UnmapFile(view->base, static_cast<std::size_t>(view->length));
  if (ok) {
    // Forget the range at once: unmapping it a second time could hit a later mapping.
    view->base = nullptr;
    view->address = nullptr;
  }
  if (view->mapping >= 0) {
    ok = (kvplat::CloseFile(view->mapping) == 0) && ok;
    view->mapping = -1;
  }
  if (view->file >= 0) {
    ok = (kvplat::CloseFile(view->file) == 0) && ok;
    view->file = -1;
  }
  if (!ok) {
    _LM_error(kFile, 27, __LINE__, "kvelo_munmap", 0, callerLine, tag);
    return _LM_err_status;
  }
  return 0;
}

MMAP_HANDLE* kvelo_mmap(MMAP_HANDLE* handle, int fd, const wchar_t* name, int access, unsigned long long offset,
                        unsigned long long length, const char* tag, const char* callerFile, int callerLine,
                        int* status) {
  int ignored = 0;
  if (!status) status = &ignored;
  MMAP_VIEW* view = kvelo_mmap_(nullptr, fd, name, access, offset, length, tag, callerFile, callerLine, status);
  if (!view) {
    *status = -1;
    return nullptr;
  }
  *status = 0;
  std::lock_guard<std::mutex> hold(g_tableLock);
  if (!g_table && hashCreate(509, &g_table) != 0) {
    kvelo_munmap_(view, tag, callerFile, callerLine);
    kvelomem_free(view, kFile, __LINE__);
    *status = -1;
    return nullptr;
  }
  MMAP_HANDLE* h = handle;
  if (!h) h = static_cast<MMAP_HANDLE*>(kvelomem_malloc(sizeof(MMAP_HANDLE), tag, 0, kFile, __LINE__));
  if (!h) {
    const int r = kvelo_munmap_(view, tag, callerFile, callerLine);
    if (r != 0) {
      *status = r;
      Trace(__LINE__);
    } else {
      *status = -1;
    }
    kvelomem_free(view, kFile, __LINE__);
    return nullptr;
  }
  g_counter = (g_counter == INT_MAX) ? 1 : g_counter + 1;
  char key[64];
  MakeKey(key, view->address, g_counter);
  if (hashAdd(g_table, key, view) != 0) {
    kvelo_munmap_(view, tag, callerFile, callerLine);
    kvelomem_free(view, kFile, __LINE__);
    if (h != handle) kvelomem_free(h, kFile, __LINE__);
    *status = -1;
    return nullptr;
  }
  h->address = view->address;
  h->id = g_counter;
  h->state = 'Y';
  h->reserved = 0;
  *status = 0;
  return h;
}

int kvelo_munmap(MMAP_HANDLE* handle, const char* tag, const char* callerFile, int callerLine, int* status) {
  int ignored = 0;
  if (!status) status = &ignored;
  if (!handle || !handle->address) {
    *status = -1;
    return -1;
  }
  std::lock_guard<std::mutex> hold(g_tableLock);
  if (handle->state == 'Y' && g_table) {
    char key[64];
    MakeKey(key, handle->address, handle->id);
    void* found = nullptr;
    if (hashSearch(g_table, key, &found) != 0 && found) {
      MMAP_VIEW* view = static_cast<MMAP_VIEW*>(found);
      const int r = kvelo_munmap_(view, tag, callerFile, callerLine);
      if (r != 0) {
        *status = r;
        Trace(__LINE__);
        return -1;
      }
      handle->state = 'N';
      if (hashDelete(g_table, key) != 0) {
        _LM_error(kFile, 27, __LINE__, "kvelo_munmap", 0, callerLine, tag);
        *status = _LM_err_status;
        return -1;
      }
      kvelomem_free(view, kFile, __LINE__);
    }
  }
  *status = 0;
  return 0;
}

void free_variables_kvelo_mmap(void) {
  std::lock_guard<std::mutex> hold(g_tableLock);
  hashDestroy(g_table);
  g_table = nullptr;
}

KVELO_C_END
