// kvelomem_ooc.cpp: out-of-core memory units. Each unit is a data file mapped whole through
// kvelo_mmap; a process-wide list of units lets a handle be resized, queried and freed,
// the file being deleted or kept. Also holds the in-core / out-of-core memory mode.
#include "kvelomem_ooc.h"

#include "erreur.h"
#include "kvelosys.h"
#include "liste_chainee.h"
#include "platform/plat_mmap.h"
#include "platform/plat_ooc.h"
#include "platform/plat_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

namespace {

const char* const kFile = "src/kvelomem_ooc";

// One out-of-core unit. The descriptor is open only in state 'O' (a resize in progress or
// one that failed half-way); 'C' once closed and mapped; 0 for a unit that adopted a file.
struct OOC_UNIT {
  MMAP_HANDLE* handle;     // current mapping, or null
  unsigned long long size; // bytes
  wchar_t* name;           // the unit's own copy of its file name
  int fd;                  // -1 until the file is opened, then the last descriptor used
  char state;
};

LIS* g_units = nullptr;  // units in creation order
int g_mode = 1;          // 1 in core, 2 out of core

wchar_t g_emptyName[1] = {L'\0'};

const char* CallerName(const char* tag, const char* callerFile) { return tag ? tag : callerFile; }

// Reports code under routine for the caller and leaves the status word in *status.
void Fail(int code, int line, const char* routine, int callerLine, const char* callerName, int* status) {
  _LM_error(kFile, code, line, routine, 0, callerLine, callerName);
  *status = _LM_err_status;
}

int SameHandle(void* object, void* probe) {
  const MMAP_HANDLE* a = static_cast<OOC_UNIT*>(object)->handle;
  const MMAP_HANDLE* b = static_cast<MMAP_HANDLE*>(probe);
  return (a && b && a->address == b->address && a->id == b->id) ? 1 : 0;
}

int SameName(void* object, void* probe) {
  return std::wcscmp(static_cast<OOC_UNIT*>(object)->name, static_cast<const wchar_t*>(probe)) == 0 ? 1 : 0;
}

void ReleaseUnit(void* object) {
  OOC_UNIT* unit = static_cast<OOC_UNIT*>(object);
  if (!unit) return;
  std::free(unit->name);
  std::free(unit);
}

LIS* FindByHandle(MMAP_HANDLE* handle) {
  if (!handle || !g_units) return nullptr;
  return LIS_chercher_element(g_units, handle, SameHandle);
}

OOC_UNIT* UnitOf(MMAP_HANDLE* handle) {
  LIS* node = FindByHandle(handle);
  return node ? static_cast<OOC_UNIT*>(node->object) : nullptr;
}

wchar_t* CopyName(const wchar_t* name) {
  const std::size_t n = std::wcslen(name) + 1;
  wchar_t* copy = static_cast<wchar_t*>(std::malloc(n * sizeof(wchar_t)));
  if (copy) std::wmemcpy(copy, name, n);
  return copy;
}

// A new unit of size bytes named by a copy of name; null when memory runs out.
OOC_UNIT* NewUnit(const wchar_t* name, unsigned long long size) {
  OOC_UNIT* unit = static_cast<OOC_UNIT*>(std::calloc(1, sizeof(OOC_UNIT)));
  if (!unit) return nullptr;
  unit->name = CopyName(name);
  if (!unit->name) {
    std::free(unit);
    return nullptr;
  }
  unit->handle = nullptr;
  unit->size = size;
  unit->fd = -1;
  unit->state = 0;
  return unit;
}

// Drops a handle that is mapped but belongs to no unit.
void DropHandle(MMAP_HANDLE* handle, const char* tag, const char* callerFile, int callerLine) {
  int st = 0;
  kvelo_munmap(handle, tag, callerFile, callerLine, &st);
  kvelomem_free(handle, kFile, __LINE__);
}

}  // namespace

KVELO_C_BEGIN

void kvelomem_setmode(int mode) {
  if (mode == 1 || mode == 2) g_mode = mode;
}

int kvelomem_getmode(void) { return g_mode; }

