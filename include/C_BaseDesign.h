/* C_BaseDesign.h: a design of experiments: points in the space of the input variables, kept
 * as the rows of one C matrix record (one column per variable), with normalisation of coded
 * levels, printing, and the addition of specific, central and maximin random points.
 * Progress goes out as information messages (verbosity 3, debug scope GetDebugScope());
 * failures come back through the results and status arguments. A design is used by one
 * thread at a time; designs in different threads are independent (each draws from its own
 * generator, and their calls into the C matrix library take turns on its process-wide status
 * word), as long as no other thread calls the C matrix library meanwhile. */
#ifndef KVELO_C_BASEDESIGN_H
#define KVELO_C_BASEDESIGN_H

#include <stdio.h>

#include "C_KveloMessage.h"
#include "kvelo_export.h"
#include "matrix.h"

namespace Kvelo {

class KVELO_API C_BaseDesign : public C_KveloBase {
 public:
  int NbVar;          /* number of variables (matrix columns) */
  int NbLevels;       /* levels of each coded variable: scale, print format, snapping */
  int NbPoints;       /* points (matrix rows) that Print and Normalize cover */
  MAT* DesignMatrix;  /* the design matrix, owned; null until allocated */
  bool Normalized;    /* set once Normalize has run */

  /* A design of nvar variables and nlevels levels, with no matrix and no points. */
  C_BaseDesign(int nvar = 0, int nlevels = 0);
  /* The design owns its matrix: it is neither copied nor assigned. */
  C_BaseDesign(const C_BaseDesign&) = delete;
  C_BaseDesign& operator=(const C_BaseDesign&) = delete;
  /* Frees the design matrix and clears the counts. */
  virtual ~C_BaseDesign();

  /* Debug scope of the design's messages: 452 here; a derived design may choose its own. */
  virtual MessageToolEnums::E_DebugScope_enum GetDebugScope();

  /* Resizes the design matrix to n rows (0 taken as 1) by NbVar columns, keeping the common
   * part and zero-filling the rest (creates it when absent); NbPoints is not touched.
   * 0, or -1 after a trace mark when the resize fails (the matrix is then unchanged). */
  int AllocateDesignMatrix(int n);
  /* The design matrix (still owned by the design), or null. */
  MAT* getDesignMatrix();
  /* Maps every value x of the counted rows to lo + x * (hi - lo) / (NbLevels - 1) (scale 1
   * when NbLevels < 2; a width beyond the double range is no obstacle) and marks the design
   * normalised; NaN and infinite values stay so. *err = -1, nothing changed, for a bound that
   * is not finite, for lo > hi on a design not yet normalised, or when a finite value would
   * map outside the double range; *err is left alone otherwise. No matrix: no-op. */
  void Normalize(double lo, double hi, int* err);
  /* Writes "\n", then one line per counted row, values formatted by NbLevels. */
  void Print(FILE* file);
  /* Inserts a copy of point (NbVar values) as row pos (clamped to 0 .. rows) unless an equal
   * row exists; true when added (*err 0). A duplicate gives false with *err 0; a null point,
   * no matrix, a wrong dimension, a coordinate that is not finite or a failed resize give
   * false with *err -1 and the design unchanged. */
  bool AddSpecificPoint(VEC* point, int pos, int* err);
  /* AddSpecificPoint of the zero point at pos; *err holds its status (-1 also when the point
   * cannot be made). A null err gives false. */
  bool AddCentralPoint(int pos, int* err);
  /* AddCentralPoint at row 0. */
  bool AddCentralPoint(int* err);
  /* method 'R' or 'r': AddRandomPoints(n, -1, 1, target) and its result; -1 otherwise. */
  int AugmentDesign(char method, int n, MAT* target);

 protected:
  /* Chooses n maximin points among floor(sqrt(NbVar) * 10000) candidates drawn from MT19937
   * seed 1 in (-1, 1) (snapped to +-1 for two levels) and writes them into target (n x NbVar)
   * or appends them to the design matrix (NbPoints then counts every row). lo and hi are not
   * used. 0, or -1 with the design unchanged for a target of the wrong shape, n < 0,
   * NbVar < 1, a design matrix that does not have NbVar columns or holds a value that is not
   * finite, more rows than an int counts, candidates the containers cannot hold, or another
   * failure (trace mark). */
  int AddRandomPoints(int n, double lo, double hi, MAT* target);
  /* Smallest squared distance over the first NbVar coordinates between point and the rows
   * first .. end-1 of m (rows outside m are skipped), also when it exceeds 1e30; 1e30 when
   * there is no such row; NaN as soon as one distance is NaN; +inf where the squared distance
   * exceeds the double range. */
  double ComputeDistMin(int first, int end, double* point, MAT* m);
};

}  // namespace Kvelo

#endif
