/* Kriging_persist.cpp: the model file and model copies of the Kriging model: the portable binary
 * records of a solved model, readers that check a whole model before installing it, and the
 * copy constructor and Copy through the other model's getters. */
#include "Kriging.h"

#include <algorithm>
#include <complex>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "C_bfd.h"
#include "bf.h"
#include "erreur.h"

#include "kriging_refusal.h"
#include "kriging_util.h"
#include "kriging_work.h"

using namespace kriging_internal;

/* ======================================================================================= */
/* Model file and model copies                                                             */
/* ======================================================================================= */

/* A model gathered from a file or another model; nothing of the target changes until it is
 * complete and checked. */
template <class T>
struct Kriging<T>::ModelImage {
  C_MatMGe<T> X, Y;
  int groups;
  std::vector<int> sizes;
  int kernVarType;
  VecD kern;
  int scalingType;
  VecD inpScale;
  VecT inpIcpt;
  VecD outScale;
  VecT outIcpt;
  int corrFuncType;
  C_MatMGe<T> corrCoeff;
  int polynomType;
  C_MatMGe<T> polyCoeff;
  int solnType;
  int kernOptType;
  C_MatMGe<double> rangeTable;
  VecD groupRanges;

  ModelImage()
      : X(0, 0), Y(0, 0), groups(0), kernVarType(0), kern(0), scalingType(0), inpScale(0),
        inpIcpt(0), outScale(0), outIcpt(0), corrFuncType(0), corrCoeff(0, 0), polynomType(0),
        polyCoeff(0, 0), solnType(0), kernOptType(0), rangeTable(0, 0), groupRanges(0) {}
};

