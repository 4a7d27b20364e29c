# deps.sh: sourced by the build scripts; installs the Debian packages the build needs,
# and only when one is missing (apt-get update runs at most once, and not at all when
# everything is present). Installing needs root or sudo: without either, it names the
# missing packages and stops.
# What building the library and its examples needs (scripts/example.sh).
KVELO_PACKAGES="cmake make g++ libopenblas-dev"
# What the tests need beyond that (scripts/test.sh, .ci/run): GoogleTest; python3 for the
# check of the generated BLAS/LAPACK forwarders; pkg-config for a host of the installed tree;
# LAPACK's C declarations (liblapacke-dev) for the compile-time check of the forwarders;
# clang++ to check that the public headers compile without warnings under a second compiler;
# RapidCheck for the property tests (tests/properties).
KVELO_TEST_PACKAGES="libgtest-dev librapidcheck-dev python3 pkg-config liblapacke-dev clang"
# The benchmarks (-DKVELO_BUILD_BENCH=ON) need Google Benchmark.
KVELO_BENCH_PACKAGES="libbenchmark-dev"

# kvelo_ensure_packages [packages...]: the packages named (default: KVELO_PACKAGES) are
# installed afterwards, or it returns 1 after saying which ones are missing and why.
kvelo_ensure_packages() {
  local wanted="${*:-$KVELO_PACKAGES}"
  local missing=""
  local p
  for p in $wanted; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  if [ -z "$missing" ]; then
    return 0
  fi
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "These Debian packages are missing:$missing" >&2
      echo "Installing them needs root, and this user is not root and has no sudo." >&2
      echo "As root, run:  apt-get update && apt-get install -y$missing" >&2
      echo "then run this script again." >&2
      return 1
    fi
    sudo="sudo"
  fi
  echo "Installing missing packages:$missing"
  # env carries the setting through sudo, which would otherwise drop it.
  $sudo apt-get update
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
}

# The number of build and test jobs: CMAKE_BUILD_PARALLEL_LEVEL when it is set (a shared
# machine caps the scripts with it), else one per processor.
kvelo_jobs() {
  if [ -n "${CMAKE_BUILD_PARALLEL_LEVEL:-}" ]; then
    echo "$CMAKE_BUILD_PARALLEL_LEVEL"
  else
    nproc 2>/dev/null || echo 2
  fi
}
