/* Kriging.h: the Kriging response-surface model Kriging<T> (T = double or complex<double>).
 * A host gives counts, options and sample data through the setters, fits the model with
 * Solve (optionally tuning the kernel by maximum likelihood), predicts at new points with
 * predictor errors and relative errors, measures errors and R^2, names refinement points
 * and appends them, copies the model, saves it to and restores it from a binary file, and
 * reads back kernel, scaling, coefficients, process variances and objective.
 * Operations return 0 on success and 1 (or a failing inner step's non-zero result) on
 * failure; container exceptions (C_KveloException) pass through unchanged. Every refusal
 * names its reason in one line ("Kriging: ...") routed as the fit lines are (information,
 * verbosity 3, debug scope 502, all streams), so it shows only where they show. Points and
 * values from the host that are not finite numbers are refused.
 * Threads: a model carries no lock, and its reading operations write to it as well:
 * predictions, predictor errors, error measures and refinement points fill caches (the test
 * inputs' correlations and trend rows, the scaled samples, the kept factor), scratch
 * vectors and the kept errors, and a read or copied model refits itself on its first
 * predictor-error request. A model shared between threads therefore needs the host's lock
 * around every call, const getters included while another thread may write, or one copy per
 * thread (the copy constructor or Copy, made under that lock). Different models are
 * independent. */
#ifndef KVELO_KRIGING_H
#define KVELO_KRIGING_H

#include <complex>

#include "kvelo_export.h"
#include "C_VecPi.h"
#include "C_MatMGe.h"
#include "C_MatMSym.h"

/* Every option is a plain int underneath: the setters store any value, and a value that no
 * operation knows makes the operation that uses it fail. */

/* Model state. */
enum E_KrigingStatus : int {
  KrigingInitial = 0,        /* nothing given since construction or InitKriging */
  KrigingSolveRequired = 1,  /* data changed, or a readiness check found the data complete */
  KrigingSolved = 2,         /* coefficients valid */
  KrigingDataIncomplete = 3  /* a sample set, a count or the kernel count is missing */
};

/* Correlation function of two points (d = distance per input, theta = kernel). */
enum E_CorrFuncType : int {
  CorrExponential = 1,  /* exp(-sum theta*d) */
  CorrGaussian = 2,     /* exp(-sum theta*d^2), the default */
  CorrLinear = 3,       /* prod max(0, 1 - theta*d) */
  CorrCubicSpline = 7   /* product of cubic-spline factors of theta*d */
};

/* Polynomial trend; the automatic choice may lower it to what the samples support. */
enum E_KrigingPolynomType : int {
  PolyNone = 0,           /* no trend */
  PolyConstant = 1,       /* 1 term */
  PolyLinear = 2,         /* n+1 terms */
  PolyLinearSquares = 3,  /* 2n+1 terms */
  PolyQuadratic = 4       /* (n+1)(n+2)/2 terms, the default */
};

/* Data scaling before the fit. */
enum E_KrigingScalingType : int {
  ScaleNone = 0,
  ScaleInputs = 1,
  ScaleOutputs = 2,
  ScaleInputsOutputs = 3
};

/* Kernel parameterisation; Solve refuses any other value. */
enum E_KrigingKernVarType : int {
  KernOneForAll = 0,  /* one parameter shared by every input */
  KernPerInput = 1    /* one parameter per input */
};

/* Kernel optimisation: 0 none, 1 a maximum-likelihood search every Step-th solve; Solve refuses
 * any other value. */
enum E_KrigingKernOptType : int {
  KernOptNone = 0,
  KernOptLikelihood = 1
};

/* Solution type: only 0 is accepted by Solve. */
enum E_KrigingSolType : int {
  SolDefault = 0
};

template <class T>
class KVELO_API Kriging {
 public:
  typedef C_VecPi<double, int, C_PtrInCore<double, int>> VecD;  /* real vector */
  typedef C_VecPi<T, int, C_PtrInCore<T, int>> VecT;            /* vector of element type */

  /* Builds every container empty and sets the defaults (state 0). */
  Kriging();
  /* A new model holding the solved model of other (samples, groups, kernel, scaling,
   * coefficients, options; not its factors, so predictor errors refit it once): state 2,
   * err := 0. When other is not solved, a getter fails or the data are not consistent or
   * not what a fit makes (as Read), the model stays as newly built (state 0) and err := the
   * getter's result or 1. */
  Kriging(Kriging& other, int& err);
  /* Releases the group sizes and every container. */
  virtual ~Kriging();

  /* Version text of the model file, "1.0" (constant, owned by the library). */
  virtual const char* Version() const;

  /* Counts and tolerances. Setters return 0, or 1 on a refused value; giving the value
   * already held returns 0 and changes nothing. */