namespace {

/* Marks the place of a failed transfer and refuses for the reason given. */
inline int TraceFail(int line, E_Refusal reason) {
  fct_Trace("aff_lieu", line, "Kriging");
  return Refuse(reason);
}

/* A record that could not be written. */
inline int WriteFail(int line) { return TraceFail(line, kFileWrite); }

/* Lines marked for each record of the model file (0: the record is absent). */
struct RecordLines {
  int version, inp, out, groups, sizes, kernVarType, kern, scaling, inpScale, inpIcpt,
      outScale, outIcpt, corrType, corrCoeff, polyType, polyCoeff, solnType, optType;
};
const RecordLines kWriteLines = {4532, 4535, 4538, 4541, 4542, 4546, 4547, 4551, 4554,
                                 4555, 4560, 4561, 4566, 4567, 4571, 4574, 4579, 4583};
const RecordLines kReadLines = {4610, 4614, 4619, 4627, 4633, 4636, 4638, 4655, 4659,
                                4660, 4669, 4670, 4678, 4680, 4687, 4691, 4699, 4703};
const RecordLines kReadOldLines = {0,    4733, 4738, 4746, 4752, 4755, 4757, 4774, 4778,
                                   4779, 4788, 4789, 4797, 4799, 4806, 4810, 4818, 4822};

/* Outcome of reading one record: read and as expected; not readable (short, or a header
 * that contradicts itself); readable but of another shape than the model needs. */
enum RecordResult { kRecordOk = 0, kRecordFailed = 1, kRecordMismatch = 2 };

/* The refusal of a record that was not read as expected: one that cannot be read is marked
 * at its line; one of a shape the model cannot hold is refused for that reason, unmarked. */
inline int RecordRefusal(int res, int line, E_Refusal mismatch) {
  if (res == kRecordFailed) return TraceFail(line, kFileRead);
  return Refuse(mismatch);
}

/* Elements are read in blocks and the buffer grows with what actually arrives, so a count
 * read from a damaged file never sizes an allocation by itself. */
const int kReadBlock = 4096;

template <class E>
bool ReadElements(FILE* f, std::vector<E>& buf, int count) {
  buf.clear();
  for (int done = 0; done < count;) {
    const int k = std::min(kReadBlock, count - done);
    SizeTo(buf, static_cast<std::size_t>(done) + static_cast<std::size_t>(k));
    if (T_BF_read(f, static_cast<const E*>(buf.data() + done), k, true) != 0) return false;
    done += k;
  }
  return true;
}

inline int ReadIntRecord(FILE* f, int& v) {
  return BF_fread_int(f, &v, 1) == 0 ? kRecordOk : kRecordFailed;
}

/* A version text: its length, then its bytes, skipped (the text is not interpreted). */
inline int SkipTextRecord(FILE* f) {
  int length = 0;
  if (BF_fread_int(f, &length, 1) != 0 || length < 0) return kRecordFailed;
  char block[kReadBlock];
  for (int done = 0; done < length;) {
    const int k = std::min(kReadBlock, length - done);
    if (BF_fread_char(f, block, k) != 0) return kRecordFailed;
    done += k;
  }
  return kRecordOk;
}

/* A vector record into v; accept(dim) tells whether its length is the one needed. */
template <class E, class Accept>
int ReadVectorRecord(FILE* f, C_VecPi<E, int, C_PtrInCore<E, int>>& v, Accept accept) {
  int dim = 0;
  if (BF_fread_int(f, &dim, 1) != 0 || dim < 0) return kRecordFailed;
  if (!accept(dim)) return kRecordMismatch;
  std::vector<E> buf;
  if (!ReadElements(f, buf, dim)) return kRecordFailed;
  v.Resize(dim);
  for (int i = 0; i < dim; ++i) v[i] = buf[static_cast<std::size_t>(i)];
  return kRecordOk;
}

/* A matrix record into M; accept(rows, cols) tells whether the shape is the one needed. */
template <class E, class Accept>
int ReadMatrixRecord(FILE* f, C_MatMGe<E>& M, Accept accept) {
  int head[3] = {0, 0, 0};
  if (BF_fread_int(f, head, 3) != 0) return kRecordFailed;
  const int rows = head[0], cols = head[1], count = head[2];
  if (rows < 0 || cols < 0 || static_cast<long long>(rows) * cols != count)
    return kRecordFailed;
  if (!accept(rows, cols)) return kRecordMismatch;
  std::vector<E> buf;
  if (!ReadElements(f, buf, count)) return kRecordFailed;
  M.Resize(rows, cols);
  for (int c = 0; c < cols; ++c) {
    const E* src = buf.data() + static_cast<std::size_t>(c) * rows;
    std::copy(src, src + rows, ColPtr(M, c));
  }
  return kRecordOk;
}

/* A vector record of exactly `expect` elements into v. */
template <class E>
int ReadVectorRecord(FILE* f, C_VecPi<E, int, C_PtrInCore<E, int>>& v, int expect) {
  return ReadVectorRecord(f, v, [expect](int dim) { return dim == expect; });
}

/* Whether a trend-coefficient matrix of `rows` rows fits trend type `type` on n inputs:
 * the type's term count, or the single constant term the automatic degree choice falls
 * back to when the samples cannot carry a higher degree. */
inline bool TrendRowsFit(int type, int n, int rows) {
  if (type < 1 || type > 4) return false;
  return rows == 1 || static_cast<long long>(rows) == TrendTerms(type, n);
}

}  // namespace

template <class T>
const char* Kriging<T>::Version() const {
  return "1.0";
}

