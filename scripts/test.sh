#!/usr/bin/env bash
# Builds the library, the simulator and the tests, and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2
ctest --preset default