MMAP_HANDLE* kvelomem_calloc_ooc(size_t count, size_t size, const wchar_t* name, const char* tag,
                                 const char* callerFile, int callerLine, int* status) {
  static const char kFn[] = "kvelomem_calloc_ooc";
  int ignored = 0;
  if (!status) status = &ignored;
  const char* caller = CallerName(tag, callerFile);
  // A size that wraps around or does not fit a file offset cannot be given a file.
  if (size != 0 && count > static_cast<size_t>(LLONG_MAX) / size) {
    Fail(24, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  const unsigned long long bytes = static_cast<unsigned long long>(count) * size;

  // The name: the caller's, or a temporary file made at once (never a name that another
  // process could take between naming and creating).
  std::string path;
  std::wstring tempName;
  int fd = -1;
  if (name) {
    if (!kvplat::NarrowName(name, path)) {
      Fail(24, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
  } else {
    // The name made for the file is copied out once the file exists: with room for any path
    // made first, that copy cannot run out of memory and strand the file. No memory before the
    // file exists is code 3, as for the unit itself; nothing is thrown through this C function.
    try {
      path.reserve(PATH_MAX);
      fd = kvplat::CreateTempFile(std::string(), "KVTMP", path);
    } catch (const std::bad_alloc&) {
      Fail(3, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
    if (fd < 0 || !kvplat::ToWide(path.c_str(), tempName)) {
      if (fd >= 0) {
        kvplat::CloseFile(fd);
        std::remove(path.c_str());
      }
      Fail(24, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
    name = tempName.c_str();
  }
  const bool created = (fd >= 0);  // our own new temporary file

  OOC_UNIT* unit = NewUnit(name, bytes);
  if (!unit) {
    if (created) {
      kvplat::CloseFile(fd);
      std::remove(path.c_str());
    }
    Fail(3, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  if (g_units && LIS_chercher_element(g_units, const_cast<wchar_t*>(name), SameName)) {
    // The name belongs to a live unit: its file must not be touched.
    if (created) {
      kvplat::CloseFile(fd);
      std::remove(path.c_str());
    }
    ReleaseUnit(unit);
    Fail(24, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  if (!created) {
    fd = kvplat::OpenReadWrite(path.c_str(), true);
    if (fd < 0 || !kvplat::ResizeFileReserved(fd, 0)) {  // a caller's file loses its contents
      if (fd >= 0) kvplat::CloseFile(fd);  // not emptied: its contents stay
      ReleaseUnit(unit);
      Fail(24, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
  }
  unit->fd = fd;
  unit->state = 'O';
  const bool sized = bytes == 0 || kvplat::ResizeFileReserved(fd, static_cast<long long>(bytes));
  const bool closed = kvplat::CloseFile(fd) == 0;
  unit->state = 'C';
  if (!sized || !closed) {
    std::remove(path.c_str());
    ReleaseUnit(unit);
    Fail(24, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }

  int st = 0;
  MMAP_HANDLE* handle = kvelo_mmap(nullptr, -1, name, 2, 0, bytes, tag, callerFile, callerLine, &st);
  if (!handle) {
    std::remove(path.c_str());
    ReleaseUnit(unit);
    Fail(22, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  std::memset(handle->address, 0, static_cast<size_t>(bytes));
  unit->handle = handle;
  if (LIS_ins_fin(&g_units, unit, 0) != 0) {
    DropHandle(handle, tag, callerFile, callerLine);
    std::remove(path.c_str());
    ReleaseUnit(unit);
    Fail(27, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  *status = 0;
  return handle;
}

MMAP_HANDLE* kvelomem_malloc_ooc(size_t size, const wchar_t* name, const char* tag, const char* callerFile,
                                 int callerLine, int* status) {
  return kvelomem_calloc_ooc(1, size, name, tag, callerFile, callerLine, status);
}

MMAP_HANDLE* kvelomem_realloc_ooc(MMAP_HANDLE* handle, size_t newSize, const wchar_t* name, const char* tag,
                                  const char* callerFile, int callerLine, int* status) {
  static const char kFn[] = "kvelomem_realloc_ooc";
  int ignored = 0;
  if (!status) status = &ignored;
  const char* caller = CallerName(tag, callerFile);
  const unsigned long long bytes = newSize;
  int st = 0;

  if (handle) {
    OOC_UNIT* unit = UnitOf(handle);
    if (!unit) {
      Fail(27, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
    if (bytes > static_cast<unsigned long long>(LLONG_MAX)) {
      Fail(24, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
    if (bytes == 0) {  // an empty file has no view: refused before anything changes
      Fail(22, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
    // Like realloc, all or nothing: callers keep pointers into the unit's view, so the old view
    // stays mapped, at its address and with its bytes, until the new one stands. Growing, the
    // file grows first (the old view keeps covering the old bytes); shrinking, the new view is
    // made first and the file is cut once the old view is no longer needed. Any failure puts
    // the file back to its old length and leaves the unit exactly as it was.
    MMAP_HANDLE* old = unit->handle;  // the caller's handle may be a copy of it
    const char oldState = unit->state;
    std::string path;
    if (unit->state != 'O') {
      const int fd = kvplat::NarrowName(unit->name, path) ? kvplat::OpenReadWrite(path.c_str(), false) : -1;
      if (fd < 0) {
        Fail(24, __LINE__, kFn, callerLine, caller, status);
        return nullptr;
      }
      unit->fd = fd;
      unit->state = 'O';
    }
    // Closes the descriptor this call opened (one left open before stays for the caller).
    auto closeOwn = [&]() {
      if (oldState != 'O') {
        kvplat::CloseFile(unit->fd);  // the descriptor is released even when close reports an error
        unit->state = oldState;
      }
    };
    const long long length = kvplat::FileLength(unit->fd);
    if (length < 0) {
      closeOwn();
      Fail(27, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
    const long long target = static_cast<long long>(bytes);
    if (target > length) {
      errno = 0;
      if (!kvplat::ResizeFileReserved(unit->fd, target)) {
        closeOwn();
        Fail(24, __LINE__, kFn, callerLine, caller, status);
        return nullptr;
      }
    }
    MMAP_HANDLE* fresh = kvelo_mmap(nullptr, -1, unit->name, 2, 0, bytes, tag, callerFile, callerLine, &st);
    if (!fresh) {
      if (target > length) kvplat::ResizeFileReserved(unit->fd, length);  // back to the old length
      closeOwn();
      Fail(22, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
    if (target < length) {
      errno = 0;
      if (!kvplat::ResizeFileReserved(unit->fd, target)) {
        if (errno == EACCES) {
          std::printf(" errno : EACCES\n");
        } else {
          std::printf(" errno : %d\n", errno);
        }
        DropHandle(fresh, tag, callerFile, callerLine);
        closeOwn();
        Fail(24, __LINE__, kFn, callerLine, caller, status);
        return nullptr;
      }
    }
    // The new view stands: the old one goes.
    kvelo_munmap(old, tag, callerFile, callerLine, &st);
    kvelomem_free(old, kFile, __LINE__);
    kvplat::CloseFile(unit->fd);
    unit->state = 'C';
    unit->size = bytes;
    unit->handle = fresh;
    *status = 0;
    return fresh;
  }

  if (!name) {
    Fail(3, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  // Adopting an existing file: its contents stay as they are.
  OOC_UNIT* unit = NewUnit(name, bytes);
  if (!unit) {
    Fail(3, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  std::string path;
  const int fd = kvplat::NarrowName(name, path) ? kvplat::OpenReadWrite(path.c_str(), false) : -1;
  if (fd < 0) {
    ReleaseUnit(unit);
    Fail(24, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  unit->fd = fd;
  const long long length = kvplat::FileLength(fd);
  kvplat::CloseFile(fd);
  if (length < 0 || static_cast<unsigned long long>(length) < bytes) {
    ReleaseUnit(unit);
    Fail(24, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  MMAP_HANDLE* fresh = kvelo_mmap(nullptr, -1, unit->name, 2, 0, bytes, tag, callerFile, callerLine, &st);
  if (!fresh) {
    ReleaseUnit(unit);
    Fail(22, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  unit->handle = fresh;
  if (LIS_ins_fin(&g_units, unit, 0) != 0) {
    DropHandle(fresh, tag, callerFile, callerLine);
    ReleaseUnit(unit);
    Fail(27, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  *status = 0;
  return fresh;
}

void kvelomem_free_ooc(MMAP_HANDLE* handle, int type, const char* tag, const char* callerFile, int callerLine,
                       int* status) {
  static const char kFn[] = "kvelomem_free_ooc";
  int ignored = 0;
  if (!status) status = &ignored;
  const char* caller = CallerName(tag, callerFile);
  *status = 0;
  LIS* node = FindByHandle(handle);
  if (!node) return;
  OOC_UNIT* unit = static_cast<OOC_UNIT*>(node->object);
  MMAP_HANDLE* own = unit->handle;  // the caller's may be a copy
  // What can fail without harm comes first: a bad type or a file that cannot be deleted
  // leaves the unit mapped and usable. (A mapped file can be deleted: the view keeps its
  // bytes until it goes.)
  if (type != 1 && type != 2) {
    Fail(26, __LINE__, kFn, callerLine, caller, status);
    return;
  }
  if (type == 1 && kvelo_unlink(unit->name) != 0) {
    Fail(25, __LINE__, kFn, callerLine, caller, status);
    return;
  }
  int st = 0;
  if (kvelo_munmap(own, tag, callerFile, callerLine, &st) != 0) {
    Fail(23, __LINE__, kFn, callerLine, caller, status);
    return;
  }
  if (unit->state == 'O') {  // a descriptor left open
    kvplat::CloseFile(unit->fd);
    unit->state = 'C';
  }
  if (LIS_sup_elt(&g_units, node, ReleaseUnit) != 0) {
    Fail(27, __LINE__, kFn, callerLine, caller, status);
    return;
  }
  kvelomem_free(own, kFile, __LINE__);
}

wchar_t* kvelomem_get_mapped_filename(MMAP_HANDLE* handle, const char* callerName, int callerLine, int* status) {
  int ignored = 0;
  if (!status) status = &ignored;
  *status = 0;
  if (!handle) return nullptr;
  OOC_UNIT* unit = UnitOf(handle);
  if (!unit) return g_emptyName;
  const std::size_t n = std::wcslen(unit->name) + 1;
  wchar_t* copy = static_cast<wchar_t*>(
      kvelomem_malloc(n * sizeof(wchar_t), "kvelomem_get_mapped_filename", 0, kFile, __LINE__));
  if (!copy) {
    Fail(3, __LINE__, "kvelomem_get_mapped_filename", callerLine, callerName, status);
    return nullptr;
  }
  std::wmemcpy(copy, unit->name, n);
  return copy;
}

int kvelomem_get_mapped_unit(MMAP_HANDLE* handle, const char* callerName, int callerLine, int* status) {
  (void)callerName;
  (void)callerLine;
  if (status) *status = 0;
  OOC_UNIT* unit = UnitOf(handle);
  return unit ? unit->fd : -1;
}

unsigned long long kvelomem_get_mapped_size(MMAP_HANDLE* handle, const char* callerName, int callerLine,
                                            int* status) {
  (void)callerName;
  (void)callerLine;
  if (status) *status = 0;
  OOC_UNIT* unit = UnitOf(handle);
  return unit ? unit->size : 0;
}

int kvelomem_close_mapped_unit(MMAP_HANDLE* handle, const char* tag, const char* callerFile, int callerLine,
                               int* status) {
  int ignored = 0;
  if (!status) status = &ignored;
  *status = 0;
  OOC_UNIT* unit = UnitOf(handle);
  if (unit && unit->state == 'O') {
    const int rc = kvplat::CloseFile(unit->fd);
    unit->state = 'C';  // the descriptor is gone even when close reports an error
    if (rc != 0) {
      _LM_error(kFile, 26, __LINE__, tag ? tag : "kvelomem_close_mapped_unit", 0, callerLine, callerFile);
      *status = _LM_err_status;
      return -1;
    }
  }
  return 0;
}

int kvelomem_ismapped(MMAP_HANDLE* handle) { return FindByHandle(handle) ? 1 : 0; }

KVELO_C_END
