#!/usr/bin/env bash
# test.sh: installs what is missing, builds libkvelo.so and its tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs the whole suite (which also
# installs the build into a temporary prefix and builds two hosts against it).
# Any failing test or sanitizer report makes it fail.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
kvelo_ensure_packages $KVELO_PACKAGES $KVELO_TEST_PACKAGES

BUILD_DIR=${KVELO_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVELO_SANITIZE=ON -DKVELO_BUILD_TESTS=ON
start=$SECONDS
cmake --build "$BUILD_DIR" -j "$(kvelo_jobs)"
echo "test.sh: sanitized build took $((SECONDS - start)) s"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cd "$BUILD_DIR"
start=$SECONDS
ctest --output-on-failure -j "$(kvelo_jobs)"
echo "test.sh: sanitized suite took $((SECONDS - start)) s"