  /* NumVar := n (n > 0, else 1); clears the input samples, asks for a new kernel estimate,
   * NumKern := n or 1 by KernVarType; state unchanged. */
  virtual int PutNumVar(const int& n);
  /* n := input count; 0. */
  virtual int GetNumVar(int& n) const;
  /* Output count and groups: total > 0, 0 < groups <= total; with 1 or total groups sizes
   * may be null, else sizes[0..groups-1] must be >= 0 and add up to total (1 otherwise,
   * and when the sizes cannot be stored). Clears the output samples and their group ranges
   * (the relative errors refuse until the outputs are given again); state unchanged. */
  virtual int PutNumSol(const int& total, const int& groups, int* sizes);
  /* q := output count; 0. */
  virtual int GetNumSol(int& q) const;
  /* Drop tolerance, 0 < tol < 1 (else 1); a new value turns a solved model to state 1. */
  virtual int PutDropToler(const double& tol);
  /* The drop tolerance. */
  virtual double GetDropToler() const;
  /* m := (n+1)(n+2)/2, the full quadratic term count; 1 with m untouched when it exceeds int. */
  virtual int GetOptNumSamp(int& m) const;
  /* PutNumSamp with the count of GetOptNumSamp; 1 when that count is not available. */
  virtual int SetOptNumSamp();
  /* NumSamp := m (m > 0, else 1); clears both sample sets; state unchanged. */
  virtual int PutNumSamp(const int& m);
  /* m := sample count; 0. */
  virtual int GetNumSamp(int& m) const;
  /* Iteration limit kept for the host (k > 0, else 1); demotes a solved model. */
  virtual int PutMaxNumIter(const int& k);
  /* k := iteration limit (0 until set); 0. */
  virtual int GetMaxNumIter(int& k) const;

  /* Sample data. */

  /* Inputs := copy of X (m x n, both > 0, finite values, else 1 and nothing changed);
   * NumSamp, NumVar := its shape; a new row count clears the output samples; state 1. A
   * container exception during the copy leaves the new counts with no input samples set. */
  virtual int PutInpSampMtx(C_MatMGe<T>& X);
  /* X := copy of the inputs; 1 when none are set. */
  virtual int GetInpSampMtx(C_MatMGe<T>& X);
  /* Outputs := copy of Y (NumSamp x NumSol, finite values, group ranges that doubles hold,
   * else 1 and nothing changed) and output ranges recomputed; demotes a solved model. */
  virtual int PutOutSampMtx(C_MatMGe<T>& Y);
  /* Y := copy of the outputs; 1 when none are set. */
  virtual int GetOutSampMtx(C_MatMGe<T>& Y);
  /* Appends r > 0 samples (X: r x n, Y: r x q) to both sample sets and widens the output
   * ranges; state 1; 1 (nothing appended) when either set is missing, the shapes or the range
   * table do not match, a value is not finite or a widened group range lies beyond the
   * doubles. A container exception appends nothing. */
  virtual int AppendSampData(C_MatMGe<T>& X, C_MatMGe<T>& Y);

  /* Kernel and options. */

  /* theta must have n values (KernVarType 1) or 1 (KernVarType 0), each a finite number
   * above 0; then KernVec := theta and NumKern := its length, no kernel estimate, and a solved
   * model is demoted. 1 otherwise, with the kernel and NumKern as they were. */
  virtual int PutKernVec(VecD& theta);
  /* theta := copy of the kernel; 0. */
  virtual int GetKernVec(VecD& theta);
  /* Stores the solution type; demotes. */
  virtual int PutSolnType(const E_KrigingSolType& t);
  /* The solution type. */
  virtual E_KrigingSolType GetSolnType() const;
  /* Stores the correlation function; demotes. */
  virtual int PutCorrFuncType(const E_CorrFuncType& t);
  /* The correlation function. */
  virtual E_CorrFuncType GetCorrFuncType() const;
  /* Stores the kernel parameterisation (NumKern unchanged until PutNumVar or PutKernVec, so
   * the next fit keeps the kernel length it has); demotes. */
  virtual int PutKrigingKernVarType(const E_KrigingKernVarType& t);
  /* t := kernel parameterisation; 0. */
  virtual int GetKrigingKernVarType(E_KrigingKernVarType& t) const;
  /* The kernel parameterisation. */
  virtual E_KrigingKernVarType GetKrigingKernVarType() const;
  /* Stores the kernel optimisation mode; demotes. */
  virtual int PutKrigingKernOptType(const E_KrigingKernOptType& t);
  /* The kernel optimisation mode. */
  virtual E_KrigingKernOptType GetKrigingKernOptType() const;
  /* Stores the scaling type; demotes. */
  virtual int PutScalingType(const E_KrigingScalingType& t);
  /* The scaling type. */
  virtual E_KrigingScalingType GetScalingType() const;
  /* Stores the trend type; demotes. */
  virtual int PutPolynomType(const E_KrigingPolynomType& t);
  /* The trend type (possibly lowered by the last fit). */
  virtual E_KrigingPolynomType GetPolynomType() const;
  /* Kernel optimisation period: step > 0 is stored, other values ignored; always 0. */
  virtual int SetStep(const int& step);
  /* The model state. */
  virtual E_KrigingStatus GetKrigingStatus() const;

