#!/usr/bin/env bash
# example.sh: installs what is missing, builds the library in release mode and runs the
# main example program.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
kvelo_ensure_packages

BUILD_DIR=${KVELO_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DKVELO_BUILD_TESTS=OFF -DKVELO_BUILD_EXAMPLES=ON
cmake --build "$BUILD_DIR" -j "$(kvelo_jobs)" --target kvelo_example
cd "$BUILD_DIR/examples"
./kvelo_example
