/* Kriging.cpp: the Kriging model object Kriging<T> (T = double or complex<double>): construction
 * and defaults, counts, tolerances and options, sample data with their output groups and the
 * output range table, the kernel vector, readiness, and the getters of the fitted model. */
#include "Kriging.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <limits>
#include <new>

#include "kriging_refusal.h"
#include "kriging_util.h"
#include "kriging_work.h"

using namespace kriging_internal;

/* ======================================================================================= */
/* Construction, defaults, destruction                                                     */
/* ======================================================================================= */

/* The settings and counts take their defaults from InitKriging, the one place that states
 * them; the list gives only what it leaves alone, and the group sizes that it frees. */
template <class T>
Kriging<T>::Kriging()
    : VecGlobalSol(nullptr),
      KernVec(0),
      InpSampMtx(0, 0),
      OutSampMtx(0, 0),
      InpScaleVec(0),
      InpInterceptVec(0),
      OutScaleVec(0),
      OutInterceptVec(0),
      PolyCoeff(0, 0),
      CorrCoeff(0, 0),
      MaxNumIter(0),
      CorrMtx(0, 1),
      TrendFactor(0, 1),
      FtReady(false),
      FtTMtx(0, 0),
      ProcVarnc(0),
      OutRangeMtx(0, 0),
      GlobalRangeVec(0),
      MLE(0.0),
      MLEVec(0),
      PredErrMtx(0, 0),
      InpTestMtx(0, 0),
      InpTestSet(false),
      TestCorrMtx(0, 0),
      TestTrendMtx(0, 0),
      RescaleRequested(true),
      TestRelErrVec(0),
      WorkVec(0),
      WorkPtr(nullptr) {
  InitKriging();
}

template <class T>
Kriging<T>::~Kriging() {
  delete[] VecGlobalSol;
  VecGlobalSol = nullptr;
  delete WorkPtr;
  WorkPtr = nullptr;
}

template <class T>
typename Kriging<T>::Workspace& Kriging<T>::Work() {
  if (WorkPtr == nullptr) WorkPtr = NewObject<Workspace>();
  return *WorkPtr;
}

template <class T>
void Kriging<T>::ReleaseBuildWork() {
  if (WorkPtr == nullptr) return;
  /* The correlation matrix and the trial factor are as large as CorrMtx: besides CorrMtx, a
   * solved model keeps only the triangle it holds, in RFP storage (for predictor errors, and
   * lent to the next solve as its trial factor). */
  Workspace& w = *WorkPtr;
  w.R.storage.Release();
  w.R.rows = w.R.cols = 0;
  w.trial.Release();
  w.lsA.Release();
  w.lsB.Release();
  w.lsWork.Release();
  /* The copies kept for a failed fit are needed no longer. */
  w.savedCorrCoeff.Release();
  w.savedPolyCoeff.Release();
  w.savedFtTMtx.Release();
}

template <class T>
void Kriging<T>::SamplesChanged() {
  if (WorkPtr != nullptr) WorkPtr->ssValid = false;
}

template <class T>
void Kriging<T>::InitKriging() {
  KrigingStatus = KrigingInitial;
  NumSamp = 0;
  NumVar = 0;
  NumSol = 0;
  NumGlobalSol = 0;
  delete[] VecGlobalSol;
  VecGlobalSol = nullptr;
  NumKern = 0;
  KernOptType = KernOptNone;
  SolnType = SolDefault;
  CorrFuncType = CorrGaussian;
  PolynomType = PolyQuadratic;
  KernToEstimate = true;
  KernVarType = KernOneForAll;
  NewSamples = false;
  SolveRequired = true;
  InpSampSet = false;
  OutSampSet = false;
  ScalingType = ScaleNone;
  DropToler = 1e-8;
  NuggetEps = 1e-14;
  SolveCount = 0;
  Step = 1;
  PointToler = 1e-7;
  KernLoFactor = 0.01;
  KernUpFactor = 20.0;
  KeepPredErr = false;
  CorrStale = true;
  TrendStale = true;
}

/* ======================================================================================= */
/* Counts, tolerances and options                                                          */
/* ======================================================================================= */

template <class T>
int Kriging<T>::PutNumVar(const int& n) {
  if (n <= 0) return Refuse(kInputCountNotPositive);
  if (n == NumVar) return 0;
  NumVar = n;
  InpSampSet = false;
  KernToEstimate = true;
  CorrStale = true;
  TrendStale = true;
  WorkVec.Resize(n);
  NumKern = KernCount(KernVarType, n);
  return 0;
}

template <class T>
int Kriging<T>::GetNumVar(int& n) const {
  n = NumVar;
  return 0;
}