template <class T>
int Kriging<T>::Write(FILE* fp) {
  if (KrigingStatus != KrigingSolved) return Refuse(kNotSolved);
  /* A count changed since the fit (the state stays 2 but the samples are no longer valid):
   * the records would not agree with each other, and no reader could take the file back. */
  if (!InpSampSet || !OutSampSet) return Refuse(kCountsChanged);
  const RecordLines& L = kWriteLines;
  if (BF_fwrite_str(fp, Version()) != 0) return WriteFail(L.version);
  if (InpSampMtx.Write(fp) != 0) return WriteFail(L.inp);
  if (OutSampMtx.Write(fp) != 0) return WriteFail(L.out);
  const int groups = NumGlobalSol;
  if (BF_fwrite_int(fp, &groups, 1) != 0) return WriteFail(L.groups);
  if (BF_fwrite_int(fp, VecGlobalSol, groups) != 0) return WriteFail(L.sizes);
  const int kernVarType = KernVarType;
  if (BF_fwrite_int(fp, &kernVarType, 1) != 0) return WriteFail(L.kernVarType);
  if (KernVec.Write(fp) != 0) return WriteFail(L.kern);
  const int scaling = ScalingType;
  if (BF_fwrite_int(fp, &scaling, 1) != 0) return WriteFail(L.scaling);
  if (ScalesInputs(scaling)) {
    if (InpScaleVec.Write(fp) != 0) return WriteFail(L.inpScale);
    if (InpInterceptVec.Write(fp) != 0) return WriteFail(L.inpIcpt);
  }
  if (ScalesOutputs(scaling)) {
    if (OutScaleVec.Write(fp) != 0) return WriteFail(L.outScale);
    if (OutInterceptVec.Write(fp) != 0) return WriteFail(L.outIcpt);
  }
  const int corrType = CorrFuncType;
  if (BF_fwrite_int(fp, &corrType, 1) != 0) return WriteFail(L.corrType);
  if (CorrCoeff.Write(fp) != 0) return WriteFail(L.corrCoeff);
  const int polyType = PolynomType;
  if (BF_fwrite_int(fp, &polyType, 1) != 0) return WriteFail(L.polyType);
  if (polyType != 0 && PolyCoeff.Write(fp) != 0) return WriteFail(L.polyCoeff);
  const int solnType = SolnType;
  if (BF_fwrite_int(fp, &solnType, 1) != 0) return WriteFail(L.solnType);
  const int optType = KernOptType;
  if (BF_fwrite_int(fp, &optType, 1) != 0) return WriteFail(L.optType);
  return 0;
}

template <class T>
int Kriging<T>::GatherFile(FILE* fp, bool withVersion, ModelImage& img) {
  const RecordLines& L = withVersion ? kReadLines : kReadOldLines;
  /* A record that cannot be read is marked at its line; one of a shape the model cannot
   * hold ends the read without a mark. */
  int res;
  if (withVersion && (res = SkipTextRecord(fp)) != kRecordOk)
    return RecordRefusal(res, L.version, kFileRead);
  res = ReadMatrixRecord(fp, img.X, [](int r, int c) { return r >= 1 && c >= 1; });
  if (res != kRecordOk) return RecordRefusal(res, L.inp, kImageEmpty);
  const int m = RowsOf(img.X), n = ColsOf(img.X);
  res = ReadMatrixRecord(fp, img.Y, [m](int r, int c) { return r == m && c >= 1; });
  if (res != kRecordOk) return RecordRefusal(res, L.out, kImageOutputRows);
  const int q = ColsOf(img.Y);

  if ((res = ReadIntRecord(fp, img.groups)) != kRecordOk)
    return RecordRefusal(res, L.groups, kImageGroups);
  if (img.groups < 1) return TraceFail(L.sizes, kFileRead); /* no size array can be read */
  if (img.groups > q) return Refuse(kImageGroups);
  img.sizes.clear();
  SizeTo(img.sizes, static_cast<std::size_t>(img.groups));
  if (BF_fread_int(fp, img.sizes.data(), img.groups) != 0) return TraceFail(L.sizes, kFileRead);

  if ((res = ReadIntRecord(fp, img.kernVarType)) != kRecordOk)
    return RecordRefusal(res, L.kernVarType, kImageKernVarType);
  if (!KnownKernVarType(img.kernVarType)) return Refuse(kImageKernVarType);
  res = ReadVectorRecord(fp, img.kern, [n](int dim) { return KernLengthFits(dim, n); });
  if (res != kRecordOk) return RecordRefusal(res, L.kern, kImageKernelCount);

  if ((res = ReadIntRecord(fp, img.scalingType)) != kRecordOk)
    return RecordRefusal(res, L.scaling, kImageScalingType);
  if (img.scalingType < 0 || img.scalingType > 3) return Refuse(kImageScalingType);
  if (ScalesInputs(img.scalingType)) {
    if ((res = ReadVectorRecord(fp, img.inpScale, n)) != kRecordOk)
      return RecordRefusal(res, L.inpScale, kImageScaleShape);
    if ((res = ReadVectorRecord(fp, img.inpIcpt, n)) != kRecordOk)
      return RecordRefusal(res, L.inpIcpt, kImageScaleShape);
  }
  if (ScalesOutputs(img.scalingType)) {
    if ((res = ReadVectorRecord(fp, img.outScale, q)) != kRecordOk)
      return RecordRefusal(res, L.outScale, kImageScaleShape);
    if ((res = ReadVectorRecord(fp, img.outIcpt, q)) != kRecordOk)
      return RecordRefusal(res, L.outIcpt, kImageScaleShape);
  }

  if ((res = ReadIntRecord(fp, img.corrFuncType)) != kRecordOk)
    return RecordRefusal(res, L.corrType, kImageCorrFunc);
  if (!KnownCorrFunc(img.corrFuncType)) return Refuse(kImageCorrFunc);
  res = ReadMatrixRecord(fp, img.corrCoeff, [m, q](int r, int c) { return r == m && c == q; });
  if (res != kRecordOk) return RecordRefusal(res, L.corrCoeff, kImageCorrCoeffShape);

  if ((res = ReadIntRecord(fp, img.polynomType)) != kRecordOk)
    return RecordRefusal(res, L.polyType, kImagePolynomType);
  if (img.polynomType < 0 || img.polynomType > 4) return Refuse(kImagePolynomType);
  if (img.polynomType != 0) {
    const int type = img.polynomType;
    res = ReadMatrixRecord(fp, img.polyCoeff, [type, n, q](int r, int c) {
      return c == q && TrendRowsFit(type, n, r);
    });
    if (res != kRecordOk) return RecordRefusal(res, L.polyCoeff, kImageTrendShape);
  }

  if ((res = ReadIntRecord(fp, img.solnType)) != kRecordOk)
    return RecordRefusal(res, L.solnType, kFileRead);
  if (img.solnType != SolDefault) return Refuse(kImageSolnType);
  if ((res = ReadIntRecord(fp, img.kernOptType)) != kRecordOk)
    return RecordRefusal(res, L.optType, kFileRead);
  if (!KnownKernOptType(img.kernOptType)) return Refuse(kImageKernOptType);
  return 0;
}

