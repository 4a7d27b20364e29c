/* kriging_refusal.h: why a Kriging operation said no. Every check that makes an operation of
 * Kriging<T> return 1 has a reason of its own, and the refusal names it in one line routed as
 * the fit lines are (information, verbosity 3, debug scope 502, all streams): it shows exactly
 * where they show, and nowhere while scope 502 is off. A failure passed on from another
 * operation of the model is no new refusal: that operation has named it, and one failure
 * gives one line. */
#ifndef KVELO_KRIGING_REFUSAL_H
#define KVELO_KRIGING_REFUSAL_H

#include "C_KveloMessage.h"
#include "runtime/shown_line.h"

namespace kriging_internal {

/* The debug scope of the fit lines and of the refusal lines. */
const Kvelo::MessageToolEnums::E_DebugScope_enum kKrigingScope =
    Kvelo::MessageToolEnums::SCOPE_KRIGING;

/* Prints one of the model's log lines: information, verbosity 3, scope 502, all streams, from
 * the place (function, line) of the source file "Kriging", its text written by compose(msg);
 * only when shown, and never failing (runtime/shown_line.h). */
template <class Compose>
void PrintLine(const char* function, int line, Compose compose) noexcept {
  using namespace Kvelo::MessageToolEnums;
  kvrt::PrintShownLine(
      [&] {
        return Kvelo::C_KveloMessage(function, "Kriging", line, TYPE_INFORMATION, LEVEL_INTERNAL,
                                     kKrigingScope, STREAM_ALL);
      },
      compose);
}

/* One reason per check. The texts are in kriging_refusal.cpp, in this order. */
enum E_Refusal : int {
  /* counts, tolerances, options */
  kInputCountNotPositive,
  kOutputCountNotPositive,
  kGroupCountOutOfRange,
  kGroupSizesMissing,
  kGroupSizeNegative,
  kGroupSizesSum,
  kDropTolerOutOfRange,
  kOptSampleCountTooLarge,
  kSampleCountNotPositive,
  kIterLimitNotPositive,
  kSolnType,
  kKernVarType,
  kKernOptType,
  kCorrFuncType,
  kPolynomType,
  kScalingType,
  /* readiness */
  kInputsNotGiven,
  kOutputCountNotSet,
  kOutputsNotGiven,
  kInputCountNotSet,
  kNotSolved,
  kNoFitOfItsOwn,
  kCountsChanged,
  /* sample data */
  kInputsEmpty,
  kOutputsShape,
  kAppendEmpty,
  kAppendInputsWidth,
  kAppendOutputsShape,
  kAppendTooMany,
  kAppendNotFinite,
  kSamplesNotFinite,
  kNoOutputRange,
  kRangeTableShape,
  kOutputRangeBeyondRange,
  /* kernel */
  kKernelCount,
  kKernelValue,
  kKernelShort,
  /* fit */
  kFitShape,
  kFitTrendShape,
  kNotPositiveDefinite,
  kTrendRankDeficient,
  kVarianceUnderflow,
  kVarianceNotFinite,
  kObjectiveNotFinite,
  kObjectiveUnderflow,
  kSingularFactor,
  kFitKernelLength,
  /* kernel search */
  kSearchShape,
  kKernelOutsideBox,
  kNoKernelFits,
  /* points and values from the host */
  kNoPoints,
  kPointsWidth,
  kPointTooShort,
  kPointsNotFinite,
  kTooManyPoints,
  kTermCount,
  kFewPoints,
  kValueShapes,
  kValueLengths,
  kValuesNotFinite,
  kNoValues,
  kNoSpread,
  kR2BeyondRange,
  kDifferenceBeyondRange,
  kRelativeErrorBeyondRange,
  kVarianceBeyondRange,
  kInputSpreadBeyondRange,
  kKernelEstimateBeyondRange,
  kCheckShapes,
  kErrorShapes,
  kNoGroupRanges,
  kScaleVectorsShape,
  /* prediction and predictor errors */
  kNoTestInputs,
  kFitStale,
  kNoFactor,
  kNoVariances,
  kErrorTrendShape,
  kErrorCorrShape,
  kCorrelationsNotFinite,
  kSingularTrendFactor,
  kPredictionNotFinite,
  kOutputIndex,
  kNoTrend,
  /* refinement */
  kTestInputsShape,
  kCandidatesWidth,
  kMinDistance,
  kCandidateOutputsWidth,
  kCandidateOutputsRows,
  kSelectionShape,
  /* model file and copies */
  kFileWrite,
  kFileRead,
  kNoOtherModel,
  kOtherNotSolved,
  kImageEmpty,
  kImageOutputRows,
  kImageGroups,
  kImageGroupSizes,
  kImageKernVarType,
  kImageKernelCount,
  kImageKernelValue,
  kImageScalingType,
  kImageScaleShape,
  kImageCorrFunc,
  kImageCorrCoeffShape,
  kImagePolynomType,
  kImageTrendShape,
  kImageNotFinite,
  kImageSolnType,
  kImageScaleValue,
  kImageKernOptType,
  /* resources */
  kOutOfMemory,
  kContainerFailed,
  kRefusalCount
};

/* The reason's text, a short sentence that starts with "Kriging: "; null outside the list. */
const char* RefusalText(int reason);

/* Prints the reason's line and returns 1, the result of every refusal. */
int Refuse(E_Refusal reason);

/* What a model lacks for a fit, in the order the host gives it: sample inputs, output count,
 * sample outputs, input count (a kernel count of 0 means neither PutNumVar nor PutKernVec has
 * set it). */
inline E_Refusal MissingData(bool inputsSet, bool outputsSet, int m, int n, int p, int q) {
  if (!inputsSet || m <= 0) return kInputsNotGiven;
  if (q <= 0) return kOutputCountNotSet;
  if (!outputsSet) return kOutputsNotGiven;
  if (n <= 0 || p <= 0) return kInputCountNotSet;
  return kInputsNotGiven;
}

}  // namespace kriging_internal

#endif
