/* kriging_refusal.cpp: the texts of the reasons why a Kriging operation refuses, and the line
 * that names one, printed through the message tool beside the fit lines. */
#include "kriging_refusal.h"

namespace kriging_internal {

namespace {

/* In the order of E_Refusal. */
const char* const kTexts[] = {
    /* counts, tolerances, options */
    "Kriging: the number of inputs must be above 0 (PutNumVar)",
    "Kriging: the number of outputs must be above 0 (PutNumSol)",
    "Kriging: the number of output groups must lie between 1 and the number of outputs "
    "(PutNumSol)",
    "Kriging: the sizes of the output groups are missing (PutNumSol)",
    "Kriging: an output group has a negative size (PutNumSol)",
    "Kriging: the sizes of the output groups do not add up to the number of outputs (PutNumSol)",
    "Kriging: the drop tolerance must lie strictly between 0 and 1 (PutDropToler)",
    "Kriging: the recommended number of samples exceeds an int (GetOptNumSamp)",
    "Kriging: the number of samples must be above 0 (PutNumSamp)",
    "Kriging: the iteration limit must be above 0 (PutMaxNumIter)",
    "Kriging: the solution type must be 0 (PutSolnType)",
    "Kriging: the kernel parameterisation must be 0 or 1 (PutKrigingKernVarType)",
    "Kriging: the kernel optimisation must be 0 or 1 (PutKrigingKernOptType)",
    "Kriging: the correlation function must be 1, 2, 3 or 7 (PutCorrFuncType)",
    "Kriging: the trend type must lie between 0 and 4 (PutPolynomType)",
    "Kriging: the scaling type must lie between 0 and 3 (PutScalingType)",
    /* readiness */
    "Kriging: the sample inputs are not given (PutInpSampMtx)",
    "Kriging: the number of outputs is not set (PutNumSol)",
    "Kriging: the sample outputs are not given (PutOutSampMtx)",
    "Kriging: the number of inputs is not set (PutNumVar)",
    "Kriging: the model is not solved (Solve)",
    "Kriging: a read or copied model holds no fit of its own until it is refitted",
    "Kriging: a count changed since the fit; the samples must be given again",
    /* sample data */
    "Kriging: the sample inputs have no rows or no columns (PutInpSampMtx)",
    "Kriging: the sample outputs need one row per sample and one column per output "
    "(PutOutSampMtx)",
    "Kriging: there are no rows to append (AppendSampData)",
    "Kriging: the appended inputs do not have one column per input (AppendSampData)",
    "Kriging: the appended outputs need one row per appended input and one column per output "
    "(AppendSampData)",
    "Kriging: the appended rows would make more samples than an int counts (AppendSampData)",
    "Kriging: the appended rows hold a value that is not finite (AppendSampData)",
    "Kriging: the samples hold a value that is not finite (PutInpSampMtx, PutOutSampMtx)",
    "Kriging: the output ranges need a sample of every output",
    "Kriging: the output range table does not fit the outputs",
    "Kriging: the range of an output group lies beyond the range of doubles",
    /* kernel */
    "Kriging: the kernel needs one value, or one per input with parameterisation 1 (PutKernVec)",
    "Kriging: a kernel value is not a finite number above 0 (PutKernVec)",
    "Kriging: the kernel does not hold one value per input (PutKernVec)",
    /* fit */
    "Kriging: the correlation matrix or the outputs do not fit the samples",
    "Kriging: the trend matrix does not fit the samples",
    "Kriging: the correlation matrix is not positive definite",
    "Kriging: the trend matrix does not have full rank",
    "Kriging: the process variance of an output lies below the range of doubles",
    "Kriging: the process variance of an output is not finite",
    "Kriging: the likelihood objective is not finite",
    "Kriging: the likelihood objective lies below the range of doubles",
    "Kriging: the Cholesky factor of the correlation matrix is singular",
    "Kriging: the kernel to fit with holds neither one value nor one per input",
    /* kernel search */
    "Kriging: the kernel search box does not fit the kernel",
    "Kriging: a start value of the kernel search lies outside its box",
    "Kriging: no kernel of the search could be fitted",
    /* points and values from the host */
    "Kriging: there are no points",
    "Kriging: the points do not have one column per input",
    "Kriging: a point has fewer values than there are inputs",
    "Kriging: the points hold a value that is not finite",
    "Kriging: the correlation matrix of so many points exceeds an int count",
    "Kriging: no trend type has the requested number of terms",
    "Kriging: the variances need at least as many points as inputs",
    "Kriging: the two value matrices differ in shape",
    "Kriging: the two value vectors differ in length",
    "Kriging: the values hold a number that is not finite",
    "Kriging: there are no values",
    "Kriging: the values do not spread around the mean of the reference values: R^2 has no value",
    "Kriging: R^2 lies beyond the range of doubles",
    "Kriging: a difference of two values lies beyond the range of doubles",
    "Kriging: a relative error lies beyond the range of doubles",
    "Kriging: the variance of a column lies beyond the range of doubles",
    "Kriging: the spread of an input lies beyond what its scale factor and intercept can hold",
    "Kriging: the inputs spread too much or too little for a kernel estimate: scale the inputs "
    "(PutScalingType) or give the kernel (PutKernVec)",
    "Kriging: the points need one column per input and the values one column per output, "
    "row for row",
    "Kriging: the values and the errors need one row per point and one column per output",
    "Kriging: the output groups or their ranges are not set",
    "Kriging: the scale factors and intercepts do not have one value per column",
    /* prediction and predictor errors */
    "Kriging: no test inputs are given (PutInpTestMtx)",
    "Kriging: the fitted coefficients do not belong to the current samples",
    "Kriging: the model holds no factor of a fit",
    "Kriging: the model holds no process variance per output",
    "Kriging: the trend rows do not fit the trend of the last fit",
    "Kriging: the correlations do not have one column per sample of the last fit",
    "Kriging: the correlations or trend rows hold a value that is not finite",
    "Kriging: the trend factor of the last fit is singular",
    "Kriging: a prediction or predictor error is not finite",
    "Kriging: the output index lies outside the outputs (GetProcVarnc)",
    "Kriging: the model has no trend (PutPolynomType)",
    /* refinement */
    "Kriging: the test inputs need rows and one column per input (PutInpTestMtx)",
    "Kriging: the candidates have fewer columns than there are inputs",
    "Kriging: the minimum distance is not a finite number",
    "Kriging: the candidate outputs do not have one column per output",
    "Kriging: the candidate outputs have neither one row per candidate nor one per accepted "
    "candidate",
    "Kriging: the values to select from do not have one value per point",
    /* model file and copies */
    "Kriging: a record of the model file cannot be written",
    "Kriging: a record of the model file cannot be read",
    "Kriging: there is no model to copy",
    "Kriging: the model to copy is not solved",
    "Kriging: the model to install has no samples, no inputs or no outputs",
    "Kriging: the model to install has outputs of another row count than its inputs",
    "Kriging: the model to install has no output group, or more groups than outputs",
    "Kriging: the model to install has group sizes that are negative or do not add up to its "
    "outputs",
    "Kriging: the model to install has a kernel parameterisation other than 0 and 1",
    "Kriging: the model to install has a kernel of neither one value nor one per input",
    "Kriging: the model to install has a kernel value that is not a finite number above 0",
    "Kriging: the model to install has a scaling type outside 0 to 3",
    "Kriging: the model to install has scale factors or intercepts of another length than its "
    "inputs or outputs",
    "Kriging: the model to install has a correlation function other than 1, 2, 3 and 7",
    "Kriging: the model to install has correlation coefficients of another shape than samples "
    "by outputs",
    "Kriging: the model to install has a trend type outside 0 to 4",
    "Kriging: the model to install has trend coefficients of a shape that fits no trend",
    "Kriging: the model to install has a sample, scale factor, intercept or coefficient that "
    "is not finite",
    "Kriging: the model to install has a solution type other than 0",
    "Kriging: the model to install has a scale factor that is not above 0",
    "Kriging: the model to install has a kernel optimisation other than 0 and 1",
    /* resources */
    "Kriging: memory cannot be allocated",
    "Kriging: a matrix or vector cannot be copied or resized",
};

static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == kRefusalCount,
              "one text per reason of refusal");

}  // namespace

const char* RefusalText(int reason) {
  if (reason < 0 || reason >= kRefusalCount) return nullptr;
  return kTexts[reason];
}

int Refuse(E_Refusal reason) {
  const char* text = RefusalText(reason);
  if (text != nullptr)
    PrintLine("Kriging<T>::Refuse", __LINE__,
              [text](Kvelo::C_KveloMessage& m) { m.Append("%s", text); });
  return 1;
}

}  // namespace kriging_internal
