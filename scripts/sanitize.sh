#!/usr/bin/env bash
# Builds the library, the simulator and the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer (preset "asan", build/asan) and runs the whole
# suite there. Any sanitizer report fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cmake --preset asan >/dev/null
cmake --build --preset asan -j2
ctest --preset asan "$@"
