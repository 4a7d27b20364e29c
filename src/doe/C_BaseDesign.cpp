// C_BaseDesign.cpp: the design of experiments: a design matrix of points (rows) over the
// input variables (columns), normalised from coded levels, printed, and grown by specific,
// central and greedy maximin random points.
#include "C_BaseDesign.h"

#include <cfloat>
#include <cstdarg>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include "C_CallStack.h"
#include "C_MatMGe.h"
#include "C_MessageTool.h"
#include "C_RandNum.h"
#include "C_VecPi.h"
#include "erreur.h"
#include "runtime/shown_line.h"

namespace Kvelo {

namespace {

const char kSource[] = "C_BaseDesign";
const double kFar = 1e30;  // distance to an empty set of points

// Prints an information line of the design (verbosity 3, all streams) under the given scope,
// its text fmt printf-formatted; only when shown, and never failing (runtime/shown_line.h): a
// progress line that cannot be had leaves the design's operation whole.
void ShowLine(const char* function, int line, MessageToolEnums::E_DebugScope_enum scope,
              const char* fmt, ...) noexcept {
  va_list ap;
  va_start(ap, fmt);
  kvrt::PrintShownLine(
      [&] {
        return C_KveloMessage(function, kSource, line, MessageToolEnums::TYPE_INFORMATION,
                              MessageToolEnums::LEVEL_INTERNAL, scope,
                              MessageToolEnums::STREAM_ALL);
      },
      [&](C_KveloMessage& msg) { msg.Set(fmt, &ap); });
  va_end(ap);
}

// Print format of one value, chosen by the number of levels and the sign of the value.
const char* ValueFormat(int nbLevels, double x) {
  const bool blank = x >= 0;  // NaN takes the format without the blank
  if (nbLevels < 0) return blank ? " %.1lf%s" : "%.1lf%s";
  if (nbLevels < 10) return blank ? " %4.2lf%s" : "%4.2lf%s";
  if (nbLevels < 100) return blank ? " %4.1lf%s" : "%4.1lf%s";
  if (nbLevels < 1000) return blank ? " %5.1lf%s" : "%5.1lf%s";
  return blank ? " %.1lf%s" : "%.1lf%s";
}

// The C matrix library keeps its status word (and, when switched on, its memory accounting)
// process-wide and unguarded. Designs in different threads take turns on it, so that one
// design's failure is never read as another's success or failure. Never destroyed: a design
// that outlives the other statics still frees its matrix under it.
std::mutex& CMatrixLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

MAT* ResizeMatrix(const char* name, MAT* A, int m, int n, int line, int* status) {
  std::lock_guard<std::mutex> hold(CMatrixLock());
  return _LM_m_resize(name, 0, A, m, n, line, name, status);
}

VEC* GetVector(const char* name, int dim, int line, int* status) {
  std::lock_guard<std::mutex> hold(CMatrixLock());
  return _LM_v_get(name, 0, dim, line, name, status);
}

void FreeVector(VEC* x) {
  std::lock_guard<std::mutex> hold(CMatrixLock());
  v_free(x);
}

void FreeMatrix(MAT* A) {
  std::lock_guard<std::mutex> hold(CMatrixLock());
  m_free(A);
}

// Rows and columns of the counted part that the matrix really has.
unsigned CountedRows(const MAT* A, int nbPoints) {
  if (A == nullptr || nbPoints <= 0) return 0;
  return static_cast<unsigned>(nbPoints) < A->m ? static_cast<unsigned>(nbPoints) : A->m;
}
unsigned CountedCols(const MAT* A, int nbVar) {
  if (A == nullptr || nbVar <= 0) return 0;
  return static_cast<unsigned>(nbVar) < A->n ? static_cast<unsigned>(nbVar) : A->n;
}

// x -> lo + x * (hi - lo) / (levels - 1) (lo + x below two levels). Near the top of the range
// the width hi - lo, or the scale times x, may overflow though the image is finite: the map is
// then formed on the halved bounds and doubled back, both exact, so that level 0 still gives lo
// and the last level hi. Near the bottom the scale may fall below the normal range and lose the
// digits the width has: the width times x is then divided by the steps instead.
class LevelMap {
 public:
  LevelMap(double lo, double hi, int levels)
      : lo_(lo), width_(1.0), steps_(1.0), scale_(1.0), hlo_(lo / 2) {
    if (levels < 2) return;
    steps_ = static_cast<double>(levels - 1);
    width_ = hi - lo;
    scale_ = width_ / steps_;
    // Halved, the width and the scale always fit the double range.
    hscale_ = (hi / 2 - lo / 2) / steps_;
    // A scale below the normal range has lost digits the width still has.
    tiny_ = width_ != 0 && std::fabs(scale_) < DBL_MIN;
  }
  // The image of x, on the halved map whenever an intermediate of the plain one overflows
  // (a wide span, or a scale times x beyond the range while the sum is not): exact halving
  // and doubling give the same image wherever the plain map has one.
  double operator()(double x) const {
    if (std::isfinite(width_)) {
      double v = lo_ + scale_ * x;
      if (tiny_) {
        const double w = width_ * x;
        if (std::isfinite(w)) v = lo_ + w / steps_;
      }
      if (std::isfinite(v) || !std::isfinite(x)) return v;
    }
    return 2 * (hlo_ + hscale_ * x);
  }