  /* Fit. */

  /* Refinement step: accepts the rows of Xcand farther than dmin from every sample input
   * and every earlier accepted row (Xnew := those rows, numNew := their number; none: 0 at
   * once, nothing else written), pairs each with its outputs (Ycand with one row per
   * candidate: the candidate's row; with one row per accepted candidate: row i for the
   * i-th), appends them to the samples, solves, and reports the largest absolute and
   * relative predictor errors at the samples, numSamp := m and Xall := the sample inputs.
   * 1 when Ycand is not q wide, Xcand or Ycand holds a value that is not finite, dmin is not
   * finite, its row count fits neither pairing (nothing appended, nothing written), or the
   * append (Xcand wider than n), the solve or the errors fail (the samples stay appended). */
  virtual int Solve(C_MatMGe<T>& Xcand, C_MatMGe<T>& Ycand, double& maxRelErr,
                    double& maxAbsErr, int& numNew, C_MatMGe<T>& Xnew, int& numSamp,
                    C_MatMGe<T>& Xall, double dmin);
  /* Fits the model unless it is solved already (0 at once); 1 when the data are incomplete
   * (state 3), the solution type is not 0, the kernel parameterisation or optimisation is
   * neither 0 nor 1, the samples hold a value that is not finite, or a step of the fit fails:
   * a correlation matrix that is not positive definite, a trend matrix without full rank,
   * inputs whose variance, scale factor or kernel estimate no double holds, or outputs whose
   * process variance or objective no double holds (residuals below about 1e-154 or above
   * about 1e154 in size, output scaling or not). A failed fit leaves the model as it was
   * (coefficients, kernel and its count, trend type, scale vectors) but in state 1. A kernel
   * search counts a trial kernel whose build fails as one of infinite objective and goes on;
   * the solve fails only when no trial can be fitted or the final build at the best kernel
   * fails. */
  virtual int Solve();
  /* Re-checks readiness and refits: the result of Solve, or 1 with state 3. */
  virtual int ReSolve();

  /* Prediction. */

  /* Y := predictions at the rows of X (n columns, at least one row), fitting the model first
   * when it needs it; predictor errors go to the kept matrix only while they are kept.
   * 1 when the model cannot be solved, X does not fit, or X holds a value that is not finite
   * (Y untouched); 1 when a prediction or kept error overflows (Y then undefined). */
  virtual int EvalModel(C_MatMGe<T>& X, C_MatMGe<T>& Y);
  /* Y := predictions at the rows of X, or of the stored test inputs when useTest (their
   * correlations and trend rows are cached and extended column by column as samples are
   * appended). Kept predictor errors of the rows of X (k <= 0) are made block by block of
   * points as their correlations are (no matrix of all points by all samples); the test
   * inputs and refinement go through the matrix form of GetPredictorError. k > 0 asks for
   * the k evaluated points of largest relative predictor error that are not sample inputs
   * (ties: the later point first): k := their number, Xsel := those points (caller's
   * coordinates; untouched when none), maxErr := the largest value (0 when none), and the
   * per-point values are kept (GetTestRelativeErrorDim). k <= 0 leaves k, Xsel and maxErr
   * alone. 1 when the model cannot be solved, the points do not fit or hold a value that is
   * not finite (nothing written), useTest has no test inputs, a prediction or error is not
   * finite, or a step fails. */
  virtual int EvalModel(C_MatMGe<T>& X, C_MatMGe<T>& Y, int& k, C_MatMGe<T>& Xsel,
                        double& maxErr, bool useTest);

  /* Error measures. Y1 (a, A, Y) holds the reference values; matrices have one row per
   * point and one column per output. Forms with matrices, the checks at points and the
   * measures on the samples refuse (1) a model that is not solved, or whose counts or groups
   * changed since its fit (its samples to be given again, as Write refuses it), and shapes
   * that differ; every form refuses points and values that are not finite,
   * and a difference, relative error or R^2 that no double holds (results untouched, but
   * r2 := 0 first in getR2); a failed inner step gives 1. Maxima are at least 0. */

