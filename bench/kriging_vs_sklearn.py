#!/usr/bin/python3
"""kriging_vs_sklearn.py: one run that times this library's Kriging model and scikit-learn's
Gaussian process regressor side by side on the same data and prints the ratios.

    /usr/bin/python3 bench/kriging_vs_sklearn.py BUILD_DIR [--core N] [--sizes 200,500,1000,2000]

BUILD_DIR is a Release tree configured with -DKVELO_BUILD_BENCH=ON in which the target
bench_kriging_speed is built. Both sides run on one core (taskset, one BLAS thread): first the
C++ program, which writes its Latin hypercube designs of the borehole function to a temporary
folder and times the fit with the kernel search and one build against dpotrf + dtrtri; then its
peak-memory run at the largest n; then scikit-learn's fits on those very designs (Debian's
python3-sklearn: the interpreter is Debian's, not a virtual environment's); then three rounds
that alternate the two sides' predictions, so that both meet the same load; then scikit-learn's
predictions once more in a new process that fitted only the n = 1000 model. The two peer rows
differ because numpy takes its large temporaries from the allocator: after the n = 2000 fit
they come from memory already mapped, in a process that fitted only at n = 1000 every call
maps (and faults in) fresh pages. Each time is the best of its repetitions. The table is in Markdown; progress goes to standard error.

The peer: GaussianProcessRegressor with ConstantKernel * RBF (one length scale per input),
inputs standardised per column and outputs normalised (as scaling 3 does), maximum likelihood
by L-BFGS-B from unit length scales, no restarts.
"""
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

SIZES = [200, 500, 1000, 2000]
PREDICT_M = 1000


def parse_args(argv):
    args = {"build": None, "core": None, "sizes": SIZES}
    it = iter(argv[1:])
    for a in it:
        if a == "--core":
            args["core"] = int(next(it))
        elif a == "--sizes":
            args["sizes"] = [int(s) for s in next(it).split(",")]
        elif args["build"] is None:
            args["build"] = a
        else:
            sys.exit("usage: kriging_vs_sklearn.py BUILD_DIR [--core N] [--sizes a,b,...]")
    if args["build"] is None:
        sys.exit("usage: kriging_vs_sklearn.py BUILD_DIR [--core N] [--sizes a,b,...]")
    if args["core"] is None:
        args["core"] = sorted(os.sched_getaffinity(0))[-1]
    return args


def one_core_env():
    env = dict(os.environ)
    env["OPENBLAS_NUM_THREADS"] = "1"
    env["OMP_NUM_THREADS"] = "1"
    env["MKL_NUM_THREADS"] = "1"
    return env


def bench_exe(build):
    exe = os.path.join(build, "bench", "bench_kriging_speed")
    if not os.access(exe, os.X_OK):
        sys.exit("no %s: build the target bench_kriging_speed in a -DKVELO_BUILD_BENCH=ON tree" % exe)
    return exe


def run_bench(exe, core, data, wanted, extra=()):
    """Runs the C++ benchmarks matching wanted; the best time of each (seconds) by name."""
    out = os.path.join(data, "kvelo.json")
    cmd = ["taskset", "-c", str(core), exe, "--benchmark_filter=" + wanted,
           "--benchmark_out=" + out, "--benchmark_out_format=json"] + list(extra)
    subprocess.run(cmd, check=True, env=one_core_env(), stdout=sys.stderr)
    with open(out) as f:
        runs = json.load(f)["benchmarks"]
    times = {}
    for r in runs:
        if r.get("run_type", "iteration") != "iteration":
            continue
        unit = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[r["time_unit"]]
        name = r["run_name"].split("/iterations")[0].split("/min_time")[0]
        times[name] = min(times.get(name, float("inf")), r["real_time"] * unit)
    return times


def run_kvelo(exe, core, data, sizes):
    wanted = "|".join(["BM_FitSearch/%d/" % m for m in sizes] + ["BM_Build", "BM_PotrfTrtri"])
    times = run_bench(exe, core, data, wanted, ["--data=" + data, "--benchmark_repetitions=2"])
    peak = subprocess.run(["taskset", "-c", str(core), exe, "--peak=%d" % max(sizes)], check=True,
                          env=one_core_env(), capture_output=True, text=True)
    return times, json.loads(peak.stdout.strip().splitlines()[-1])


def load(path):
    import numpy as np
    a = np.loadtxt(path)
    return a[:, :8], a[:, 8]


