// C_BaseDesign.cpp: the design of experiments: a design matrix of points (rows) over the
// input variables (columns), normalised from coded levels, printed, and grown by specific,
// central and greedy maximin random points.
#include "C_BaseDesign.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "C_CallStack.h"
#include "C_MatMGe.h"
#include "C_MessageTool.h"
#include "C_RandNum.h"
#include "C_VecPi.h"
#include "erreur.h"

namespace Kvelo {

namespace {

const char kSource[] = "C_BaseDesign";
const double kFar = 1e30;  // distance to an empty set of points

// An information message of the design (verbosity 3, all streams) under the given scope.
C_KveloMessage DesignMessage(const char* function, int line,
                             MessageToolEnums::E_DebugScope_enum scope) {
  return C_KveloMessage(function, kSource, line, MessageToolEnums::TYPE_INFORMATION,
                        MessageToolEnums::LEVEL_INTERNAL, scope, MessageToolEnums::STREAM_ALL);
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

// Rows and columns of the counted part that the matrix really has.
unsigned CountedRows(const MAT* A, int nbPoints) {
  if (A == nullptr || nbPoints <= 0) return 0;
  return static_cast<unsigned>(nbPoints) < A->m ? static_cast<unsigned>(nbPoints) : A->m;
}
unsigned CountedCols(const MAT* A, int nbVar) {
  if (A == nullptr || nbVar <= 0) return 0;
  return static_cast<unsigned>(nbVar) < A->n ? static_cast<unsigned>(nbVar) : A->n;
}

}  // namespace

C_BaseDesign::C_BaseDesign(int nvar, int nlevels)
    : NbVar(nvar), NbLevels(nlevels), NbPoints(0), DesignMatrix(nullptr), Normalized(false) {}

C_BaseDesign::~C_BaseDesign() {
  NbVar = 0;
  NbLevels = 0;
  NbPoints = 0;
  if (DesignMatrix != nullptr) m_free(DesignMatrix);
  DesignMatrix = nullptr;
}

MessageToolEnums::E_DebugScope_enum C_BaseDesign::GetDebugScope() {
  return MessageToolEnums::SCOPE_DESIGN;
}

int C_BaseDesign::AllocateDesignMatrix(int n) {
  static const char kName[] = "C_BaseDesign::AllocateDesignMatrix";
  C_Trace trace(kName, kSource, __LINE__);
  int status = 0;
  MAT* A = _LM_m_resize(kName, 0, DesignMatrix, n, NbVar, __LINE__, kName, &status);
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
  if (lo > hi && !Normalized) {
    if (err != nullptr) *err = -1;
    return;
  }
  if (DesignMatrix == nullptr) return;
  const double s = NbLevels >= 2 ? (hi - lo) / static_cast<double>(NbLevels - 1) : 1.0;
  const unsigned rows = CountedRows(DesignMatrix, NbPoints);
  const unsigned cols = CountedCols(DesignMatrix, NbVar);
  for (unsigned i = 0; i < rows; ++i)
    for (unsigned k = 0; k < cols; ++k) DesignMatrix->me[i][k] = lo + s * DesignMatrix->me[i][k];
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
  if (point->dim != c || static_cast<int64_t>(m) + 1 > INT_MAX) {
    *st = -1;
    return false;
  }

  C_KveloMessage msg = DesignMessage(kName, __LINE__, GetDebugScope());
  msg.Set("[BASE DOE] : Ajout d'un point au plan d'experience : ");
  for (unsigned i = 0; i < m; ++i) {
    bool same = true;
    for (unsigned k = 0; k < c && same; ++k) same = DesignMatrix->me[i][k] == point->ve[k];
    if (same) {
      msg.Append("Point deja present -> rejete");
      msg.Print();
      *st = 0;
      return false;
    }
  }

  MAT* A = _LM_m_resize(kName, 0, DesignMatrix, static_cast<int>(m) + 1, static_cast<int>(c), __LINE__,
                        kName, st);
  if (*st != 0 || A == nullptr) {
    *st = -1;
    return false;
  }
  DesignMatrix = A;
  for (unsigned i = m; i > at; --i) std::memcpy(A->me[i], A->me[i - 1], c * sizeof(double));
  std::memcpy(A->me[at], point->ve, c * sizeof(double));

  NbPoints = static_cast<int>(m) + 1;
  *st = 0;
  msg.Append("Point ajoute. (Nb = %d)", NbPoints);
  msg.Print();
  return true;
}

bool C_BaseDesign::AddCentralPoint(int pos, int* err) {
  static const char kName[] = "C_BaseDesign::AddCentralPoint:1";
  C_Trace trace(kName, kSource, __LINE__);
  if (err == nullptr) return false;
  DesignMessage(kName, __LINE__, GetDebugScope()).Print("[BASE DOE] : Ajout du point central");
  VEC* centre = _LM_v_get(kName, 0, NbVar, __LINE__, kName, err);
  if (*err != 0 || centre == nullptr) {
    *err = -1;
    return false;
  }
  // The status of the insertion is passed on: a failure is not reported as success.
  const bool added = AddSpecificPoint(centre, pos, err);
  v_free(centre);
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

  C_KveloMessage msg = DesignMessage(kName, __LINE__, GetDebugScope());
  const bool active = msg.IsActive();
  msg.Print("[BASE DOE] : Appel a %s", kName);

  C_RandNum rng;
  if (rng.Init(E_SeedGiven, 1u) != 0) {
    fct_Trace("aff_lieu", __LINE__, kSource);
    return -1;
  }
  rng.SetRangeValue(-1.0, 1.0);

  const int K = static_cast<int>(std::sqrt(static_cast<double>(NbVar)) * 10000.0);
  if (static_cast<int64_t>(n) + K > INT_MAX) {
    fct_Trace("aff_lieu", __LINE__, kSource);
    return -1;
  }
  C_MatMGe<double> cand(NbVar, n + K);
  C_VecPi<double, int, C_PtrInCore<double, int>> dist(n + K, 0.0);
  msg.Print("[BASE DOE] : On genere %d points random dans l'espace des variables", K);

  const int designRows = DesignMatrix != nullptr ? static_cast<int>(DesignMatrix->m) : 0;
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
    MAT* A = _LM_m_resize(kName, 0, DesignMatrix, f + n, NbVar, __LINE__, kName, &status);
    if (status != 0 || A == nullptr) {
      fct_Trace("aff_lieu", __LINE__, kSource);
      return -1;
    }
    DesignMatrix = A;
    dest = A;
    // Every row of the grown matrix is a point of the design.
    NbPoints = static_cast<int>(A->m);
  }
  msg.Print("[BASE DOE] : On selectionne les %d points les mieux places", n);

  for (int h = 0; h < n; ++h) {
    const int pick = dist.IMax(0, K - 1);
    if (active) msg.Print("[BASE DOE] : Pt %d : distance = %f", h, dist[pick]);
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
  double best = kFar;
  if (m == nullptr || point == nullptr) return best;
  if (first < 0) first = 0;
  if (end > static_cast<int>(m->m)) end = static_cast<int>(m->m);
  const unsigned cols = CountedCols(m, NbVar);
  for (int r = first; r < end; ++r) {
    double d = 0.0;
    const double* row = m->me[r];
    for (unsigned k = 0; k < cols; ++k) {
      const double t = row[k] - point[k];
      d += t * t;
    }
    if (!(d > best)) best = d;
  }
  return best;
}

}  // namespace Kvelo
