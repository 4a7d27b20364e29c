/* C_bfd.h: typed arrays in portable binary files. An array on disk is its n elements back to
 * back (a complex element as its real then its imaginary part), with no count or header, in
 * the byte order the caller chooses: bigEndian true gives a big-endian file (the same bytes
 * as the BF_* writers), false a little-endian file, whatever the host.
 * Instances exist for char, int, long long, float, double, std::complex<float> and
 * std::complex<double>. Results: 0 on success, -1 on failure; bad arguments are also marked
 * with fct_Trace("aff_lieu", line, "src/C_bfd"); short transfers are not traced. */
#ifndef KVELO_C_BFD_H
#define KVELO_C_BFD_H

#include "kvelo_export.h"

#include <climits>
#include <complex>
#include <cstdio>

/* Cuts a count n into blocks of at most maxBlock: nBlocks blocks, all of blockSize but the
 * last of lastBlockSize. n <= 0 gives one block of n; n = maxBlock + 1 gives maxBlock and 1.
 * Returns false (one block of n) when maxBlock <= 0 or the block count exceeds INT_MAX. */
inline bool SplitCountInBlocks(long long n, long long maxBlock, int& nBlocks, long long& blockSize,
                               long long& lastBlockSize) {
  nBlocks = 1;
  blockSize = n;
  lastBlockSize = n;
  if (maxBlock <= 0) return false;
  if (n <= maxBlock) return true;
  const long long count = n / maxBlock + (n % maxBlock > 0 ? 1 : 0);
  if (count > INT_MAX) return false;
  nBlocks = static_cast<int>(count);
  blockSize = maxBlock;
  lastBlockSize = n - maxBlock * (count - 1);
  return true;
}

/* Writes n elements of data to descriptor fd or stream f. The int-count forms refuse n <= 0;
 * the long long forms write nothing and return 0 for n = 0, refuse n < 0, and go in blocks of
 * floor((2^31-1)/sizeof(element)) elements, stopping at the first block that fails. Data
 * wider than a byte is byte-reversed through a stack area when the file order is not the
 * host's; the caller's array is never changed. */
template <typename T>
KVELO_API int T_BF_write(int fd, const T* data, int n, bool bigEndian);
template <typename T>
KVELO_API int T_BF_write(int fd, const T* data, long long n, bool bigEndian);
template <typename T>
KVELO_API int T_BF_write(FILE* f, const T* data, int n, bool bigEndian);
template <typename T>
KVELO_API int T_BF_write(FILE* f, const T* data, long long n, bool bigEndian);

/* Reads n elements into data (declared const, filled all the same: pass a writable array of n
 * elements) and brings them to host order. Counts as for T_BF_write; a file that ends first
 * gives -1 and leaves in data the bytes that arrived, not all of them brought to host order:
 * no values to use. Reading char from a descriptor with a flag that asks for
 * reversal (true on a little-endian host) throws C_KveloException code 2871 after the read;
 * the stream form for char ignores the flag. */
template <typename T>
KVELO_API int T_BF_read(int fd, const T* data, int n, bool bigEndian);
template <typename T>
KVELO_API int T_BF_read(int fd, const T* data, long long n, bool bigEndian);
template <typename T>
KVELO_API int T_BF_read(FILE* f, const T* data, int n, bool bigEndian);
template <typename T>
KVELO_API int T_BF_read(FILE* f, const T* data, long long n, bool bigEndian);

#endif