template <class T>
int Kriging<T>::PutNumSol(const int& total, const int& groups, int* sizes) {
  if (total <= 0) return Refuse(kOutputCountNotPositive);
  if (groups <= 0 || total < groups) return Refuse(kGroupCountOutOfRange);
  if (total == NumSol && groups == NumGlobalSol) return 0;
  /* One group, or one per output, needs no sizes; any other grouping is checked. */
  const bool given = (groups != total && groups != 1);
  if (given) {
    if (sizes == nullptr) return Refuse(kGroupSizesMissing);
    long long sum = 0;
    for (int g = 0; g < groups; ++g) {
      /* A negative group would make the output ranges walk outside the outputs. */
      if (sizes[g] < 0) return Refuse(kGroupSizeNegative);
      sum += sizes[g];
    }
    if (sum != total) return Refuse(kGroupSizesSum);
  }
  int* fresh = new (std::nothrow) int[groups];
  if (fresh == nullptr) return Refuse(kOutOfMemory);
  for (int g = 0; g < groups; ++g) fresh[g] = given ? sizes[g] : (groups == 1 ? total : 1);
  delete[] VecGlobalSol;
  VecGlobalSol = fresh;
  NumSol = total;
  NumGlobalSol = groups;
  OutSampSet = false;
  /* The group ranges belong to the outputs given under the former groups: none scales a
   * relative error until the outputs are given again. */
  GlobalRangeVec.Resize(0);
  return 0;
}

template <class T>
int Kriging<T>::GetNumSol(int& q) const {
  q = NumSol;
  return 0;
}

