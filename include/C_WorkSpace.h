/* C_WorkSpace.h: one large area of bytes cut into numbered blocks, kept in core (one heap
 * area) or out of core (a data file, by default a new temporary file "KVTMP..." in $TMPDIR or
 * /tmp, whose blocks are mapped into memory on demand). Blocks are handed out first fit,
 * freed for reuse, never merged; a free block is split when a smaller request reuses it.
 *
 * Failures throw C_KveloException; reason 100 takes the reason from errno. Codes: 1 the
 * in-core area cannot grow; 4 no name for the data file; 9 a data file of 2^31 bytes or more;
 * 12 null FILE (Info); 13 a block cannot be mapped; 14 a block cannot be unmapped; 19 the
 * data file cannot be created; 24 it cannot be resized; 26 it cannot be deleted; 27 it
 * cannot be closed. A work space is a plain object: one thread at a time; the mapping table
 * it goes through (kvelo_mmap.h) is process-wide and not guarded. */
#ifndef KVELO_C_WORKSPACE_H
#define KVELO_C_WORKSPACE_H

#include "kvelo_export.h"
#include "C_KveloMessage.h"
#include "kvelo_mmap.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace Kvelo {

class KVELO_API C_WorkSpace : public C_KveloBase {
 public:
  enum E_CoreMode { INCORE = 1, OUTOFCORE = 2 };

  // An area of megabytes MiB in core, or in a new temporary data file out of core; an in-core
  // area that cannot be allocated makes the work space out of core for good. A non-empty area
  // starts as one free block 0. Throws 9 (out of core, 2048 MiB and more), 19, 24, 1001 (no
  // memory for the block table or the file's name); a data file whose creation or sizing
  // fails is reported as an error message and removed first.
  C_WorkSpace(E_CoreMode mode = INCORE, unsigned long long megabytes = 0);
  // Release(), then frees the block table and the mapping records; a failure of Release is
  // reported as an error message instead of leaving the destructor.
  ~C_WorkSpace() override;
  C_WorkSpace(const C_WorkSpace&) = delete;
  C_WorkSpace& operator=(const C_WorkSpace&) = delete;

  // A block of size bytes: the first free block (in number order) that is large enough, its
  // rest split off as a new free block; else a new block at the end, the area or the data
  // file growing by size (in core the area may move: earlier addresses are then stale).
  // Returns its number with status 0. A size of 0: -1 with status -1, nothing changes.
  // Throws 1 (status -1) when the in-core area cannot grow, 9 / 24 when the data file cannot,
  // C_KveloException 1001 when the block table cannot; a call that throws leaves every block,
  // size and the area as they were.
  int AddNewBlock(unsigned long long size, int& status);
  // Unmaps the block (out of core) and makes it free; 0. A block already free stays as it is.
  // 1001 when memory runs out for the free set: the block then stays in use (unmapped).
  int FreeBlock(int block);
  // Address of the block: in core in the area; out of core a read-write view of its bytes in
  // the data file (the existing view when it is already mapped). Throws 13 (status -1) when
  // the view cannot be made; null for a released area.
  void* MapBlock(int block, int& status);
  // Releases the view of an out-of-core block; 0 (also in core or when not mapped). Throws 14.
  int UnMapBlock(int block);
  // UnMapBlock on every mapped block in number order; 0. Throws 14 at the first failure.
  int UnMapAllBlocks();
  // In core the block's address in the area (null for a released area); out of core its
  // view, or null when it is not mapped. status is not used.
  void* AdrBlock(int block, int& status);
  // Out of core the block's offset in the data file; in core 0. status is not used.
  unsigned long long AdrBlockOnFile(int block, int& status);
  // The block's size in bytes.
  unsigned long long BlockSize(int block);
  // Sum of the sizes of the mapped blocks.
  unsigned long long getMappedSize() const;
  // Frees the in-core area, or unmaps every block and closes and deletes the data file; the
  // block table stays. 0, or -1 (after a trace mark) when the file cannot be removed.
  // Throws 14 when a block cannot be unmapped, 26 / 27 when the file cannot be deleted / closed,
  // 1001 when memory runs out for the file's name.
  int Release();
  // Text report: mode, file name (out of core), sizes, block counts. Throws 12 for null file.
  void Info(FILE* file);

  E_CoreMode getCoreMode() { return m_coreMode; }
  bool getMemOwner() const { return m_memOwner; }
  std::wstring getDataFileName();  // a copy, empty without data file; 1001 when it cannot be had
  int getDataFileDescriptor() { return m_dataFileFd; }        // -1 without data file
  unsigned long long getWorkSpaceSize() { return m_workSpaceSize; }

  // Every operation that takes a block number gives null or 0 and changes nothing for a
  // number that is negative or not below the block count.

 protected:
  // Kept for derived classes; returns 0 and is never called by the work space.
  virtual int _Reserved();
  // Closes and deletes the data file (memory owner only); the name becomes empty and the
  // work space size 0. 0; on failure -1, or with raise true throws 27 (close) / 26 (delete).
  virtual int _RemoveDataFile(bool raise);

 private:
  void CreateDataFile(const wchar_t* name, const char* prefix, unsigned long long size);
  void _setDataFileSize(unsigned long long size);
  bool ValidBlock(int block) const { return block >= 0 && block < m_blockCount; }
  bool IsMapped(int block) const;
  // Appends the table entries of a new block; returns its number.
  int AppendBlock(unsigned long long size, unsigned long long offset);

  E_CoreMode m_coreMode;
  bool m_memOwner;
  int m_blockCount;
  std::vector<unsigned long long> m_blockSizes;
  std::vector<unsigned long long> m_blockOffsets;
  std::vector<MMAP_HANDLE*> m_blockMappings;
  std::set<int> m_freeBlocks;
  unsigned long long m_workSpaceSize;
  unsigned long long m_usedSize;
  std::wstring m_dataFileName;
  int m_dataFileFd;
  void* m_inCore;
};

}  // namespace Kvelo

#endif