  /* R := relative error per point and output group of Y2 against Y1 (the group norm of
   * |Y1 - Y2| scaled by Y1 and the group ranges, see GetRelativePredictorErrorNorm). */
  virtual int GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& R);
  /* r := largest relative error per output group (at least 0). */
  virtual int GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, VecD& r);
  /* r := largest relative error overall (at least 0). */
  virtual int GetRelativeError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, double& r);
  /* r := largest relative error of the model's predictions at its own samples; r := 1
   * first, kept when the evaluation fails (1). */
  virtual int GetRelativeError(double& r);
  /* E := |Y1 - Y2| entry by entry. */
  virtual int GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, C_MatMGe<double>& E);
  /* e := largest |Y1 - Y2| per output (at least 0). */
  virtual int GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, VecD& e);
  /* e := largest |Y1 - Y2| overall (at least 0). */
  virtual int GetError(C_MatMGe<T>& Y1, C_MatMGe<T>& Y2, double& e);
  /* At the points X (n columns) with values Y (q columns, as many rows): relErr := largest
   * relative error of the predictions, maxPredErr := largest relative predictor error over
   * the rows that are not sample inputs (0 when none). 1 for a model that is not solved,
   * shapes that do not fit or values that are not finite (outputs untouched). */
  virtual int CheckRelativeError(C_MatMGe<T>& X, C_MatMGe<T>& Y, double& relErr,
                                 double& maxPredErr);
  /* At the points X with values Y: err := largest absolute error of the predictions;
   * refusals as CheckRelativeError. */
  virtual int CheckError(C_MatMGe<T>& X, C_MatMGe<T>& Y, double& err);
  /* r2 := 1 - sum|b - a|^2 / sum|b - mean(a)|^2 (the spread of b around the mean of a),
   * right for values of any size a double holds; r2 := 0 first, 1 when the lengths differ,
   * a is empty, b has no spread around the mean of a (R^2 has no value) or R^2 lies beyond
   * the doubles. Any model state. */
  virtual int getR2(VecT& a, VecT& b, double& r2);
  /* r2 := smallest column R^2 of B against A (1 with no columns); r2 := 0 first, 1 when the
   * shapes differ. Any model state. */
  virtual int getR2(C_MatMGe<T>& A, C_MatMGe<T>& B, double& r2);
  /* r2 := R^2 of the model's predictions at its own samples; r2 := 0 first, 1 when the
   * evaluation fails. */
  virtual int getR2(double& r2);

  /* Model file (portable big-endian records; the host opens and closes the stream in binary
   * mode and the file holds no element type: read it with the instance that wrote it). */

  /* Writes the version text, samples, groups, kernel, scaling vectors, coefficients and
   * options of a solved model; 1 when the model is not solved or a count changed since its
   * fit (nothing written) or a value cannot be written (null stream; what was written
   * stays). Container write failures throw (code 22). */
  virtual int Write(FILE* fp);
  /* Reads a file written by Write (any version text) into a temporary model, checks every
   * count and shape, and installs it only when complete, consistent and what a fit makes (a
   * kernel of one value or one per input, each finite and above 0, whatever the
   * parameterisation; finite samples, scale vectors and coefficients, scale factors above
   * 0; group ranges that doubles hold; solution type 0; parameterisation and optimisation 0
   * or 1; samples that a fit at the file's kernel takes, which is tried on a model aside with
   * this model's tolerances, at the cost of one fit): state 2, NumKern := the kernel's
   * length, factors to be refitted on the first predictor-error request; members the file
   * does not hold (drop tolerance and nugget among them) keep their values. 1 on a short,
   * corrupt or inconsistent file, values or samples no fit makes or takes (an output whose
   * process variance has no double) or a null stream, the model then unchanged. A container
   * exception (memory) while the checked model is installed leaves an empty model (state 0,
   * no samples set). */
  virtual int Read(FILE* fp);
  /* As Read for the older layout without the version text; a null stream throws code 12. */
  virtual int ReadOld(FILE* fp);

  /* Groups and fitted quantities. */

  /* groups := number of output groups; 0. */
  virtual int GetNumGlobalSol(int& groups) const;
  /* A new int[] copy of the group sizes (caller frees with delete[]), err := 0; null with
   * err := 1 when it cannot be allocated. */
  virtual int* GetVecGlobalSol(int& err);
  /* Copies of the input and output scale factors and intercepts (possibly empty); 0. */
  virtual int GetInpScaleVec(VecD& v);
  virtual int GetInpInterceptVec(VecT& v);
  virtual int GetOutScaleVec(VecD& v);
  virtual int GetOutInterceptVec(VecT& v);
  /* G := copy of the correlation coefficients (m x q after a fit); 0. */
  virtual int GetCorrCoeff(C_MatMGe<T>& G);
  /* B := copy of the trend coefficients; 1 when the trend type is 0. */
  virtual int GetPolyCoeff(C_MatMGe<T>& B);
  /* p := kernel-parameter count; 0. */
  virtual int GetNumKern(int& p) const;
  /* rows := row count of the correlation coefficients; 0. */
  virtual int GetNumCorrCoef(int& rows) const;
  /* rows := row count of the trend coefficients; 0. */
  virtual int GetNumPolyCoeff(int& rows) const;
  /* v := process variance of output index (0 <= index < q) of a solved model; else 1, and 1
   * for a read or copied model until it is refitted (it holds no variances of its own). */
  virtual int GetProcVarnc(double& v, int index) const;
  /* v := likelihood objective per output of a solved model; else 1 (also for a read or
   * copied model until it is refitted). */
  virtual int GetMLE(VecD& v);
  /* v := likelihood objective (smaller is better) of a solved model; else 1 (also for a read
   * or copied model until it is refitted). */
  virtual int GetMLE(double& v) const;
  /* Err := predictor errors (points x q, the square root of the Kriging mean squared error)
   * from R (points x m correlations with the samples) and F (points x p trend rows, p = 0
   * without trend) and the stored factors; 1 when the shapes do not fit the last fit, R or F
   * holds a value that is not finite, an error overflows (Err untouched), or the model was
   * read or copied and holds no factors of its own yet. */
  virtual int GetPredictorError(C_MatMGe<double>& R, C_MatMGe<T>& F, C_MatMGe<double>& Err);
  /* Evaluates the model at X with predictor errors (kept in the model): maxAbsErr := the
   * largest predictor error, maxRelErr := the largest relative one, count := m; 1 when the
   * evaluation fails. The keep-errors setting is restored on every return. */
  virtual int GetPredictorError(C_MatMGe<T>& X, double& maxAbsErr, double& maxRelErr,
                                int& count);

  /* Refinement points and test inputs. */

  /* kept := the rows of cand (all its columns) whose distance over the first n coordinates
   * to every sample input and to every row accepted before them exceeds |dmin| (distances of
   * any size compared as they are, not squared), in row order; index[i] := cand row of the
   * i-th kept row. A null index gets a new int[rows of cand] that the caller frees with
   * delete[]; otherwise it must hold that many entries.
   * 1 when cand has fewer than n columns or a value that is not finite, or dmin is not
   * finite (kept and index untouched, nothing allocated). */
  virtual int CheckNewPoints(C_MatMGe<T>& cand, C_MatMGe<T>& kept, int*& index, double dmin);
  /* Test inputs := copy of Tm (rows > 0, n columns, finite values, else 1 and nothing
   * changed); the cached correlations and trend rows of the test inputs are made again at
   * the next use. A container exception during the copy leaves no test inputs set. */
  virtual int PutInpTestMtx(C_MatMGe<T>& Tm);
  /* Whether row `row` of X lies closer than the point tolerance (1e-7) to a sample input;
   * false when it does not, and for a row outside X or X narrower than n. */
  virtual bool IsInputPoint(C_MatMGe<T>& X, int row);
  /* Number of relative predictor errors kept by the last refinement evaluation. */
  virtual int GetTestRelativeErrorDim();
  /* Relative predictor error i of that evaluation; NaN for i outside 0 .. dim-1. */
  virtual double TestRelativeError(int i);

  /* Model mathematics open to the host. */

  /* R := correlation matrix of the rows of X (lower packed, order rows(X)); 1 in state 0
   * or 3, for an unknown correlation function, a kernel that does not fit NumVar or a point
   * value that is not finite (R untouched). X unchanged.
   * Every build calls it for the samples' R, each trial of a kernel search included. */
  virtual int EvalCorrMtx(C_MatMGe<T>& X, C_MatMSym<double>& R);
  /* F := trend matrix of the rows of X (n = NumVar columns, else 1), rows start..N-1 filled
   * (1 with F untouched when one of them holds a value that is not finite).
   * terms -1 chooses the degree from PolynomType, lowering it while it needs more terms
   * than NumSamp or the matrix is rank deficient (a passing choice of type 2..4 is stored
   * in PolynomType, except in a solved model, which keeps the type it was fitted with); any
   * other value asks for the type with that many terms (1 if none).
   * terms := term count used. A build calls it with -1 for the samples; a kernel search calls
   * it once for all of its trials, whose trend matrix does not depend on the kernel. */
  virtual int EvalQuadPolynomMtx(C_MatMGe<T>& X, int& terms, C_MatMGe<T>& F, int start);
  /* R := relative error per point and output group (N x groups) of the errors Err against
   * the values Y (both N x q): the group norm of the errors over that of the values, or,
   * when the values' norm is not above 1e-4 of the group range, over half the range (at
   * least the drop tolerance) plus that norm. 1 when the shapes do not fit, the stored group
   * ranges are not those of the current groups (groups changed since the outputs were given)
   * or one lies beyond the doubles, a value or error is not finite or a ratio lies beyond the
   * doubles (R unchanged). */
  virtual int GetRelativePredictorErrorNorm(C_MatMGe<T>& Y, C_MatMGe<double>& Err,
                                            C_MatMGe<double>& R);
  /* ranges := range of each output group (square root of the summed squared magnitude
   * spreads of its outputs), recomputing the output range table; 1 without usable outputs or
   * when a group range lies beyond the doubles (ranges and the table then as they were). */
  virtual int GetOutputGlobalRange(VecD& ranges);
  /* R := relative error per point and output (N x q) of Err against Y (both N x q): |err|
   * over |y|, or, when |y| is not above 1e-4 of the output range, over half the range plus
   * |y| (the error itself when that sum is not above 1e-31). 1 when the shapes or the range
   * table do not fit, a value or error is not finite or a ratio lies beyond the doubles (R
   * unchanged). */
  virtual int GetRelativePredictorError(C_MatMGe<T>& Y, C_MatMGe<double>& Err,
                                        C_MatMGe<double>& R);
  /* Whether the model holds coefficients without factors of its own. */
  virtual bool ISSolveRequired();
  /* var := sample variance of each column of X (two-pass; 0 for a single row), right for
   * values of any size; 1 when X has fewer rows than columns, a value that is not finite or
   * a variance beyond the largest double (var untouched). */
  virtual int DiagOfCovarMtx(C_MatMGe<T>& X, VecD& var);
  /* Returns settings and counts to their defaults (state 0); containers keep their contents. */
  virtual void InitKriging();

  /* Takes over the solved model of other as the copy constructor does; 1 (this model
   * unchanged) when other is null or not solved, a getter fails, or the data are not
   * consistent or not what a fit makes (as Read). Settings the copy does not carry
   * (tolerances, test inputs) stay. A container exception while the copy is installed leaves
   * an empty model (state 0, no samples set). */
  int Copy(Kriging* other);

  /* A plain member-wise copy would free the group sizes twice: copies go through the two
   * operations above. */
  Kriging(const Kriging&) = delete;
  Kriging& operator=(const Kriging&) = delete;

 protected:
  /* 1 when both sample sets and every count (samples, inputs, kernel, outputs) are given, else 3. */
  int CheckSampData();
  /* Refuses (1) for the first thing a fit lacks, in the order the host gives them. */
  int RefuseIncomplete() const;
  /* table := q x 3 output ranges (smallest |y|, largest |y|, difference); 1 without samples. */
  int EvalOutputRange(C_MatMGe<double>& table);
  /* Widens the range table with the rows of Ynew and recomputes the group ranges. */
  int UpdateOutputRange(C_MatMGe<T>& Ynew, VecD& groupRanges);
  /* Group ranges from the range table. */
  int EvalGroupRanges(VecD& groupRanges);

  /* r := correlation of the points a and b (NumVar values each); 1 for an unknown
   * correlation function, short points or a kernel that does not fit NumVar. */
  int EvalCorrFunc(C_Vec<T, int>& a, C_Vec<T, int>& b, double& r);
  /* Xs, Ys := scaled copies of the sample inputs and outputs, recomputing scale vectors
   * as the scaling type asks; 1 for an unknown scaling type. */
  int EvalScaling(C_MatMGe<T>& Xs, C_MatMGe<T>& Ys);
  /* Scale factor and intercept of every column of X (vectors must hold cols(X) values). */
  int EvalInpScale(C_MatMGe<T>& X, VecD& scale, VecT& icpt);
  /* Scale 1/sigma and intercept -mean/sigma of one column (values of any size); a column
   * without spread gets scale 1 and intercept -mean; 1 when it spreads by less than a scale
   * factor can hold (1/sigma beyond the doubles). */
  int EvalColScale(VecT& x, double& scale, T& icpt);
  /* One common output factor 1/max|y| (1 when below DropToler or above 1e30), intercepts 0. */
  int EvalOutScale(C_MatMGe<T>& Y, VecD& scale, VecT& icpt);
  /* Xout := X scaled column by column (scale*x + icpt); 1 when the lengths do not match. */
  int ApplyScaling(C_MatMGe<T>& X, VecD& scale, VecT& icpt, C_MatMGe<T>& Xout);
  /* Maps scaled outputs back in place ((y - icpt)/scale; scale <= 1e-31 removes icpt only). */
  int UnscaleOutput(C_MatMGe<T>& Y, VecD& scale, VecT& icpt);
  /* Mean of the values of v (0 for an empty vector). */
  T GetMean(VecT& v);
  /* Applies a packed triangular matrix of order n to ncols consecutive columns at x. */
  int MultTriPacked(char uplo, char trans, char diag, int n, int ncols, T* ap, T* x);
  /* dst := copy of src (order, side, values). */
  int CopySymMtx(C_MatMSym<double>& src, C_MatMSym<T>& dst);
  /* Cyclic shift by one place of the first NumKern values of v: (a, b, c) -> (c, a, b). */
  int ShiftStepVec(VecD& v);

  /* What every fit does first: readiness (state := 1, or 3 and refused), solution type 0 and
   * finite samples (else refused), and the kept triangle lent to the build; 0 or 1. */
  int BeginFit();
  /* What every fit does last with the build's result res: the build's large arrays given
   * back, then state 2 and one more solve counted (res 0), or state 1 and res returned. */
  int EndFit(int res);
  /* One build for the current kernel: scaling, kernel estimate, correlation and trend
   * matrices, regularisation, fit. */
  int BuildModel();
  /* First kernel from the variances of the scaled inputs Xs into theta. */
  int EstimateKern(C_MatMGe<T>& Xs, VecD& theta);
  /* KernVec := the first kernel from Xs (the kernel count set first when none is), no
   * longer to be estimated; the estimate's result. */
  int EstimateStartKern(C_MatMGe<T>& Xs);
  /* Adds the nugget to the diagonal and drops off-diagonal entries below DropToler. */
  int RegularizeCorrMtx(C_MatMSym<double>& R);
  /* The generalised least-squares fit on the regularised correlation matrix R (order m),
   * trend matrix F (m x p) and scaled outputs Y (m x q); stores the fit only when every
   * step succeeds. */
  int FitModel(C_MatMSym<double>& R, C_MatMGe<T>& F, C_MatMGe<T>& Y);
  /* MLE := det(R)^(1/m) from the Cholesky factor C. */
  int EvalDetTerm(C_MatMSym<double>& C);
  /* det(R)^(1/m) from the Cholesky factor, in partial products of at most 20 diagonal entries. */
  double DetTerm(C_MatMSym<double>& C);
  /* Maximum-likelihood kernel search followed by the final build at the best kernel found;
   * 1 when no kernel of the search could be fitted. */
  int SolveOptKern();
  /* The search cycles inside the box B (p x 2: lower, upper bounds); best := objective of
   * the point left in KernVec (+infinity when no trial could be fitted). */
  int OptimizeKern(C_MatMGe<double>& B, double& best);
  /* Step factors D and the start trial; 1 when a start value lies outside its box. */
  int OptKernStart(VecD& D, C_MatMGe<double>& B, double& best);
  /* Exploratory moves, one parameter at a time, up then down by the step factor. */
  int OptKernExplore(VecD& D, C_MatMGe<double>& B, double& best);
  /* Pattern move from thetaB through the explored point while it improves; shrinks D. */
  int OptKernMove(VecD& thetaB, VecD& D, C_MatMGe<double>& B, double& best);
  /* One build at the kernel t; accepted (and best lowered) when its objective is strictly
   * below best. A build that fails counts as objective +infinity. */
  int OptKernTrial(VecD& t, double& best, bool& accepted);
  /* Refit at the stored kernel, without kernel search, for a model that holds coefficients
   * but no factors of its own (after a copy or a read). */
  int RefitAtStoredKernel();
  /* Yref := the sample outputs, Ypred := the model's predictions at the sample inputs; 1
   * when the evaluation fails. */
  int PredictAtSamples(C_MatMGe<T>& Yref, C_MatMGe<T>& Ypred);
  /* Ypred := predictions at the points X of a check against the values Y, asking EvalModel
   * for k refinement points (maxPredErr as it leaves it); 1, nothing written, for a model
   * that is not solved, shapes that do not fit or values that are not finite, and 1 when
   * the evaluation fails. */
  int PredictForCheck(C_MatMGe<T>& X, C_MatMGe<T>& Y, int k, C_MatMGe<T>& Ypred,
                      double& maxPredErr);
  /* Refinement branch of EvalModel (k > 0) from the points P, the predictions Y and the
   * correlation and trend stores of that evaluation: relative predictor errors per point
   * into TestRelErrVec, then the selection (see EvalModel). */
  int EvalRefinement(C_MatMGe<T>& P, C_MatMGe<T>& Y, C_MatMGe<double>& R, C_MatMGe<T>& F,
                     int& k, C_MatMGe<T>& Xsel, double& maxErr);
  /* index[0 .. k-1] := the at most k points of P of largest value in vals, in descending
   * order (of equal values the later point first), leaving out sample inputs; k := their
   * number; out := their values. index must hold k entries; 1 when vals does not hold one
   * finite value per row of P. */
  int SelectMaxErrPoints(C_MatMGe<T>& P, VecD& vals, int& k, int* index, VecD& out);

  /* A complete model as a file or another model holds it, gathered before anything of
   * this model changes. */
  struct ModelImage;
  /* Gathers the solved model of other through its getters (traces at the given lines when
   * a getter fails); 0, a getter's non-zero result, or 1 for data that are not consistent. */
  int GatherCopy(Kriging& other, ModelImage& img, bool fromConstructor);
  /* Reads the model file records (version text first when withVersion) into img; 0 or 1. */
  int GatherFile(FILE* fp, bool withVersion, ModelImage& img);
  /* 0 when img is a consistent model (counts, groups, kernel, scaling vectors, coefficient
   * shapes, known types), with its output range table and group ranges computed; else 1. */
  int CheckImage(ModelImage& img);
  /* Makes img this model's solved state (state 2, factors to be refitted). */
  int InstallImage(ModelImage& img, bool asCopy);
  /* 0 when img, installed in a model of this one's tolerances, can be fitted again at its
   * kernel, as its first predictor-error request will ask; 1 (the fit's reason named) when
   * its samples admit no fit. This model is not changed. */
  int CheckRefit(ModelImage& img);
  /* Gathers the model file from fp (version text first when withVersion), checks and
   * installs it; 0, or 1 with this model unchanged. */
  int ReadModel(FILE* fp, bool withVersion);
  /* Gathers the solved model of other (marks as GatherCopy), checks and installs it as a
   * copy; 0, or the failing step's result with this model unchanged. */
  int TakeModel(Kriging& other, bool fromConstructor);
  /* Squared Euclidean distance of the first n values of a and b (through WorkVec). */
  double GetSqrDist(C_Vec<T, int>& a, C_Vec<T, int>& b, int n);
  /* out := the largest absolute entry of M (0 for an empty matrix, NaN when one is NaN); 0. */
  int GetMaxAbs(C_MatMGe<double>& M, double& out);
  /* v[i] := the largest entry of row i of M, at least 0 (NaN when one is NaN); 0. */
  int GetRowMax(C_MatMGe<double>& M, VecD& v);
  /* Emits the fit line "   Kernel : ... -> objective" (verbosity 3, debug scope 502). */
  void PrintFitLine();

  /* Work arrays, the factor of the kept fit and the caches that the fit, the kernel search and
   * prediction share (internal; made on first use, freed with the model). */
  struct Workspace;
  Workspace& Work();
  /* Gives back the large arrays of a finished solve; the factor of the kept fit stays. */
  void ReleaseBuildWork();
  /* Forgets the scaled samples kept for prediction (the samples changed). */
  void SamplesChanged();
  /* 0 when the workspace holds the Cholesky factor whose inverse CorrMtx holds (recovered from
   * CorrMtx when it does not); 1 when CorrMtx holds no invertible factor. */
  int KeptFactorReady();
  /* 0 when predictor errors of N points can be made from correlations with m samples and
   * trend rows of p terms with the factors of the last fit (shapes, a variance per output);
   * with N > 0 also Ginv := the inverse trend factor and the kept inverse factor ready. 1
   * otherwise (a singular trend factor included). */
  int PrepareErrors(int m, int p, int N, C_MatMSym<T>& Ginv);
  /* Ss := the sample inputs in the coordinates prediction uses (scaled when ScalingType asks),
   * kept until the samples, the scaling type or the input scale vectors change; 1 when they
   * cannot be scaled. */
  int ScaledSamples(C_MatMGe<T>*& Ss);

  /* Members (m = NumSamp, n = NumVar, q = NumSol). */
  E_KrigingStatus KrigingStatus;
  int NumSamp;
  int NumVar;
  int NumSol;
  int NumGlobalSol;
  int* VecGlobalSol;              /* group sizes, owned (array new) */
  int NumKern;                    /* 1 or n */
  VecD KernVec;                   /* kernel theta */
  E_KrigingKernOptType KernOptType;
  E_KrigingSolType SolnType;
  E_CorrFuncType CorrFuncType;
  E_KrigingPolynomType PolynomType;
  bool KernToEstimate;            /* next build estimates theta from the samples */
  E_KrigingKernVarType KernVarType;
  bool NewSamples;                /* samples appended since the inputs were last given whole */
  bool SolveRequired;             /* coefficients without a factorisation of their own */
  C_MatMGe<T> InpSampMtx;         /* m x n */
  bool InpSampSet;
  C_MatMGe<T> OutSampMtx;         /* m x q */
  bool OutSampSet;
  E_KrigingScalingType ScalingType;
  VecD InpScaleVec;
  VecT InpInterceptVec;
  VecD OutScaleVec;
  VecT OutInterceptVec;
  C_MatMGe<T> PolyCoeff;          /* trend coefficients, terms x q */
  C_MatMGe<T> CorrCoeff;          /* correlation coefficients, m x q */
  double DropToler;
  double NuggetEps;
  int MaxNumIter;
  int SolveCount;
  int Step;
  C_MatMSym<double> CorrMtx;      /* after a fit: inverse Cholesky factor, lower packed */
  C_MatMSym<T> TrendFactor;       /* transpose of the trend QR factor, lower packed */
  bool FtReady;
  C_MatMGe<T> FtTMtx;             /* (C^-1 F)^T, terms x m */
  VecD ProcVarnc;                 /* process variance per output */
  double PointToler;
  C_MatMGe<double> OutRangeMtx;   /* q x 3 */
  VecD GlobalRangeVec;            /* range per output group */
  double KernLoFactor;
  double KernUpFactor;
  double MLE;
  VecD MLEVec;
  bool KeepPredErr;
  C_MatMGe<double> PredErrMtx;
  C_MatMGe<T> InpTestMtx;
  bool InpTestSet;
  C_MatMGe<double> TestCorrMtx;
  C_MatMGe<T> TestTrendMtx;
  bool RescaleRequested;          /* next build recomputes the input scale vectors */
  bool CorrStale;
  bool TrendStale;
  VecD TestRelErrVec;
  VecT WorkVec;                   /* n scratch values */
  Workspace* WorkPtr;             /* see Work(); owned */
};

extern template class Kriging<double>;
extern template class Kriging<std::complex<double>>;

#endif
