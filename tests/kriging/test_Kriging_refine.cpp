/* test_Kriging_refine.cpp: refinement points and test inputs: selection order, ties and
 * sample points left out, ranked values against a dense model, the point tolerance, stored
 * test inputs, CheckNewPoints distances and the refinement Solve with its output pairing. */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

#include "kriging_fixtures.h"

namespace {

/* A model holding the 1-D samples 0, 1, 2, 3 (no outputs needed to test the selection). */
void OneDimSamples(Kriging<double>& k) {
  C_MatMGe<double> X = MakeMat<double>(4, 1, {0.0, 1.0, 2.0, 3.0});
  ASSERT_EQ(0, k.PutInpSampMtx(X));
}

RVec Values(std::initializer_list<double> v) {
  RVec r(static_cast<int>(v.size()));
  int i = 0;
  for (double x : v) r[i++] = x;
  return r;
}

struct Selection {
  int res, k;
  std::vector<int> index;
  std::vector<double> values;
};

Selection Select(KrigingProbe<double>& m, C_MatMGe<double>& P, RVec vals, int k) {
  Selection s;
  std::vector<int> index(static_cast<std::size_t>(std::max(k, 1)), -1);
  RVec out(0);
  s.k = k;
  s.res = m.SelectMaxErrPoints(P, vals, s.k, index.data(), out);
  s.index.assign(index.begin(), index.begin() + std::max(s.k, 0));
  for (int i = 0; i < out.Dim(); ++i) s.values.push_back(out[i]);
  return s;
}

}  // namespace

/* Values 0.5, 0.9, 0.9, 0.1: the later of two equal values first; a full list drops what
 * is not greater than its last entry; k beyond the eligible points comes back smaller. */
TEST(KrigingRefine, SelectionOrderAndTies) {
  KrigingProbe<double> m;
  OneDimSamples(m);
  C_MatMGe<double> P = MakeMat<double>(4, 1, {10.0, 11.0, 12.0, 13.0});

  Selection s = Select(m, P, Values({0.5, 0.9, 0.9, 0.1}), 3);
  EXPECT_EQ(0, s.res);
  EXPECT_EQ(3, s.k);
  EXPECT_EQ(std::vector<int>({2, 1, 0}), s.index);
  EXPECT_EQ(std::vector<double>({0.9, 0.9, 0.5}), s.values);

  s = Select(m, P, Values({0.5, 0.9, 0.9, 0.1}), 2);
  EXPECT_EQ(std::vector<int>({2, 1}), s.index);

  s = Select(m, P, Values({0.5, 0.9, 0.9, 0.1}), 10);
  EXPECT_EQ(4, s.k);
  EXPECT_EQ(std::vector<int>({2, 1, 0, 3}), s.index);

  /* Equal values throughout: the last point first. */
  s = Select(m, P, Values({0.2, 0.2, 0.2, 0.2}), 3);
  EXPECT_EQ(std::vector<int>({3, 2, 1}), s.index);

  s = Select(m, P, Values({0.5, 0.9, 0.9, 0.1}), 0);
  EXPECT_EQ(0, s.res);
  EXPECT_EQ(0, s.k);
  EXPECT_TRUE(s.values.empty());

  /* One value per point, or nothing is selected. */
  s = Select(m, P, Values({0.5, 0.9, 0.9}), 2);
  EXPECT_EQ(1, s.res);
}

/* A value that is not a number cannot be ranked: wherever it stands, the selection is
 * refused and nothing is selected (it would otherwise be passed over, or named first). */
TEST(KrigingRefine, NotANumberIsRefused) {
  KrigingProbe<double> m;
  OneDimSamples(m);
  C_MatMGe<double> P = MakeMat<double>(3, 1, {10.0, 11.0, 12.0});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int at = 0; at < 3; ++at) {
    RVec v = Values({0.5, 0.7, 0.1});
    v[at] = nan;
    Selection s = Select(m, P, v, 2);
    EXPECT_EQ(1, s.res) << at;
    EXPECT_TRUE(s.values.empty()) << at;
  }
}

