// kvelosys.cpp: the library's C heap and its wrappers over the system's file, environment
// and string services. Wide names are turned into UTF-8 before each POSIX call; the
// wrappers keep no state apart from the per-thread copies that kvelo_wgetenv hands out.
#include "kvelosys.h"

#include "platform/plat_file.h"
#include "platform/plat_text.h"
#include "runtime/heap_limit.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

using kvplat::NarrowName;

// A terminated heap copy of s in the other encoding: convert counts (null output) and then
// fills; null when s is refused or memory runs out.
template <typename In, typename Out>
Out* HeapConvert(const In* s, long long (*convert)(const In*, Out*), const char* tag) {
  const long long n = convert(s, nullptr);
  if (n < 0) return nullptr;
  Out* out = static_cast<Out*>(kvelomem_malloc(static_cast<size_t>(n + 1) * sizeof(Out), tag, 0, __FILE__, __LINE__));
  if (!out) return nullptr;
  convert(s, out);
  out[n] = Out(0);
  return out;
}

// Whether a file named name exists (info: what stat says of it). The name is converted on the
// stack, so that no lack of memory can pass for a missing file: a name that is no text, or
// longer than any path the system takes, names no file.
bool StatWideName(const wchar_t* name, kvplat::FileInfo& info) {
  if (!name) return false;
  char buf[PATH_MAX];
  const long long n = kvplat::WideToUtf8(name, nullptr);
  if (n < 0 || n >= static_cast<long long>(sizeof buf)) return false;
  kvplat::WideToUtf8(name, buf);
  buf[n] = '\0';
  return kvplat::StatPath(buf, info);
}

// The largest block asked of the allocator. A sanitizer's allocator aborts the process on a
// request above its own ceiling (2^40 bytes on 64-bit targets) instead of returning null:
// under one, such requests are refused here as the allocator would refuse them.
#if defined(__SANITIZE_ADDRESS__)
#define KVELO_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVELO_SANITIZER_HEAP 1
#endif
#endif
#if defined(KVELO_SANITIZER_HEAP) && INTPTR_MAX > INT32_MAX
constexpr size_t kLargestBlock = size_t{1} << 40;
#else
constexpr size_t kLargestBlock = static_cast<size_t>(PTRDIFF_MAX);
#endif

std::atomic<size_t> g_blockLimit{0};
std::atomic<long> g_blocksLeft{-1};  // blocks still given before every one is refused; -1: no count
std::atomic<bool> g_blocksRanOut{false};

// Whether the count of blocks still given allows one more.
bool CountAllows() {
  long left = g_blocksLeft.load(std::memory_order_relaxed);
  while (left > 0 &&
         !g_blocksLeft.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
  }
  if (left != 0) return true;
  g_blocksRanOut.store(true, std::memory_order_relaxed);
  return false;
}

// Whether a block of count x size bytes may be asked of the allocator. No allocator can give
// more than PTRDIFF_MAX bytes in one block, and some (sanitizers) abort instead of returning
// null: such requests, and those above the ceiling, are refused here with ENOMEM.
bool BlockAllowed(size_t count, size_t size) {
  size_t bytes = 0;
  if (__builtin_mul_overflow(count, size, &bytes) || bytes > kLargestBlock) {
    errno = ENOMEM;
    return false;
  }
  const size_t limit = g_blockLimit.load(std::memory_order_relaxed);
  if ((limit != 0 && bytes > limit) || !CountAllows()) {
    errno = ENOMEM;
    return false;
  }
  return true;
}

}  // namespace

namespace kvrt {
void SetHeapBlockLimit(std::size_t bytes) { g_blockLimit.store(bytes, std::memory_order_relaxed); }
std::size_t HeapBlockLimit() { return g_blockLimit.load(std::memory_order_relaxed); }
void SetHeapBlocksLeft(long allowed) {
  g_blocksRanOut.store(false, std::memory_order_relaxed);
  g_blocksLeft.store(allowed < 0 ? -1 : allowed, std::memory_order_relaxed);
}
bool HeapBlocksRanOut() { return g_blocksRanOut.load(std::memory_order_relaxed); }
}  // namespace kvrt

