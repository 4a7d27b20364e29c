// C_WorkSpace.cpp: a large byte area cut into numbered blocks, in core on the library heap or
// out of core in a data file whose blocks are mapped one by one through kvelo_mmap, so that
// only the blocks in use need address space. Block bookkeeping is a first-fit scan.
#include "C_WorkSpace.h"

#include "C_CallStack.h"
#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "erreur.h"
#include "kvelosys.h"
#include "platform/plat_mmap.h"
#include "platform/plat_ooc.h"
#include "platform/plat_text.h"
#include "runtime/no_memory.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

namespace Kvelo {

namespace {

// The table's vectors grow by this many entries at a time.
constexpr std::size_t kTableStep = 20;

// Largest data file: its size must fit a 32-bit int.
constexpr unsigned long long kMaxFileSize = static_cast<unsigned long long>(INT_MAX);

// Grows the block table's vectors by one step when they are full, so that the next entry is
// appended without a failure half-way. 1001 when they cannot grow (a vector that did keeps its
// entries and only has more room).
void MakeRoomForBlock(std::vector<unsigned long long>& sizes, std::vector<unsigned long long>& offsets,
                      std::vector<MMAP_HANDLE*>& mappings) {
  if (sizes.size() < sizes.capacity()) return;
  const std::size_t cap = sizes.capacity() + kTableStep;
  kvrt::Or1001([&] {
    sizes.reserve(cap);
    offsets.reserve(cap);
    mappings.reserve(cap);
  });
}

// 1001 when memory runs out for the name.
std::string NarrowName(const std::wstring& name) {
  return kvrt::Or1001([&] {
    std::string path;
    if (!kvplat::ToUtf8(name.c_str(), path)) path.clear();
    return path;
  });
}

// The wide form of a narrow text into out: false when the text is not UTF-8; 1001 when memory
// runs out (a want of memory is not a missing name).
bool WideOf(const char* s, std::wstring& out) {
  if (kvplat::Utf8ToWide(s, nullptr) < 0) return false;
  kvrt::Or1001([&] {
    if (!kvplat::ToWide(s, out)) throw std::bad_alloc();
  });
  return true;
}

}  // namespace

C_WorkSpace::C_WorkSpace(E_CoreMode mode, unsigned long long megabytes)
    : m_coreMode(mode == OUTOFCORE ? OUTOFCORE : INCORE),
      m_memOwner(true),
      m_blockCount(0),
      m_workSpaceSize(0),
      m_usedSize(0),
      m_dataFileFd(-1),
      m_inCore(nullptr) {
  kvrt::Or1001([&] {
    m_blockSizes.reserve(kTableStep);
    m_blockOffsets.reserve(kTableStep);
    m_blockMappings.reserve(kTableStep);
  });

  // A count of mebibytes beyond 64 bits saturates: it can be neither allocated nor filed.
  const unsigned long long size = megabytes > (ULLONG_MAX >> 20) ? ULLONG_MAX : megabytes << 20;
  if (m_coreMode == INCORE && size > 0) {
    m_inCore = kvelomem_malloc(static_cast<size_t>(size), "C_WorkSpace::C_WorkSpace", 0, __FILE__, __LINE__);
    if (!m_inCore) m_coreMode = OUTOFCORE;
  }
  if (m_coreMode == OUTOFCORE) {
    kvrt::Or1001([&] { CreateDataFile(nullptr, nullptr, size); });
  }
  m_workSpaceSize = size;

  if (m_workSpaceSize > 0) {
    try {
      kvrt::Or1001([&] {
        AppendBlock(m_workSpaceSize, 0);
        m_freeBlocks.insert(0);
      });
    } catch (...) {
      // No destructor runs for an object that is not built: its area and file go here.
      if (m_inCore) kvelomem_free(m_inCore, __FILE__, __LINE__);
      m_inCore = nullptr;
      _RemoveDataFile(false);
      throw;
    }
  }
}

C_WorkSpace::~C_WorkSpace() {
  try {
    Release();
  } catch (C_KveloException& e) {
    C_MessageTool::HandleMessage(e, MessageToolEnums::TYPE_ERROR, MessageToolEnums::LEVEL_PUBLIC);
  } catch (...) {
  }
  // What a failed Release left behind: views still mapped, the data file, the records.
  for (MMAP_HANDLE*& h : m_blockMappings) {
    if (!h) continue;
    if (h->state == 'Y') {
      int st = 0;
      kvelo_munmap(h, "C_WorkSpace::~C_WorkSpace", __FILE__, __LINE__, &st);
    }
    kvelomem_free(h, __FILE__, __LINE__);
    h = nullptr;
  }
  try {
    _RemoveDataFile(false);
  } catch (...) {
  }
  if (m_memOwner && m_inCore) {
    kvelomem_free(m_inCore, __FILE__, __LINE__);
    m_inCore = nullptr;
  }
}

int C_WorkSpace::_Reserved() { return 0; }

std::wstring C_WorkSpace::getDataFileName() {
  return kvrt::Or1001([&] { return m_dataFileName; });
}

bool C_WorkSpace::IsMapped(int block) const {
  const MMAP_HANDLE* h = m_blockMappings[static_cast<std::size_t>(block)];
  return h && h->state == 'Y';
}

int C_WorkSpace::AppendBlock(unsigned long long size, unsigned long long offset) {
  MakeRoomForBlock(m_blockSizes, m_blockOffsets, m_blockMappings);
  m_blockSizes.push_back(size);
  m_blockOffsets.push_back(offset);
  m_blockMappings.push_back(nullptr);
  return m_blockCount++;
}

void C_WorkSpace::CreateDataFile(const wchar_t* name, const char* prefix, unsigned long long size) {
  C_Trace trace("C_WorkSpace::CreateDataFile", __FILE__, __LINE__);
  // The file made here goes again on any failure, also one that is no C_KveloException (no
  // memory for a name): a work space that is not built leaves no file behind.
  std::string path;
  int fd = -1;
  auto forget = [&]() {
    if (fd >= 0 && fd != m_dataFileFd) {
      kvplat::CloseFile(fd);
      if (!name) std::remove(path.c_str());
    }
    _RemoveDataFile(false);
  };
  try {
    std::wstring wide;
    if (name) {
      wide = name;
      path = NarrowName(wide);
      if (path.empty()) KVELO_THROW(4);
      fd = kvplat::OpenReadWrite(path.c_str(), true);
      if (fd < 0) KVELO_THROW_R(19, 100);
      if (!kvplat::SetFileLength(fd, 0)) {
        const int err = errno;
        kvplat::CloseFile(fd);
        fd = -1;
        errno = err;
        KVELO_THROW_R(19, 100);
      }
    } else {
      const std::string pre = prefix ? prefix : "KVTMP";
      if (!WideOf(pre.c_str(), wide)) KVELO_THROW(4);
      // Named and created in one step: no other process can take the name in between. The
      // name is copied out once the file exists: with room for any path made first, that copy
      // cannot run out of memory and strand the file.
      path.reserve(PATH_MAX);
      fd = kvplat::CreateTempFile(std::string(), pre, path);
      if (fd < 0) KVELO_THROW_R(19, 100);
      bool named = false;
      try {
        named = WideOf(path.c_str(), wide);
      } catch (...) {
        named = false;
      }
      if (!named) {
        const bool noMemory = kvplat::Utf8ToWide(path.c_str(), nullptr) >= 0;
        kvplat::CloseFile(fd);
        fd = -1;
        std::remove(path.c_str());
        if (noMemory) KVELO_THROW(1001);
        KVELO_THROW(4);
      }
    }
    m_dataFileName = wide;
    m_dataFileFd = fd;
    _setDataFileSize(size);
  } catch (C_KveloException& e) {
    try {
      C_MessageTool::HandleMessage(e, MessageToolEnums::TYPE_ERROR, MessageToolEnums::LEVEL_PUBLIC);
    } catch (...) {
    }
    forget();
    throw;
  } catch (...) {
    forget();
    throw;
  }
}

void C_WorkSpace::_setDataFileSize(unsigned long long size) {
  C_Trace trace("C_WorkSpace::_setDataFileSize", __FILE__, __LINE__);
  if (size == m_workSpaceSize) return;
  if (size > kMaxFileSize) KVELO_THROW(9);
  if (!kvplat::ResizeFileReserved(m_dataFileFd, static_cast<long long>(size))) KVELO_THROW_R(24, 100);
  m_workSpaceSize = size;
}

int C_WorkSpace::_RemoveDataFile(bool raise) {
  C_Trace trace("C_WorkSpace::_RemoveDataFile", __FILE__, __LINE__);
  if (!m_memOwner) return 0;
  if (m_dataFileFd < 0 && m_dataFileName.empty()) return 0;
  // The file is deleted even when closing fails, so that a failure leaves no file behind;
  // the close failure is still reported first.
  int closeErr = 0;
  if (m_dataFileFd >= 0) {
    if (kvplat::CloseFile(m_dataFileFd) != 0) closeErr = errno ? errno : EIO;
    m_dataFileFd = -1;  // the descriptor is gone even when close reports an error
  }
  int unlinkErr = 0;
  if (!m_dataFileName.empty()) {
    const std::string path = NarrowName(m_dataFileName);
    if (path.empty() || std::remove(path.c_str()) != 0) {
      unlinkErr = errno ? errno : ENOENT;
    } else {
      m_dataFileName.clear();
      m_workSpaceSize = 0;
    }
  }
  if (closeErr) {
    if (!raise) return -1;
    errno = closeErr;
    KVELO_THROW_R(27, 100);
  }
  if (unlinkErr) {
    if (!raise) return -1;
    errno = unlinkErr;
    KVELO_THROW_R(26, 100);
  }
  return 0;
}

int C_WorkSpace::AddNewBlock(unsigned long long size, int& status) {
  if (size == 0) {
    status = -1;
    return -1;
  }
  // Room for a split-off block is made before anything changes.
  MakeRoomForBlock(m_blockSizes, m_blockOffsets, m_blockMappings);

  for (auto it = m_freeBlocks.begin(); it != m_freeBlocks.end(); ++it) {
    const int b = *it;
    const std::size_t k = static_cast<std::size_t>(b);
    if (m_blockSizes[k] < size) continue;
    const unsigned long long rest = m_blockSizes[k] - size;
    // The split-off rest enters the free set first, under the number it is about to get: that
    // insertion is the one step that can fail (no memory), and nothing has changed before it.
    if (rest > 0) kvrt::Or1001([&] { m_freeBlocks.insert(m_blockCount); });
    m_freeBlocks.erase(it);
    m_usedSize += size;
    m_blockSizes[k] = size;
    if (rest > 0) AppendBlock(rest, m_blockOffsets[k] + size);  // room was made above
    status = 0;
    return b;
  }

  // No free block fits: the area grows by the request at its end.
  const unsigned long long oldSize = m_workSpaceSize;
  if (m_coreMode == OUTOFCORE) {
    if (size > ULLONG_MAX - oldSize) KVELO_THROW(9);
    _setDataFileSize(oldSize + size);
  } else {
    const unsigned long long newSize = size > ULLONG_MAX - oldSize ? 0 : oldSize + size;
    void* area = nullptr;
    if (newSize != 0) {
      area = m_inCore ? kvelomem_realloc(m_inCore, static_cast<size_t>(newSize), "C_WorkSpace::AddNewBlock", 0,
                                         __FILE__, __LINE__)
                      : kvelomem_calloc(1, static_cast<size_t>(newSize), "C_WorkSpace::AddNewBlock", 0, __FILE__,
                                        __LINE__);
    }
    if (!area) {
      status = -1;
      KVELO_THROW(1);
    }
    m_inCore = area;
    m_workSpaceSize = newSize;
  }
  const int b = AppendBlock(size, oldSize);
  m_usedSize += size;
  status = 0;
  return b;
}

int C_WorkSpace::FreeBlock(int block) {
  if (!ValidBlock(block) || m_freeBlocks.count(block)) return 0;
  if (m_coreMode == OUTOFCORE) UnMapBlock(block);
  kvrt::Or1001([&] { m_freeBlocks.insert(block); });
  m_usedSize -= m_blockSizes[static_cast<std::size_t>(block)];
  return 0;
}

void* C_WorkSpace::MapBlock(int block, int& status) {
  if (!ValidBlock(block)) return nullptr;
  const std::size_t k = static_cast<std::size_t>(block);
  if (m_coreMode == INCORE) {
    status = 0;
    return m_inCore ? static_cast<char*>(m_inCore) + m_blockOffsets[k] : nullptr;
  }
  // Mapping a mapped block again would strand its first view.
  if (IsMapped(block)) {
    status = 0;
    return m_blockMappings[k]->address;
  }
  status = 0;
  MMAP_HANDLE* h = kvelo_mmap(m_blockMappings[k], m_dataFileFd, m_dataFileName.c_str(), 2, m_blockOffsets[k],
                              m_blockSizes[k], "C_WorkSpace::MapBlock", __FILE__, __LINE__, &status);
  if (status != 0 || !h) {
    status = -1;
    KVELO_THROW_R(13, 100);
  }
  m_blockMappings[k] = h;
  return h->address;
}

int C_WorkSpace::UnMapBlock(int block) {
  if (!ValidBlock(block) || m_coreMode == INCORE) return 0;
  const std::size_t k = static_cast<std::size_t>(block);
  MMAP_HANDLE* h = m_blockMappings[k];
  if (!h) return 0;
  if (h->state == 'Y') {
    int st = 0;
    kvelo_munmap(h, "C_WorkSpace::UnMapBlock", __FILE__, __LINE__, &st);
    if (st != 0) KVELO_THROW_R(14, 100);
  }
  kvelomem_free(h, __FILE__, __LINE__);
  m_blockMappings[k] = nullptr;
  return 0;
}

int C_WorkSpace::UnMapAllBlocks() {
  if (m_coreMode == INCORE) return 0;
  for (int b = 0; b < m_blockCount; ++b) UnMapBlock(b);
  return 0;
}

void* C_WorkSpace::AdrBlock(int block, int&) {
  if (!ValidBlock(block)) return nullptr;
  const std::size_t k = static_cast<std::size_t>(block);
  if (m_coreMode == INCORE) return m_inCore ? static_cast<char*>(m_inCore) + m_blockOffsets[k] : nullptr;
  return IsMapped(block) ? m_blockMappings[k]->address : nullptr;
}

unsigned long long C_WorkSpace::AdrBlockOnFile(int block, int&) {
  if (!ValidBlock(block) || m_coreMode == INCORE) return 0;
  return m_blockOffsets[static_cast<std::size_t>(block)];
}

unsigned long long C_WorkSpace::BlockSize(int block) {
  if (!ValidBlock(block)) return 0;
  return m_blockSizes[static_cast<std::size_t>(block)];
}

unsigned long long C_WorkSpace::getMappedSize() const {
  unsigned long long total = 0;
  for (int b = 0; b < m_blockCount; ++b) {
    if (IsMapped(b)) total += m_blockSizes[static_cast<std::size_t>(b)];
  }
  return total;
}

int C_WorkSpace::Release() {
  if (m_coreMode == INCORE) {
    if (m_memOwner && m_inCore) {
      kvelomem_free(m_inCore, __FILE__, __LINE__);
      m_inCore = nullptr;
    }
    return 0;
  }
  for (int b = 0; b < m_blockCount; ++b) {
    if (!IsMapped(b)) continue;
    int st = 0;
    kvelo_munmap(m_blockMappings[static_cast<std::size_t>(b)], "C_WorkSpace::Release", __FILE__, __LINE__, &st);
    if (st != 0) KVELO_THROW_R(14, 100);
  }
  if (_RemoveDataFile(true) == -1) {
    fct_Trace("aff_lieu", __LINE__, __FILE__);
    return -1;
  }
  return 0;
}

void C_WorkSpace::Info(FILE* file) {
  if (!file) KVELO_THROW(12);
  int mapped = 0;
  for (int b = 0; b < m_blockCount; ++b) {
    if (IsMapped(b)) ++mapped;
  }
  unsigned long long freeSize = 0;
  for (int b : m_freeBlocks) freeSize += m_blockSizes[static_cast<std::size_t>(b)];

  std::fprintf(file, "\n==============================\nC_WorkSpace Information\n==============================\n\n");
  std::fprintf(file, " . Core Mode                : %s\n", m_coreMode == INCORE ? "INCORE" : "OUTOFCORE");
  if (m_coreMode == OUTOFCORE) {
    std::fprintf(file, " . File Name                : %s\n", NarrowName(m_dataFileName).c_str());
  }
  std::fprintf(file, " . Total Size               : %ld\n", static_cast<long>(m_workSpaceSize));
  std::fprintf(file, " . Used Size                : %ld\n", static_cast<long>(m_usedSize));
  // A released data file leaves a size of 0 under blocks still counted as used: nothing is
  // free then, rather than a negative amount.
  const unsigned long long unused = m_workSpaceSize > m_usedSize ? m_workSpaceSize - m_usedSize : 0;
  std::fprintf(file, " . Free Size                : %ld\n", static_cast<long>(unused));
  std::fprintf(file, " . Number of Blocks         : %d\n", m_blockCount);
  std::fprintf(file, " . Number of MappedBlocks   : %d (Size = %ld)\n", mapped, static_cast<long>(getMappedSize()));
  std::fprintf(file, " . Number of Free Blocks    : %d ( Size = %ld)\n", static_cast<int>(m_freeBlocks.size()),
               static_cast<long>(freeSize));
}

}  // namespace Kvelo