/* Points closer than 1e-7 to a sample are never named, whatever their value and the fill
 * of the list; at exactly 1e-7 a point is not a sample point. */
TEST(KrigingRefine, SamplePointsAreNeverNamed) {
  KrigingProbe<double> m;
  OneDimSamples(m);
  C_MatMGe<double> P = MakeMat<double>(5, 1, {10.0, 1.0, 2.0 + 0.5e-7, 11.0, 1e-7});
  EXPECT_FALSE(m.IsInputPoint(P, 0));
  EXPECT_TRUE(m.IsInputPoint(P, 1));
  EXPECT_TRUE(m.IsInputPoint(P, 2));
  EXPECT_FALSE(m.IsInputPoint(P, 4)); /* distance 1e-7 from the sample 0: not below it */
  Selection s = Select(m, P, Values({0.5, 0.99, 0.98, 0.1, 0.2}), 5);
  EXPECT_EQ(3, s.k);
  EXPECT_EQ(std::vector<int>({0, 4, 3}), s.index);
  s = Select(m, P, Values({0.5, 0.99, 0.98, 0.1, 0.2}), 1);
  EXPECT_EQ(std::vector<int>({0}), s.index);

  /* Only sample points: none named. */
  C_MatMGe<double> S = MakeMat<double>(2, 1, {3.0, 0.0});
  s = Select(m, S, Values({1.0, 2.0}), 2);
  EXPECT_EQ(0, s.k);

  /* A row outside the points, or points narrower than the inputs: not a sample point. */
  EXPECT_FALSE(m.IsInputPoint(P, 5));
  EXPECT_FALSE(m.IsInputPoint(P, -1));
  C_MatMGe<double> empty(1, 0);
  EXPECT_FALSE(m.IsInputPoint(empty, 0));
  Kriging<double> none;
  EXPECT_FALSE(none.IsInputPoint(P, 0));
}

/* Complex distances are moduli of the complex differences. */
TEST(KrigingRefine, ComplexPointTolerance) {
  Kriging<cplx> m;
  C_MatMGe<cplx> X = MakeMat<cplx>(2, 2, {cplx(0, 0), cplx(1, 1), cplx(2, 0), cplx(0, 2)});
  ASSERT_EQ(0, m.PutInpSampMtx(X));
  C_MatMGe<cplx> P = MakeMat<cplx>(3, 2, {cplx(3e-8, 4e-8), cplx(1, 1),      //
                                          cplx(6e-8, 9e-8), cplx(1, 1),      //
                                          cplx(2, 0), cplx(0, 2.0 + 5e-8)});
  EXPECT_TRUE(m.IsInputPoint(P, 0));
  EXPECT_FALSE(m.IsInputPoint(P, 1));
  EXPECT_TRUE(m.IsInputPoint(P, 2));
}

namespace {

/* Relative predictor error per point of a one-group model, by the textbook formulas: the
 * norm of the predictor errors over that of the predictions, or over half the group range
 * (at least the drop tolerance) plus it below 1e-4 of the range. */
std::vector<double> RefGroupRelErr(const RefKriging<double>& ref, C_MatMGe<double>& P,
                                   double range) {
  std::vector<double> out;
  for (int i = 0; i < P.rows; ++i) {
    const std::vector<double> x = RowOf(P, i);
    double f2 = 0.0, v2 = 0.0;
    for (int k = 0; k < ref.q; ++k) {
      const double e = ref.PredErr(x, k), y = ref.Predict(x, k);
      f2 += e * e;
      v2 += y * y;
    }
    const double f = std::sqrt(f2), v = std::sqrt(v2);
    out.push_back(RefRelErr(f, v, range, 1e-8));
  }
  return out;
}

}  // namespace

/* EvalModel with k > 0 ranks the points by their relative predictor error: the values are
 * those of an independent dense model, the named points are the largest in order (the
 * sample point among them left out), maxErr the largest value. */