template <class T>
int Kriging<T>::GatherCopy(Kriging& other, ModelImage& img, bool fromConstructor) {
  /* A failing getter is marked at the line of its caller: the constructor and Copy have
   * lines of their own, and Copy marks no failure of the sample getters (line 0). The getter
   * named its own refusal. */
  auto failed = [fromConstructor](int res, int ctorLine, int copyLine) {
    const int line = fromConstructor ? ctorLine : copyLine;
    if (res != 0 && line != 0) fct_Trace("aff_lieu", line, "Kriging");
    return res != 0;
  };
  /* Only a solved model has coefficients that belong to its samples. */
  if (other.GetKrigingStatus() != KrigingSolved) return Refuse(kOtherNotSolved);

  int res = 0;
  if (failed(res = other.GetInpSampMtx(img.X), 57, 0)) return res;
  if (failed(res = other.GetOutSampMtx(img.Y), 62, 0)) return res;
  const int m = RowsOf(img.X), n = ColsOf(img.X), q = ColsOf(img.Y);
  if (m < 1 || n < 1 || q < 1) return Refuse(kImageEmpty);
  if (RowsOf(img.Y) != m) return Refuse(kImageOutputRows);

  if (failed(res = other.GetNumGlobalSol(img.groups), 71, 203)) return res;
  int err = 0;
  std::unique_ptr<int[]> sizes(other.GetVecGlobalSol(err));
  if (failed(err != 0 || !sizes, 73, 205)) return err != 0 ? err : Refuse(kOutOfMemory);
  if (img.groups < 1 || img.groups > q) return Refuse(kImageGroups);
  SizeTo(img.sizes, static_cast<std::size_t>(img.groups));
  std::copy(sizes.get(), sizes.get() + img.groups, img.sizes.begin());

  E_KrigingKernVarType kernVarType = KernOneForAll;
  if (failed(res = other.GetKrigingKernVarType(kernVarType), 76, 208)) return res;
  img.kernVarType = kernVarType;
  if (failed(res = other.GetKernVec(img.kern), 77, 209)) return res;
  if (!KnownKernVarType(img.kernVarType)) return Refuse(kImageKernVarType);
  if (!KernLengthFits(img.kern.Dim(), n)) return Refuse(kImageKernelCount);

  img.scalingType = other.GetScalingType();
  if (ScalesInputs(img.scalingType)) {
    if (failed(res = other.GetInpScaleVec(img.inpScale), 98, 229)) return res;
    if (failed(res = other.GetInpInterceptVec(img.inpIcpt), 99, 230)) return res;
    if (img.inpScale.Dim() != n || img.inpIcpt.Dim() != n) return Refuse(kImageScaleShape);
  }
  if (ScalesOutputs(img.scalingType)) {
    if (failed(res = other.GetOutScaleVec(img.outScale), 109, 239)) return res;
    if (failed(res = other.GetOutInterceptVec(img.outIcpt), 110, 240)) return res;
    if (img.outScale.Dim() != q || img.outIcpt.Dim() != q) return Refuse(kImageScaleShape);
  }

  img.corrFuncType = other.GetCorrFuncType();
  if (failed(res = other.GetCorrCoeff(img.corrCoeff), 120, 249)) return res;
  if (RowsOf(img.corrCoeff) != m || ColsOf(img.corrCoeff) != q)
    return Refuse(kImageCorrCoeffShape);

  img.polynomType = other.GetPolynomType();
  if (img.polynomType != 0) {
    if (failed(res = other.GetPolyCoeff(img.polyCoeff), 131, 259)) return res;
    if (ColsOf(img.polyCoeff) != q) return Refuse(kImageTrendShape);
  }

  img.solnType = other.GetSolnType();
  img.kernOptType = other.GetKrigingKernOptType();
  return 0;
}

