/* kvelo_c.h: umbrella header of libkvelo.so for C hosts (C99 and later). It declares every
 * public C interface of the library: runtime services (heap, files, portable binary values,
 * keyword files, messages, timing, hash tables, lists, out-of-core memory), the BLAS/LAPACK
 * entry points and the C matrix library. kvelo.h includes it too; the classes (Kriging,
 * containers, design of experiments) need C++ and kvelo.h.
 * Process-wide state (C status word, memory accounting, mapping tables, the matrix library's
 * random stream) is unguarded: drive the library from one thread at a time. */
#ifndef KVELO_C_H
#define KVELO_C_H

#include "kvelo_export.h"
#include "kvelo_version.h"

/* Runtime: heap and system wrappers, portable binary files, keyword files and text lines. */
#include "kvelosys.h"
#include "bf.h"
#include "chaine.h"
/* Runtime: the C message interface and the C status word. */
#include "erreur.h"
/* Runtime: CPU and elapsed time, profiling blocks of the time manager. */
#include "kvelo_time.h"
/* Runtime: hash tables, memory-mapped and out-of-core memory, linked lists. */
#include "hash_util.h"
#include "kvelo_mmap.h"
#include "kvelomem_ooc.h"
#include "liste_chainee.h"

/* BLAS and LAPACK entry points. */
#include "ITF_blas_lapack.h"

/* C matrix library. */
#include "matrix.h"
#include "meminfo.h"
#include "zmatrix.h"
#include "matrix_bf.h"
#include "bvec.h"
#include "vmorse.h"
#include "vstruct.h"
#include "matwrap.h"

#endif