TEST(KrigingRefine, RefinementPointsAgainstDenseModel) {
  C_MatMGe<double> X = MakeMat<double>(5, 1, {0.0, 0.25, 0.6, 0.8, 1.0});
  C_MatMGe<double> Y(5, 2);
  for (int i = 0; i < 5; ++i) {
    Y.SetVal(i, 0, std::sin(3.0 * X.GetVal(i, 0)));
    Y.SetVal(i, 1, 2.0 + X.GetVal(i, 0) * X.GetVal(i, 0));
  }
  KrigingProbe<double> k;
  SmallModelSpec s;
  s.groups = 1;
  s.poly = PolyConstant;
  s.theta = {6.0};
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
  RefKriging<double> ref;
  ref.Fit(X, Y, CorrGaussian, PolyConstant, {6.0});
  /* Output ranges: sin(3x) over the samples from 0 to sin(1.8); 2 + x^2 from 2 to 3. */
  const double spread = MagSpread(Y, 0);
  const double range = std::sqrt(spread * spread + 1.0);

  C_MatMGe<double> P = MakeMat<double>(7, 1, {-0.3, 0.1, 0.6, 0.45, 0.7, 1.2, 0.9});
  const std::vector<double> want = RefGroupRelErr(ref, P, range);
  C_MatMGe<double> Yp, Xsel;
  int n = 3;
  double maxErr = -1.0;
  ASSERT_EQ(0, k.EvalModel(P, Yp, n, Xsel, maxErr, false));
  ASSERT_EQ(7, k.GetTestRelativeErrorDim());
  /* At the sample 0.6 the error is the root of a bracket of the nugget's size, which two
   * methods agree on to a few digits only. */
  for (int i = 0; i < 7; ++i)
    EXPECT_NEAR(want[i], k.TestRelativeError(i), (i == 2 ? 1e-3 : 1e-7) * want[i]) << i;

  /* The three largest among the points other than the sample 0.6. */
  std::vector<int> order = {0, 1, 3, 4, 5, 6};
  std::sort(order.begin(), order.end(), [&](int a, int b) { return want[a] > want[b]; });
  ASSERT_EQ(3, n);
  ASSERT_EQ(3, Xsel.rows);
  ASSERT_EQ(1, Xsel.cols);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(P.GetVal(order[r], 0), Xsel.GetVal(r, 0)) << r;
  EXPECT_EQ(k.TestRelativeError(order[0]), maxErr);
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 2; ++j)
      EXPECT_NEAR(ref.Predict(RowOf(P, i), j), Yp.GetVal(i, j), 1e-9);
  EXPECT_EQ(0, k.PredErrMtx.rows); /* kept only when asked for */
}

/* Points named with input scaling are the caller's rows; only sample points: k = 0,
 * maxErr = 0 and Xsel untouched; k <= 0 leaves k, Xsel and maxErr alone. */
TEST(KrigingRefine, NamedPointsAreTheCallersRows) {
  C_MatMGe<double> X = MakeMat<double>(5, 2, {100, 10, 150, 20, 200, 10, 120, 30, 180, 25});
  C_MatMGe<double> Y = SmoothOutputs(X, 1);
  Kriging<double> k;
  SmallModelSpec s;
  s.scaling = ScaleInputs;
  s.poly = PolyConstant;
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));

  C_MatMGe<double> P = MakeMat<double>(4, 2, {110, 12, 190, 28, 160, 15, 130, 22});
  C_MatMGe<double> Yp, Xsel;
  int n = 2;
  double maxErr = 0.0;
  ASSERT_EQ(0, k.EvalModel(P, Yp, n, Xsel, maxErr, false));
  ASSERT_EQ(2, n);
  std::vector<int> order = {0, 1, 2, 3};
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return k.TestRelativeError(a) > k.TestRelativeError(b);
  });
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c) EXPECT_EQ(P.GetVal(order[r], c), Xsel.GetVal(r, c));

  C_MatMGe<double> sentinel = MakeMat<double>(1, 1, {-7.0});
  Xsel = sentinel;
  n = 4;
  maxErr = 5.0;
  C_MatMGe<double> Sx = MakeMat<double>(2, 2, {150, 20, 200, 10});
  ASSERT_EQ(0, k.EvalModel(Sx, Yp, n, Xsel, maxErr, false));
  EXPECT_EQ(0, n);
  EXPECT_EQ(0.0, maxErr);
  EXPECT_TRUE(SameMat(sentinel, Xsel));
  EXPECT_EQ(2, k.GetTestRelativeErrorDim());

  n = -1;
  maxErr = 5.0;
  ASSERT_EQ(0, k.EvalModel(P, Yp, n, Xsel, maxErr, false));
  EXPECT_EQ(-1, n);
  EXPECT_EQ(5.0, maxErr);
  EXPECT_TRUE(SameMat(sentinel, Xsel));
  EXPECT_EQ(2, k.GetTestRelativeErrorDim()); /* replaced only by runs with k > 0 */

  /* One matrix as points and selection: the points are read before Xsel is written. */
  C_MatMGe<double> Q = P;
  n = 1;
  ASSERT_EQ(0, k.EvalModel(Q, Yp, n, Q, maxErr, false));
  ASSERT_EQ(1, Q.rows);
  EXPECT_EQ(P.GetVal(order[0], 0), Q.GetVal(0, 0));
}