extern "C" {

void* kvelomem_calloc(size_t count, size_t size, const char*, int, const char*, int) {
  return BlockAllowed(count, size) ? std::calloc(count, size) : nullptr;
}

void* kvelomem_malloc(size_t size, const char*, int, const char*, int) {
  return BlockAllowed(1, size) ? std::malloc(size) : nullptr;
}

void* kvelomem_realloc(void* block, size_t size, const char*, int, const char*, int) {
  return BlockAllowed(1, size) ? std::realloc(block, size) : nullptr;
}

void kvelomem_free(void* block, const char*, int) {
  if (block) std::free(block);
}

// The kvelo_ names are the same functions, not forwarders.
void* kvelo_calloc(size_t, size_t, const char*, int, const char*, int) __attribute__((alias("kvelomem_calloc")));
void* kvelo_malloc(size_t, const char*, int, const char*, int) __attribute__((alias("kvelomem_malloc")));
void* kvelo_realloc(void*, size_t, const char*, int, const char*, int) __attribute__((alias("kvelomem_realloc")));
void kvelo_free(void*, const char*, int) __attribute__((alias("kvelomem_free")));

int kvelo_rename(const wchar_t* from, const wchar_t* to) {
  std::string a, b;
  if (!NarrowName(from, a) || !NarrowName(to, b)) return -1;
  return std::rename(a.c_str(), b.c_str());
}

int kvelo_access(const wchar_t* name, int mode) {
  std::string n;
  if (!NarrowName(name, n)) return -1;
  // The mode bits 0, 2 and 4 mean the same as F_OK, W_OK and R_OK.
  return access(n.c_str(), mode);
}

char* kvelo_getenv(const char* name) {
  if (!name) return nullptr;
  return std::getenv(name);
}

wchar_t* kvelo_wgetenv(const wchar_t* name) {
  std::string n;
  if (!NarrowName(name, n)) return nullptr;
  const char* value = std::getenv(n.c_str());
  if (!value) return nullptr;
  try {
    std::wstring wide;
    if (!kvplat::ToWide(value, wide)) return nullptr;
    // The wide environment does not exist on POSIX: each thread keeps the last value it
    // asked for, per name, so that the pointer needs no freeing.
    thread_local std::map<std::string, std::wstring> cache;
    std::wstring& slot = cache[n];
    if (slot != wide) slot = wide;
    return &slot[0];
  } catch (...) {
    return nullptr;
  }
}

int kvelo_system(const char*, const char* command) { return std::system(command); }

char* kvelo_strdup(const char* s, const char* tag) {
  if (!s) return nullptr;
  const size_t n = std::strlen(s) + 1;
  char* copy = static_cast<char*>(kvelomem_malloc(n, tag, 0, __FILE__, __LINE__));
  if (!copy) return nullptr;
  std::memcpy(copy, s, n);
  return copy;
}

int kvelo_file_exist(const wchar_t* name) {
  kvplat::FileInfo info;
  return StatWideName(name, info) ? 1 : 0;
}

long long kvelo_file_mod_time(const wchar_t* name) {
  kvplat::FileInfo info;
  return StatWideName(name, info) ? info.mtime : 0;
}

int kvelo_getpid(void) { return static_cast<int>(getpid()); }

wchar_t* kvelo_tempnam(const wchar_t* dir, const wchar_t* prefix) {
  std::string d, p;
  if (dir && *dir) {
    if (!NarrowName(dir, d)) return nullptr;
    kvplat::FileInfo info;
    if (!kvplat::StatPath(d.c_str(), info) || !info.isDirectory) d.clear();
  }
  if (prefix && !NarrowName(prefix, p)) return nullptr;
  std::string name;
  try {
    if (!kvplat::FreshName(d, p, name)) return nullptr;
  } catch (...) {
    return nullptr;
  }
  return HeapConvert(name.c_str(), kvplat::Utf8ToWide, "kvelo_tempnam");
}

int kvelo_unlink(const wchar_t* name) {
  std::string n;
  if (!NarrowName(name, n)) return -1;
  return unlink(n.c_str());
}

int kvelo_fileno(FILE* stream) {
  if (!stream) {
    errno = EINVAL;
    return -1;
  }
  return fileno(stream);
}

double kvelo_atan2(double y, double x) { return std::atan2(y, x); }

int kvelo_strncasecmp(const char* a, const char* b, size_t n) {
  if (!a || !b) {
    errno = EINVAL;
    return INT_MAX;
  }
  return strncasecmp(a, b, n);
}

wchar_t* kvelo_char2Tchar(const char* s) { return HeapConvert(s, kvplat::Utf8ToWide, "kvelo_char2Tchar"); }

char* kvelo_Tchar2char(const wchar_t* s) { return HeapConvert(s, kvplat::WideToUtf8, "kvelo_Tchar2char"); }

int kvelo_ftruncate(int fd, long long length) {
  // The position moves first, as callers expect it at the new end afterwards; a truncation
  // that fails puts it back, so that a refused call leaves the descriptor as it was.
  const off_t before = lseek(fd, 0, SEEK_CUR);
  if (lseek(fd, static_cast<off_t>(length), SEEK_SET) < 0) return -1;
  if (ftruncate(fd, static_cast<off_t>(length)) == 0) return 0;
  const int err = errno;
  if (before >= 0) lseek(fd, before, SEEK_SET);
  errno = err;
  return -1;
}

}  // extern "C"