template <class T>
int Kriging<T>::PutDropToler(const double& tol) {
  if (!(tol > 0.0) || !(tol < 1.0)) return Refuse(kDropTolerOutOfRange);
  if (tol == DropToler) return 0;
  DropToler = tol;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
double Kriging<T>::GetDropToler() const {
  return DropToler;
}

template <class T>
int Kriging<T>::GetOptNumSamp(int& m) const {
  const long long n = NumVar;
  const long long count = (n + 1) * (n + 2) / 2;
  if (count > INT_MAX || count < INT_MIN) return Refuse(kOptSampleCountTooLarge);
  m = static_cast<int>(count);
  return 0;
}

template <class T>
int Kriging<T>::SetOptNumSamp() {
  int m = 0;
  const int res = GetOptNumSamp(m);
  if (res != 0) return res;
  if (m <= 0) return Refuse(kSampleCountNotPositive);
  return PutNumSamp(m);
}

template <class T>
int Kriging<T>::PutNumSamp(const int& m) {
  if (m <= 0) return Refuse(kSampleCountNotPositive);
  if (m == NumSamp) return 0;
  NumSamp = m;
  InpSampSet = false;
  OutSampSet = false;
  return 0;
}

template <class T>
int Kriging<T>::GetNumSamp(int& m) const {
  m = NumSamp;
  return 0;
}

template <class T>
int Kriging<T>::PutMaxNumIter(const int& k) {
  if (k <= 0) return Refuse(kIterLimitNotPositive);
  if (k == MaxNumIter) return 0;
  MaxNumIter = k;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
int Kriging<T>::GetMaxNumIter(int& k) const {
  k = MaxNumIter;
  return 0;
}

template <class T>
int Kriging<T>::PutSolnType(const E_KrigingSolType& t) {
  if (t == SolnType) return 0;
  SolnType = t;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_KrigingSolType Kriging<T>::GetSolnType() const {
  return SolnType;
}

template <class T>
int Kriging<T>::PutCorrFuncType(const E_CorrFuncType& t) {
  if (t == CorrFuncType) return 0;
  CorrFuncType = t;
  CorrStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_CorrFuncType Kriging<T>::GetCorrFuncType() const {
  return CorrFuncType;
}

template <class T>
int Kriging<T>::PutKrigingKernVarType(const E_KrigingKernVarType& t) {
  if (t == KernVarType) return 0;
  KernVarType = t;
  CorrStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
int Kriging<T>::GetKrigingKernVarType(E_KrigingKernVarType& t) const {
  t = KernVarType;
  return 0;
}

template <class T>
E_KrigingKernVarType Kriging<T>::GetKrigingKernVarType() const {
  return KernVarType;
}

template <class T>
int Kriging<T>::PutKrigingKernOptType(const E_KrigingKernOptType& t) {
  if (t == KernOptType) return 0;
  KernOptType = t;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_KrigingKernOptType Kriging<T>::GetKrigingKernOptType() const {
  return KernOptType;
}

template <class T>
int Kriging<T>::PutScalingType(const E_KrigingScalingType& t) {
  if (t == ScalingType) return 0;
  ScalingType = t;
  CorrStale = true;
  TrendStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_KrigingScalingType Kriging<T>::GetScalingType() const {
  return ScalingType;
}

template <class T>
int Kriging<T>::PutPolynomType(const E_KrigingPolynomType& t) {
  if (t == PolynomType) return 0;
  PolynomType = t;
  TrendStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
E_KrigingPolynomType Kriging<T>::GetPolynomType() const {
  return PolynomType;
}

template <class T>
int Kriging<T>::SetStep(const int& step) {
  if (step > 0) Step = step;
  return 0;
}

template <class T>
E_KrigingStatus Kriging<T>::GetKrigingStatus() const {
  return KrigingStatus;
}

/* ======================================================================================= */
/* Sample data and output ranges                                                           */
/* ======================================================================================= */

template <class T>
int Kriging<T>::PutInpSampMtx(C_MatMGe<T>& X) {
  const int rows = RowsOf(X), cols = ColsOf(X);
  if (rows <= 0 || cols <= 0) return Refuse(kInputsEmpty);
  /* A sample that is not a number would be kept and fail every later fit. */
  if (!AllFinite(X)) return Refuse(kSamplesNotFinite);
  /* The flag goes down first: an interrupted copy must not leave the old matrix looking
   * valid under the new counts. */
  InpSampSet = false;
  SamplesChanged();
  if (rows != NumSamp) OutSampSet = false;
  NumSamp = rows;
  NumVar = cols;
  WorkVec.Resize(cols);
  const int res = (InpSampMtx = X);
  if (res != 0) return res;
  InpSampSet = true;
  NewSamples = false;
  KrigingStatus = KrigingSolveRequired;
  CorrStale = true;
  TrendStale = true;
  return 0;
}

template <class T>
int Kriging<T>::GetInpSampMtx(C_MatMGe<T>& X) {
  if (!InpSampSet) return Refuse(kInputsNotGiven);
  if ((X = InpSampMtx) != 0) return Refuse(kContainerFailed);
  return 0;
}

template <class T>
int Kriging<T>::PutOutSampMtx(C_MatMGe<T>& Y) {
  if (RowsOf(Y) != NumSamp || ColsOf(Y) != NumSol) return Refuse(kOutputsShape);
  if (!AllFinite(Y)) return Refuse(kSamplesNotFinite);
  /* The ranges are made from Y before anything of the model changes: outputs whose ranges
   * cannot be made are refused with the model as it was. */
  C_MatMGe<double> table(0, 0);
  if (OutputRangeTable(Y, NumSol, table) != 0) return Refuse(kNoOutputRange);
  VecD groupRanges(0);
  if (!GroupRangesOf(table, VecGlobalSol, VecGlobalSol != nullptr ? NumGlobalSol : 0,
                     groupRanges))
    return Refuse(kOutputRangeBeyondRange);
  if ((OutSampMtx = Y) != 0) return Refuse(kContainerFailed);
  const int res = GetOutputGlobalRange(GlobalRangeVec);
  if (res != 0) return res;
  OutSampSet = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
int Kriging<T>::GetOutSampMtx(C_MatMGe<T>& Y) {
  if (!OutSampSet) return Refuse(kOutputsNotGiven);
  if ((Y = OutSampMtx) != 0) return Refuse(kContainerFailed);
  return 0;
}

namespace {

/* The first m rows of S (`cols` columns) with the rows of A below them, as a new matrix. */
template <class T>
inline C_MatMGe<T> WithRows(C_MatMGe<T>& S, int m, C_MatMGe<T>& A, int cols) {
  const int r = RowsOf(A);
  C_MatMGe<T> out(m + r, cols);
  for (int k = 0; k < cols; ++k) {
    std::copy(ColPtr(S, k), ColPtr(S, k) + m, ColPtr(out, k));
    std::copy(ColPtr(A, k), ColPtr(A, k) + r, ColPtr(out, k) + m);
  }
  return out;
}

}  // namespace

template <class T>
int Kriging<T>::AppendSampData(C_MatMGe<T>& X, C_MatMGe<T>& Y) {
  if (!InpSampSet) return Refuse(kInputsNotGiven);
  if (!OutSampSet) return Refuse(kOutputsNotGiven);
  const int r = RowsOf(X);
  if (r <= 0) return Refuse(kAppendEmpty);
  if (ColsOf(X) != NumVar) return Refuse(kAppendInputsWidth);
  if (RowsOf(Y) != r || ColsOf(Y) != NumSol) return Refuse(kAppendOutputsShape);
  const int m = NumSamp;
  if (static_cast<long long>(m) + r > INT_MAX) return Refuse(kAppendTooMany);
  /* A sample that is not a number would be kept and fail every later fit. */
  if (!AllFinite(X) || !AllFinite(Y)) return Refuse(kAppendNotFinite);
  const int n = NumVar, q = NumSol;
  /* Checked here, so that the range update after the append cannot refuse: the ranges
   * widened by the new rows must still have doubles. */
  if (RowsOf(OutRangeMtx) != q || ColsOf(OutRangeMtx) != 3) return Refuse(kRangeTableShape);
  {
    C_MatMGe<double> wide(0, 0);
    if ((wide = OutRangeMtx) != 0) return Refuse(kContainerFailed);
    WidenRangeTable(wide, Y);
    VecD widened(0);
    if (!GroupRangesOf(wide, VecGlobalSol, VecGlobalSol != nullptr ? NumGlobalSol : 0, widened))
      return Refuse(kOutputRangeBeyondRange);
  }

  /* Both grown sample sets are made aside; should the second install throw (memory), the
   * first is given back its former rows, so that a failed append appends nothing. */
  C_MatMGe<T> grownX = WithRows(InpSampMtx, m, X, n);
  C_MatMGe<T> grownY = WithRows(OutSampMtx, m, Y, q);
  SamplesChanged();
  InpSampMtx = grownX;
  try {
    OutSampMtx = grownY;
  } catch (...) {
    InpSampMtx.Resize(m, n);
    for (int k = 0; k < n; ++k)
      std::copy(ColPtr(grownX, k), ColPtr(grownX, k) + m, ColPtr(InpSampMtx, k));
    throw;
  }
  NumSamp = m + r;
  KrigingStatus = KrigingSolveRequired;
  NewSamples = true;
  return UpdateOutputRange(Y, GlobalRangeVec);
}

template <class T>
int Kriging<T>::EvalOutputRange(C_MatMGe<double>& table) {
  if (OutputRangeTable(OutSampMtx, NumSol, table) != 0) return Refuse(kNoOutputRange);
  return 0;
}

template <class T>
int Kriging<T>::EvalGroupRanges(VecD& groupRanges) {
  const int groups = (VecGlobalSol != nullptr) ? NumGlobalSol : 0;
  if (!GroupRangesOf(OutRangeMtx, VecGlobalSol, groups, groupRanges))
    return Refuse(kOutputRangeBeyondRange);
  return 0;
}

template <class T>
int Kriging<T>::UpdateOutputRange(C_MatMGe<T>& Ynew, VecD& groupRanges) {
  const int q = NumSol;
  if (RowsOf(OutRangeMtx) != q || ColsOf(OutRangeMtx) != 3 || ColsOf(Ynew) != q)
    return Refuse(kRangeTableShape);
  WidenRangeTable(OutRangeMtx, Ynew);
  return EvalGroupRanges(groupRanges);
}

template <class T>
int Kriging<T>::GetOutputGlobalRange(VecD& ranges) {
  /* Made aside: outputs whose group ranges have no double are refused with the range table
   * and ranges as they were. */
  C_MatMGe<double> table(0, 0);
  const int res = EvalOutputRange(table);
  if (res != 0) return res;
  VecD out(0);
  const int groups = (VecGlobalSol != nullptr) ? NumGlobalSol : 0;
  if (!GroupRangesOf(table, VecGlobalSol, groups, out)) return Refuse(kOutputRangeBeyondRange);
  if ((OutRangeMtx = table) != 0) return Refuse(kContainerFailed);
  if (ranges.Assign(out) != 0) return Refuse(kContainerFailed);
  return 0;
}

/* ======================================================================================= */
/* Kernel, readiness and getters                                                           */
/* ======================================================================================= */

template <class T>
int Kriging<T>::PutKernVec(VecD& theta) {
  /* The count is set only with the kernel: a refused kernel leaves the model as it was (a
   * solved model whose kernel length differs from what its parameterisation asks would
   * otherwise read its kernel through the wrong count). */
  const int count = KernCount(KernVarType, NumVar);
  if (theta.Dim() != count) return Refuse(kKernelCount);
  /* No fit makes a kernel value that is not a finite number above 0 (a negative one gives
   * correlations above 1), and none is taken: a model file must hold what a fit made. */
  if (!KernelValuesUsable(theta)) return Refuse(kKernelValue);
  KernVec.Assign(theta);
  NumKern = count;
  KernToEstimate = false;
  CorrStale = true;
  Demote(KrigingStatus);
  return 0;
}

template <class T>
int Kriging<T>::GetKernVec(VecD& theta) {
  theta.Assign(KernVec);
  return 0;
}

template <class T>
int Kriging<T>::CheckSampData() {
  if (InpSampSet && OutSampSet && NumSamp > 0 && NumVar > 0 && NumKern > 0 && NumSol > 0)
    return KrigingSolveRequired;
  return KrigingDataIncomplete;
}

template <class T>
int Kriging<T>::RefuseIncomplete() const {
  return Refuse(MissingData(InpSampSet, OutSampSet, NumSamp, NumVar, NumKern, NumSol));
}

template <class T>
int Kriging<T>::ReSolve() {
  KrigingStatus = static_cast<E_KrigingStatus>(CheckSampData());
  if (KrigingStatus != KrigingSolveRequired) return RefuseIncomplete();
  return Solve();
}

template <class T>
int Kriging<T>::GetNumGlobalSol(int& groups) const {
  groups = NumGlobalSol;
  return 0;
}

template <class T>
int* Kriging<T>::GetVecGlobalSol(int& err) {
  const int groups = (VecGlobalSol != nullptr && NumGlobalSol > 0) ? NumGlobalSol : 0;
  int* copy = new (std::nothrow) int[groups > 0 ? groups : 1];
  if (copy == nullptr) {
    err = 1;
    return nullptr;
  }
  for (int g = 0; g < groups; ++g) copy[g] = VecGlobalSol[g];
  err = 0;
  return copy;
}

template <class T>
int Kriging<T>::GetInpScaleVec(VecD& v) {
  v.Assign(InpScaleVec);
  return 0;
}

template <class T>
int Kriging<T>::GetInpInterceptVec(VecT& v) {
  v.Assign(InpInterceptVec);
  return 0;
}

template <class T>
int Kriging<T>::GetOutScaleVec(VecD& v) {
  v.Assign(OutScaleVec);
  return 0;
}

template <class T>
int Kriging<T>::GetOutInterceptVec(VecT& v) {
  v.Assign(OutInterceptVec);
  return 0;
}

template <class T>
int Kriging<T>::GetCorrCoeff(C_MatMGe<T>& G) {
  if ((G = CorrCoeff) != 0) return Refuse(kContainerFailed);
  return 0;
}

template <class T>
int Kriging<T>::GetPolyCoeff(C_MatMGe<T>& B) {
  if (PolynomType == PolyNone) return Refuse(kNoTrend);
  if ((B = PolyCoeff) != 0) return Refuse(kContainerFailed);
  return 0;
}

template <class T>
int Kriging<T>::GetNumKern(int& p) const {
  p = NumKern;
  return 0;
}

template <class T>
int Kriging<T>::GetNumCorrCoef(int& rows) const {
  rows = RowsOf(CorrCoeff);
  return 0;
}

template <class T>
int Kriging<T>::GetNumPolyCoeff(int& rows) const {
  rows = RowsOf(PolyCoeff);
  return 0;
}

template <class T>
int Kriging<T>::GetProcVarnc(double& v, int index) const {
  if (KrigingStatus != KrigingSolved) return Refuse(kNotSolved);
  /* A read or copied model carries no variances: those held belong to an earlier fit. */
  if (SolveRequired) return Refuse(kNoFitOfItsOwn);
  if (index < 0 || index >= NumSol || index >= ProcVarnc.Dim()) return Refuse(kOutputIndex);
  v = const_cast<VecD&>(ProcVarnc)[index];
  return 0;
}

template <class T>
int Kriging<T>::GetMLE(VecD& v) {
  if (KrigingStatus != KrigingSolved) return Refuse(kNotSolved);
  if (SolveRequired) return Refuse(kNoFitOfItsOwn);
  v.Assign(MLEVec);
  return 0;
}

template <class T>
int Kriging<T>::GetMLE(double& v) const {
  if (KrigingStatus != KrigingSolved) return Refuse(kNotSolved);
  if (SolveRequired) return Refuse(kNoFitOfItsOwn);
  v = MLE;
  return 0;
}

template <class T>
bool Kriging<T>::ISSolveRequired() {
  return SolveRequired;
}

template <class T>
int Kriging<T>::GetTestRelativeErrorDim() {
  return TestRelErrVec.Dim();
}

template <class T>
double Kriging<T>::TestRelativeError(int i) {
  if (i < 0 || i >= TestRelErrVec.Dim()) return std::numeric_limits<double>::quiet_NaN();
  return TestRelErrVec[i];
}

/* The class instances (virtual tables, type information) and the members defined in this file;
 * every other file instantiates the members it defines. */
template class Kriging<double>;
template class Kriging<std::complex<double>>;