/* Stored test inputs: refusals leave none; a useTest evaluation predicts at them; new test
 * inputs replace them and the caches, also with another number of rows; a refinement run
 * under useTest ranks the test inputs. */
TEST(KrigingRefine, StoredTestInputs) {
  C_MatMGe<cplx> X = SampleInputs<cplx>(8, 2, 21u);
  C_MatMGe<cplx> Y = SmoothOutputs(X, 2);
  KrigingProbe<cplx> k;
  SmallModelSpec s;
  s.groups = 2;
  s.scaling = ScaleInputsOutputs;
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));

  C_MatMGe<cplx> none(0, 2), wide = SampleInputs<cplx>(3, 3, 1u);
  EXPECT_EQ(1, k.PutInpTestMtx(none));
  EXPECT_EQ(1, k.PutInpTestMtx(wide));
  EXPECT_FALSE(k.InpTestSet);
  C_MatMGe<cplx> Yt, Yd, sel;
  int n = 0;
  double e = 0.0;
  EXPECT_EQ(1, k.EvalModel(X, Yt, n, sel, e, true));

  C_MatMGe<cplx> T1 = SampleInputs<cplx>(5, 2, 31u), T2 = SampleInputs<cplx>(3, 2, 32u);
  ASSERT_EQ(0, k.PutInpTestMtx(T1));
  EXPECT_TRUE(k.InpTestSet);
  EXPECT_TRUE(k.CorrStale);
  EXPECT_TRUE(k.TrendStale);
  ASSERT_EQ(0, k.EvalModel(X, Yt, n, sel, e, true));
  ASSERT_EQ(0, k.EvalModel(T1, Yd));
  EXPECT_TRUE(SameMat(Yd, Yt));
  EXPECT_FALSE(k.CorrStale);

  ASSERT_EQ(0, k.PutInpTestMtx(T2));
  EXPECT_TRUE(k.CorrStale);
  EXPECT_TRUE(k.TrendStale);
  ASSERT_EQ(0, k.EvalModel(X, Yt, n, sel, e, true));
  ASSERT_EQ(0, k.EvalModel(T2, Yd));
  EXPECT_TRUE(SameMat(Yd, Yt));

  n = 3;
  ASSERT_EQ(0, k.EvalModel(X, Yt, n, sel, e, true));
  EXPECT_EQ(3, k.GetTestRelativeErrorDim());
  EXPECT_EQ(3, n);
  ASSERT_EQ(3, sel.rows);
  for (int r = 0; r < 3; ++r) {
    bool found = false;
    for (int i = 0; i < 3; ++i) found = found || (T2.GetVal(i, 0) == sel.GetVal(r, 0));
    EXPECT_TRUE(found) << r;
  }
}

/* A refused PutInpTestMtx on a model that holds test inputs changes nothing: no rows, one
 * column too many or too few, a part that is not finite in the first, a middle or the last
 * value. The stored inputs stay with their caches, and a useTest refinement run gives what
 * the same run at those points given directly gives. */