template <class T>
int Kriging<T>::CheckImage(ModelImage& img) {
  const int m = RowsOf(img.X), n = ColsOf(img.X), q = ColsOf(img.Y);
  if (m < 1 || n < 1 || q < 1) return Refuse(kImageEmpty);
  if (RowsOf(img.Y) != m) return Refuse(kImageOutputRows);

  const int g = img.groups;
  if (g < 1 || g > q || static_cast<int>(img.sizes.size()) != g) return Refuse(kImageGroups);
  long long sum = 0;
  for (int s : img.sizes) {
    if (s < 0) return Refuse(kImageGroupSizes);
    sum += s;
  }
  if (sum != q) return Refuse(kImageGroupSizes);

  if (!KnownKernVarType(img.kernVarType)) return Refuse(kImageKernVarType);
  if (!KernLengthFits(img.kern.Dim(), n)) return Refuse(kImageKernelCount);

  if (img.scalingType < 0 || img.scalingType > 3) return Refuse(kImageScalingType);
  if (ScalesInputs(img.scalingType) && (img.inpScale.Dim() != n || img.inpIcpt.Dim() != n))
    return Refuse(kImageScaleShape);
  if (ScalesOutputs(img.scalingType) && (img.outScale.Dim() != q || img.outIcpt.Dim() != q))
    return Refuse(kImageScaleShape);

  if (!KnownCorrFunc(img.corrFuncType)) return Refuse(kImageCorrFunc);
  if (RowsOf(img.corrCoeff) != m || ColsOf(img.corrCoeff) != q)
    return Refuse(kImageCorrCoeffShape);
  if (img.polynomType < 0 || img.polynomType > 4) return Refuse(kImagePolynomType);
  if (img.polynomType != 0 && (ColsOf(img.polyCoeff) != q ||
                               !TrendRowsFit(img.polynomType, n, RowsOf(img.polyCoeff))))
    return Refuse(kImageTrendShape);
  /* Solve fits only with these options: a model holding others would refuse its own refit. */
  if (img.solnType != SolDefault) return Refuse(kImageSolnType);
  if (!KnownKernOptType(img.kernOptType)) return Refuse(kImageKernOptType);

  /* Only what a fit can make is installed: a kernel of finite values above 0 (a negative one
   * gives correlations above 1, one that is not a number predicts nothing), and samples,
   * scale vectors and coefficients that are all numbers. */
  if (!KernelValuesUsable(img.kern)) return Refuse(kImageKernelValue);
  bool finite = AllFinite(img.X) && AllFinite(img.Y) && AllFinite(img.corrCoeff);
  if (img.polynomType != 0) finite = finite && AllFinite(img.polyCoeff);
  if (ScalesInputs(img.scalingType))
    finite = finite && AllFinite(img.inpScale) && AllFinite(img.inpIcpt);
  if (ScalesOutputs(img.scalingType))
    finite = finite && AllFinite(img.outScale) && AllFinite(img.outIcpt);
  if (!finite) return Refuse(kImageNotFinite);
  /* Scale factors are reciprocals of spreads and magnitudes, or 1: never 0 or below (a zero
   * factor would map every point onto one, or leave outputs unscaled). */
  if (ScalesInputs(img.scalingType) && !AllAbove(img.inpScale, 0.0))
    return Refuse(kImageScaleValue);
  if (ScalesOutputs(img.scalingType) && !AllAbove(img.outScale, 0.0))
    return Refuse(kImageScaleValue);

  /* The output ranges of the new samples, ready to be installed with them; outputs whose
   * group ranges have no double are refused as PutOutSampMtx refuses them. */
  if (OutputRangeTable(img.Y, q, img.rangeTable) != 0) return Refuse(kNoOutputRange);
  if (!GroupRangesOf(img.rangeTable, img.sizes.data(), g, img.groupRanges))
    return Refuse(kOutputRangeBeyondRange);
  return 0;
}

