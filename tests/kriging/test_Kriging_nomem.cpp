/* test_Kriging_nomem.cpp: a model short of memory. Whichever allocation fails, of operator new
 * or of the library's own heap, and however long memory stays short, the host sees the
 * operation's failure code or C_KveloException 1001, never std::bad_alloc; and the model is left
 * as a failure leaves it: a solved model still predicts and writes as before, a fit that ran out
 * leaves it unsolved, and the same fit with memory back gives the model a fresh one gives. */
#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "failing_new.h"
#include "runtime/heap_limit.h"
#include "kriging_files.h"
#include "kriging_fixtures.h"

using kvtest::Bytes;

namespace {

enum class Outcome { Done, Failed, NoMemory, BadAlloc, Other };

const char* Name(Outcome o) {
  switch (o) {
    case Outcome::Done: return "done";
    case Outcome::Failed: return "failure code";
    case Outcome::NoMemory: return "1001";
    case Outcome::BadAlloc: return "std::bad_alloc";
    default: return "another exception";
  }
}

/* op by reference: a copy made while memory is short would fail in the test itself. */
template <class F>
Outcome Run(F& op) {
  try {
    return op() == 0 ? Outcome::Done : Outcome::Failed;
  } catch (const C_KveloException& e) {
    return e.getExceptionCode() == 1001 ? Outcome::NoMemory : Outcome::Other;
  } catch (const std::bad_alloc&) {
    return Outcome::BadAlloc;
  } catch (...) {
    return Outcome::Other;
  }
}

/* Which allocator runs out: operator new, or the library's own heap (its containers). */
enum class Short { New, Heap };
const Short kShort[] = {Short::New, Short::Heap};
const char* Name(Short s) { return s == Short::New ? "operator new" : "library heap"; }

/* Runs op with memory short from the k-th allocation of the allocator given on, for k = 0, 1,
 * ... (every k at first, then sparser) until op meets no refusal; setup runs before each try
 * and check after it, both with memory. Gives the number of runs. */
template <class Setup, class Op, class Check>
int Sweep(Short what, Setup setup, Op op, Check check) {
  int runs = 0;
  for (long k = 0;; k += 1 + k / 24) {
    setup();
    if (what == Short::New)
      kvtest::FailNewAfter(k);
    else
      kvrt::SetHeapBlocksLeft(k);
    const Outcome o = Run(op);
    const bool refused = what == Short::New ? kvtest::NewWasRefused() : kvrt::HeapBlocksRanOut();
    kvtest::Heal();
    kvrt::SetHeapBlocksLeft(-1);
    ++runs;
    EXPECT_TRUE(o == Outcome::Done || o == Outcome::Failed || o == Outcome::NoMemory)
        << Name(what) << " short from allocation " << k << ": " << Name(o);
    check(o);
    /* No refusal: a later k would run the same. */
    if (::testing::Test::HasFailure() || !refused || k > 200000) return runs;
  }
}

template <class T>
struct Fixture {
  C_MatMGe<T> X = SampleInputs<T>(12, 2, 71u), Y = SmoothOutputs(X, 2);
  C_MatMGe<T> P = SampleInputs<T>(5, 2, 72u);
  C_MatMGe<T> Xmore = SampleInputs<T>(2, 2, 73u), Ymore = SmoothOutputs(Xmore, 2);
  /* The fixture's samples and options given to k, not yet solved. */
  void Prepare(Kriging<T>& k) {
    ASSERT_EQ(0, k.PutNumSol(Y.cols, 2, nullptr));
    ASSERT_EQ(0, k.PutNumVar(X.cols));
    ASSERT_EQ(0, k.PutScalingType(ScaleInputsOutputs));
    ASSERT_EQ(0, k.PutPolynomType(PolyLinear));
    ASSERT_EQ(0, k.PutKrigingKernOptType(KernOptLikelihood));
    ASSERT_EQ(0, k.PutInpSampMtx(X));
    ASSERT_EQ(0, k.PutOutSampMtx(Y));
  }
  /* Prepares and solves k; file := what it writes, seen := what it predicts. */
  void Solved(Kriging<T>& k, Bytes& file, std::vector<double>& seen) {
    Prepare(k);
    ASSERT_EQ(0, k.Solve());
    file = kvtest::WrittenBytes(k);
    seen = Predictions(k);
  }
  /* What a model shows of itself: predictions and predictor errors at P. */
  std::vector<double> Predictions(Kriging<T>& k) {
    std::vector<double> out;
    C_MatMGe<T> Yp;
    EXPECT_EQ(0, k.EvalModel(P, Yp));
    for (int i = 0; i < Yp.rows; ++i)
      for (int j = 0; j < Yp.cols; ++j) {
        const std::complex<double> z(Yp.GetVal(i, j));
        out.push_back(z.real());
        out.push_back(z.imag());
      }
    double absErr = 0, relErr = 0;
    int count = 0;
    EXPECT_EQ(0, k.GetPredictorError(P, absErr, relErr, count));
    out.push_back(absErr);
    out.push_back(relErr);
    return out;
  }
};

template <class T>
class KrigingNoMemory : public ::testing::Test {};
typedef ::testing::Types<double, cplx> ElementTypes;
TYPED_TEST_SUITE(KrigingNoMemory, ElementTypes);

TYPED_TEST(KrigingNoMemory, AFitThatRunsOutLeavesTheModelUnsolvedAndTheNextFitAsAFreshOne) {
  typedef TypeParam T;
  Fixture<T> f;
  Kriging<T> fresh;
  Bytes file;
  std::vector<double> seen;
  f.Solved(fresh, file, seen);

  for (Short what : kShort) {
    Kriging<T>* k = nullptr;
    const int runs = Sweep(
        what,
        [&] {
          delete k;
          k = new Kriging<T>;
          f.Prepare(*k);
        },
        [&] { return k->Solve(); },
        [&](Outcome o) {
          if (o == Outcome::Done) return;
          EXPECT_EQ(KrigingSolveRequired, k->GetKrigingStatus());
          ASSERT_EQ(0, k->Solve());
          EXPECT_EQ(file, kvtest::WrittenBytes(*k));
          EXPECT_EQ(seen, f.Predictions(*k));
        });
    delete k;
    EXPECT_GT(runs, 1);
  }
}

TYPED_TEST(KrigingNoMemory, ASolvedModelThatRunsOutStillPredictsAndWritesAsBefore) {
  typedef TypeParam T;
  Fixture<T> f;
  Kriging<T> k;
  Bytes file;
  std::vector<double> seen;
  f.Solved(k, file, seen);
  kvtest::FilePtr out(std::tmpfile());
  ASSERT_TRUE(out);

  struct Case {
    const char* name;
    std::function<int()> op;
  };
  C_MatMGe<T> Yp, Xsel, kept;
  double a = 0, r = 0, r2 = 0;
  int count = 0, sel = 2;
  const std::vector<Case> cases = {
      {"EvalModel", [&] { return k.EvalModel(f.P, Yp); }},
      {"EvalModel with selection", [&] { return k.EvalModel(f.P, Yp, sel = 2, Xsel, a, false); }},
      {"GetPredictorError", [&] { return k.GetPredictorError(f.P, a, r, count); }},
      {"getR2", [&] { return k.getR2(r2); }},
      {"CheckError", [&] { return k.CheckError(f.P, Yp, a); }},
      {"CheckNewPoints",
       [&] {
         int* index = nullptr;
         const int res = k.CheckNewPoints(f.P, kept, index, 0.01);
         delete[] index;
         return res;
       }},
      {"Write",
       [&] {
         std::rewind(out.get());
         return k.Write(out.get());
       }},
      {"copy",
       [&] {
         int err = 0;
         Kriging<T> c(k, err);
         return err;
       }},
  };
  for (const Case& c : cases)
    for (Short what : kShort) {
      SCOPED_TRACE(std::string(c.name) + ", " + Name(what));
      Sweep(
          what, [] {}, c.op,
          [&](Outcome) {
            EXPECT_EQ(KrigingSolved, k.GetKrigingStatus());
            EXPECT_EQ(seen, f.Predictions(k));
            EXPECT_EQ(file, kvtest::WrittenBytes(k));
          });
    }
}

TYPED_TEST(KrigingNoMemory, AReadOrAppendThatRunsOutChangesNothing) {
  typedef TypeParam T;
  Fixture<T> f;
  Kriging<T> source;
  f.Prepare(source);
  ASSERT_EQ(0, source.Solve());
  const Bytes sourceFile = kvtest::WrittenBytes(source);

  for (Short what : kShort) {
    SCOPED_TRACE(Name(what));
    Kriging<T> target;
    f.Prepare(target);
    ASSERT_EQ(0, target.PutKrigingKernOptType(KernOptNone));
    ASSERT_EQ(0, target.Solve());
    const Bytes before = kvtest::WrittenBytes(target);
    kvtest::FilePtr in = kvtest::FileWith(sourceFile);
    Sweep(
        what, [&] { std::rewind(in.get()); }, [&] { return target.Read(in.get()); },
        [&](Outcome o) {
          EXPECT_EQ(o == Outcome::Done ? sourceFile : before, kvtest::WrittenBytes(target));
          if (o == Outcome::Done) {
            /* Back to the model the next try reads over. */
            kvtest::FilePtr g = kvtest::FileWith(before);
            ASSERT_EQ(0, target.Read(g.get()));
          }
        });

    int m0 = 0;
    ASSERT_EQ(0, target.GetNumSamp(m0));
    Sweep(
        what, [] {}, [&] { return target.AppendSampData(f.Xmore, f.Ymore); },
        [&](Outcome o) {
          int m = 0;
          ASSERT_EQ(0, target.GetNumSamp(m));
          C_MatMGe<T> Xs;
          ASSERT_EQ(0, target.GetInpSampMtx(Xs));
          if (o == Outcome::Done) {
            EXPECT_EQ(m0 + 2, m);
            return;
          }
          EXPECT_EQ(m0, m);
          ASSERT_EQ(m0, Xs.rows);
          for (int i = 0; i < m0; ++i)
            for (int j = 0; j < Xs.cols; ++j) EXPECT_EQ(f.X.GetVal(i, j), Xs.GetVal(i, j));
        });
  }
}

/* New test inputs over stored ones, with memory short part-way through the copy: the model is
 * left with no test inputs (a useTest run is refused) rather than a mix of old and new ones
 * that would pass for either; a copy that completes sets the new ones. A model of its own for
 * each allocator: storage grown by one sweep would need no block in the next. */
TYPED_TEST(KrigingNoMemory, TestInputsThatRunOutAreLeftUnset) {
  typedef TypeParam T;
  Fixture<T> f;
  C_MatMGe<T> T1 = SampleInputs<T>(3, 2, 74u), T2 = SampleInputs<T>(7, 2, 75u);

  for (Short what : kShort) {
    SCOPED_TRACE(Name(what));
    KrigingProbe<T> k;
    f.Prepare(k);
    ASSERT_EQ(0, k.Solve());
    C_MatMGe<T> Y2;
    ASSERT_EQ(0, k.EvalModel(T2, Y2));
    int unset = 0;
    Sweep(
        what,
        [&] {
          ASSERT_EQ(0, k.PutInpTestMtx(T1));
          C_MatMGe<T> Yt, sel;
          int n = 0;
          double e = 0.0;
          ASSERT_EQ(0, k.EvalModel(f.X, Yt, n, sel, e, true)); /* caches of T1 */
        },
        [&] { return k.PutInpTestMtx(T2); },
        [&](Outcome o) {
          C_MatMGe<T> Yt, sel;
          int n = 0;
          double e = 0.0;
          if (o == Outcome::Done) {
            ASSERT_EQ(0, k.EvalModel(f.X, Yt, n, sel, e, true));
            EXPECT_TRUE(SameMat(Y2, Yt));
            return;
          }
          ++unset;
          EXPECT_FALSE(k.InpTestSet);
          EXPECT_EQ(1, k.EvalModel(f.X, Yt, n, sel, e, true));
        });
    /* The copy takes its values from the library heap: there it must have run out. */
    if (what == Short::Heap) {
      EXPECT_GT(unset, 0);
    }
  }
}

}  // namespace