TEST(KrigingRefine, RefusedTestInputsKeepTheStoredOnes) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  C_MatMGe<cplx> X = SampleInputs<cplx>(8, 2, 21u);
  C_MatMGe<cplx> Y = SmoothOutputs(X, 2);
  KrigingProbe<cplx> k;
  SmallModelSpec s;
  s.groups = 2;
  s.scaling = ScaleInputsOutputs;
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
  C_MatMGe<cplx> T1 = SampleInputs<cplx>(5, 2, 31u);
  ASSERT_EQ(0, k.PutInpTestMtx(T1));

  /* What a run at T1 gives: directly, then through the stored inputs (caches filled). */
  C_MatMGe<cplx> Yd, Sd;
  int nd = 3;
  double ed = -1.0;
  ASSERT_EQ(0, k.EvalModel(T1, Yd, nd, Sd, ed, false));
  ASSERT_EQ(5, k.GetTestRelativeErrorDim());
  std::vector<double> reld;
  for (int i = 0; i < 5; ++i) reld.push_back(k.TestRelativeError(i));
  auto expectRunAtT1 = [&]() {
    C_MatMGe<cplx> Yt, St;
    int nt = 3;
    double et = -1.0;
    ASSERT_EQ(0, k.EvalModel(X, Yt, nt, St, et, true));
    EXPECT_TRUE(SameMat(Yd, Yt));
    EXPECT_EQ(nd, nt);
    EXPECT_TRUE(SameMat(Sd, St));
    EXPECT_EQ(ed, et);
    ASSERT_EQ(5, k.GetTestRelativeErrorDim());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(reld[i], k.TestRelativeError(i)) << i;
  };
  ASSERT_NO_FATAL_FAILURE(expectRunAtT1());
  ASSERT_FALSE(k.CorrStale);
  ASSERT_FALSE(k.TrendStale);

  struct Case {
    const char* what;
    int rows, cols, row, col; /* row < 0: no value spoilt */
    cplx bad;
  };
  const Case cases[] = {
      {"no rows", 0, 2, -1, 0, cplx(0.0)},
      {"one column too many", 5, 3, -1, 0, cplx(0.0)},
      {"one column too few", 5, 1, -1, 0, cplx(0.0)},
      {"NaN first", 3, 2, 0, 0, cplx(nan, 0.0)},
      {"infinite imaginary part in the middle", 3, 2, 1, 0, cplx(0.5, inf)},
      {"NaN imaginary part last", 3, 2, 2, 1, cplx(0.5, nan)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    C_MatMGe<cplx> Tm = SampleInputs<cplx>(c.rows, c.cols, 41u);
    if (c.row >= 0) Tm.SetVal(c.row, c.col, c.bad);
    EXPECT_EQ(1, k.PutInpTestMtx(Tm));
    EXPECT_TRUE(k.InpTestSet);
    EXPECT_TRUE(SameMat(T1, k.InpTestMtx));
    EXPECT_FALSE(k.CorrStale);
    EXPECT_FALSE(k.TrendStale);
    ASSERT_NO_FATAL_FAILURE(expectRunAtT1());
  }
}

/* CheckNewPoints with dmin 0.5 over samples (0, 0) and (1, 0): a candidate at distance 0.5
 * is dropped and one at 0.5001 kept; of two candidates 0.3 apart the first is kept; the
 * extra columns come along; the sign of dmin does not matter. */