template <class T>
int Kriging<T>::InstallImage(ModelImage& img, bool asCopy) {
  const int m = RowsOf(img.X), n = ColsOf(img.X), q = ColsOf(img.Y);
  std::unique_ptr<int[]> sizes(new (std::nothrow) int[img.groups]);
  if (!sizes) return Refuse(kOutOfMemory);
  std::copy(img.sizes.begin(), img.sizes.end(), sizes.get());

  /* The containers take their values first. Should one of them throw (allocation), the
   * model must not pass for a solved model of mixed data: it is left as an empty one. */
  SamplesChanged();
  try {
    InpSampMtx = img.X;
    OutSampMtx = img.Y;
    KernVec.Assign(img.kern);
    if (ScalesInputs(img.scalingType)) {
      InpScaleVec.Assign(img.inpScale);
      InpInterceptVec.Assign(img.inpIcpt);
    }
    if (ScalesOutputs(img.scalingType)) {
      OutScaleVec.Assign(img.outScale);
      OutInterceptVec.Assign(img.outIcpt);
    }
    CorrCoeff = img.corrCoeff;
    if (img.polynomType != 0) PolyCoeff = img.polyCoeff;
    else PolyCoeff.Resize(0, q);
    OutRangeMtx = img.rangeTable;
    GlobalRangeVec.Assign(img.groupRanges);
    WorkVec.Resize(n);
  } catch (...) {
    KrigingStatus = KrigingInitial;
    InpSampSet = false;
    OutSampSet = false;
    throw;
  }

  delete[] VecGlobalSol;
  VecGlobalSol = sizes.release();
  NumGlobalSol = img.groups;
  NumSamp = m;
  NumVar = n;
  NumSol = q;
  KernVarType = static_cast<E_KrigingKernVarType>(img.kernVarType);
  /* The kernel length the model was fitted with (see KernLengthFits). */
  NumKern = img.kern.Dim();
  ScalingType = static_cast<E_KrigingScalingType>(img.scalingType);
  CorrFuncType = static_cast<E_CorrFuncType>(img.corrFuncType);
  PolynomType = static_cast<E_KrigingPolynomType>(img.polynomType);
  SolnType = static_cast<E_KrigingSolType>(img.solnType);
  KernOptType = static_cast<E_KrigingKernOptType>(img.kernOptType);
  InpSampSet = true;
  OutSampSet = true;
  KrigingStatus = KrigingSolved;
  KernToEstimate = false;
  SolveRequired = true;
  CorrStale = true;
  TrendStale = true;
  if (asCopy) {
    SolveCount = 0;
    Step = 1;
    KeepPredErr = false;
  }
  return 0;
}