 private:
  double lo_;
  double width_;
  double steps_;
  double scale_;
  double hlo_;
  double hscale_ = 0.5;  // below two levels: x -> lo + x, halved
  bool tiny_ = false;
};

// Whether every value of the first cols columns of A's rows is finite.
bool AllFinite(const MAT* A, unsigned cols) {
  if (A == nullptr) return true;
  for (unsigned i = 0; i < A->m; ++i)
    for (unsigned k = 0; k < cols; ++k)
      if (!std::isfinite(A->me[i][k])) return false;
  return true;
}

}  // namespace

C_BaseDesign::C_BaseDesign(int nvar, int nlevels)
    : NbVar(nvar), NbLevels(nlevels), NbPoints(0), DesignMatrix(nullptr), Normalized(false) {}

C_BaseDesign::~C_BaseDesign() {
  NbVar = 0;
  NbLevels = 0;
  NbPoints = 0;
  if (DesignMatrix != nullptr) FreeMatrix(DesignMatrix);
  DesignMatrix = nullptr;
}

MessageToolEnums::E_DebugScope_enum C_BaseDesign::GetDebugScope() {
  return MessageToolEnums::SCOPE_DESIGN;
}

int C_BaseDesign::AllocateDesignMatrix(int n) {
  static const char kName[] = "C_BaseDesign::AllocateDesignMatrix";
  C_Trace trace(kName, kSource, __LINE__);
  int status = 0;
  MAT* A = ResizeMatrix(kName, DesignMatrix, n, NbVar, __LINE__, &status);
  if (status != 0 || A == nullptr) {
    fct_Trace("aff_lieu", __LINE__, kSource);
    return -1;
  }
  DesignMatrix = A;
  return 0;
}

MAT* C_BaseDesign::getDesignMatrix() {
  C_Trace trace("C_BaseDesign::getDesignMatrix", kSource, __LINE__);
  return DesignMatrix;
}

void C_BaseDesign::Normalize(double lo, double hi, int* err) {
  C_Trace trace("C_BaseDesign::Normalize", kSource, __LINE__);
  // A bound that is not finite would turn every value into NaN or an infinity.
  if ((lo > hi && !Normalized) || !std::isfinite(lo) || !std::isfinite(hi)) {
    if (err != nullptr) *err = -1;
    return;
  }
  if (DesignMatrix == nullptr) return;
  const LevelMap map(lo, hi, NbLevels);
  const unsigned rows = CountedRows(DesignMatrix, NbPoints);
  const unsigned cols = CountedCols(DesignMatrix, NbVar);
  // All or nothing: a finite value whose image leaves the double range refuses the whole map
  // before any value changes. A value already NaN or infinite is carried through.
  for (unsigned i = 0; i < rows; ++i)
    for (unsigned k = 0; k < cols; ++k) {
      const double x = DesignMatrix->me[i][k];
      if (std::isfinite(x) && !std::isfinite(map(x))) {
        if (err != nullptr) *err = -1;
        return;
      }
    }
  for (unsigned i = 0; i < rows; ++i)
    for (unsigned k = 0; k < cols; ++k) DesignMatrix->me[i][k] = map(DesignMatrix->me[i][k]);
  Normalized = true;
}

void C_BaseDesign::Print(FILE* file) {
  C_Trace trace("C_BaseDesign::Print", kSource, __LINE__);
  if (file == nullptr) return;
  fprintf(file, "\n");
  const unsigned rows = CountedRows(DesignMatrix, NbPoints);
  const unsigned cols = CountedCols(DesignMatrix, NbVar);
  for (unsigned i = 0; i < rows; ++i) {
    for (unsigned k = 0; k < cols; ++k) {
      const double x = DesignMatrix->me[i][k];
      fprintf(file, ValueFormat(NbLevels, x), x, k + 1 < cols ? " " : "\n");
    }
  }
}

bool C_BaseDesign::AddSpecificPoint(VEC* point, int pos, int* err) {
  static const char kName[] = "C_BaseDesign::AddSpecificPoint";
  C_Trace trace(kName, kSource, __LINE__);
  int local = 0;
  int* st = err != nullptr ? err : &local;
  if (point == nullptr || DesignMatrix == nullptr) {
    *st = -1;
    return false;
  }
  const unsigned m = DesignMatrix->m;
  const unsigned c = DesignMatrix->n;
  const unsigned at = pos < 0 ? 0u : (static_cast<unsigned>(pos) >= m ? m : static_cast<unsigned>(pos));
  if (point->dim != c || static_cast<int64_t>(m) + 1 > INT_MAX || (c > 0 && point->ve == nullptr)) {
    *st = -1;
    return false;
  }
  // A coordinate that is not finite is no place in the space of the variables: it would
  // never compare equal, and every distance to it would be NaN or infinite.
  for (unsigned k = 0; k < c; ++k)
    if (!std::isfinite(point->ve[k])) {
      *st = -1;
      return false;
    }

  static const char kLine[] = "[BASE DOE] : Ajout d'un point au plan d'experience : %s";
  for (unsigned i = 0; i < m; ++i) {
    bool same = true;
    for (unsigned k = 0; k < c && same; ++k) same = DesignMatrix->me[i][k] == point->ve[k];
    if (same) {
      ShowLine(kName, __LINE__, GetDebugScope(), kLine, "Point deja present -> rejete");
      *st = 0;
      return false;
    }
  }

  MAT* A = ResizeMatrix(kName, DesignMatrix, static_cast<int>(m) + 1, static_cast<int>(c), __LINE__, st);
  if (*st != 0 || A == nullptr) {
    *st = -1;
    return false;
  }
  DesignMatrix = A;
  for (unsigned i = m; i > at; --i) std::memcpy(A->me[i], A->me[i - 1], c * sizeof(double));
  std::memcpy(A->me[at], point->ve, c * sizeof(double));

  NbPoints = static_cast<int>(m) + 1;
  *st = 0;
  char added[64];
  std::snprintf(added, sizeof added, "Point ajoute. (Nb = %d)", NbPoints);
  ShowLine(kName, __LINE__, GetDebugScope(), kLine, added);
  return true;
}

bool C_BaseDesign::AddCentralPoint(int pos, int* err) {
  static const char kName[] = "C_BaseDesign::AddCentralPoint:1";
  C_Trace trace(kName, kSource, __LINE__);
  if (err == nullptr) return false;
  ShowLine(kName, __LINE__, GetDebugScope(), "[BASE DOE] : Ajout du point central");
  VEC* centre = GetVector(kName, NbVar, __LINE__, err);
  if (*err != 0 || centre == nullptr) {
    *err = -1;
    return false;
  }
  // The status of the insertion is passed on: a failure is not reported as success.
  const bool added = AddSpecificPoint(centre, pos, err);
  FreeVector(centre);
  return added;
}

bool C_BaseDesign::AddCentralPoint(int* err) {
  C_Trace trace("C_BaseDesign::AddCentralPoint:2", kSource, __LINE__);
  return AddCentralPoint(0, err);
}

int C_BaseDesign::AugmentDesign(char method, int n, MAT* target) {
  C_Trace trace("C_BaseDesign::AugmentDesign", kSource, __LINE__);
  if (method != 'R' && method != 'r') return -1;
  return AddRandomPoints(n, -1.0, 1.0, target);
}

int C_BaseDesign::AddRandomPoints(int n, double lo, double hi, MAT* target) {
  static const char kName[] = "C_BaseDesign::AddRandomPoints";
  C_Trace trace(kName, kSource, __LINE__);
  (void)lo;  // the candidates always come from (-1, 1)
  (void)hi;
  if (target != nullptr &&
      (n < 0 || target->m != static_cast<unsigned>(n) || target->n != static_cast<unsigned>(NbVar)))
    return -1;
  if (n < 0 || NbVar < 1 || (DesignMatrix != nullptr && DesignMatrix->n != static_cast<unsigned>(NbVar))) {
    fct_Trace("aff_lieu", __LINE__, kSource);
    return -1;
  }
  if (n == 0) return 0;  // nothing to choose; the design stays as it is
  // A design value that is not finite makes every distance to its row NaN or infinite, and
  // the choice meaningless; a design grown past INT_MAX rows cannot be addressed.
  const int designRows = DesignMatrix != nullptr ? static_cast<int>(DesignMatrix->m) : 0;
  if (!AllFinite(DesignMatrix, static_cast<unsigned>(NbVar)) ||
      (target == nullptr && static_cast<int64_t>(designRows) + n > INT_MAX)) {
    fct_Trace("aff_lieu", __LINE__, kSource);
    return -1;
  }

  const MessageToolEnums::E_DebugScope_enum scope = GetDebugScope();
  ShowLine(kName, __LINE__, scope, "[BASE DOE] : Appel a %s", kName);

  C_RandNum rng;
  if (rng.Init(E_SeedGiven, 1u) != 0) {
    fct_Trace("aff_lieu", __LINE__, kSource);
    return -1;
  }
  rng.SetRangeValue(-1.0, 1.0);

  const int K = static_cast<int>(std::sqrt(static_cast<double>(NbVar)) * 10000.0);
  // Only the K candidates need room. Storage the containers refuse (too many values, no
  // memory) fails the call like any other failure, before the design changes.
  C_MatMGe<double> cand(0, 0);
  C_VecPi<double, int, C_PtrInCore<double, int>> dist(0);
  try {
    cand.Resize(NbVar, K);
    dist.Resize(K);
  } catch (C_KveloException& e) {
    C_MessageTool::HandleMessage(e, MessageToolEnums::TYPE_ERROR, MessageToolEnums::LEVEL_PUBLIC);
    fct_Trace("aff_lieu", __LINE__, kSource);
    return -1;
  } catch (const std::bad_alloc&) {
    fct_Trace("aff_lieu", __LINE__, kSource);
    return -1;
  }
  ShowLine(kName, __LINE__, scope,
           "[BASE DOE] : On genere %d points random dans l'espace des variables", K);

  for (int i = 0; i < K; ++i) {
    double* c = cand.col[i];
    if (rng.GetRandNum(NbVar, c) != 0) {
      fct_Trace("aff_lieu", __LINE__, kSource);
      return -1;
    }
    if (NbLevels == 2)
      for (int k = 0; k < NbVar; ++k) c[k] = c[k] >= 0 ? 1.0 : -1.0;
    dist[i] = ComputeDistMin(0, designRows, c, DesignMatrix);
  }

  MAT* dest = target;
  int f = 0;
  if (dest == nullptr) {
    f = designRows;
    int status = 0;
    MAT* A = ResizeMatrix(kName, DesignMatrix, f + n, NbVar, __LINE__, &status);
    if (status != 0 || A == nullptr) {
      fct_Trace("aff_lieu", __LINE__, kSource);
      return -1;
    }
    DesignMatrix = A;
    dest = A;
    // Every row of the grown matrix is a point of the design.
    NbPoints = static_cast<int>(A->m);
  }
  ShowLine(kName, __LINE__, scope, "[BASE DOE] : On selectionne les %d points les mieux places",
           n);

  for (int h = 0; h < n; ++h) {
    const int pick = dist.IMax(0, K - 1);
    ShowLine(kName, __LINE__, scope, "[BASE DOE] : Pt %d : distance = %f", h, dist[pick]);
    const int row = f + h;
    std::memcpy(dest->me[row], cand.col[pick], static_cast<size_t>(NbVar) * sizeof(double));
    for (int j = 0; j < K; ++j) {
      const double d = ComputeDistMin(row, row + 1, cand.col[j], dest);
      if (d < dist[j]) dist[j] = d;
    }
    dist[pick] = 0.0;
  }
  return 0;
}

double C_BaseDesign::ComputeDistMin(int first, int end, double* point, MAT* m) {
  if (m == nullptr || point == nullptr) return kFar;
  if (first < 0) first = 0;
  if (end > static_cast<int>(m->m)) end = static_cast<int>(m->m);
  if (first >= end) return kFar;
  // The far value stands for no rows only: a row farther than it (coordinates beyond 1e15)
  // keeps its own distance, so that such candidates are still told apart.
  double best = std::numeric_limits<double>::infinity();
  const unsigned cols = CountedCols(m, NbVar);
  for (int r = first; r < end; ++r) {
    double d = 0.0;
    const double* row = m->me[r];
    for (unsigned k = 0; k < cols; ++k) {
      const double t = row[k] - point[k];
      d += t * t;
    }
    // A NaN distance (a coordinate that is not a number) stays the result: a later finite
    // one must not replace it, or the row it came from would silently not count.
    if (d != d) return d;
    if (d < best) best = d;
  }
  return best;
}

}  // namespace Kvelo