TEST(KrigingRefine, CheckNewPointsDistances) {
  Kriging<double> k;
  C_MatMGe<double> X = MakeMat<double>(2, 2, {0.0, 0.0, 1.0, 0.0});
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  C_MatMGe<double> cand = MakeMat<double>(5, 3, {0.5, 0.0, 10.0,     //
                                                 0.0, 0.5001, 11.0,  //
                                                 3.0, 3.0, 12.0,     //
                                                 3.0, 3.3, 13.0,     //
                                                 5.0, 5.0, 14.0});
  for (double dmin : {0.5, -0.5}) {
    C_MatMGe<double> kept;
    int* index = nullptr;
    ASSERT_EQ(0, k.CheckNewPoints(cand, kept, index, dmin));
    ASSERT_NE(nullptr, index);
    std::unique_ptr<int[]> own(index);
    ASSERT_EQ(3, kept.rows);
    ASSERT_EQ(3, kept.cols);
    const int rows[3] = {1, 2, 4};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(rows[i], index[i]);
      for (int c = 0; c < 3; ++c) EXPECT_EQ(cand.GetVal(rows[i], c), kept.GetVal(i, c));
    }
  }

  /* The caller's index array, and kept written over the candidates themselves. */
  int mine[5] = {-1, -1, -1, -1, -1};
  int* index = mine;
  C_MatMGe<double> same = cand;
  ASSERT_EQ(0, k.CheckNewPoints(same, same, index, 2.0));
  EXPECT_EQ(mine, index);
  ASSERT_EQ(2, same.rows); /* (0, 0.5001) is within 2 of a sample, (3, 3.3) of (3, 3) */
  EXPECT_EQ(2, mine[0]);
  EXPECT_EQ(4, mine[1]);
  EXPECT_EQ(-1, mine[2]);

  /* Nothing accepted: kept has no rows. */
  C_MatMGe<double> kept;
  ASSERT_EQ(0, k.CheckNewPoints(cand, kept, index, 100.0));
  EXPECT_EQ(0, kept.rows);
  EXPECT_EQ(3, kept.cols);

  /* Fewer columns than inputs: 1, kept and index untouched. */
  C_MatMGe<double> narrow = MakeMat<double>(2, 1, {5.0, 6.0});
  C_MatMGe<double> sentinel = MakeMat<double>(1, 1, {9.0});
  kept = sentinel;
  int* none = nullptr;
  EXPECT_EQ(1, k.CheckNewPoints(narrow, kept, none, 0.1));
  EXPECT_EQ(nullptr, none);
  EXPECT_TRUE(SameMat(sentinel, kept));

  /* Without samples nothing but an earlier acceptance drops a candidate. */
  Kriging<double> bare;
  ASSERT_EQ(0, bare.PutNumVar(2));
  int* idx = nullptr;
  ASSERT_EQ(0, bare.CheckNewPoints(cand, kept, idx, 0.5));
  std::unique_ptr<int[]> own(idx);
  EXPECT_EQ(4, kept.rows);
}

/* Inputs that InitKriging or a new count let go of are no samples: the container still holds
 * them, but neither CheckNewPoints nor IsInputPoint measures against them (a model with no
 * sample inputs drops a candidate only for an earlier acceptance). */
TEST(KrigingRefine, ReleasedSamplesAreNotMeasured) {
  C_MatMGe<double> X = MakeMat<double>(2, 2, {0.0, 0.0, 1.0, 0.0});
  C_MatMGe<double> cand = MakeMat<double>(2, 2, {0.0, 0.0, 1.0, 0.1});
  for (int how = 0; how < 3; ++how) {
    Kriging<double> k;
    ASSERT_EQ(0, k.PutInpSampMtx(X));
    if (how == 0) {
      k.InitKriging();
      ASSERT_EQ(0, k.PutNumVar(2));
    } else if (how == 1) {
      ASSERT_EQ(0, k.PutNumSamp(3));
    } else {
      ASSERT_EQ(0, k.PutNumVar(3));
      ASSERT_EQ(0, k.PutNumVar(2));
    }
    C_MatMGe<double> G;
    ASSERT_EQ(1, k.GetInpSampMtx(G)) << how;
    C_MatMGe<double> kept;
    int* index = nullptr;
    ASSERT_EQ(0, k.CheckNewPoints(cand, kept, index, 0.5)) << how;
    std::unique_ptr<int[]> own(index);
    ASSERT_EQ(2, kept.rows) << how;  /* both candidates: 0.1 + 1 apart, no sample near */
    EXPECT_EQ(0, index[0]);
    EXPECT_EQ(1, index[1]);
    EXPECT_FALSE(k.IsInputPoint(cand, 0)) << how;
  }
  /* With the samples given they are measured. */
  Kriging<double> k;
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  C_MatMGe<double> kept;
  int* index = nullptr;
  ASSERT_EQ(0, k.CheckNewPoints(cand, kept, index, 0.5));
  std::unique_ptr<int[]> own(index);
  EXPECT_EQ(0, kept.rows);
  EXPECT_TRUE(k.IsInputPoint(cand, 0));
}