template <class T>
int Kriging<T>::CheckRefit(ModelImage& img) {
  /* A model installed as solved refits itself at its kernel on the first predictor-error
   * request: samples that no fit takes (outputs whose process variance has no double) would
   * turn it unsolved there, refusing predictions and Write from then on. The refit is tried
   * here, on a model of its own with this model's tolerances. */
  Kriging<T> trial;
  trial.DropToler = DropToler;
  trial.NuggetEps = NuggetEps;
  trial.Work().quiet = true;
  if (trial.InstallImage(img, false) != 0) return 1;
  return trial.RefitAtStoredKernel() != 0 ? 1 : 0;
}

/* The readers and Copy pass on the refusals that the gathering, the checks and the refit
 * name. */
template <class T>
int Kriging<T>::ReadModel(FILE* fp, bool withVersion) {
  ModelImage img;
  if (GatherFile(fp, withVersion, img) != 0) return 1;
  if (CheckImage(img) != 0) return 1;
  if (CheckRefit(img) != 0) return 1;
  return InstallImage(img, false);
}

template <class T>
int Kriging<T>::TakeModel(Kriging& other, bool fromConstructor) {
  ModelImage img;
  int res = GatherCopy(other, img, fromConstructor);
  if (res == 0) res = CheckImage(img);
  if (res == 0) res = CheckRefit(img);
  if (res == 0) res = InstallImage(img, true);
  return res;
}

template <class T>
int Kriging<T>::Read(FILE* fp) {
  return ReadModel(fp, true);
}

template <class T>
int Kriging<T>::ReadOld(FILE* fp) {
  if (fp == nullptr) {
    /* The first record is a matrix: its reader refuses the null stream (code 12). */
    C_MatMGe<T> first(0, 0);
    first.Read(fp);
    return Refuse(kFileRead);
  }
  return ReadModel(fp, false);
}

/* The constructor reports the failing step's result (a getter's own included), Copy 1. */
template <class T>
Kriging<T>::Kriging(Kriging& other, int& err) : Kriging() {
  err = TakeModel(other, true);
}

template <class T>
int Kriging<T>::Copy(Kriging* other) {
  if (other == nullptr) return Refuse(kNoOtherModel);
  return TakeModel(*other, false) != 0 ? 1 : 0;
}

/* Explicit instances of the members defined in this file, for both element types (the class
 * itself is instantiated in Kriging.cpp). */
#define KRIGING_PERSIST_MEMBERS(T) \
  template Kriging<T>::Kriging(Kriging& other, int& err); \
  template const char* Kriging<T>::Version() const; \
  template int Kriging<T>::Write(FILE* fp); \
  template int Kriging<T>::Read(FILE* fp); \
  template int Kriging<T>::ReadOld(FILE* fp); \
  template int Kriging<T>::Copy(Kriging* other); \
  template int Kriging<T>::ReadModel(FILE* fp, bool withVersion); \
  template int Kriging<T>::TakeModel(Kriging& other, bool fromConstructor); \
  template int Kriging<T>::GatherCopy(Kriging& other, ModelImage& img, bool fromConstructor); \
  template int Kriging<T>::GatherFile(FILE* fp, bool withVersion, ModelImage& img); \
  template int Kriging<T>::CheckImage(ModelImage& img); \
  template int Kriging<T>::InstallImage(ModelImage& img, bool asCopy); \
  template int Kriging<T>::CheckRefit(ModelImage& img);

KRIGING_PERSIST_MEMBERS(double)
KRIGING_PERSIST_MEMBERS(std::complex<double>)
