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
  kvplat::FileIdentity file;  // the file itself, however it is named
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

int SameObject(void* object, void* probe) { return object == probe ? 1 : 0; }

// Whether a unit of the list has the file id (by device and inode: another spelling of its
// path, or a hard link, is the same file).
bool FileOfAUnit(const kvplat::FileIdentity& id) {
  for (LIS* n = g_units; n; n = n->next) {
    if (static_cast<OOC_UNIT*>(n->object)->file.Same(id)) return true;
  }
  return false;
}

// Takes unit out of the list again (no memory is needed) without releasing it.
void Unlist(OOC_UNIT* unit) {
  LIS* node = g_units ? LIS_chercher_element(g_units, unit, SameObject) : nullptr;
  if (node) LIS_sup_elt(&g_units, node, nullptr);
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
  // An empty file has no view: refused before any file is made or touched.
  if (bytes == 0) {
    Fail(22, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }

  // The name: the caller's, or a temporary file made at once (never a name that another
  // process could take between naming and creating).
  std::string path;
  std::wstring tempName;
  int fd = -1;
  bool created = false;  // the file is made by this call: it goes again on failure
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
    created = true;
  }
  // Gives up: the descriptor is closed and a file made here removed; a caller's file that
  // existed is left exactly as it was (every step before the last one leaves its bytes alone,
  // and a growth is taken back).
  auto giveUp = [&](OOC_UNIT* unit, int code, int line) {
    if (fd >= 0) kvplat::CloseFile(fd);
    if (created) std::remove(path.c_str());
    if (unit) ReleaseUnit(unit);
    Fail(code, line, kFn, callerLine, caller, status);
    return nullptr;
  };

  OOC_UNIT* unit = NewUnit(name, bytes);
  if (!unit) return giveUp(nullptr, 3, __LINE__);
  // The file of a live unit must not be touched, under its own name or any other.
  if (g_units && LIS_chercher_element(g_units, const_cast<wchar_t*>(name), SameName)) {
    return giveUp(unit, 24, __LINE__);
  }
  if (!created) {
    fd = kvplat::OpenOrCreate(path.c_str(), created);
    if (fd < 0) return giveUp(unit, 24, __LINE__);
  }
  if (!kvplat::IdentityOf(fd, unit->file) || FileOfAUnit(unit->file)) return giveUp(unit, 24, __LINE__);
  const long long oldLength = unit->file.length;
  unit->fd = fd;
  unit->state = 'O';
  if (LIS_ins_fin(&g_units, unit, 0) != 0) return giveUp(unit, 27, __LINE__);
  const long long target = static_cast<long long>(bytes);
  // The file grows first, blocks reserved (a full disk shows here, and the growth is taken
  // back); the view comes next; only then is a longer caller's file cut, and the region zeroed.
  if (target > oldLength && !kvplat::ResizeFileReserved(fd, target)) {
    Unlist(unit);
    return giveUp(unit, 24, __LINE__);
  }
  // The caller's bytes that are kept in place (to be zeroed) may be holes of a sparse file.
  if (!kvplat::ReserveRange(fd, 0, target < oldLength ? target : oldLength)) {
    if (target > oldLength) kvplat::ResizeFileReserved(fd, oldLength);
    Unlist(unit);
    return giveUp(unit, 24, __LINE__);
  }
  int st = 0;
  MMAP_HANDLE* handle = kvelo_mmap(nullptr, -1, name, 2, 0, bytes, tag, callerFile, callerLine, &st);
  if (!handle) {
    if (target > oldLength) kvplat::ResizeFileReserved(fd, oldLength);
    Unlist(unit);
    return giveUp(unit, 22, __LINE__);
  }
  if (target < oldLength && !kvplat::ResizeFileReserved(fd, target)) {
    DropHandle(handle, tag, callerFile, callerLine);
    Unlist(unit);
    return giveUp(unit, 24, __LINE__);
  }
  // Committed: a caller's file loses its contents, as the unit promises zeros.
  std::memset(handle->address, 0, static_cast<size_t>(bytes));
  kvplat::CloseFile(fd);  // the view keeps the file; a close error changes nothing now
  unit->state = 'C';
  unit->handle = handle;
  unit->file.length = target;
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
    const long long oldSize = static_cast<long long>(unit->size);
    // Bytes of the file past the unit (an adopted file longer than its unit) that the unit
    // grows over must read 0, as grown bytes do: their blocks are reserved now, and they are
    // zeroed once nothing can fail any more.
    const long long zeroFrom = oldSize;
    const long long zeroTo = target < length ? target : length;
    if (zeroTo > zeroFrom && !kvplat::ReserveRange(unit->fd, zeroFrom, zeroTo - zeroFrom)) {
      closeOwn();
      Fail(24, __LINE__, kFn, callerLine, caller, status);
      return nullptr;
    }
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
    if (zeroTo > zeroFrom) {
      std::memset(static_cast<char*>(fresh->address) + zeroFrom, 0, static_cast<size_t>(zeroTo - zeroFrom));
    }
    unit->file.length = target;
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
  // A unit of no bytes has no view, as everywhere else (a view of length 0 would be the
  // whole file).
  if (bytes == 0) {
    Fail(22, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  // Adopting an existing file: its contents stay as they are.
  OOC_UNIT* unit = NewUnit(name, bytes);
  if (!unit) {
    Fail(3, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
  // The file of a live unit cannot be adopted a second time, under any name: the two units
  // would resize one file under each other's views.
  if (g_units && LIS_chercher_element(g_units, const_cast<wchar_t*>(name), SameName)) {
    ReleaseUnit(unit);
    Fail(24, __LINE__, kFn, callerLine, caller, status);
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
  const bool known = kvplat::IdentityOf(fd, unit->file);
  kvplat::CloseFile(fd);
  const long long length = known ? unit->file.length : -1;
  if (known && FileOfAUnit(unit->file)) {
    ReleaseUnit(unit);
    Fail(24, __LINE__, kFn, callerLine, caller, status);
    return nullptr;
  }
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