/* Complex candidates: the distance is the root of the summed squared moduli. */
TEST(KrigingRefine, CheckNewPointsComplexDistances) {
  Kriging<cplx> k;
  C_MatMGe<cplx> X = MakeMat<cplx>(1, 2, {cplx(0, 0), cplx(0, 0)});
  ASSERT_EQ(0, k.PutInpSampMtx(X));
  C_MatMGe<cplx> cand = MakeMat<cplx>(3, 2, {cplx(0.3, 0.4), cplx(0, 0),    //
                                             cplx(0.3, 0.41), cplx(0, 0),   //
                                             cplx(0, 0), cplx(0.0, -0.6)});
  C_MatMGe<cplx> kept;
  int* index = nullptr;
  ASSERT_EQ(0, k.CheckNewPoints(cand, kept, index, 0.5));
  std::unique_ptr<int[]> own(index);
  ASSERT_EQ(2, kept.rows);
  EXPECT_EQ(1, index[0]);
  EXPECT_EQ(2, index[1]);
}

namespace {

/* A well-conditioned model for the refinement step: 2 inputs, samples on a coarse grid,
 * a kernel that keeps them nearly uncorrelated, one output. */
void RefineModel(KrigingProbe<double>& k, C_MatMGe<double>& X, C_MatMGe<double>& Y) {
  X = MakeMat<double>(4, 2, {0.0, 0.0, 1.0, 0.0, 0.0, 1.0, 1.0, 1.0});
  Y = MakeMat<double>(4, 1, {1.0, 2.0, -1.0, 0.5});
  SmallModelSpec s;
  s.poly = PolyConstant;
  s.theta = {3.0};
  ASSERT_EQ(0, SolveSmall(k, X, Y, s));
}

}  // namespace

/* The refinement Solve: candidates too close to the samples are left out, each accepted
 * candidate takes its own outputs (Ycand per candidate or per accepted candidate), the
 * model is solved on the grown samples, and the largest predictor errors at the samples
 * agree with an independent dense model. */
TEST(KrigingRefine, RefinementSolvePairsOutputs) {
  C_MatMGe<double> cand = MakeMat<double>(4, 2, {0.5, 0.5,    //
                                                 1.0, 1e-3,   //
                                                 0.5, 0.0,    //
                                                 0.0, 0.5});
  C_MatMGe<double> perCand = MakeMat<double>(4, 1, {10.0, 20.0, 30.0, 40.0});
  C_MatMGe<double> perAcc = MakeMat<double>(3, 1, {10.0, 30.0, 40.0});
  for (int variant = 0; variant < 2; ++variant) {
    SCOPED_TRACE(variant);
    KrigingProbe<double> k;
    C_MatMGe<double> X, Y;
    RefineModel(k, X, Y);
    C_MatMGe<double> Xnew, Xall;
    double rel = -1, abs = -1;
    int numNew = -1, numSamp = -1;
    ASSERT_EQ(0, k.Solve(cand, variant == 0 ? perCand : perAcc, rel, abs, numNew, Xnew,
                         numSamp, Xall, 0.1));
    EXPECT_EQ(3, numNew);
    EXPECT_EQ(7, numSamp);
    EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
    C_MatMGe<double> Xs, Ys;
    ASSERT_EQ(0, k.GetInpSampMtx(Xs));
    ASSERT_EQ(0, k.GetOutSampMtx(Ys));
    EXPECT_TRUE(SameMat(Xs, Xall));
    const int acc[3] = {0, 2, 3};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(cand.GetVal(acc[i], 0), Xs.GetVal(4 + i, 0));
      EXPECT_EQ(cand.GetVal(acc[i], 1), Xs.GetVal(4 + i, 1));
      EXPECT_EQ(perCand.GetVal(acc[i], 0), Ys.GetVal(4 + i, 0));
    }

    /* Predictor errors at the 7 samples by the dense model (same kernel, nugget, trend). */
    RefKriging<double> ref;
    ref.Fit(Xs, Ys, CorrGaussian, PolyConstant, {3.0});
    double wantAbs = 0.0, wantRel = 0.0;
    const double range = MagSpread(Ys, 0);
    for (int i = 0; i < 7; ++i) {
      const std::vector<double> x = RowOf(Xs, i);
      const double e = ref.PredErr(x, 0), y = std::fabs(ref.Predict(x, 0));
      wantAbs = std::max(wantAbs, e);
      wantRel = std::max(wantRel, RefRelErr(e, y, range));
    }
    EXPECT_NEAR(wantAbs, abs, 1e-5 * wantAbs);
    EXPECT_NEAR(wantRel, rel, 1e-5 * wantRel);
  }
}