def run_sklearn(data, sizes):
    import numpy as np
    from sklearn.gaussian_process import GaussianProcessRegressor
    from sklearn.gaussian_process.kernels import RBF, ConstantKernel
    from sklearn.preprocessing import StandardScaler

    fits, models = {}, {}
    for m in sizes:
        X, y = load(os.path.join(data, "design_%d.txt" % m))
        scaler = StandardScaler().fit(X)
        gp = GaussianProcessRegressor(ConstantKernel(1.0) * RBF(np.ones(8)), normalize_y=True,
                                      n_restarts_optimizer=0, random_state=0)
        t = time.perf_counter()
        gp.fit(scaler.transform(X), y)
        fits[m] = time.perf_counter() - t
        models[m] = (scaler, gp)
        print("sklearn fit m=%d: %.2f s, log-likelihood %.4g" % (m, fits[m], gp.log_marginal_likelihood_value_),
              file=sys.stderr)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
    return fits, models, peak


def sklearn_predict(data, models, best):
    """Best times (seconds) of three calls of each prediction, folded into best."""
    P, _ = load(os.path.join(data, "points.txt"))
    scaler, gp = models[PREDICT_M]
    Ps = scaler.transform(P)
    for key, kw in (("mean", {}), ("std", {"return_std": True})):
        for _ in range(3):
            t = time.perf_counter()
            gp.predict(Ps, **kw)
            best[key] = min(best.get(key, float("inf")), time.perf_counter() - t)


def sklearn_predict_fresh(data, core):
    """The same predictions timed in a new process that fitted only the model they use, as a
    host that fits at n = 1000 and then predicts has it (no larger fit before them)."""
    cmd = ["taskset", "-c", str(core), sys.executable, os.path.abspath(__file__), "--fresh-predict", data]
    out = subprocess.run(cmd, check=True, env=one_core_env(), capture_output=True, text=True)
    return json.loads(out.stdout.strip().splitlines()[-1])


def fresh_predict_main(data):
    fits, models, _ = run_sklearn(data, [PREDICT_M])
    best = {}
    for _ in range(3):
        sklearn_predict(data, models, best)
    print(json.dumps(best))


def fmt(t):
    return "%.3f s" % t if t >= 1.0 else "%.1f ms" % (t * 1e3)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--fresh-predict":
        fresh_predict_main(sys.argv[2])
        return
    args = parse_args(sys.argv)
    os.sched_setaffinity(0, {args["core"]})
    os.environ.update({k: v for k, v in one_core_env().items() if k.endswith("_NUM_THREADS")})
    exe = bench_exe(args["build"])
    with tempfile.TemporaryDirectory(prefix="kvelo_bench_") as data:
        ours, peak = run_kvelo(exe, args["core"], data, args["sizes"])
        fits, models, skpeak = run_sklearn(data, args["sizes"])
        # The predictions go in alternating rounds, so that both sides meet the same load.
        pred = {}
        if PREDICT_M in models:
            for _ in range(3):
                t = run_bench(exe, args["core"], data, "BM_Predict", ["--benchmark_repetitions=3"])
                for k, v in t.items():
                    ours[k] = min(ours.get(k, float("inf")), v)
                sklearn_predict(data, models, pred)
            fresh = sklearn_predict_fresh(data, args["core"])

    print("| case | this library | scikit-learn | ratio |")
    print("|---|---|---|---|")
    for m in args["sizes"]:
        k = ours.get("BM_FitSearch/%d" % m)
        if k is not None:
            print("| fit with kernel search, n = %d | %s | %s | %.3f |" % (m, fmt(k), fmt(fits[m]), k / fits[m]))
    if pred:
        for key, name, label in (("mean", "BM_Predict/0", "predict 2000 points at n = 1000"),
                                 ("std", "BM_Predict/1", "predict 2000 points at n = 1000, with errors")):
            k = ours.get(name)
            if k is not None:
                print("| %s | %s | %s | %.3f |" % (label, fmt(k), fmt(pred[key]), k / pred[key]))
                print("| %s, scikit-learn in a new process | %s | %s | %.3f |"
                      % (label, fmt(k), fmt(fresh[key]), k / fresh[key]))
    b, f = ours.get("BM_Build/2000"), ours.get("BM_PotrfTrtri/2000")
    if b is not None and f is not None:
        print("\n| one build, n = 2000 | dpotrf + dtrtri, same matrix | ratio |")
        print("|---|---|---|")
        print("| %s | %s | %.2f |" % (fmt(b), fmt(f), b / f))
    print("\nPeak memory, fit with kernel search at n = %d: this library %.1f MiB (process before the fit"
          " %.1f MiB); scikit-learn process after its fits %.1f MiB."
          % (peak["m"], peak["peak_mib"], peak["peak_before_mib"], skpeak))


if __name__ == "__main__":
    main()