/* Refusals of the refinement Solve: Ycand of q + 1 columns before the candidates are
 * looked at; a row count that fits neither pairing before anything is appended; extra
 * candidate columns at the append; nothing accepted: 0 with nothing else written. */
TEST(KrigingRefine, RefinementSolveRefusals) {
  KrigingProbe<double> k;
  C_MatMGe<double> X, Y;
  RefineModel(k, X, Y);
  C_MatMGe<double> cand = MakeMat<double>(3, 2, {0.5, 0.5, 1.0, 1e-3, 0.0, 0.5});
  C_MatMGe<double> sentinel = MakeMat<double>(1, 1, {-3.0});
  C_MatMGe<double> Xnew = sentinel, Xall = sentinel;
  double rel = -1, abs = -2;
  int numNew = -3, numSamp = -4;

  C_MatMGe<double> wide(3, 2);
  EXPECT_EQ(1, k.Solve(cand, wide, rel, abs, numNew, Xnew, numSamp, Xall, 0.1));
  EXPECT_EQ(-3, numNew);
  EXPECT_TRUE(SameMat(sentinel, Xnew));

  /* Two of the three candidates are accepted: 1 or 4 rows fit neither pairing, and nothing
   * is written, neither the accepted count nor the accepted points. */
  for (int rows : {1, 4}) {
    C_MatMGe<double> Yc(rows, 1);
    EXPECT_EQ(1, k.Solve(cand, Yc, rel, abs, numNew, Xnew, numSamp, Xall, 0.1)) << rows;
    EXPECT_EQ(4, k.NumSamp);
    EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
    EXPECT_EQ(-3, numNew) << rows;
    EXPECT_TRUE(SameMat(sentinel, Xnew)) << rows;
    EXPECT_EQ(-4, numSamp);
    EXPECT_TRUE(SameMat(sentinel, Xall));
    EXPECT_EQ(-1, rel);
    EXPECT_EQ(-2, abs);
  }

  C_MatMGe<double> cand3 = MakeMat<double>(1, 3, {0.5, 0.5, 7.0}), Y1(1, 1);
  EXPECT_EQ(1, k.Solve(cand3, Y1, rel, abs, numNew, Xnew, numSamp, Xall, 0.1));
  EXPECT_EQ(4, k.NumSamp);

  Xnew = sentinel;
  rel = -1;
  abs = -2;
  numSamp = -4;
  C_MatMGe<double> Yc(3, 1);
  EXPECT_EQ(0, k.Solve(cand, Yc, rel, abs, numNew, Xnew, numSamp, Xall, 5.0));
  EXPECT_EQ(0, numNew);
  EXPECT_EQ(0, Xnew.rows);
  EXPECT_EQ(-1, rel);
  EXPECT_EQ(-2, abs);
  EXPECT_EQ(-4, numSamp);
  EXPECT_TRUE(SameMat(sentinel, Xall));
  EXPECT_EQ(4, k.NumSamp);
  EXPECT_FALSE(k.ISSolveRequired());
}
